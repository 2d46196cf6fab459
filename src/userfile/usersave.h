#pragma once
// Saving into a user file that a running board keeps writing: only the records
// the operator changed are written, in place, each checked against what the
// board may have written meanwhile. A journal beside the working copy makes
// the writes all or nothing; backups keep the file as it was before the run's
// first write.

#include "workingcopy.h"

#include <optional>
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
// that may happen before it does, and names the file by its absolute path, so
// that a recovery from any folder finds it. The board's purge takes no lock:
// a cut between a record's check and its write makes the write regrow the
// file over a gap of zeros, which is cut off again (see regrew()). Failures
// throw SaveFailure with what was written taken back.
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
    // Journals `plan`, writes it record by record, flushes. Nothing more is
    // written once the file is found shortened.
    Pass write(const std::vector<RecordWrite>& plan);
    // Puts back what was written where the file still holds it; the journal
    // goes unless that failed. Says what it did, in sentences that are true
    // ("" when nothing had been written).
    std::string rollBack();
    // Done: the journal goes (only the one this writer made).
    void finish();
    bool wroteAny() const { return !written_.empty(); }
    // How many users have been written (each counted once).
    int usersWritten() const;

  private:
    bool regrew(int index, bool userBefore, off_t sizeBefore);
    int fd_;
    FileIdentity file_;
    std::string path_;
    std::string absolutePath_;
    std::string journalPath_;
    int lock_ = -1; // the journal on disk, open and locked
    std::vector<RecordWrite> entries_;
    std::vector<RecordWrite> written_;
    bool first_ = true;
    // Users [zerosFrom, regrownUpTo) were a gap of zeros our write made.
    int zerosFrom_ = -1;
    int regrownUpTo_ = 0;
    bool cutBack_ = false;
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

// Removes what savers killed mid-write left of whole-file copies: the temp
// files beside the user file, beside its backup (there or in backupDir) and
// beside the journal and zorvtool's journal.
void removeSaveLeftovers(const std::string& userFile, const std::string& backupDir,
                         const std::string& journalPath = {});

// Keeps the file as it is now as NAME.bak, older ones shifted to NAME.bak.2 ..
// NAME.bak.<count>, beside it or, when its folder is not writable, in
// fallbackDir. Nothing for count <= 0. Only the slots from NAME.bak up to
// the first missing one move, so a large count costs no renames of its own.
// Throws IoError.
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
