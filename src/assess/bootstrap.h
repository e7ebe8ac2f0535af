// How uncertain b and A are: a bootstrap. For the exact fit each resample
// draws n points with replacement and refits. For a robust fit the readings
// are a time series, whose neighbours share their noise and their motion:
// each resample draws runs of consecutive readings, refits every model the
// choice weighs and, for auto, chooses again; the intervals of b then take
// in the biases of the models that the data cannot tell apart from the one
// that gave them, which no resample of a cap can show.
#ifndef TAVRIN_BOOTSTRAP_H
#define TAVRIN_BOOTSTRAP_H

#include "ellipsoidfit.h"
#include "robustfit.h"
#include "workcontrol.h"

#include <atomic>
#include <cstdint>

namespace tavrin {

constexpr int DefaultResamples = 200;
constexpr std::uint64_t BootstrapSeed = 20261207;

/// The limits of the time-series bootstrap.
namespace BootstrapLimits {
/// The run length is this many correlation times of the residuals
/// (CorrelationTime): runs of one time lose the covariance across their
/// ends, a third of the variance for noise that neighbours share at 0.8;
/// four times lose about a tenth.
constexpr double RunsPerCorrelationTime = 4.0;
constexpr int MostRuns = 20000;  ///< longer runs on more points, so that the sums stay small
constexpr int LeastRuns = 20;    ///< shorter runs on fewer points, so that resamples differ
constexpr int LongestRun = 1000; ///< and none longer than this, however long the correlation
/// A model whose predicted bias error is within this factor of the chosen
/// model's cannot be told apart from it: its bias joins the intervals.
constexpr double AlikeErrorRatio = 2.0;
/// A 95 % interval of a bias component wider than this share of Hm means
/// the data do not determine the bias.
constexpr double MostDeterminedWidth = 0.2;
} // namespace BootstrapLimits

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
    int runLength = 1; ///< consecutive readings drawn together; 1 for the exact fit's single points
    /// Robust fits: the models whose biases joined the intervals of b, the
    /// fitted one first.
    std::vector<FitModel> alike;
};

/// Bootstraps the calibration of the points for the field norm Hm, by the
/// exact fit or, when one is given, by the robust fit's model from its
/// parameters; chooseAgain repeats auto's choice on every resample. The
/// same seed gives the same result, however many threads share the work:
/// every resample draws from its own generator. The resamples share
/// control's threads, one fit to a thread; a cancel stops the work early
/// and leaves the uncertainty unknown.
Uncertainty BootstrapCalibration(Points points, double Hm, int resamples, std::uint64_t seed = BootstrapSeed,
                                 const RobustFit *robust = nullptr, bool chooseAgain = false,
                                 const WorkControl &control = WorkControl());

/// Whether the 95 % interval of a bias component is wider than
/// BootstrapLimits::MostDeterminedWidth of Hm.
bool BiasUndetermined(const Uncertainty &u, double Hm);

} // namespace tavrin

#endif
