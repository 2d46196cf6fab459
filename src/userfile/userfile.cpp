#include "userfile/userfile.h"

#include "userfile/errors.h"
#include "userfile/recordio.h"
#include "userfile/replacement.h"

#include <cerrno>
#include <cstdio>
#include <utility>

namespace zorv {

namespace {

// Opened read only: a reader never locks or changes the file.
class ReadOnlyFile {
  public:
    explicit ReadOnlyFile(const std::string& path) : fd_(openRegularFile(path)) {}
    ~ReadOnlyFile() { os::close(fd_); }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    int count() const { return recordCountOf(fd_); }
    void read(int index, Record& r) const { readRecordOf(fd_, index, r); }

  private:
    os::Handle fd_;
};

} // namespace

int countRecords(const std::string& path) {
    return ReadOnlyFile(path).count();
}

Record readRecordAt(const std::string& path, int index) {
    Record r{};
    ReadOnlyFile(path).read(index, r);
    return r;
}

std::vector<Record> readAllRecords(const std::string& path) {
    ReadOnlyFile f(path);
    std::vector<Record> all(static_cast<std::size_t>(f.count()));
    for (std::size_t i = 0; i < all.size(); ++i)
        f.read(static_cast<int>(i), all[i]);
    return all;
}

void writeFileAtomically(const std::string& path, std::string_view bytes) {
    replaceFileWithBytes(path, bytes);
}

AtomicFileWriter::AtomicFileWriter(std::string path)
    : file_(std::make_unique<ReplacementFile>(path)) {
    buffer_.reserve(kBufferSize);
}

AtomicFileWriter::~AtomicFileWriter() = default;

void AtomicFileWriter::write(std::string_view bytes) {
    if (!file_)
        throw IoError(kFileNotOpen);
    if (buffer_.size() + bytes.size() > kBufferSize)
        flushBuffer();
    if (bytes.size() >= kBufferSize)
        appendOrDrop(bytes);
    else
        buffer_.append(bytes);
}

void AtomicFileWriter::commit() {
    if (!file_)
        throw IoError(kFileNotOpen);
    flushBuffer();
    auto file = std::move(file_);
    file->commit();
}

void AtomicFileWriter::sync() {
    if (!file_)
        throw IoError(kFileNotOpen);
    flushBuffer();
    if (!os::flush(file_->fd())) {
        const IoError e = ioErrorFromErrno(errno);
        const std::string temp = file_->tempPath();
        file_.reset();
        throw IoError(e.code(), std::string(e.what()) + " writing " + temp);
    }
}

void AtomicFileWriter::flushBuffer() {
    appendOrDrop(buffer_);
    buffer_.clear();
}

void AtomicFileWriter::appendOrDrop(std::string_view bytes) {
    try {
        file_->append(bytes);
    } catch (...) {
        file_.reset();
        throw;
    }
}

void writeUserFile(const std::string& path, const std::vector<Record>& records) {
    std::string bytes;
    bytes.reserve(records.size() * kRecordSize);
    for (const auto& r : records)
        bytes.append(reinterpret_cast<const char*>(r.data()), r.size());
    writeFileAtomically(path, bytes);
}

} // namespace zorv
