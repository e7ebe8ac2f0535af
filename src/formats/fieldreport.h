// What the field model says at a place and a date, for people and for
// programs, and the line that says where a calibration's Hm came from.
#ifndef TAVRIN_FIELDREPORT_H
#define TAVRIN_FIELDREPORT_H

#include "fieldmodel.h"

#include <QByteArray>

namespace tavrin {

/// The model's name, the place and the decimal year, then F, H, X, Y and Z
/// in nT and D and I in degrees, one a line.
QByteArray FieldText(const FieldModel &model, const Place &place, double year);

/// The same as one JSON document.
QByteArray FieldJson(const FieldModel &model, const Place &place, double year);

/// "Hm 50.104 uT: the total intensity of WMM2025 at ..." and a blank line;
/// hm in source.units.
QByteArray HmSourceLine(double hm, const HmFromModel &source, const Place &place, double year);

} // namespace tavrin

#endif
