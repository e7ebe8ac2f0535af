// Times reading, fitting and deriving on a 500000-line file against reading
// the file's bytes and counting its lines, and measures the peak memory of a
// whole calibration in a fresh process.
//   calibration_bench [runs]        the benchmark (default 11 runs, medians)
//   calibration_bench --once FILE   one calibration; prints its peak RSS in kB
#include "pipeline.h"
#include "quality.h"
#include "samplefile.h"
#include "timing.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <random>
#include <vector>

using namespace tavrin;

namespace {

long peakRssKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 3 && args[1] == "--once") {
        const CalibrationResult result = runCalibration(Input::file(args[2]), {48.0});
        std::printf("%ld\n", result.calibrated() ? peakRssKb() : -1L);
        return result.calibrated() ? 0 : 1;
    }
    const int runs = args.size() > 1 ? args[1].toInt() : 11;

    QTemporaryDir dir;
    const QString path = dir.filePath("raw500000.txt");
    writeSampleFile(path, RawData::Capacity);

    long lines = 0;
    const double bytesMs = medianMs(runs, [&] {
        QFile f(path);
        f.open(QIODevice::ReadOnly);
        lines = f.readAll().count('\n');
    });
    RawData raw;
    const double readMs = medianMs(runs, [&] { raw = ReadRawData(path); });
    std::optional<EllipsoidFit> fit;
    const double fitMs = medianMs(runs, [&] { fit = FitEllipsoid(raw.points()); });
    const double deriveMs = medianMs(runs, [&] { DeriveCalibration(*fit, 48.0); });
    const double wholeMs = medianMs(runs, [&] { runCalibration(Input::file(path), {48.0}); });
    const CalibrationParameters parameters = *DeriveCalibration(*fit, 48.0);
    const double qualityMs = medianMs(runs, [&] { AssessQuality(raw.points(), *fit, parameters, 48.0); });

    // The exact fit and the robust full fit one after the other in each run,
    // so that the machine's mood weighs on both alike.
    std::vector<double> exactTimes, fullTimes;
    for (int r = 0; r < runs; r++) {
        exactTimes.push_back(elapsedMs([&] { DeriveCalibration(*FitEllipsoid(raw.points()), 48.0); }));
        fullTimes.push_back(elapsedMs([&] { FitRobust(raw.points(), 48.0, FitModel::Full); }));
    }
    double robustMs[3];
    const FitModel smaller[3] = {FitModel::Diagonal, FitModel::Sphere, FitModel::Planar};
    for (int m = 0; m < 3; m++)
        robustMs[m] = medianMs(runs, [&] { FitRobust(raw.points(), 48.0, smaller[m]); });

    QProcess once;
    once.start(app.applicationFilePath(), {"--once", path});
    once.waitForFinished(-1);
    const long peakKb = once.readAllStandardOutput().trimmed().toLong();

    std::printf("file: %ld lines, %lld bytes; medians of %d runs\n", lines, QFile(path).size(), runs);
    std::printf("  read bytes and count lines  %8.1f ms\n", bytesMs);
    std::printf("  ReadRawData                 %8.1f ms\n", readMs);
    std::printf("  FitEllipsoid                %8.1f ms\n", fitMs);
    std::printf("  DeriveCalibration           %8.3f ms\n", deriveMs);
    std::printf("  whole calibration, judged   %8.1f ms  = %.1f x reading the bytes (target <= 10)\n",
                wholeMs, wholeMs / bytesMs);
    std::printf("  AssessQuality               %8.1f ms\n", qualityMs);
    std::printf("  exact fit and derivation    %8.1f ms\n", median(exactTimes));
    std::printf("  robust full fit             %8.1f ms  = %.1f x the exact fit (target <= 5)\n",
                median(fullTimes), median(fullTimes) / median(exactTimes));
    for (int m = 0; m < 3; m++)
        std::printf("  robust %-20s %8.1f ms\n", fitModelName(smaller[m]), robustMs[m]);
    std::printf("  peak memory of a calibration process %.1f MB (target < 64)\n", peakKb / 1024.0);
    return 0;
}
