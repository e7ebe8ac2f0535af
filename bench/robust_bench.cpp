// Times the robust fits apart from reading: the sphere whose centre the
// assessment counts directions about (an even sample of about 4096 points),
// the full robust fit of every point, its starts converged on a sample
// apart from the rest of it, as a judged run converges them beside the
// coverage, and Auto's whole choice, on the benchmarks' 500000-point file or
// the one given. Medians of wall-clock and
// process CPU time (all threads) over the runs.
//   robust_bench [runs] [FILE]
#include "fitchoice.h"
#include "quality.h"
#include "rawdata.h"
#include "samplefile.h"
#include "timing.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstdio>
#include <ctime>
#include <optional>

using namespace tavrin;

namespace {

double cpuMs()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

void report(const char *what, int runs, const std::function<void()> &work)
{
    std::vector<double> wall, cpu;
    for (int r = 0; r < runs; r++) {
        const double before = cpuMs();
        wall.push_back(elapsedMs(work));
        cpu.push_back(cpuMs() - before);
    }
    std::printf("  %-34s wall %7.2f ms, CPU %7.2f ms\n", what, median(wall), median(cpu));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? std::atoi(argv[1]) : 11;
    QTemporaryDir dir;
    QString path = argc > 2 ? QString::fromLocal8Bit(argv[2]) : dir.filePath("raw500000.txt");
    if (argc <= 2)
        writeSampleFile(path, RawData::Capacity);
    const RawData raw = ReadRawData(path);
    const Points points = raw.points();
    std::printf("%d points; medians of %d runs\n", points.size(), runs);
    report("RobustSphereCentre", runs, [&] { RobustSphereCentre(points, 48.0); });
    const SpreadBesideGross spread = SpreadWithoutGross(points);
    report("FitRobust full, spread known", runs,
           [&] { FitRobust(points, 48.0, FitModel::Full, RobustFitOptions().knowing(&spread)); });
    report("ChooseFit, nothing known", runs, [&] { ChooseFit(points, 48.0); });
    return 0;
}
