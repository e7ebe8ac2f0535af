// The units a magnetometer's measurements may be given in.
#ifndef TAVRIN_FIELDUNIT_H
#define TAVRIN_FIELDUNIT_H

#include <QString>

namespace tavrin {

/// nT in one unit of the measurements (nT, uT, mG or G); 0 for another text.
/// 1 G = 1000 mG = 100 uT = 100000 nT.
double fieldUnitInNt(const QString &units);

/// The largest Hm taken, in the unit of the measurements: the widest value
/// a parameters file's columns are laid out for.
constexpr double MaximumHm = 999999.999;

} // namespace tavrin

#endif
