#include "writerlock.h"

#include "privatefile.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace zorv {

namespace {

std::string seconds(int ms) {
    const int n = (ms + 999) / 1000;
    return std::to_string(n) + (n == 1 ? " second" : " seconds");
}

bool noLocksHere(int err) {
    return err == ENOLCK || err == EOPNOTSUPP || err == EINVAL;
}

} // namespace

std::string writerLockPathFor(const std::string& userFile) {
    return userFile + ".lock";
}

WriterLock::WriterLock(std::string userFile, Timing timing,
                       std::function<void(const std::string&)> waiting)
    : userFile_(std::move(userFile)), path_(writerLockPathFor(userFile_)), timing_(timing),
      waiting_(std::move(waiting)) {}

WriterLock::~WriterLock() {
    release();
}

void WriterLock::release() {
    if (fd_ >= 0)
        ::close(fd_); // the lock goes with the descriptor
    fd_ = -1;
    taken_ = false;
}

// Opens the lock file, or makes it. Only a plain file of one name whose owner
// is us, root or the user file's owner is locked: anything else at the name
// was planted and is neither followed nor removed. flock needs no write
// access, so it is opened to read only.
std::optional<std::string> WriterLock::open(bool& retry) {
    retry = false;
    struct stat lst {};
    if (::lstat(path_.c_str(), &lst) == 0) {
        struct stat owner {};
        const bool ownerKnown = ::stat(userFile_.c_str(), &owner) == 0;
        const bool trusted = lst.st_uid == ::geteuid() || lst.st_uid == 0 ||
                             (ownerKnown && lst.st_uid == owner.st_uid);
        if (!S_ISREG(lst.st_mode) || lst.st_nlink != 1 || !trusted)
            return foreignObjectText(path_, lst, "the writers' lock");
        fd_ = ::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        struct stat st {};
        if (fd_ < 0) {
            retry = errno == ENOENT || errno == ELOOP; // replaced between the look and the open
            if (retry)
                return std::nullopt;
            return "Cannot open the writers' lock " + path_ + ": " + std::strerror(errno) +
                   ". Everyone who writes " + userFile_ + " must be able to read it.";
        }
        if (::fstat(fd_, &st) != 0 || st.st_dev != lst.st_dev || st.st_ino != lst.st_ino) {
            release();
            retry = true;
        }
        return std::nullopt;
    }
    if (errno != ENOENT)
        return "Cannot look at the writers' lock " + path_ + ": " + std::strerror(errno);
    fd_ = ::open(path_.c_str(), O_RDONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd_ < 0) {
        const int err = errno;
        retry = err == EEXIST;
        // A folder this run may not write (or that is gone) holds no lock;
        // nothing better can be had, and the save says why it fails, if it does.
        if (retry || err == EACCES || err == EPERM || err == EROFS || err == ENOENT ||
            err == ENOTDIR)
            return std::nullopt;
        return "Cannot create the writers' lock " + path_ + ": " + std::strerror(err);
    }
    // Every run that may write the user file must be able to open it.
    struct stat model {};
    if (::stat(userFile_.c_str(), &model) == 0) {
        try {
            takeModeAndGroup(fd_, model);
        } catch (const std::exception&) {
            // Left 0600: only this user's runs can take it, which is no worse.
        }
    }
    return std::nullopt;
}

std::optional<std::string> WriterLock::take() {
    if (taken_)
        return std::nullopt;
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timing_.waitMs);
    bool told = false;
    for (int round = 0; round < 16; ++round) {
        bool retry = false;
        if (auto refused = open(retry))
            return refused;
        if (retry)
            continue;
        if (fd_ < 0) {
            taken_ = true; // no lock can be had here
            return std::nullopt;
        }
        for (;;) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0)
                break;
            const int err = errno;
            if (err == EINTR)
                continue;
            if (noLocksHere(err)) {
                ::close(fd_);
                fd_ = -1;
                taken_ = true;
                return std::nullopt;
            }
            if (err != EWOULDBLOCK) {
                release();
                return "Cannot lock " + path_ + ": " + std::strerror(err);
            }
            if (Clock::now() >= deadline) {
                release();
                if (told && waiting_)
                    waiting_("");
                return "Another run is writing " + userFile_ + " (it holds " + path_ +
                       ") and did not finish within " + seconds(timing_.waitMs) +
                       "; nothing was written. Try again when it is done.";
            }
            if (!told && waiting_)
                waiting_("Waiting for another run writing " + userFile_ + " to finish (at most " +
                         seconds(timing_.waitMs) + ")...");
            told = true;
            std::this_thread::sleep_for(std::chrono::milliseconds(timing_.pollMs));
        }
        // The name must still be the file locked: a lock on a file replaced
        // meanwhile keeps no one out.
        struct stat a {
        }, b{};
        if (::fstat(fd_, &a) == 0 && ::lstat(path_.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
            a.st_ino == b.st_ino) {
            taken_ = true;
            if (told && waiting_)
                waiting_("");
            return std::nullopt;
        }
        release();
    }
    return "The writers' lock " + path_ + " keeps being replaced; nothing was written.";
}

} // namespace zorv
