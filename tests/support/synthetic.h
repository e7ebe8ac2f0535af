// Synthetic magnetometer data for every test: h = A0 u + b0 + noise with
// |u| = Hm and u spread evenly over the sphere, as tables and as raw files.
#ifndef TAVRIN_TESTS_SYNTHETIC_H
#define TAVRIN_TESTS_SYNTHETIC_H

#include "nr3.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cmath>
#include <random>
#include <vector>

struct Truth {
    Doub A0[3][3];
    Doub b0[3];
};

inline Truth sphereTruth(Doub scale, Doub bx, Doub by, Doub bz)
{
    return {{{scale, 0, 0}, {0, scale, 0}, {0, 0, scale}}, {bx, by, bz}};
}

/// The truth of data/sample.txt: a full symmetric A0 and a bias of tens.
inline const Truth sampleTruth = {{{1.08, 0.05, -0.03}, {0.05, 0.94, 0.04}, {-0.03, 0.04, 1.02}},
                                  {12.5, -7.3, 20.1}};

/// A rotation by angles about z, y and x, times the diagonal of semi-axes,
/// times its transpose.
inline Truth rotatedEllipsoid(Doub s0, Doub s1, Doub s2, Doub az, Doub ay, Doub ax, Doub bx, Doub by, Doub bz)
{
    const Doub cz = std::cos(az), sz = std::sin(az), cy = std::cos(ay), sy = std::sin(ay), cx = std::cos(ax),
               sx = std::sin(ax);
    const Doub R[3][3] = {{cz * cy, cz * sy * sx - sz * cx, cz * sy * cx + sz * sx},
                          {sz * cy, sz * sy * sx + cz * cx, sz * sy * cx - cz * sx},
                          {-sy, cy * sx, cy * cx}};
    const Doub s[3] = {s0, s1, s2};
    Truth t{{}, {bx, by, bz}};
    for (Int i = 0; i < 3; i++)
        for (Int j = 0; j < 3; j++)
            for (Int k = 0; k < 3; k++)
                t.A0[i][j] += R[i][k] * s[k] * R[j][k];
    return t;
}

/// n points of the truth's ellipsoid for field norm Hm, Gaussian noise of
/// standard deviation sigma on each axis. The table has exactly n rows.
inline MatDoub ellipsoidPoints(const Truth &t, Doub Hm, Int n, Doub sigma, unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<Doub> gauss(0.0, 1.0);
    MatDoub p(n, 3);
    for (Int k = 0; k < n; k++) {
        Doub u[3];
        Doub norm = 0.0;
        do {
            norm = 0.0;
            for (Doub &c : u) {
                c = gauss(rng);
                norm += c * c;
            }
        } while (norm < 1e-12);
        norm = std::sqrt(norm);
        for (Int i = 0; i < 3; i++) {
            Doub h = t.b0[i];
            for (Int j = 0; j < 3; j++)
                h += t.A0[i][j] * Hm * u[j] / norm;
            p[k][i] = h + sigma * gauss(rng);
        }
    }
    return p;
}

/// How a recording moved, and what spoiled it.
struct Recording {
    Truth truth;
    Doub Hm = 48.0;
    Int n = 2000;
    Doub sigma = 0.0;    ///< noise on each axis
    Doub capShare = 1.0; ///< the share of the sphere of directions covered: a cap about capAxis
    Doub capAxis[3] = {0.36, -0.48, 0.8};
    Doub spikeShare = 0.0;   ///< points moved by a Gaussian of sd Hm / 2 on each axis
    Doub minimumSpike = 0.0; ///< a spike moves the norm |h - b0| at least this much
    Bool flat = false;       ///< turns about the z axis only, under a field of this inclination
    Doub inclination = 60.0 * M_PI / 180.0;
    Doub wobble = 0.0; ///< the turn axis tilts by up to this many radians
    unsigned seed = 1;
};

struct Recorded {
    MatDoub points;
    std::vector<Int> spikes;   ///< 0-based, ascending
    std::vector<Doub> heading; ///< flat turns: the angle turned, radians
};

/// Points of a recording: h = A0 Hm u + b0 + noise, u uniform on the cap, or
/// the field (cos I, 0, sin I) seen from a sensor turned by a heading about z.
inline Recorded record(const Recording &r)
{
    std::mt19937 rng(r.seed);
    std::normal_distribution<Doub> gauss(0.0, 1.0);
    std::uniform_real_distribution<Doub> uniform(0.0, 1.0);
    const Doub *a = r.capAxis;
    const Doub an = std::sqrt(a[0] * a[0] + a[1] * a[1] + a[2] * a[2]);
    const Doub w[3] = {a[0] / an, a[1] / an, a[2] / an};
    // e1, e2: a basis perpendicular to the cap's axis.
    Doub e1[3] = {1 - w[0] * w[0], -w[0] * w[1], -w[0] * w[2]};
    const Doub e1n = std::sqrt(e1[0] * e1[0] + e1[1] * e1[1] + e1[2] * e1[2]);
    for (Doub &c : e1)
        c /= e1n;
    const Doub e2[3] = {w[1] * e1[2] - w[2] * e1[1], w[2] * e1[0] - w[0] * e1[2],
                        w[0] * e1[1] - w[1] * e1[0]};
    Recorded out{MatDoub(r.n, 3), {}, {}};
    for (Int k = 0; k < r.n; k++) {
        Doub u[3];
        if (r.flat) {
            const Doub psi = 2 * M_PI * uniform(rng);
            const Doub tx = r.wobble * (2 * uniform(rng) - 1), ty = r.wobble * (2 * uniform(rng) - 1);
            const Doub f[3] = {std::cos(r.inclination), 0.0, std::sin(r.inclination)};
            // The field in the sensor's frame: turned back by the heading, then by the small tilts.
            Doub v[3] = {std::cos(psi) * f[0] + std::sin(psi) * f[1],
                         -std::sin(psi) * f[0] + std::cos(psi) * f[1], f[2]};
            const Doub vx[3] = {v[0], std::cos(tx) * v[1] - std::sin(tx) * v[2],
                                std::sin(tx) * v[1] + std::cos(tx) * v[2]};
            u[0] = std::cos(ty) * vx[0] + std::sin(ty) * vx[2];
            u[1] = vx[1];
            u[2] = -std::sin(ty) * vx[0] + std::cos(ty) * vx[2];
            out.heading.push_back(psi);
        } else {
            const Doub z = 1 - 2 * r.capShare * uniform(rng), phi = 2 * M_PI * uniform(rng);
            const Doub rho = std::sqrt(std::max(0.0, 1 - z * z));
            for (Int i = 0; i < 3; i++)
                u[i] = z * w[i] + rho * (std::cos(phi) * e1[i] + std::sin(phi) * e2[i]);
        }
        for (Int i = 0; i < 3; i++) {
            Doub h = r.truth.b0[i];
            for (Int j = 0; j < 3; j++)
                h += r.truth.A0[i][j] * r.Hm * u[j];
            out.points[k][i] = h + r.sigma * gauss(rng);
        }
    }
    // Spikes on evenly spread points, drawn until they move the norm enough.
    const Int spikes = Int(std::lround(r.spikeShare * r.n));
    for (Int s = 0; s < spikes; s++) {
        const Int k = Int((2 * (long long)s + 1) * r.n / (2 * spikes));
        Doub moved[3];
        Doub before = 0, after = 0;
        do {
            before = after = 0;
            for (Int i = 0; i < 3; i++) {
                moved[i] = out.points[k][i] + 0.5 * r.Hm * gauss(rng);
                before += SQR(out.points[k][i] - r.truth.b0[i]);
                after += SQR(moved[i] - r.truth.b0[i]);
            }
        } while (std::abs(std::sqrt(after) - std::sqrt(before)) < r.minimumSpike);
        for (Int i = 0; i < 3; i++)
            out.points[k][i] = moved[i];
        out.spikes.push_back(k);
    }
    return out;
}

inline QByteArray asFileText(const MatDoub &points)
{
    QByteArray out;
    for (Int k = 0; k < points.nrows(); k++)
        out += QByteArray::number(points[k][0], 'g', 17) + '\t' + QByteArray::number(points[k][1], 'g', 17) +
               '\t' + QByteArray::number(points[k][2], 'g', 17) + '\n';
    return out;
}

inline void writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(bytes);
}

#endif
