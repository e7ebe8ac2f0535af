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

FieldLookup lookUpField(const Place &place, const QDate &date)
{
    FieldLookup lookup;
    const std::unique_ptr<FieldModel> model = LoadWorldModel(&lookup.problem);
    if (!model)
        return lookup;
    lookup.modelName = model->name();
    const QDate day = date.isValid() ? date : QDate::currentDate();
    const double year = decimalYear(day);
    if (const std::optional<QString> outside = OutsideModel(*model, place, year, day.toString(Qt::ISODate)))
        lookup.problem = *outside;
    else
        lookup.field = model->at(place, year);
    return lookup;
}

std::optional<double> hmOf(const HmSource &source, QString *problem)
{
    if (!source.place)
        return source.value;
    const double perUnit = fieldUnitInNt(source.unit);
    if (perUnit == 0.0) {
        *problem = QCoreApplication::translate(
            "HmSource", "Choose the unit of the measurements to take Hm from the model.");
        return std::nullopt;
    }
    const FieldLookup lookup = lookUpField(*source.place, source.date);
    if (!lookup.field) {
        *problem = lookup.problem;
        return std::nullopt;
    }
    return lookup.field->F / perUnit;
}

} // namespace tavrin
