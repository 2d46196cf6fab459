#include "userfile.h"

#include "errors.h"
#include "workingcopy.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zorv {

namespace {

class ReadOnlyFile {
  public:
    explicit ReadOnlyFile(const std::string& path)
        : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC)) {
        if (fd_ < 0)
            throw ioErrorFromErrno(errno);
    }
    ~ReadOnlyFile() { ::close(fd_); }
    ReadOnlyFile(const ReadOnlyFile&) = delete;
    ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

    int count() const {
        struct stat st {};
        if (::fstat(fd_, &st) != 0)
            throw ioErrorFromErrno(errno);
        if (S_ISDIR(st.st_mode))
            throw IoError(kFileAccessDenied);
        const long long n =
            static_cast<long long>(st.st_size) / static_cast<long long>(kRecordSize);
        return n > INT_MAX ? INT_MAX : static_cast<int>(n);
    }

    void read(int index, Record& r) const {
        std::size_t done = 0;
        const off_t base = static_cast<off_t>(index) * static_cast<off_t>(kRecordSize);
        while (done < kRecordSize) {
            const ssize_t n =
                ::pread(fd_, r.data() + done, kRecordSize - done, base + static_cast<off_t>(done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                throw ioErrorFromErrno(errno);
            if (n == 0)
                throw IoError(kReadBeyondEnd);
            done += static_cast<std::size_t>(n);
        }
    }

  private:
    int fd_;
};

} // namespace

int countRecords(const std::string& path) {
    return ReadOnlyFile(path).count();
}

Record readRecordAt(const std::string& path, int index) {
    ReadOnlyFile f(path);
    if (index < 0 || index >= f.count())
        throw IoError(kReadBeyondEnd);
    Record r{};
    f.read(index, r);
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
    // Written beside the target under a name of its own ("x": never an existing
    // file), then moved over it whole.
    const std::string temp = path + ".new." + std::to_string(::getpid());
    {
        std::FILE* f = std::fopen(temp.c_str(), "wbx");
        if (!f)
            throw ioErrorFromErrno(errno);
        int err = 0;
        if (std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())
            err = errno ? errno : ENOSPC;
        if (std::fclose(f) != 0 && err == 0)
            err = errno ? errno : ENOSPC;
        if (err != 0) {
            std::remove(temp.c_str());
            throw ioErrorFromErrno(err);
        }
    }
    try {
        replaceFileAtomically(temp, path);
    } catch (...) {
        std::remove(temp.c_str());
        throw;
    }
    std::remove(temp.c_str());
}

void writeUserFile(const std::string& path, const std::vector<Record>& records) {
    std::string bytes;
    bytes.reserve(records.size() * kRecordSize);
    for (const auto& r : records)
        bytes.append(reinterpret_cast<const char*>(r.data()), r.size());
    writeFileAtomically(path, bytes);
}

} // namespace zorv
