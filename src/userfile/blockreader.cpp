#include "blockreader.h"

#include "errors.h"
#include "recordio.h"
#include "workingcopy.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace zorv {

static_assert(sizeof(Record) == kRecordSize, "records are read back to back into one buffer");

BlockReader::BlockReader(int fd, int blockRecords)
    : fd_(fd), blockRecords_(std::max(1, blockRecords)) {
    count_ = recordCountOf(fd_);
}

BlockReader::BlockReader(const WorkingCopy& wc, int blockRecords)
    : fd_(wc.descriptor()), blockRecords_(std::max(1, blockRecords)) {
    if (fd_ < 0)
        throw IoError(kFileNotOpen);
    count_ = recordCountOf(fd_);
}

BlockReader::BlockReader(const std::string& path, int blockRecords)
    : fd_(openRegularFile(path, O_RDONLY)), ownsFd_(true),
      blockRecords_(std::max(1, blockRecords)) {
    try {
        count_ = recordCountOf(fd_);
    } catch (...) {
        ::close(fd_);
        throw;
    }
}

BlockReader::~BlockReader() {
    if (ownsFd_)
        ::close(fd_);
}

const Record* BlockReader::next() {
    if (next_ >= count_)
        return nullptr;
    if (next_ >= blockStart_ + blockCount_)
        fill();
    const Record* r = &buffer_[static_cast<std::size_t>(next_ - blockStart_)];
    ++next_;
    return r;
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
    auto* out = reinterpret_cast<char*>(buffer_.data());
    const std::size_t want = static_cast<std::size_t>(n) * kRecordSize;
    const off_t base = static_cast<off_t>(next_) * static_cast<off_t>(kRecordSize);
    std::size_t done = 0;
    while (done < want) {
        const ssize_t got = ::pread(fd_, out + done, want - done, base + static_cast<off_t>(done));
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw ioErrorFromErrno(errno);
        }
        if (got == 0)
            throw IoError(kReadBeyondEnd); // the file shrank under us
        done += static_cast<std::size_t>(got);
    }
    blockStart_ = next_;
    blockCount_ = n;
}

} // namespace zorv
