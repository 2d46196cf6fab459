// zorvtool's output: a write that fails is a failure of the command, a reader
// that goes away is not; demo changes its three files together or not at all.
#include "command.h"
#include "fdoutput.h"
#include "tempdir.h"
#include "toolrun.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

using zorvtest::readFileBytes;
using zorvtest::TempDir;
using zorvtest::tool;
using zorvtest::toolProcess;

namespace {

std::set<std::string> namesIn(const std::string& dir) {
    std::set<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d))
            if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, ".."))
                names.insert(e->d_name);
        ::closedir(d);
    }
    return names;
}

class ToolOutputTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(tool({"demo", dir.path(), "--users", "300"}).code, 0);
        file = dir.file("zorvuser.dat");
    }
    TempDir dir;
    std::string file;
};

TEST_F(ToolOutputTest, EveryCommandFailsWhenItsOutputCannotBeWritten) {
    TempDir other;
    std::string message = "1";
    while (tool({"resume", dir.file("resume"), message}).code != 0 && message.size() < 3)
        message = std::to_string(std::stoi(message) + 1);
    const std::vector<std::vector<std::string>> commands = {
        {"count", file},
        {"find", file, "a"},
        {"show", file, "1"},
        {"show", file, "1", "--json"},
        {"totals", file},
        {"totals", file, "--json"},
        {"list", file},
        {"stats", file},
        {"resume", dir.file("resume"), message},
        {"demo", other.file("d/e")},
        {"status", file, "killed", "--user", "5", "--dry-run"},
        {"export", file},
        {"export", file, "--format", "csv"},
        {"help"},
        {"--version"},
    };
    for (const auto& args : commands) {
        const std::string name = ::testing::PrintToString(args);
        // Each prints something when it can, so the full device is what fails.
        TempDir sink;
        const int okFd = ::open(sink.file("out").c_str(), O_WRONLY | O_CREAT, 0600);
        ASSERT_GE(okFd, 0);
        const auto ok = toolProcess(args, okFd);
        ::close(okFd);
        ASSERT_TRUE(WIFEXITED(ok.status) && WEXITSTATUS(ok.status) == 0) << name << ok.err;
        EXPECT_NE(readFileBytes(sink.file("out")), "") << name;
        if (args[0] == "demo")
            std::filesystem::remove_all(other.file("d"));

        const int full = ::open("/dev/full", O_WRONLY);
        ASSERT_GE(full, 0);
        const auto r = toolProcess(args, full);
        ::close(full);
        ASSERT_TRUE(WIFEXITED(r.status)) << name;
        EXPECT_EQ(WEXITSTATUS(r.status), 2) << name;
        EXPECT_EQ(r.err, "zorvtool " + args[0] +
                             ": cannot write the output: " + std::strerror(ENOSPC) + "\n")
            << name;
    }
}

TEST_F(ToolOutputTest, AReaderThatGoesAwayEndsTheToolQuietly) {
    // More than any buffer holds, into a pipe nobody reads any more, also when
    // the parent left SIGPIPE ignored.
    ASSERT_EQ(tool({"demo", dir.path(), "--users", "5000", "--force"}).code, 0);
    for (const bool ignored : {false, true}) {
        int p[2];
        ASSERT_EQ(::pipe(p), 0);
        ::close(p[0]);
        const auto r = toolProcess({"list", file}, p[1], ignored);
        ::close(p[1]);
        EXPECT_TRUE(WIFSIGNALED(r.status) && WTERMSIG(r.status) == SIGPIPE) << r.status;
        EXPECT_EQ(r.err, "");
    }

    // In-process, where nothing kills: the same quiet end, with the shell's code.
    int p[2];
    ASSERT_EQ(::pipe(p), 0);
    ::close(p[0]);
    const auto old = std::signal(SIGPIPE, SIG_IGN);
    int code = 0;
    std::ostringstream err;
    {
        zorvtool::FdOutput buf(p[1]);
        std::ostream out(&buf);
        code = zorvtool::dispatch({"list", file}, out, err);
    }
    std::signal(SIGPIPE, old);
    EXPECT_EQ(code, 128 + SIGPIPE);
    EXPECT_EQ(err.str(), "");
}

// A few hundred KB of file system that fills up, or a skip where this
// process may not mount one.
class SmallDisk {
  public:
    SmallDisk() {
        if (::mount("zorvtest", dir_.path().c_str(), "tmpfs", 0, "size=256k,mode=0700") == 0)
            mounted_ = true;
        else
            why_ = std::strerror(errno);
    }
    ~SmallDisk() {
        if (mounted_)
            ::umount2(dir_.path().c_str(), MNT_DETACH);
    }
    bool mounted() const { return mounted_; }
    const std::string& why() const { return why_; }
    std::string file(const std::string& name) const { return dir_.file(name); }

  private:
    TempDir dir_;
    bool mounted_ = false;
    std::string why_;
};

TEST(DemoOnAFullDisk, ChangesNoneOfItsFilesAndLeavesNothingBehind) {
    SmallDisk disk;
    if (!disk.mounted())
        GTEST_SKIP() << "cannot mount a small tmpfs here (" << disk.why()
                     << "); run as root with CAP_SYS_ADMIN to test a full disk";
    const std::string d = disk.file("board");
    ASSERT_EQ(tool({"demo", d, "--users", "20", "--seed", "3"}).code, 0);
    const auto before = namesIn(d);
    ASSERT_EQ(before, (std::set<std::string>{"resume.hdr", "resume.txt", "zorvuser.dat"}));
    std::map<std::string, std::string> bytes;
    for (const auto& n : before)
        bytes[n] = readFileBytes(d + "/" + n);

    // 1000 users: the conference's temporaries fit, the user file does not.
    // 1000 users after a filler: already the conference does not fit.
    struct Case {
        int users;
        std::size_t filler;
        std::string failing;
    };
    for (const Case& c :
         {Case{1000, 0, d + "/zorvuser.dat: "}, Case{1000, 180'000, d + "/resume: "}}) {
        if (c.filler)
            zorvtest::writeFileBytes(disk.file("filler"), std::string(c.filler, 'x'));
        const auto r = tool({"demo", d, "--users", std::to_string(c.users), "--force"});
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err.rfind("zorvtool demo: " + c.failing, 0), 0u) << r.err;
        EXPECT_EQ(namesIn(d), before) << "temporaries left behind";
        for (const auto& [n, b] : bytes)
            EXPECT_EQ(readFileBytes(d + "/" + n), b) << n << " changed";

        // Folders it had to make go again.
        const auto fresh =
            tool({"demo", disk.file("new/board"), "--users", std::to_string(c.users)});
        EXPECT_EQ(fresh.code, 2);
        EXPECT_FALSE(zorvtest::fileExists(disk.file("new")));
    }
}

} // namespace
