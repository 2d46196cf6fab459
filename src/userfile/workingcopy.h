#pragma once
// The working copy: every read and write of a record goes to a private copy of
// the user file; the user file itself is only replaced whole by a copy back.

#include "record.h"

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
// appended when it has none). When the program's folder is not writable, the
// file of that name in fallbackDir (created when missing) is used instead.
std::string workingCopyPath(const std::string& programPath, const std::string& fallbackDir);

// Replaces dst by a copy of src so that dst is, at every moment, either whole old
// or whole new: temp file in dst's folder, flushed, renamed over dst, keeping
// dst's permissions. Throws IoError; dst is untouched on failure.
void replaceFileAtomically(const std::string& src, const std::string& dst);

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
    void loadFrom(const std::string& source);
    void open();  // read/write; held exclusively until close()
    void close(); // no-op when closed
    bool isOpen() const { return fd_ >= 0; }

    int recordCount() const;
    void readRecord(int index, Record& buffer) const;
    void writeRecord(int index, const Record& buffer);
    void flush(); // data on disk before a copy back

private:
    std::string path_;
    int fd_ = -1;
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
// leaves no stale working copy open.
bool loadUserFile(UserFileSession& s, Prompts& prompts);

// "Save File": nothing unless changed; a failed copy shows "Unable to save
// userfile" and keeps the changed mark. The working copy is open afterwards.
void saveUserFile(UserFileSession& s, Prompts& prompts);

// The question at exit. False when the copy on Yes failed (reported as
// "Unable to save userfile"), so the caller can keep the program open.
bool copyBackOnExit(UserFileSession& s, Prompts& prompts);

} // namespace zorv
