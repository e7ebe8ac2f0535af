// Reading a 500000-row log beside the strict reading of the same magnetometer
// numbers, interleaved so that both see the same load.
//   log_bench [runs]
#include "logfile.h"
#include "logreader.h"
#include "rawdata.h"
#include "timing.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>

using namespace tavrin;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 21;
    QTemporaryDir dir;
    const QString strictPath = dir.filePath("strict.txt"), logPath = dir.filePath("log.csv");
    writeLogFiles(strictPath, logPath, RawData::Capacity);
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
