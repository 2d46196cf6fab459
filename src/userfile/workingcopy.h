#pragma once
// The working copy: every read and write of a record goes to a private copy of
// the user file; the user file itself is only replaced whole by a copy back.

#include "record.h"
#include "writerlock.h"

#include <sys/stat.h>

#include <cstddef>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace zorv {

enum class Answer { Yes, No, Cancel };

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
    // A question with buttons of its own; the index of the button chosen, or
    // the last button's when the box is closed without a choice.
    virtual int choose(const std::string& title, const std::string& text,
                       const std::vector<std::string>& buttons) = 0;
    // Title "Confirm", buttons Yes, No and Cancel (Escape: Cancel).
    virtual Answer confirmOrCancel(const std::string& text) {
        switch (choose("Confirm", text, {"Yes", "No", "Cancel"})) {
        case 0:
            return Answer::Yes;
        case 1:
            return Answer::No;
        default:
            return Answer::Cancel;
        }
    }
    // A passing note while something takes a while (the status bar, stderr);
    // "" when it is over.
    virtual void status(const std::string& text) { (void)text; }
};

// Which file a user file was when it was loaded: a save must find the same
// file, or the board may have renumbered its users.
struct FileIdentity {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    bool known = false;
    bool operator==(const FileIdentity&) const = default;
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
// dst's permissions (those of `modelForNew`, else src's, when dst does not
// exist). Throws IoError; dst is untouched on failure.
// Without `followLink` a link at dst is replaced itself, not the file it
// points to.
void replaceFileAtomically(const std::string& src, const std::string& dst,
                           const struct stat* modelForNew = nullptr, bool followLink = true);
// A copy of src at dst that is a new file whatever lay at dst (never a link
// followed or a planted file adopted), with model's mode (never wider) and
// group. Throws IoError; dst is untouched on failure.
void copyFilePrivately(const std::string& src, const std::string& dst, const struct stat& model);
// The same with the new content given as bytes.
void replaceFileWithBytes(const std::string& dst, std::string_view bytes);

// Temporary files of the replacements above are named kTempPrefix + the
// target's name + a random tail, and locked while written. Removes those
// beside `dst` whose lock can be taken (their writer died), nothing else.
inline constexpr const char* kTempPrefix = ".zorvedit-tmp-";
void removeStaleTemps(const std::string& dst);

// One such replacement written piece by piece: a locked temp beside the
// target (a link's target), with the target's permissions; commit() renames
// it over the target, and a replacement never committed leaves nothing.
class ReplacementFile {
  public:
    // `model`: the permissions for a target that does not exist yet (or is
    // no plain file). Without `adoptTarget` the name is never followed, and
    // the new file takes model's mode and group (takeModeAndGroup), or 0600
    // without a model. Without `followLink` a link at dst is not followed
    // either, but a plain file there still gives its owner and mode.
    explicit ReplacementFile(const std::string& dst, const struct stat* model = nullptr,
                             bool adoptTarget = true, bool followLink = true);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    int fd() const { return fd_; }
    const std::string& tempPath() const { return temp_; }
    void append(std::string_view bytes); // throws IoError, the temp then gone
    void commit();                       // throws IoError, the temp then gone
    // The same, handing over the file, still open and locked, to the caller.
    // OnlyIntoAFreeName fails (IoError) when anything lies at the name.
    enum class Commit { Replacing, OnlyIntoAFreeName };
    int commitKeepingLock(Commit how = Commit::Replacing);

  private:
    void discard() noexcept;
    std::string dst_;
    std::string temp_;
    int fd_ = -1;
    long long written_ = 0;
};

// Test seam: when set, called with the temp file's path after it is flushed and
// just before the rename (a test can crash the process there).
using ReplaceHook = void (*)(const std::string& tempPath);
void setReplaceHookForTesting(ReplaceHook hook);
// Test seam: called with a new temp file's path once it is created and locked,
// before its name is checked against the open file.
void setTempHookForTesting(ReplaceHook hook);

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
    // Puts back an operator's change a save could not write: `mine` in the
    // copy, `loaded` as what it was made from. Only existing records.
    void keepChange(int index, const Record& loaded, const Record& mine);

    // The user file's bytes for a record the operator has not changed (its
    // bytes equal its loaded bytes): written, and they become its loaded
    // bytes, so a save sees no change of the operator's there. False, and
    // nothing written, for a record the operator has changed.
    bool takeFileRecord(int index, const Record& bytes);
    // Whole records the user file gained, after the last whole record (bytes
    // of a partial one are dropped). Their loaded bytes are these.
    void appendRecords(const Record* records, std::size_t count);

    // The bytes, as loaded, of every record written since the last load: what
    // a save compares the user file with. A record written back to its loaded
    // bytes stays listed; the save sees it as unchanged.
    const std::map<int, Record>& loadedBytes() const { return loaded_; }
    // The user file the content was loaded from (unknown for an earlier
    // run's copy or when it is its own working copy).
    const FileIdentity& source() const { return source_; }
    // Its mode, owner and group as loaded; null when unknown.
    const struct stat* sourceStat() const { return source_.known ? &sourceStat_ : nullptr; }
    // Its name as loaded: the entry (absolute, see absolutePathOf), whether
    // that was a symbolic link, and the file it resolved to. Empty when unknown.
    struct SourceName {
        std::string entry;
        bool link = false;
        std::string target;
    };
    const SourceName& sourceName() const { return sourceName_; }

  private:
    std::string path_;
    int fd_ = -1;
    bool holdsCopy_ = false;
    std::map<int, Record> loaded_;
    FileIdentity source_;
    struct stat sourceStat_ {};
    SourceName sourceName_;
};

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

// "Save File": nothing unless changed; otherwise saveToUserFile (usersave.h),
// which reports its own failures and keeps the changed mark on them.
void saveUserFile(UserFileSession& s, Prompts& prompts);

// Copies the working copy over dst whole (replaceFileAtomically). The working
// copy stays open and locked, so no other editor can slip in between. A
// failure, or a working copy that holds no loaded file, shows "Unable to save
// userfile" with the cause and gives false; dst is then untouched. The changed
// mark is the caller's business.
// Without `followLink` a link at dst is replaced, not followed.
bool copyWorkingCopyTo(UserFileSession& s, const std::string& dst, Prompts& prompts,
                       bool followLink = true);

// The question at exit (Yes, No, Cancel); Yes saves with saveToUserFile.
// False for Cancel and when that save failed or was cancelled, so the caller
// can keep the program open.
bool copyBackOnExit(UserFileSession& s, Prompts& prompts);

} // namespace zorv
