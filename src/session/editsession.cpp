#include "session/editsession.h"

#include "userfile/errors.h"
#include "userfile/journalfile.h"
#include "userfile/leftovers.h"
#include "userfile/rollback.h"

#include "os/file.h"

#include <cerrno>

namespace zorv {

bool looksLikeUserFile(const std::string& path) {
    const os::Handle h = os::open(path, os::kReadWrite);
    if (!os::isOpen(h))
        throw ioErrorFromErrno(errno);
    os::FileInfo st;
    const bool ok = os::info(h, st);
    const int err = errno;
    os::close(h);
    if (!ok)
        throw ioErrorFromErrno(err);
    const auto record = static_cast<long long>(kRecordSize);
    return st.size >= record && st.size % record == 0;
}

bool EditSession::noRecords() const {
    return s_.workingCopy.isOpen() && s_.workingCopy.recordCount() == 0;
}

void EditSession::setWorkingCopyPath(const std::string& path) {
    if (!s_.workingCopy.isOpen())
        s_.workingCopy.setPath(path);
}

void EditSession::rollBackInterruptedSaves(Prompts& prompts) {
    rollBackInterruptedSave(journalPathFor(s_.workingCopy.path()), prompts, s_.userFileName);
    rollBackInterruptedSave(toolJournalPathFor(s_.userFileName), prompts, s_.userFileName);
}

void EditSession::setBackups(int count, const std::string& backupDir) {
    s_.backups = count;
    s_.backupDir = backupDir;
}

RecordsSeen EditSession::totalsCollector(Totals& t) {
    return [&t](const Record* records, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            addToTotals(t, records[i]);
    };
}

void EditSession::loadedWith(const Totals& t) {
    totals_ = t;
    totalsKnown_ = true;
}

bool EditSession::load(Prompts& prompts) {
    removeSaveLeftovers(s_.userFileName, s_.backupDir, journalPathFor(s_.workingCopy.path()));
    Totals loadedTotals; // from the copy's own reads: the file is read once
    bool ok = false;
    try {
        ok = loadUserFile(s_, prompts, totalsCollector(loadedTotals));
    } catch (const IoError& e) {
        // An empty user file loads but has no record 0 to show.
        if (e.code() != kReadBeyondEnd || !noRecords())
            throw;
        ok = true;
    }
    if (!ok)
        return false;
    loaded_ = true;
    loadedWith(loadedTotals);
    return true;
}

bool EditSession::saveBeforeOpening(Prompts& prompts) {
    if (!s_.userFileChanged || !s_.workingCopy.holdsCopy())
        return true;
    const Answer answer = prompts.confirmOrCancel("Save old user file?");
    if (answer == Answer::Cancel)
        return false;
    if (answer == Answer::No)
        return true;
    const bool changed = s_.userFileChanged; // this question leaves the mark alone
    const SaveOutcome saved = saveToUserFile(s_, prompts, false);
    s_.userFileChanged = changed;
    // The unsaved changes exist only in the working copy: switching now would
    // overwrite them.
    return saved == SaveOutcome::Saved;
}

void EditSession::open(const std::string& path) {
    s_.userFileName = path;
    totalsKnown_ = false; // the old file's figures until the new ones
    Totals loadedTotals;
    try {
        s_.workingCopy.loadFrom(path, totalsCollector(loadedTotals));
    } catch (...) {
        // The working copy holds neither the new file nor edits anyone still
        // wants (saved or dropped before): it must never be copied back.
        s_.userFileChanged = false;
        throw;
    }
    const int last = s_.workingCopy.recordCount() - 1;
    if (s_.currentIndex > last)
        s_.currentIndex = last < 0 ? 0 : last;
    s_.workingCopy.readRecord(s_.currentIndex, s_.recordBuffer);
    loadedWith(loadedTotals);
}

const Record& EditSession::show(int index) {
    s_.workingCopy.readRecord(index, s_.recordBuffer);
    s_.currentIndex = index;
    return s_.recordBuffer;
}

int EditSession::findFrom(int start, const RecordTest& test) {
    return scanForward(s_.workingCopy, start, s_.recordBuffer, test);
}

bool EditSession::recordShown() {
    const bool was = boardChangedShown_;
    boardChangedShown_ = false;
    return was;
}

const Record& EditSession::beginStore() {
    s_.userFileChanged = true;
    s_.workingCopy.readRecord(s_.currentIndex, s_.recordBuffer);
    return s_.recordBuffer;
}

void EditSession::store(const Record& r) {
    const Record before = s_.recordBuffer;
    s_.recordBuffer = r;
    try {
        s_.workingCopy.writeRecord(s_.currentIndex, r);
    } catch (...) {
        totalsKnown_ = false; // the record may be half written: count afresh next time
        throw;
    }
    if (totalsKnown_)
        replaceInTotals(totals_, before, r); // only this record changed
    else
        recountTotals();
}

EditSession::BoardChoice EditSession::settleBoardChange(Prompts& prompts) {
    if (!boardChangedShown_)
        return BoardChoice::NotAsked;
    const int user = s_.currentIndex;
    const int answer = prompts.choose(
        "Save User",
        "The board changed user " + std::to_string(user) +
            " while you were editing it.\n\nStore the entries you changed over the board's "
            "record, or show the board's record and drop your entries?",
        {"Keep mine", "Keep the board's", "Cancel"});
    if (answer == 0)
        return BoardChoice::KeepMine;
    return answer == 1 ? BoardChoice::KeepBoards : BoardChoice::Cancel;
}

SaveOutcome EditSession::saveFile(Prompts& prompts, SaveReport* report) {
    const SaveOutcome outcome = saveToUserFile(s_, prompts, true, report);
    if (outcome == SaveOutcome::Saved || outcome == SaveOutcome::Partial) {
        stopFollowing(); // the file as saved is the one followed from now
        recountTotals();
    }
    return outcome;
}

bool EditSession::copyBackAtExit(Prompts& prompts) {
    if (copyBackOnExit(s_, prompts))
        return true;
    // The changes are only in the working copy: it stays open, so that they
    // can be saved once the user file can be written again.
    if (loaded_ && !s_.workingCopy.isOpen())
        s_.workingCopy.open();
    return false;
}

StatusToggle EditSession::toggleStatus(int index) {
    Record rec;
    s_.workingCopy.readRecord(index, rec);
    const unsigned was = readCode(rec, kStatus);
    const unsigned now = was == 0 ? 2u : was == 2 ? 0u : was;
    writeCode(rec, kStatus, now);
    s_.workingCopy.writeRecord(index, rec);
    // Marked at once: an error on a later user must not hide this write from
    // Save File and the question at exit. The totals do not count the status.
    s_.userFileChanged = true;
    return StatusToggle{index, was, now};
}

bool EditSession::undoToggle(const StatusToggle& t) {
    if (t.was == t.now)
        return false;
    Record rec;
    s_.workingCopy.readRecord(t.index, rec);
    writeCode(rec, kStatus, t.was);
    s_.workingCopy.writeRecord(t.index, rec);
    return true;
}

bool EditSession::canFollow() const {
    return followBoard_ && s_.workingCopy.isOpen() && s_.workingCopy.source().known;
}

void EditSession::stopFollowing() {
    changedByBoth_.clear();
    liveProblem_.clear();
    // boardChangedShown_ stays with the entries it is about: the next
    // recordShown() drops it.
}

namespace {

const char* problemText(LiveState state) {
    switch (state) {
    case LiveState::Missing:
        return "The user file is missing";
    case LiveState::Unreadable:
        return "The user file cannot be read";
    case LiveState::Replaced:
        return "User file replaced: not followed until Save File";
    case LiveState::Shrunk:
        return "User file shortened: not followed until Save File";
    case LiveState::Following:
        break;
    }
    return "";
}

} // namespace

BoardApplied EditSession::applyBoardChanges(const LiveCompare& result,
                                            const std::function<bool()>& entriesDiffer) {
    BoardApplied out;
    liveProblem_ = problemText(result.state);
    if (result.state != LiveState::Following)
        return out;
    const int countBefore = s_.workingCopy.recordCount();
    LiveApplied applied;
    try {
        applied = applyToWorkingCopy(s_.workingCopy, result);
    } catch (...) {
        recountTotals(); // some records may have been taken
        throw;
    }
    if (!result.continued)
        changedByBoth_.clear();
    changedByBoth_.insert(changedByBoth_.end(), applied.changedByBoth.begin(),
                          applied.changedByBoth.end());

    out.appended = static_cast<int>(applied.appended.size());
    out.firstUsers = countBefore == 0 && out.appended > 0;
    if (!applied.changed.empty() || !applied.appended.empty()) {
        out.totalsMoved = true;
        if (totalsKnown_) {
            for (const LiveApplied::Change& c : applied.changed)
                replaceInTotals(totals_, c.before, c.after);
            for (const Record& r : applied.appended)
                addToTotals(totals_, r);
        } else {
            recountTotals();
        }
    }
    if (out.firstUsers)
        show(0); // the first users of an empty file
    for (const LiveApplied::Change& c : applied.changed) {
        out.changed.push_back(c.index);
        if (c.index != s_.currentIndex || countBefore == 0)
            continue;
        if (entriesDiffer()) {
            boardChangedShown_ = true; // the entries stay; Save User asks
        } else {
            s_.recordBuffer = c.after;
            out.reshow = true;
        }
    }
    return out;
}

const Totals& EditSession::totals() {
    if (!totalsKnown_)
        recountTotals();
    return totals_;
}

const Totals& EditSession::recountTotals() {
    totalsKnown_ = false;
    totals_ = computeTotals(s_.workingCopy);
    totalsKnown_ = true;
    return totals_;
}

} // namespace zorv
