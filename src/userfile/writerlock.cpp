#include "userfile/writerlock.h"

#include "userfile/privatefile.h"

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>

namespace zorv {

namespace {

std::string seconds(int ms) {
    const int n = (ms + 999) / 1000;
    return std::to_string(n) + (n == 1 ? " second" : " seconds");
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
    if (os::isOpen(fd_))
        os::close(fd_); // the lock goes with the descriptor
    fd_ = os::noHandle();
    taken_ = false;
}

// Opens the lock file, or makes it. Only a plain file of one name whose owner
// is us, root or the user file's owner is locked: anything else at the name
// was planted and is neither followed nor removed. flock needs no write
// access, so it is opened to read only.
std::optional<std::string> WriterLock::open(bool& retry) {
    retry = false;
    os::FileInfo lst;
    if (os::linkInfoOf(path_, lst)) {
        os::FileInfo owner;
        const bool ownerKnown = os::infoOf(userFile_, owner);
        const bool trusted =
            os::ownedByMe(lst) || lst.owner == 0 || (ownerKnown && lst.owner == owner.owner);
        if (lst.kind != os::Kind::Regular || lst.links != 1 || !trusted)
            return foreignObjectText(path_, lst, "the writers' lock");
        fd_ = os::open(path_, os::kRead | os::kNoFollow | os::kNoWait);
        os::FileInfo st;
        if (!os::isOpen(fd_)) {
            retry = errno == ENOENT || errno == ELOOP; // replaced between the look and the open
            if (retry)
                return std::nullopt;
            return "Cannot open the writers' lock " + path_ + ": " + os::errorText(errno) +
                   ". Everyone who writes " + userFile_ + " must be able to read it.";
        }
        if (!os::info(fd_, st) || !os::sameFile(st, lst)) {
            release();
            retry = true;
        }
        return std::nullopt;
    }
    if (errno != ENOENT)
        return "Cannot look at the writers' lock " + path_ + ": " + os::errorText(errno);
    fd_ = os::open(path_, os::kRead | os::kCreate | os::kExclusive | os::kNoFollow, 0600);
    if (!os::isOpen(fd_)) {
        const int err = errno;
        retry = err == EEXIST;
        // A folder this run may not write (or that is gone) holds no lock;
        // nothing better can be had, and the save says why it fails, if it does.
        if (retry || err == EACCES || err == EPERM || err == EROFS || err == ENOENT ||
            err == ENOTDIR)
            return std::nullopt;
        return "Cannot create the writers' lock " + path_ + ": " + os::errorText(err);
    }
    // Every run that may write the user file must be able to open it.
    os::FileInfo model;
    if (os::infoOf(userFile_, model)) {
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
        if (!os::isOpen(fd_)) {
            taken_ = true; // no lock can be had here
            return std::nullopt;
        }
        for (;;) {
            const os::Lock got = os::lockWriters(fd_);
            if (got == os::Lock::Held)
                break;
            const int err = errno;
            if (got == os::Lock::Unsupported) {
                os::close(fd_);
                fd_ = os::noHandle();
                taken_ = true;
                return std::nullopt;
            }
            if (got == os::Lock::Failed) {
                release();
                return "Cannot lock " + path_ + ": " + os::errorText(err);
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
        os::FileInfo a, b;
        if (os::info(fd_, a) && os::linkInfoOf(path_, b) && os::sameFile(a, b)) {
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
