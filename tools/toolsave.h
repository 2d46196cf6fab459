#pragma once
// The writing commands' save: the editor's compare-and-write per record under
// the record lock, with the journal beside the user file and the editor's
// backups, but no one to ask: a record the board wrote meanwhile is read again
// and the change applied again once.

#include "userfile/fileidentity.h"
#include "userfile/record.h"
#include "userfile/writerlock.h"

#include <functional>
#include <iosfwd>
#include <map>
#include <string>
#include <vector>

namespace zorvtool {

// Exit codes of the writing commands.
inline constexpr int kWritten = 0;
inline constexpr int kFailed = 2;  // usage or I/O error: nothing written
inline constexpr int kClashed = 3; // some users could not be settled

// Changes user `index`'s record in memory (or leaves it as it is).
using RecordChange = std::function<void(int index, zorv::Record&)>;

// Users picked in a read of the file before the save: the file that read
// was of, and each picked user's name (its kName bytes) as read there. A purge
// may rename a renumbered file in between, or move users within it.
struct PickedUsers {
    zorv::FileIdentity file;
    std::map<int, std::string> names;
};
// A record's kName bytes, its NUL and what follows included.
std::string nameBytes(const zorv::Record& r);
// The file open on fd. Throws IoError.
zorv::FileIdentity identityOf(zorv::os::Handle fd);

// Applies `change` to each of `users` and writes those that change. Messages
// go to err prefixed "zorvtool CMD: ". With `picked`, a file other than the
// one they were picked from gets nothing (kFailed), and a user whose name is
// no longer the picked one is left out and named (kClashed).
int saveUserChanges(const std::string& file, const std::vector<int>& users,
                    const RecordChange& change, const std::string& cmd, std::ostream& err,
                    const PickedUsers* picked = nullptr);

// Undoes what a killed writing command left, as every writing command does
// first, under the writers' lock (so it waits for a run still writing).
// False (reported) when a journal is left that cannot be undone now, or
// something else lies at its name.
bool recoverBeforeWriting(const std::string& file, const std::string& cmd, std::ostream& err);

// Test seam: how long the writing commands wait for another writing run.
void setWriterLockTimingForTesting(zorv::WriterLock::Timing timing);

} // namespace zorvtool
