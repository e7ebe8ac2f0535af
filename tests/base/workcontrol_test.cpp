#include "workcontrol.h"

#include <gtest/gtest.h>

#include <mutex>
#include <set>
#include <thread>
#include <vector>

using namespace tavrin;

TEST(WorkControl, SharesWorkAmongNoMoreThreadsThanItsBudget)
{
    for (const int budget : {1, 3}) {
        const WorkControl control(nullptr, budget, {});
        std::mutex mutex;
        std::set<int> shares;
        std::set<std::thread::id> threads;
        control.inParallel(5, [&](int worker, int workers) {
            const std::lock_guard<std::mutex> lock(mutex);
            EXPECT_EQ(workers, budget);
            EXPECT_TRUE(shares.insert(worker).second);
            threads.insert(std::this_thread::get_id());
        });
        EXPECT_EQ(int(shares.size()), budget);
        EXPECT_EQ(int(threads.size()), budget);
        EXPECT_EQ(threads.count(std::this_thread::get_id()), 1u);
        EXPECT_EQ(control.mostThreads(), budget);
        // Nothing to share starts no thread.
        control.withThreads(8).inParallel(1, [&](int, int workers) { EXPECT_EQ(workers, 1); });
        EXPECT_EQ(control.mostThreads(), budget);
    }
}

TEST(WorkControl, APartsProgressMapsIntoItsStretchAndACancelReachesEveryCopy)
{
    std::vector<double> reported;
    std::atomic<bool> cancel{false};
    const WorkControl whole(&cancel, 1, [&](double f) { reported.push_back(f); });
    const WorkControl part = whole.part(0.2, 0.6).part(0.5, 1.0);
    part.progress(0.0);
    part.progress(0.5);
    part.progress(2.0);
    EXPECT_EQ(reported, (std::vector<double>{0.4, 0.5, 0.6}));
    EXPECT_FALSE(part.withThreads(2).cancelled());
    cancel = true;
    EXPECT_TRUE(part.withThreads(2).cancelled());
    EXPECT_TRUE(WorkControl().threads() >= 1 && !WorkControl().cancelled());
}
