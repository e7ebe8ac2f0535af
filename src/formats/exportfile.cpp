#include "exportfile.h"

#include "calibration.h"
#include "printable.h"
#include "rawdata.h"

#include <QFile>

namespace tavrin {

namespace {

// Far beyond any export, and a bound on what a device or a pipe can make us hold.
constexpr qint64 MaxExportBytes = 1 << 20;

QString number(double value)
{
    return QString::number(value, 'g', 6);
}

} // namespace

Expected<QByteArray> readExportFile(const QString &path)
{
    QFile file(path);
    const bool opened =
        path == QLatin1String("-") ? file.open(stdin, QIODevice::ReadOnly) : file.open(QIODevice::ReadOnly);
    if (!opened)
        return Expected<QByteArray>::failure(errorMessage(CalibrationError::CannotOpen) +
                                             QStringLiteral(" (%1)").arg(file.errorString()));
    const QByteArray bytes = file.read(MaxExportBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return Expected<QByteArray>::failure(errorMessage(CalibrationError::ReadError) +
                                             QStringLiteral(" (%1)").arg(file.errorString()));
    if (bytes.size() > MaxExportBytes)
        return Expected<QByteArray>::failure(QStringLiteral("An export is far shorter than this file."));
    return bytes;
}

QByteArray ExportCheckLine(const QString &exportPath, const ExportFormat &format, int points,
                           const QString &dataPath, const ExportCheck &check, const QString &unit)
{
    const QString inUnit = unit.isEmpty() ? QString() : ' ' + unit;
    const QString directions =
        check.directionsChecked
            ? QStringLiteral("; direction off the calibration's by %1 degrees RMS, %2 worst")
                  .arg(check.rmsAngle, 0, 'f', 3)
                  .arg(check.worstAngle, 0, 'f', 3)
            : QString();
    return QStringLiteral("%1 applied as %2 applies it to the %3 points of %4: RMS norm error %5%6, %7 % "
                          "of the norm %8%6; worst %9%6")
               .arg(printable(displayName(exportPath)), QLatin1String(format.name))
               .arg(points)
               .arg(printable(displayName(dataPath)), number(check.rms), inUnit,
                    number(100.0 * check.rms / check.expectedNorm), number(check.expectedNorm),
                    number(check.worst))
               .toUtf8() +
           directions.toUtf8() + '\n';
}

} // namespace tavrin
