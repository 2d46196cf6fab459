#pragma once
// Byte-range locks on one record of a user file, held by the open file
// description (not the process), so two descriptors in one program never
// share them. A board or tool that locks the records it writes can then never
// interleave with a compare-and-write of ours.

#include "os/file.h"

namespace zorv {

class RecordLock {
  public:
    // Tries for at most `waitMs` (there is no bounded blocking wait). `write`
    // takes an exclusive lock, otherwise a shared one. File systems that do
    // not lock count as locked: nothing better can be had there.
    RecordLock(os::Handle fd, int index, bool write, int waitMs);
    ~RecordLock();
    RecordLock(const RecordLock&) = delete;
    RecordLock& operator=(const RecordLock&) = delete;
    bool held() const { return held_; }

  private:
    os::Handle fd_;
    os::Offset start_;
    bool held_ = false;
    bool locked_ = false;
};

// How long a save waits for a record the board holds (an online caller's).
inline constexpr int kRecordLockWaitMs = 2000;

// The wait that the save and its roll-back use: kRecordLockWaitMs unless a
// test set a shorter one, so that its held locks cost no seconds.
int recordLockWaitMs();
void setRecordLockWaitForTesting(int ms);

} // namespace zorv
