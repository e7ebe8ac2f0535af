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
#include "workcontrol.h"

#include <optional>
#include <vector>

namespace tavrin {

namespace RobustLimits {
constexpr double HuberK = 1.345;    ///< robust sigmas of Huber's loss, which the fit starts with
constexpr double TukeyC = 4.685;    ///< robust sigmas beyond which a point gets weight zero
constexpr int SubsampleSize = 4096; ///< larger sets converge on an even sample first
} // namespace RobustLimits

struct RobustFit {
    FitModel model = FitModel::Full;
    CalibrationParameters parameters;
    std::vector<int> rejected; ///< 0-based indices of the points of final weight zero
    double scale = 0.0;        ///< the final robust sigma of the distances to the surface, in input units
    double normal[3] = {};     ///< planar only: the unit normal of the plane, left uncalibrated
    /// The norm the calibrated points have: Hm, but for a plane the median
    /// over the points, as the component along the normal is left as it is.
    double calibratedNorm = 0.0;
};

/// Fits one of Full, Diagonal, Sphere or Planar to the points for the field
/// norm Hm, point k counted weights[k] times when weights are given. It
/// starts from the algebraic fit, when that is an ellipsoid, and from a
/// sphere, and keeps the one of smaller robust scale; or, but for Planar,
/// from start alone, when given: a fit of nearly the same points, as a
/// bootstrap's resamples are. Empty when the points determine no such fit,
/// or when control cancels it; a pass over many points takes a second
/// thread when control's budget has one.
std::optional<RobustFit> FitRobust(Points points, double Hm, FitModel model, const int *weights = nullptr,
                                   const CalibrationParameters *start = nullptr,
                                   const WorkControl &control = WorkControl());

} // namespace tavrin

#endif
