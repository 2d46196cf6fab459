#pragma once
// One writing run per user file at a time, whichever program it is (the
// editor's Save File, every writing zorvtool command): an flock on
// "<user file>.lock". The lock file is never removed, so that every run locks
// the same inode; the board itself does not take it.

#include "os/file.h"

#include <functional>
#include <optional>
#include <string>

namespace zorv {

std::string writerLockPathFor(const std::string& userFile);

struct WriterLockTiming {
    int waitMs = 10000; // how long a run waits for the one before it
    int pollMs = 50;
};

class WriterLock {
  public:
    using Timing = WriterLockTiming;
    // `waiting` hears once per take() that another run holds the lock (the
    // editor's status bar, the tool's stderr), and "" once it is taken.
    explicit WriterLock(std::string userFile, Timing timing = {},
                        std::function<void(const std::string&)> waiting = {});
    ~WriterLock();
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;

    // Takes the lock, creating the lock file with the user file's mode and
    // group. Nothing when it is held (or no lock can be had where the folder
    // may not be written or the file system does not lock); otherwise why
    // not, and nothing may be written.
    std::optional<std::string> take();
    // Lets the next run in, before a question or at the end.
    void release();
    bool held() const { return taken_; }

  private:
    std::optional<std::string> open(bool& retry);
    std::string userFile_;
    std::string path_;
    Timing timing_;
    std::function<void(const std::string&)> waiting_;
    os::Handle fd_ = os::noHandle();
    bool taken_ = false;
};

} // namespace zorv
