// The strict reader alone on one file, with one thread and with two, in
// interleaved rounds: medians of the wall time, of the process's processor
// time and of the page faults of one read. The first read with two threads
// is that of a fresh process: with one round, what a run of tavrin-cli sees.
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

struct Series {
    int threads;
    std::vector<double> wall, cpu, faults;
};

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
    std::vector<Series> series{{2, {}, {}, {}}, {1, {}, {}, {}}};
    int points = 0;
    for (int r = 0; r < rounds; r++)
        for (Series &s : series) {
            const WorkControl control(nullptr, s.threads, {});
            const double cpu = cpuMs(), faults = minorFaults();
            s.wall.push_back(elapsedMs([&] {
                const RawData data = ReadRawData(path, control);
                points = data.numLines;
            }));
            s.cpu.push_back(cpuMs() - cpu);
            s.faults.push_back(minorFaults() - faults);
        }
    std::printf("%d points; medians of %d interleaved rounds\n", points, rounds);
    for (const Series &s : series)
        std::printf("  %d thread%s  wall %6.2f ms  cpu %6.2f ms  page faults %6.0f\n", s.threads,
                    s.threads > 1 ? "s" : " ", median(s.wall), median(s.cpu), median(s.faults));
    return 0;
}
