// Geometric fits of h = A u Hm + b, |u| = 1, that a few gross spikes cannot
// pull: they minimise Tukey's biweight of each point's distance to the
// surface |A^-1 (h - b)| = Hm (to first order) by iteratively reweighted
// Levenberg-Marquardt, with the scale from the median absolute residual. A is symmetric positive
// definite (full), diagonal, or a multiple of the identity (sphere); the
// planar fit calibrates the plane of a turn about one axis only.
#ifndef TAVRIN_ROBUSTFIT_H
#define TAVRIN_ROBUSTFIT_H

#include "ellipsoidfit.h"
#include "fitmodels.h"
#include "pointspread.h"
#include "workcontrol.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace tavrin {

/// Why the data determine no fit of a model.
enum class Undetermined {
    No,
    FewPoints, ///< fewer than MinimumPoints distinct points
    Line,      ///< points on a line
    Plane,     ///< points in a plane, for any model but Planar
    Singular,  ///< the fit's normal matrix is singular, or the fit failed
    Reading,   ///< a reading beyond FitRange::Largest, which the exact fit cannot leave out
    Scale,     ///< readings whose median magnitude lies outside FitRange
};

/// "few-points", "line", "plane", "singular", "reading" or "scale"; empty
/// for Undetermined::No.
const char *undeterminedName(Undetermined why);

namespace RobustLimits {
constexpr double HuberK = 1.345;    ///< robust sigmas of Huber's loss, which the fit starts with
constexpr double TukeyC = 4.685;    ///< robust sigmas beyond which a point gets weight zero
constexpr int SubsampleSize = 4096; ///< larger sets converge on an even sample first
/// Points whose RMS spread across their best line (or, but for the planar
/// fit, across their best plane) is below this share of their RMS radius,
/// gross points aside, determine no fit: a noise-free turn about one axis
/// measures 0, rounding to the 4th decimal about 1e-6.
constexpr double MinSpreadShare = 1e-3;
/// A fit whose normal matrix J^T W J, in the frame of unit RMS radius, has
/// a Cholesky pivot below this share of its largest diagonal entry leaves
/// a combination of its parameters undetermined, as two circles of a
/// sphere leave an ellipsoid.
constexpr double SingularPivot = 1e-12;
} // namespace RobustLimits

/// The step between the points of the even sample, of about
/// RobustLimits::SubsampleSize, that a set of n points converges on first:
/// 1 for a set small enough to converge on all its points.
inline int subsampleStride(int n)
{
    return std::max(1, n / RobustLimits::SubsampleSize);
}

struct RobustFit {
    FitModel model = FitModel::Full;
    CalibrationParameters parameters;
    std::vector<int> rejected; ///< 0-based indices of the points of final weight zero
    double scale = 0.0;        ///< the final robust sigma of the distances to the surface, in input units
    double normal[3] = {};     ///< planar only: the unit normal of the plane, left uncalibrated
    /// The norm the calibrated points have: Hm, but for a plane the median
    /// over the points, as the component along the normal is left as it is.
    double calibratedNorm = 0.0;
    /// Full, Diagonal and Sphere: sigma^2 (J^T W J)^-1 for the bias, the
    /// covariance the noise implies if the points are independent.
    double biasCovariance[3][3] = {};
};

/// What a robust fit may be given beside its points, each unset unless
/// asked for; the setters chain: RobustFitOptions().weighted(w).controlledBy(c).
struct RobustFitOptions {
    /// Point k counted weights[k] times.
    const int *weights = nullptr;
    /// A fit of nearly the same points, as a bootstrap's resamples are, to
    /// start from alone; not for Planar.
    const CalibrationParameters *start = nullptr;
    /// Cancels the fit; a pass over many points takes a second thread when
    /// its budget has one.
    WorkControl control;
    /// SpreadWithoutGross of these points and weights, found already.
    const SpreadBesideGross *known = nullptr;

    RobustFitOptions &weighted(const int *counts)
    {
        weights = counts;
        return *this;
    }
    RobustFitOptions &startingFrom(const CalibrationParameters *fit)
    {
        start = fit;
        return *this;
    }
    RobustFitOptions &controlledBy(const WorkControl &work)
    {
        control = work;
        return *this;
    }
    RobustFitOptions &knowing(const SpreadBesideGross *spread)
    {
        known = spread;
        return *this;
    }
};

/// Fits one of Full, Diagonal, Sphere or Planar to the points for the field
/// norm Hm, each point counted as the options' weights count it, and each
/// rest as RestCounts counts it; a rest's readings that count for nothing
/// are still judged, and rejected when the fit misses them. It starts from
/// the algebraic fit, when that is an ellipsoid, and from a sphere, and
/// keeps the one of smaller robust scale; or, but for Planar, from the
/// options' start alone. Points beyond GrossDistances play no part in the
/// starts. Empty, and why set when given, when the points determine no such
/// fit (see RobustLimits), or when the options' control cancels it. A spread
/// known leaves the fit exactly as it would be without it.
std::optional<RobustFit> FitRobust(Points points, double Hm, FitModel model,
                                   const RobustFitOptions &options = RobustFitOptions(),
                                   Undetermined *why = nullptr);

/// A Full, Diagonal or Sphere fit, ready to be refitted on resamples of runs
/// of consecutive points: the normal equations J^T W J and J^T W r at the
/// fit, summed over each run. A resample's refit is one Gauss-Newton step
/// from the fit with its runs counted as drawn, at the fit's weights and
/// scale: the one-step bootstrap, which costs the runs, not the points.
class RobustSteps {
public:
    /// Runs of runLength points, the last one shorter when it must be;
    /// point k counted counts[k] times when counts are given, as
    /// SpreadBesideGross::counts thins a rest.
    RobustSteps(Points points, double Hm, const RobustFit &fit, int runLength, const int *counts = nullptr);

    int runs() const { return runCount; }

    /// The fit of the points of run k counted counts[k] times: b, A and
    /// the bias covariance; empty when the counted points determine none.
    std::optional<RobustFit> step(const int *counts) const;

private:
    FitModel model;
    double Hm;
    double origin[3];
    double scale; ///< from input units to the frame's
    double sigma; ///< in the frame's units
    double at[9]; ///< the fit's parameters in the frame
    int np;       ///< how many there are
    int runCount;
    std::vector<double> sums; ///< per run: the upper triangle of J^T W J, then J^T W r
};

} // namespace tavrin

#endif
