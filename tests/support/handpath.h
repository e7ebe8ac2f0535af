// Recordings that move like a hand: a time series of readings along a
// smooth random path of orientations, with noise that neighbouring readings
// share and the odd transient of a tool passing by. Caps keep the path in a
// cap of directions; a flat turn turns about the vertical with bumps. Rests
// hold the sensor still at the start, at the end or between turns, as users
// do before and after turning or a floor robot does between its turns.
#ifndef TAVRIN_TESTS_HANDPATH_H
#define TAVRIN_TESTS_HANDPATH_H

#include "synthetic.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

/// Where a recording's rests lie.
enum class RestPlace { Start, End, BetweenTurns };

struct HandRecording {
    Truth truth;
    Doub Hm = 48.0;
    Int n = 2000;           ///< readings while the sensor moves; rests add to them
    Doub rate = 50.0;       ///< readings a second
    Doub turnRate = 1.2;    ///< RMS angular speed of the path, radians a second
    Doub turnMemory = 0.6;  ///< seconds over which the angular velocity forgets itself
    Doub sigma = 0.0;       ///< noise on each axis
    Doub noiseMemory = 0.8; ///< correlation of the noise of neighbouring readings
    Doub capShare = 1.0;    ///< the path stays in a cap of this share of the sphere about capAxis
    Doub capAxis[3] = {0.36, -0.48, 0.8};
    Int transients = 0; ///< tools passing by: bumps of 0.2 to 1 Hm, a fifth of a second long
    Bool flat = false;  ///< turns about z only, under a field of this inclination...
    Doub inclination = 60.0 * M_PI / 180.0;
    Doub bump = 0.0;      ///< ...tilting by about this many radians, as a car on a road
    Doub restShare = 0.0; ///< the share of all readings taken at rest, below 1
    RestPlace restAt = RestPlace::Start;
    Int rests = 4; ///< for RestPlace::BetweenTurns: how many rests part the turns
    unsigned seed = 1;
};

/// A robot turning on a level floor about the vertical, resting between its
/// turns for the given share of the readings.
inline HandRecording floorRobot(const Truth &truth, Doub restShare, unsigned seed)
{
    HandRecording r{truth};
    r.flat = true;
    r.restShare = restShare;
    r.restAt = RestPlace::BetweenTurns;
    r.rests = 8;
    r.seed = seed;
    return r;
}

/// A sensor between round and 1 : ratio, with soft iron turning its axes
/// by the angles the seed draws, and a bias of up to half the field norm.
inline Truth handSensor(Doub ratio, Doub Hm, unsigned seed)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<Doub> uniform(-1.0, 1.0);
    return rotatedEllipsoid(1.0, 0.5 * (1.0 + ratio), ratio, M_PI * uniform(rng), M_PI * uniform(rng),
                            M_PI * uniform(rng), 0.5 * Hm * uniform(rng), 0.5 * Hm * uniform(rng),
                            0.5 * Hm * uniform(rng));
}

struct HandRecorded {
    MatDoub points;
    std::vector<Int> transient; ///< 0-based readings that a transient moved by more than 5 % of Hm
    std::vector<bool> resting;  ///< per reading: taken at rest
    MatDoub up;                 ///< per reading: the direction away from the Earth, in the sensor's axes
};

/// Which of the readings of r are taken at rest: restShare of them, placed
/// as restAt says; the turns between rests are of equal length.
inline std::vector<bool> restingReadings(const HandRecording &r)
{
    const Int rest = r.restShare > 0 ? Int(std::lround(r.n * r.restShare / (1 - r.restShare))) : 0;
    const Int total = r.n + rest;
    std::vector<bool> resting(size_t(total), false);
    if (rest == 0)
        return resting;
    if (r.restAt == RestPlace::Start || r.restAt == RestPlace::End) {
        const Int first = r.restAt == RestPlace::Start ? 0 : r.n;
        std::fill(resting.begin() + first, resting.begin() + first + rest, true);
        return resting;
    }
    const Int parts = std::max<Int>(1, r.rests);
    for (Int j = 0; j < parts; j++) {
        const Int first = (j + 1) * r.n / (parts + 1) + j * rest / parts;
        std::fill(resting.begin() + first,
                  resting.begin() + first + (j + 1) * rest / parts - j * rest / parts, true);
    }
    return resting;
}

inline HandRecorded recordHand(const HandRecording &r)
{
    std::mt19937 rng(r.seed);
    std::normal_distribution<Doub> gauss(0.0, 1.0);
    std::uniform_real_distribution<Doub> uniform(0.0, 1.0);
    const Doub dt = 1.0 / r.rate, keep = std::exp(-dt / r.turnMemory);
    const Doub kick = r.turnRate * std::sqrt(1 - keep * keep);
    const Doub an = std::sqrt(SQR(r.capAxis[0]) + SQR(r.capAxis[1]) + SQR(r.capAxis[2]));
    const Doub axis[3] = {r.capAxis[0] / an, r.capAxis[1] / an, r.capAxis[2] / an};
    const Doub capCos = 1 - 2 * r.capShare;
    const auto normalise = [](Doub v[3]) {
        const Doub norm = std::sqrt(v[0] * v[0] + v[1] * v[1] + v[2] * v[2]);
        for (Int i = 0; i < 3; i++)
            v[i] /= norm;
    };
    // The field's direction seen from the sensor, and its angular velocity.
    Doub u[3] = {axis[0], axis[1], axis[2]}, w[3] = {};
    // Up lies 90 degrees plus the inclination from the field; the hand
    // turns it with the field, and it is set back on that cone after each
    // step so that the dip holds exactly.
    const Doub sinI = std::sin(r.inclination), cosI = std::cos(r.inclination);
    const auto onCone = [&](Doub v[3]) {
        const Doub along = v[0] * u[0] + v[1] * u[1] + v[2] * u[2];
        for (Int i = 0; i < 3; i++)
            v[i] -= along * u[i];
        normalise(v);
        for (Int i = 0; i < 3; i++)
            v[i] = -sinI * u[i] + cosI * v[i];
    };
    // Any start off the field's line does; across its smallest coordinate is one.
    const Int across = std::abs(u[0]) <= std::min(std::abs(u[1]), std::abs(u[2])) ? 0
                       : std::abs(u[1]) <= std::abs(u[2])                         ? 1
                                                                                  : 2;
    Doub upward[3] = {across == 0 ? 1.0 : 0.0, across == 1 ? 1.0 : 0.0, across == 2 ? 1.0 : 0.0};
    onCone(upward);
    Doub heading = 0.0, turn = 0.0, tilt[2] = {0.0, 0.0}, tiltRate[2] = {0.0, 0.0};
    Doub noise[3] = {gauss(rng) * r.sigma, gauss(rng) * r.sigma, gauss(rng) * r.sigma};
    const Doub fresh = r.sigma * std::sqrt(1 - r.noiseMemory * r.noiseMemory);
    const std::vector<bool> resting = restingReadings(r);
    const Int total = Int(resting.size());
    HandRecorded out{MatDoub(total, 3), {}, resting, MatDoub(total, 3)};
    for (Int k = 0; k < total; k++) {
        Doub f[3];
        const bool moving = !resting[size_t(k)];
        // At rest the sensor holds its attitude and sets off again from
        // standstill; only the noise goes on.
        if (!moving) {
            std::fill(w, w + 3, 0.0);
            turn = 0.0;
            tiltRate[0] = tiltRate[1] = 0.0;
        }
        if (r.flat) {
            // A heading that wanders at the turn rate, and tilts that sway
            // about level within the bump.
            if (moving) {
                turn = keep * turn + kick * gauss(rng);
                heading += turn * dt;
                for (Int a = 0; a < 2; a++) {
                    tiltRate[a] = keep * tiltRate[a] + 4 * r.bump * std::sqrt(1 - keep * keep) * gauss(rng) -
                                  tilt[a] * dt / r.turnMemory;
                    tilt[a] += tiltRate[a] * dt;
                }
            }
            // North, east and down: the field dips below north, up is -z.
            const auto sensorAxes = [&](const Doub n[3], Doub seen[3]) {
                const Doub v[3] = {std::cos(heading) * n[0], -std::sin(heading) * n[0], n[2]};
                const Doub vx[3] = {v[0], std::cos(tilt[0]) * v[1] - std::sin(tilt[0]) * v[2],
                                    std::sin(tilt[0]) * v[1] + std::cos(tilt[0]) * v[2]};
                seen[0] = std::cos(tilt[1]) * vx[0] + std::sin(tilt[1]) * vx[2];
                seen[1] = vx[1];
                seen[2] = -std::sin(tilt[1]) * vx[0] + std::cos(tilt[1]) * vx[2];
            };
            const Doub g[3] = {std::cos(r.inclination), 0.0, std::sin(r.inclination)};
            const Doub vertical[3] = {0.0, 0.0, -1.0};
            sensorAxes(g, f);
            sensorAxes(vertical, upward);
        } else {
            // The direction turns by w x u; w forgets itself over turnMemory.
            if (moving) {
                for (Int i = 0; i < 3; i++)
                    w[i] = keep * w[i] + kick * gauss(rng);
                const Doub step[3] = {w[1] * u[2] - w[2] * u[1], w[2] * u[0] - w[0] * u[2],
                                      w[0] * u[1] - w[1] * u[0]};
                Doub next[3] = {u[0] + step[0] * dt, u[1] + step[1] * dt, u[2] + step[2] * dt};
                normalise(next);
                // At the rim of the cap the hand turns back: the step is
                // undone and the velocity reversed.
                if (next[0] * axis[0] + next[1] * axis[1] + next[2] * axis[2] < capCos) {
                    for (Doub &c : w)
                        c = -c;
                } else {
                    Doub turned[3] = {upward[0] + (w[1] * upward[2] - w[2] * upward[1]) * dt,
                                      upward[1] + (w[2] * upward[0] - w[0] * upward[2]) * dt,
                                      upward[2] + (w[0] * upward[1] - w[1] * upward[0]) * dt};
                    std::copy(next, next + 3, u);
                    onCone(turned);
                    std::copy(turned, turned + 3, upward);
                }
            }
            std::copy(u, u + 3, f);
        }
        std::copy(upward, upward + 3, out.up[k]);
        for (Int i = 0; i < 3; i++) {
            noise[i] = r.noiseMemory * noise[i] + fresh * gauss(rng);
            Doub h = r.truth.b0[i] + noise[i];
            for (Int j = 0; j < 3; j++)
                h += r.truth.A0[i][j] * r.Hm * f[j];
            out.points[k][i] = h;
        }
    }
    // A tool passing: a field that rises and falls over a fifth of a second.
    const Int width = std::max<Int>(1, Int(0.2 * r.rate));
    for (Int t = 0; t < r.transients; t++) {
        const Int centre = Int(uniform(rng) * total);
        Doub v[3] = {gauss(rng), gauss(rng), gauss(rng)};
        normalise(v);
        const Doub size = r.Hm * (0.2 + 0.8 * uniform(rng));
        for (Int k = std::max<Int>(0, centre - 2 * width); k < std::min(total, centre + 2 * width); k++) {
            const Doub shape = std::exp(-0.5 * SQR(Doub(k - centre) / (0.5 * width)));
            for (Int i = 0; i < 3; i++)
                out.points[k][i] += size * shape * v[i];
            if (size * shape > 0.05 * r.Hm)
                out.transient.push_back(k);
        }
    }
    std::sort(out.transient.begin(), out.transient.end());
    out.transient.erase(std::unique(out.transient.begin(), out.transient.end()), out.transient.end());
    return out;
}

#endif
