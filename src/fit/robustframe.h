// Where the robust fit works: the frame of unit RMS radius that it takes
// the points into, its parameters taken back to b and A, and whether the
// points determine a fit at all. Internal to the robust fit.
#ifndef TAVRIN_ROBUSTFRAME_H
#define TAVRIN_ROBUSTFRAME_H

#include "robustpass.h"

#include <utility>

namespace tavrin {
namespace robust {

/// The frame of a fit, gross points left out: least-squares starts, which
/// one gross point can pull anywhere, and even Huber's loss, whose gradient
/// in the gains grows with the point's distance, leave them out; the
/// rejected points are still judged among all that given counts, the
/// readings a rest's thinning (counted) leaves out too. normal: for a plane.
Sample fittedFrame(Points points, const int *counted, const int *given, Shape shape,
                   const PointSpread &spread, const double normal[3], const std::vector<bool> &gross,
                   const WorkControl &control);

/// The frame and the model of a Full, Diagonal or Sphere fit.
std::pair<Sample, Model> spaceFrame(Points points, double Hm, FitModel model, const int *weights,
                                    const SpreadBesideGross &known, const WorkControl &control);

/// b and A of parameters t in three dimensions, in the frame of that origin
/// and scale.
CalibrationParameters spaceParameters(const double origin[3], double scale, Shape shape, const Parameters &t);

/// b and A of a plane of normal n fitted in the frame of s.
CalibrationParameters planeParameters(const Sample &s, const Parameters &t, const double n[3]);

/// How many distinct points there are, counting up to enough only.
int distinctPoints(Points points, const int *weights, int enough);

/// Why points of that spread, their gross ones left out, determine no fit
/// of model; Undetermined::No when they may.
Undetermined undeterminedBySpread(FitModel model, const PointSpread &spread);

} // namespace robust
} // namespace tavrin

#endif
