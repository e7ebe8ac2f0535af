#include "checkexport.h"

#include "calibration.h"
#include "clifield.h"
#include "clirun.h"
#include "printable.h"

#include <QCoreApplication>
#include <QFile>

namespace tavrin {

namespace {

// Far beyond any export, and a bound on what a device or a pipe can make us hold.
constexpr qint64 MaxExportBytes = 1 << 20;

// The exported file's bytes, or the message that says why there are none.
std::optional<QByteArray> readExport(const QString &path, QString &why)
{
    QFile file(path);
    const bool opened =
        path == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly) : file.open(QIODevice::ReadOnly);
    if (!opened) {
        why = errorMessage(CalibrationError::CannotOpen) + QStringLiteral(" (%1)").arg(file.errorString());
        return std::nullopt;
    }
    const QByteArray bytes = file.read(MaxExportBytes + 1);
    if (file.error() != QFileDevice::NoError)
        why = errorMessage(CalibrationError::ReadError) + QStringLiteral(" (%1)").arg(file.errorString());
    else if (bytes.size() > MaxExportBytes)
        why = QStringLiteral("An export is far shorter than this file.");
    return why.isEmpty() ? std::optional(bytes) : std::nullopt;
}

QString number(double value)
{
    return QString::number(value, 'g', 6);
}

} // namespace

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
    const std::optional<QByteArray> text = readExport(exportPath, why);
    if (!text) {
        say(printable(displayName(exportPath)) + QStringLiteral(": ") + why);
        return Refused;
    }
    LogInput input;
    RawData data = o.log ? ReadLog(dataPath, *o.log, input) : ReadRawData(dataPath);
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
    const QString unit = *format.unitName ? QString::fromLatin1(format.unitName) : o.units;
    const QString inUnit = unit.isEmpty() ? QString() : ' ' + unit;
    out.write(QStringLiteral("%1 applied as %2 applies it to the %3 points of %4: RMS norm error %5%6, %7 % "
                             "of the norm %8%6; worst %9%6\n")
                  .arg(printable(displayName(exportPath)), QLatin1String(format.name))
                  .arg(data.numLines)
                  .arg(printable(displayName(dataPath)), number(check.rms), inUnit,
                       number(100.0 * check.rms / check.expectedNorm), number(check.expectedNorm),
                       number(check.worst))
                  .toUtf8());
    return Calibrated;
}

} // namespace tavrin
