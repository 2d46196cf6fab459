#pragma once
// The user file open in the editor, without a window: its working copy, the
// record shown, the figures of the "BBS Statistics" tab, Save User's and Save
// File's writes, the copy-back at exit and what the running board wrote
// meanwhile. The window decides when each happens and shows the outcome;
// every question goes through the Prompts it hands in.
//
// Read-only users (statistics, resume) take it as `const EditSession&`.

#include "editor/find.h"
#include "editor/totals.h"
#include "userfile/livefile.h"
#include "userfile/prompts.h"
#include "userfile/savefile.h"
#include "userfile/usersession.h"

#include <functional>
#include <string>
#include <vector>

namespace zorv {

// Whether `path` could be a user file: whole records, at least one. It is
// opened for reading and writing, as the editor will need it; one that cannot
// be opened raises the I/O error before anything changes.
bool looksLikeUserFile(const std::string& path);

// Users the board changed, as one apply took them.
struct BoardApplied {
    std::vector<int> changed; // took the board's bytes, in index order
    int appended = 0;         // users the file gained
    bool firstUsers = false;  // the copy held no user before
    bool totalsMoved = false;
    // The shown user took the board's bytes and is to be shown again; when
    // the operator's entries differ instead, boardChangedShown() is set.
    bool reshow = false;
    int count() const { return static_cast<int>(changed.size()) + appended; }
};

// A toggled status, kept so that a cancelled toggle can put it back.
struct StatusToggle {
    int index;
    unsigned was;
    unsigned now;
};

class EditSession {
  public:
    EditSession() = default;
    EditSession(const EditSession&) = delete;
    EditSession& operator=(const EditSession&) = delete;

    // ---- what any window may read
    const std::string& userFileName() const { return s_.userFileName; }
    const WorkingCopy& workingCopy() const { return s_.workingCopy; }
    // The record of the current user as last read (the record shown, or the
    // last one a search read).
    const Record& record() const { return s_.recordBuffer; }
    int currentIndex() const { return s_.currentIndex; }
    int foundIndex() const { return s_.foundIndex; }
    // Changes in the working copy that Save File has not copied back.
    bool changed() const { return s_.userFileChanged; }
    // True once the start-up has loaded a user file.
    bool loaded() const { return loaded_; }
    // The working copy is open but holds no record.
    bool noRecords() const;
    // The state as one struct, for the save's own functions, tests and
    // benchmarks that set a case up directly.
    UserFileSession& state() { return s_; }
    const UserFileSession& state() const { return s_; }

    // ---- the start-up, in this order
    void setUserFileName(std::string name) { s_.userFileName = std::move(name); }
    void setWorkingCopyPath(const std::string& path); // only while the copy is closed
    // Undoes a save this program or zorvtool did not finish.
    void rollBackInterruptedSaves(Prompts& prompts);
    // How many backups a save keeps and where they go when the user file's
    // folder is not writable.
    void setBackups(int count, const std::string& backupDir);
    void setFollowBoard(bool on) { followBoard_ = on; }
    // Removes what dead saves left, then loads the user file. False when it
    // does not exist (the message has been shown). An empty user file loads.
    bool load(Prompts& prompts);

    // ---- another user file
    // "Save old user file?" while the working copy holds changes: false when
    // the operator cancelled or the save did not succeed (stay with this file).
    bool saveBeforeOpening(Prompts& prompts);
    // Loads `path` in place of the file open now; the current index is kept
    // where the new file has it. A failed load throws and leaves nothing that
    // could be copied back.
    void open(const std::string& path);

    // ---- the current user
    // Reads user `index` into record() and makes it current.
    const Record& show(int index);
    void setCurrentIndex(int index) { s_.currentIndex = index; }
    void setFoundIndex(int index) { s_.foundIndex = index; }
    // The first user from `start` on that passes; record() then holds it.
    int findFrom(int start, const RecordTest& test);
    // The window shows record() now: the board's change to it is no longer
    // under the operator's entries. True when that was so.
    bool recordShown();

    // ---- Save User
    // The current user's record as the copy holds it, to fill the operator's
    // fields into; from here the file counts as changed.
    const Record& beginStore();
    // Writes it and moves the totals by its difference.
    void store(const Record& r);
    // Before the store, when the board changed the shown user under the
    // operator's entries: whether to store the entries that differ over the
    // board's record, show the board's record instead, or nothing (Cancel).
    enum class BoardChoice { NotAsked, KeepMine, KeepBoards, Cancel };
    BoardChoice settleBoardChange(Prompts& prompts);

    // ---- Save File and exit
    // Saves into the user file and reloads it; the figures are counted again.
    SaveOutcome saveFile(Prompts& prompts, SaveReport* report);
    // The question at exit; false to stay open (Cancel, or the save failed),
    // with the working copy open again.
    bool copyBackAtExit(Prompts& prompts);
    void closeCopy() { s_.workingCopy.close(); }

    // ---- Toggle Status: 0 <-> 2, other codes stay
    StatusToggle toggleStatus(int index);
    // Puts a toggled status back; false when the toggle changed nothing.
    bool undoToggle(const StatusToggle& t);
    void restoreChanged(bool changed) { s_.userFileChanged = changed; }

    // ---- the board's writes
    // Whether there is a file to follow: the setting allows it, the copy is
    // open, and the user file is not its own working copy.
    bool canFollow() const;
    bool followBoard() const { return followBoard_; }
    // Whether a result may be applied now as far as the file is concerned.
    bool canTakeBoardChanges() const { return loaded_ && s_.workingCopy.isOpen(); }
    // Applies one compare's result. `entriesDiffer` is asked only when the
    // shown user took the board's bytes: true keeps the operator's entries.
    BoardApplied applyBoardChanges(const LiveCompare& result,
                                   const std::function<bool()>& entriesDiffer);
    // Forgets the problem and the clashes until the next apply.
    void stopFollowing();
    // Why the file is not followed now; empty while it is.
    const std::string& liveProblem() const { return liveProblem_; }
    // Users that both the operator (stored) and the board changed.
    const std::vector<int>& changedByBoth() const { return changedByBoth_; }
    // The board changed the shown user while the operator's entries differ.
    bool boardChangedShown() const { return boardChangedShown_; }

    // ---- the figures of the "BBS Statistics" tab
    // Counted afresh when no running figures are known.
    const Totals& totals();
    // Counts them afresh now.
    const Totals& recountTotals();

  private:
    void loadedWith(const Totals& t);
    RecordsSeen totalsCollector(Totals& t);

    UserFileSession s_;
    bool loaded_ = false;
    bool followBoard_ = true;
    // The running figures; unknown when a write may have half happened.
    Totals totals_;
    bool totalsKnown_ = false;
    bool boardChangedShown_ = false;
    std::vector<int> changedByBoth_;
    std::string liveProblem_;
};

} // namespace zorv
