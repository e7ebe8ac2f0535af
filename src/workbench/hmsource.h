// Where Hm comes from: a value in a unit, or the World Magnetic Model's total
// intensity at a place and a date, in the unit of the measurements.
#ifndef TAVRIN_WORKBENCH_HMSOURCE_H
#define TAVRIN_WORKBENCH_HMSOURCE_H

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

/// The model's field at a place and a date, or why there is none.
struct FieldLookup {
    std::optional<Field> field;
    QString modelName;
    QString problem;
};

FieldLookup lookUpField(const Place &place, const QDate &date);

/// Hm in the unit of the source: the value, or the model's F; empty with
/// the problem when the model gives none.
std::optional<double> hmOf(const HmSource &source, QString *problem);

} // namespace tavrin

#endif
