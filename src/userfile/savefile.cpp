#include "userfile/savefile.h"

#include "userfile/backups.h"
#include "userfile/errors.h"
#include "userfile/fd.h"
#include "userfile/fileidentity.h"
#include "userfile/journalfile.h"
#include "userfile/pathparts.h"
#include "userfile/privatefile.h"
#include "userfile/recordio.h"
#include "userfile/recordlock.h"
#include "userfile/recordwriter.h"
#include "userfile/savedecision.h"
#include "userfile/savequestions.h"
#include "userfile/writephase.h"

#include <algorithm>
#include <cerrno>
#include <map>
#include <optional>
#include <vector>

namespace zorv {

namespace {

// The run's first write into `path` keeps it as it was before, once every
// check has passed.
void keepRunsBackup(UserFileSession& s, const std::string& path) {
    if (s.backedUp.count(path))
        return;
    os::FileInfo st;
    if (!os::infoOf(path, st))
        return; // gone: nothing to keep
    try {
        keepBackup(path, s.backups, s.backupDir);
    } catch (const IoError& e) {
        throw SaveFailure{std::string("Cannot keep a backup of ") + path + ": " + e.what()};
    }
    s.backedUp.insert(path);
}

// An overwrite replaces the entry the operator loaded. A link planted at the
// path since (or one that points elsewhere now) would make it replace a file
// somebody else chose, with the user database and its owner and mode: why
// not, or nothing, with `dst` the name to replace.
std::optional<std::string> plantedLink(const WorkingCopy& wc, const std::string& path,
                                       std::string& dst) {
    dst = path;
    const WorkingCopy::SourceName& loaded = wc.sourceName();
    if (loaded.entry.empty())
        return std::nullopt; // an earlier run's copy: nothing is known of its name
    if (!os::realPath(dirOf(path)))
        return std::nullopt; // the folder is gone: the copy says why it fails
    const std::string tail = "; nothing was written. Remove the link, or open the file it "
                             "points to as the user file.";
    if (absolutePathOf(path) != loaded.entry)
        return path + " now lies in " + dirOf(absolutePathOf(path)) + ", not in " +
               dirOf(loaded.entry) + " as when the user file was loaded (a folder on the way " +
               "became a link)" + tail;
    os::FileInfo lst;
    if (!os::linkInfoOf(path, lst) || lst.kind != os::Kind::Link)
        return std::nullopt;
    const std::string target = os::realPath(path).value_or("");
    const std::string to = target.empty() ? "nothing" : target;
    if (!loaded.link)
        return path + " is now a symbolic link to " + to +
               ", which it was not when the user file was loaded" + tail;
    if (target != loaded.target)
        return path + " now points to " + to + ", not to " + loaded.target +
               " as when the user file was loaded" + tail;
    dst = loaded.target;
    return std::nullopt;
}

// Offers the whole-file overwrite when merging is not safe.
SaveOutcome overwriteWhole(UserFileSession& s, Prompts& prompts, SaveReport& report,
                           const std::string& reason, bool gone = false) {
    const int answer =
        gone ? prompts.choose("Save File", reason + "\n\nWrite the editor's copy of it there?",
                              {"Write", "Cancel"})
             : prompts.choose(
                   "Save File",
                   reason +
                       "\n\nUsers may have been renumbered, so your changes cannot be merged "
                       "into it. Overwrite the whole user file with the editor's copy? Whatever "
                       "the board wrote to it since is then lost.",
                   {"Overwrite", "Cancel"});
    if (answer != 0)
        return SaveOutcome::Cancelled;
    std::string dst;
    if (auto refused = plantedLink(s.workingCopy, s.userFileName, dst))
        throw SaveFailure{*refused};
    keepRunsBackup(s, s.userFileName);
    if (!copyWorkingCopyTo(s, dst, prompts, false))
        return SaveOutcome::Failed;
    report.whole = true;
    report.written = report.changed;
    return SaveOutcome::Saved;
}

// Asks about disputed users; their writes go into `plan`. False for Cancel.
bool askDisputed(Prompts& prompts, const std::string& text, const std::vector<Disputed>& disputed,
                 std::vector<RecordWrite>& plan) {
    const int answer =
        prompts.choose("Save File", text, {"Keep mine", "Keep the board's", "Cancel"});
    if (answer != 0 && answer != 1)
        return false;
    const std::vector<RecordWrite> writes = settle(disputed, answer == 0);
    plan.insert(plan.end(), writes.begin(), writes.end());
    return true;
}

std::string shorterText(const std::string& path, os::Offset size, int changed) {
    return "The user file " + path + " is shorter than when it was loaded: it now holds " +
           std::to_string(size / static_cast<os::Offset>(kRecordSize)) +
           " users, and you changed user " + std::to_string(changed) + ".";
}

// The merge itself. Throws SaveFailure with nothing written (or all written
// taken back). `notSaved` gets the records left as the board has them though
// the operator wanted them saved, `cancelled` those the operator chose to
// leave unsaved when the board changed them during the save; both with the
// operator's bytes as `now`.
SaveOutcome mergeInto(UserFileSession& s, Prompts& prompts, std::vector<RecordWrite>& notSaved,
                      std::vector<RecordWrite>& cancelled, SaveReport& report) {
    const std::string& path = s.userFileName;
    WorkingCopy& wc = s.workingCopy;

    // The operator's records that differ from their loaded bytes.
    std::vector<Change> changes;
    for (const auto& [index, loaded] : wc.loadedBytes()) {
        Record mine{};
        wc.readRecord(index, mine);
        if (mine != loaded)
            changes.push_back({index, loaded, mine});
    }
    report.changed = static_cast<int>(changes.size());

    os::FileInfo gone;
    if (!os::infoOf(path, gone) && errno == ENOENT && os::infoOf(dirOf(path), gone))
        return overwriteWhole(s, prompts, report, "The user file " + path + " no longer exists.",
                              true);
    Fd fd(openRegularFile(path, Access::ReadWrite));
    os::FileInfo st;
    if (!os::info(fd.get(), st))
        failSaving("Cannot read", path, errno);
    os::FileInfo wcSt;
    if (os::infoOf(wc.path(), wcSt) && os::sameFile(wcSt, st))
        return SaveOutcome::Saved; // its own working copy: every write is already there
    if (changes.empty())
        return SaveOutcome::Saved;

    const std::string replaced =
        "The user file " + path + " was replaced by another file since it was loaded.";
    if (!sameFile(st, wc.source()))
        return overwriteWhole(s, prompts, report, replaced);
    const os::Offset needed = recordOffset(changes.back().index + 1);
    if (st.size < needed)
        return overwriteWhole(s, prompts, report, shorterText(path, st.size, changes.back().index));

    // What the board holds now decides, record by record. A record the board
    // is writing under its lock is read once that write is done.
    std::vector<Record> board(changes.size());
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const int index = changes[i].index;
        const RecordLock shared(fd.get(), index, false, 100);
        if (!readWholeRecord(fd.get(), board[i], recordOffset(index))) {
            if (errno != 0)
                failSaving("Cannot read", path, errno);
            // Cut since the size was looked at: nothing is written.
            return overwriteWhole(s, prompts, report,
                                  shorterText(path, fileSizeOf(fd.get()), changes.back().index));
        }
    }
    auto [plan, disputed] = decideChanges(changes, board);
    if (!disputed.empty()) {
        const bool one = disputed.size() == 1;
        if (!askDisputed(prompts,
                         std::string("The board changed ") + (one ? "this user" : "these users") +
                             " since the user file was loaded, and so did you, in the same " +
                             (one ? "field" : "fields") + ":\n\n" + disputedList(disputed) +
                             "\nYour other changes go over the board's record either way. "
                             "Keep your values in these fields, or the board's?",
                         disputed, plan))
            return SaveOutcome::Cancelled;
    }
    if (plan.empty())
        return SaveOutcome::Saved;

    // The questions took time: the board may have replaced or cut the file
    // meanwhile. Nothing is written then, and no backup made.
    if (!pathNamesFile(path, fd.get()))
        return overwriteWhole(s, prompts, report, replaced);
    if (const os::Offset size = fileSizeOf(fd.get()); size < needed)
        return overwriteWhole(s, prompts, report, shorterText(path, size, changes.back().index));
    const std::string journal = journalPathFor(wc.path());
    try {
        checkPrivateFolder(dirOf(journal));
    } catch (const IoError& e) {
        throw SaveFailure{std::string("Cannot write the save journal ") + journal + ": " +
                          e.what()};
    }
    keepRunsBackup(s, path);

    // Replaced or cut while being written: what went into the old file is
    // taken back and the new one is offered whole, never merged into.
    auto abandon = [&](RecordWriter& w, const std::string& what) {
        const std::string undone = w.rollBack();
        prompts.warning("The user file " + path + " was " + what +
                        " while your changes were being saved." +
                        (undone.empty() ? "" : " " + undone));
        return overwriteWhole(s, prompts, report,
                              "The user file " + path + " was " + what + " during the save.");
    };
    // Left unsaved: listed with the operator's own bytes, which stay in the
    // working copy.
    std::map<int, const Change*> changeAt;
    for (const Change& c : changes)
        changeAt[c.index] = &c;
    auto leave = [&changeAt](const std::vector<RecordWrite>& left, std::vector<RecordWrite>& to) {
        for (const RecordWrite& e : left)
            to.push_back({e.index, e.old, changeAt.at(e.index)->mine});
    };
    std::map<int, Record> decidedOn;
    for (const RecordWrite& e : plan)
        decidedOn[e.index] = e.old;

    RecordWriter w(fd.get(), wc.source(), path, journal);
    // A pass that finds the file cut or replaced ends the save there.
    auto writePass = [&](const std::vector<RecordWrite>& writes,
                         RecordWriter::Pass& pass) -> std::optional<SaveOutcome> {
        pass = w.write(writes);
        if (pass.shortened)
            return abandon(w, "shortened");
        if (pass.replaced)
            return abandon(w, "replaced by another file");
        return std::nullopt;
    };
    RecordWriter::Pass first;
    if (const auto ended = writePass(plan, first))
        return *ended;
    leave(first.locked, notSaved);

    // The board wrote these after the decision: what was decided goes over
    // what it holds now by the same rule, as changes from what the decision
    // was made on.
    auto [again, disputedNow] = decideMoved(first.moved, decidedOn, changeAt);
    if (!disputedNow.empty()) {
        const bool one = disputedNow.size() == 1;
        const std::string these = one ? "this user" : "these users";
        if (!askDisputed(prompts,
                         "The board changed " + these +
                             " while your changes were being saved, in " +
                             (one ? "a field" : "fields") + " you changed too:\n\n" +
                             disputedList(disputedNow) +
                             "\nYour other changes are saved. Keep your values in these "
                             "fields, or the board's? Cancel leaves " +
                             these + " unsaved and changed in the editor.",
                         disputedNow, again)) {
            for (const Disputed& d : disputedNow)
                cancelled.push_back({d.index, d.board, d.mine});
        }
    }
    if (!again.empty()) {
        if (!pathNamesFile(path, fd.get()))
            return abandon(w, "replaced by another file");
        RecordWriter::Pass second;
        if (const auto ended = writePass(again, second))
            return *ended;
        leave(second.moved, notSaved);
        leave(second.locked, notSaved);
    }
    reportSaveStep(SaveStep::RecordsFlushed);
    report.written = w.usersWritten();
    w.finish();
    return notSaved.empty() && cancelled.empty() ? SaveOutcome::Saved : SaveOutcome::Partial;
}

} // namespace

SaveOutcome saveToUserFile(UserFileSession& s, Prompts& prompts, bool refresh,
                           SaveReport* reportTo) {
    SaveReport unused;
    SaveReport& report = reportTo ? *reportTo : unused;
    report = {};
    // After a failed load the working copy is empty: saving it would wipe the
    // user file.
    if (!s.workingCopy.holdsCopy()) {
        prompts.warning("Unable to save userfile\nThe working copy holds no loaded user file.");
        return SaveOutcome::Failed;
    }
    SaveOutcome outcome = SaveOutcome::Failed;
    std::vector<RecordWrite> notSaved;
    std::vector<RecordWrite> cancelled;
    try {
        // Exit closes the working copy before asking.
        if (!s.workingCopy.isOpen())
            s.workingCopy.open();
        WritePhase phase(s, prompts);
        phase.enter();
        outcome = mergeInto(s, phase, notSaved, cancelled, report);
    } catch (const SaveFailure& f) {
        prompts.warning("Unable to save userfile\n" + f.why);
        return SaveOutcome::Failed;
    } catch (const IoError& e) {
        prompts.warning("Unable to save userfile\n" + std::string(e.what()) + ": " +
                        s.userFileName);
        return SaveOutcome::Failed;
    }
    if (outcome != SaveOutcome::Saved && outcome != SaveOutcome::Partial)
        return outcome;
    // Left unsaved: the operator's bytes and what they were made from stay, so
    // the next save compares with the board again and asks.
    const auto byIndex = [](const RecordWrite& a, const RecordWrite& b) {
        return a.index < b.index;
    };
    std::sort(notSaved.begin(), notSaved.end(), byIndex);
    std::sort(cancelled.begin(), cancelled.end(), byIndex);
    if (outcome == SaveOutcome::Partial) {
        std::string text = "Some changes were not saved";
        if (!notSaved.empty())
            text += ": the board kept changing " +
                    std::string(notSaved.size() == 1 ? "this user" : "these users") + " or held " +
                    (notSaved.size() == 1 ? "it" : "them") +
                    " for more than two seconds while the save waited:\n\n" + userList(notSaved);
        if (!cancelled.empty())
            text += std::string(notSaved.empty() ? ": you" : "\nYou") + " left " +
                    (cancelled.size() == 1 ? "this user" : "these users") + " as the board wrote " +
                    (cancelled.size() == 1 ? "it" : "them") + " during the save:\n\n" +
                    userList(cancelled);
        prompts.warning(text + "\nThey stay changed in the editor; Save File offers them again.");
    } else {
        s.userFileChanged = false;
    }
    notSaved.insert(notSaved.end(), cancelled.begin(), cancelled.end());
    report.notSaved = static_cast<int>(notSaved.size());
    if (refresh) {
        std::vector<Record> loadedOf;
        for (const RecordWrite& e : notSaved)
            loadedOf.push_back(s.workingCopy.loadedBytes().at(e.index));
        s.workingCopy.loadFrom(s.userFileName);
        for (std::size_t i = 0; i < notSaved.size(); ++i)
            if (notSaved[i].index < s.workingCopy.recordCount())
                s.workingCopy.keepChange(notSaved[i].index, loadedOf[i], notSaved[i].now);
        const int last = s.workingCopy.recordCount() - 1;
        if (s.currentIndex > last)
            s.currentIndex = last < 0 ? 0 : last;
        if (last >= 0)
            s.workingCopy.readRecord(s.currentIndex, s.recordBuffer);
    }
    return outcome;
}

bool copyBackOnExit(UserFileSession& s, Prompts& prompts) {
    // Without a loaded copy no change can have reached the working copy.
    if (!s.userFileChanged || !s.workingCopy.holdsCopy())
        return true;
    switch (prompts.confirmOrCancel("Save zorvuser.dat file?")) {
    case Answer::Yes:
        return saveToUserFile(s, prompts, false) == SaveOutcome::Saved;
    case Answer::No:
        return true;
    case Answer::Cancel:
        break;
    }
    return false;
}

} // namespace zorv
