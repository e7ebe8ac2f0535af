// How uncertain b and A are: a bootstrap over the points. Each resample draws
// n points with replacement and refits; the spread of the refits estimates
// the spread of the values.
#ifndef TAVRIN_BOOTSTRAP_H
#define TAVRIN_BOOTSTRAP_H

#include "ellipsoidfit.h"

#include <cstdint>

namespace tavrin {

constexpr Int DefaultResamples = 200;
constexpr std::uint64_t BootstrapSeed = 20261207;

/// The spread of one value over the resamples.
struct Spread {
    Doub std = 0.0;  ///< standard deviation
    Doub low = 0.0;  ///< 2.5th percentile
    Doub high = 0.0; ///< 97.5th percentile: [low, high] is the 95 % interval
};

struct Uncertainty {
    Int resamples = 0;
    Int failed = 0; ///< resamples whose fit or derivation failed; left out of the spreads
    std::uint64_t seed = BootstrapSeed;
    Bool known = false; ///< at least two resamples succeeded
    Spread bias[3];
    Spread A[3][3];
};

/// Bootstraps the calibration of the points for the field norm
/// Hm. The same seed gives the same result, however many threads share the
/// work: every resample draws from its own generator.
Uncertainty BootstrapCalibration(Points points, Doub Hm, Int resamples, std::uint64_t seed = BootstrapSeed);

} // namespace tavrin

#endif
