#pragma once
// Saving into a user file that a running board keeps writing: only the records
// the operator changed are written, in place, each checked against what the
// board may have written meanwhile. A journal beside the working copy makes
// the writes all or nothing; backups keep the file as it was before the run's
// first write.

#include "workingcopy.h"

#include <string>

namespace zorv {

enum class SaveOutcome {
    Saved,     // written (or nothing needed writing); the working copy is refreshed
    Partial,   // written but for the users the closing message names; they stay changed
    Cancelled, // the operator cancelled a question: nothing written
    Failed,    // reported ("Unable to save userfile" and why): nothing written
};

// The one save behind "Save File", Yes at exit and Yes at "Save old user
// file?". With refresh, the working copy is reloaded from the user file
// afterwards, so the editor shows the board's changes too; record
// currentIndex (clamped) is then in recordBuffer. The changed mark is cleared
// only on Saved.
SaveOutcome saveToUserFile(UserFileSession& s, Prompts& prompts, bool refresh = true);

// Where a save keeps its journal: beside the working copy.
std::string journalPathFor(const std::string& workingCopyPath);

// Undoes what an interrupted save wrote, from the journal it left (see the
// .cpp for the rules). Tells the operator once; false when there was nothing
// to undo. A journal that cannot be applied now (the user file unreadable) is
// kept for the next try and reported.
bool rollBackInterruptedSave(const std::string& journalPath, Prompts& prompts);

// Removes what savers killed mid-write left of whole-file copies: the temp
// files beside the user file and beside its backup (there or in backupDir).
void removeSaveLeftovers(const std::string& userFile, const std::string& backupDir);

// Keeps the file as it is now as NAME.bak, older ones shifted to NAME.bak.2 ..
// NAME.bak.<count>, beside it or, when its folder is not writable, in
// fallbackDir. Nothing for count <= 0. Throws IoError.
void keepBackup(const std::string& path, int count, const std::string& fallbackDir);

// Test seam: called at each step of a save (a test can kill the process there).
enum class SaveStep {
    JournalWritten, // on disk, before the first record is written
    RecordChecked,  // a record read again under its lock, before it is written or left
    RecordWritten,  // after each record (record = its index)
    RecordsFlushed, // all records on disk, the journal still there
};
using SaveHook = void (*)(SaveStep step, int record);
void setSaveHookForTesting(SaveHook hook);

} // namespace zorv
