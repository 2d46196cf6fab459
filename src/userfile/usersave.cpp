#include "usersave.h"

#include "codepage.h"
#include "errors.h"
#include "fd.h"
#include "pathparts.h"
#include "record.h"
#include "recordio.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
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

// A failure with the operator's explanation: what failed, where, and why.
struct SaveFailure {
    std::string why;
};

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

struct JournalEntry {
    int index = 0;
    Record old{};
    Record now{};
};

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
// starting meanwhile never takes it for a dead one's. Returns the open fd.
int writeJournal(const std::string& path, const Journal& j) {
    const std::string bytes = encode(j);
    for (;;) {
        const int raw = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (raw < 0)
            fail("Cannot create the save journal", path, errno);
        Fd fd(raw);
        while (::flock(fd.get(), LOCK_EX) != 0 && errno == EINTR) {
        }
        // A rollback may have removed it between the open and the lock.
        struct stat a {
        }, b{};
        if (::fstat(fd.get(), &a) != 0 || ::stat(path.c_str(), &b) != 0 || a.st_ino != b.st_ino ||
            a.st_dev != b.st_dev)
            continue;
        if (::ftruncate(fd.get(), 0) != 0 || !writeFully(fd.get(), bytes.data(), bytes.size(), 0) ||
            ::fsync(fd.get()) != 0) {
            const int err = errno;
            ::unlink(path.c_str());
            fail("Cannot write the save journal", path, err);
        }
        syncDir(path);
        return fd.release();
    }
}

// Reads a journal no live save holds; false when there is none or it is held.
bool readIdleJournal(const std::string& path, Fd& fd, std::string& out) {
    fd.reset(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0 || ::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
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

// The merge itself. Throws SaveFailure with nothing written.
SaveOutcome mergeInto(UserFileSession& s, Prompts& prompts) {
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
    if (!lockWithin(fd.get(), 5000)) {
        if (errno == EWOULDBLOCK || errno == EINTR)
            throw SaveFailure{"Another editor is saving " + path + " right now; try again."};
        fail("Cannot lock", path, errno);
    }

    if (!sameFile(st, wc.source()))
        return overwriteWhole(s, prompts,
                              "The user file " + path +
                                  " was replaced by another file since it was loaded.");
    const off_t needed = offsetOf(changes.back().index + 1);
    if (st.st_size < needed)
        return overwriteWhole(s, prompts,
                              "The user file " + path +
                                  " is shorter than when it was loaded: "
                                  "it now holds " +
                                  std::to_string(st.st_size / static_cast<off_t>(kRecordSize)) +
                                  " users, and you changed user " +
                                  std::to_string(changes.back().index) + ".");

    // What the board holds now decides, record by record.
    Journal journal{wc.source(), path, {}};
    std::vector<JournalEntry> conflicts;
    for (const Change& c : changes) {
        Record cur{};
        if (!readAt(fd.get(), cur, offsetOf(c.index)))
            fail("Cannot read", path, errno ? errno : EIO);
        if (cur == c.mine)
            continue;
        if (cur == c.loaded)
            journal.entries.push_back({c.index, cur, c.mine});
        else
            conflicts.push_back({c.index, cur, c.mine});
    }
    if (!conflicts.empty()) {
        std::string list;
        const std::size_t shownMax = 15;
        for (std::size_t i = 0; i < conflicts.size() && i < shownMax; ++i)
            list += userLine(conflicts[i].index, conflicts[i].now) + "\n";
        if (conflicts.size() > shownMax)
            list += "  ... and " + std::to_string(conflicts.size() - shownMax) + " more\n";
        const int answer =
            prompts.choose("Save File",
                           "The board changed " +
                               std::string(conflicts.size() == 1 ? "this user" : "these users") +
                               " since the user file was loaded, and so did you:\n\n" + list +
                               "\nKeep your changes, or keep the board's for " +
                               (conflicts.size() == 1 ? "this user" : "these users") + "?",
                           {"Keep mine", "Keep the board's", "Cancel"});
        if (answer == 2 || answer < 0)
            return SaveOutcome::Cancelled;
        if (answer == 0)
            journal.entries.insert(journal.entries.end(), conflicts.begin(), conflicts.end());
    }
    if (journal.entries.empty())
        return SaveOutcome::Saved;

    if (!s.backedUp.count(path)) {
        try {
            keepBackup(path, s.backups, s.backupDir);
        } catch (const IoError& e) {
            throw SaveFailure{std::string("Cannot keep a backup of ") + path + ": " + e.what()};
        }
        s.backedUp.insert(path);
    }

    const std::string journalPath = journalPathFor(wc.path());
    const Fd journalLock(writeJournal(journalPath, journal));
    step(SaveStep::JournalWritten);
    bool ok = true;
    int err = 0;
    for (const JournalEntry& e : journal.entries) {
        if (!writeFully(fd.get(), e.now.data(), kRecordSize, offsetOf(e.index))) {
            ok = false;
            err = errno;
            break;
        }
        step(SaveStep::RecordWritten, e.index);
    }
    if (ok && ::fsync(fd.get()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        // Back to the old bytes now; if even that fails the journal stays for
        // the next save or start.
        if (undo(fd.get(), journal.entries) && ::unlink(journalPath.c_str()) == 0)
            syncDir(journalPath);
        fail("Cannot write", path, err);
    }
    step(SaveStep::RecordsFlushed);
    ::unlink(journalPath.c_str());
    syncDir(journalPath);
    return SaveOutcome::Saved;
}

} // namespace

void setSaveHookForTesting(SaveHook hook) {
    saveHook = hook;
}

std::string journalPathFor(const std::string& workingCopyPath) {
    return workingCopyPath + ".journal";
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

void removeSaveLeftovers(const std::string& userFile, const std::string& backupDir) {
    removeStaleTemps(userFile);
    removeStaleTemps(userFile + ".bak");
    if (!backupDir.empty())
        removeStaleTemps(backupDir + "/" + baseOf(userFile) + ".bak");
}

void keepBackup(const std::string& path, int count, const std::string& fallbackDir) {
    if (count <= 0)
        return;
    std::string dir = dirOf(path);
    if (::access(dir.c_str(), W_OK) != 0 && !fallbackDir.empty()) {
        dir = fallbackDir;
        for (std::size_t at = 1; at != std::string::npos; at = dir.find('/', at + 1))
            ::mkdir(dir.substr(0, at).c_str(), 0700); // the state folder may not exist yet
        ::mkdir(dir.c_str(), 0700);
    }
    const std::string bak = dir + "/" + baseOf(path) + ".bak";
    auto name = [&bak](int n) { return n == 1 ? bak : bak + "." + std::to_string(n); };
    for (int n = count; n >= 2; --n)
        if (::rename(name(n - 1).c_str(), name(n).c_str()) != 0 && errno != ENOENT)
            throw ioErrorFromErrno(errno);
    replaceFileAtomically(path, bak);
}

SaveOutcome saveToUserFile(UserFileSession& s, Prompts& prompts, bool refresh) {
    // After a failed load the working copy is empty: saving it would wipe the
    // user file.
    if (!s.workingCopy.holdsCopy()) {
        prompts.warning("Unable to save userfile\nThe working copy holds no loaded user file.");
        return SaveOutcome::Failed;
    }
    SaveOutcome outcome = SaveOutcome::Failed;
    try {
        // Exit closes the working copy before asking.
        if (!s.workingCopy.isOpen())
            s.workingCopy.open();
        rollBackInterruptedSave(journalPathFor(s.workingCopy.path()), prompts);
        if (::access(journalPathFor(s.workingCopy.path()).c_str(), F_OK) == 0)
            throw SaveFailure{"An interrupted save of " + s.userFileName +
                              " could not be undone yet."};
        outcome = mergeInto(s, prompts);
    } catch (const SaveFailure& f) {
        prompts.warning("Unable to save userfile\n" + f.why);
        return SaveOutcome::Failed;
    } catch (const IoError& e) {
        prompts.warning("Unable to save userfile\n" + std::string(e.what()) + ": " +
                        s.userFileName);
        return SaveOutcome::Failed;
    }
    if (outcome != SaveOutcome::Saved)
        return outcome;
    s.userFileChanged = false;
    if (refresh) {
        s.workingCopy.loadFrom(s.userFileName);
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
