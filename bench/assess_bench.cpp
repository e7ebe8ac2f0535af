// Times each part of judging the exact fit of 500000 points, one thread each,
// the whole judgement on the machine's threads, and the fit and its
// judgement one after the other against the judgement found beside the fit
// (and what is left of it then): where the time of fitting and judging goes,
// measured apart from reading.
//   assess_bench [runs]     medians of runs (default 11)
#include "calibration.h"
#include "hmunit.h"
#include "quality.h"
#include "samplefile.h"
#include "timing.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>

using namespace tavrin;

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 11;
    QTemporaryDir dir;
    const QString path = dir.filePath("raw500000.txt");
    writeSampleFile(path, RawData::Capacity);
    const double Hm = 48.0;
    const CalibrationRun run = CalibrateRawData(Hm, ReadRawData(path));
    const Points points = run.raw.points();
    const CalibrationParameters &p = run.parameters;
    const double bias[3] = {p.Bias[0][0], p.Bias[1][0], p.Bias[2][0]};
    const WorkControl oneThread = WorkControl().withThreads(1);

    struct Part {
        const char *name;
        std::function<void()> work;
    };
    const Part parts[] = {
        {"FitEllipsoid", [&] { FitEllipsoid(points, nullptr, oneThread); }},
        {"SpreadWithoutGross", [&] { SpreadWithoutGross(points); }},
        {"SpreadAboutPlane", [&] { SpreadAboutPlane(points); }},
        {"RobustSphereCentre", [&] { RobustSphereCentre(points, Hm, oneThread); }},
        {"CoverageAbout", [&] { CoverageAbout(points, bias); }},
        {"CalibratedErrorsOf", [&] { CalibratedErrorsOf(points, p, Hm); }},
        {"CheckHmUnit", [&] { CheckHmUnit(points, p, Hm); }},
        {"AssessCalibration", [&] { AssessCalibration(run, Hm); }},
        {"fit, then judgement",
         [&] {
             const CalibrationRun fitted = CalibrateRawData(Hm, run.raw);
             AssessCalibration(fitted, Hm);
         }},
    };
    std::printf("%d points; of %d runs, the median and the least\n", points.size(), runs);
    for (const Part &part : parts) {
        std::vector<double> times;
        for (int r = 0; r < runs; r++)
            times.push_back(elapsedMs(part.work));
        std::printf("  %-20s %7.2f ms %7.2f ms\n", part.name, median(times),
                    *std::min_element(times.begin(), times.end()));
    }
    return 0;
}
