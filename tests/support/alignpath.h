// A hand-turned sensor with an accelerometer beside the magnetometer: the
// hand's path and rests from handpath.h, the magnetometer mounted with a
// chosen rotation or mirror against the accelerometer, the hand's pushes on
// the accelerometer while it moves, and the accelerometer's own offset and
// scale errors.
#ifndef TAVRIN_TESTS_ALIGNPATH_H
#define TAVRIN_TESTS_ALIGNPATH_H

#include "handpath.h"

#include <cmath>
#include <random>
#include <vector>

struct AlignedRecording {
    HandRecording hand; ///< the path, its rests, the magnetometer's errors and the field's inclination
    /// R: a reading in the magnetometer's axes times this is the same
    /// direction in the accelerometer's. Any orthogonal matrix, mirrors too.
    Doub mount[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    Doub gravity = 9.81;    ///< the accelerometer's unit: m/s^2 here, any will do
    bool readsDown = false; ///< at rest the accelerometer reads -1 g on the axis pointing up
    Doub push = 2.5;        ///< RMS acceleration of the hand while it moves
    Doub pushMemory = 0.25; ///< seconds over which the push forgets itself
    Doub accelSigma = 0.02; ///< the accelerometer's noise on each axis
    Doub accelOffset[3] = {0, 0, 0};
    Doub accelScale[3] = {1, 1, 1};
    unsigned accelSeed = 7;
};

struct AlignedRecorded {
    MatDoub mag;   ///< raw magnetometer readings
    MatDoub accel; ///< raw accelerometer readings
    std::vector<bool> resting;
};

/// The hand's readings with the magnetometer seen through mount: its soft
/// iron A0 (symmetric, as the fit finds it) acts on the field in the
/// magnetometer's own axes, so the recording's truth is A0 mount^T.
inline AlignedRecorded recordAligned(const AlignedRecording &r)
{
    HandRecording hand = r.hand;
    for (Int i = 0; i < 3; i++)
        for (Int j = 0; j < 3; j++) {
            hand.truth.A0[i][j] = 0;
            for (Int k = 0; k < 3; k++)
                hand.truth.A0[i][j] += r.hand.truth.A0[i][k] * r.mount[j][k];
        }
    HandRecorded path = recordHand(hand);
    const Int total = path.points.nrows();
    std::mt19937 rng(r.accelSeed);
    std::normal_distribution<Doub> gauss(0.0, 1.0);
    const Doub keep = std::exp(-1.0 / (hand.rate * r.pushMemory));
    const Doub kick = r.push * std::sqrt(1 - keep * keep);
    Doub push[3] = {0, 0, 0};
    AlignedRecorded out{path.points, MatDoub(total, 3), path.resting};
    for (Int k = 0; k < total; k++) {
        const bool moving = !path.resting[size_t(k)];
        for (Doub &p : push)
            p = moving ? keep * p + kick * gauss(rng) : 0.0;
        for (Int i = 0; i < 3; i++) {
            const Doub force = (r.readsDown ? -1.0 : 1.0) * r.gravity * path.up[k][i] + push[i];
            out.accel[k][i] = r.accelScale[i] * force + r.accelOffset[i] + r.accelSigma * gauss(rng);
        }
    }
    return out;
}

#endif
