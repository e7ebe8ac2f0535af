#include "startoptions.h"
#include "optionchecks.h"
#include "printable.h"
#include "worldmodel.h"

#include <QCoreApplication>

namespace tavrin {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("StartOptions", text);
}

// The model holds at the place and in the year asked for, as tavrin-cli
// says, when names the year as given ("today" when not).
OptionProblem checkModel(const Place &place, double year, const QString &when)
{
    QString problem;
    const std::unique_ptr<FieldModel> model = LoadWorldModel(&problem);
    if (!model)
        return problem;
    return OutsideModel(*model, place, year, when);
}

} // namespace

QString startHelp()
{
    return tr("Usage: tavrin-workbench [--hm VALUE [--units U] | --hm-at LAT,LON[,H] [--date D] --units U]\n"
              "                        [--columns X,Y,Z [--decimal-comma] [--skip-bad-lines]] [--fit MODEL]\n"
              "                        [FILE | FILE.tavrin | --port PATH]\n"
              "Calibrates a tri-axis magnetometer in a window: opens FILE, calibrates it and shows the\n"
              "points, the verdict and the results, h_cal = A^-1 (h - b).\n"
              "\n"
              "  --hm VALUE          Hm, the Earth field norm, in the unit of the measurements.\n"
              "  --units U           The unit of the measurements: nT, uT, mG or G.\n"
              "  --hm-at LAT,LON[,H] Hm from the World Magnetic Model at a place (degrees, metres).\n"
              "  --date D            The date for the model, YYYY-MM-DD or a decimal year such as\n"
              "                      2027.5 (the day it falls in); today by default.\n"
              "  --columns X,Y,Z     Read FILE as a log: the x, y and z columns, numbers or names.\n"
              "  --decimal-comma     The log writes 1,5 for 1.5.\n"
              "  --skip-bad-lines    Skip the log's bad lines instead of refusing it.\n"
              "  --fit MODEL         exact, full, diagonal, sphere, planar or auto (the default).\n"
              "  --port PATH         Capture live from a serial port, tcp://host:port or - (standard\n"
              "                      input), shown as it fills in; Stop calibrates the recording.\n"
              "  -h, --help          Show this help.\n"
              "  -v, --version       Show the version.\n");
}

std::optional<StartOptions> parseStartOptions(const QStringList &arguments, QString *problem)
{
    StartOptions o;
    std::optional<double> hm;
    std::optional<Place> hmAt;
    QString units, date;
    double year = 0.0;
    bool hasUnits = false;
    std::optional<std::array<QString, 3>> columns;
    bool decimalComma = false, skipBadLines = false;
    const auto fail = [problem](const QString &why) {
        *problem = why;
        return std::nullopt;
    };
    for (int k = 1; k < arguments.size(); k++) {
        const QString &a = arguments[k];
        const auto value = [&](QString *into) {
            if (k + 1 >= arguments.size())
                return false;
            *into = arguments[++k];
            return true;
        };
        const bool takesValue = a == QLatin1String("--hm") || a == QLatin1String("--units") ||
                                a == QLatin1String("--hm-at") || a == QLatin1String("--date") ||
                                a == QLatin1String("--columns") || a == QLatin1String("--fit") ||
                                a == QLatin1String("--port");
        QString v;
        if (takesValue && !value(&v))
            return fail(tr("Missing value after '%1'.").arg(a));
        OptionProblem why;
        if (a == QLatin1String("--hm")) {
            double given = 0.0;
            why = checkHm(v, given);
            hm = given;
        } else if (a == QLatin1String("--units")) {
            why = checkUnits(v);
            units = v;
            hasUnits = true;
        } else if (a == QLatin1String("--hm-at")) {
            Place place;
            why = checkPlace(a, v, place);
            hmAt = place;
        } else if (a == QLatin1String("--date")) {
            why = checkDate(v, year);
            date = v;
        } else if (a == QLatin1String("--columns")) {
            columns.emplace();
            why = checkColumns(v, *columns);
        } else if (a == QLatin1String("--decimal-comma")) {
            decimalComma = true;
        } else if (a == QLatin1String("--skip-bad-lines")) {
            skipBadLines = true;
        } else if (a == QLatin1String("--fit")) {
            FitModel model = FitModel::Auto;
            why = checkFit(v, model);
            o.fit = model;
        } else if (a == QLatin1String("--port")) {
            why = checkPort(v);
            o.port = v;
        } else if (a.startsWith(QLatin1Char('-')) && a != QLatin1String("-")) {
            return fail(tr("Unknown option %1; tavrin-workbench --help lists them.").arg(a));
        } else if (o.file.isEmpty()) {
            o.file = a;
        } else {
            return fail(tr("The workbench opens one file at a time."));
        }
        if (why)
            return fail(*why);
    }
    if (!o.port.isEmpty() && !o.file.isEmpty())
        return fail(portWithFileProblem());
    if (hm && hmAt)
        return fail(hmTwiceProblem());
    if (hmAt && !hasUnits)
        return fail(hmAtWithoutUnitsProblem());
    if ((decimalComma || skipBadLines) && !columns)
        return fail(withoutColumnsProblem(decimalComma ? QStringLiteral("--decimal-comma")
                                                       : QStringLiteral("--skip-bad-lines")));
    if (hmAt || !date.isEmpty()) {
        const bool today = date.isEmpty();
        if (const OptionProblem why =
                checkModel(hmAt.value_or(Place{}), today ? decimalYear(QDate::currentDate()) : year,
                           today ? QStringLiteral("today") : printable(date)))
            return fail(*why);
    }
    if (hm || hmAt) {
        HmSource s;
        s.value = hm.value_or(0.0);
        s.unit = units;
        s.place = hmAt;
        // A decimal year is taken at the day it falls in, as the date box shows it.
        s.date = date.isEmpty() ? QDate() : dayOfDecimalYear(year);
        o.hm = s;
    }
    if (columns) {
        LogFormat f;
        f.columns = *columns;
        f.decimalComma = decimalComma;
        f.skipBadLines = skipBadLines;
        o.log = f;
    }
    return o;
}

} // namespace tavrin
