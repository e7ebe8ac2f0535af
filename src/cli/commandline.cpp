#include "commandline.h"

#include "bootstrap.h"
#include "printable.h"
#include "quality.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <algorithm>
#include <cmath>

namespace tavrin {

namespace {

constexpr double MaximumHm = 999999.999;
constexpr int MaximumResamples = 100000;

QString description()
{
    using namespace QualityLimits;
    return QStringLiteral(
               "Calibrates tri-axis magnetometers: fits an ellipsoid to each FILE of raw x y z\n"
               "measurements and prints the hard-iron bias b and the matrix A, so that\n"
               "h_cal = A^-1 (h - b), with a report on how far to trust them.\n"
               "\n"
               "Verdict of the report, the first that applies:\n"
               "  likely outliers  the ellipsoid test differs from 1 by more than 0.1, or more\n"
               "                   than %1 % of the points lie farther from the sphere of radius\n"
               "                   Hm than both %2 robust sigmas of the norm error and %3 % of Hm\n"
               "  poor fit         the RMS of the norm error after calibration exceeds %7 % of\n"
               "                   Hm: the points do not lie on an ellipsoid\n"
               "  poor coverage    a cap wider than %4 degrees holds no calibrated direction, or\n"
               "                   the directions hit fewer than %5 % of the %6 equal-area cells\n"
               "                   (of as many cells as there are points, when fewer)\n"
               "  good             none of these\n"
               "\n"
               "Exit status: 0 every file calibrated (warnings included), 1 a file could not\n"
               "be read or was refused, or an output could not be written, 2 a calibration\n"
               "failed numerically, 64 a wrong command line; the highest that applies.")
        .arg(MaxFarShare * 100)
        .arg(FarSigmas)
        .arg(FarShareOfHm * 100)
        .arg(MaxEmptyCapDegrees)
        .arg(MinCellShare * 100)
        .arg(Cells)
        .arg(MaxRmsShareOfHm * 100);
}

// Every option, declared once.
namespace option {
const QCommandLineOption help({"h", "help"}, "Show this help.");
const QCommandLineOption version({"v", "version"}, "Show the version.");
const QCommandLineOption
    hm("hm", "Norm of the local Earth field, in the unit of the measurements (required).", "HM");
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
    "Print the calibration as FORMAT instead of the text report. c: a C header with b and A^-1 as "
    "float arrays and a function that calibrates.",
    "FORMAT");
const QCommandLineOption uncertainty(
    "uncertainty",
    QStringLiteral("Estimate the standard deviation and the 95 % interval of b and A by a bootstrap over the "
                   "points with a fixed seed: --uncertainty=N takes N resamples, --uncertainty alone %1.")
        .arg(DefaultResamples),
    "N");
const QCommandLineOption plot("plot",
                              "Draw the calibration, its coverage of orientations and its norm errors into "
                              "PATH, a .png or .svg figure. With several files, PATH is a folder and each "
                              "figure goes to <name>.png in it.",
                              "PATH");
} // namespace option

void declare(QCommandLineParser &parser)
{
    parser.setApplicationDescription(description());
    parser.addOptions({option::help, option::version, option::hm, option::output, option::apply, option::json,
                       option::exportFormat, option::uncertainty, option::plot});
    parser.addPositionalArgument(
        "FILE", "Raw measurements: three numbers per line, separated by a tab or a space.", "FILE...");
}

Expected<CommandLine> wrong(const QString &text)
{
    return Expected<CommandLine>::failure(
        text + QStringLiteral("\nTry '%1 --help'.").arg(QCoreApplication::applicationName()));
}

Expected<double> parseHm(const QCommandLineParser &parser)
{
    if (!parser.isSet(option::hm))
        return Expected<double>::failure(QStringLiteral("The field norm is missing: give it with --hm."));
    bool number = false;
    const double hm = parser.value(option::hm).toDouble(&number);
    if (!number || !std::isfinite(hm) || hm <= 0.0 || hm > MaximumHm)
        return Expected<double>::failure(
            QStringLiteral("--hm takes the field norm, a number above 0 and up to %1, not \"%2\".")
                .arg(MaximumHm, 0, 'f', 3)
                .arg(printable(parser.value(option::hm))));
    return hm;
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

// Where the outputs go, and how the results are printed.
std::optional<QString> outputsWrong(const QCommandLineParser &parser, const CliOptions &o)
{
    for (const QCommandLineOption *path : {&option::output, &option::apply, &option::plot})
        if (parser.isSet(*path) && parser.value(*path).isEmpty())
            return QStringLiteral("An output path is empty.");
    if (parser.isSet(option::exportFormat) && parser.value(option::exportFormat) != QLatin1String("c"))
        return QStringLiteral("Unknown export format \"%1\"; the one known is c.")
            .arg(printable(parser.value(option::exportFormat)));
    if (!o.plot.isEmpty() && o.files.size() == 1 && !QFileInfo(o.plot).isDir() &&
        !o.plot.endsWith(QLatin1String(".png"), Qt::CaseInsensitive) &&
        !o.plot.endsWith(QLatin1String(".svg"), Qt::CaseInsensitive))
        return QStringLiteral("--plot draws a .png or an .svg file, not \"%1\".").arg(printable(o.plot));
    if (o.json && o.exportC)
        return QStringLiteral("--json and --export both print on standard output; choose one.");
    return std::nullopt;
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

    CliOptions &o = c.options;
    o.files = parser.positionalArguments();
    if (o.files.isEmpty())
        return wrong(QStringLiteral("No raw measurement file given."));
    const Expected<double> hm = parseHm(parser);
    if (!hm)
        return wrong(hm.error());
    o.hm = *hm;
    const Expected<int> resamples = parseResamples(parser);
    if (!resamples)
        return wrong(resamples.error());
    o.resamples = *resamples;
    o.output = parser.value(option::output);
    o.apply = parser.value(option::apply);
    o.plot = parser.value(option::plot);
    o.json = parser.isSet(option::json);
    o.exportC = parser.isSet(option::exportFormat);
    if (const std::optional<QString> why = outputsWrong(parser, o))
        return wrong(*why);
    return c;
}

QString helpText()
{
    QCommandLineParser parser;
    declare(parser);
    return parser.helpText();
}

} // namespace tavrin
