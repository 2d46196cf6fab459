#include "userfile/usersession.h"

#include "userfile/errors.h"
#include "userfile/replacement.h"

#include "os/file.h"

namespace zorv {

static bool fileExists(const std::string& path) {
    os::FileInfo st;
    return !path.empty() && os::infoOf(path, st) && st.kind != os::Kind::Folder;
}

bool loadUserFile(UserFileSession& s, Prompts& prompts, const RecordsSeen& seen) {
    s.currentIndex = 0;
    if (!fileExists(s.userFileName)) {
        os::FileInfo st;
        if (!s.userFileName.empty() && os::infoOf(s.userFileName, st))
            prompts.message("Error", "Finner ikke filen...\n" + s.userFileName +
                                         " is a folder, not a user file.");
        else
            prompts.message("Error", "Finner ikke filen...");
        return false;
    }
    // A failed copy throws before anything is open: the copy of an earlier run
    // is never edited in place of the user file.
    try {
        s.workingCopy.loadFrom(s.userFileName, seen);
    } catch (const IoError& e) {
        // A plain "File access denied" keeps its text; one that says what was
        // in the way also says what that cost.
        if (e.code() != kFileAccessDenied || e.what() == ioErrorText(kFileAccessDenied))
            throw;
        throw IoError(e.code(), std::string(e.what()) + ". No user file was loaded");
    }
    s.userFileChanged = false;
    s.workingCopy.readRecord(s.currentIndex, s.recordBuffer);
    return true;
}

bool copyWorkingCopyTo(UserFileSession& s, const std::string& dst, Prompts& prompts,
                       bool followLink) {
    // After a failed load the working copy is empty: copying it back would
    // wipe the user file.
    if (!s.workingCopy.holdsCopy()) {
        prompts.warning("Unable to save userfile\nThe working copy holds no loaded user file.");
        return false;
    }
    try {
        s.workingCopy.flush();
        // A user file deleted meanwhile comes back as it was, not as the
        // private working copy is.
        replaceFileAtomically(s.workingCopy.path(), dst, s.workingCopy.sourceStat(), followLink);
    } catch (const IoError& e) {
        prompts.warning("Unable to save userfile\n" + std::string(e.what()) + ": " + dst);
        return false;
    }
    return true;
}

} // namespace zorv
