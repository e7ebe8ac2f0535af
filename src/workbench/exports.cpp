#include "exports.h"
#include "atomicfile.h"
#include "calibratedfile.h"
#include "firmwareheader.h"
#include "parametersfile.h"
#include "viewwidget.h"

#include <QCoreApplication>
#include <QFileInfo>

namespace tavrin {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Exports", text);
}

bool writeBytes(const QString &path, const QByteArray &bytes, QString *reason)
{
    return WriteFileAtomically(path, bytes, FileMode::Text, reason);
}

} // namespace

const std::vector<ExportFormat> &exportFormats()
{
    static const std::vector<ExportFormat> formats = {
        {tr("&Parameters File…"), tr("Parameters file (*.txt)"), QStringLiteral("txt"),
         tr("b and A with four decimals, as the dialog saves them"),
         [](const QString &path, const Calibration &c, QString *reason) {
             const CalibrationRun &run = c.result->run;
             return WriteParametersFile(path, ResultTexts(run.parameters), reason, run.robustFit());
         }},
        {tr("&C Header…"), tr("C header (*.h)"), QStringLiteral("h"),
         tr("b and A^-1 as float arrays for firmware"),
         [](const QString &path, const Calibration &c, QString *reason) {
             const QString &input = c.result->path;
             const std::optional<QByteArray> header =
                 FirmwareHeader(cIdentifier(input), input, c.options.hm, c.result->run.parameters);
             if (!header) {
                 *reason = tr("a value lies beyond what a float holds");
                 return false;
             }
             return writeBytes(path, *header, reason);
         }},
        {tr("Calibrated &Data…"), tr("Calibrated measurements (*.txt)"), QStringLiteral("txt"),
         tr("A^-1 (h - b) for every point, in file order"),
         [](const QString &path, const Calibration &c, QString *reason) {
             const CalibrationRun &run = c.result->run;
             return writeBytes(path, CalibratedPointsBytes(run.raw.points(), run.parameters), reason);
         }},
        {tr("Figure as P&NG…"), tr("PNG image (*.png)"), QStringLiteral("png"),
         tr("the calibration figure, 1800 x 1200 pixels"),
         [](const QString &path, const Calibration &c, QString *) {
             return WriteFigure(path, figureOf(*c.result, c.options.hm));
         }},
        {tr("Figure as &SVG…"), tr("SVG image (*.svg)"), QStringLiteral("svg"),
         tr("the calibration figure, for print"),
         [](const QString &path, const Calibration &c, QString *) {
             return WriteFigure(path, figureOf(*c.result, c.options.hm));
         }},
    };
    return formats;
}

QString overwriteProblem(const QString &path, const Calibration &c)
{
    const QFileInfo target(path), input(c.result->path);
    if (target.exists() && input.exists() && target.canonicalFilePath() == input.canonicalFilePath())
        return tr("This is the file of measurements; choose another name so that it is not overwritten.");
    return QString();
}

} // namespace tavrin
