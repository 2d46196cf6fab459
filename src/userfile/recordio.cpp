#include "userfile/recordio.h"

#include "userfile/errors.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <thread>

namespace zorv {

os::Handle openRegularFile(const std::string& path, Access access) {
    // Non-blocking only for the open itself: a FIFO without a writer would hang it.
    const os::Handle fd =
        os::open(path, (access == Access::ReadWrite ? os::kReadWrite : os::kRead) | os::kNoWait);
    if (!os::isOpen(fd))
        throw ioErrorFromErrno(errno);
    os::FileInfo st;
    if (!os::info(fd, st)) {
        const int err = errno;
        os::close(fd);
        throw ioErrorFromErrno(err);
    }
    if (st.kind != os::Kind::Regular) {
        os::close(fd);
        throw accessDenied(st);
    }
    os::setBlocking(fd);
    return fd;
}

int recordCountOf(os::Handle fd) {
    os::FileInfo st;
    if (!os::info(fd, st))
        throw ioErrorFromErrno(errno);
    if (st.kind == os::Kind::Folder)
        throw accessDenied(st);
    const auto n = static_cast<long long>(st.size) / static_cast<long long>(kRecordSize);
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

void readRecordOf(os::Handle fd, int index, Record& buffer) {
    if (index < 0 || index >= recordCountOf(fd))
        throw IoError(kReadBeyondEnd);
    const long long n = os::readAt(fd, buffer.data(), kRecordSize, recordOffset(index));
    if (n < 0)
        throw ioErrorFromErrno(errno);
    if (n < static_cast<long long>(kRecordSize))
        throw IoError(kReadBeyondEnd); // the file shrank under us
}

bool readWholeRecord(os::Handle fd, Record& r, os::Offset offset) {
    const long long n = os::readAt(fd, r.data(), kRecordSize, offset);
    if (n == static_cast<long long>(kRecordSize))
        return true;
    if (n >= 0)
        errno = 0;
    return false;
}

namespace {

// The board holds a record's lock for one write: a few short waits.
constexpr int kLockedTries = 4;
constexpr auto kLockedPause = std::chrono::milliseconds(5);

long long readPastLock(os::Handle fd, void* out, std::size_t size, os::Offset offset) {
    for (int attempt = 0;; ++attempt) {
        const long long got = os::readAt(fd, out, size, offset);
        if (got >= 0 || errno != EAGAIN || attempt + 1 >= kLockedTries)
            return got;
        std::this_thread::sleep_for(kLockedPause);
    }
}

} // namespace

long long readRecordsPastLocks(os::Handle fd, Record* out, int first, int n,
                               std::vector<char>& refused) {
    refused.assign(static_cast<std::size_t>(n), 0);
    const std::size_t bytes = static_cast<std::size_t>(n) * kRecordSize;
    const long long got = readPastLock(fd, out, bytes, recordOffset(first));
    if (got >= 0 || errno != EAGAIN)
        return got;
    long long total = 0;
    for (int i = 0; i < n; ++i) {
        const long long one = readPastLock(fd, &out[i], kRecordSize, recordOffset(first + i));
        if (one < 0 && errno == EAGAIN) {
            refused[static_cast<std::size_t>(i)] = 1;
            out[i] = Record{};
            total += static_cast<long long>(kRecordSize);
            continue;
        }
        if (one < 0)
            return -1;
        total += one;
        if (one < static_cast<long long>(kRecordSize))
            break;
    }
    return total;
}

os::Offset fileSizeOf(os::Handle fd) {
    os::FileInfo st;
    return os::info(fd, st) ? st.size : -1;
}

} // namespace zorv
