#include "rotation3.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace tavrin::align {

Mat3 identity3()
{
    return {{{1, 0, 0}, {0, 1, 0}, {0, 0, 1}}};
}

Vec3 times(const Mat3 &m, const Vec3 &v)
{
    return {dot(m[0], v), dot(m[1], v), dot(m[2], v)};
}

Mat3 times(const Mat3 &a, const Mat3 &b)
{
    Mat3 c{};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            for (int k = 0; k < 3; k++)
                c[i][j] += a[i][k] * b[k][j];
    return c;
}

Mat3 transposed(const Mat3 &m)
{
    Mat3 t{};
    for (int i = 0; i < 3; i++)
        for (int j = 0; j < 3; j++)
            t[i][j] = m[j][i];
    return t;
}

double dot(const Vec3 &a, const Vec3 &b)
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

Vec3 cross(const Vec3 &a, const Vec3 &b)
{
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}

double norm(const Vec3 &v)
{
    return std::sqrt(dot(v, v));
}

Vec3 unit(const Vec3 &v)
{
    const double n = norm(v);
    return {v[0] / n, v[1] / n, v[2] / n};
}

double determinant(const Mat3 &m)
{
    return dot(m[0], cross(m[1], m[2]));
}

Mat3 rotationAbout(const Vec3 &v)
{
    const double angle = norm(v);
    if (angle == 0)
        return identity3();
    const Vec3 k = {v[0] / angle, v[1] / angle, v[2] / angle};
    const double c = std::cos(angle), s = std::sin(angle), t = 1 - c;
    return {{{c + t * k[0] * k[0], t * k[0] * k[1] - s * k[2], t * k[0] * k[2] + s * k[1]},
             {t * k[1] * k[0] + s * k[2], c + t * k[1] * k[1], t * k[1] * k[2] - s * k[0]},
             {t * k[2] * k[0] - s * k[1], t * k[2] * k[1] + s * k[0], c + t * k[2] * k[2]}}};
}

double rotationDegrees(const Mat3 &r)
{
    // The trace loses the angle's digits near 0 and 180 degrees; the
    // antisymmetric part keeps them near 0.
    const double c = 0.5 * (r[0][0] + r[1][1] + r[2][2] - 1);
    const double s = 0.5 * norm({r[2][1] - r[1][2], r[0][2] - r[2][0], r[1][0] - r[0][1]});
    return std::atan2(s, c) / Degree;
}

Mat3 fromRollPitchYaw(double rollDegrees, double pitchDegrees, double yawDegrees)
{
    const double cr = std::cos(rollDegrees * Degree), sr = std::sin(rollDegrees * Degree);
    const double cp = std::cos(pitchDegrees * Degree), sp = std::sin(pitchDegrees * Degree);
    const double cy = std::cos(yawDegrees * Degree), sy = std::sin(yawDegrees * Degree);
    const Mat3 rx = {{{1, 0, 0}, {0, cr, -sr}, {0, sr, cr}}};
    const Mat3 ry = {{{cp, 0, sp}, {0, 1, 0}, {-sp, 0, cp}}};
    const Mat3 rz = {{{cy, -sy, 0}, {sy, cy, 0}, {0, 0, 1}}};
    return times(rz, times(ry, rx));
}

Vec3 rollPitchYawOf(const Mat3 &r)
{
    const double pitch = std::asin(std::clamp(-r[2][0], -1.0, 1.0));
    double roll = std::atan2(r[2][1], r[2][2]);
    double yaw = std::atan2(r[1][0], r[0][0]);
    // At pitch +-90 degrees only roll - yaw (or roll + yaw) is fixed: the
    // yaw is taken as zero and the roll carries the whole turn.
    if (std::abs(r[2][0]) > 1 - 1e-12) {
        yaw = 0;
        roll = std::atan2(-r[1][2], r[1][1]);
    }
    return {roll / Degree, pitch / Degree, yaw / Degree};
}

void symmetricEigen(const Mat3 &s, Vec3 &values, Mat3 &vectors)
{
    // Cyclic Jacobi rotations: three by three converges in a few sweeps.
    Mat3 a = s;
    Mat3 v = identity3();
    for (int sweep = 0; sweep < 50; sweep++) {
        const double off = a[0][1] * a[0][1] + a[0][2] * a[0][2] + a[1][2] * a[1][2];
        const double scale = a[0][0] * a[0][0] + a[1][1] * a[1][1] + a[2][2] * a[2][2];
        if (off <= 1e-30 * scale || off == 0)
            break;
        for (int p = 0; p < 2; p++)
            for (int q = p + 1; q < 3; q++) {
                if (a[p][q] == 0)
                    continue;
                const double theta = 0.5 * (a[q][q] - a[p][p]) / a[p][q];
                const double t = (theta >= 0 ? 1 : -1) / (std::abs(theta) + std::sqrt(theta * theta + 1));
                const double c = 1 / std::sqrt(t * t + 1), sn = t * c;
                for (int k = 0; k < 3; k++) {
                    const double akp = a[k][p], akq = a[k][q];
                    a[k][p] = c * akp - sn * akq;
                    a[k][q] = sn * akp + c * akq;
                }
                for (int k = 0; k < 3; k++) {
                    const double apk = a[p][k], aqk = a[q][k];
                    a[p][k] = c * apk - sn * aqk;
                    a[q][k] = sn * apk + c * aqk;
                }
                for (int k = 0; k < 3; k++) {
                    const double vkp = v[k][p], vkq = v[k][q];
                    v[k][p] = c * vkp - sn * vkq;
                    v[k][q] = sn * vkp + c * vkq;
                }
            }
    }
    std::array<int, 3> order = {0, 1, 2};
    std::sort(order.begin(), order.end(), [&a](int i, int j) { return a[i][i] < a[j][j]; });
    for (int c = 0; c < 3; c++) {
        values[c] = a[order[c]][order[c]];
        for (int k = 0; k < 3; k++)
            vectors[k][c] = v[k][order[c]];
    }
}

} // namespace tavrin::align
