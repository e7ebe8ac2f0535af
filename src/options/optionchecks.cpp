#include "optionchecks.h"
#include "fieldunit.h"
#include "logreader.h"
#include "printable.h"
#include "sourcename.h"

#include <QRegularExpression>
#include <QStringList>

#include <cmath>

namespace tavrin {

Expected<double> checkHm(const QString &text)
{
    bool number = false;
    const double hm = text.toDouble(&number);
    if (number && std::isfinite(hm) && hm > 0.0 && hm <= MaximumHm)
        return hm;
    return Expected<double>::failure(
        QStringLiteral("--hm takes the field norm, a number above 0 and up to %1, not \"%2\".")
            .arg(MaximumHm, 0, 'f', 3)
            .arg(printable(text)));
}

namespace {

// A whole number of ASCII digits from lowest to highest, or nothing.
std::optional<long long> wholeNumberIn(const QString &text, long long lowest, long long highest)
{
    if (!QRegularExpression(QStringLiteral("^[0-9]{1,18}$")).match(text).hasMatch())
        return std::nullopt;
    const long long value = text.toLongLong();
    if (value < lowest || value > highest)
        return std::nullopt;
    return value;
}

} // namespace

Expected<long long> checkDeviceId(const QString &text)
{
    if (const std::optional<long long> id = wholeNumberIn(text, 1, MaximumDeviceId))
        return *id;
    return Expected<long long>::failure(
        QStringLiteral("--device-id takes the sensor's id from the vehicle's parameter list, a whole number "
                       "from 1 to %1, not \"%2\".")
            .arg(MaximumDeviceId)
            .arg(printable(text)));
}

Expected<long long> checkVehicleId(const QString &option, const QString &text)
{
    if (const std::optional<long long> id = wholeNumberIn(text, 1, MaximumVehicleId))
        return *id;
    return Expected<long long>::failure(QStringLiteral("%1 takes a MAVLink id from 1 to %2, not \"%3\".")
                                            .arg(option)
                                            .arg(MaximumVehicleId)
                                            .arg(printable(text)));
}

Expected<Place> checkPlace(const QString &option, const QString &text)
{
    const QStringList parts = text.split(',');
    double values[3] = {0.0, 0.0, 0.0};
    bool numbers = parts.size() == 2 || parts.size() == 3;
    for (int k = 0; numbers && k < parts.size(); k++) {
        values[k] = parts[k].trimmed().toDouble(&numbers);
        numbers = numbers && std::isfinite(values[k]);
    }
    if (!numbers)
        return Expected<Place>::failure(
            QStringLiteral("%1 takes LAT,LON[,HEIGHT] in degrees and metres, not \"%2\".")
                .arg(option, printable(text)));
    if (values[0] < LowestLatitude || values[0] > HighestLatitude)
        return Expected<Place>::failure(
            QStringLiteral("The latitude of %1 lies from %2 to %3 degrees, not %4.")
                .arg(option)
                .arg(LowestLatitude)
                .arg(HighestLatitude)
                .arg(values[0]));
    if (values[1] < LowestLongitude || values[1] > HighestLongitude)
        return Expected<Place>::failure(
            QStringLiteral("The longitude of %1 lies from %2 to %3 degrees, not %4.")
                .arg(option)
                .arg(LowestLongitude)
                .arg(HighestLongitude)
                .arg(values[1]));
    return Place{values[0], values[1], values[2]};
}

Expected<double> checkDate(const QString &text)
{
    if (QRegularExpression(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$")).match(text).hasMatch()) {
        const QDate date = QDate::fromString(text, Qt::ISODate);
        if (date.isValid())
            return decimalYear(date);
    } else {
        bool number = false;
        const double year = text.toDouble(&number);
        if (number && std::isfinite(year))
            return year;
    }
    return Expected<double>::failure(
        QStringLiteral("--date takes YYYY-MM-DD or a decimal year such as 2027.5, not \"%1\".")
            .arg(printable(text)));
}

Expected<QString> checkUnits(const QString &text)
{
    if (fieldUnitInNt(text) != 0.0)
        return text;
    return Expected<QString>::failure(
        QStringLiteral("--units takes nT, uT, mG or G, not \"%1\".").arg(printable(text)));
}

QString fitNames(const QString &last)
{
    QStringList names;
    for (const FitModelInfo &m : FitModels())
        names << QString::fromLatin1(m.name);
    return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + last + names.last();
}

Expected<FitModel> checkFit(const QString &text)
{
    if (const std::optional<FitModel> model = fitModelNamed(text.toUtf8().constData()))
        return *model;
    return Expected<FitModel>::failure(QStringLiteral("Unknown fit \"%1\"; the fits are %2.")
                                           .arg(printable(text), fitNames(QStringLiteral(" and "))));
}

Expected<std::array<QString, 3>> checkColumns(const QString &text, const QString &option, const QString &form)
{
    using Columns = std::array<QString, 3>;
    Columns columns;
    const QStringList selectors = text.split(',');
    bool fine = selectors.size() == 3;
    for (int c = 0; fine && c < 3; c++) {
        columns[size_t(c)] = selectors[c].trimmed();
        fine = !columns[size_t(c)].isEmpty() && ColumnNumber(columns[size_t(c)]) >= 0;
    }
    if (!fine)
        return Expected<Columns>::failure(
            QStringLiteral("%1 takes three columns %2, numbers from 1 or header names, not \"%3\".")
                .arg(option, form, printable(text)));
    for (int c = 0; c < 3; c++)
        for (int d = 0; d < c; d++)
            if (columns[size_t(c)].compare(columns[size_t(d)], Qt::CaseInsensitive) == 0 ||
                (ColumnNumber(columns[size_t(c)]) > 0 &&
                 ColumnNumber(columns[size_t(c)]) == ColumnNumber(columns[size_t(d)])))
                return Expected<Columns>::failure(
                    QStringLiteral("%1 takes three different columns, not \"%2\".")
                        .arg(option, printable(text)));
    return columns;
}

Expected<QString> checkPort(const QString &text)
{
    if (!text.isEmpty() && (!isTcpSource(text) || tcpAddress(text)))
        return text;
    return Expected<QString>::failure(
        QStringLiteral("--port takes a serial port such as /dev/ttyUSB0, - or tcp://HOST:PORT, not \"%1\".")
            .arg(printable(text)));
}

QString hmTwiceProblem()
{
    return QStringLiteral("--hm and --hm-at both give Hm; choose one.");
}

QString hmAtWithoutUnitsProblem()
{
    return QStringLiteral("--hm-at needs the unit of the measurements: --units nT, uT, mG or G.");
}

QString portWithFileProblem()
{
    return QStringLiteral("--port reads the measurements in place of a FILE; give no FILE.");
}

QString withoutColumnsProblem(const QString &option)
{
    return QStringLiteral("%1 goes with --columns.").arg(option);
}

} // namespace tavrin
