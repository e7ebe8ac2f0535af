#include "checkexport.h"

#include "calibration.h"
#include "clifield.h"
#include "clirun.h"
#include "exportfile.h"
#include "pipeline.h"
#include "printable.h"

#include <QCoreApplication>

namespace tavrin {

int checkExportFile(const CliOptions &given, Stream &out, Stream &err)
{
    const auto say = [&err](const QString &message) { err.write(message.toUtf8() + '\n'); };
    CliOptions o = given;
    if (o.hmAt) {
        if (const std::optional<ModelProblem> problem = takeHmFromModel(o)) {
            say(QCoreApplication::applicationName() + QStringLiteral(": ") + problem->message);
            return problem->exitStatus;
        }
    }
    const QString &exportPath = o.files[0], &dataPath = o.files[1];
    QString why;
    const std::optional<QByteArray> text = ReadExportFile(exportPath, &why);
    if (!text) {
        say(printable(displayName(exportPath)) + QStringLiteral(": ") + why);
        return Refused;
    }
    std::optional<LogInput> input;
    RawData data = readMeasurements(Input::file(dataPath, o.log), input);
    if (data.status != RawDataStatus::Loaded) {
        // The calibration refuses unread data at once, with the error its message is made from.
        say(failureMessage(dataPath, CalibrateRawData(o.hm, std::move(data))));
        return Refused;
    }
    const ExportFormat &format = *o.exportFormat;
    const ExportCheck check =
        CheckExport(format, *text, data.points(), o.hm, fieldUnitInNt(o.units), o.compass);
    if (!check.error.isEmpty()) {
        say(printable(displayName(exportPath)) + QStringLiteral(": ") + check.error);
        return Refused;
    }
    out.write(ExportCheckLine(exportPath, format, data.numLines, dataPath, check,
                              *format.unitName ? QString::fromLatin1(format.unitName) : o.units));
    return Calibrated;
}

} // namespace tavrin
