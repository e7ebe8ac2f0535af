// A sensor turned by hand, smoothly and without a pattern: its angular
// rate is a sum of slow sines on each axis, and the Earth's field seen from
// it is h = A u + b + noise, u the field in the sensor's frame.
#ifndef TAVRIN_TOOLS_HANDMOTION_H
#define TAVRIN_TOOLS_HANDMOTION_H

#include <array>
#include <cmath>
#include <random>

using Vector3 = std::array<double, 3>;

struct SensorModel {
    double hm = 48.0; ///< the field norm, uT
    double inclination = 60.0 * M_PI / 180.0;
    double A[3][3] = {{1.08, 0.05, -0.03}, {0.05, 0.94, 0.04}, {-0.03, 0.04, 1.02}};
    Vector3 b = {12.5, -7.3, 20.1}; ///< uT
    double noise = 0.2;             ///< standard deviation on each axis, uT
};

class HandMotion {
public:
    static constexpr int Sines = 3;

    HandMotion(const SensorModel &model, unsigned seed) : model(model), rng(seed)
    {
        std::uniform_real_distribution<double> uniform(0.0, 1.0);
        for (auto &axis : waves)
            for (Wave &w : axis)
                // About a turn every few seconds, as a hand does it.
                w = {1.0 + 1.0 * uniform(rng), 2 * M_PI * (0.05 + 0.3 * uniform(rng)),
                     2 * M_PI * uniform(rng)};
    }

    /// Moves on by dt seconds.
    void advance(double dt)
    {
        t += dt;
        Vector3 w{};
        for (int i = 0; i < 3; i++)
            for (const Wave &wave : waves[i])
                w[size_t(i)] += wave.amplitude * std::sin(wave.frequency * t + wave.phase);
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
        const Vector3 u =
            inSensor({model.hm * std::cos(model.inclination), 0.0, model.hm * std::sin(model.inclination)});
        std::normal_distribution<double> gauss(0.0, model.noise);
        Vector3 h = model.b;
        for (int i = 0; i < 3; i++) {
            for (int j = 0; j < 3; j++)
                h[size_t(i)] += model.A[i][j] * u[size_t(j)];
            h[size_t(i)] += model.noise > 0 ? gauss(rng) : 0.0;
        }
        return h;
    }

    /// Gravity as the accelerometer feels it, m/s^2, and the turn rate, rad/s.
    Vector3 accelerometer() const { return inSensor({0.0, 0.0, 9.80665}); }
    Vector3 gyroscope() const { return rate; }

private:
    struct Wave {
        double amplitude, frequency, phase;
    };
    SensorModel model;
    std::mt19937 rng;
    std::array<std::array<Wave, Sines>, 3> waves{};
    std::array<double, 4> q = {1.0, 0.0, 0.0, 0.0};
    Vector3 rate{};
    double t = 0.0;
};

#endif
