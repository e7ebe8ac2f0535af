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
