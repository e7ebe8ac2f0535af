// The judgement of one calibration of a set of points: its quality report,
// put together from what the outline of the points and the calibration show.
#ifndef TAVRIN_JUDGEMENT_H
#define TAVRIN_JUDGEMENT_H

#include "quality.h"

namespace tavrin {

/// A fit as its judgement sees it: a view of what its caller holds.
struct JudgedFit {
    const EllipsoidFit &quadric; ///< for a robust fit, the quadric of its calibration
    const CalibrationParameters &parameters;
    FitModel model;
    const RobustFit *robust; ///< nullptr for the exact fit
};

/// Judges a calibration of the outline's points for the field norm Hm: its
/// coverage counts the directions about the robust sphere's centre, as
/// auto's choice does, and a planar fit's points are judged against the
/// norm they have. Hm itself is checked against the scale of the points.
/// What the outline found already is not found again; the parts still to
/// find share control's threads, each adding in its own order, so that the
/// report is the same on any number of threads.
QualityReport AssessCalibration(PointsOutline &outline, const JudgedFit &judged, double Hm,
                                const WorkControl &control = WorkControl());

} // namespace tavrin

#endif
