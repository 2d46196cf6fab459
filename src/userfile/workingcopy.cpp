#include "workingcopy.h"

#include "blockreader.h"
#include "errors.h"
#include "fd.h"
#include "filecopy.h"
#include "pathparts.h"
#include "privatefile.h"
#include "recordio.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace zorv {

namespace {

void lockOrThrow(int fd, const std::string& path) {
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno == EWOULDBLOCK)
            throw IoError(kFileAccessDenied, "File access denied: the working copy " + path +
                                                 " is held by another running editor");
        // Filesystems without flock: the copy is still usable, just unguarded.
        if (errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL)
            return;
        throw ioErrorFromErrno(errno);
    }
}

} // namespace

WorkingCopy::WorkingCopy(std::string path) : path_(std::move(path)) {}

WorkingCopy::~WorkingCopy() {
    close();
}

void WorkingCopy::setPath(std::string path) {
    if (isOpen())
        throw std::logic_error("WorkingCopy::setPath while open");
    path_ = std::move(path);
}

void WorkingCopy::open() {
    close();
    Fd fd(openPrivateFile(path_, "the working copy", false));
    lockOrThrow(fd.get(), path_);
    fd_ = fd.release();
}

void WorkingCopy::loadFrom(const std::string& source, const RecordsSeen& seen) {
    close();
    holdsCopy_ = false;
    // Not truncated: another editor's copy must survive until the lock is ours.
    Fd fd(openPrivateFile(path_, "the working copy"));
    lockOrThrow(fd.get(), path_);
    Fd in(openRegularFile(source, O_RDONLY));
    loaded_.clear();
    source_ = {};
    sourceName_ = {};
    struct stat a {
    }, b{};
    if (::fstat(fd.get(), &a) == 0 && ::fstat(in.get(), &b) == 0 && a.st_dev == b.st_dev &&
        a.st_ino == b.st_ino) {
        // The user file is its own working copy: nothing to copy, but `seen`
        // still gets every record.
        if (seen) {
            BlockReader reader(fd.get());
            while (const Record* r = reader.next())
                seen(r, 1);
        }
        fd_ = fd.release();
        holdsCopy_ = true;
        return;
    }
    const FileIdentity from{static_cast<unsigned long long>(b.st_dev),
                            static_cast<unsigned long long>(b.st_ino), b.st_ino != 0};
    sourceStat_ = b;
    try {
        const off_t size = copyContent(in.get(), fd.get(), seen);
        if (::ftruncate(fd.get(), size) != 0)
            throw ioErrorFromErrno(errno);
    } catch (...) {
        (void)!::ftruncate(fd.get(), 0); // never leave a half copy that looks like data
        throw;
    }
    fd_ = fd.release();
    holdsCopy_ = true;
    source_ = from;
    // What an overwrite must find at the name again (no link planted since).
    struct stat lst {};
    sourceName_.entry = absolutePathOf(source);
    sourceName_.link = ::lstat(source.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode);
    if (char* real = ::realpath(source.c_str(), nullptr)) {
        sourceName_.target = real;
        std::free(real);
    }
}

void WorkingCopy::close() {
    if (fd_ >= 0)
        ::close(fd_); // also drops the lock
    fd_ = -1;
}

int WorkingCopy::recordCount() const {
    if (fd_ < 0)
        throw IoError(kFileNotOpen);
    return recordCountOf(fd_);
}

void WorkingCopy::readRecord(int index, Record& buffer) const {
    if (fd_ < 0)
        throw IoError(kFileNotOpen);
    readRecordOf(fd_, index, buffer);
}

void WorkingCopy::writeRecord(int index, const Record& buffer) {
    // Only whole records that exist: bytes after the last one are never written.
    if (index < 0 || index >= recordCount())
        throw IoError(kReadBeyondEnd);
    if (!loaded_.count(index)) {
        Record before{};
        readRecord(index, before);
        loaded_.emplace(index, before);
    }
    writeAllAt(fd_, reinterpret_cast<const char*>(buffer.data()), kRecordSize,
               static_cast<off_t>(index) * static_cast<off_t>(kRecordSize));
}

void WorkingCopy::keepChange(int index, const Record& loaded, const Record& mine) {
    writeRecord(index, mine);
    loaded_[index] = loaded;
}

bool WorkingCopy::takeFileRecord(int index, const Record& bytes) {
    Record now{};
    readRecord(index, now); // "Read beyond end of file" outside the records
    const auto loaded = loaded_.find(index);
    if (loaded != loaded_.end() && loaded->second != now)
        return false;
    writeAllAt(fd_, reinterpret_cast<const char*>(bytes.data()), kRecordSize,
               static_cast<off_t>(index) * static_cast<off_t>(kRecordSize));
    if (loaded != loaded_.end())
        loaded->second = bytes;
    return true;
}

void WorkingCopy::appendRecords(const Record* records, std::size_t count) {
    const off_t end = static_cast<off_t>(recordCount()) * static_cast<off_t>(kRecordSize);
    if (count == 0)
        return;
    if (!writeFully(fd_, records, count * kRecordSize, end) ||
        ::ftruncate(fd_, end + static_cast<off_t>(count * kRecordSize)) != 0) {
        const int err = errno;
        (void)!::ftruncate(fd_, end); // no half record left behind
        throw ioErrorFromErrno(err);
    }
}

void WorkingCopy::flush() {
    if (fd_ >= 0 && ::fsync(fd_) != 0)
        throw ioErrorFromErrno(errno);
}

} // namespace zorv
