#pragma once
// Save File: the operator's changed records written into a user file that a
// running board keeps writing, merged with what the board wrote meanwhile.
// A journal beside the working copy makes the writes all or nothing; backups
// keep the file as it was before the run's first write.

#include "userfile/usersession.h"

namespace zorv {

enum class SaveOutcome {
    Saved,     // written (or nothing needed writing); the working copy is refreshed
    Partial,   // written but for the users the closing message names: they stay
               // changed in the working copy and the changed mark stays
    Cancelled, // the operator cancelled a question: nothing written
    Failed,    // reported ("Unable to save userfile" and why): nothing written
};

// What one save did with the users the operator changed, for the note the
// window shows afterwards.
struct SaveReport {
    int changed = 0;    // users that differ from what was loaded
    int written = 0;    // of them, written into the file
    int notSaved = 0;   // left changed in the working copy (Partial)
    bool whole = false; // the whole file was written (it was replaced, cut or gone)
    // Those the board already holds as they are to be: nothing to write.
    int kept() const { return changed - written - notSaved; }
};

// The one save behind "Save File", Yes at exit and Yes at "Save old user
// file?". With refresh, the working copy is reloaded from the user file
// afterwards, so the editor shows the board's changes too; record
// currentIndex (clamped) is then in recordBuffer. The changed mark is cleared
// only on Saved.
SaveOutcome saveToUserFile(UserFileSession& s, Prompts& prompts, bool refresh = true,
                           SaveReport* report = nullptr);

// The question at exit (Yes, No, Cancel); Yes saves with saveToUserFile.
// False for Cancel and when that save failed or was cancelled, so the caller
// can keep the program open.
bool copyBackOnExit(UserFileSession& s, Prompts& prompts);

} // namespace zorv
