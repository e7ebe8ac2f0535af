// Where Hm comes from: a value in a unit, or the World Magnetic Model's total
// intensity at a place and a date, in the unit of the measurements.
#ifndef TAVRIN_WORKBENCH_HMSOURCE_H
#define TAVRIN_WORKBENCH_HMSOURCE_H

#include "expected.h"
#include "fieldmodel.h"

#include <QDate>
#include <QString>
#include <QStringList>

#include <optional>

namespace tavrin {

/// The units Hm and the measurements can be in; the first is "no unit".
const QStringList &fieldUnits();

struct HmSource {
    double value = 48.0;
    QString unit;               ///< one of fieldUnits()
    std::optional<Place> place; ///< from the model when set
    QDate date;                 ///< with a place; invalid for today
};

/// The model's field at a place and a date.
struct FieldLookup {
    Field field;
    QString modelName;
};

/// The field at place on date (today when invalid), or why the model gives none.
Expected<FieldLookup> lookUpField(const Place &place, const QDate &date);

/// Hm in the unit of the source: the value, or the model's F; or why the
/// model gives none.
Expected<double> hmOf(const HmSource &source);

} // namespace tavrin

#endif
