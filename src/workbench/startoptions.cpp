#include "startoptions.h"
#include "fieldunit.h"

#include <QCoreApplication>

namespace tavrin {

namespace {

QString tr(const char *text)
{
    return QCoreApplication::translate("StartOptions", text);
}

std::optional<double> number(const QString &text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

std::optional<Place> place(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() < 2 || parts.size() > 3)
        return std::nullopt;
    Place p;
    const std::optional<double> latitude = number(parts[0]), longitude = number(parts[1]),
                                height = parts.size() == 3 ? number(parts[2]) : std::optional<double>(0.0);
    if (!latitude || !longitude || !height || std::abs(*latitude) > 90 || *longitude < -180 ||
        *longitude > 360)
        return std::nullopt;
    return Place{*latitude, *longitude, *height};
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
              "  --date D            The date for the model, YYYY-MM-DD; today by default.\n"
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
    bool hasUnits = false;
    std::optional<QStringList> columns;
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
        QString v;
        if (a == QLatin1String("--hm")) {
            if (!value(&v) || !(hm = number(v)) || *hm <= 0)
                return fail(tr("--hm wants a number above zero, e.g. --hm 48."));
        } else if (a == QLatin1String("--units")) {
            if (!value(&units) || fieldUnitInNt(units) == 0.0)
                return fail(tr("--units wants nT, uT, mG or G."));
            hasUnits = true;
        } else if (a == QLatin1String("--hm-at")) {
            if (!value(&v) || !(hmAt = place(v)))
                return fail(tr("--hm-at wants LAT,LON or LAT,LON,H, e.g. --hm-at 48.85,2.35,35."));
        } else if (a == QLatin1String("--date")) {
            if (!value(&date) || !QDate::fromString(date, Qt::ISODate).isValid())
                return fail(tr("--date wants a date as YYYY-MM-DD."));
        } else if (a == QLatin1String("--columns")) {
            if (!value(&v) || v.split(QLatin1Char(',')).size() != 3)
                return fail(tr("--columns wants three columns, e.g. --columns 2,3,4 or --columns mx,my,mz."));
            columns = v.split(QLatin1Char(','));
        } else if (a == QLatin1String("--decimal-comma")) {
            decimalComma = true;
        } else if (a == QLatin1String("--skip-bad-lines")) {
            skipBadLines = true;
        } else if (a == QLatin1String("--fit")) {
            if (!value(&v) || !(o.fit = fitModelNamed(v.toLatin1().constData())))
                return fail(tr("--fit wants exact, full, diagonal, sphere, planar or auto."));
        } else if (a == QLatin1String("--port")) {
            if (!value(&o.port) || o.port.isEmpty())
                return fail(
                    tr("--port wants a serial port, tcp://host:port or -, e.g. --port /dev/ttyUSB0."));
        } else if (a.startsWith(QLatin1Char('-')) && a != QLatin1String("-")) {
            return fail(tr("Unknown option %1; tavrin-workbench --help lists them.").arg(a));
        } else if (o.file.isEmpty()) {
            o.file = a;
        } else {
            return fail(tr("The workbench opens one file at a time."));
        }
    }
    if (!o.port.isEmpty() && !o.file.isEmpty())
        return fail(tr("Give either a file or --port, not both."));
    if (hm && hmAt)
        return fail(tr("Give either --hm or --hm-at, not both."));
    if (hmAt && !hasUnits)
        return fail(tr("--hm-at needs --units: the unit of the measurements."));
    if ((decimalComma || skipBadLines) && !columns)
        return fail(tr("--decimal-comma and --skip-bad-lines read a log: give --columns too."));
    if (hm || hmAt) {
        HmSource s;
        s.value = hm.value_or(0.0);
        s.unit = units;
        s.place = hmAt;
        s.date = QDate::fromString(date, Qt::ISODate);
        o.hm = s;
    }
    if (columns) {
        LogFormat f;
        for (int i = 0; i < 3; i++)
            f.columns[size_t(i)] = (*columns)[i].trimmed();
        f.decimalComma = decimalComma;
        f.skipBadLines = skipBadLines;
        o.log = f;
    }
    return o;
}

} // namespace tavrin
