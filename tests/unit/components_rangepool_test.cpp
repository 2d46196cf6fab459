// The threads' range pool of the grid's sort: every range done once, the
// leftmost failure raised whatever thread met it first, progress told on the
// calling thread only.

#include "components/rangepool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

namespace zorv {
namespace {

// Halves each range down to single indexes, as a quicksort splits its
// ranges: the left half done at once, the right one pushed.
template <class AtLeaf> void halve(IndexRange r, RangePool::Local& local, const AtLeaf& atLeaf) {
    while (r.lo < r.hi) {
        const int mid = r.lo + (r.hi - r.lo) / 2;
        local.push(IndexRange{mid + 1, r.hi});
        local.tick();
        r.hi = mid;
    }
    atLeaf(r.lo);
    local.settle(1);
}

TEST(RangePool, EveryRangeOnceOnAnyNumberOfThreads) {
    const int n = 200000;
    for (int threads : {1, 2, 4}) {
        std::vector<std::atomic<int>> seen(n);
        std::atomic<int> helpersWorked{0};
        const std::thread::id caller = std::this_thread::get_id();
        std::vector<std::int64_t> told;
        RangePool pool(64, [&](std::int64_t settled) {
            EXPECT_EQ(std::this_thread::get_id(), caller);
            told.push_back(settled);
        });
        pool.run(IndexRange{0, n - 1}, threads, [&](IndexRange r, RangePool::Local& local) {
            if (local.worker() != 0)
                ++helpersWorked;
            halve(r, local, [&](int i) { ++seen[static_cast<std::size_t>(i)]; });
        });
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(seen[static_cast<std::size_t>(i)].load(), 1)
                << "index " << i << ", " << threads << " threads";
        }
        EXPECT_TRUE(std::is_sorted(told.begin(), told.end()));
        if (threads > 1) {
            EXPECT_GT(helpersWorked.load(), 0) << "ranges were shared";
        }
    }
}

TEST(RangePool, TheLeftmostFailureIsRaisedAndAFailingReportStopsAll) {
    // Leaves 99999 and 100000 fail: the helper, given the right half, meets
    // its failure first, the calling thread its own at the end of the left
    // half; the leftmost is the one raised.
    for (int round = 0; round < 20; ++round) {
        RangePool pool(64, nullptr);
        std::string raised;
        try {
            pool.run(IndexRange{0, 199999}, 2, [&](IndexRange r, RangePool::Local& local) {
                halve(r, local, [&](int i) {
                    if (i == 99999 || i == 100000)
                        throw std::runtime_error("leaf " + std::to_string(i));
                });
            });
        } catch (const std::runtime_error& e) {
            raised = e.what();
        }
        ASSERT_EQ(raised, "leaf 99999") << "round " << round;
    }

    RangePool stopped(
        64, [](std::int64_t) { throw std::runtime_error("cancelled"); },
        std::chrono::milliseconds(0));
    std::atomic<int> leaves{0};
    EXPECT_THROW(stopped.run(IndexRange{0, 199999}, 2,
                             [&](IndexRange r, RangePool::Local& local) {
                                 halve(r, local, [&](int) { ++leaves; });
                             }),
                 std::runtime_error);
    EXPECT_LT(leaves.load(), 200000) << "the work stopped early";
}

} // namespace
} // namespace zorv
