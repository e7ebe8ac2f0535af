// A board turned by hand, smoothly and without a pattern: its angular rate
// is a sum of slow sines on each axis, and the Earth's field seen from its
// magnetometer is h = A u + b + noise, u the field in the magnetometer's
// frame. The world's axes are north, east and down. The accelerometer and
// gyroscope lie in the board's frame; the magnetometer may be mounted with
// its axes permuted or reversed against them. The hand may also shake the
// board, and rest it.
#ifndef TAVRIN_TOOLS_HANDMOTION_H
#define TAVRIN_TOOLS_HANDMOTION_H

#include <algorithm>
#include <array>
#include <cmath>
#include <optional>
#include <random>
#include <string>

using Vector3 = std::array<double, 3>;

constexpr double StandardGravity = 9.80665; ///< m/s^2

/// How the magnetometer is mounted against the accelerometer: for the
/// accelerometer's x, y and z axes, the magnetometer axis (0, 1 or 2 for x,
/// y or z) that lies along each, and its sign. A rotation or a mirror.
struct Mount {
    std::array<int, 3> axis{0, 1, 2};
    std::array<int, 3> sign{1, 1, 1};

    /// A vector given in the accelerometer's axes, in the magnetometer's.
    Vector3 toMagnetometer(const Vector3 &v) const
    {
        Vector3 m{};
        for (size_t i = 0; i < 3; i++)
            m[size_t(axis[i])] = sign[i] * v[i];
        return m;
    }

    /// Whether it mirrors, its determinant -1: no turn of the board undoes it.
    bool mirror() const
    {
        const int swaps = (axis[0] > axis[1]) + (axis[0] > axis[2]) + (axis[1] > axis[2]);
        return (swaps % 2 == 1) != (sign[0] * sign[1] * sign[2] < 0);
    }
};

/// A mount written as "x,-y,z": three of x, y and z, each once, each with an
/// optional sign, between commas; empty for anything else.
inline std::optional<Mount> mountNamed(const std::string &text)
{
    Mount m;
    std::array<bool, 3> used{};
    size_t at = 0;
    for (size_t i = 0; i < 3; i++) {
        const size_t end = i < 2 ? text.find(',', at) : text.size();
        if (end == std::string::npos)
            return std::nullopt;
        std::string part = text.substr(at, end - at);
        part.erase(0, part.find_first_not_of(' '));
        part.erase(part.find_last_not_of(' ') + 1);
        m.sign[i] = !part.empty() && part[0] == '-' ? -1 : 1;
        if (!part.empty() && (part[0] == '-' || part[0] == '+'))
            part.erase(0, 1);
        if (part.size() != 1 || part[0] < 'x' || part[0] > 'z' || used[size_t(part[0] - 'x')])
            return std::nullopt;
        m.axis[i] = part[0] - 'x';
        used[size_t(m.axis[i])] = true;
        at = end + 1;
    }
    return m;
}

struct SensorModel {
    double hm = 48.0; ///< the field norm, uT
    double inclination = 60.0 * M_PI / 180.0;
    double A[3][3] = {{1.08, 0.05, -0.03}, {0.05, 0.94, 0.04}, {-0.03, 0.04, 1.02}};
    Vector3 b = {12.5, -7.3, 20.1}; ///< uT
    double noise = 0.2;             ///< standard deviation on each axis, uT
    Mount mount;                    ///< the magnetometer's axes against the accelerometer's
    bool accelDown = false;         ///< the accelerometer reports gravity's direction, -1 g up at rest
    double shake = 0.0;             ///< the hand's accelerations reach about this on each axis, m/s^2
    double moveSeconds = 0.0;       ///< with restSeconds: the hand turns this long...
    double restSeconds = 0.0;       ///< ...then holds the board still this long; 0 for no rests
};

class HandMotion {
public:
    static constexpr int Sines = 3;

    /// Seconds over which the hand starts and stops turning around a rest.
    static constexpr double Ramp = 0.3;

    HandMotion(const SensorModel &model, unsigned seed) : model(model), rng(seed)
    {
        std::uniform_real_distribution<double> uniform(0.0, 1.0);
        for (auto &axis : waves)
            for (Wave &w : axis)
                // About a turn every few seconds, as a hand does it.
                w = {1.0 + 1.0 * uniform(rng), 2 * M_PI * (0.05 + 0.3 * uniform(rng)),
                     2 * M_PI * uniform(rng)};
        // Shakes of half a hertz to two, from a generator of their own: the
        // turns and the noise of a seed stay as they were without them.
        std::mt19937 shakeRng(seed ^ 0x5eedu);
        for (auto &axis : shakes)
            for (Wave &w : axis)
                w = {model.shake / Sines * (0.5 + 0.5 * uniform(shakeRng)),
                     2 * M_PI * (0.5 + 1.5 * uniform(shakeRng)), 2 * M_PI * uniform(shakeRng)};
    }

    /// How much the hand moves now, from 0 at rest to 1 while it turns:
    /// it slows down into each rest and speeds up out of it.
    double moving() const
    {
        if (model.restSeconds <= 0.0 || model.moveSeconds <= 0.0)
            return 1.0;
        const double at = std::fmod(t, model.moveSeconds + model.restSeconds);
        if (at >= model.moveSeconds)
            return 0.0;
        const double ramp = std::min(Ramp, model.moveSeconds / 2);
        const auto smooth = [](double x) { return x * x * (3 - 2 * x); };
        return smooth(std::min(1.0, at / ramp)) * smooth(std::min(1.0, (model.moveSeconds - at) / ramp));
    }

    /// Moves on by dt seconds.
    void advance(double dt)
    {
        t += dt;
        const double hand = moving();
        Vector3 w{};
        for (int i = 0; i < 3; i++)
            for (const Wave &wave : waves[i])
                w[size_t(i)] += hand * wave.amplitude * std::sin(wave.frequency * t + wave.phase);
        for (int i = 0; i < 3; i++) {
            shaken[size_t(i)] = 0.0;
            for (const Wave &wave : shakes[i])
                shaken[size_t(i)] += hand * wave.amplitude * std::sin(wave.frequency * t + wave.phase);
        }
        // q <- q (1, w dt / 2), renormalised: the rate is in the sensor's frame.
        const double h = dt / 2;
        const std::array<double, 4> d = {1.0, w[0] * h, w[1] * h, w[2] * h};
        std::array<double, 4> r = {q[0] * d[0] - q[1] * d[1] - q[2] * d[2] - q[3] * d[3],
                                   q[0] * d[1] + q[1] * d[0] + q[2] * d[3] - q[3] * d[2],
                                   q[0] * d[2] - q[1] * d[3] + q[2] * d[0] + q[3] * d[1],
                                   q[0] * d[3] + q[1] * d[2] - q[2] * d[1] + q[3] * d[0]};
        const double n = std::sqrt(r[0] * r[0] + r[1] * r[1] + r[2] * r[2] + r[3] * r[3]);
        for (int k = 0; k < 4; k++)
            q[size_t(k)] = r[size_t(k)] / n;
        rate = w;
    }

    /// A vector of the world as the sensor sees it.
    Vector3 inSensor(const Vector3 &v) const
    {
        // R^T v, R the rotation of q from the sensor's frame to the world's.
        const double w = q[0], x = q[1], y = q[2], z = q[3];
        const double R[3][3] = {{1 - 2 * (y * y + z * z), 2 * (x * y - w * z), 2 * (x * z + w * y)},
                                {2 * (x * y + w * z), 1 - 2 * (x * x + z * z), 2 * (y * z - w * x)},
                                {2 * (x * z - w * y), 2 * (y * z + w * x), 1 - 2 * (x * x + y * y)}};
        Vector3 s{};
        for (int i = 0; i < 3; i++)
            for (int j = 0; j < 3; j++)
                s[size_t(i)] += R[j][i] * v[size_t(j)];
        return s;
    }

    /// The magnetometer's reading now, uT.
    Vector3 magnetometer()
    {
        const Vector3 u = model.mount.toMagnetometer(
            inSensor({model.hm * std::cos(model.inclination), 0.0, model.hm * std::sin(model.inclination)}));
        std::normal_distribution<double> gauss(0.0, model.noise);
        Vector3 h = model.b;
        for (int i = 0; i < 3; i++) {
            for (int j = 0; j < 3; j++)
                h[size_t(i)] += model.A[i][j] * u[size_t(j)];
            h[size_t(i)] += model.noise > 0 ? gauss(rng) : 0.0;
        }
        return h;
    }

    /// What the accelerometer measures, m/s^2: the hand's acceleration less
    /// gravity's, +1 g upward at rest (or its opposite with accelDown).
    Vector3 accelerometer() const
    {
        Vector3 a = inSensor({shaken[0], shaken[1], shaken[2] - StandardGravity});
        if (model.accelDown)
            for (double &v : a)
                v = -v;
        return a;
    }
    /// The turn rate, rad/s.
    Vector3 gyroscope() const { return rate; }

private:
    struct Wave {
        double amplitude, frequency, phase;
    };
    SensorModel model;
    std::mt19937 rng;
    std::array<std::array<Wave, Sines>, 3> waves{};
    std::array<std::array<Wave, Sines>, 3> shakes{}; ///< the hand's accelerations, in the world's axes
    Vector3 shaken{};
    std::array<double, 4> q = {1.0, 0.0, 0.0, 0.0};
    Vector3 rate{};
    double t = 0.0;
};

#endif
