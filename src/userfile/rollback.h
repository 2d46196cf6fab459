#pragma once
// Undoing what a save wrote: at once after a failure, or from the journal an
// interrupted save left.

#include "os/file.h"
#include "userfile/prompts.h"
#include "userfile/recordwrite.h"

#include <optional>
#include <string>
#include <vector>

namespace zorv {

// Puts the old bytes back where a record still holds ours (every byte its old
// or its new one). False (errno set) when a read or write failed; the journal
// must then stay. `pastEnd` counts the records the file no longer holds.
bool undoWrites(os::Handle fd, const std::vector<RecordWrite>& entries, int* pastEnd = nullptr);

// Undoes what an interrupted save wrote, from the journal it left (see the
// .cpp for the rules). The file is found by the device and inode the journal
// holds: at the absolute path it names, or at `userFile`, or beside a
// zorvtool journal. Tells the operator once; false when there was nothing to
// undo. A journal that cannot be applied now (the user file unreadable) is
// kept for the next try and reported; one whose file is gone is kept as
// NAME.unapplied-<date-time> (the newest five of those stay).
bool rollBackInterruptedSave(const std::string& journalPath, Prompts& prompts,
                             const std::string& userFile = {});

// Why a run may not write its journal at `journalPath` now: a foreign object
// there (named: path, kind, owner, what to do), another run's journal, or one
// left that could not be undone. Nothing when the name is free (a link there
// is removed). Call with the writers' lock held, after the rollback.
std::optional<std::string> journalNameTaken(const std::string& journalPath,
                                            const std::string& userFile);

} // namespace zorv
