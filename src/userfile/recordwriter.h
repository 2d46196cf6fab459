#pragma once
// The writes of one save into a user file a running board keeps writing:
// each record under its lock, only while the file still holds the bytes the
// decision was made on, listed in the journal before it is written.

#include "os/file.h"
#include "userfile/fileidentity.h"
#include "userfile/recordwrite.h"

#include <string>
#include <vector>

namespace zorv {

// A failure with the operator's explanation: what failed, where, and why.
struct SaveFailure {
    std::string why;
};

// SaveFailure "<what> <path>: <reason of err>".
[[noreturn]] void failSaving(const std::string& what, const std::string& path, int err);

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
    RecordWriter(os::Handle fd, const FileIdentity& file, std::string path,
                 std::string journalPath);
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
    bool regrew(int index, bool userBefore, os::Offset sizeBefore);
    os::Handle fd_;
    FileIdentity file_;
    std::string path_;
    std::string absolutePath_;
    std::string journalPath_;
    os::Handle lock_ = os::noHandle(); // the journal on disk, open and locked
    std::vector<RecordWrite> entries_;
    std::vector<RecordWrite> written_;
    bool first_ = true;
    // Users [zerosFrom, regrownUpTo) were a gap of zeros our write made.
    int zerosFrom_ = -1;
    int regrownUpTo_ = 0;
    bool cutBack_ = false;
};

// Whether `path` still names the file open on `fd`.
bool pathNamesFile(const std::string& path, os::Handle fd);

// Test seam: called at each step of a save (a test can kill the process there).
enum class SaveStep {
    JournalWritten, // on disk, before the first record is written
    RecordChecked,  // a record read again under its lock, before it is written or not
    RecordWritten,  // after each record (record = its index)
    RecordsFlushed, // all records on disk, the journal still there
};
using SaveHook = void (*)(SaveStep step, int record);
void setSaveHookForTesting(SaveHook hook);

// Calls the hook, when one is set.
void reportSaveStep(SaveStep step, int record = -1);

} // namespace zorv
