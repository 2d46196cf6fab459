#pragma once
// Saving into a user file that a running board keeps writing: only the records
// the operator changed are written, in place, each checked against what the
// board may have written meanwhile. A journal beside the working copy makes
// the writes all or nothing; backups keep the file as it was before the run's
// first write.

#include "workingcopy.h"

#include <string>
#include <vector>

namespace zorv {

enum class SaveOutcome {
    Saved,     // written (or nothing needed writing); the working copy is refreshed
    Partial,   // written but for the users the closing message names: they stay
               // changed in the working copy and the changed mark stays
    Cancelled, // the operator cancelled a question: nothing written
    Failed,    // reported ("Unable to save userfile" and why): nothing written
};

// The one save behind "Save File", Yes at exit and Yes at "Save old user
// file?". With refresh, the working copy is reloaded from the user file
// afterwards, so the editor shows the board's changes too; record
// currentIndex (clamped) is then in recordBuffer. The changed mark is cleared
// only on Saved.
SaveOutcome saveToUserFile(UserFileSession& s, Prompts& prompts, bool refresh = true);

// A failure with the operator's explanation: what failed, where, and why.
struct SaveFailure {
    std::string why;
};

// One record to write in place: `now`, only while the file still holds `old`.
struct RecordWrite {
    int index = 0;
    Record old{};
    Record now{};
};

// The writes of one save into an open user file. Each record is written under
// its lock (waiting at most two seconds), only while the file still holds the
// bytes the decision was made on; the journal on disk always lists every write
// that may happen before it does. Failures throw SaveFailure with what was
// written taken back.
class RecordWriter {
  public:
    RecordWriter(int fd, const FileIdentity& file, std::string path, std::string journalPath);
    ~RecordWriter();
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    struct Pass {
        std::vector<RecordWrite> moved;  // `old`: what the file holds now
        std::vector<RecordWrite> locked; // held by another writer too long
        bool shortened = false;          // the file no longer covers a record
        bool replaced = false;           // the path names another file now
    };
    // Journals `plan`, writes it record by record, flushes.
    Pass write(const std::vector<RecordWrite>& plan);
    // Puts back what was written where the file still holds it; the journal
    // goes unless that failed.
    void rollBack();
    // Done: the journal goes.
    void finish();
    bool wroteAny() const { return !written_.empty(); }

  private:
    int fd_;
    FileIdentity file_;
    std::string path_;
    std::string journalPath_;
    int lock_ = -1;
    std::vector<RecordWrite> entries_;
    std::vector<RecordWrite> written_;
    bool first_ = true;
};

// Whether `path` still names the file open on `fd`.
bool pathNamesFile(const std::string& path, int fd);

// Where a save keeps its journal: beside the working copy.
std::string journalPathFor(const std::string& workingCopyPath);
// Where zorvtool's writing commands keep theirs: beside the user file, where
// the editor and every such command look for it before they write.
std::string toolJournalPathFor(const std::string& userFile);
// Where keepBackup puts NAME.bak.
std::string backupPathFor(const std::string& path, const std::string& fallbackDir);

// Undoes what an interrupted save wrote, from the journal it left (see the
// .cpp for the rules). Tells the operator once; false when there was nothing
// to undo. A journal that cannot be applied now (the user file unreadable) is
// kept for the next try and reported.
bool rollBackInterruptedSave(const std::string& journalPath, Prompts& prompts);

// Removes what savers killed mid-write left of whole-file copies: the temp
// files beside the user file, beside its backup (there or in backupDir) and
// beside the journal.
void removeSaveLeftovers(const std::string& userFile, const std::string& backupDir,
                         const std::string& journalPath = {});

// Keeps the file as it is now as NAME.bak, older ones shifted to NAME.bak.2 ..
// NAME.bak.<count>, beside it or, when its folder is not writable, in
// fallbackDir. Nothing for count <= 0. Throws IoError.
void keepBackup(const std::string& path, int count, const std::string& fallbackDir);

// Test seam: called at each step of a save (a test can kill the process there).
enum class SaveStep {
    JournalWritten, // on disk, before the first record is written
    RecordChecked,  // a record read again under its lock, before it is written or not
    RecordWritten,  // after each record (record = its index)
    RecordsFlushed, // all records on disk, the journal still there
};
using SaveHook = void (*)(SaveStep step, int record);
void setSaveHookForTesting(SaveHook hook);

} // namespace zorv
