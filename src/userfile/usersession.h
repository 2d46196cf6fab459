#pragma once
// One editing session's user file: its name, the working copy and the record
// shown, loaded at start-up and copied back whole when asked.

#include "userfile/prompts.h"
#include "userfile/workingcopy.h"
#include "userfile/writerlock.h"

#include <set>
#include <string>

namespace zorv {

// The program-wide state of one editing session.
struct UserFileSession {
    std::string userFileName;
    WorkingCopy workingCopy;
    Record recordBuffer{};
    int currentIndex = 0;
    bool userFileChanged = false;
    int foundIndex = 0; // last hit of the searches

    // Saving: how many backups of the user file to keep (0: none), where they
    // go when its folder is not writable, and the user files already backed
    // up in this run.
    int backups = 3;
    std::string backupDir;
    std::set<std::string> backedUp;
    // How long a save waits for another writing run (writerlock.h).
    WriterLock::Timing writerLockTiming;
};

// Start-up load. False when the user file does not exist ("Finner ikke
// filen..." has been shown; the program ends). A failed copy throws IoError and
// leaves no stale working copy open. A user file without a whole record loads,
// then reading record 0 throws "Read beyond end of file" (the copy stays open).
// `seen` as for WorkingCopy::loadFrom.
bool loadUserFile(UserFileSession& s, Prompts& prompts, const RecordsSeen& seen = {});

// Copies the working copy over dst whole (replaceFileAtomically). The working
// copy stays open and locked, so no other editor can slip in between. A
// failure, or a working copy that holds no loaded file, shows "Unable to save
// userfile" with the cause and gives false; dst is then untouched. The changed
// mark is the caller's business.
// Without `followLink` a link at dst is replaced, not followed.
bool copyWorkingCopyTo(UserFileSession& s, const std::string& dst, Prompts& prompts,
                       bool followLink = true);

} // namespace zorv
