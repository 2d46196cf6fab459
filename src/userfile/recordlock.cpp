#include "recordlock.h"

#include "record.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <thread>

namespace zorv {

namespace {

bool setLock(int fd, short type, off_t start, bool& unsupported) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = static_cast<off_t>(kRecordSize);
    fl.l_pid = 0; // required for open-file-description locks
    for (;;) {
        if (::fcntl(fd, F_OFD_SETLK, &fl) == 0)
            return true;
        if (errno == EINTR)
            continue;
        unsupported = errno == ENOLCK || errno == EINVAL || errno == EOPNOTSUPP;
        return false;
    }
}

std::atomic<int> lockWaitMs{kRecordLockWaitMs};

} // namespace

int recordLockWaitMs() {
    return lockWaitMs.load(std::memory_order_relaxed);
}

void setRecordLockWaitForTesting(int ms) {
    lockWaitMs.store(ms, std::memory_order_relaxed);
}

RecordLock::RecordLock(int fd, int index, bool write, int waitMs)
    : fd_(fd), start_(static_cast<off_t>(index) * static_cast<off_t>(kRecordSize)) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
    auto pause = std::chrono::microseconds(200);
    for (;;) {
        bool unsupported = false;
        if (setLock(fd_, write ? F_WRLCK : F_RDLCK, start_, unsupported)) {
            held_ = locked_ = true;
            return;
        }
        if (unsupported) {
            held_ = true;
            return;
        }
        if ((errno != EAGAIN && errno != EACCES) || std::chrono::steady_clock::now() >= deadline)
            return;
        std::this_thread::sleep_for(pause);
        pause = std::min(pause * 2, std::chrono::microseconds(20000));
    }
}

RecordLock::~RecordLock() {
    if (locked_) {
        bool unsupported = false;
        (void)setLock(fd_, F_UNLCK, start_, unsupported);
    }
}

} // namespace zorv
