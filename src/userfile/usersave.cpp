#include "usersave.h"

#include "codepage.h"
#include "errors.h"
#include "fd.h"
#include "pathparts.h"
#include "privatefile.h"
#include "record.h"
#include "recordio.h"
#include "recordlock.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <map>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <vector>

namespace zorv {

namespace {

SaveHook saveHook = nullptr;

void step(SaveStep s, int record = -1) {
    if (saveHook)
        saveHook(s, record);
}

[[noreturn]] void fail(const std::string& what, const std::string& path, int err) {
    throw SaveFailure{what + " " + path + ": " + std::strerror(err)};
}

// Whole record or nothing: false at the end of the file (errno 0) or on an error.
bool readAt(int fd, Record& r, off_t offset) {
    std::size_t done = 0;
    while (done < kRecordSize) {
        const ssize_t n =
            ::pread(fd, r.data() + done, kRecordSize - done, offset + static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = 0;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

off_t offsetOf(int index) {
    return static_cast<off_t>(index) * static_cast<off_t>(kRecordSize);
}

void syncDir(const std::string& path) {
    const int fd = ::open(dirOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

// Two editors saving into one user file take turns; the board does not lock.
bool lockWithin(int fd, int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL)
            return true; // no locks on this filesystem
        if ((errno != EWOULDBLOCK && errno != EINTR) ||
            std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

// ------------------------------------------------------------------ journal
//
// "ZORVJNL1", device, inode (u64 each), path length (u32) and path, entry count
// (u32), entries of index (u32), old and new record bytes; then an FNV-1a
// checksum (u64) of everything before it. A journal without a valid checksum
// was cut short while being written, before any record was touched.

constexpr char kMagic[8] = {'Z', 'O', 'R', 'V', 'J', 'N', 'L', '1'};

using JournalEntry = RecordWrite;

struct Journal {
    FileIdentity file;
    std::string path;
    std::vector<JournalEntry> entries;
};

std::uint64_t fnv1a(const std::string& bytes) {
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

template <typename T> void put(std::string& out, T v) {
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

template <typename T> bool take(const std::string& in, std::size_t& at, T& v) {
    if (in.size() - at < sizeof v)
        return false;
    std::memcpy(&v, in.data() + at, sizeof v);
    at += sizeof v;
    return true;
}

std::string encode(const Journal& j) {
    std::string out(kMagic, sizeof kMagic);
    put<std::uint64_t>(out, j.file.device);
    put<std::uint64_t>(out, j.file.inode);
    put<std::uint32_t>(out, static_cast<std::uint32_t>(j.path.size()));
    out += j.path;
    put<std::uint32_t>(out, static_cast<std::uint32_t>(j.entries.size()));
    for (const JournalEntry& e : j.entries) {
        put<std::uint32_t>(out, static_cast<std::uint32_t>(e.index));
        out.append(reinterpret_cast<const char*>(e.old.data()), kRecordSize);
        out.append(reinterpret_cast<const char*>(e.now.data()), kRecordSize);
    }
    put<std::uint64_t>(out, fnv1a(out));
    return out;
}

bool decode(const std::string& in, Journal& j) {
    if (in.size() < sizeof kMagic + 8 || std::memcmp(in.data(), kMagic, sizeof kMagic) != 0)
        return false;
    std::uint64_t sum = 0;
    std::memcpy(&sum, in.data() + in.size() - 8, 8);
    const std::string body = in.substr(0, in.size() - 8);
    if (fnv1a(body) != sum)
        return false;
    std::size_t at = sizeof kMagic;
    std::uint64_t dev = 0, ino = 0;
    std::uint32_t pathLen = 0, count = 0;
    if (!take(body, at, dev) || !take(body, at, ino) || !take(body, at, pathLen) ||
        body.size() - at < pathLen)
        return false;
    j.file = {dev, ino, true};
    j.path = body.substr(at, pathLen);
    at += pathLen;
    if (!take(body, at, count) || (body.size() - at) / (4 + 2 * kRecordSize) != count ||
        (body.size() - at) % (4 + 2 * kRecordSize) != 0)
        return false;
    j.entries.resize(count);
    for (JournalEntry& e : j.entries) {
        std::uint32_t index = 0;
        take(body, at, index);
        e.index = static_cast<int>(index);
        std::memcpy(e.old.data(), body.data() + at, kRecordSize);
        std::memcpy(e.now.data(), body.data() + at + kRecordSize, kRecordSize);
        at += 2 * kRecordSize;
    }
    return true;
}

// The journal stays locked while its save runs, so that a second editor
// starting meanwhile never takes it for a dead one's. It is always a new
// private file renamed into place: a file or link planted at its name is
// replaced, never written through, and a rewrite is never seen half done.
// Returns the open, locked fd.
int writeJournal(const std::string& path, const Journal& j) {
    try {
        checkPrivateFolder(dirOf(path));
        ReplacementFile file(path, nullptr, false);
        file.append(encode(j));
        return file.commitKeepingLock();
    } catch (const IoError& e) {
        throw SaveFailure{std::string("Cannot write the save journal ") + path + ": " + e.what()};
    }
}

// Reads a journal no live save holds; false when there is none or it is held.
// A link in its place is removed unread; another user's file is left alone.
bool readIdleJournal(const std::string& path, Fd& fd, std::string& out) {
    fd.reset(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st {};
    if (fd.get() < 0 && errno == ELOOP)
        ::unlink(path.c_str());
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0)
        return false;
    if (!ownPlainFile(st))
        return false; // another user's: never trusted, left for its owner
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        return false;
    return readFully(fd.get(), out);
}

// A record we may have been writing: every byte is its old or its new one (a
// torn write mixes the two). Anything else the board wrote afterwards.
bool oursAt(const Record& cur, const JournalEntry& e) {
    for (std::size_t i = 0; i < kRecordSize; ++i)
        if (cur[i] != e.old[i] && cur[i] != e.now[i])
            return false;
    return true;
}

// Puts the old bytes back where a record still holds ours. False (errno set)
// when a read or write failed; the journal must then stay.
bool undo(int fd, const std::vector<JournalEntry>& entries) {
    for (const JournalEntry& e : entries) {
        const RecordLock lock(fd, e.index, true, recordLockWaitMs());
        Record cur{};
        if (!readAt(fd, cur, offsetOf(e.index))) {
            if (errno == 0)
                continue; // the board shortened the file: nothing of ours there
            return false;
        }
        if (cur != e.old && oursAt(cur, e) &&
            !writeFully(fd, e.old.data(), kRecordSize, offsetOf(e.index)))
            return false;
    }
    return ::fsync(fd) == 0;
}

std::string userLine(int index, const Record& r) {
    const std::string name = cp865ToUtf8(rawText(r, kName)); // prompts take UTF-8
    return "  " + std::to_string(index) + (name.empty() ? std::string() : "  " + name);
}

bool sameFile(const struct stat& st, const FileIdentity& id) {
    return id.known && static_cast<unsigned long long>(st.st_dev) == id.device &&
           static_cast<unsigned long long>(st.st_ino) == id.inode;
}

// Offers the whole-file overwrite when merging is not safe.
SaveOutcome overwriteWhole(UserFileSession& s, Prompts& prompts, const std::string& reason,
                           bool gone = false) {
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
    try {
        struct stat st {};
        if (!s.backedUp.count(s.userFileName) && ::stat(s.userFileName.c_str(), &st) == 0) {
            keepBackup(s.userFileName, s.backups, s.backupDir);
            s.backedUp.insert(s.userFileName);
        }
    } catch (const IoError& e) {
        throw SaveFailure{std::string("Cannot keep a backup of ") + s.userFileName + ": " +
                          e.what()};
    }
    if (!copyWorkingCopyTo(s, s.userFileName, prompts))
        return SaveOutcome::Failed;
    return SaveOutcome::Saved;
}

std::string userList(const std::vector<JournalEntry>& users) {
    std::string list;
    const std::size_t shownMax = 15;
    for (std::size_t i = 0; i < users.size() && i < shownMax; ++i)
        list += userLine(users[i].index, users[i].now) + "\n";
    if (users.size() > shownMax)
        list += "  ... and " + std::to_string(users.size() - shownMax) + " more\n";
    return list;
}

off_t sizeOf(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? st.st_size : -1;
}

std::string shorterText(const std::string& path, off_t size, int changed) {
    return "The user file " + path + " is shorter than when it was loaded: it now holds " +
           std::to_string(size / static_cast<off_t>(kRecordSize)) +
           " users, and you changed user " + std::to_string(changed) + ".";
}

// The merge itself. Throws SaveFailure with nothing written (or all written
// taken back). `notSaved` gets the records left as the board has them though
// the operator wanted them saved.
SaveOutcome mergeInto(UserFileSession& s, Prompts& prompts, std::vector<JournalEntry>& notSaved) {
    const std::string& path = s.userFileName;
    WorkingCopy& wc = s.workingCopy;

    // The operator's records that differ from their loaded bytes.
    struct Change {
        int index;
        Record loaded;
        Record mine;
    };
    std::vector<Change> changes;
    for (const auto& [index, loaded] : wc.loadedBytes()) {
        Record mine{};
        wc.readRecord(index, mine);
        if (mine != loaded)
            changes.push_back({index, loaded, mine});
    }

    struct stat gone {};
    if (::stat(path.c_str(), &gone) != 0 && errno == ENOENT &&
        ::stat(dirOf(path).c_str(), &gone) == 0)
        return overwriteWhole(s, prompts, "The user file " + path + " no longer exists.", true);
    Fd fd(openRegularFile(path, O_RDWR));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        fail("Cannot read", path, errno);
    struct stat wcSt {};
    if (::stat(wc.path().c_str(), &wcSt) == 0 && wcSt.st_dev == st.st_dev &&
        wcSt.st_ino == st.st_ino)
        return SaveOutcome::Saved; // its own working copy: every write is already there
    if (changes.empty())
        return SaveOutcome::Saved;

    const std::string replaced =
        "The user file " + path + " was replaced by another file since it was loaded.";
    if (!sameFile(st, wc.source()))
        return overwriteWhole(s, prompts, replaced);
    const off_t needed = offsetOf(changes.back().index + 1);
    if (st.st_size < needed)
        return overwriteWhole(s, prompts, shorterText(path, st.st_size, changes.back().index));

    // What the board holds now decides, record by record. A record the board
    // is writing under its lock is read once that write is done.
    std::vector<JournalEntry> plan;
    std::vector<JournalEntry> conflicts;
    for (const Change& c : changes) {
        Record cur{};
        {
            const RecordLock shared(fd.get(), c.index, false, 100);
            if (!readAt(fd.get(), cur, offsetOf(c.index))) {
                if (errno != 0)
                    fail("Cannot read", path, errno);
                // Cut since the size was looked at: nothing is written.
                return overwriteWhole(s, prompts,
                                      shorterText(path, sizeOf(fd.get()), changes.back().index));
            }
        }
        if (cur == c.mine)
            continue;
        if (cur == c.loaded)
            plan.push_back({c.index, cur, c.mine});
        else
            conflicts.push_back({c.index, cur, c.mine});
    }
    if (!conflicts.empty()) {
        const char* these = conflicts.size() == 1 ? "this user" : "these users";
        const int answer = prompts.choose(
            "Save File",
            "The board changed " + std::string(these) +
                " since the user file was loaded, and so did you:\n\n" + userList(conflicts) +
                "\nKeep your changes, or keep the board's for " + these + "?",
            {"Keep mine", "Keep the board's", "Cancel"});
        if (answer == 2 || answer < 0)
            return SaveOutcome::Cancelled;
        if (answer == 0)
            plan.insert(plan.end(), conflicts.begin(), conflicts.end());
    }
    if (plan.empty())
        return SaveOutcome::Saved;

    if (!s.backedUp.count(path)) {
        try {
            keepBackup(path, s.backups, s.backupDir);
        } catch (const IoError& e) {
            throw SaveFailure{std::string("Cannot keep a backup of ") + path + ": " + e.what()};
        }
        s.backedUp.insert(path);
    }

    // The questions and the backup took time: the board may have replaced or
    // cut the file meanwhile. Nothing is written then.
    if (!pathNamesFile(path, fd.get()))
        return overwriteWhole(s, prompts, replaced);
    if (const off_t size = sizeOf(fd.get()); size < needed)
        return overwriteWhole(s, prompts, shorterText(path, size, changes.back().index));

    // Replaced or cut while being written: what went into the old file is
    // taken back and the new one is offered whole, never merged into.
    auto abandon = [&](RecordWriter& w, const std::string& what) {
        const bool any = w.wroteAny();
        w.rollBack();
        prompts.warning("The user file " + path + " was " + what +
                        " while your changes were being saved." +
                        (any ? " What had been written into it was taken back." : ""));
        return overwriteWhole(s, prompts,
                              "The user file " + path + " was " + what + " during the save.");
    };
    RecordWriter w(fd.get(), wc.source(), path, journalPathFor(wc.path()));
    RecordWriter::Pass first = w.write(plan);
    if (first.shortened)
        return abandon(w, "shortened");
    if (first.replaced)
        return abandon(w, "replaced by another file");
    notSaved = first.locked;

    if (!first.moved.empty()) {
        const char* these = first.moved.size() == 1 ? "this user" : "these users";
        const int answer = prompts.choose(
            "Save File",
            "The board changed " + std::string(these) +
                " while your changes were being saved:\n\n" + userList(first.moved) +
                "\nYour other changes are saved. Keep your changes, or keep the board's for " +
                these + "?",
            {"Keep mine", "Keep the board's"});
        if (answer == 0) {
            if (!pathNamesFile(path, fd.get()))
                return abandon(w, "replaced by another file");
            RecordWriter::Pass second = w.write(first.moved);
            if (second.shortened)
                return abandon(w, "shortened");
            if (second.replaced)
                return abandon(w, "replaced by another file");
            notSaved.insert(notSaved.end(), second.moved.begin(), second.moved.end());
            notSaved.insert(notSaved.end(), second.locked.begin(), second.locked.end());
        }
    }
    step(SaveStep::RecordsFlushed);
    w.finish();
    return notSaved.empty() ? SaveOutcome::Saved : SaveOutcome::Partial;
}

} // namespace

RecordWriter::RecordWriter(int fd, const FileIdentity& file, std::string path,
                           std::string journalPath)
    : fd_(fd), file_(file), path_(std::move(path)), journalPath_(std::move(journalPath)) {}

RecordWriter::~RecordWriter() {
    // Left unfinished by a failure: a journal of writes that may be in the
    // file stays for the rollback of the next save or start.
    if (lock_ >= 0 && written_.empty())
        finish();
    if (lock_ >= 0)
        ::close(lock_);
}

RecordWriter::Pass RecordWriter::write(const std::vector<RecordWrite>& plan) {
    std::map<int, std::size_t> at;
    for (std::size_t i = 0; i < entries_.size(); ++i)
        at[entries_[i].index] = i;
    for (const RecordWrite& e : plan) {
        // A record written again replaces its earlier entry, which never
        // reached the file (it had moved).
        if (auto it = at.find(e.index); it != at.end())
            entries_[it->second] = e;
        else
            entries_.push_back(e);
    }
    const int lock = writeJournal(journalPath_, Journal{file_, path_, entries_});
    if (lock_ >= 0)
        ::close(lock_);
    lock_ = lock;
    if (first_) {
        first_ = false;
        step(SaveStep::JournalWritten);
    }
    Pass pass;
    for (const RecordWrite& e : plan) {
        const RecordLock recordLock(fd_, e.index, true, recordLockWaitMs());
        if (!recordLock.held()) {
            pass.locked.push_back(e);
            continue;
        }
        if (sizeOf(fd_) < offsetOf(e.index + 1)) {
            pass.shortened = true;
            break;
        }
        RecordWrite now = e;
        if (!readAt(fd_, now.old, offsetOf(e.index))) {
            const int err = errno ? errno : EIO;
            rollBack();
            fail("Cannot read", path_, err);
        }
        step(SaveStep::RecordChecked, e.index);
        if (now.old != e.old) {
            pass.moved.push_back(now);
            continue;
        }
        if (!writeFully(fd_, e.now.data(), kRecordSize, offsetOf(e.index))) {
            const int err = errno;
            rollBack();
            fail("Cannot write", path_, err);
        }
        written_.push_back(e);
        step(SaveStep::RecordWritten, e.index);
    }
    if (::fsync(fd_) != 0) {
        const int err = errno;
        rollBack();
        fail("Cannot write", path_, err);
    }
    // Cut behind the writes: some of them are gone with the cut.
    for (const RecordWrite& e : written_)
        if (sizeOf(fd_) < offsetOf(e.index + 1))
            pass.shortened = true;
    pass.replaced = !pathNamesFile(path_, fd_);
    return pass;
}

void RecordWriter::rollBack() {
    if (undo(fd_, written_))
        finish();
    written_.clear();
}

void RecordWriter::finish() {
    ::unlink(journalPath_.c_str());
    syncDir(journalPath_);
    if (lock_ >= 0)
        ::close(lock_);
    lock_ = -1;
}

void setSaveHookForTesting(SaveHook hook) {
    saveHook = hook;
}

bool pathNamesFile(const std::string& path, int fd) {
    struct stat a {
    }, b{};
    return ::fstat(fd, &a) == 0 && ::stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

std::string journalPathFor(const std::string& workingCopyPath) {
    return workingCopyPath + ".journal";
}

std::string toolJournalPathFor(const std::string& userFile) {
    return userFile + ".journal";
}

std::string backupPathFor(const std::string& path, const std::string& fallbackDir) {
    std::string dir = dirOf(path);
    if (::access(dir.c_str(), W_OK) != 0 && !fallbackDir.empty())
        dir = fallbackDir;
    return dir + "/" + baseOf(path) + ".bak";
}

bool rollBackInterruptedSave(const std::string& journalPath, Prompts& prompts) {
    std::string bytes;
    Fd held; // the lock is kept until the journal is gone
    if (!readIdleJournal(journalPath, held, bytes))
        return false;
    Journal j;
    if (!decode(bytes, j)) {
        // Cut short while being written: no record had been touched yet.
        ::unlink(journalPath.c_str());
        return false;
    }
    auto done = [&journalPath](const std::string& text, Prompts& p) {
        ::unlink(journalPath.c_str());
        syncDir(journalPath);
        p.warning(text);
        return true;
    };
    const int fd = ::open(j.path.c_str(), O_RDWR | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 && errno != ENOENT) {
        prompts.warning("A save of the user file " + j.path +
                        " was interrupted, and what it wrote cannot be undone yet: " +
                        std::strerror(errno) + ". It is tried again before the next save.");
        return true;
    }
    Fd guard(fd);
    if (fd < 0 || ::fstat(fd, &st) != 0 || !sameFile(st, j.file))
        return done("A save of the user file " + j.path +
                        " was interrupted, but the file has been replaced since; it was "
                        "left as it is.",
                    prompts);
    (void)lockWithin(fd, 5000);
    if (!undo(fd, j.entries)) {
        prompts.warning("A save of the user file " + j.path +
                        " was interrupted, and what it wrote cannot be undone yet: " +
                        std::strerror(errno) + ". It is tried again before the next save.");
        return true;
    }
    return done("The last save of the user file " + j.path +
                    " was interrupted. The users it was writing have their bytes from "
                    "before that save again; the changes of that save are not in the file.",
                prompts);
}

void removeSaveLeftovers(const std::string& userFile, const std::string& backupDir,
                         const std::string& journalPath) {
    removeStaleTemps(userFile);
    if (!journalPath.empty())
        removeStaleTemps(journalPath);
    removeStaleTemps(userFile + ".bak");
    if (!backupDir.empty())
        removeStaleTemps(backupDir + "/" + baseOf(userFile) + ".bak");
}

void keepBackup(const std::string& path, int count, const std::string& fallbackDir) {
    if (count <= 0)
        return;
    const std::string bak = backupPathFor(path, fallbackDir);
    const std::string dir = dirOf(bak);
    if (dir == fallbackDir) {
        for (std::size_t at = 1; at != std::string::npos; at = dir.find('/', at + 1))
            ::mkdir(dir.substr(0, at).c_str(), 0700); // the state folder may not exist yet
        ::mkdir(dir.c_str(), 0700);
    }
    auto name = [&bak](int n) { return n == 1 ? bak : bak + "." + std::to_string(n); };
    for (int n = count; n >= 2; --n)
        if (::rename(name(n - 1).c_str(), name(n).c_str()) != 0 && errno != ENOENT)
            throw ioErrorFromErrno(errno);
    // The copy takes the user file's mode and group, whatever lay at its name.
    struct stat model {};
    if (::stat(path.c_str(), &model) != 0)
        throw ioErrorFromErrno(errno);
    copyFilePrivately(path, bak, model);
}

SaveOutcome saveToUserFile(UserFileSession& s, Prompts& prompts, bool refresh) {
    // After a failed load the working copy is empty: saving it would wipe the
    // user file.
    if (!s.workingCopy.holdsCopy()) {
        prompts.warning("Unable to save userfile\nThe working copy holds no loaded user file.");
        return SaveOutcome::Failed;
    }
    SaveOutcome outcome = SaveOutcome::Failed;
    std::vector<JournalEntry> notSaved;
    try {
        // Exit closes the working copy before asking.
        if (!s.workingCopy.isOpen())
            s.workingCopy.open();
        rollBackInterruptedSave(toolJournalPathFor(s.userFileName), prompts);
        rollBackInterruptedSave(journalPathFor(s.workingCopy.path()), prompts);
        if (::access(journalPathFor(s.workingCopy.path()).c_str(), F_OK) == 0)
            throw SaveFailure{"An interrupted save of " + s.userFileName +
                              " could not be undone yet."};
        outcome = mergeInto(s, prompts, notSaved);
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
    std::sort(notSaved.begin(), notSaved.end(),
              [](const JournalEntry& a, const JournalEntry& b) { return a.index < b.index; });
    if (outcome == SaveOutcome::Partial) {
        prompts.warning("Some changes were not saved: the board kept changing " +
                        std::string(notSaved.size() == 1 ? "this user" : "these users") +
                        " or held " + (notSaved.size() == 1 ? "it" : "them") +
                        " for more than two seconds while the save waited:\n\n" +
                        userList(notSaved) +
                        "\nThey stay changed in the editor; Save File offers them again.");
    } else {
        s.userFileChanged = false;
    }
    if (refresh) {
        std::vector<Record> loadedOf;
        for (const JournalEntry& e : notSaved)
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

void saveUserFile(UserFileSession& s, Prompts& prompts) {
    if (s.userFileChanged)
        saveToUserFile(s, prompts);
}

bool copyBackOnExit(UserFileSession& s, Prompts& prompts) {
    // Without a loaded copy no change can have reached the working copy.
    if (!s.userFileChanged || !s.workingCopy.holdsCopy())
        return true;
    if (!prompts.confirm("Save zorvuser.dat file?"))
        return true;
    return saveToUserFile(s, prompts, false) == SaveOutcome::Saved;
}

} // namespace zorv
