// One real save against a board process that keeps changing the user file
// meanwhile (scripts/race-trials.sh runs many and sums what they print).
//
//   race_trial USERFILE WORKINGCOPY EVERY LOCKING SEED
//
// Loads USERFILE, changes every EVERY-th user (each byte xor 0x5A), forks the
// board, saves, stops the board and compares the file at the path with what
// the board's own log says it must hold. LOCKING 1: the board takes classic
// fcntl locks (its record's 273 bytes for a write or an append, the whole file
// for a shortening or a rename); 0: none. Every question is answered "Keep the
// board's" where offered, else "Cancel", so the board's last write to a user
// must always be in the file at the end: as it wrote it, or, for a changed
// user, with fields the operator changed and the board did not.
// Prints one line of name=value counts.

#include "trialsupport.h"
#include "userfile/fields.h"
#include "userfile/record.h"
#include "userfile/recordwriter.h"
#include "userfile/savefile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <iostream>
#include <map>
#include <set>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace trials;
using zorv::kRecordSize;
using zorv::Record;

// The bytes of the board's write number `seq` to user `index`: tagged, so no
// user file byte pattern and no operator change can be taken for one.
Record boardBytes(std::uint32_t seq, int index) {
    Record r{};
    std::uint64_t h = mix(seq ^ (static_cast<std::uint64_t>(index) << 32));
    for (std::size_t i = 0; i < kRecordSize; ++i) {
        if (i % 8 == 0)
            h = mix(h);
        r[i] = static_cast<std::uint8_t>(h >> (8 * (i % 8)));
    }
    std::memcpy(r.data(), "BOARD", 5);
    std::memcpy(r.data() + 5, &seq, 4);
    std::memcpy(r.data() + 9, &index, 4);
    return r;
}

// ------------------------------------------------------------------ board

enum class Act : int { Write, Append, Shorten, Rename };

struct BoardEvent {
    Act act;
    int index;         // Write/Append: the user; Shorten: the new count
    std::uint32_t seq; // Write/Append
    std::int64_t t0;   // begun (Rename: the copy begun)
    std::int64_t t1;   // done (bytes written, file cut, name replaced)
};

constexpr int kMaxEvents = 200'000;

struct Shared {
    std::atomic<int> stop;
    std::atomic<int> count;
    BoardEvent events[kMaxEvents];
};

// Runs until told to stop. `maintenance`: what the run does once, at `when`
// ns after its start (Write: nothing).
[[noreturn]] void runBoard(const std::string& path, const std::vector<int>& changed, bool locking,
                           std::uint64_t seed, Act maintenance, std::int64_t when, Shared* log) {
    Rng rng(seed);
    int n = 0;
    int fd = openForBoard(path, n);
    const int loaded = n;
    const std::int64_t start = nowNs();
    std::uint32_t seq = 1;
    bool maintained = maintenance == Act::Write;
    const auto record = [&](const BoardEvent& e) {
        const int at = log->count.load();
        if (at < kMaxEvents) {
            log->events[at] = e;
            log->count.store(at + 1);
        }
    };
    const auto writeUser = [&](int index, Act act) {
        const Record r = boardBytes(seq, index);
        const off_t at = static_cast<off_t>(index) * static_cast<off_t>(kRecordSize);
        const std::int64_t t0 = nowNs();
        if (locking)
            lockRange(fd, F_WRLCK, at, kRecordSize);
        const bool ok = pwriteAll(fd, r.data(), kRecordSize, at);
        const std::int64_t t1 = nowNs();
        if (locking)
            lockRange(fd, F_UNLCK, at, kRecordSize);
        if (ok)
            record({act, index, seq, t0, t1});
        ++seq;
    };
    while (!log->stop.load()) {
        if (!maintained && nowNs() - start >= when) {
            maintained = true;
            const std::int64_t t0 = nowNs();
            if (locking)
                lockRange(fd, F_WRLCK, 0, 0);
            if (maintenance == Act::Shorten) {
                // A purge of the last few users the editor loaded, so that the
                // last changed ones go.
                const int to = std::min(n, loaded) - 1 - rng.below(12);
                if (to > 0 && ::ftruncate(fd, static_cast<off_t>(to) * kRecordSize) == 0) {
                    n = to;
                    record({Act::Shorten, to, 0, t0, nowNs()});
                }
                if (locking)
                    lockRange(fd, F_UNLCK, 0, 0);
            } else {
                // A fresh copy of the file as it is now, renamed over it.
                const std::string fresh = path + ".board-fresh";
                std::vector<char> bytes(static_cast<std::size_t>(n) * kRecordSize);
                ssize_t got = ::pread(fd, bytes.data(), bytes.size(), 0);
                const int out = ::open(fresh.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
                if (got == static_cast<ssize_t>(bytes.size()) && out >= 0 &&
                    pwriteAll(out, bytes.data(), bytes.size(), 0) &&
                    ::rename(fresh.c_str(), path.c_str()) == 0) {
                    record({Act::Rename, -1, 0, t0, nowNs()});
                    ::close(fd); // the old file's locks go with it
                    fd = out;
                } else {
                    if (out >= 0)
                        ::close(out);
                    if (locking)
                        lockRange(fd, F_UNLCK, 0, 0);
                }
            }
            continue;
        }
        const int dice = rng.below(100);
        if (dice < 60 && !changed.empty()) {
            const int i =
                changed[static_cast<std::size_t>(rng.below(static_cast<int>(changed.size())))];
            if (i < n)
                writeUser(i, Act::Write);
        } else if (dice < 95) {
            writeUser(rng.below(n), Act::Write);
        } else {
            // At the end the file has now, as a board adds a new user.
            struct stat now {};
            if (::fstat(fd, &now) == 0) {
                n = static_cast<int>(now.st_size / static_cast<off_t>(kRecordSize));
                writeUser(n, Act::Append);
                ++n;
            }
        }
        ::usleep(static_cast<useconds_t>(50 + rng.below(300)));
    }
    ::_exit(0);
}

// Whether `r` is the board's record with some of the operator's changes in
// it: each field that differs from the board's is one the operator changed
// from `loaded` and the board did not. (A board write that landed during the
// save is merged against what the save decided on, so a change the board
// had made too and then took back stays the board's.)
bool mergedOver(const Record& r, const Record& board, const Record& loaded, const Record& mine) {
    Record rest = r;
    for (const zorv::UserField& f : zorv::userFields()) {
        if (!zorv::fieldDiffers(r, board, f))
            continue;
        if (!zorv::fieldDiffers(mine, loaded, f) || zorv::fieldDiffers(board, loaded, f) ||
            zorv::fieldDiffers(r, mine, f))
            return false;
        // The operator's text may be longer: past the board's NUL its
        // characters stand where the board's left-over bytes were.
        if (f.kind == zorv::FieldKind::Text)
            std::copy_n(board.begin() + static_cast<std::ptrdiff_t>(f.offset), f.width,
                        rest.begin() + static_cast<std::ptrdiff_t>(f.offset));
        else
            zorv::copyField(board, rest, f);
    }
    return rest == board;
}

// ------------------------------------------------------------------ save

struct Step {
    zorv::SaveStep step;
    int record;
    std::int64_t t;
};
std::vector<Step> steps;

void onStep(zorv::SaveStep step, int record) {
    steps.push_back({step, record, nowNs()});
}

const char* outcomeName(zorv::SaveOutcome o) {
    switch (o) {
    case zorv::SaveOutcome::Saved:
        return "Saved";
    case zorv::SaveOutcome::Partial:
        return "Partial";
    case zorv::SaveOutcome::Cancelled:
        return "Cancelled";
    case zorv::SaveOutcome::Failed:
        return "Failed";
    }
    return "?";
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::cerr << "usage: race_trial USERFILE WORKINGCOPY EVERY LOCKING SEED\n";
        return 2;
    }
    const std::string path = argv[1];
    const int every = std::max(1, std::atoi(argv[3]));
    const bool locking = std::atoi(argv[4]) != 0;
    const std::uint64_t seed = std::strtoull(argv[5], nullptr, 10);
    Rng rng(mix(seed) ^ 0x5AFE);

    BoardAnswers prompts;
    zorv::UserFileSession s;
    s.userFileName = path;
    s.workingCopy.setPath(argv[2]);
    if (!zorv::loadUserFile(s, prompts))
        return 2;
    const std::vector<Record> original = readAll(path);
    const int users = static_cast<int>(original.size());
    std::vector<int> changed;
    std::map<int, Record> mine;
    for (int i = 0; i < users; i += every) {
        s.workingCopy.readRecord(i, s.recordBuffer);
        for (auto& b : s.recordBuffer)
            b = static_cast<std::uint8_t>(b ^ 0x5A);
        s.workingCopy.writeRecord(i, s.recordBuffer);
        changed.push_back(i);
        mine[i] = s.recordBuffer;
    }
    s.userFileChanged = true;

    // The board's run: mostly writes, in some trials also one shortening or
    // one rename at a random moment of the save.
    auto* log = sharedWithChildren<Shared>();
    if (!log)
        return 2;
    const int pick = rng.below(10);
    const Act maintenance = pick < 6 ? Act::Write : pick < 8 ? Act::Shorten : Act::Rename;
    const std::int64_t when = static_cast<std::int64_t>(rng.below(150'000)) * 1000; // 0-150 ms
    const pid_t board = ::fork();
    if (board == 0)
        runBoard(path, changed, locking, mix(seed), maintenance, when, log);
    if (board < 0)
        return 2;

    ::usleep(static_cast<useconds_t>(rng.below(3000)));
    steps.reserve(4 * changed.size() + 16);
    zorv::setSaveHookForTesting(onStep);
    const std::int64_t saveStart = nowNs();
    const zorv::SaveOutcome outcome = zorv::saveToUserFile(s, prompts, false);
    const std::int64_t saveEnd = nowNs();
    zorv::setSaveHookForTesting(nullptr);
    ::usleep(static_cast<useconds_t>(rng.below(3000)));
    log->stop = 1;
    int status = 0;
    ::waitpid(board, &status, 0);

    // What the board left: its last write to each user, its count of users,
    // and the rename (if any) that made the file at the path.
    std::map<int, std::uint32_t> last;
    std::map<int, std::int64_t> lastDone;
    int n = users;
    int cutFrom = users; // no user from here on is there unless the board wrote it since
    const BoardEvent* rename = nullptr;
    int writes = 0, changedWrites = 0, shortened = 0, renamed = 0;
    std::set<int> changedSet(changed.begin(), changed.end());
    for (int k = 0; k < log->count.load(); ++k) {
        const BoardEvent& e = log->events[k];
        if (e.act == Act::Write || e.act == Act::Append) {
            last[e.index] = e.seq;
            lastDone[e.index] = e.t1;
            if (e.act == Act::Append)
                n = e.index + 1;
            ++writes;
            if (changedSet.count(e.index) && e.t1 >= saveStart && e.t0 <= saveEnd)
                ++changedWrites;
        } else if (e.act == Act::Shorten) {
            n = e.index;
            cutFrom = std::min(cutFrom, n);
            last.erase(last.lower_bound(n), last.end());
            ++shortened;
        } else {
            rename = &e;
            ++renamed;
        }
    }

    // The save's read of a record lies between the step before its check and
    // the check itself.
    std::map<int, std::int64_t> readFrom, writtenAt;
    std::int64_t firstWrite = 0, lastWrite = 0, flushed = 0, previous = saveStart;
    for (const Step& st : steps) {
        if (st.step == zorv::SaveStep::RecordChecked)
            readFrom[st.record] = previous;
        previous = st.t;
        if (st.step == zorv::SaveStep::RecordWritten) {
            writtenAt[st.record] = st.t;
            lastWrite = st.t;
            if (firstWrite == 0)
                firstWrite = st.t;
        }
        if (st.step == zorv::SaveStep::RecordsFlushed)
            flushed = st.t;
    }

    const std::vector<Record> now = readAll(path);
    const Record zero{};
    int lostBefore = 0, lostWindow = 0, zeroUsers = 0, regrown = 0, savedMissing = 0, damaged = 0;
    int halfApplied = 0;
    const bool saved = outcome == zorv::SaveOutcome::Saved || outcome == zorv::SaveOutcome::Partial;
    // A board copy read before the save's last write and renamed in after the
    // save's flush holds the file as the board read it: the board's doing.
    const bool boardCopiedOver = rename && rename->t0 < lastWrite && rename->t1 > flushed;
    // A board copy done after the save's first write may hold some of it.
    const bool boardCopiedIn = rename && firstWrite != 0 && rename->t1 >= firstWrite;
    const int span = std::max(n, static_cast<int>(now.size()));
    for (int i = 0; i < span; ++i) {
        if (i >= static_cast<int>(now.size())) {
            ++damaged; // a user the board left is gone
            continue;
        }
        const Record& r = now[static_cast<std::size_t>(i)];
        if (i >= n || (i >= cutFrom && !last.count(i))) {
            ++regrown;
            continue;
        }
        if (r == zero) {
            ++zeroUsers;
            continue;
        }
        if (const auto b = last.find(i); b != last.end()) {
            const Record board = boardBytes(b->second, i);
            if (r == board ||
                (changedSet.count(i) &&
                 mergedOver(r, board, original[static_cast<std::size_t>(i)], mine[i])))
                continue;
            // Done before the save read it again (a fault), or while it read
            // or between that read and its write (a lock-free board's risk).
            const auto c = readFrom.find(i);
            if (c != readFrom.end() && lastDone[i] > c->second)
                ++lostWindow;
            else
                ++lostBefore;
        } else if (changedSet.count(i)) {
            const Record& want = saved ? mine[i] : original[static_cast<std::size_t>(i)];
            if (r != want && saved && !boardCopiedOver)
                ++savedMissing;
            // Not saved, yet its change is in the file: a half-applied save.
            if (!saved && r == mine[i] && !boardCopiedIn)
                ++halfApplied;
        } else if (i < users && r != original[static_cast<std::size_t>(i)]) {
            ++damaged;
        }
    }
    // A save that says Saved though it wrote into a file the path no longer
    // named. (A rename after its last write is the board's: the file at the
    // path then holds what the board copied, checked above.)
    const bool savedIntoReplaced = saved && rename && rename->t1 < lastWrite;

    std::printf(
        "outcome=%s lost_before=%d lost_window=%d zero=%d regrown=%d saved_missing=%d "
        "saved_replaced=%d damaged=%d half=%d board_writes=%d changed_writes=%d questions=%d "
        "overwrites=%d shortened=%d renamed=%d save_ms=%.1f\n",
        outcomeName(outcome), lostBefore, lostWindow, zeroUsers, regrown, savedMissing,
        savedIntoReplaced ? 1 : 0, damaged, halfApplied, writes, changedWrites, prompts.questions,
        prompts.overwrites, shortened, renamed, static_cast<double>(saveEnd - saveStart) / 1e6);
    if (std::getenv("RACE_VERBOSE")) {
        std::fprintf(stderr, "%s\n", prompts.said.c_str());
        for (int k = 0; k < log->count.load(); ++k)
            if (log->events[k].act == Act::Shorten || log->events[k].act == Act::Rename)
                std::fprintf(
                    stderr,
                    "%s to %d at %.1f ms of the save (flushed at %.1f), file %zu users, board %d, "
                    "cut %d\n",
                    log->events[k].act == Act::Shorten ? "shortened" : "renamed",
                    log->events[k].index, static_cast<double>(log->events[k].t1 - saveStart) / 1e6,
                    static_cast<double>(flushed - saveStart) / 1e6, now.size(), n, cutFrom);
    }
    return 0;
}
