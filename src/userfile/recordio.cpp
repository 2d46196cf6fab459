#include "recordio.h"

#include "errors.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zorv {

int openRegularFile(const std::string& path, int flags) {
    // Non-blocking only for the open itself: a FIFO without a writer would hang it.
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        throw ioErrorFromErrno(errno);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        const int err = errno;
        ::close(fd);
        throw ioErrorFromErrno(err);
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        throw accessDenied(st);
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

int recordCountOf(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        throw ioErrorFromErrno(errno);
    if (S_ISDIR(st.st_mode))
        throw accessDenied(st);
    const auto n = static_cast<long long>(st.st_size) / static_cast<long long>(kRecordSize);
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

void readRecordOf(int fd, int index, Record& buffer) {
    if (index < 0 || index >= recordCountOf(fd))
        throw IoError(kReadBeyondEnd);
    std::size_t done = 0;
    const off_t base = static_cast<off_t>(index) * static_cast<off_t>(kRecordSize);
    while (done < kRecordSize) {
        const ssize_t n =
            ::pread(fd, buffer.data() + done, kRecordSize - done, base + static_cast<off_t>(done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw ioErrorFromErrno(errno);
        }
        if (n == 0)
            throw IoError(kReadBeyondEnd); // the file shrank under us
        done += static_cast<std::size_t>(n);
    }
}

bool readWholeRecord(int fd, Record& r, off_t offset) {
    std::size_t done = 0;
    while (done < kRecordSize) {
        const ssize_t n =
            ::pread(fd, r.data() + done, kRecordSize - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = 0;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

off_t fileSizeOf(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? st.st_size : -1;
}

} // namespace zorv
