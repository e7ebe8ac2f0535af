// Whether Hm is in the unit of the measurements: a calibration scales the
// points to a sphere of radius Hm whatever Hm is, so an Hm in nT on data in
// uT gives results a thousand times too small, with nothing else amiss.
#ifndef TAVRIN_HMUNIT_H
#define TAVRIN_HMUNIT_H

#include "ellipsoidfit.h"

#include <QString>
#include <QStringList>

namespace tavrin {

/// Hm and the points' median |h - b| farther apart than this factor, either
/// way, are not in one unit.
constexpr double MaxHmScaleFactor = 5.0;

/// A calibration whose readings lie a median of more than this share of Hm
/// from Hm has failed: its median |h - b| tells nothing of the unit.
constexpr double MaxUnitNormError = 0.2;

/// A value shown as zero is lost when it exceeds this share of its scale: the
/// median |h - b| for b, the largest entry of A for A. Below it, as for the
/// small misalignment of a well-aligned sensor, the zero is as good as exact.
constexpr double NegligibleShare = 1e-4;

struct HmUnitCheck {
    double hm = 0.0;
    double medianDistance = 0.0; ///< median |h - b| over the points
    /// hm and medianDistance beyond MaxHmScaleFactor apart, on a calibration
    /// that holds: most readings calibrate to within MaxUnitNormError of Hm.
    bool scaleDiffers = false;
    /// hm and medianDistance beyond MaxHmScaleFactor apart, on a calibration
    /// that has failed: the unit may be right.
    bool fitFails = false;
    /// The median of | |h_cal| - Hm | / |Hm| over the readings, each rest
    /// counted as RestCounts counts it; found when Hm and medianDistance
    /// lie apart.
    double medianNormError = 0.0;
    bool valuesVanish = false; ///< a value of b or A beyond NegligibleShare is shown as zero

    bool warns() const { return scaleDiffers || valuesVanish; }
};

/// Checks Hm against the calibrated points (at least one): whether the
/// median |h - b| is that of another unit, or of a fit that failed. shown holds the
/// twelve values as a front end shows them (b, then A by rows), where a
/// nonzero value may show as zero; without it only the scale is checked.
HmUnitCheck CheckHmUnit(Points points, const CalibrationParameters &p, double Hm,
                        const QStringList &shown = {});

/// The warning for a check that warns: both numbers, and that Hm must be in
/// the unit of the measurements.
QString hmUnitWarningMessage(const HmUnitCheck &check);

} // namespace tavrin

#endif
