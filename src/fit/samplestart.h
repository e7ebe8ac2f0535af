// A robust fit's starts converged ahead of the fit, so that this work can
// run beside other work before the fit's two passes over every point.
#ifndef TAVRIN_SAMPLESTART_H
#define TAVRIN_SAMPLESTART_H

#include "robustfit.h"

#include <optional>

namespace tavrin {

/// Where a robust fit of many points starts its passes over all of them:
/// its starts converged on an even sample of the points, which is most of
/// the fit's work but for two passes. ConvergeOnSample finds it apart from
/// the fit, so that it can run beside other work.
struct SampledStart {
    FitModel model = FitModel::Full;
    double Hm = 0.0;
    bool converged = false;    ///< false when no start converged: the fit then fails
    double parameters[9] = {}; ///< the best start's, in the fit's frame
};

/// The start FitRobust converges on an even sample of the points for a
/// Full, Diagonal or Sphere fit, their gross points and spread known; empty
/// for Planar, for points few enough to be fitted without a sample, and for
/// points that determine no such fit. Its starts converge on as many threads
/// as control gives.
std::optional<SampledStart> ConvergeOnSample(Points points, double Hm, FitModel model,
                                             const SpreadBesideGross &known, const WorkControl &control);

} // namespace tavrin

#endif
