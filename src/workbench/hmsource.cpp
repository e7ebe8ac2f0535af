#include "hmsource.h"
#include "fieldunit.h"
#include "worldmodel.h"

#include <QCoreApplication>

namespace tavrin {

const QStringList &fieldUnits()
{
    static const QStringList units = {QString(), QStringLiteral("nT"), QStringLiteral("uT"),
                                      QStringLiteral("mG"), QStringLiteral("G")};
    return units;
}

Expected<FieldLookup> lookUpField(const Place &place, const QDate &date)
{
    const Expected<std::shared_ptr<const FieldModel>> model = loadWorldModel();
    if (!model)
        return Expected<FieldLookup>::failure(model.error());
    const QDate day = date.isValid() ? date : QDate::currentDate();
    const double year = decimalYear(day);
    if (const Expected<void> holds = checkModelHolds(**model, place, year, day.toString(Qt::ISODate)); !holds)
        return Expected<FieldLookup>::failure(holds.error());
    return FieldLookup{(*model)->at(place, year), (*model)->name()};
}

Expected<double> hmOf(const HmSource &source)
{
    if (!source.place)
        return source.value;
    const double perUnit = fieldUnitInNt(source.unit);
    if (perUnit == 0.0)
        return Expected<double>::failure(QCoreApplication::translate(
            "HmSource", "Choose the unit of the measurements to take Hm from the model."));
    const Expected<FieldLookup> lookup = lookUpField(*source.place, source.date);
    if (!lookup)
        return Expected<double>::failure(lookup.error());
    return lookup->field.F / perUnit;
}

} // namespace tavrin
