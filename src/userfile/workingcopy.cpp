#include "userfile/workingcopy.h"

#include "userfile/blockreader.h"
#include "userfile/errors.h"
#include "userfile/fd.h"
#include "userfile/filecopy.h"
#include "userfile/pathparts.h"
#include "userfile/privatefile.h"
#include "userfile/recordio.h"

#include <cerrno>
#include <stdexcept>
#include <utility>

namespace zorv {

namespace {

void lockOrThrow(os::Handle fd, const std::string& path) {
    switch (os::lockWriters(fd)) {
    case os::Lock::Held:
    case os::Lock::Unsupported: // the copy is still usable, just unguarded
        return;
    case os::Lock::Busy:
        throw IoError(kFileAccessDenied, "File access denied: the working copy " + path +
                                             " is held by another running editor");
    case os::Lock::Failed:
        break;
    }
    throw ioErrorFromErrno(errno);
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
    Fd in(openRegularFile(source));
    loaded_.clear();
    source_ = {};
    sourceName_ = {};
    os::FileInfo a, b;
    if (os::info(fd.get(), a) && os::info(in.get(), b) && os::sameFile(a, b)) {
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
    const FileIdentity from{b.device, b.inode, b.inode != 0};
    sourceStat_ = b;
    try {
        const os::Offset size = copyContent(in.get(), fd.get(), seen);
        if (!os::truncate(fd.get(), size))
            throw ioErrorFromErrno(errno);
    } catch (...) {
        (void)os::truncate(fd.get(), 0); // never leave a half copy that looks like data
        throw;
    }
    fd_ = fd.release();
    holdsCopy_ = true;
    source_ = from;
    // What an overwrite must find at the name again (no link planted since).
    os::FileInfo lst;
    sourceName_.entry = absolutePathOf(source);
    sourceName_.link = os::linkInfoOf(source, lst) && lst.kind == os::Kind::Link;
    if (auto real = os::realPath(source))
        sourceName_.target = *real;
}

void WorkingCopy::close() {
    if (os::isOpen(fd_))
        os::close(fd_); // also drops the lock
    fd_ = os::noHandle();
}

int WorkingCopy::recordCount() const {
    if (!os::isOpen(fd_))
        throw IoError(kFileNotOpen);
    return recordCountOf(fd_);
}

void WorkingCopy::readRecord(int index, Record& buffer) const {
    if (!os::isOpen(fd_))
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
    writeAllAt(fd_, reinterpret_cast<const char*>(buffer.data()), kRecordSize, recordOffset(index));
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
    writeAllAt(fd_, reinterpret_cast<const char*>(bytes.data()), kRecordSize, recordOffset(index));
    if (loaded != loaded_.end())
        loaded->second = bytes;
    return true;
}

void WorkingCopy::appendRecords(const Record* records, std::size_t count) {
    const os::Offset end = recordOffset(recordCount());
    if (count == 0)
        return;
    if (!os::writeAt(fd_, records, count * kRecordSize, end) ||
        !os::truncate(fd_, end + static_cast<os::Offset>(count * kRecordSize))) {
        const int err = errno;
        (void)os::truncate(fd_, end); // no half record left behind
        throw ioErrorFromErrno(err);
    }
}

void WorkingCopy::flush() {
    if (os::isOpen(fd_) && !os::flush(fd_))
        throw ioErrorFromErrno(errno);
}

} // namespace zorv
