// The magnetometer's axes against the accelerometer's. Wherever the sensor
// points, the angle between gravity and the Earth's field is the same, 90
// degrees plus the dip; in readings at rest, g . R m must therefore be a
// constant, where g and m are the directions of the accelerometer and of the
// calibrated magnetometer and R turns the magnetometer's axes into the
// accelerometer's. A least-squares search from each of the 24 rotations that
// permute the axes finds the steadiest R; the signed permutation nearest to
// it is the mapping, and what is left the small rotation.
#ifndef TAVRIN_ALIGN_ALIGNMENT_H
#define TAVRIN_ALIGN_ALIGNMENT_H

#include "accelfit.h"
#include "restreadings.h"
#include "rotation3.h"

#include <optional>
#include <string>
#include <vector>

namespace tavrin::align {

/// What the accelerometer reads at rest: +1 g on the axis that points up
/// (the usual), or gravity's own direction, -1 g on it.
enum class AccelConvention { Up, Down };

struct AlignmentInput {
    std::vector<Vec3> field; ///< calibrated magnetometer readings A^-1 (h - b), any unit
    std::vector<Vec3> accel; ///< the accelerometer's readings beside them, any unit
    AccelConvention convention = AccelConvention::Up;
    /// The inclination at the place in degrees, positive with the field below
    /// the horizon, when the place is known; otherwise the place is taken to
    /// be north of the magnetic equator.
    std::optional<double> placeInclinationDegrees;
    RestRule rest;
};

/// Fewer readings at rest than this leave the axes not determined.
constexpr int MinimumRests = 20;
/// The gravity directions at rest must spread at least this far, in degrees,
/// from their mean; within it the sensor was held at about one attitude, as
/// in turns about the vertical alone, and the rotation about that direction
/// cannot be observed.
constexpr double MinimumAttitudeDegrees = 15.0;
/// The steadiest rotation found is taken when every other one found, more
/// than 5 degrees from it, leaves a spread at least MappingRatio times its
/// own and MappingGapDegrees more.
constexpr double MappingRatio = 2.0;
constexpr double MappingGapDegrees = 1.0;
/// The dip must lie at least this many degrees, and three times the
/// angle's spread, from zero: the angle's side of 90 degrees tells a
/// mapping from its mirror.
constexpr double MinimumDipDegrees = 2.0;
/// The small rotation is reported when its standard uncertainty about every
/// axis is at most this many degrees.
constexpr double MaximumRotationUncertaintyDegrees = 1.0;
/// A small rotation beyond this many degrees calls for the alignment.
constexpr double NeededRotationDegrees = 1.0;

struct AlignmentResult {
    bool determined = false;
    std::string reason; ///< why not, when not determined
    int readingsAtRest = 0;

    bool mappingFound = false;   ///< the data told the axes apart, even if the rotation stays uncertain
    Mat3 mapping = identity3();  ///< the signed permutation found
    Mat3 rotation = identity3(); ///< R: calibrated magnetometer to accelerometer axes, mapping included
    bool mirror = false;
    int reversedAxis = -1;        ///< for a mirror: the magnetometer axis to negate, 0 to 2
    double rotationDegrees = 0.0; ///< R's angle beyond the mapping
    double rotationUncertaintyDegrees = 0.0;

    /// The angle between the accelerometer and the field: its spread (standard
    /// deviation, degrees) as logged and after R, and the dip it gives.
    std::optional<double> dipDegrees;
    std::optional<double> dipSpreadBeforeDegrees;
    std::optional<double> dipSpreadAfterDegrees;
    /// The heading error the spread after R implies: spread / cos(dip).
    std::optional<double> headingErrorDegrees;
    std::optional<double> placeInclinationDegrees;

    std::vector<std::string> assumptions; ///< the sign rules used
    std::vector<std::string> notes;       ///< what the data suggest beyond the numbers

    /// The accelerometer's own fit, applied before the angle was taken when fitted.
    AccelerometerFit accelerometer;

    std::optional<int> orientation; ///< the MAVLink orientation number, none for a mirror or no match
    Vec3 rollPitchYawDegrees{};     ///< R as roll, pitch, yaw, for a custom rotation

    /// "x,-y,z": for the accelerometer's x, y and z, the magnetometer axis along it.
    std::string mappingText() const;
    /// Whether the magnetometer must be turned to agree with the accelerometer.
    bool needed() const;
};

/// Fits the accelerometer on its readings at rest (fitAccelerometer) and,
/// when it is fitted, checks the axes with its corrected readings, whose
/// rests are found again; otherwise as alignAxesAsRead.
AlignmentResult alignAxes(const AlignmentInput &input);

/// The axes checked with the accelerometer as read; accelerometer is left
/// not fitted, without a reason.
AlignmentResult alignAxesAsRead(const AlignmentInput &input);

/// The 48 signed permutations: the 24 rotations first, then their negatives.
std::vector<Mat3> signedPermutations();

/// The mapping text of a signed permutation, as AlignmentResult::mappingText.
std::string mappingText(const Mat3 &permutation);

} // namespace tavrin::align

#endif
