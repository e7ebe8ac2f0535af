#include "checkexport.h"

#include "calibration.h"
#include "clierrors.h"
#include "clifield.h"
#include "clirun.h"
#include "exportfile.h"
#include "pipeline.h"
#include "printable.h"

namespace tavrin {

int checkExportFile(const CliOptions &given, Stream &out, Stream &err)
{
    const auto say = [&err](const QString &message) { err.write(message.toUtf8() + '\n'); };
    CliOptions o = given;
    if (o.hmAt)
        if (const int status = takeHmFromModel(o, err); status != Calibrated)
            return status;
    const QString &exportPath = o.files[0], &dataPath = o.files[1];
    const Expected<QByteArray> text = readExportFile(exportPath);
    if (!text) {
        say(printable(displayName(exportPath)) + QStringLiteral(": ") + text.error());
        return Refused;
    }
    // The directions the file gives are compared with the calibration Tavrin makes of the same
    // points, read and fitted as every calibration is; the verdict is not needed.
    CalibrationOptions options;
    options.hm = o.hm;
    options.fit = o.fit;
    options.assess = false;
    const CalibrationRun run = runCalibration(Input::file(dataPath, o.log), options).run;
    if (run.raw.status != RawDataStatus::Loaded) {
        say(failureMessage(dataPath, run));
        return Refused;
    }
    const ExportFormat &format = *o.exportFormat;
    const Expected<ExportCheck> check =
        checkExport(format, *text, run.raw.points(), o.hm, fieldUnitInNt(o.units), o.compass,
                    run.error ? nullptr : &run.parameters, o.ids);
    if (!check) {
        say(printable(displayName(exportPath)) + QStringLiteral(": ") + check.error());
        return Refused;
    }
    for (const QString &note : check->notes)
        say(printable(displayName(exportPath)) + QStringLiteral(": ") + note);
    out.write(ExportCheckLine(exportPath, format, run.raw.numLines, dataPath, *check,
                              *format.unitName ? QString::fromLatin1(format.unitName) : o.units));
    if (run.error) {
        say(failureMessage(dataPath, run) + QStringLiteral(" The directions could not be checked."));
        return exitStatusOf(*run.error);
    }
    if (!check->directionsAgree()) {
        say(printable(displayName(exportPath)) +
            QStringLiteral(": the field the file corrects points up to %1 degrees away from Tavrin's "
                           "calibration of the measurements, beyond the %2 degrees allowed.")
                .arg(check->worstAngle, 0, 'f', 1)
                .arg(DirectionTolerance));
        return Refused;
    }
    return Calibrated;
}

} // namespace tavrin
