#include "recordio.h"

#include "errors.h"

#include <cerrno>
#include <climits>

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

os::Offset fileSizeOf(os::Handle fd) {
    os::FileInfo st;
    return os::info(fd, st) ? st.size : -1;
}

} // namespace zorv
