#include "usersave.h"

#include "codepage.h"
#include "errors.h"
#include "fd.h"
#include "fields.h"
#include "pathparts.h"
#include "privatefile.h"
#include "record.h"
#include "recordio.h"
#include "recordlock.h"
#include "writerlock.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
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

bool isAllZero(const Record& r) {
    return std::all_of(r.begin(), r.end(), [](std::uint8_t b) { return b == 0; });
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
// private file renamed into place, so a rewrite is never seen half done. The
// first takes a free name only, a rewrite replaces only the journal it
// replaces (`previous`): whatever else lies there is never written through or
// removed. Returns the open, locked fd.
int writeJournal(const std::string& path, const Journal& j, int previous) {
    try {
        checkPrivateFolder(dirOf(path));
        ReplacementFile file(path, nullptr, false);
        file.append(encode(j));
        if (previous < 0)
            return file.commitKeepingLock(ReplacementFile::Commit::OnlyIntoAFreeName);
        struct stat ours {
        }, there{};
        if (::fstat(previous, &ours) != 0 || ::lstat(path.c_str(), &there) != 0 ||
            ours.st_dev != there.st_dev || ours.st_ino != there.st_ino)
            throw IoError(kFileAccessDenied,
                          "File access denied: it was replaced by something else meanwhile");
        return file.commitKeepingLock();
    } catch (const IoError& e) {
        throw SaveFailure{std::string("Cannot write the save journal ") + path + ": " + e.what()};
    }
}

// What lies at a journal's name, looked at before anything is opened.
enum class JournalAt { Nothing, Held, Foreign, Idle };

// An idle journal is read into `out` and stays locked through `fd`. A link is
// removed unread; anything else not ours alone is left alone (`st` says what).
JournalAt lookAtJournal(const std::string& path, Fd& fd, std::string& out, struct stat& st) {
    if (::lstat(path.c_str(), &st) != 0)
        return JournalAt::Nothing;
    if (S_ISLNK(st.st_mode)) {
        ::unlink(path.c_str());
        return JournalAt::Nothing;
    }
    if (!ownPlainFile(st))
        return JournalAt::Foreign; // never trusted, never opened: left for its owner
    fd.reset(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat opened {};
    if (fd.get() < 0 || ::fstat(fd.get(), &opened) != 0 || opened.st_dev != st.st_dev ||
        opened.st_ino != st.st_ino)
        return JournalAt::Held; // a run is renaming a new one into place
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        return JournalAt::Held;
    return readFully(fd.get(), out) ? JournalAt::Idle : JournalAt::Held;
}

// Removes the journal at `path` only while it is the one open on `fd`.
void removeJournal(const std::string& path, int fd) {
    struct stat a {
    }, b{};
    if (fd >= 0 && ::fstat(fd, &a) == 0 && ::lstat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
        a.st_ino == b.st_ino) {
        ::unlink(path.c_str());
        syncDir(path);
    }
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
// when a read or write failed; the journal must then stay. `pastEnd` counts
// the records the file no longer holds.
bool undo(int fd, const std::vector<JournalEntry>& entries, int* pastEnd = nullptr) {
    for (const JournalEntry& e : entries) {
        const RecordLock lock(fd, e.index, true, recordLockWaitMs());
        Record cur{};
        if (!readAt(fd, cur, offsetOf(e.index))) {
            if (errno != 0)
                return false;
            if (pastEnd) // the board shortened the file: nothing of ours there
                ++*pastEnd;
            continue;
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

// The run's first write into `path` keeps it as it was before, once every
// check has passed.
void keepRunsBackup(UserFileSession& s, const std::string& path) {
    if (s.backedUp.count(path))
        return;
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
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
    char* dir = ::realpath(dirOf(path).c_str(), nullptr);
    if (!dir)
        return std::nullopt; // the folder is gone: the copy says why it fails
    std::free(dir);
    const std::string tail = "; nothing was written. Remove the link, or open the file it "
                             "points to as the user file.";
    if (absolutePathOf(path) != loaded.entry)
        return path + " now lies in " + dirOf(absolutePathOf(path)) + ", not in " +
               dirOf(loaded.entry) + " as when the user file was loaded (a folder on the way " +
               "became a link)" + tail;
    struct stat lst {};
    if (::lstat(path.c_str(), &lst) != 0 || !S_ISLNK(lst.st_mode))
        return std::nullopt;
    std::string target;
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
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

// At most 15 users, so that a question fits on the screen.
template <class Users, class Lines> std::string listOf(const Users& users, Lines lines) {
    std::string list;
    const std::size_t shownMax = 15;
    for (std::size_t i = 0; i < users.size() && i < shownMax; ++i)
        list += lines(users[i]);
    if (users.size() > shownMax)
        list += "  ... and " + std::to_string(users.size() - shownMax) + " more\n";
    return list;
}

std::string userList(const std::vector<JournalEntry>& users) {
    return listOf(users, [](const JournalEntry& e) { return userLine(e.index, e.now) + "\n"; });
}

// A user both the operator and the board changed, with at least one field
// they changed to different values.
struct Disputed {
    int index;
    Record board; // what the file holds
    Record mine;  // the operator's record, for its name
    FieldMerge merge;
};

std::string disputedList(const std::vector<Disputed>& users) {
    return listOf(users, [](const Disputed& d) {
        std::string lines = userLine(d.index, d.mine) + "\n";
        for (const FieldConflict& c : d.merge.conflicts) {
            const char* q = c.field->kind == FieldKind::Text ? "\"" : "";
            lines += std::string("      ") + c.field->caption + " (" + c.field->name + "): yours " +
                     q + c.mine + q + ", the board's " + q + c.board + q + "\n";
        }
        return lines;
    });
}

// What the operator answered for such users, as writes over what the file
// holds; -1 for Cancel.
int settleDisputed(Prompts& prompts, const std::string& text, const std::vector<Disputed>& disputed,
                   std::vector<JournalEntry>& plan) {
    const int answer =
        prompts.choose("Save File", text, {"Keep mine", "Keep the board's", "Cancel"});
    if (answer != 0 && answer != 1)
        return -1;
    for (const Disputed& d : disputed) {
        const Record& r = answer == 0 ? d.merge.keepingMine : d.merge.keepingBoards;
        if (r != d.board)
            plan.push_back({d.index, d.board, r});
    }
    return answer;
}

// A record the board changed too is merged field by field: nothing to write
// when the board already holds the result; disputed when a field clashes.
void decide(int index, const Record& base, const Record& ours, const Record& now,
            const Record& mine, std::vector<JournalEntry>& plan, std::vector<Disputed>& disputed) {
    FieldMerge m = mergeFields(base, ours, now);
    if (!m.conflicts.empty())
        disputed.push_back({index, now, mine, std::move(m)});
    else if (m.keepingMine != now)
        plan.push_back({index, now, m.keepingMine});
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
// the operator wanted them saved, `cancelled` those the operator chose to
// leave unsaved when the board changed them during the save; both with the
// operator's bytes as `now`.
SaveOutcome mergeInto(UserFileSession& s, Prompts& prompts, std::vector<JournalEntry>& notSaved,
                      std::vector<JournalEntry>& cancelled, SaveReport& report) {
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
    report.changed = static_cast<int>(changes.size());

    struct stat gone {};
    if (::stat(path.c_str(), &gone) != 0 && errno == ENOENT &&
        ::stat(dirOf(path).c_str(), &gone) == 0)
        return overwriteWhole(s, prompts, report, "The user file " + path + " no longer exists.",
                              true);
    Fd fd(openRegularFile(path, O_RDWR));
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0)
        fail("Cannot read", path, errno);
    struct stat wcSt {};
    if (::stat(wc.path().c_str(), &wcSt) == 0 && wcSt.st_dev == st.st_dev &&
        wcSt.st_ino == st.st_ino) {
        report.whole = true; // its own working copy: every write is already there
        report.written = report.changed;
        return SaveOutcome::Saved;
    }
    if (changes.empty())
        return SaveOutcome::Saved;

    const std::string replaced =
        "The user file " + path + " was replaced by another file since it was loaded.";
    if (!sameFile(st, wc.source()))
        return overwriteWhole(s, prompts, report, replaced);
    const off_t needed = offsetOf(changes.back().index + 1);
    if (st.st_size < needed)
        return overwriteWhole(s, prompts, report,
                              shorterText(path, st.st_size, changes.back().index));

    // What the board holds now decides, record by record. A record the board
    // is writing under its lock is read once that write is done.
    std::vector<JournalEntry> plan;
    std::vector<Disputed> disputed;
    for (const Change& c : changes) {
        Record cur{};
        {
            const RecordLock shared(fd.get(), c.index, false, 100);
            if (!readAt(fd.get(), cur, offsetOf(c.index))) {
                if (errno != 0)
                    fail("Cannot read", path, errno);
                // Cut since the size was looked at: nothing is written.
                return overwriteWhole(s, prompts, report,
                                      shorterText(path, sizeOf(fd.get()), changes.back().index));
            }
        }
        if (cur == c.mine)
            continue;
        if (cur == c.loaded)
            plan.push_back({c.index, cur, c.mine});
        else
            decide(c.index, c.loaded, c.mine, cur, c.mine, plan, disputed);
    }
    if (!disputed.empty()) {
        const bool one = disputed.size() == 1;
        if (settleDisputed(prompts,
                           std::string("The board changed ") + (one ? "this user" : "these users") +
                               " since the user file was loaded, and so did you, in the same " +
                               (one ? "field" : "fields") + ":\n\n" + disputedList(disputed) +
                               "\nYour other changes go over the board's record either way. "
                               "Keep your values in these fields, or the board's?",
                           disputed, plan) < 0)
            return SaveOutcome::Cancelled;
    }
    if (plan.empty())
        return SaveOutcome::Saved;

    // The questions took time: the board may have replaced or cut the file
    // meanwhile. Nothing is written then, and no backup made.
    if (!pathNamesFile(path, fd.get()))
        return overwriteWhole(s, prompts, report, replaced);
    if (const off_t size = sizeOf(fd.get()); size < needed)
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
    auto leave = [&changeAt](const std::vector<JournalEntry>& left, std::vector<JournalEntry>& to) {
        for (const JournalEntry& e : left)
            to.push_back({e.index, e.old, changeAt.at(e.index)->mine});
    };
    std::map<int, Record> decidedOn;
    for (const JournalEntry& e : plan)
        decidedOn[e.index] = e.old;

    RecordWriter w(fd.get(), wc.source(), path, journal);
    RecordWriter::Pass first = w.write(plan);
    if (first.shortened)
        return abandon(w, "shortened");
    if (first.replaced)
        return abandon(w, "replaced by another file");
    leave(first.locked, notSaved);

    // The board wrote these after the decision: what was decided goes over
    // what it holds now by the same rule, as changes from what the decision
    // was made on.
    std::vector<JournalEntry> again;
    std::vector<Disputed> disputedNow;
    for (const JournalEntry& e : first.moved)
        decide(e.index, decidedOn.at(e.index), e.now, e.old, changeAt.at(e.index)->mine, again,
               disputedNow);
    if (!disputedNow.empty()) {
        const bool one = disputedNow.size() == 1;
        const std::string these = one ? "this user" : "these users";
        if (settleDisputed(prompts,
                           "The board changed " + these +
                               " while your changes were being saved, in " +
                               (one ? "a field" : "fields") + " you changed too:\n\n" +
                               disputedList(disputedNow) +
                               "\nYour other changes are saved. Keep your values in these "
                               "fields, or the board's? Cancel leaves " +
                               these + " unsaved and changed in the editor.",
                           disputedNow, again) < 0) {
            for (const Disputed& d : disputedNow)
                cancelled.push_back({d.index, d.board, d.mine});
        }
    }
    if (!again.empty()) {
        if (!pathNamesFile(path, fd.get()))
            return abandon(w, "replaced by another file");
        RecordWriter::Pass second = w.write(again);
        if (second.shortened)
            return abandon(w, "shortened");
        if (second.replaced)
            return abandon(w, "replaced by another file");
        leave(second.moved, notSaved);
        leave(second.locked, notSaved);
    }
    step(SaveStep::RecordsFlushed);
    report.written = w.usersWritten();
    w.finish();
    return notSaved.empty() && cancelled.empty() ? SaveOutcome::Saved : SaveOutcome::Partial;
}

} // namespace

RecordWriter::RecordWriter(int fd, const FileIdentity& file, std::string path,
                           std::string journalPath)
    : fd_(fd), file_(file), path_(std::move(path)), absolutePath_(absolutePathOf(path_)),
      journalPath_(std::move(journalPath)) {}

RecordWriter::~RecordWriter() {
    // Left unfinished by a failure: what was written is taken back; a journal
    // that could not be applied stays for the next save or start.
    if (!written_.empty())
        rollBack();
    else if (lock_ >= 0)
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
    const int lock = writeJournal(journalPath_, Journal{file_, absolutePath_, entries_}, lock_);
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
        RecordWrite now = e;
        if (!readAt(fd_, now.old, offsetOf(e.index))) {
            if (errno == 0) {
                pass.shortened = true;
                break;
            }
            const int err = errno;
            rollBack();
            fail("Cannot read", path_, err);
        }
        // The user before it, to tell the gap a cut from now on would leave.
        Record before{};
        const bool userBefore =
            e.index > 0 && readAt(fd_, before, offsetOf(e.index - 1)) && !isAllZero(before);
        const off_t sizeBefore = sizeOf(fd_);
        if (sizeBefore < offsetOf(e.index + 1)) {
            pass.shortened = true;
            break;
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
        // A cut that reached this very record leaves no gap, but the file
        // shrank: a purge renumbered it.
        if (regrew(e.index, userBefore, sizeBefore) ||
            (sizeBefore > offsetOf(e.index + 1) && sizeOf(fd_) == offsetOf(e.index + 1))) {
            pass.shortened = true;
            break;
        }
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

// A write past the end of a file cut since its check extends the file again,
// over a gap of zeros (a hole): the users the purge removed come back as
// zeros, and ours as the last. Seen as a write that now ends the file with a
// user of zeros before it where a user was (or after the file shrank). The
// gap is cut off while the size is still the one our write made; once the
// board has written past it, it is left and said.
bool RecordWriter::regrew(int index, bool userBefore, off_t sizeBefore) {
    const off_t end = offsetOf(index + 1);
    if (index == 0 || sizeOf(fd_) != end || (!userBefore && sizeBefore <= end))
        return false;
    // Where the zeros begin, looked for from the back in blocks.
    constexpr int kBlock = 64;
    std::vector<Record> block(kBlock);
    int from = index;
    bool more = true;
    while (more && from > 0) {
        const int first = std::max(0, from - kBlock);
        const auto bytes = static_cast<std::size_t>(from - first) * kRecordSize;
        if (::pread(fd_, block.data(), bytes, offsetOf(first)) != static_cast<ssize_t>(bytes))
            break;
        for (int i = from - 1; i >= first && more; --i) {
            more = isAllZero(block[static_cast<std::size_t>(i - first)]);
            if (more)
                from = i;
        }
    }
    if (from == index)
        return false;
    zerosFrom_ = from;
    regrownUpTo_ = index + 1;
    cutBack_ = sizeOf(fd_) == end && ::ftruncate(fd_, offsetOf(from)) == 0;
    return true;
}

std::string RecordWriter::rollBack() {
    if (written_.empty())
        return {};
    int pastEnd = 0;
    const bool undone = undo(fd_, written_, &pastEnd);
    const int err = errno;
    const auto inFile = static_cast<int>(written_.size()) - pastEnd;
    std::string said;
    if (zerosFrom_ >= 0) {
        const int last = regrownUpTo_ - 1;
        said = cutBack_ ? "The save's write of user " + std::to_string(last) +
                              " had made it longer again; it was cut back to " +
                              std::to_string(zerosFrom_) + " users, as the board left it. "
                        : "The save's write of user " + std::to_string(last) +
                              " made it longer again, with users " + std::to_string(zerosFrom_) +
                              " to " + std::to_string(last - 1) +
                              " all zeros, and the board has written to it since, so that "
                              "was left as it is: look at those users. ";
    }
    if (!undone)
        said += "What the save had written into it could not all be taken back yet (" +
                std::string(std::strerror(err)) + "); that is done before the next save.";
    else if (inFile > 0)
        said += pastEnd > 0 ? "What the save had written into the users it still holds was "
                              "taken back."
                            : "What the save had written into it was taken back.";
    if (undone)
        finish();
    written_.clear();
    while (!said.empty() && said.back() == ' ')
        said.pop_back();
    return said;
}

int RecordWriter::usersWritten() const {
    std::set<int> users;
    for (const RecordWrite& e : written_)
        users.insert(e.index);
    return static_cast<int>(users.size());
}

void RecordWriter::finish() {
    removeJournal(journalPath_, lock_);
    if (lock_ >= 0)
        ::close(lock_);
    lock_ = -1;
    written_.clear();
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

namespace {

constexpr int kUnappliedKept = 5;

// Keeps a journal that cannot be applied beside itself as
// NAME.unapplied-<date-time> (it is already 0600); of those, the newest five
// stay. Returns what happened, for the operator.
std::string keepUnapplied(const std::string& journalPath, int fd) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    struct tm local {};
    ::localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    const std::string stem = journalPath + ".unapplied-";
    std::string kept;
    for (int n = 1; n <= 9 && kept.empty(); ++n) {
        const std::string name = stem + stamp + (n == 1 ? "" : "-" + std::to_string(n));
        if (::renameat2(AT_FDCWD, journalPath.c_str(), AT_FDCWD, name.c_str(), RENAME_NOREPLACE) ==
                0 ||
            (errno != EEXIST && ::link(journalPath.c_str(), name.c_str()) == 0 &&
             ::unlink(journalPath.c_str()) == 0))
            kept = name;
        else if (errno != EEXIST)
            break;
    }
    if (kept.empty())
        return "Its journal stays at " + journalPath + ": it could not be renamed (" +
               std::strerror(errno) + "), so nothing is written until it is moved away.";
    (void)::fchmod(fd, 0600);
    syncDir(journalPath);
    std::string said = "Its journal, with the users' bytes from before and after that save, is "
                       "kept as " +
                       kept + ".";
    // Only our own plain files of that name count, and only they are removed.
    std::vector<std::string> all;
    const std::string dir = dirOf(journalPath);
    const std::string prefix = baseOf(stem);
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            const std::string name = e->d_name;
            struct stat st {};
            if (name.compare(0, prefix.size(), prefix) == 0 &&
                ::lstat((dir + "/" + name).c_str(), &st) == 0 && ownPlainFile(st))
                all.push_back(dir + "/" + name);
        }
        ::closedir(d);
    }
    std::sort(all.begin(), all.end());
    for (std::size_t i = 0; i + kUnappliedKept < all.size(); ++i)
        if (all[i] != kept && ::unlink(all[i].c_str()) == 0)
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
    struct stat at {};
    if (lookAtJournal(journalPath, held, bytes, at) != JournalAt::Idle)
        return false;
    Journal j;
    if (!decode(bytes, j)) {
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
        struct stat st {};
        if (::stat(c.c_str(), &st) == 0) {
            if (sameFile(st, j.file)) {
                found = c;
                break;
            }
        } else if (errno != ENOENT && errno != ENOTDIR && unsure.empty()) {
            unsure = c + ": " + std::strerror(errno);
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
        fd.reset(openRegularFile(found, O_RDWR));
    } catch (const IoError& e) {
        prompts.warning(cannotUndoYet(found, e.what()));
        return true;
    }
    (void)lockWithin(fd.get(), 5000);
    if (!undo(fd.get(), j.entries)) {
        prompts.warning(cannotUndoYet(found, std::strerror(errno)));
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
    struct stat st {};
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

void removeSaveLeftovers(const std::string& userFile, const std::string& backupDir,
                         const std::string& journalPath) {
    removeStaleTemps(userFile);
    removeStaleTemps(toolJournalPathFor(userFile)); // a killed zorvtool run's
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
    // Only the slots that exist move up, so a large count costs nothing more.
    struct stat slot {};
    int used = 0;
    while (used < count && ::lstat(name(used + 1).c_str(), &slot) == 0)
        ++used;
    for (int n = std::min(used + 1, count); n >= 2; --n)
        if (::rename(name(n - 1).c_str(), name(n).c_str()) != 0 && errno != ENOENT)
            throw ioErrorFromErrno(errno);
    // The copy takes the user file's mode and group, whatever lay at its name.
    struct stat model {};
    if (::stat(path.c_str(), &model) != 0)
        throw ioErrorFromErrno(errno);
    copyFilePrivately(path, bak, model);
}

namespace {

// Warnings kept for later: none is shown while the writers' lock is held.
class HeldBack : public Prompts {
  public:
    std::vector<std::string> said;
    void message(const std::string&, const std::string& text) override { said.push_back(text); }
    void warning(const std::string& text) override { said.push_back(text); }
    bool confirm(const std::string&) override { return false; }
    int choose(const std::string&, const std::string&,
               const std::vector<std::string>& buttons) override {
        return static_cast<int>(buttons.size()) - 1;
    }
};

// The write phase of one save, as the prompts the merge asks through: the
// writers' lock is held from enter() to leave(), except while a box is up.
// After each box it is taken again and checked again: a zorvtool run killed
// meanwhile is undone first. The merge itself checks the file again.
class WritePhase : public Prompts {
  public:
    WritePhase(UserFileSession& s, Prompts& prompts)
        : s_(s), prompts_(prompts),
          lock_(s.userFileName, s.writerLockTiming,
                [&prompts](const std::string& text) { prompts.status(text); }) {}

    // Also looks at the working copy's journal: one left by this program is
    // undone, anything else there stops the save before it writes a byte.
    void enter() {
        takeAndCheck(true);
        const std::string own = journalPathFor(s_.workingCopy.path());
        if (auto taken = journalNameTaken(own, s_.userFileName))
            throw SaveFailure{*taken};
    }
    void leave() { lock_.release(); }

    void message(const std::string& title, const std::string& text) override {
        unlocked([&] { prompts_.message(title, text); });
    }
    void warning(const std::string& text) override {
        unlocked([&] { prompts_.warning(text); });
    }
    bool confirm(const std::string& text) override {
        bool yes = false;
        unlocked([&] { yes = prompts_.confirm(text); });
        return yes;
    }
    int choose(const std::string& title, const std::string& text,
               const std::vector<std::string>& buttons) override {
        int answer = -1;
        unlocked([&] { answer = prompts_.choose(title, text, buttons); });
        return answer;
    }
    Answer confirmOrCancel(const std::string& text) override {
        Answer answer = Answer::Cancel;
        unlocked([&] { answer = prompts_.confirmOrCancel(text); });
        return answer;
    }
    void status(const std::string& text) override { prompts_.status(text); }

  private:
    template <typename Ask> void unlocked(const Ask& ask) {
        lock_.release();
        ask();
        takeAndCheck(false);
    }
    void takeAndCheck(bool first) {
        for (;;) {
            if (auto refused = lock_.take())
                throw SaveFailure{*refused};
            HeldBack held;
            rollBackInterruptedSave(toolJournalPathFor(s_.userFileName), held, s_.userFileName);
            if (first)
                rollBackInterruptedSave(journalPathFor(s_.workingCopy.path()), held,
                                        s_.userFileName);
            if (held.said.empty())
                return;
            lock_.release();
            for (const std::string& text : held.said)
                prompts_.warning(text);
            first = false; // what the first look found is done
        }
    }

    UserFileSession& s_;
    Prompts& prompts_;
    WriterLock lock_;
};

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
    std::vector<JournalEntry> notSaved;
    std::vector<JournalEntry> cancelled;
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
    const auto byIndex = [](const JournalEntry& a, const JournalEntry& b) {
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
