// How a long computation is steered from outside: it stops early when asked,
// says how far it has got, and starts no more threads than it is given.
#ifndef TAVRIN_WORKCONTROL_H
#define TAVRIN_WORKCONTROL_H

#include <atomic>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

namespace tavrin {

class WorkControl {
public:
    /// Never cancelled, reports nothing, works on the machine's hardware threads.
    WorkControl();

    /// cancel: set from any thread to stop the work early, or nullptr.
    /// threads: at most this many threads work, the calling one included;
    /// 0 for the machine's hardware threads.
    /// progress: called on the calling thread with the fraction done, 0 to 1.
    WorkControl(const std::atomic<bool> *cancel, int threads, std::function<void(double fraction)> progress);

    bool cancelled() const { return cancelFlag && cancelFlag->load(std::memory_order_relaxed); }

    /// At least 1.
    int threads() const { return budget; }

    /// Says that this fraction of the work (0 to 1) is done.
    void progress(double fraction) const;

    /// The stretch [from, to] of this work (fractions, 0 <= from <= to <= 1):
    /// its fraction done maps into that stretch of this one's.
    WorkControl part(double from, double to) const;

    /// The same work on at most threads threads (at least 1).
    WorkControl withThreads(int threads) const;

    /// The same work reporting no progress: for a part that runs beside
    /// the one that reports, on another thread.
    WorkControl quiet() const;

    /// Runs work(worker, workers) for every worker from 0 to workers - 1,
    /// workers = min(threads(), wanted), and returns when all have ended.
    /// Worker 0 runs on the calling thread: with one worker no thread starts;
    /// the share of a thread that the system cannot start runs there too.
    void inParallel(int wanted, const std::function<void(int worker, int workers)> &work) const;

    /// The most threads that worked at once through this control and every
    /// control made from it, the calling one included: 1 to threads().
    int mostThreads() const { return 1 + started->peak.load(); }

private:
    void join(std::vector<std::thread> &threads) const;
    void notePeak(int running) const;

    const std::atomic<bool> *cancelFlag = nullptr;
    int budget = 1;
    std::function<void(double)> report;
    double from = 0.0, to = 1.0;
    // Threads started and not yet joined, and their most at any time.
    struct Started {
        std::atomic<int> running{0}, peak{0};
    };
    std::shared_ptr<Started> started;
};

} // namespace tavrin

#endif
