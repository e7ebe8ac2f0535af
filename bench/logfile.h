// The benchmarks' log: a header, a time column, three accelerometer and three
// magnetometer columns, comma-separated; beside it the strict file of the same
// magnetometer numbers, tab-separated, so that the two readers meet the same points.
#ifndef TAVRIN_BENCH_LOGFILE_H
#define TAVRIN_BENCH_LOGFILE_H

#include <QByteArray>
#include <QFile>
#include <QString>

#include <cmath>
#include <cstdio>
#include <random>
#include <utility>

inline void writeLogFiles(const QString &strictPath, const QString &logPath, int rows)
{
    std::mt19937 rng(1);
    std::normal_distribution<double> gauss;
    QByteArray strict, log = "time,ax,ay,az,mx,my,mz\n";
    for (int k = 0; k < rows; k++) {
        const double u[3] = {gauss(rng), gauss(rng), gauss(rng)};
        const double n = std::sqrt(u[0] * u[0] + u[1] * u[1] + u[2] * u[2]);
        char m[96], line[160];
        const int ml = std::snprintf(m, sizeof m, "%.4f,%.4f,%.4f", 12.5 + 52 * u[0] / n,
                                     -7.3 + 45 * u[1] / n, 20.1 + 49 * u[2] / n);
        const int ll = std::snprintf(line, sizeof line, "%.3f,%.4f,%.4f,%.4f,%s\n", k * 0.01,
                                     0.1 * gauss(rng), 9.81 + 0.1 * gauss(rng), 0.1 * gauss(rng), m);
        log.append(line, ll);
        QByteArray tabs(m, ml);
        strict += tabs.replace(',', '\t') + '\n';
    }
    for (const auto &[path, bytes] : {std::pair{strictPath, strict}, std::pair{logPath, log}}) {
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(bytes);
    }
}

#endif
