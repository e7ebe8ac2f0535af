// The strict reader alone on one file: medians of the wall time, of the
// process's processor time and of the page faults of one read. The first
// read is that of a fresh process: with one round, what a run of tavrin-cli
// sees.
//   read_bench FILE [rounds]
#include "rawdata.h"
#include "timing.h"

#include <QCoreApplication>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include <malloc.h>

#include <sys/resource.h>

using namespace tavrin;

namespace {

double cpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

double minorFaults()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_minflt);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // Each read gets fresh pages, as in a process of its own, not the table
    // that the read before freed.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    if (argc < 2)
        return 64;
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 21;
    std::vector<double> wall, cpuTime, faults;
    int points = 0;
    for (int r = 0; r < rounds; r++) {
        const double cpu = cpuMs(), faultsBefore = minorFaults();
        wall.push_back(elapsedMs([&] { points = ReadRawData(path).numLines; }));
        cpuTime.push_back(cpuMs() - cpu);
        faults.push_back(minorFaults() - faultsBefore);
    }
    std::printf("%d points; medians of %d rounds\n", points, rounds);
    std::printf("  wall %6.2f ms  cpu %6.2f ms  page faults %6.0f\n", median(wall), median(cpuTime),
                median(faults));
    return 0;
}
