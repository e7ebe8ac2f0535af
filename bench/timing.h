// Wall-clock helpers shared by the benchmarks.
#ifndef TAVRIN_BENCH_TIMING_H
#define TAVRIN_BENCH_TIMING_H

#include <QElapsedTimer>

#include <algorithm>
#include <functional>
#include <vector>

inline double elapsedMs(const std::function<void()> &work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return timer.nsecsElapsed() / 1e6;
}

inline double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

inline double medianMs(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int r = 0; r < runs; r++)
        times.push_back(elapsedMs(work));
    return median(times);
}

#endif
