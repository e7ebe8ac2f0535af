// The calibrated measurements, A^-1 (h - b) for every raw point in file order.
#ifndef TAVRIN_CALIBRATEDFILE_H
#define TAVRIN_CALIBRATEDFILE_H

#include "ellipsoidfit.h"

#include <QByteArray>

namespace tavrin {

/// One "x<TAB>y<TAB>z" line per point, calibrated, six decimals.
QByteArray CalibratedPointsBytes(Points points, const CalibrationParameters &p);

} // namespace tavrin

#endif
