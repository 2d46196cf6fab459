#pragma once
// What the race trials share: one clock for every process, a seeded random
// source, the board's classic fcntl locks and writes, the saves' answers.

#include "userfile/prompts.h"
#include "userfile/record.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <new>
#include <string>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace trials {

inline std::int64_t nowNs() {
    timespec ts{};
    ::clock_gettime(CLOCK_MONOTONIC, &ts); // one clock for every process
    return static_cast<std::int64_t>(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

inline std::uint64_t mix(std::uint64_t z) {
    z += 0x9E3779B97F4A7C15ull;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

class Rng {
  public:
    explicit Rng(std::uint64_t seed) : s_(seed) {}
    std::uint64_t next() { return mix(s_++ * 0x2545F4914F6CDD1Dull); }
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }

  private:
    std::uint64_t s_;
};

// A classic (process-owned) lock, as a board written in another language
// takes; it excludes the save's open-file-description locks on the range.
inline bool lockRange(int fd, short type, off_t start, off_t len) {
    struct flock fl {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = start;
    fl.l_len = len;
    while (::fcntl(fd, F_SETLKW, &fl) != 0)
        if (errno != EINTR)
            return false;
    return true;
}

inline bool pwriteAll(int fd, const void* p, std::size_t n, off_t at) {
    const char* c = static_cast<const char*>(p);
    while (n > 0) {
        const ssize_t w = ::pwrite(fd, c, n, at);
        if (w <= 0)
            return false;
        c += w;
        n -= static_cast<std::size_t>(w);
        at += w;
    }
    return true;
}

// A T in memory that processes forked after this share, value-initialised;
// nullptr when there is no such memory.
template <class T> T* sharedWithChildren() {
    void* p = ::mmap(nullptr, sizeof(T), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    return p == MAP_FAILED ? nullptr : new (p) T{};
}

// The board's descriptor on the user file, and the users it holds. A board
// that cannot open it ends (exit 3).
inline int openForBoard(const std::string& path, int& users) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0)
        ::_exit(3);
    users = static_cast<int>(st.st_size / static_cast<off_t>(zorv::kRecordSize));
    return fd;
}

// Every whole record of the file at `path` now, read in large pieces.
inline std::vector<zorv::Record> readAll(const std::string& path) {
    std::vector<zorv::Record> all;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return all;
    std::vector<char> piece(1024 * zorv::kRecordSize);
    std::size_t have = 0;
    for (off_t at = 0;;) {
        const ssize_t n = ::pread(fd, piece.data() + have, piece.size() - have, at);
        if (n <= 0)
            break;
        at += n;
        have += static_cast<std::size_t>(n);
        std::size_t used = 0;
        for (; have - used >= zorv::kRecordSize; used += zorv::kRecordSize) {
            all.emplace_back();
            std::memcpy(all.back().data(), piece.data() + used, zorv::kRecordSize);
        }
        std::memmove(piece.data(), piece.data() + used, have - used);
        have -= used;
    }
    ::close(fd);
    return all;
}

// "Keep the board's" where a question offers it, else "Cancel" (never the
// whole-file overwrite): whatever the board wrote last must stay.
class BoardAnswers : public zorv::Prompts {
  public:
    int questions = 0;
    int overwrites = 0;
    std::string said;
    void message(const std::string&, const std::string& text) override { said += text + "|"; }
    void warning(const std::string& text) override { said += text + "|"; }
    bool confirm(const std::string&) override { return false; }
    int choose(const std::string&, const std::string& text,
               const std::vector<std::string>& buttons) override {
        ++questions;
        int cancel = static_cast<int>(buttons.size()) - 1;
        for (std::size_t i = 0; i < buttons.size(); ++i) {
            if (buttons[i] == "Keep the board's")
                return static_cast<int>(i);
            if (buttons[i] == "Cancel")
                cancel = static_cast<int>(i);
            if (buttons[i] == "Overwrite")
                ++overwrites;
        }
        said += text + "|";
        return cancel;
    }
};

} // namespace trials
