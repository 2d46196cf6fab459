#include "userfile.h"

#include "errors.h"
#include "recordio.h"
#include "workingcopy.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace zorv {

namespace {

// Opened read only: a reader never locks or changes the file.
class ReadOnlyFile {
  public:
    explicit ReadOnlyFile(const std::string& path) : fd_(openRegularFile(path, O_RDONLY)) {}
    ~ReadOnlyFile() { ::close(fd_); }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    int count() const { return recordCountOf(fd_); }
    void read(int index, Record& r) const { readRecordOf(fd_, index, r); }

  private:
    int fd_;
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
    AtomicFileWriter out(path);
    out.write(bytes);
    out.commit();
}

AtomicFileWriter::AtomicFileWriter(std::string path)
    : path_(std::move(path)), temp_(path_ + ".new." + std::to_string(::getpid())) {
    // Written beside the target under a name of its own ("x": never an existing
    // file), then moved over it whole.
    file_ = std::fopen(temp_.c_str(), "wbx");
    if (!file_)
        throw ioErrorFromErrno(errno);
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 20);
}

AtomicFileWriter::~AtomicFileWriter() {
    discard();
}

void AtomicFileWriter::discard() {
    if (!file_)
        return;
    std::fclose(file_);
    file_ = nullptr;
    std::remove(temp_.c_str());
}

void AtomicFileWriter::write(std::string_view bytes) {
    if (!file_)
        throw IoError(kFileNotOpen);
    if (std::fwrite(bytes.data(), 1, bytes.size(), file_) != bytes.size()) {
        const int err = errno ? errno : ENOSPC;
        discard();
        throw ioErrorFromErrno(err);
    }
}

void AtomicFileWriter::commit() {
    if (!file_)
        throw IoError(kFileNotOpen);
    std::FILE* f = std::exchange(file_, nullptr);
    if (std::fclose(f) != 0) {
        const int err = errno ? errno : ENOSPC;
        std::remove(temp_.c_str());
        throw ioErrorFromErrno(err);
    }
    try {
        replaceFileAtomically(temp_, path_);
    } catch (...) {
        std::remove(temp_.c_str());
        throw;
    }
    std::remove(temp_.c_str());
}

void writeUserFile(const std::string& path, const std::vector<Record>& records) {
    std::string bytes;
    bytes.reserve(records.size() * kRecordSize);
    for (const auto& r : records)
        bytes.append(reinterpret_cast<const char*>(r.data()), r.size());
    writeFileAtomically(path, bytes);
}

} // namespace zorv
