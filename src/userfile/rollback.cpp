#include "userfile/rollback.h"

#include "userfile/errors.h"
#include "userfile/fd.h"
#include "userfile/fileidentity.h"
#include "userfile/journalfile.h"
#include "userfile/lockwait.h"
#include "userfile/pathparts.h"
#include "userfile/privatefile.h"
#include "userfile/recordio.h"
#include "userfile/recordlock.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zorv {

namespace {

// A record we may have been writing: every byte is its old or its new one (a
// torn write mixes the two). Anything else the board wrote afterwards.
bool oursAt(const Record& cur, const RecordWrite& e) {
    for (std::size_t i = 0; i < kRecordSize; ++i)
        if (cur[i] != e.old[i] && cur[i] != e.now[i])
            return false;
    return true;
}

} // namespace

bool undoWrites(os::Handle fd, const std::vector<RecordWrite>& entries, int* pastEnd) {
    for (const RecordWrite& e : entries) {
        const RecordLock lock(fd, e.index, true, recordLockWaitMs());
        Record cur{};
        if (!readWholeRecord(fd, cur, recordOffset(e.index))) {
            if (errno != 0)
                return false;
            if (pastEnd) // the board shortened the file: nothing of ours there
                ++*pastEnd;
            continue;
        }
        if (cur != e.old && oursAt(cur, e) &&
            !os::writeAt(fd, e.old.data(), kRecordSize, recordOffset(e.index)))
            return false;
    }
    return os::flush(fd);
}

namespace {

constexpr int kUnappliedKept = 5;

// Keeps a journal that cannot be applied beside itself as
// NAME.unapplied-<date-time> (it is already 0600); of those, the newest five
// stay. Returns what happened, for the operator.
std::string keepUnapplied(const std::string& journalPath, os::Handle fd) {
    char stamp[32];
    const os::LocalTime t = os::localNow();
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    const std::string stem = journalPath + ".unapplied-";
    std::string kept;
    for (int n = 1; n <= 9 && kept.empty(); ++n) {
        const std::string name = stem + stamp + (n == 1 ? "" : "-" + std::to_string(n));
        if (os::renameIntoFreeName(journalPath, name))
            kept = name;
        else if (errno != EEXIST)
            break;
    }
    if (kept.empty())
        return "Its journal stays at " + journalPath + ": it could not be renamed (" +
               os::errorText(errno) + "), so nothing is written until it is moved away.";
    (void)os::setMode(fd, 0600);
    syncFolderOf(journalPath);
    std::string said = "Its journal, with the users' bytes from before and after that save, is "
                       "kept as " +
                       kept + ".";
    // Only our own plain files of that name count, and only they are removed.
    std::vector<std::string> all;
    const std::string dir = dirOf(journalPath);
    const std::string prefix = baseOf(stem);
    std::vector<std::string> names;
    if (os::listFolder(dir, names)) {
        for (const std::string& name : names) {
            os::FileInfo st;
            if (name.compare(0, prefix.size(), prefix) == 0 &&
                os::linkInfoOf(dir + "/" + name, st) && ownPlainFile(st))
                all.push_back(dir + "/" + name);
        }
    }
    std::sort(all.begin(), all.end());
    for (std::size_t i = 0; i + kUnappliedKept < all.size(); ++i)
        if (all[i] != kept && os::remove(all[i]))
            said += " The oldest such journal, " + all[i] +
                    ", was removed: " + std::to_string(kUnappliedKept) + " are kept.";
    return said;
}

std::string cannotUndoYet(const std::string& path, const std::string& why) {
    return "A save of the user file " + path +
           " was interrupted, and what it wrote cannot be undone yet: " + why +
           ". It is tried again before the next save.";
}

} // namespace

bool rollBackInterruptedSave(const std::string& journalPath, Prompts& prompts,
                             const std::string& userFile) {
    std::string bytes;
    Fd held; // the lock is kept until the journal is gone
    os::FileInfo at;
    if (lookAtJournal(journalPath, held, bytes, at) != JournalAt::Idle)
        return false;
    Journal j;
    if (!decodeJournal(bytes, j)) {
        // Cut short while being written: no record had been touched yet.
        removeJournal(journalPath, held.get());
        return false;
    }
    // The file is the one of the journal's device and inode, wherever the run
    // that wrote it was started: the path it names first, then the caller's
    // file and the file a zorvtool journal lies beside (older journals hold
    // the path as it was typed).
    std::vector<std::string> candidates{j.path};
    if (!userFile.empty())
        candidates.push_back(userFile);
    if (const std::string ext = ".journal";
        journalPath.size() > ext.size() &&
        journalPath.compare(journalPath.size() - ext.size(), ext.size(), ext) == 0)
        candidates.push_back(journalPath.substr(0, journalPath.size() - ext.size()));
    std::string found;
    std::string unsure;
    for (const std::string& c : candidates) {
        os::FileInfo st;
        if (os::infoOf(c, st)) {
            if (sameFile(st, j.file)) {
                found = c;
                break;
            }
        } else if (errno != ENOENT && errno != ENOTDIR && unsure.empty()) {
            unsure = c + ": " + os::errorText(errno);
        }
    }
    if (found.empty() && !unsure.empty()) {
        prompts.warning(cannotUndoYet(j.path, unsure));
        return true;
    }
    if (found.empty()) {
        prompts.warning("A save of the user file " + j.path +
                        " was interrupted, but that file is not there any more (it was "
                        "replaced, renamed or removed since), so what the save wrote was "
                        "not undone. " +
                        keepUnapplied(journalPath, held.get()));
        return true;
    }
    Fd fd;
    try {
        fd.reset(openRegularFile(found, Access::ReadWrite));
    } catch (const IoError& e) {
        prompts.warning(cannotUndoYet(found, e.what()));
        return true;
    }
    (void)lockWholeFileWithin(fd.get(), 5000);
    if (!undoWrites(fd.get(), j.entries)) {
        prompts.warning(cannotUndoYet(found, os::errorText(errno)));
        return true;
    }
    removeJournal(journalPath, held.get());
    prompts.warning("The last save of the user file " + found +
                    " was interrupted. The users it was writing have their bytes from "
                    "before that save again; the changes of that save are not in the file.");
    return true;
}

std::optional<std::string> journalNameTaken(const std::string& journalPath,
                                            const std::string& userFile) {
    std::string bytes;
    Fd fd;
    os::FileInfo st;
    switch (lookAtJournal(journalPath, fd, bytes, st)) {
    case JournalAt::Nothing:
        return std::nullopt;
    case JournalAt::Foreign:
        return foreignObjectText(journalPath, st, "a save journal");
    case JournalAt::Held:
        return "Another run is saving " + userFile + " (it holds the journal " + journalPath +
               "); nothing was written. Try again when it is done.";
    case JournalAt::Idle:
        break;
    }
    return "An interrupted save of " + userFile + " could not be undone yet (its journal " +
           journalPath + " is kept); nothing was written.";
}

} // namespace zorv
