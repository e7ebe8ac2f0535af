// The orientation numbers of the MAVLink sensor-orientation list that
// ArduPilot (COMPASS_ORIENT) and PX4 (CAL_MAGn_ROT) take.
#ifndef TAVRIN_ALIGN_ORIENTATION_H
#define TAVRIN_ALIGN_ORIENTATION_H

#include "rotation3.h"

#include <optional>
#include <string>

namespace tavrin::align {

struct Orientation {
    int number;
    const char *name;
    double rollDegrees, pitchDegrees, yawDegrees;

    /// Rz(yaw) Ry(pitch) Rx(roll): a reading in the sensor's axes times
    /// this is the reading in the vehicle's.
    Mat3 matrix() const { return fromRollPitchYaw(rollDegrees, pitchDegrees, yawDegrees); }
};

/// The list from 0 (None) to 37 (Roll90Yaw270).
const Orientation *orientations();
constexpr int OrientationCount = 38;

/// Within this many degrees of a listed orientation a rotation takes its number.
constexpr double OrientationMatchDegrees = 5.0;

/// The lowest number whose rotation lies within OrientationMatchDegrees of
/// r (some names share one rotation), or none; a mirror never has one.
std::optional<int> orientationNumber(const Mat3 &r);

} // namespace tavrin::align

#endif
