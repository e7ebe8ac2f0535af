#include "sharedoptions.h"
#include "optionchecks.h"

#include <QCoreApplication>
#include <QDateTime>

namespace tavrin {

namespace option {
const QCommandLineOption help({"h", "help"}, "Show this help.");
const QCommandLineOption version({"v", "version"}, "Show the version.");
const QCommandLineOption
    hm("hm", "Norm of the local Earth field, in the unit of the measurements; this or --hm-at.", "HM");
const QCommandLineOption fit("fit", "The fit: " + fitNames(QStringLiteral(" or ")) + " (see above).",
                             "MODEL");
const QCommandLineOption
    hmAt("hm-at",
         "Take Hm from the World Magnetic Model: its total intensity at LAT,LON[,HEIGHT], "
         "in the unit given with --units. Instead of --hm.",
         "LAT,LON[,HEIGHT]");
const QCommandLineOption
    date("date",
         "The date for --field-at and --hm-at: YYYY-MM-DD, or a decimal year such as 2027.5. "
         "Today (UTC) by default.",
         "DATE");
const QCommandLineOption units("units",
                               "The unit of the measurements, nT, uT, mG or G: for --hm-at, and for --export "
                               "and --check-export in physical units. With --port, the unit that readings "
                               "carrying one are recorded in (uT by default).",
                               "UNIT");
const QCommandLineOption columns(
    "columns",
    QStringLiteral(
        "Read each FILE as a log and take x, y and z from these columns: numbers from 1 to %1 "
        "(ASCII digits) or header names, e.g. 2,3,4 or mx,my,mz. A name selects the header field equal to "
        "it (ignoring case, blanks and quotes), or else the one field that begins with it and a character "
        "that is no letter or digit.")
        .arg(MostColumns),
    "X,Y,Z");
const QCommandLineOption decimalComma("decimal-comma", "With --columns: numbers are written 1,5 for 1.5.");
const QCommandLineOption skipBadLines(
    "skip-bad-lines",
    "With --columns: skip and count data rows with too few fields or a selected field that is no number, "
    "instead of refusing the file; the first five are listed.");
const QCommandLineOption
    port("port",
         "Read the measurements live from SOURCE instead of a FILE: a serial port such as "
         "/dev/ttyUSB0, - for standard input, or tcp://HOST:PORT. Every reading is recorded "
         "(see --record); the capture stops at the first rule met (--points, --seconds, "
         "--until-covered), at the end of the input, when the port goes away or on Ctrl-C, "
         "and the recording is then calibrated with every output asked for.",
         "SOURCE");
} // namespace option

QString commandLineRefusal(const QString &problem)
{
    return problem + QStringLiteral("\nTry '%1 --help'.").arg(QCoreApplication::applicationName());
}

Expected<ModelOptions> readModelOptions(const QCommandLineParser &parser)
{
    ModelOptions m;
    if (parser.isSet(option::hmAt)) {
        const Expected<Place> place = checkPlace(QStringLiteral("--hm-at"), parser.value(option::hmAt));
        if (!place)
            return Expected<ModelOptions>::failure(place.error());
        m.hmAt = *place;
    }
    if (parser.isSet(option::units)) {
        const Expected<QString> units = checkUnits(parser.value(option::units));
        if (!units)
            return Expected<ModelOptions>::failure(units.error());
        m.units = *units;
    }
    m.date = parser.value(option::date);
    const Expected<double> year =
        parser.isSet(option::date) ? checkDate(m.date) : decimalYear(QDateTime::currentDateTimeUtc().date());
    if (!year)
        return Expected<ModelOptions>::failure(year.error());
    m.year = *year;
    if (m.hmAt && parser.isSet(option::hm))
        return Expected<ModelOptions>::failure(hmTwiceProblem());
    if (m.hmAt && m.units.isEmpty())
        return Expected<ModelOptions>::failure(hmAtWithoutUnitsProblem());
    return m;
}

Expected<std::optional<double>> readHm(const QCommandLineParser &parser)
{
    using Hm = std::optional<double>;
    if (!parser.isSet(option::hm))
        return Hm();
    const Expected<double> hm = checkHm(parser.value(option::hm));
    return hm ? Expected<Hm>(*hm) : Expected<Hm>::failure(hm.error());
}

Expected<std::optional<LogFormat>> readLogFormat(const QCommandLineParser &parser,
                                                 std::initializer_list<const QCommandLineOption *> logOnly)
{
    using Format = std::optional<LogFormat>;
    if (!parser.isSet(option::columns)) {
        for (const QCommandLineOption *given : logOnly)
            if (parser.isSet(*given))
                return Expected<Format>::failure(
                    withoutColumnsProblem(QStringLiteral("--") + given->names().first()));
        return Format();
    }
    const Expected<std::array<QString, 3>> columns = checkColumns(parser.value(option::columns));
    if (!columns)
        return Expected<Format>::failure(columns.error());
    LogFormat f;
    f.columns = *columns;
    f.decimalComma = parser.isSet(option::decimalComma);
    f.skipBadLines = parser.isSet(option::skipBadLines);
    return Format(f);
}

Expected<std::optional<FitModel>> readFit(const QCommandLineParser &parser)
{
    using Fit = std::optional<FitModel>;
    if (!parser.isSet(option::fit))
        return Fit();
    const Expected<FitModel> fit = checkFit(parser.value(option::fit));
    return fit ? Expected<Fit>(*fit) : Expected<Fit>::failure(fit.error());
}

Expected<QString> readPort(const QCommandLineParser &parser, bool withFile)
{
    if (!parser.isSet(option::port))
        return QString();
    const Expected<QString> port = checkPort(parser.value(option::port));
    if (port && withFile)
        return Expected<QString>::failure(portWithFileProblem());
    return port;
}

} // namespace tavrin
