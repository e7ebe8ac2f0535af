// How uncertain b and A are: a bootstrap over the points. Each resample draws
// n points with replacement and refits; the spread of the refits estimates
// the spread of the values.
#ifndef TAVRIN_BOOTSTRAP_H
#define TAVRIN_BOOTSTRAP_H

#include "ellipsoidfit.h"
#include "robustfit.h"
#include "workcontrol.h"

#include <cstdint>

namespace tavrin {

constexpr int DefaultResamples = 200;
constexpr std::uint64_t BootstrapSeed = 20261207;

/// The spread of one value over the resamples.
struct Spread {
    double std = 0.0;  ///< standard deviation
    double low = 0.0;  ///< 2.5th percentile
    double high = 0.0; ///< 97.5th percentile: [low, high] is the 95 % interval
};

struct Uncertainty {
    int resamples = 0;
    int failed = 0; ///< resamples whose fit or derivation failed; left out of the spreads
    std::uint64_t seed = BootstrapSeed;
    bool known = false; ///< at least two resamples succeeded
    Spread bias[3];
    Spread A[3][3];
};

/// Bootstraps the calibration of the points for the field norm Hm (in the
/// unit of the measurements, not 0), resamples of them (0 or more), by the
/// exact fit or, when one is given, by the robust fit's model from its
/// parameters. The same seed gives the same result, however many threads
/// share the work: every resample draws from its own generator. The
/// resamples share control's threads, one fit to a thread; a cancelled
/// bootstrap stops between resamples, and its result means nothing.
Uncertainty BootstrapCalibration(Points points, double Hm, int resamples, std::uint64_t seed = BootstrapSeed,
                                 const RobustFit *robust = nullptr,
                                 const WorkControl &control = WorkControl());

} // namespace tavrin

#endif
