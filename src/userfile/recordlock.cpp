#include "userfile/recordlock.h"

#include "userfile/record.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace zorv {

namespace {

std::atomic<int> lockWaitMs{kRecordLockWaitMs};

} // namespace

int recordLockWaitMs() {
    return lockWaitMs.load(std::memory_order_relaxed);
}

void setRecordLockWaitForTesting(int ms) {
    lockWaitMs.store(ms, std::memory_order_relaxed);
}

RecordLock::RecordLock(os::Handle fd, int index, bool write, int waitMs)
    : fd_(fd), start_(static_cast<os::Offset>(index) * static_cast<os::Offset>(kRecordSize)) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    auto pause = std::chrono::microseconds(200);
    for (;;) {
        switch (os::lockRange(fd_, start_, kRecordSize, write)) {
        case os::Lock::Held:
            held_ = locked_ = true;
            return;
        case os::Lock::Unsupported:
            held_ = true;
            return;
        case os::Lock::Failed:
            return;
        case os::Lock::Busy:
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(20000));
    }
}

RecordLock::~RecordLock() {
    if (locked_)
        os::unlockRange(fd_, start_, kRecordSize);
}

} // namespace zorv
