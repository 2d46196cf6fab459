// zorvtool set and status: field edits, refused values, and the safe save
// while a board writes.
#include "plants.h"
#include "scripted_prompts.h"
#include "tempdir.h"
#include "toolrun.h"
#include "toolsave.h"
#include "userfile/codepage.h"
#include "userfile/journalfile.h"
#include "userfile/record.h"
#include "userfile/recordwriter.h"
#include "userfile/replacement.h"
#include "userfile/rollback.h"
#include "userfile/writerlock.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <utility>

using namespace zorv;
using zorvtest::readFileBytes;
using zorvtest::TempDir;
using zorvtest::tool;
using zorvtest::writeFileBytes;

namespace {

Record user(int i) {
    Record r{};
    for (std::size_t k = 0; k < kRecordSize; ++k)
        r[k] = static_cast<std::uint8_t>(i * 13 + k * 7);
    const std::string name = "USER " + std::to_string(i);
    std::copy(name.begin(), name.end(), r.begin());
    r[name.size()] = 0;
    r[kStatus.offset] = 0;
    putU32(r, kLastcallOffset, (30u << 25) | (6u << 21) | (1u << 16)); // 2010-06-01
    return r;
}

struct ToolWriteTest : ::testing::Test {
    TempDir tmp;
    std::string file = tmp.file("zorvuser.dat");
    void SetUp() override {
        ::setenv("XDG_CONFIG_HOME", tmp.path().c_str(), 1);
        ::setenv("XDG_STATE_HOME", tmp.path().c_str(), 1);
        std::string all;
        for (int i = 0; i < 40; ++i)
            all.append(reinterpret_cast<const char*>(user(i).data()), kRecordSize);
        writeFileBytes(file, all);
    }
    Record at(int i) {
        const std::string b = readFileBytes(file);
        Record r{};
        std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(i * kRecordSize), kRecordSize,
                    r.begin());
        return r;
    }
};

} // namespace

TEST_F(ToolWriteTest, SetChangesOnlyTheNamedFieldsBytes) {
    const Record before = at(3);
    auto run = tool({"set", file, "3", "address=Bjørnveien 7 \"A\"", "status=Killed", "ttype=vt320",
                     "limit=65535", "tleft=-5", "sysop=200", "access=Up & Down",
                     "lastcall=2026-12-01T13:45"});
    ASSERT_EQ(run.code, 0) << run.err;
    const Record r = at(3);
    EXPECT_EQ(rawText(r, kAddress), "Bj\x9Brnveien 7 \"A\"");
    EXPECT_EQ(readCode(r, kStatus), 2u);
    EXPECT_EQ(readCode(r, kTtype), 3u) << "the item's code, not its index";
    EXPECT_EQ(readCode(r, kEditor), readCode(before, kEditor)) << "the byte's other half stays";
    EXPECT_EQ(readNumber(r, kLimit), 65535);
    EXPECT_EQ(readNumber(r, kTleft), -5);
    EXPECT_EQ(readSecurity(r), (readSecurity(before) & 0x3FFFFF00u) | 200u | 3u << 30);
    EXPECT_EQ(readLastcall(r), (46u << 25) | (12u << 21) | (1u << 16) | (13u << 11) | (45u << 5));
    // Every byte outside those fields is as it was, the address's tail included.
    Record masked = r;
    const std::string addr = "Bj\x9Brnveien 7 \"A\"";
    for (std::size_t k = 0; k <= addr.size(); ++k)
        masked[kAddress.offset + k] = before[kAddress.offset + k];
    for (std::size_t off : {kStatus.offset, std::size_t{143}, kLimit.offset, kLimit.offset + 1,
                            kTleft.offset, kTleft.offset + 1})
        masked[off] = before[off];
    for (std::size_t k = 0; k < 4; ++k) {
        masked[kSecurityOffset + k] = before[kSecurityOffset + k];
        masked[kLastcallOffset + k] = before[kLastcallOffset + k];
    }
    EXPECT_EQ(masked, before);
    EXPECT_EQ(at(2), user(2));
}

TEST_F(ToolWriteTest, RefusedValuesNameTheFieldAndWriteNothing) {
    const std::string before = readFileBytes(file);
    // A $hex value is the number its decimal is: no wrap into the field's range.
    for (const char* bad :
         {"pagel=256", "tleft=40000", "logins=x", "Name=\xE2\x82\xAC", "Tlf=12345678901234567",
          "status=asleep", "status=4", "status=$FF", "ttype=16", "tleft=$8000",
          "tleft=$FFFFFFFFFFFFFFFF", "logins=$FFFFFFFF80000000", "userflags=$100000000",
          "lastcall=2026-02-30", "firstcall=1979-12-31", "nosuch=1", "limit"}) {
        SCOPED_TRACE(bad);
        auto run = tool({"set", file, "1", "limit=7", bad});
        EXPECT_EQ(run.code, 2);
        const std::string field = std::string(bad).substr(0, std::string(bad).find('='));
        EXPECT_NE(run.err.find(field), std::string::npos) << run.err;
        EXPECT_TRUE(readFileBytes(file) == before) << "the file changed";
    }
    EXPECT_EQ(tool({"set", file, "40", "limit=7"}).code, 2) << "no such user";
    EXPECT_TRUE(readFileBytes(file) == before) << "the file changed";
    const auto status = tool({"set", file, "1", "status=4"});
    EXPECT_NE(status.err.find("from 0 to 3"), std::string::npos) << status.err;

    // The edges themselves are taken.
    auto edges = tool({"set", file, "1", "tleft=$7FFF", "timelimit=-32768", "logins=$7FFFFFFF",
                       "userflags=$FFFFFFFF", "status=$3"});
    ASSERT_EQ(edges.code, 0) << edges.err;
    EXPECT_EQ(readNumber(at(1), kTleft), 32767);
    EXPECT_EQ(readNumber(at(1), kTimelimit), -32768);
    EXPECT_EQ(readNumber(at(1), kLogins), 2147483647);
    EXPECT_EQ(readUserflags(at(1)), 0xFFFFFFFFu);
    EXPECT_EQ(readCode(at(1), kStatus), 3u);
}

TEST_F(ToolWriteTest, StatusFiltersDryRunAndCounts) {
    ASSERT_EQ(tool({"set", file, "5", "lastcall=2025-01-01"}).code, 0);
    Record never = at(6);
    putU32(never, kLastcallOffset, 0); // no valid date: never called
    zorvtest::writeBytesAt(
        file, 6 * static_cast<long long>(kRecordSize),
        std::string_view(reinterpret_cast<const char*>(never.data()), kRecordSize));
    ASSERT_EQ(tool({"set", file, "7", "status=killed"}).code, 0);
    const std::string before = readFileBytes(file);

    auto dry = tool({"status", file, "killed", "--last-call-before", "2020-01-01", "--user", "5",
                     "--user", "6", "--user", "7", "--dry-run"});
    EXPECT_EQ(dry.code, 0) << dry.err;
    EXPECT_EQ(dry.out, "6  USER 6\n1 users\n") << "5 called later, 7 is killed already";
    EXPECT_EQ(readFileBytes(file), before);

    EXPECT_EQ(tool({"status", file, "killed"}).code, 2) << "no filter, no run";
    auto run =
        tool({"status", file, "3", "--status-is", "active", "--logins-at-most", "2147483647"});
    EXPECT_EQ(run.code, 0) << run.err;
    EXPECT_NE(run.out.find("\n39 users\n"), std::string::npos) << run.out;
    for (int i = 0; i < 40; ++i)
        EXPECT_EQ(readCode(at(i), kStatus), i == 7 ? 2u : 3u) << i;
    EXPECT_EQ(tool({"status", file, "kill+boot", "--status-is", "killed"}).out,
              "7  USER 7\n1 users\n");
}

TEST_F(ToolWriteTest, ABoardWritingMeanwhileLosesNothing) {
    // The board rewrites even users under its record lock while status
    // changes every user; each of its writes must survive whole.
    std::atomic<bool> stop{false};
    std::vector<Record> last(40);
    for (int i = 0; i < 40; ++i)
        last[static_cast<std::size_t>(i)] = user(i);
    std::thread board([&] {
        const int fd = ::open(file.c_str(), O_RDWR);
        for (std::uint32_t n = 1; !stop; ++n) {
            const int i = static_cast<int>(n * 2 % 40);
            Record r = last[static_cast<std::size_t>(i)];
            putU32(r, kLogins.offset, n);
            struct flock fl {};
            fl.l_type = F_WRLCK;
            fl.l_start = i * static_cast<off_t>(kRecordSize);
            fl.l_len = kRecordSize;
            ::fcntl(fd, F_OFD_SETLKW, &fl);
            // The board's own read-modify-write keeps whatever status is there.
            Record cur{};
            (void)!::pread(fd, cur.data(), kRecordSize, fl.l_start);
            r[kStatus.offset] = cur[kStatus.offset];
            (void)!::pwrite(fd, r.data(), kRecordSize, fl.l_start);
            last[static_cast<std::size_t>(i)] = r;
            fl.l_type = F_UNLCK;
            ::fcntl(fd, F_OFD_SETLK, &fl);
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        ::close(fd);
    });
    int written = 0;
    for (int round = 0; round < 20; ++round) {
        const auto run = tool(
            {"status", file, round % 2 ? "active" : "getlost", "--logins-at-most", "2147483647"});
        // 3: a user the board rewrote twice in a row was left as the board has it.
        EXPECT_TRUE(run.code == 0 || run.code == 3) << run.err;
        written += run.code == 0;
    }
    stop = true;
    board.join();
    EXPECT_GT(written, 0);
    for (int i = 0; i < 40; ++i) {
        Record want = last[static_cast<std::size_t>(i)];
        Record got = at(i);
        want[kStatus.offset] = got[kStatus.offset] = 0;
        EXPECT_EQ(got, want) << "user " << i;
    }
}

TEST_F(ToolWriteTest, AKilledSetIsRolledBackByTheNextCommand) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        setSaveHookForTesting([](SaveStep s, int) {
            if (s == SaveStep::RecordWritten)
                ::raise(SIGKILL);
        });
        tool({"set", file, "4", "limit=1234"});
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(readNumber(at(4), kLimit), 1234) << "written before the kill";
    EXPECT_TRUE(zorvtest::fileExists(toolJournalPathFor(file)));

    auto next = tool({"set", file, "9", "limit=99"});
    EXPECT_EQ(next.code, 0) << next.err;
    EXPECT_NE(next.err.find("interrupted"), std::string::npos) << next.err;
    EXPECT_EQ(at(4), user(4));
    EXPECT_EQ(readNumber(at(9), kLimit), 99);
    EXPECT_FALSE(zorvtest::fileExists(toolJournalPathFor(file)));
}

// A purge may run between status's read that picks the users and its write:
// the users it printed must be the ones it changes, or none is.
TEST_F(ToolWriteTest, StatusWritesNothingIntoAFileRenamedInAfterItsPick) {
    const auto run = zorvtest::toolFlushing(
        {"status", file, "killed", "--user", "3", "--user", "4", "--user", "5"}, [&] {
            // User 4 purged, the rest renumbered, the copy renamed over the file.
            std::vector<Record> kept;
            for (int i = 0; i < 40; ++i)
                if (i != 4)
                    kept.push_back(user(i));
            writeFileBytes(tmp.file("fresh"), zorvtest::bytesOf(kept));
            ASSERT_EQ(::rename(tmp.file("fresh").c_str(), file.c_str()), 0);
        });
    EXPECT_EQ(run.code, 2) << run.err;
    EXPECT_EQ(run.out, "3  USER 3\n4  USER 4\n5  USER 5\n3 users\n");
    EXPECT_NE(run.err.find("replaced since its users were picked"), std::string::npos) << run.err;
    for (int i = 0; i < 39; ++i)
        EXPECT_EQ(readCode(at(i), kStatus), 0u) << i;
    EXPECT_FALSE(zorvtest::fileExists(file + ".bak")) << "no backup for a run that wrote nothing";
    EXPECT_FALSE(zorvtest::fileExists(toolJournalPathFor(file)));
}

TEST_F(ToolWriteTest, StatusLeavesOutAndNamesAUserMovedWithinTheFile) {
    const auto run = zorvtest::toolFlushing(
        {"status", file, "killed", "--user", "3", "--user", "4", "--user", "5"}, [&] {
            // An in-place purge moved user 17 down to 4; 4 itself is gone.
            const Record moved = user(17);
            zorvtest::writeBytesAt(
                file, 4 * static_cast<long long>(kRecordSize),
                std::string_view(reinterpret_cast<const char*>(moved.data()), kRecordSize));
        });
    EXPECT_EQ(run.code, 3) << run.err;
    EXPECT_NE(run.err.find("  4  USER 4 (now USER 17)\n"), std::string::npos) << run.err;
    EXPECT_EQ(at(4), user(17)) << "the user now at 4 was not picked";
    EXPECT_EQ(readCode(at(3), kStatus), 2u);
    EXPECT_EQ(readCode(at(5), kStatus), 2u);

    // Only its name counts: a board write to a picked user's other fields
    // meanwhile is no reason to leave it out.
    const auto again = zorvtest::toolFlushing({"status", file, "active", "--user", "3"}, [&] {
        Record r = at(3);
        putU32(r, kLogins.offset, 77);
        zorvtest::writeBytesAt(
            file, 3 * static_cast<long long>(kRecordSize),
            std::string_view(reinterpret_cast<const char*>(r.data()), kRecordSize));
    });
    EXPECT_EQ(again.code, 0) << again.err;
    EXPECT_EQ(readCode(at(3), kStatus), 0u);
    EXPECT_EQ(readNumber(at(3), kLogins), 77);
}

TEST_F(ToolWriteTest, StatusWhoseListCannotBeWrittenChangesNothing) {
    const std::string before = readFileBytes(file);
    const int full = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(full, 0);
    const auto run = zorvtest::toolProcess({"status", file, "killed", "--user", "3"}, full);
    ::close(full);
    ASSERT_TRUE(WIFEXITED(run.status)) << run.err;
    EXPECT_EQ(WEXITSTATUS(run.status), 2) << run.err;
    EXPECT_NE(run.err.find("nothing written"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find(std::strerror(ENOSPC)), std::string::npos) << run.err;
    EXPECT_EQ(readFileBytes(file), before);
    EXPECT_FALSE(zorvtest::fileExists(file + ".bak"));
    EXPECT_FALSE(zorvtest::fileExists(toolJournalPathFor(file)));
}

// ------------------------------------------------------------ the edges

namespace {

std::string purgedFile;

} // namespace

TEST_F(ToolWriteTest, APurgeDuringSetNeverRegrowsTheFile) {
    // The last user changes; the board's purge, which takes no lock, cuts the
    // file to half between the check of that user and its write.
    const std::string before = readFileBytes(file);
    purgedFile = file;
    setSaveHookForTesting([](SaveStep s, int record) {
        if (s == SaveStep::RecordChecked && record == 39) {
            ASSERT_EQ(::truncate(purgedFile.c_str(), 20 * static_cast<off_t>(kRecordSize)), 0);
        }
    });
    const auto run = tool({"set", file, "39", "limit=7"});
    setSaveHookForTesting(nullptr);
    EXPECT_EQ(run.code, 2);
    EXPECT_EQ(readFileBytes(file), before.substr(0, 20 * kRecordSize));
    EXPECT_NE(run.err.find("shortened"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("cut back to 20 users"), std::string::npos) << run.err;
    EXPECT_FALSE(zorvtest::fileExists(toolJournalPathFor(file)));
}

TEST_F(ToolWriteTest, ARunKilledAfterARelativeStartIsUndoneFromAnyFolder) {
    const std::string before = readFileBytes(file);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(tmp.path().c_str()) != 0)
            ::_exit(9);
        setSaveHookForTesting([](SaveStep s, int) {
            if (s == SaveStep::RecordWritten)
                ::_exit(7);
        });
        tool({"set", "zorvuser.dat", "4", "limit=1234"});
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7);
    ASSERT_EQ(readNumber(at(4), kLimit), 1234);

    TempDir elsewhere;
    char cwd[4096];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(::chdir(elsewhere.path().c_str()), 0);
    zorvtest::ScriptedPrompts prompts; // the editor's start-up, say
    const bool undone = rollBackInterruptedSave(toolJournalPathFor(file), prompts);
    ASSERT_EQ(::chdir(cwd), 0);
    EXPECT_TRUE(undone);
    EXPECT_EQ(readFileBytes(file), before);
    EXPECT_FALSE(zorvtest::fileExists(toolJournalPathFor(file)));
}

TEST_F(ToolWriteTest, TwoWritingRunsTakeTurns) {
    // The first run stops after its checks, making its backup, before it has
    // a journal: a second run must not pass the same checks meanwhile.
    const pid_t pid = ::fork();
    if (pid == 0) {
        setTempHookForTesting([](const std::string&) {
            static bool once = false;
            if (!std::exchange(once, true))
                ::raise(SIGSTOP);
        });
        ::_exit(tool({"set", file, "4", "limit=1234"}).code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, WUNTRACED), pid);
    ASSERT_TRUE(WIFSTOPPED(status));
    zorvtool::setWriterLockTimingForTesting({200, 10});
    const auto second = tool({"set", file, "9", "limit=99"});
    EXPECT_EQ(second.code, 2);
    EXPECT_NE(second.err.find("zorvtool set: Waiting for another run writing"), std::string::npos)
        << second.err;
    EXPECT_NE(second.err.find("Another run is writing " + file), std::string::npos) << second.err;
    EXPECT_EQ(at(9), user(9));
    ::kill(pid, SIGCONT);
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(readNumber(at(4), kLimit), 1234);
    EXPECT_EQ(tool({"set", file, "9", "limit=99"}).code, 0) << "its turn now";
    zorvtool::setWriterLockTimingForTesting({});
    EXPECT_EQ(readNumber(at(9), kLimit), 99);
}

TEST_F(ToolWriteTest, AnythingPlantedAtItsNamesStopsTheRunBeforeItsBackup) {
    const std::string before = readFileBytes(file);
    for (const zorvtest::Plant& p : zorvtest::plantsIn(tmp.path()))
        for (const std::string& at : {toolJournalPathFor(file), writerLockPathFor(file)}) {
            SCOPED_TRACE(p.kind + " at " + at);
            zorvtest::uproot(at);
            ASSERT_TRUE(p.put(at));
            const auto inode = zorvtest::inodeAt(at);
            const auto run = tool({"set", file, "4", "limit=1234"});
            EXPECT_EQ(run.code, 2);
            EXPECT_NE(run.err.find(at + " is " + p.said), std::string::npos) << run.err;
            EXPECT_EQ(readFileBytes(file), before);
            EXPECT_FALSE(zorvtest::fileExists(file + ".bak"));
            EXPECT_EQ(zorvtest::inodeAt(at), inode);
            zorvtest::uproot(at);
        }
    // A folder where anyone may swap files holds no journal: nor a backup.
    ASSERT_EQ(::chmod(tmp.path().c_str(), 0777), 0);
    const auto run = tool({"set", file, "4", "limit=1234"});
    ::chmod(tmp.path().c_str(), 0700);
    EXPECT_EQ(run.code, 2);
    EXPECT_NE(run.err.find("writable by every user"), std::string::npos) << run.err;
    EXPECT_EQ(readFileBytes(file), before);
    EXPECT_FALSE(zorvtest::fileExists(file + ".bak"));
}

TEST_F(ToolWriteTest, AFileThatCannotBeOpenedSaysWhatItIs) {
    const std::string fifo = tmp.file("fifo.dat");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string path, said;
    };
    for (const Case& c : {Case{fifo, "(a FIFO)"}, Case{tmp.path(), "(a folder)"},
                          Case{"/dev/full", "(a device)"}}) {
        SCOPED_TRACE(c.path);
        const auto run = tool({"set", c.path, "0", "limit=1"});
        EXPECT_EQ(run.code, 2);
        EXPECT_NE(run.err.find("File access denied " + c.said), std::string::npos) << run.err;
    }
}
