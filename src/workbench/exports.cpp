#include "exports.h"
#include "atomicfile.h"
#include "calibratedfile.h"
#include "exportformat.h"
#include "fieldunit.h"
#include "jsonreport.h"
#include "optionchecks.h"
#include "orientation.h"
#include "parametersfile.h"
#include "samefile.h"
#include "viewdata.h"

#include <QCoreApplication>
#include <QSettings>

#include <algorithm>
#include <cstring>

namespace tavrin {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("Exports", text);
}

using TextOf = std::function<Expected<QByteArray>(const Calibration &)>;

// A text format: its bytes, written atomically as every output is.
WorkbenchExport textExport(QString name, QString title, QString filter, QString suffix, QString note,
                           TextOf text)
{
    return {std::move(name),
            std::move(title),
            std::move(filter),
            std::move(suffix),
            std::move(note),
            text,
            [text](const QString &path, const Calibration &c, QString *reason) {
                const Expected<QByteArray> bytes = text(c);
                if (!bytes)
                    *reason = bytes.error();
                return bytes && WriteFileAtomically(path, *bytes, reason);
            }};
}

WorkbenchExport figureExport(QString name, QString title, QString filter, QString note)
{
    const QString suffix = name;
    return {std::move(name),
            std::move(title),
            std::move(filter),
            suffix,
            std::move(note),
            nullptr,
            [](const QString &path, const Calibration &c, QString *) {
                return WriteFigure(path, figureOf(*c.result, c.options.hm));
            }};
}

// The settings' key of one of a format's ids.
QString idKey(const QString &format, const char *id)
{
    return QStringLiteral("exportIds/%1/%2").arg(format, QLatin1String(id));
}

const char *const IdNames[] = {"device", "system", "component"};

// A firmware format's name in the menu, with its access key: tavrin-cli's
// name of it ("sensor-json") means little to someone who flies.
QString firmwareTitle(const char *name)
{
    static const char *const titles[][2] = {
        {"c", QT_TRANSLATE_NOOP("Exports", "&C Header…")},
        {"ardupilot", QT_TRANSLATE_NOOP("Exports", "Ard&uPilot Parameters…")},
        {"px4", QT_TRANSLATE_NOOP("Exports", "PX&4 Parameters…")},
        {"matlab", QT_TRANSLATE_NOOP("Exports", "&MATLAB Script…")},
        {"inav", QT_TRANSLATE_NOOP("Exports", "&iNav CLI…")},
        {"betaflight", QT_TRANSLATE_NOOP("Exports", "&Betaflight CLI…")},
        {"sensor-json", QT_TRANSLATE_NOOP("Exports", "Arduino Sensor &Library JSON…")},
    };
    for (const auto &title : titles)
        if (std::strcmp(title[0], name) == 0)
            return tr(title[1]);
    return QStringLiteral("%1…").arg(QLatin1String(name));
}

// A firmware format of the formats library, as tavrin-cli --export writes
// it, for the compass and with the ids last given for it.
Expected<ExportResult> firmwareResult(const ExportFormat &format, const Calibration &c)
{
    const CalibrationRun &run = c.result->run;
    const QString name = QLatin1String(format.name);
    return format.write({run.parameters, c.options.hm, fieldUnitInNt(c.unit), rememberedCompass(name),
                         run.raw.points(), c.result->path, rememberedIds(name)});
}

// The orientation parameter of the compass that ArduPilot's or PX4's file
// is for, as the axes check against an accelerometer found it; empty for any
// other format and without an accelerometer.
QString orientationAdvice(const QString &format, const Calibration &c)
{
    const int compass = rememberedCompass(format);
    const QString parameter = format == QLatin1String("ardupilot")
                                  ? (compass == 1 ? QStringLiteral("COMPASS_ORIENT")
                                                  : QStringLiteral("COMPASS_ORIENT%1").arg(compass))
                              : format == QLatin1String("px4")
                                  ? QStringLiteral("CAL_MAG%1_ROT").arg(compass - 1)
                                  : QString();
    if (parameter.isEmpty() || !c.result->alignment)
        return QString();
    const align::AlignmentResult &a = *c.result->alignment;
    if (!a.determined)
        return tr("%1: the axes against the accelerometer are not determined (%2)")
            .arg(parameter, QString::fromStdString(a.reason));
    if (a.orientation)
        return tr("%1 = %2 (%3), from the axes against the accelerometer")
            .arg(parameter)
            .arg(*a.orientation)
            .arg(QLatin1String(align::orientations()[*a.orientation].name));
    if (a.mirror)
        return tr("%1: none, no orientation undoes a mirror: negate the magnetometer's %2 axis in the "
                  "wiring or the driver")
            .arg(parameter, QString(QLatin1Char("xyz"[a.reversedAxis])));
    return tr("%1: none listed; the stack's custom rotation: roll %2°, pitch %3°, yaw %4°")
        .arg(parameter)
        .arg(a.rollPitchYawDegrees[0], 0, 'f', 1)
        .arg(a.rollPitchYawDegrees[1], 0, 'f', 1)
        .arg(a.rollPitchYawDegrees[2], 0, 'f', 1);
}

WorkbenchExport firmwareExport(const ExportFormat &format)
{
    const QString title = firmwareTitle(format.name);
    WorkbenchExport e =
        textExport(QLatin1String(format.name), title,
                   tr("%1 (*%2)").arg(plainTitle(title), QLatin1String(format.suffix)),
                   QString::fromLatin1(format.suffix).mid(1), QLatin1String(format.description),
                   [&format](const Calibration &c) -> Expected<QByteArray> {
                       const Expected<ExportResult> result = firmwareResult(format, c);
                       if (!result)
                           return Expected<QByteArray>::failure(result.error());
                       return result->bytes;
                   });
    e.warnings = [&format](const Calibration &c) {
        const Expected<ExportResult> result = firmwareResult(format, c);
        return result ? result->warnings : QStringList();
    };
    e.orientation = [&format](const Calibration &c) {
        return orientationAdvice(QLatin1String(format.name), c);
    };
    return e;
}

std::vector<WorkbenchExport> allExports()
{
    std::vector<WorkbenchExport> formats = {
        textExport(QStringLiteral("parameters"), tr("&Parameters File…"), tr("Parameters file (*.txt)"),
                   QStringLiteral("txt"), tr("b and A with four decimals, as the dialog saves them"),
                   [](const Calibration &c) -> Expected<QByteArray> {
                       const CalibrationRun &run = c.result->run;
                       return ParametersFileBytes(ResultTexts(run.parameters), run.robustFit());
                   }),
        textExport(QStringLiteral("calibrated"), tr("Calibrated &Data…"),
                   tr("Calibrated measurements (*.txt)"), QStringLiteral("txt"),
                   tr("A^-1 (h - b) for every point, in file order"),
                   [](const Calibration &c) -> Expected<QByteArray> {
                       const CalibrationRun &run = c.result->run;
                       return CalibratedPointsBytes(run.raw.points(), run.parameters);
                   }),
        textExport(QStringLiteral("json"), tr("&JSON…"), tr("JSON (*.json)"), QStringLiteral("json"),
                   tr("every result at full precision, as tavrin-cli --json writes it"),
                   [](const Calibration &c) -> Expected<QByteArray> {
                       return JsonDocument(QCoreApplication::applicationName(),
                                           QCoreApplication::applicationVersion(), c.options.hm,
                                           {JsonResult(*c.result, c.options.hm, workbenchWords())}, 0, {});
                   }),
        figureExport(QStringLiteral("png"), tr("Figure as P&NG…"), tr("PNG image (*.png)"),
                     tr("the calibration figure, 1800 x 1200 pixels")),
        figureExport(QStringLiteral("svg"), tr("Figure as &SVG…"), tr("SVG image (*.svg)"),
                     tr("the calibration figure, for print")),
    };
    for (const ExportFormat &format : exportFormats())
        formats.push_back(firmwareExport(format));
    return formats;
}

} // namespace

ReportWords workbenchWords()
{
    ReportWords words;
    words.tryFit = QCoreApplication::translate("MainWindow", "choose the %1 fit");
    return words;
}

ExportIds rememberedIds(const QString &format)
{
    const QSettings settings;
    ExportIds ids;
    std::optional<long long> *values[] = {&ids.device, &ids.system, &ids.component};
    for (int k = 0; k < 3; k++) {
        // Settings edited by hand are held to the ranges the dialog keeps to.
        const QString text = settings.value(idKey(format, IdNames[k])).toString();
        if (text.isEmpty())
            continue;
        if (const Expected<long long> id = k == 0 ? checkDeviceId(text) : checkVehicleId(QString(), text))
            *values[k] = *id;
    }
    return ids;
}

QString plainTitle(QString title)
{
    return title.remove(QLatin1Char('&')).remove(QChar(0x2026));
}

int rememberedCompass(const QString &format)
{
    const ExportFormat *firmware = exportFormatNamed(format);
    const int compass = QSettings().value(QStringLiteral("exportCompass/%1").arg(format), 1).toInt();
    return firmware ? std::clamp(compass, 1, firmware->compasses) : 1;
}

void rememberCompass(const QString &format, int compass)
{
    QSettings().setValue(QStringLiteral("exportCompass/%1").arg(format), compass);
}

void rememberIds(const QString &format, const ExportIds &ids)
{
    QSettings settings;
    const std::optional<long long> *values[] = {&ids.device, &ids.system, &ids.component};
    for (int k = 0; k < 3; k++) {
        if (*values[k])
            settings.setValue(idKey(format, IdNames[k]), **values[k]);
        else
            settings.remove(idKey(format, IdNames[k]));
    }
}

const std::vector<WorkbenchExport> &workbenchExports()
{
    static const std::vector<WorkbenchExport> formats = allExports();
    return formats;
}

const WorkbenchExport *workbenchExportNamed(const QString &name)
{
    for (const WorkbenchExport &format : workbenchExports())
        if (format.name == name)
            return &format;
    return nullptr;
}

QString overwriteProblem(const QString &path, const Calibration &c)
{
    if (IsSameFile(path, c.result->path))
        return tr("This is the file of measurements; choose another name so that it is not overwritten.");
    return QString();
}

} // namespace tavrin
