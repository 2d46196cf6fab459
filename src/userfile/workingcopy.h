#pragma once
// The working copy: every read and write of a record goes to a private copy of
// the user file; the user file itself is only replaced whole by a copy back.

#include "record.h"

#include <cstddef>
#include <functional>
#include <string>

namespace zorv {

// The questions and messages of the user-file layer, answered by the windows
// (or by a script in tests).
class Prompts {
  public:
    virtual ~Prompts() = default;
    // A message box with a title, an OK button and no icon.
    virtual void message(const std::string& title, const std::string& text) = 0;
    // Title "Warning", button OK.
    virtual void warning(const std::string& text) = 0;
    // Title "Confirm", buttons Yes and No; true for Yes.
    virtual bool confirm(const std::string& text) = 0;
};

// The program's path with its three-letter extension replaced by "dat" (".dat"
// appended when it has none). When the program's folder is not writable, or the
// program is an installed one, the file of that name in fallbackDir (created
// when missing) is used instead.
std::string workingCopyPath(const std::string& programPath, const std::string& fallbackDir,
                            bool installed = false);

// True when the program runs from an install prefix (its desktop entry lies in
// ../share/applications): such a folder is shared by every user, and root may
// write it, so it is no place for one user's working copy.
bool installedProgram(const std::string& programPath);

// Replaces dst by a copy of src so that dst is, at every moment, either whole old
// or whole new: temp file in dst's folder, flushed, renamed over dst, keeping
// dst's permissions. Throws IoError; dst is untouched on failure.
void replaceFileAtomically(const std::string& src, const std::string& dst);

// Test seam: when set, called with the temp file's path after it is flushed and
// just before the rename (a test can crash the process there).
using ReplaceHook = void (*)(const std::string& tempPath);
void setReplaceHookForTesting(ReplaceHook hook);

// Whole records as a copy passes them: `count` records back to back. Lets a
// caller compute what it needs from the copy's own reads.
using RecordsSeen = std::function<void(const Record* records, std::size_t count)>;

class WorkingCopy {
  public:
    explicit WorkingCopy(std::string path = {});
    ~WorkingCopy();
    WorkingCopy(const WorkingCopy&) = delete;
    WorkingCopy& operator=(const WorkingCopy&) = delete;

    const std::string& path() const { return path_; }
    void setPath(std::string path); // only while closed

    // Replaces the working copy's content by a copy of `source` and opens it.
    // Refuses (IoError) when another running editor holds this working copy.
    // The copy goes into the locked file itself, so the lock keeps meaning
    // something; when the copy fails the file is left empty and closed.
    // `seen`, when given, gets every whole record of the copy once, in order
    // (a partial last record is left out); after a failure what it got means
    // nothing.
    void loadFrom(const std::string& source, const RecordsSeen& seen = {});
    // Read/write; held exclusively (flock) until close(). Other processes may
    // still read it. IoError "File access denied" with an explanation when
    // another editor holds it.
    void open();
    void close(); // no-op when closed
    bool isOpen() const { return fd_ >= 0; }
    // The open file for whole-file passes (BlockReader); -1 while closed.
    int descriptor() const { return fd_; }
    // True once a loadFrom() has succeeded, false again while one is under way
    // or after one failed: only then is the content a user file worth copying back.
    bool holdsCopy() const { return holdsCopy_; }

    // All three throw IoError 103 ("I/O error 103", file not open) while closed.
    int recordCount() const;
    // "Read beyond end of file" for an index outside 0..recordCount()-1.
    void readRecord(int index, Record& buffer) const;
    // Only existing records: "Read beyond end of file" otherwise, so the bytes
    // after the last whole record are never touched.
    void writeRecord(int index, const Record& buffer);
    void flush(); // data on disk before a copy back; no-op when closed

  private:
    std::string path_;
    int fd_ = -1;
    bool holdsCopy_ = false;
};

// The program-wide state of one editing session.
struct UserFileSession {
    std::string userFileName;
    WorkingCopy workingCopy;
    Record recordBuffer{};
    int currentIndex = 0;
    bool userFileChanged = false;
    int foundIndex = 0; // last hit of the searches
};

// Start-up load. False when the user file does not exist ("Finner ikke
// filen..." has been shown; the program ends). A failed copy throws IoError and
// leaves no stale working copy open. A user file without a whole record loads,
// then reading record 0 throws "Read beyond end of file" (the copy stays open).
// `seen` as for WorkingCopy::loadFrom.
bool loadUserFile(UserFileSession& s, Prompts& prompts, const RecordsSeen& seen = {});

// "Save File": nothing unless changed; a failed copy shows "Unable to save
// userfile" and keeps the changed mark. The working copy is open afterwards
// (it stays open and locked throughout) and record currentIndex is re-read.
void saveUserFile(UserFileSession& s, Prompts& prompts);

// Copies the working copy over dst. The working copy stays open and locked, so
// no other editor can slip in between. A failure, or a working copy that holds
// no loaded file, shows "Unable to save userfile" and gives false; dst is then
// untouched. The changed mark is the caller's business.
bool copyWorkingCopyTo(UserFileSession& s, const std::string& dst, Prompts& prompts);

// The question at exit. False when the copy on Yes failed (reported as
// "Unable to save userfile"), so the caller can keep the program open.
bool copyBackOnExit(UserFileSession& s, Prompts& prompts);

} // namespace zorv
