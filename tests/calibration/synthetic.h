// Synthetic magnetometer data for the calibration tests: h = A0 u + b0 + noise
// with |u| = Hm and u spread evenly over the sphere.
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
