#pragma once
// A few threads sharing independent ranges of one array (the sort's
// partitioned ranges): each thread works a stack of its own and hands its
// largest waiting range to a thread that has none. The result must not
// depend on which thread did what, and neither does the error: of the
// ranges that fail, the leftmost one's is raised, which is the one a single
// thread working left to right meets first (failed ranges must not nest).
// Ranges right of a known failure are skipped. Only the calling thread
// reports progress, so a window may paint from it.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace zorv {

struct IndexRange {
    int lo, hi; // both included
};

class RangePool {
  public:
    // Told `settled` (the units the work counted done so far), at most once
    // in `interval`, on the calling thread; what it throws stops the pool.
    using Report = std::function<void(std::int64_t settled)>;

    // What one thread's work sees of the pool.
    class Local {
      public:
        // A range to do later: by this thread, or by an idle one when it is
        // at least `shareFrom` long.
        void push(IndexRange r) {
            mine_.push_back(r);
            if (pool_.hungry_.load(std::memory_order_relaxed) > 0 &&
                mine_.front().hi - mine_.front().lo >= pool_.shareFrom_) {
                pool_.give(mine_.front());
                mine_.pop_front();
            }
        }
        void settle(std::int64_t units) { settled_ += units; }
        // Now and then from long work: the calling thread reports.
        void tick() {
            if (main_ && ++ticks_ % 64 == 0)
                pool_.report(true);
        }
        int worker() const { return worker_; }

      private:
        friend class RangePool;
        Local(RangePool& pool, int worker) : pool_(pool), worker_(worker), main_(worker == 0) {}
        RangePool& pool_;
        int worker_;
        bool main_;
        std::deque<IndexRange> mine_;
        std::int64_t settled_ = 0;
        unsigned ticks_ = 0;
    };

    RangePool(int shareFrom, Report report,
              std::chrono::milliseconds interval = std::chrono::milliseconds(50))
        : shareFrom_(shareFrom), report_(std::move(report)), interval_(interval),
          told_(Clock::now()) {}
    RangePool(const RangePool&) = delete;
    RangePool& operator=(const RangePool&) = delete;

    // Runs work(range, local) for `whole` and every range the work pushes,
    // on at most `threads` threads (worker 0 is the calling thread; fewer
    // when no more can be had). Rethrows the leftmost failure.
    template <class Work> void run(IndexRange whole, int threads, Work&& work) {
        pool_.assign(1, whole);
        threads_ = 1;
        std::vector<std::thread> helpers;
        for (int t = 1; t < threads; ++t) {
            try {
                {
                    std::lock_guard<std::mutex> hold(lock_);
                    ++threads_;
                }
                helpers.emplace_back([this, &work, t] { guardedDrain(work, t); });
            } catch (const std::system_error&) {
                std::lock_guard<std::mutex> hold(lock_);
                --threads_; // no thread to be had: fewer do the work
                break;
            }
        }
        guardedDrain(work, 0);
        for (std::thread& t : helpers)
            t.join();
        if (error_)
            std::rethrow_exception(error_);
    }

  private:
    using Clock = std::chrono::steady_clock;

    void give(IndexRange r) {
        {
            std::lock_guard<std::mutex> hold(lock_);
            pool_.push_back(r);
        }
        wake_.notify_one();
    }

    // A failure of the range starting at `lo`; -1 for one outside every
    // range (a thread's own, the progress report), which wins over all.
    void fail(int lo, std::exception_ptr ex) {
        std::lock_guard<std::mutex> hold(errorLock_);
        if (lo < errorLo_) {
            errorLo_ = lo;
            error_ = std::move(ex);
            skipFrom_.store(lo + 1, std::memory_order_relaxed);
        }
    }

    void report(bool main) {
        if (!main || !report_ || Clock::now() - told_ < interval_)
            return;
        told_ = Clock::now();
        try {
            report_(settled_.load(std::memory_order_relaxed));
        } catch (...) {
            fail(-1, std::current_exception());
        }
    }

    template <class Work> void guardedDrain(Work& work, int worker) {
        try {
            drain(work, worker);
        } catch (...) {
            fail(-1, std::current_exception());
            std::lock_guard<std::mutex> hold(lock_);
            finished_ = true;
            wake_.notify_all();
        }
    }

    // The next range for a thread without one of its own; false once every
    // thread waits for one.
    bool take(IndexRange& r, bool main) {
        std::unique_lock<std::mutex> hold(lock_);
        while (pool_.empty()) {
            if (finished_ || ++waiting_ == threads_) {
                finished_ = true;
                wake_.notify_all();
                return false;
            }
            hungry_.fetch_add(1, std::memory_order_relaxed);
            if (main)
                wake_.wait_for(hold, interval_);
            else
                wake_.wait(hold);
            hungry_.fetch_sub(1, std::memory_order_relaxed);
            --waiting_;
            if (main && pool_.empty() && !finished_) {
                hold.unlock();
                report(true);
                hold.lock();
            }
        }
        r = pool_.back();
        pool_.pop_back();
        return true;
    }

    template <class Work> void drain(Work& work, int worker) {
        Local local(*this, worker);
        for (;;) {
            IndexRange r{};
            if (!local.mine_.empty()) {
                r = local.mine_.back();
                local.mine_.pop_back();
            } else if (!take(r, local.main_)) {
                return;
            }
            if (r.lo >= skipFrom_.load(std::memory_order_relaxed))
                continue;
            try {
                work(r, local);
            } catch (...) {
                fail(r.lo, std::current_exception());
            }
            if (local.settled_ >= 4096 || local.mine_.empty()) {
                settled_.fetch_add(local.settled_, std::memory_order_relaxed);
                local.settled_ = 0;
            }
        }
    }

    const int shareFrom_;
    const Report report_;
    const std::chrono::milliseconds interval_;
    Clock::time_point told_; // the calling thread's only

    std::mutex lock_;
    std::condition_variable wake_;
    std::deque<IndexRange> pool_;
    int threads_ = 1, waiting_ = 0;
    bool finished_ = false;
    std::atomic<int> hungry_{0};
    std::atomic<std::int64_t> settled_{0};

    std::mutex errorLock_;
    std::exception_ptr error_;
    int errorLo_ = INT_MAX;
    std::atomic<int> skipFrom_{INT_MAX};
};

} // namespace zorv
