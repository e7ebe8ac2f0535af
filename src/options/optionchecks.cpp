#include "optionchecks.h"
#include "fieldunit.h"
#include "logreader.h"
#include "printable.h"
#include "sourcename.h"

#include <QRegularExpression>
#include <QStringList>

#include <cmath>

namespace tavrin {

OptionProblem checkHm(const QString &text, double &hm)
{
    bool number = false;
    hm = text.toDouble(&number);
    if (number && std::isfinite(hm) && hm > 0.0 && hm <= MaximumHm)
        return std::nullopt;
    return QStringLiteral("--hm takes the field norm, a number above 0 and up to %1, not \"%2\".")
        .arg(MaximumHm, 0, 'f', 3)
        .arg(printable(text));
}

namespace {

// A whole number of ASCII digits from lowest to highest.
bool wholeNumberIn(const QString &text, long long lowest, long long highest, long long &value)
{
    if (!QRegularExpression(QStringLiteral("^[0-9]{1,18}$")).match(text).hasMatch())
        return false;
    value = text.toLongLong();
    return value >= lowest && value <= highest;
}

} // namespace

OptionProblem checkDeviceId(const QString &text, long long &id)
{
    if (wholeNumberIn(text, 1, MaximumDeviceId, id))
        return std::nullopt;
    return QStringLiteral(
               "--device-id takes the sensor's id from the vehicle's parameter list, a whole number "
               "from 1 to %1, not \"%2\".")
        .arg(MaximumDeviceId)
        .arg(printable(text));
}

OptionProblem checkVehicleId(const QString &option, const QString &text, long long &id)
{
    if (wholeNumberIn(text, 1, MaximumVehicleId, id))
        return std::nullopt;
    return QStringLiteral("%1 takes a MAVLink id from 1 to %2, not \"%3\".")
        .arg(option)
        .arg(MaximumVehicleId)
        .arg(printable(text));
}

OptionProblem checkPlace(const QString &option, const QString &text, Place &place)
{
    const QStringList parts = text.split(',');
    double values[3] = {0.0, 0.0, 0.0};
    bool numbers = parts.size() == 2 || parts.size() == 3;
    for (int k = 0; numbers && k < parts.size(); k++) {
        values[k] = parts[k].trimmed().toDouble(&numbers);
        numbers = numbers && std::isfinite(values[k]);
    }
    if (!numbers)
        return QStringLiteral("%1 takes LAT,LON[,HEIGHT] in degrees and metres, not \"%2\".")
            .arg(option, printable(text));
    if (values[0] < LowestLatitude || values[0] > HighestLatitude)
        return QStringLiteral("The latitude of %1 lies from %2 to %3 degrees, not %4.")
            .arg(option)
            .arg(LowestLatitude)
            .arg(HighestLatitude)
            .arg(values[0]);
    if (values[1] < LowestLongitude || values[1] > HighestLongitude)
        return QStringLiteral("The longitude of %1 lies from %2 to %3 degrees, not %4.")
            .arg(option)
            .arg(LowestLongitude)
            .arg(HighestLongitude)
            .arg(values[1]);
    place = Place{values[0], values[1], values[2]};
    return std::nullopt;
}

OptionProblem checkDate(const QString &text, double &year)
{
    if (QRegularExpression(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$")).match(text).hasMatch()) {
        const QDate date = QDate::fromString(text, Qt::ISODate);
        if (date.isValid()) {
            year = decimalYear(date);
            return std::nullopt;
        }
    } else {
        bool number = false;
        year = text.toDouble(&number);
        if (number && std::isfinite(year))
            return std::nullopt;
    }
    return QStringLiteral("--date takes YYYY-MM-DD or a decimal year such as 2027.5, not \"%1\".")
        .arg(printable(text));
}

OptionProblem checkUnits(const QString &text)
{
    if (fieldUnitInNt(text) != 0.0)
        return std::nullopt;
    return QStringLiteral("--units takes nT, uT, mG or G, not \"%1\".").arg(printable(text));
}

QString fitNames(const QString &last)
{
    QStringList names;
    for (const FitModelInfo &m : FitModels())
        names << QString::fromLatin1(m.name);
    return names.mid(0, names.size() - 1).join(QStringLiteral(", ")) + last + names.last();
}

OptionProblem checkFit(const QString &text, FitModel &fit)
{
    if (const std::optional<FitModel> model = fitModelNamed(text.toUtf8().constData())) {
        fit = *model;
        return std::nullopt;
    }
    return QStringLiteral("Unknown fit \"%1\"; the fits are %2.")
        .arg(printable(text), fitNames(QStringLiteral(" and ")));
}

OptionProblem checkColumns(const QString &text, std::array<QString, 3> &columns, const QString &option,
                           const QString &form)
{
    const QStringList selectors = text.split(',');
    bool fine = selectors.size() == 3;
    for (int c = 0; fine && c < 3; c++) {
        columns[size_t(c)] = selectors[c].trimmed();
        fine = !columns[size_t(c)].isEmpty() && ColumnNumber(columns[size_t(c)]) >= 0;
    }
    if (!fine)
        return QStringLiteral("%1 takes three columns %2, numbers from 1 or header names, not \"%3\".")
            .arg(option, form, printable(text));
    for (int c = 0; c < 3; c++)
        for (int d = 0; d < c; d++)
            if (columns[size_t(c)].compare(columns[size_t(d)], Qt::CaseInsensitive) == 0 ||
                (ColumnNumber(columns[size_t(c)]) > 0 &&
                 ColumnNumber(columns[size_t(c)]) == ColumnNumber(columns[size_t(d)])))
                return QStringLiteral("%1 takes three different columns, not \"%2\".")
                    .arg(option, printable(text));
    return std::nullopt;
}

OptionProblem checkPort(const QString &text)
{
    if (!text.isEmpty() && (!isTcpSource(text) || tcpAddress(text)))
        return std::nullopt;
    return QStringLiteral(
               "--port takes a serial port such as /dev/ttyUSB0, - or tcp://HOST:PORT, not \"%1\".")
        .arg(printable(text));
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
