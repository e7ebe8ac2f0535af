#include "hmsource.h"
#include "fieldunit.h"

#include <QCoreApplication>
#include <QDir>

namespace tavrin {

namespace {

// Next to the program, then the installed data folder, then where the build
// makes the model's files.
QStringList modelFolders()
{
    const QString program = QCoreApplication::applicationDirPath();
    return {QDir(program).filePath(QStringLiteral("magnetic")),
            QDir::cleanPath(program + QStringLiteral("/../share/tavrin/magnetic")),
            QStringLiteral(TAVRIN_BUILD_MAGNETIC)};
}

} // namespace

const QStringList &fieldUnits()
{
    static const QStringList units = {QString(), QStringLiteral("nT"), QStringLiteral("uT"),
                                      QStringLiteral("mG"), QStringLiteral("G")};
    return units;
}

FieldLookup lookUpField(const Place &place, const QDate &date)
{
    FieldLookup lookup;
    const std::unique_ptr<FieldModel> model =
        FieldModel::load(QStringLiteral("wmm2025"), modelFolders(), &lookup.problem);
    if (!model)
        return lookup;
    lookup.modelName = model->name();
    const double year = decimalYear(date.isValid() ? date : QDate::currentDate());
    if (year < model->firstYear() || year >= model->endYear())
        lookup.problem = QCoreApplication::translate("HmSource", "%1 is valid from %2-01-01 to %3-12-31.")
                             .arg(model->name())
                             .arg(int(model->firstYear()))
                             .arg(int(model->endYear()) - 1);
    else if (place.height < model->lowestHeight() || place.height > model->highestHeight())
        lookup.problem =
            QCoreApplication::translate("HmSource", "%1 holds from %2 to %3 m above the WGS84 ellipsoid.")
                .arg(model->name())
                .arg(model->lowestHeight())
                .arg(model->highestHeight());
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
