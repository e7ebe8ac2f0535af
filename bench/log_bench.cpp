// Reading a 500000-row log (a header, a time column, three accelerometer and
// three magnetometer columns, comma-separated) beside the strict reading of
// the same magnetometer numbers, interleaved so that both see the same load.
//   log_bench [runs]
#include "logreader.h"
#include "rawdata.h"
#include "timing.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <random>

using namespace tavrin;

namespace {

void writeFiles(const QString &strictPath, const QString &logPath, int rows)
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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 21;
    QTemporaryDir dir;
    const QString strictPath = dir.filePath("strict.txt"), logPath = dir.filePath("log.csv");
    writeFiles(strictPath, logPath, RawData::Capacity);
    LogFormat format;
    format.columns = {"mx", "my", "mz"};
    std::vector<double> strict, log;
    for (int r = 0; r < runs; r++) {
        strict.push_back(elapsedMs([&] { ReadRawData(strictPath); }));
        log.push_back(elapsedMs([&] {
            LogInput input;
            ReadLog(logPath, format, input);
        }));
    }
    const double s = median(strict), l = median(log);
    std::printf("strict %.1f ms, log %.1f ms (medians of %d), log/strict = %.2f (target <= 1.5)\n", s, l,
                runs, l / s);
    return 0;
}
