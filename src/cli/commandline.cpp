#include "commandline.h"

#include "bootstrap.h"
#include "clifield.h"
#include "coverage.h"
#include "optionchecks.h"
#include "printable.h"
#include "quality.h"
#include "sharedoptions.h"
#include "sourcename.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <utility>

namespace tavrin {

namespace {

constexpr int MaximumResamples = 100000;
// A week: longer than any capture by hand, and well within the timer that ends it.
constexpr int MostCaptureSeconds = 7 * 24 * 3600;

// The formats of --export, from their table.
QString exportFormatsText()
{
    constexpr int width = 79, indent = 14;
    QString text = QStringLiteral("Export formats (--export, --check-export):\n");
    for (const ExportFormat &f : exportFormats()) {
        QString line = QStringLiteral("  ") + QString::fromLatin1(f.name).leftJustified(indent - 3);
        const QString words = QString::fromLatin1(f.description) +
                              (f.needsUnits ? QStringLiteral("; needs --units") : QString());
        for (const QString &word : words.split(' ')) {
            if (line.size() + 1 + word.size() > width) {
                text += line + '\n';
                line = QString(indent - 1, ' ');
            }
            line += ' ' + word;
        }
        text += line + '\n';
    }
    return text + '\n';
}

// The fits of --fit, from their table.
QString fitsText()
{
    QString text = QStringLiteral("Fits (--fit):\n");
    for (const FitModelInfo &m : FitModels()) {
        const QStringList lines = QString::fromStdString(m.description).split('\n');
        text += QStringLiteral("  ") + QString::fromLatin1(m.name).leftJustified(8) + QStringLiteral("  ") +
                lines.first() + '\n';
        for (const QString &line : lines.mid(1))
            text += QString(12, ' ') + line + '\n';
    }
    return text + '\n';
}

// The names of the formats, "a, b and c".
QString formatNames(bool readable)
{
    QStringList names;
    for (const ExportFormat &f : exportFormats())
        if (!readable || f.read)
            names << QString::fromLatin1(f.name);
    return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + QStringLiteral(" and ") + names.last();
}

QString description()
{
    using namespace QualityLimits;
    return QStringLiteral(
               "Calibrates tri-axis magnetometers: fits an ellipsoid to each FILE of raw x y z\n"
               "measurements and prints the hard-iron bias b and the matrix A, so that\n"
               "h_cal = A^-1 (h - b), with a report on how far to trust them.\n"
               "\n"
               "Verdict of the report, the first that applies:\n"
               "  flat rotation    the points spread across their best plane by less than %8 %\n"
               "                   of their median radius in it: turned about one axis only\n"
               "  poor coverage    a cap wider than %4 degrees holds no direction about the\n"
               "                   robust centre, or the directions hit fewer than %5 % of the\n"
               "                   %6 equal-area cells (of as many cells as there are points,\n"
               "                   when fewer)\n"
               "  poor fit         the RMS of the norm error after calibration, far points\n"
               "                   aside, exceeds %7 % of Hm: the points do not lie on the model;\n"
               "                   or the calibrated directions hit fewer than %5 % of the\n"
               "                   cells the directions about the robust centre hit\n"
               "  likely outliers  more than %1 % of the points lie farther from the sphere of\n"
               "                   radius Hm than both %2 robust sigmas of the norm error and\n"
               "                   %3 % of Hm; the ellipsoid test alone names no outliers\n"
               "  good             none of these\n"
               "\n"
               "%9"
               "%10"
               "Exit status: 0 every file calibrated (warnings included), 1 a file could not\n"
               "be read or was refused, or an output could not be written, 2 a calibration\n"
               "failed numerically, 64 a wrong command line; the highest that applies.")
        .arg(MaxFarShare * 100)
        .arg(FarSigmas)
        .arg(FarShareOfHm * 100)
        .arg(MaxEmptyCapDegrees)
        .arg(MinCellShare * 100)
        .arg(Cells)
        .arg(MaxRmsShareOfHm * 100)
        .arg(MaxFlatness * 100)
        .arg(fitsText(), exportFormatsText());
}

} // namespace

// Every option of the command line's own, declared once; those it shares with
// the workbench are declared beside the workbench's.
namespace option {
const QCommandLineOption
    output({"o", "output"},
           "Write the calibration parameters file to PATH. With several files PATH is a "
           "folder, made if needed, and each file's parameters go to <name>.params.txt in it.",
           "PATH");
const QCommandLineOption
    apply("apply",
          "Write the calibrated measurements A^-1 (h - b) to PATH, one x<TAB>y<TAB>z line "
          "per point with six decimals. With several files PATH is a folder and each goes "
          "to <name>.calibrated.txt in it.",
          "PATH");
const QCommandLineOption json("json", "Print one JSON document instead of the text report.");
const QCommandLineOption exportFormat(
    "export",
    "Print the calibration as FORMAT (see above) instead of the text report. With -o, write it to PATH "
    "instead of the parameters file, or with several files to <name> and the format's suffix in that folder; "
    "c always prints, and -o keeps the parameters file. Warnings on values the firmware would refuse go to "
    "standard error, into the file as comments, and with --json into each file's warnings.",
    "FORMAT");
const QCommandLineOption
    compass("compass",
            "With --export or --check-export: the firmware's compass N, from 1 (ardupilot "
            "has 3, px4 4); 1 by default.",
            "N");
const QCommandLineOption deviceId(
    "device-id",
    "With --export or --check-export ardupilot or px4: the compass's device id, as COMPASS_DEV_ID "
    "(ardupilot) or "
    "CAL_MAGn_ID (px4) shows it in the vehicle's parameter list; written as that parameter, so that the "
    "firmware takes the calibration for that compass's.",
    "N");
const QCommandLineOption
    systemId("system-id",
             "With --export or --check-export px4: the vehicle's MAVLink system id, 1 to "
             "255, in the file's first column (1 by default); QGroundControl loads a file "
             "only on the vehicle of its id.",
             "N");
const QCommandLineOption componentId("component-id",
                                     "With --export or --check-export px4: the autopilot's MAVLink component "
                                     "id, 1 to 255, in the file's second column (1 by default).",
                                     "N");
const QCommandLineOption
    merge("merge",
          "With --export sensor-json: read FILE, the board's own calibration file of the "
          "library, and write it with only the magnetometer's fields (mag_hardiron, "
          "mag_softiron, mag_field) replaced, every other field kept as it is and where it "
          "is. Without it, accel_zerog and gyro_zerorate are written as zeros, which reset "
          "the board's.",
          "FILE");
const QCommandLineOption checkExport(
    "check-export",
    QStringLiteral(
        "Read FILE, written in FORMAT by Tavrin or another tool, apply it to the raw measurements DATA as "
        "the firmware does and print the RMS norm error and how far the corrected field's direction strays "
        "from Tavrin's calibration of DATA (with --fit, that fit's): --check-export FORMAT FILE DATA with "
        "--hm or --hm-at, and --units for a format in physical units. Exit status 1 when the file cannot be "
        "applied or its directions stray more than %1 degrees.")
        .arg(DirectionTolerance),
    "FORMAT");
const QCommandLineOption uncertainty(
    "uncertainty",
    QStringLiteral("Estimate the standard deviation and the 95 % interval of b and A by a bootstrap over the "
                   "points with a fixed seed: --uncertainty=N takes N resamples, --uncertainty alone %1.")
        .arg(DefaultResamples),
    "N");
const QCommandLineOption
    fieldAt("field-at",
            "Print the World Magnetic Model's field at LAT,LON[,HEIGHT] (degrees north and "
            "east, metres above the WGS84 ellipsoid, 0 by default) and read no file: total "
            "intensity F, horizontal H, north X, east Y, down Z in nT, declination D and "
            "inclination I in degrees.",
            "LAT,LON[,HEIGHT]");
const QCommandLineOption accelColumns(
    "accel-columns",
    "With --columns: also take the accelerometer's x, y and z from these columns, numbers or header names as "
    "for --columns, in any unit, and check the magnetometer's axes against it in the readings at rest.",
    "AX,AY,AZ");
const QCommandLineOption accelUp("accel-up",
                                 "With --accel-columns: at rest the accelerometer reads +1 g on the "
                                 "axis pointing up, as most do (the default).");
const QCommandLineOption accelDown("accel-down",
                                   "With --accel-columns: at rest the accelerometer reads -1 g on "
                                   "the axis pointing up, gravity's own direction.");
const QCommandLineOption align(
    "align",
    "With --accel-columns: turn the calibrated magnetometer into the accelerometer's axes by the rotation R "
    "found: --apply writes R A^-1 (h - b), and A in the reports, the parameters file, the C header and the "
    "matlab and sensor-json exports is that of the combined calibration, A R^T. Nothing is written when "
    "the axes are not determined.");
const QCommandLineOption
    delimiter("delimiter",
              "With --columns: the field delimiter, comma, semicolon, tab or space (runs of "
              "blanks); found from the first lines by default.",
              "NAME");
const QCommandLineOption
    rows("rows",
         "With --columns: keep only the data rows FIRST to LAST (1-based, counted after the "
         "header; either end may be left out, as in 100: or :5000).",
         "FIRST:LAST");
const QCommandLineOption
    baud("baud",
         QStringLiteral("With --port: the serial port's baud rate, %1 to %2 (default %3); "
                        "8 data bits, no parity, 1 stop bit.")
             .arg(MinimumBaud)
             .arg(MaximumBaud)
             .arg(DefaultBaud),
         "N");
const QCommandLineOption
    format("format",
           "With --port: how the lines read, auto (found from the first lines, the "
           "default), raw (Raw: and nine integers, the magnetometer last in 0.1 uT), uni "
           "(Uni: and nine decimals, the magnetometer last in uT), xyz (three numbers) or "
           "labelled (X: 1.5 Y: 2.5 Z: 3.5 uT). --columns reads rows of a log instead.",
           "FORMAT");
const QCommandLineOption points("points", "With --port: stop after N readings.", "N");
const QCommandLineOption seconds("seconds", "With --port: stop after S seconds, at most 604800 (a week).",
                                 "S");
const QCommandLineOption untilCovered(
    "until-covered",
    QStringLiteral("With --port: stop when the directions about the centre of a fitted sphere hit "
                   "%1 of %2 cells of equal area and the centre's standard error is under %3 % "
                   "of Hm.")
        .arg(CoverageTracker::EnoughCells)
        .arg(CoverageTracker::Cells)
        .arg(CoverageTracker::EnoughBiasShare * 100));
const QCommandLineOption record("record",
                                "With --port: record the readings to FILE, which must not exist (default "
                                "capture-YYYYMMDD-HHMMSS.txt in the current folder); for Raw: and Uni: "
                                "lines a CSV log with the accelerometer and gyroscope.",
                                "FILE");
const QCommandLineOption
    recordLines("record-lines",
                "With --port: also record every line received, after its time of arrival "
                "(UTC) and a tab, to FILE, which must not exist; control characters are "
                "escaped as in messages.",
                "FILE");
const QCommandLineOption plot("plot",
                              "Draw the calibration, its coverage of orientations and its norm errors into "
                              "PATH, a .png or .svg figure. With several files, PATH is a folder and each "
                              "figure goes to <name>.png in it.",
                              "PATH");
} // namespace option

namespace {

void declare(QCommandLineParser &parser)
{
    parser.setApplicationDescription(description());
    parser.addOptions({option::help,         option::version,      option::hm,           option::hmAt,
                       option::units,        option::date,         option::fieldAt,      option::columns,
                       option::accelColumns, option::accelUp,      option::accelDown,    option::align,
                       option::delimiter,    option::decimalComma, option::skipBadLines, option::rows,
                       option::port,         option::baud,         option::format,       option::points,
                       option::seconds,      option::untilCovered, option::record,       option::recordLines,
                       option::fit,          option::output,       option::apply,        option::json,
                       option::exportFormat, option::compass,      option::deviceId,     option::systemId,
                       option::componentId,  option::merge,        option::checkExport,  option::uncertainty,
                       option::plot});
    parser.addPositionalArgument(
        "FILE",
        "Raw measurements: three numbers per line, separated by a tab or a space; with "
        "--columns, a log. - reads standard input.",
        "FILE...");
}

Expected<CommandLine> wrong(const QString &text)
{
    return Expected<CommandLine>::failure(commandLineRefusal(text));
}

// Each step of the parse takes the options read so far and gives them back
// with its own, or the words that refuse the command line.
using Parsed = Expected<CliOptions>;

Parsed refused(const QString &why)
{
    return Parsed::failure(why);
}

// What the World Magnetic Model is asked for: a place, a date, a unit.
Parsed parseModelQuery(const QCommandLineParser &parser, CliOptions o)
{
    if (parser.isSet(option::fieldAt)) {
        const Expected<Place> place = checkPlace(QStringLiteral("--field-at"), parser.value(option::fieldAt));
        if (!place)
            return refused(place.error());
        o.fieldAt = *place;
    }
    const bool exporting = parser.isSet(option::exportFormat) || parser.isSet(option::checkExport);
    const bool capturing = parser.isSet(option::port);
    if (!o.fieldAt && !parser.isSet(option::hmAt) &&
        (parser.isSet(option::date) || (parser.isSet(option::units) && !exporting && !capturing)))
        return refused(
            QStringLiteral("--date goes with --field-at or --hm-at, and --units with --hm-at, --export, "
                           "--check-export or --port."));
    const Expected<ModelOptions> model = readModelOptions(parser);
    if (!model)
        return refused(model.error());
    o.hmAt = model->hmAt;
    o.units = model->units;
    o.date = model->date;
    o.year = model->year;
    if (o.hmAt)
        o.hmSource.units = o.units;
    return o;
}

// --accel-up, --accel-down and --align, which go with --accel-columns.
Parsed parseAccelOptions(const QCommandLineParser &parser, CliOptions o)
{
    if (!parser.isSet(option::accelColumns))
        for (const QCommandLineOption *accelOnly : {&option::accelUp, &option::accelDown, &option::align})
            if (parser.isSet(*accelOnly))
                return refused(
                    QStringLiteral("--%1 goes with --accel-columns.").arg(accelOnly->names().first()));
    if (parser.isSet(option::accelUp) && parser.isSet(option::accelDown))
        return refused(QStringLiteral("--accel-up and --accel-down say opposite things; choose one."));
    o.accelDown = parser.isSet(option::accelDown);
    o.align = parser.isSet(option::align);
    return o;
}

// --delimiter, which the decimal comma may not be.
Expected<LogFormat> withDelimiter(const QCommandLineParser &parser, LogFormat f)
{
    if (parser.isSet(option::delimiter)) {
        const QString name = parser.value(option::delimiter);
        for (const Delimiter d : {Delimiter::Comma, Delimiter::Semicolon, Delimiter::Tab, Delimiter::Space})
            if (name == delimiterName(d))
                f.delimiter = d;
        if (f.delimiter == Delimiter::Detect)
            return Expected<LogFormat>::failure(
                QStringLiteral("--delimiter takes comma, semicolon, tab or space, not \"%1\".")
                    .arg(printable(name)));
    }
    if (f.decimalComma && f.delimiter == Delimiter::Comma)
        return Expected<LogFormat>::failure(QStringLiteral(
            "With --decimal-comma the comma is part of the numbers and cannot delimit fields."));
    return f;
}

// --rows FIRST:LAST, either end left out.
Expected<LogFormat> withRows(const QCommandLineParser &parser, LogFormat f)
{
    if (!parser.isSet(option::rows))
        return f;
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^(\\d*):(\\d*)$")).match(parser.value(option::rows));
    f.firstRow = m.hasMatch() && !m.captured(1).isEmpty() ? m.captured(1).toLongLong() : 1;
    f.lastRow = m.hasMatch() ? m.captured(2).toLongLong() : 0;
    if (!m.hasMatch() || f.firstRow < 1 || (!m.captured(2).isEmpty() && f.lastRow < f.firstRow))
        return Expected<LogFormat>::failure(
            QStringLiteral("--rows takes FIRST:LAST, rows counted from 1 with FIRST <= LAST, not \"%1\".")
                .arg(printable(parser.value(option::rows))));
    return f;
}

// --columns and the options that shape how a log is read.
Parsed parseLogFormat(const QCommandLineParser &parser, CliOptions o)
{
    const Parsed accel = parseAccelOptions(parser, std::move(o));
    if (!accel)
        return accel;
    o = *accel;
    const Expected<std::optional<LogFormat>> log =
        readLogFormat(parser, {&option::accelColumns, &option::delimiter, &option::decimalComma,
                               &option::skipBadLines, &option::rows});
    if (!log)
        return refused(log.error());
    if (!*log)
        return o;
    LogFormat f = **log;
    if (parser.isSet(option::accelColumns)) {
        const Expected<std::array<QString, 3>> columns =
            checkColumns(parser.value(option::accelColumns), QStringLiteral("--accel-columns"),
                         QStringLiteral("AX,AY,AZ"));
        if (!columns)
            return refused(columns.error());
        f.accelColumns = *columns;
    }
    Expected<LogFormat> shaped = withDelimiter(parser, f);
    if (shaped)
        shaped = withRows(parser, *shaped);
    if (!shaped)
        return refused(shaped.error());
    o.log = *shaped;
    return o;
}

// A whole number from least to most.
Expected<int> wholeNumber(const QCommandLineParser &parser, const QCommandLineOption &option, int least,
                          int most)
{
    bool number = false;
    const int value = parser.value(option).toInt(&number);
    if (number && value >= least && value <= most)
        return value;
    return Expected<int>::failure(QStringLiteral("--%1 takes a whole number from %2 to %3, not \"%4\".")
                                      .arg(option.names().first())
                                      .arg(least)
                                      .arg(most)
                                      .arg(printable(parser.value(option))));
}

// --seconds: a duration above 0 and up to a week.
Expected<double> parseSeconds(const QCommandLineParser &parser)
{
    bool number = false;
    const double seconds = parser.value(option::seconds).toDouble(&number);
    if (!number || !std::isfinite(seconds) || seconds <= 0.0)
        return Expected<double>::failure(
            QStringLiteral("--seconds takes a duration in seconds above 0, not \"%1\".")
                .arg(printable(parser.value(option::seconds))));
    if (seconds > MostCaptureSeconds)
        return Expected<double>::failure(QStringLiteral("--seconds takes at most %1, a week, not \"%2\".")
                                             .arg(MostCaptureSeconds)
                                             .arg(printable(parser.value(option::seconds))));
    return seconds;
}

Expected<CaptureRequest> parseStoppingRule(const QCommandLineParser &parser, CaptureRequest c)
{
    if (int(parser.isSet(option::points)) + int(parser.isSet(option::seconds)) +
            int(parser.isSet(option::untilCovered)) >
        1)
        return Expected<CaptureRequest>::failure(
            QStringLiteral("--points, --seconds and --until-covered each end a capture; choose one."));
    if (parser.isSet(option::points)) {
        const Expected<int> points = wholeNumber(parser, option::points, 1, RawData::Capacity);
        if (!points)
            return Expected<CaptureRequest>::failure(points.error());
        c.points = *points;
    }
    if (parser.isSet(option::seconds)) {
        const Expected<double> seconds = parseSeconds(parser);
        if (!seconds)
            return Expected<CaptureRequest>::failure(seconds.error());
        c.seconds = *seconds;
    }
    c.untilCovered = parser.isSet(option::untilCovered);
    return c;
}

// How a capture reads its lines: --format, or the log of --columns.
Expected<CaptureRequest> parseLineFormat(const QCommandLineParser &parser, CaptureRequest c, CliOptions &o)
{
    if (parser.isSet(option::baud)) {
        const Expected<int> baud = wholeNumber(parser, option::baud, MinimumBaud, MaximumBaud);
        if (!baud)
            return Expected<CaptureRequest>::failure(baud.error());
        c.baud = *baud;
    }
    if (parser.isSet(option::format)) {
        const std::optional<LineFormat> f = lineFormatNamed(parser.value(option::format));
        if (!f)
            return Expected<CaptureRequest>::failure(
                QStringLiteral("--format takes auto, raw, uni, xyz or labelled, not \"%1\".")
                    .arg(printable(parser.value(option::format))));
        c.format = *f;
    }
    if (o.log) {
        if (parser.isSet(option::format))
            return Expected<CaptureRequest>::failure(
                QStringLiteral("--format and --columns both say how lines are read; choose one."));
        // A capture records the magnetometer alone: its accelerometer would be lost.
        if (!o.log->accelColumns[0].isEmpty())
            return Expected<CaptureRequest>::failure(
                QStringLiteral("--accel-columns reads a log FILE; a capture with --port does not keep the "
                               "accelerometer."));
        c.format = LineFormat::Log;
        c.log = std::exchange(o.log, std::nullopt);
    }
    return c;
}

// --port and the options of a capture; the recording becomes the file to calibrate.
Parsed parseCapture(const QCommandLineParser &parser, CliOptions o)
{
    if (!parser.isSet(option::port)) {
        for (const QCommandLineOption *captureOnly :
             {&option::baud, &option::format, &option::points, &option::seconds, &option::untilCovered,
              &option::record, &option::recordLines})
            if (parser.isSet(*captureOnly))
                return refused(QStringLiteral("--%1 goes with --port.").arg(captureOnly->names().first()));
        return o;
    }
    const Expected<QString> port = readPort(parser, !o.files.isEmpty() || o.fieldAt);
    if (!port)
        return refused(port.error());
    CaptureRequest request;
    request.source = *port;
    request.baud = DefaultBaud;
    Expected<CaptureRequest> c = parseLineFormat(parser, request, o);
    if (c)
        c = parseStoppingRule(parser, *c);
    if (!c)
        return refused(c.error());
    CaptureRequest capture = *c;
    if (!o.units.isEmpty())
        capture.unitInNt = fieldUnitInNt(o.units);
    capture.record =
        parser.isSet(option::record)
            ? parser.value(option::record)
            : QDateTime::currentDateTime().toString(QStringLiteral("'capture-'yyyyMMdd-HHmmss'.txt'"));
    capture.recordLines = parser.value(option::recordLines);
    if (capture.record.isEmpty() || (parser.isSet(option::recordLines) && capture.recordLines.isEmpty()))
        return refused(QStringLiteral("An output path is empty."));
    if (QFileInfo(capture.record).absoluteFilePath() == QFileInfo(capture.recordLines).absoluteFilePath())
        return refused(QStringLiteral("--record and --record-lines name the same file."));
    o.files = QStringList{capture.record};
    o.capture = capture;
    return o;
}

// The standard input read once, and --field-at alone.
Parsed parseInputs(const QCommandLineParser &parser, CliOptions o)
{
    if (o.files.count(QStringLiteral("-")) > 1)
        return refused(QStringLiteral("Standard input, -, can be read once."));
    o.json = parser.isSet(option::json);
    if (o.fieldAt && (!o.files.isEmpty() || o.hmAt))
        return refused(QStringLiteral("--field-at prints the model's field and reads no file."));
    if (!o.fieldAt && o.files.isEmpty())
        return refused(QStringLiteral("No raw measurement file given."));
    return o;
}

// Hm given as a value, when the model does not give it.
Parsed parseHm(const QCommandLineParser &parser, CliOptions o)
{
    if (o.hmAt)
        return o;
    if (!parser.isSet(option::hm))
        return refused(
            QStringLiteral("The field norm is missing: give it with --hm, or from the model with --hm-at."));
    const Expected<std::optional<double>> hm = readHm(parser);
    if (!hm)
        return refused(hm.error());
    o.hm = **hm;
    return o;
}

Expected<int> parseResamples(const QCommandLineParser &parser)
{
    if (!parser.isSet(option::uncertainty))
        return 0;
    bool number = false;
    const int resamples = parser.value(option::uncertainty).toInt(&number);
    if (!number || resamples < 2 || resamples > MaximumResamples)
        return Expected<int>::failure(
            QStringLiteral("--uncertainty takes a number of resamples from 2 to %1, not \"%2\".")
                .arg(MaximumResamples)
                .arg(printable(parser.value(option::uncertainty))));
    return resamples;
}

Parsed parseUncertainty(const QCommandLineParser &parser, CliOptions o)
{
    const Expected<int> resamples = parseResamples(parser);
    if (!resamples)
        return refused(resamples.error());
    o.resamples = *resamples;
    return o;
}

Parsed parseFit(const QCommandLineParser &parser, CliOptions o)
{
    const Expected<std::optional<FitModel>> fit = readFit(parser);
    if (!fit)
        return refused(fit.error());
    o.fit = fit->value_or(FitModel::Exact);
    return o;
}

// Where the outputs go, and how the results are printed.
Parsed parseOutputs(const QCommandLineParser &parser, CliOptions o)
{
    o.output = parser.value(option::output);
    o.apply = parser.value(option::apply);
    o.plot = parser.value(option::plot);
    for (const QCommandLineOption *path : {&option::output, &option::apply, &option::plot})
        if (parser.isSet(*path) && parser.value(*path).isEmpty())
            return refused(QStringLiteral("An output path is empty."));
    if (!o.plot.isEmpty() && o.files.size() == 1 && !QFileInfo(o.plot).isDir() &&
        !o.plot.endsWith(QLatin1String(".png"), Qt::CaseInsensitive) &&
        !o.plot.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive))
        return refused(
            QStringLiteral("--plot draws a .png or an .svg file, not \"%1\".").arg(printable(o.plot)));
    if (o.json && o.exportsToStandardOutput())
        return refused(QStringLiteral("--json and --export both print on standard output; choose one."));
    if (o.exportsToStandardOutput() && !o.exportC() && o.files.size() > 1)
        return refused(
            QStringLiteral("--export %1 prints one calibration; with several files, give -o a folder.")
                .arg(QLatin1String(o.exportFormat->name)));
    return o;
}

// The ids given for a format that uses them.
Parsed parseIds(const QCommandLineParser &parser, const QString &name, CliOptions o)
{
    const int uses = o.exportFormat->ids;
    if (parser.isSet(option::deviceId)) {
        if (!(uses & DeviceId))
            return refused(QStringLiteral("--device-id goes with ardupilot or px4, not %1.").arg(name));
        const Expected<long long> id = checkDeviceId(parser.value(option::deviceId));
        if (!id)
            return refused(id.error());
        o.ids.device = *id;
    }
    const struct {
        const QCommandLineOption &option;
        std::optional<long long> &into;
    } vehicleIds[] = {{option::systemId, o.ids.system}, {option::componentId, o.ids.component}};
    for (const auto &v : vehicleIds) {
        if (!parser.isSet(v.option))
            continue;
        const QString optionName = QStringLiteral("--") + v.option.names().first();
        if (!(uses & VehicleIds))
            return refused(QStringLiteral("%1 goes with px4, whose file names its vehicle, not %2.")
                               .arg(optionName, name));
        const Expected<long long> id = checkVehicleId(optionName, parser.value(v.option));
        if (!id)
            return refused(id.error());
        v.into = *id;
    }
    return o;
}

// --merge FILE: the board's sensor-json file that the export is merged into.
Parsed parseMerge(const QCommandLineParser &parser, bool check, const QString &format, CliOptions o)
{
    if (!parser.isSet(option::merge))
        return o;
    if (check || format != QLatin1String("sensor-json"))
        return refused(QStringLiteral("--merge goes with --export sensor-json."));
    o.merge = parser.value(option::merge);
    if (o.merge.isEmpty())
        return refused(QStringLiteral("--merge takes the board's calibration file."));
    if (o.merge == QLatin1String("-") && o.files.contains(o.merge))
        return refused(QStringLiteral("Standard input, -, can be read once."));
    return o;
}

// --compass N of a format that has N compasses or more.
Parsed parseCompass(const QCommandLineParser &parser, const QString &name, CliOptions o)
{
    if (!parser.isSet(option::compass))
        return o;
    const int most = o.exportFormat->compasses;
    bool number = false;
    o.compass = parser.value(option::compass).toInt(&number);
    if (!number || o.compass < 1 || o.compass > most)
        return refused(most == 1 ? QStringLiteral("%1 has one compass; --compass does not apply.").arg(name)
                                 : QStringLiteral("--compass takes 1 to %1 for %2, not \"%3\".")
                                       .arg(most)
                                       .arg(name, printable(parser.value(option::compass))));
    return o;
}

// --export or --check-export, the format's compass and its unit.
Parsed parseExport(const QCommandLineParser &parser, CliOptions o)
{
    const bool check = parser.isSet(option::checkExport);
    if (!check && !parser.isSet(option::exportFormat)) {
        for (const QCommandLineOption *given :
             {&option::compass, &option::deviceId, &option::systemId, &option::componentId, &option::merge})
            if (parser.isSet(*given))
                return refused(
                    QStringLiteral("--%1 goes with --export or --check-export.").arg(given->names().first()));
        return o;
    }
    if (check && parser.isSet(option::exportFormat))
        return refused(QStringLiteral("--export writes a file and --check-export reads one; choose one."));
    const QString option = check ? QStringLiteral("--check-export") : QStringLiteral("--export");
    const QString name = parser.value(check ? option::checkExport : option::exportFormat);
    o.exportFormat = exportFormatNamed(name);
    if (!o.exportFormat || (check && !o.exportFormat->read))
        return refused(QStringLiteral("Unknown %1 format \"%2\"; the formats are %3.")
                           .arg(check ? QStringLiteral("check") : QStringLiteral("export"), printable(name),
                                formatNames(check)));
    if (o.exportFormat->needsUnits && o.units.isEmpty())
        return refused(QStringLiteral("%1 %2 needs the unit of the measurements: --units nT, uT, mG or G.")
                           .arg(option, name));
    Parsed given = parseCompass(parser, name, std::move(o));
    if (given)
        given = parseMerge(parser, check, name, *given);
    if (given)
        given = parseIds(parser, name, *given);
    return given;
}

// --align turns A; the other exports hold a symmetric A, and their firmware
// takes the orientation as a parameter of its own.
Parsed checkAlignedExport(const QCommandLineParser &, CliOptions o)
{
    if (o.align && o.exportFormat && !o.exportC() && qstrcmp(o.exportFormat->name, "matlab") != 0 &&
        qstrcmp(o.exportFormat->name, "sensor-json") != 0)
        return refused(QStringLiteral("--align goes with --export c, matlab or sensor-json; %1 takes the "
                                      "orientation number that the report gives instead.")
                           .arg(QLatin1String(o.exportFormat->name)));
    return o;
}

// --check-export FORMAT FILE DATA prints one line.
Parsed checkExportOnly(const QCommandLineParser &parser, CliOptions o)
{
    if (o.files.size() != 2)
        return refused(
            QStringLiteral("--check-export takes the exported FILE and the raw measurements DATA."));
    for (const QCommandLineOption *other :
         {&option::output, &option::apply, &option::plot, &option::uncertainty, &option::json})
        if (parser.isSet(*other))
            return refused(QStringLiteral("--check-export prints one line, and takes no --%1.")
                               .arg(other->names().last()));
    return o;
}

using Step = Parsed (*)(const QCommandLineParser &, CliOptions);

// The steps in their order, until one refuses.
Parsed parseInSteps(const QCommandLineParser &parser, CliOptions o, std::initializer_list<Step> steps)
{
    for (const Step step : steps) {
        Parsed next = step(parser, std::move(o));
        if (!next)
            return next;
        o = *next;
    }
    return o;
}

} // namespace

Expected<CommandLine> parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    declare(parser);
    // --uncertainty takes its count only as --uncertainty=N, so that the
    // word after a bare --uncertainty stays a file.
    QStringList withCounts = arguments;
    std::replace(withCounts.begin(), withCounts.end(), QStringLiteral("--uncertainty"),
                 QStringLiteral("--uncertainty=%1").arg(DefaultResamples));
    if (!parser.parse(withCounts))
        return wrong(parser.errorText());
    CommandLine c;
    if (parser.isSet(option::help) || parser.isSet(option::version)) {
        c.action = parser.isSet(option::help) ? CommandLine::Action::Help : CommandLine::Action::Version;
        return c;
    }
    CliOptions given;
    given.files = parser.positionalArguments();
    Parsed o = parseInSteps(parser, given, {parseModelQuery, parseLogFormat, parseCapture, parseInputs});
    if (o && o->fieldAt) {
        c.action = CommandLine::Action::FieldAt;
    } else if (o) {
        o = parseInSteps(parser, *o, {parseHm, parseExport, checkAlignedExport});
        // --check-export compares the file with the fit that --fit names.
        const bool check = parser.isSet(option::checkExport);
        if (o && check)
            o = parseInSteps(parser, *o, {checkExportOnly, parseFit});
        else if (o)
            o = parseInSteps(parser, *o, {parseUncertainty, parseFit, parseOutputs});
        if (check)
            c.action = CommandLine::Action::CheckExport;
    }
    if (!o)
        return wrong(o.error());
    c.options = *o;
    return c;
}

QString logHint(const QString &path)
{
    const std::optional<LogGuess> guess = GuessLog(path);
    if (!guess)
        return {};
    return QStringLiteral("It looks like a log") +
           (guess->fields.isEmpty() ? QString() : QStringLiteral(" with the fields ") + guess->fields) +
           QStringLiteral("; read it with --columns, for example --columns %1,%2,%3.")
               .arg(guess->columns[0])
               .arg(guess->columns[1])
               .arg(guess->columns[2]);
}

QString logRemedyHint(LogInput::Remedy remedy)
{
    switch (remedy) {
    case LogInput::Remedy::None:
        break;
    case LogInput::Remedy::DecimalComma:
        return QStringLiteral("Its numbers are written with decimal commas; read them with --decimal-comma.");
    case LogInput::Remedy::SkipBadLines:
        return QStringLiteral("Rows whose selected fields are empty or no numbers can be skipped and counted "
                              "with --skip-bad-lines.");
    }
    return {};
}

QString helpText()
{
    QCommandLineParser parser;
    declare(parser);
    return parser.helpText();
}

} // namespace tavrin
