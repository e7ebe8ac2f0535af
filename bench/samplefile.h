// The benchmarks' raw file: points around an ellipsoid with bias, as a sensor
// turned every way would give them.
#ifndef TAVRIN_BENCH_SAMPLEFILE_H
#define TAVRIN_BENCH_SAMPLEFILE_H

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cmath>
#include <cstdio>
#include <random>

inline void writeSampleFile(const QString &path, int lines)
{
    std::mt19937 rng(1);
    std::normal_distribution<double> gauss;
    QByteArray out;
    for (int k = 0; k < lines; k++) {
        double u[3] = {gauss(rng), gauss(rng), gauss(rng)};
        double n = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
        char line[96];
        int len =
            std::snprintf(line, sizeof line, "%.4f\t%.4f\t%.4f\n", 12.5 + 52 * u[0] / n + 0.2 * gauss(rng),
                          -7.3 + 45 * u[1] / n + 0.2 * gauss(rng), 20.1 + 49 * u[2] / n + 0.2 * gauss(rng));
        out.append(line, len);
    }
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write(out);
}

#endif
