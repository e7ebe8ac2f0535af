#include "workcontrol.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

namespace tavrin {

namespace {

int hardwareThreads()
{
    return int(std::max(1u, std::thread::hardware_concurrency()));
}

} // namespace

void WorkControl::join(std::vector<std::thread> &threads) const
{
    for (std::thread &t : threads)
        t.join();
    started->running -= int(threads.size());
}

WorkControl::WorkControl() : WorkControl(nullptr, 0, {}) {}

WorkControl::WorkControl(const std::atomic<bool> *cancel, int threads, std::function<void(double)> progress)
    : cancelFlag(cancel), budget(threads > 0 ? threads : hardwareThreads()), report(std::move(progress)),
      started(std::make_shared<Started>())
{
}

void WorkControl::progress(double fraction) const
{
    if (report)
        report(from + (to - from) * std::clamp(fraction, 0.0, 1.0));
}

WorkControl WorkControl::part(double partFrom, double partTo) const
{
    WorkControl p = *this;
    p.from = from + (to - from) * partFrom;
    p.to = from + (to - from) * partTo;
    return p;
}

WorkControl WorkControl::withThreads(int threads) const
{
    WorkControl w = *this;
    w.budget = std::max(1, threads);
    return w;
}

WorkControl WorkControl::quiet() const
{
    WorkControl w = *this;
    w.report = nullptr;
    return w;
}

void WorkControl::inParallel(int wanted, const std::function<void(int, int)> &work) const
{
    const int workers = std::max(1, std::min(budget, wanted));
    std::vector<std::thread> threads;
    // A thread the system refuses leaves its share to the calling one.
    try {
        for (int w = 1; w < workers; w++) {
            threads.emplace_back(work, w, workers);
            notePeak(++started->running);
        }
    } catch (const std::system_error &) {
    }
    // The threads must be joined even when the calling one's share throws.
    try {
        work(0, workers);
        for (int w = 1 + int(threads.size()); w < workers; w++)
            work(w, workers);
    } catch (...) {
        join(threads);
        throw;
    }
    join(threads);
}

void WorkControl::notePeak(int running) const
{
    int peak = started->peak;
    while (running > peak && !started->peak.compare_exchange_weak(peak, running))
        continue;
}

} // namespace tavrin
