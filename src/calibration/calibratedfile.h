// The calibrated measurements, A^-1 (h - b) for every raw point in file order.
#ifndef TAVRIN_CALIBRATEDFILE_H
#define TAVRIN_CALIBRATEDFILE_H

#include "ellipsoidfit.h"

#include <QByteArray>

namespace tavrin {

/// One "x<TAB>y<TAB>z" line per point of rows 0 to n - 1 of Mag, six decimals.
QByteArray CalibratedPointsBytes(const MatDoub &Mag, Int n, const CalibrationParameters &p);

} // namespace tavrin

#endif
