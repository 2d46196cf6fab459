#include "userfile/blockreader.h"

#include "userfile/errors.h"
#include "userfile/recordio.h"
#include "userfile/workingcopy.h"

#include <algorithm>
#include <cerrno>
#include <string>

namespace zorv {

static_assert(sizeof(Record) == kRecordSize, "records are read back to back into one buffer");

BlockReader::BlockReader(os::Handle fd, int blockRecords)
    : fd_(fd), blockRecords_(std::max(1, blockRecords)) {
    count_ = recordCountOf(fd_);
}

BlockReader::BlockReader(const WorkingCopy& wc, int blockRecords)
    : fd_(wc.descriptor()), blockRecords_(std::max(1, blockRecords)) {
    if (!os::isOpen(fd_))
        throw IoError(kFileNotOpen);
    count_ = recordCountOf(fd_);
}

BlockReader::BlockReader(const std::string& path, int blockRecords)
    : fd_(openRegularFile(path)), ownsFd_(true), blockRecords_(std::max(1, blockRecords)) {
    try {
        count_ = recordCountOf(fd_);
    } catch (...) {
        os::close(fd_);
        throw;
    }
}

BlockReader::~BlockReader() {
    if (ownsFd_)
        os::close(fd_);
}

const Record* BlockReader::next() {
    for (;;) {
        if (next_ >= count_)
            return nullptr;
        if (next_ >= blockStart_ + blockCount_)
            fill();
        const auto at = static_cast<std::size_t>(next_ - blockStart_);
        ++next_;
        if (!refused_[at])
            return &buffer_[at];
        if (!skipLocked_)
            throw IoError(kErrnoBase + EAGAIN, "Cannot read user " + std::to_string(next_ - 1) +
                                                   ": another program keeps its record locked");
        skipped_.push_back(next_ - 1);
    }
}

void BlockReader::seek(int index) {
    next_ = std::clamp(index, 0, count_);
    blockStart_ = next_;
    blockCount_ = 0;
}

void BlockReader::fill() {
    const int n = std::min(blockRecords_, count_ - next_);
    if (buffer_.size() < static_cast<std::size_t>(n))
        buffer_.resize(static_cast<std::size_t>(n));
    const std::size_t want = static_cast<std::size_t>(n) * kRecordSize;
    const long long got = readRecordsPastLocks(fd_, buffer_.data(), next_, n, refused_);
    if (got < 0)
        throw ioErrorFromErrno(errno);
    if (static_cast<std::size_t>(got) < want)
        throw IoError(kReadBeyondEnd); // the file shrank under us
    blockStart_ = next_;
    blockCount_ = n;
}

} // namespace zorv
