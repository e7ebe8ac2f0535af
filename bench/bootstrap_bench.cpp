// The bootstrap of b and A with 200 resamples, on the sample's 2000 points
// and on 500000, beside the whole calibration of the same data; then
// --uncertainty with --fit full against the exact fit's, fit and bootstrap
// timed one after the other in each run.
//   bootstrap_bench [runs]
#include "bootstrap.h"
#include "calibration.h"
#include "samplefile.h"
#include "timing.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <thread>

using namespace tavrin;

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 5;
    QTemporaryDir dir;
    const QString big = dir.filePath("raw500000.txt");
    writeSampleFile(big, RawData::Capacity);
    std::printf("200 resamples on %u threads; medians of %d runs\n", std::thread::hardware_concurrency(),
                runs);
    for (const QString &path : {QStringLiteral(TAVRIN_SAMPLE), big}) {
        const CalibrationRun run = CalibrateFile(48.0, path);
        const double calibration = medianMs(runs, [&] { CalibrateFile(48.0, path); });
        Uncertainty u;
        const double bootstrap =
            medianMs(runs, [&] { u = BootstrapCalibration(run.raw.points(), 48.0, DefaultResamples); });
        std::printf(
            "  %6d points: calibration %8.1f ms, bootstrap %8.1f ms (%.3f ms a resample), %d failed\n",
            run.raw.numLines, calibration, bootstrap, bootstrap / DefaultResamples, u.failed);
    }
    std::printf("--uncertainty on %d points, calibration and bootstrap, each run timing both:\n",
                RawData::Capacity);
    std::vector<double> exact, full, ratios;
    for (int r = 0; r < runs; r++) {
        exact.push_back(elapsedMs([&] {
            const CalibrationRun run = CalibrateFile(48.0, big);
            BootstrapCalibration(run.raw.points(), 48.0, DefaultResamples);
        }));
        full.push_back(elapsedMs([&] {
            const CalibrationRun run = CalibrateRawData(48.0, ReadRawData(big), FitModel::Full);
            BootstrapCalibration(run.raw.points(), 48.0, DefaultResamples, BootstrapSeed, run.robustFit());
        }));
        ratios.push_back(full.back() / exact.back());
    }
    std::printf("  exact %8.1f ms, full %8.1f ms (medians); full / exact %.2f (median of the runs' ratios, "
                "target <= 2)\n",
                median(exact), median(full), median(ratios));
    return 0;
}
