// The bootstrap of b and A with 200 resamples, on the sample's 2000 points
// and on 500000, beside the whole calibration of the same data, on one
// thread and on the machine's hardware threads.
//   bootstrap_bench [runs]
#include "pipeline.h"
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
    std::printf("200 resamples; medians of %d runs\n", runs);
    const CalibrationOptions plain{48.0};
    CalibrationOptions bootstrapped{48.0};
    bootstrapped.resamples = DefaultResamples;
    for (const QString &path : {QStringLiteral(TAVRIN_SAMPLE), big}) {
        const CalibrationResult once = runCalibration(Input::file(path), plain);
        const double calibration = medianMs(runs, [&] { runCalibration(Input::file(path), plain); });
        for (const int threads : {1, int(std::thread::hardware_concurrency())}) {
            RunControl control;
            control.threads = threads;
            CalibrationResult result;
            const double whole =
                medianMs(runs, [&] { result = runCalibration(Input::file(path), bootstrapped, control); });
            const double bootstrap = whole - calibration;
            std::printf("  %6d points, %d threads: calibration %8.1f ms, bootstrap %8.1f ms (%.3f ms a "
                        "resample), %d failed\n",
                        once.run.raw.numLines, threads, calibration, bootstrap, bootstrap / DefaultResamples,
                        result.uncertainty ? result.uncertainty->failed : -1);
        }
    }
    return 0;
}
