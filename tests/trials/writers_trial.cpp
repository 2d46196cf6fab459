// Real writing runs (zorvtool set and status, the editor's save) against a
// board process that writes the user file meanwhile and may purge it, killed
// at random moments (scripts/race-trials.sh runs many and sums what they print).
//
//   writers_trial KIND ZORVTOOL DIR USERS SEED KILL_MS
//
// KIND   cut       one run (status, set or the editor's save) while a purge
//                  that takes no lock cuts the file to half
//        renumber  one status run while a purge renames a renumbered copy of
//                  the file over it (every tenth user gone, the rest moved up,
//                  new users at the end), in the first quarter of KILL_MS
//        writers   a status run, a second tool run (status or set) and the
//                  editor's save at once
//        relative  one tool run started from another folder with a relative
//                  path, always killed
// DIR is made afresh: DIR/board/zorvuser.dat with USERS users, the board's
// folder. A run starts in DIR with the absolute path, in DIR/board with
// "zorvuser.dat" or in DIR/elsewhere with "../board/zorvuser.dat". Each run is
// killed (-9) at a random moment within KILL_MS of the start in half the
// trials, and the purge comes at such a moment (KILL_MS 0: neither, the runs
// are only timed); afterwards what the editor's start does is done from
// DIR, and the file at the path is checked. Prints one line of name=value
// counts, the runs' times among them (the script's KILL_MS comes from those).
//
// Users are told apart by their names, "U" and seven digits of their number
// in the file as made, and each kind of run has its own users and its own
// mark, so the file's bytes say whose change a user holds:
//   number % 7   0, 1: status killed --status-is active --logins-at-most 1
//                3, 4: status getlost --status-is active --last-call-before 2000-01-01
//                5: the editor's save (msgleft)   6: set (limit)   2: the board's only
// The board rewrites users (never the editor's) read-modify-write under a
// classic fcntl lock, changing only bytes 249-272; its purges take no lock.

#include "trialsupport.h"
#include "userfile/journalfile.h"
#include "userfile/record.h"
#include "userfile/rollback.h"
#include "userfile/savefile.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <vector>

namespace {

using namespace trials;
using zorv::kRecordSize;
using zorv::Record;

constexpr std::int32_t kSetMark = 54321;         // limit
constexpr std::int32_t kEditorMark = 1234567890; // msgleft
constexpr std::size_t kBoardBytes = 249;         // the board's own bytes: 249-272

Record makeUser(int id, Rng& rng) {
    Record r{};
    for (auto& b : r)
        b = static_cast<std::uint8_t>(rng.next());
    char name[30] = {};
    std::snprintf(name, sizeof name, "U%07d", id);
    std::memcpy(r.data(), name, 9); // with its NUL; the name's tail stays random
    r[zorv::kStatus.offset] = 0;
    zorv::putU32(r, zorv::kLogins.offset, static_cast<std::uint32_t>(id % 7));
    const bool old = id % 7 == 3 || id % 7 == 4;
    zorv::putU32(r, zorv::kLastcallOffset,
                 old ? 15u << 25 | 1u << 21 | 1u << 16   // 1995-01-01
                     : 40u << 25 | 1u << 21 | 1u << 16); // 2020-01-01
    if (zorv::readNumber(r, zorv::kLimit) == kSetMark)
        r[zorv::kLimit.offset] = 0;
    if (zorv::readNumber(r, zorv::kMsgleft) == kEditorMark)
        zorv::putU32(r, zorv::kMsgleft.offset, 0);
    return r;
}

// The number in a user's name, or -1 when it holds none.
int idOf(const Record& r) {
    if (r[0] != 'U' || r[8] != 0)
        return -1;
    int id = 0;
    for (int i = 1; i < 8; ++i) {
        if (r[i] < '0' || r[i] > '9')
            return -1;
        id = id * 10 + (r[i] - '0');
    }
    return id;
}

int idOfName(const std::string& name) {
    Record r{};
    std::memcpy(r.data(), name.data(), std::min<std::size_t>(name.size(), 29));
    return idOf(r);
}

// ------------------------------------------------------------------ board

enum class Purge { None, Cut, Renumber };

constexpr int kMaxWrites = 400'000;

struct Shared {
    std::atomic<int> stop;
    std::atomic<int> count;
    std::atomic<int> purgedTo;       // users the file holds after the purge; -1 before it
    std::atomic<int> ready;          // the board is writing (its purge's copy made)
    std::atomic<std::int64_t> start; // the runs started; the purge counts from here
    std::atomic<std::int64_t> purgedAt;
    int written[kMaxWrites]; // the users the board wrote
};

[[noreturn]] void runBoard(const std::string& path, std::uint64_t seed, Purge purge,
                           std::int64_t when, Shared* log) {
    Rng rng(seed);
    int n = 0;
    int fd = openForBoard(path, n);
    // The renumbering purge writes its copy first (every tenth user goes, the
    // others move up to close the gaps, new users fill the end) and renames it
    // in at its moment, so that moment is the one drawn.
    const std::string fresh = path + ".purge-fresh";
    int copy = -1;
    if (purge == Purge::Renumber) {
        const std::vector<Record> all = readAll(path);
        std::string kept;
        for (std::size_t i = 0; i < all.size(); ++i)
            if (i % 10 != 9)
                kept.append(reinterpret_cast<const char*>(all[i].data()), kRecordSize);
        for (int id = static_cast<int>(all.size()); kept.size() < all.size() * kRecordSize; ++id) {
            const Record r = makeUser(id, rng);
            kept.append(reinterpret_cast<const char*>(r.data()), kRecordSize);
        }
        copy = ::open(fresh.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        if (copy < 0 || !pwriteAll(copy, kept.data(), kept.size(), 0))
            ::_exit(3);
    }
    log->ready.store(1);
    bool purged = purge == Purge::None;
    std::uint32_t seq = 1;
    while (!log->stop.load()) {
        if (!purged && log->start.load() != 0 && nowNs() - log->start.load() >= when) {
            purged = true;
            if (purge == Purge::Cut) {
                n /= 2;
                if (::ftruncate(fd, static_cast<off_t>(n) * kRecordSize) != 0)
                    ::_exit(3);
            } else {
                if (::rename(fresh.c_str(), path.c_str()) != 0)
                    ::_exit(3);
                ::close(fd);
                fd = copy; // as many users: new ones filled the end
            }
            log->purgedAt.store(nowNs());
            log->purgedTo.store(n);
            continue;
        }
        const int index = rng.below(n);
        const off_t at = static_cast<off_t>(index) * static_cast<off_t>(kRecordSize);
        lockRange(fd, F_WRLCK, at, kRecordSize);
        Record r{};
        const bool whole =
            ::pread(fd, r.data(), kRecordSize, at) == static_cast<ssize_t>(kRecordSize);
        const int id = idOf(r);
        if (whole && id >= 0 && id % 7 != 5) {
            for (std::size_t i = kBoardBytes; i < kRecordSize; ++i)
                r[i] = static_cast<std::uint8_t>(seq >> (8 * (i % 4)));
            const int k = log->count.load();
            if (pwriteAll(fd, r.data(), kRecordSize, at) && k < kMaxWrites) {
                log->written[k] = id;
                log->count.store(k + 1);
            }
            ++seq;
        }
        lockRange(fd, F_UNLCK, at, kRecordSize);
        ::usleep(static_cast<useconds_t>(50 + rng.below(300)));
    }
    ::_exit(0);
}

// ------------------------------------------------------------------ runs

enum class Who { StatusKilled, StatusGetlost, Set, Editor };

const char* nameOf(Who w) {
    switch (w) {
    case Who::StatusKilled:
        return "status";
    case Who::StatusGetlost:
        return "status2";
    case Who::Set:
        return "set";
    case Who::Editor:
        return "editor";
    }
    return "?";
}

struct Run {
    Run(Who w, int mode, int user = -1) : who(w), pathMode(mode), setUser(user) {}
    Who who;
    int pathMode; // 0 absolute, 1 relative from the board's folder, 2 from another
    int setUser;
    pid_t pid = -1;
    int go = -1;              // the editor's: a byte here starts its save
    std::int64_t killAt = -1; // ns after the start; -1 never
    std::int64_t ended = 0;
    int status = 0;
    bool killed = false;
    std::string out, err;
};

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    return all.str();
}

std::string folderOf(const std::string& dir, int mode) {
    return mode == 0 ? dir : mode == 1 ? dir + "/board" : dir + "/elsewhere";
}

std::string pathFor(const std::string& dir, int mode) {
    return mode == 0   ? dir + "/board/zorvuser.dat"
           : mode == 1 ? "zorvuser.dat"
                       : "../board/zorvuser.dat";
}

void startTool(Run& run, const std::string& tool, const std::string& dir, int slot) {
    const std::string path = pathFor(dir, run.pathMode);
    std::vector<std::string> args{tool};
    switch (run.who) {
    case Who::StatusKilled:
        args.insert(args.end(),
                    {"status", path, "killed", "--status-is", "active", "--logins-at-most", "1"});
        break;
    case Who::StatusGetlost:
        args.insert(args.end(), {"status", path, "getlost", "--status-is", "active",
                                 "--last-call-before", "2000-01-01"});
        break;
    default:
        args.insert(args.end(), {"set", path, std::to_string(run.setUser),
                                 "limit=" + std::to_string(kSetMark)});
    }
    run.out = dir + "/run" + std::to_string(slot) + ".out";
    run.err = dir + "/run" + std::to_string(slot) + ".err";
    run.pid = ::fork();
    if (run.pid == 0) {
        std::vector<char*> argv;
        for (auto& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        const int o = ::open(run.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int e = ::open(run.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (o < 0 || e < 0 || ::chdir(folderOf(dir, run.pathMode).c_str()) != 0)
            ::_exit(127);
        ::dup2(o, STDOUT_FILENO);
        ::dup2(e, STDERR_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
}

int outcomeCode(zorv::SaveOutcome o) {
    switch (o) {
    case zorv::SaveOutcome::Saved:
        return 0;
    case zorv::SaveOutcome::Partial:
        return 3;
    default:
        return 2;
    }
}

// The editor: loads and changes its users, says so on `ready`, saves once a
// byte arrives on the go pipe. Exits as the tool would (0, 2, 3).
void startEditor(Run& run, const std::string& dir, int slot) {
    int ready[2], go[2];
    if (::pipe(ready) != 0 || ::pipe(go) != 0)
        std::exit(2);
    run.err = dir + "/run" + std::to_string(slot) + ".err";
    run.pid = ::fork();
    if (run.pid == 0) {
        ::close(ready[0]);
        ::close(go[1]);
        BoardAnswers prompts;
        zorv::UserFileSession s;
        s.userFileName = dir + "/board/zorvuser.dat";
        s.workingCopy.setPath(dir + "/editor/zorvedit.dat");
        if (!zorv::loadUserFile(s, prompts))
            ::_exit(2);
        for (int i = 5; i < s.workingCopy.recordCount(); i += 7) {
            s.workingCopy.readRecord(i, s.recordBuffer);
            zorv::putU32(s.recordBuffer, zorv::kMsgleft.offset, kEditorMark);
            s.workingCopy.writeRecord(i, s.recordBuffer);
        }
        s.userFileChanged = true;
        char c = 1;
        (void)!::write(ready[1], &c, 1);
        (void)!::read(go[0], &c, 1);
        const int code = outcomeCode(zorv::saveToUserFile(s, prompts, false));
        std::ofstream(run.err) << prompts.said;
        ::_exit(code);
    }
    ::close(ready[1]);
    ::close(go[0]);
    char c = 0;
    if (::read(ready[0], &c, 1) != 1)
        std::exit(2);
    ::close(ready[0]);
    run.go = go[1];
}

// Users a run named as left out: "  INDEX  NAME" lines (the editor's
// messages are joined by "|").
std::set<int> namedIds(std::string text) {
    std::replace(text.begin(), text.end(), '|', '\n');
    std::set<int> ids;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        std::istringstream words(line);
        std::string index, name;
        if (line.rfind("  ", 0) == 0 && words >> index >> name &&
            index.find_first_not_of("0123456789") == std::string::npos)
            if (const int id = idOfName(name); id >= 0)
                ids.insert(id);
    }
    return ids;
}

// What a status run listed as picked: "INDEX  NAME" lines, as index -> user.
std::map<int, int> pickedIds(const std::string& out) {
    std::map<int, int> picked;
    std::istringstream in(out);
    for (std::string index, name; in >> index >> name;)
        if (index.find_first_not_of("0123456789") == std::string::npos)
            if (const int id = idOfName(name); id >= 0)
                picked[std::stoi(index)] = id;
    return picked;
}

class Quiet : public zorv::Prompts {
  public:
    void message(const std::string&, const std::string&) override {}
    void warning(const std::string&) override {}
    bool confirm(const std::string&) override { return false; }
    int choose(const std::string&, const std::string&, const std::vector<std::string>& b) override {
        return static_cast<int>(b.size()) - 1;
    }
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 7) {
        std::cerr << "usage: writers_trial cut|renumber|writers|relative ZORVTOOL DIR USERS SEED "
                     "KILL_MS\n";
        return 2;
    }
    const std::string kind = argv[1];
    const std::string tool = argv[2];
    const int users = std::max(70, std::atoi(argv[4]));
    Rng rng(mix(std::strtoull(argv[5], nullptr, 10)) ^ 0x7E57);
    const std::int64_t killMs = std::atoll(argv[6]);
    if (kind != "cut" && kind != "renumber" && kind != "writers" && kind != "relative") {
        std::cerr << "writers_trial: unknown kind " << kind << '\n';
        return 2;
    }
    ::mkdir(argv[3], 0700);
    char real[PATH_MAX];
    if (!::realpath(argv[3], real))
        return 2;
    const std::string dir = real;
    for (const char* sub : {"/board", "/elsewhere", "/editor"})
        ::mkdir((dir + sub).c_str(), 0700);
    if (::chdir(dir.c_str()) != 0)
        return 2;
    const std::string file = dir + "/board/zorvuser.dat";
    {
        std::string all;
        for (int i = 0; i < users; ++i) {
            const Record r = makeUser(i, rng);
            all.append(reinterpret_cast<const char*>(r.data()), kRecordSize);
        }
        std::ofstream(file, std::ios::binary) << all;
    }

    // Who runs.
    std::vector<Run> runs;
    const auto anyMode = [&] { return rng.below(3); };
    const auto setUser = [&] { return 7 * rng.below(users / 7) + 6; };
    if (kind == "renumber") {
        runs.push_back({Who::StatusKilled, anyMode()});
    } else if (kind == "writers") {
        runs.push_back({Who::StatusKilled, anyMode()});
        runs.push_back({rng.below(2) ? Who::StatusGetlost : Who::Set, anyMode(), setUser()});
        runs.push_back({Who::Editor, 0});
    } else {
        const int pick = rng.below(10);
        const Who who = kind == "relative" ? (pick < 7 ? Who::StatusKilled : Who::Set)
                        : pick < 6         ? Who::StatusKilled
                        : pick < 8         ? Who::Set
                                           : Who::Editor;
        runs.push_back({who,
                        who == Who::Editor   ? 0
                        : kind == "relative" ? 2
                                             : anyMode(),
                        setUser()});
    }
    for (Run& r : runs)
        if (killMs > 0 && (kind == "relative" || rng.below(2)))
            r.killAt = static_cast<std::int64_t>(rng.next() % (killMs * 1'000'000 + 1));

    for (std::size_t i = 0; i < runs.size(); ++i)
        if (runs[i].who == Who::Editor)
            startEditor(runs[i], dir, static_cast<int>(i));

    auto* log = sharedWithChildren<Shared>();
    if (!log)
        return 2;
    log->purgedTo = -1;
    const Purge purge = killMs == 0          ? Purge::None // only timed, for the script
                        : kind == "cut"      ? Purge::Cut
                        : kind == "renumber" ? Purge::Renumber
                                             : Purge::None;
    // A run picks its users early: the renaming purge comes in the first quarter.
    const std::int64_t purgeWithin = (purge == Purge::Renumber ? killMs / 4 : killMs) * 1'000'000;
    const std::int64_t when =
        static_cast<std::int64_t>(rng.next() % static_cast<std::uint64_t>(purgeWithin + 1));
    const pid_t board = ::fork();
    if (board == 0)
        runBoard(file, mix(rng.next()), purge, when, log);
    if (board < 0)
        return 2;
    while (!log->ready.load() && ::waitpid(board, nullptr, WNOHANG) == 0)
        ::usleep(100);
    ::usleep(static_cast<useconds_t>(rng.below(2000)));

    const std::int64_t start = nowNs();
    log->start.store(start);
    for (std::size_t i = 0; i < runs.size(); ++i) {
        if (runs[i].who == Who::Editor) {
            char c = 1;
            (void)!::write(runs[i].go, &c, 1);
            ::close(runs[i].go);
        } else {
            startTool(runs[i], tool, dir, static_cast<int>(i));
        }
    }
    for (std::size_t alive = runs.size(); alive > 0;) {
        const std::int64_t now = nowNs();
        for (Run& r : runs) {
            if (r.ended)
                continue;
            if (::waitpid(r.pid, &r.status, WNOHANG) == r.pid) {
                r.ended = now;
                r.killed = WIFSIGNALED(r.status) && WTERMSIG(r.status) == SIGKILL;
                --alive;
            } else if (r.killAt >= 0 && now - start >= r.killAt) {
                ::kill(r.pid, SIGKILL);
                r.killAt = -1;
            }
        }
        ::usleep(100);
    }

    // What the editor's next start does, from a folder none of the runs
    // started in.
    Quiet quiet;
    zorv::rollBackInterruptedSave(zorv::journalPathFor(dir + "/editor/zorvedit.dat"), quiet);
    zorv::rollBackInterruptedSave(zorv::toolJournalPathFor(file), quiet);
    log->stop = 1;
    int boardStatus = 0;
    ::waitpid(board, &boardStatus, 0);

    const std::vector<Record> now = readAll(file);
    const int fileCount = static_cast<int>(now.size());
    const int boardCount = log->purgedTo.load() >= 0 ? log->purgedTo.load() : users;
    std::set<int> boardWrote(log->written, log->written + log->count.load());
    // Where each user is now, by its name.
    std::map<int, const Record*> byId;
    int zero = 0;
    const Record nothing{};
    for (std::size_t i = 0; i < now.size(); ++i) {
        const Record& r = now[i];
        if (r == nothing && static_cast<int>(i) < boardCount)
            ++zero; // past that, it counts as regrown
        else if (const int id = idOf(r); id >= 0)
            byId[id] = &r;
    }
    int half = 0, halfRelative = 0, wrong = 0, killed = 0, exit0 = 0, exit2 = 0, exit3 = 0;
    std::ostringstream times;
    for (const Run& r : runs) {
        const int code = r.killed ? -1 : WIFEXITED(r.status) ? WEXITSTATUS(r.status) : 2;
        killed += r.killed;
        exit0 += code == 0;
        exit3 += code == 3;
        exit2 += code != -1 && code != 0 && code != 3;
        if (!r.killed)
            times << ' ' << nameOf(r.who) << "_ms=" << (r.ended - start) / 1'000'000;
        const std::string out = r.out.empty() ? std::string() : slurp(r.out);
        const std::string err = slurp(r.err);
        // Its users, and whether a user holds its change.
        std::set<int> mine;
        std::function<bool(const Record&)> holds;
        std::function<bool(int index, int id)> meant; // the user at index is one it may change
        switch (r.who) {
        case Who::StatusKilled:
        case Who::StatusGetlost: {
            const unsigned target = r.who == Who::StatusKilled ? 2 : 1;
            const std::map<int, int> picked = pickedIds(out);
            for (const auto& [index, id] : picked)
                mine.insert(id);
            // Listed at that index: a run that wrote into a renumbered file
            // changes the user now there, under the old one's name.
            meant = [picked](int index, int id) {
                const auto at = picked.find(index);
                return at != picked.end() && at->second == id;
            };
            holds = [target](const Record& x) {
                return zorv::readCode(x, zorv::kStatus) == target;
            };
            break;
        }
        case Who::Set:
            mine = {r.setUser};
            meant = [&r](int, int id) { return id == r.setUser; };
            holds = [](const Record& x) { return zorv::readNumber(x, zorv::kLimit) == kSetMark; };
            break;
        case Who::Editor:
            for (int id = 5; id < users; id += 7)
                mine.insert(id);
            meant = [](int, int id) { return id % 7 == 5; };
            holds = [](const Record& x) {
                return zorv::readNumber(x, zorv::kMsgleft) == kEditorMark;
            };
            break;
        }
        for (std::size_t i = 0; i < now.size(); ++i)
            if (const int id = idOf(now[i]);
                id >= 0 && holds(now[i]) && !meant(static_cast<int>(i), id))
                ++wrong;
        if (kind == "renumber")
            continue; // the copy renamed in holds the file from before the runs
        // What is left to check: users still there that the board never
        // rewrote (a board write over ours is neither ours nor the old bytes,
        // so no roll-back touches it), and not named as left out.
        if (code == 3 && err.find("  ... and ") != std::string::npos)
            continue; // more left out than it names
        const std::set<int> left = code == 3 ? namedIds(err) : std::set<int>();
        int held = 0, checked = 0;
        for (int id : mine) {
            const auto at = byId.find(id);
            if (id >= boardCount || at == byId.end() || boardWrote.count(id) || left.count(id))
                continue;
            ++checked;
            held += holds(*at->second);
        }
        if (std::getenv("RACE_VERBOSE"))
            std::fprintf(stderr, "%s: %d of %d users changed\n", nameOf(r.who), held, checked);
        const bool whole = held == checked;
        if (code == -1 ? held != 0 && !whole : code == 0 || code == 3 ? !whole : held != 0) {
            ++half;
            halfRelative += r.pathMode != 0;
        }
    }
    std::printf("runs=%zu killed=%d exit0=%d exit2=%d exit3=%d zero=%d regrown=%d half=%d "
                "half_relative=%d wrong=%d purged=%d board_writes=%d%s\n",
                runs.size(), killed, exit0, exit2, exit3, zero, std::max(0, fileCount - boardCount),
                half, halfRelative, wrong, log->purgedTo.load() >= 0 ? 1 : 0, log->count.load(),
                times.str().c_str());
    if (std::getenv("RACE_VERBOSE") && log->purgedTo.load() >= 0)
        std::fprintf(stderr, "purged at %.1f ms\n",
                     static_cast<double>(log->purgedAt.load() - start) / 1e6);
    if (std::getenv("RACE_VERBOSE"))
        for (const Run& r : runs)
            std::fprintf(stderr, "%s mode %d killed %d status %d\n%s", nameOf(r.who), r.pathMode,
                         r.killed, r.status, slurp(r.err).c_str());
    return 0;
}
