// Which accelerometer readings measure gravity alone: the sensor held still.
#ifndef TAVRIN_ALIGN_RESTREADINGS_H
#define TAVRIN_ALIGN_RESTREADINGS_H

#include "rotation3.h"

#include <vector>

namespace tavrin::align {

/// A reading is at rest when its norm lies within normShare of the median
/// norm of all readings (gravity alone, no push of the hand), and it differs
/// from every reading up to reach places before and after it by at most
/// stepShare of that median (the sensor neither turning nor shaking). Both
/// are shares, so the accelerometer's unit does not matter.
struct RestRule {
    double normShare = 0.05;
    double stepShare = 0.02;
    int reach = 5;
};

/// Per reading: taken at rest. Readings that are not finite never are, nor
/// are any when the median norm is zero.
std::vector<bool> readingsAtRest(const std::vector<Vec3> &accel, const RestRule &rule = {});

} // namespace tavrin::align

#endif
