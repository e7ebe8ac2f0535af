// The accelerometer's own offset and scale, from its readings at rest: there
// it measures gravity alone, so its readings lie on an ellipsoid that its
// errors made of the sphere of 1 g, a = S u + b for gravity's unit direction
// u. The fit is the magnetometer's robust fit, on as many parameters as the
// attitudes at rest can carry; its correction S^-1 (a - b) is applied before
// the angle between the accelerometer and the field is taken.
//
// Which model. With S = g (I + E), to first order a reading's norm at rest
// is g (1 + u^T E u) + u . b: each attitude gives one equation in
// the offset (coefficients u) and the scale (u_i^2 for each axis, 2 u_i u_j
// across axes, or 1 for a sphere's one scale). A model is fitted when
// - the distinct attitudes number at least its parameters and SpareAttitudes
//   more (sphere 4, diagonal 6, full 9 parameters), and
// - the attitudes determine each parameter: the square root of the largest
//   diagonal entry of the inverse of the equations' normal matrix, averaged
//   over the attitudes, is at most MaximumAmplification. Attitudes spread
//   evenly over the sphere give 1.7 (sphere) to 2.4 (diagonal, full);
//   attitudes on one side of the sphere, or on one circle, confuse the
//   offset with the scale and give much more.
// The richest model that passes is fitted: full, else diagonal, else sphere.
// A fit whose offset or scale lies beyond what an accelerometer's errors
// are (MaximumOffset, MaximumScaleError) is not applied either.
#ifndef TAVRIN_ALIGN_ACCELFIT_H
#define TAVRIN_ALIGN_ACCELFIT_H

#include "fitmodels.h"
#include "rotation3.h"

#include <string>
#include <vector>

namespace tavrin::align {

/// Readings at rest within this many degrees of an attitude's first
/// reading belong to that attitude.
constexpr double AttitudeDegrees = 10.0;
/// An attitude counts when it holds at least this many readings at rest;
/// the readings of the others are left out of the fit.
constexpr int MinimumAttitudeReadings = 5;
/// The attitudes must outnumber a model's parameters by this many: a fit
/// that passes through every attitude shows nothing of how well it fits.
constexpr int SpareAttitudes = 2;
/// The largest standard error of a parameter (the offset in g, the scale as
/// a share) that independent errors of one in each attitude's norm may give,
/// times the square root of the attitudes' count: five times that of
/// attitudes spread evenly over the sphere.
constexpr double MaximumAmplification = 12.0;
/// The largest offset, in g, and the largest share by which the scale may
/// differ from its mean along any direction, that a fit may find.
constexpr double MaximumOffset = 0.25;
constexpr double MaximumScaleError = 0.2;

struct AccelerometerFit {
    bool fitted = false;
    std::string reason; ///< why not, when not fitted
    FitModel model = FitModel::Sphere;
    int attitudes = 0; ///< distinct attitudes at rest
    int readings = 0;  ///< the readings at rest of those attitudes
    Vec3 offset{};     ///< b, in the accelerometer's unit
    /// S: what 1 g along each of the accelerometer's own axes reads, in its
    /// unit, as columns; diagonal for a sphere or a diagonal fit.
    Mat3 scale = identity3();
    Mat3 inverse = identity3(); ///< S^-1
    /// The RMS share by which the norms at rest differ from their mean as
    /// read, and from 1 g after the correction; for a fitted accelerometer.
    double normErrorBefore = 0.0;
    double normErrorAfter = 0.0;

    /// The reading corrected: S^-1 (a - b), in g; a itself when not fitted.
    Vec3 corrected(const Vec3 &a) const;
};

/// Fits the readings of accel at rest (resting, one flag per reading) as
/// the rules above allow.
AccelerometerFit fitAccelerometer(const std::vector<Vec3> &accel, const std::vector<bool> &resting);

} // namespace tavrin::align

#endif
