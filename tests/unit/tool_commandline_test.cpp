// zorvtool's command lines as CLI11 parses them from each command's
// declaration: the forms it takes, the problems it names and the help.
#include "command.h"
#include "democonference.h"
#include "tempdir.h"
#include "toolrun.h"
#include "userfile/userfile.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <unistd.h>

using namespace zorv;
using zorvtest::tool;
using zorvtest::ToolRun;

namespace {

Record named(std::string_view name) {
    Record r{};
    writeText(r, kName, name);
    return r;
}

// What `zorvtool CMD --help` prints, which every refusal repeats.
std::string usageOf(const std::string& command) {
    return tool({command, "--help"}).out;
}

// Runs the test's steps in another folder, and goes back.
class InFolder {
  public:
    explicit InFolder(const std::string& dir) {
        char* here = ::getcwd(nullptr, 0);
        back_ = here ? here : "/";
        std::free(here);
        if (::chdir(dir.c_str()) != 0)
            ADD_FAILURE() << "cannot enter " << dir;
    }
    ~InFolder() {
        if (::chdir(back_.c_str()) != 0)
            ADD_FAILURE() << "cannot go back to " << back_;
    }

  private:
    std::string back_;
};

class CommandLineTest : public ::testing::Test {
  protected:
    zorvtest::TempDir dir;
    std::string file = dir.file("zorvuser.dat");
    void SetUp() override {
        Record ola = named("OLA NORDMANN");
        putU32(ola, kLastcallOffset, zorvtool::packDosDateTime(2024, 3, 5));
        writeUserFile(file, {ola, named("-DASH"), named("[X,Y]")});
    }
};

} // namespace

TEST_F(CommandLineTest, EveryRefusalNamesTheCommandAndTheProblemAndGivesItsUsage) {
    struct Case {
        std::vector<std::string> args;
        std::string problem;
    };
    const std::vector<Case> cases{
        {{"count", file, file}, "more than one FILE"},
        {{"count"}, "no FILE given"},
        {{"count", file, "--json"}, "unknown option '--json'"},
        {{"count", file, "-j"}, "unknown option '-j'"},
        {{"show", file, "0", "1"}, "more than one N"},
        {{"show", file, "0", "--json", "--json"}, "--json given twice"},
        {{"show", file, "0", "--json=yes"}, "--json takes no value"},
        {{"show", file, "x1"}, "'x1' is not a valid integer value"},
        {{"find", file, "OLA", "NORDMANN"}, "more than one TEXT"},
        {{"find", file, "OLA", "--in"}, "--in needs a value"},
        {{"find", file, "OLA", "--status", "x"}, "unknown status 'x'"},
        {{"list", file, "--format", "csv", "--format=csv"}, "--format given twice"},
        {{"list", file, "--sort"}, "--sort needs a value"},
        {{"list", file, "--bogus=1"}, "unknown option '--bogus=1'"},
        {{"stats", file, "--desc"}, "--desc needs --sort"},
        {{"export", file, "--encoding"}, "--encoding needs a value"},
        {{"export", file, "--encoding="}, "unknown encoding ''"},
        {{"resume", file}, "no N given"},
        {{"resume", file, "1", "2"}, "more than one N"},
        {{"demo", dir.file("new"), "--users", "ten"}, "--users takes 0 to 10000000, not 'ten'"},
        {{"set", file, "0"}, "no FIELD=VALUE given"},
        {{"set", file, "0", "limit"}, "'limit' is not FIELD=VALUE"},
        {{"status", file, "killed", "--user"}, "--user needs a value"},
        {{"status", file, "killed", "--user", "x"}, "--user 'x' refused"},
        {{"totals", file, "/more"}, "more than one FILE"},
        {{"help", "nosuch"}, "unknown command 'nosuch'"},
        {{"help", "list", "show"}, "more than one COMMAND"},
        {{"--version", "extra"}, "unexpected word 'extra'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::PrintToString(c.args));
        const ToolRun r = tool(c.args);
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "zorvtool " + c.args[0] + ": " + c.problem + "\n" + usageOf(c.args[0]));
    }
    ToolRun r = tool({"nosuch", file});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err.rfind("zorvtool: unknown command 'nosuch'\nusage: zorvtool COMMAND", 0), 0u)
        << r.err;
    r = tool({});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err.rfind("zorvtool: no COMMAND given\nusage: zorvtool COMMAND", 0), 0u) << r.err;
}

TEST_F(CommandLineTest, OptionsTakeEitherFormAndWordsAfterDoubleDashAreNoOptions) {
    const std::string csv = tool({"list", file, "--format", "csv"}).out;
    EXPECT_EQ(tool({"list", "--format=csv", file}).out, csv);
    EXPECT_EQ(tool({"list", "--sort=1", "--desc", file, "--format=csv"}).out,
              tool({"list", file, "--format", "csv", "--sort", "1", "--desc"}).out);
    // A value is the next word, whatever it looks like.
    EXPECT_EQ(tool({"list", file, "--date-format", "-d.M-", "--options", "00000000010"}).out,
              "-5.3-\r\n\r\n\r\n");

    // "--in=" is an empty value: no field, the status alone decides.
    EXPECT_EQ(tool({"find", file, "x", "--in=", "--status", "active"}).out, "0\n1\n2\n");
    EXPECT_EQ(tool({"find", file, "x", "--in", "", "--status=active"}).out, "0\n1\n2\n");

    // The text a sysop looks for may begin with a dash, a bracket is a bracket.
    EXPECT_EQ(tool({"find", file, "--", "-DASH"}).out, "1\n");
    EXPECT_EQ(tool({"find", file, "-DASH"}).err.rfind("zorvtool find: unknown option '-DASH'", 0),
              0u);
    EXPECT_EQ(tool({"find", file, "[X,Y]"}).out, "2\n");
    // A negative number is a word, and goes through the number rule.
    const ToolRun beyond = tool({"show", file, "-1"});
    EXPECT_EQ(beyond.code, 2);
    EXPECT_EQ(beyond.err, "zorvtool show: " + file + ": user -1: Read beyond end of file\n");
    EXPECT_EQ(tool({"show", file, " $2", "--json"}).out, tool({"show", file, "2", "--json"}).out);

    // A file may be called like an option or like another command.
    InFolder here(dir.path());
    zorvtest::writeFileBytes("-odd.dat", std::string(2 * kRecordSize, '\0'));
    zorvtest::writeFileBytes("list", std::string(kRecordSize, '\0'));
    EXPECT_EQ(tool({"count", "--", "-odd.dat"}).out, "2\n");
    EXPECT_EQ(tool({"count", "list"}).out, "1\n");
    EXPECT_EQ(tool({"show", "list", "0", "--json"}).code, 0);
    EXPECT_EQ(tool({"count", "--", "--"}).err, "zorvtool count: --: File not found\n");
    // An absolute path is a word on every system, never a Windows option.
    EXPECT_EQ(tool({"count", file}).out, "3\n");
}

TEST_F(CommandLineTest, HelpGoesToStandardOutputFromTheDeclaredStrings) {
    const ToolRun help = tool({"help"});
    ASSERT_EQ(help.code, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(tool({"--help"}).out, help.out);
    EXPECT_EQ(tool({"-h"}).out, help.out);
    std::istringstream lines(help.out);
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "usage: zorvtool COMMAND ARGS...");
    std::size_t listed = 0;
    for (const auto& c : zorvtool::commands()) {
        SCOPED_TRACE(c.name);
        const ToolRun own = tool({c.name, "--help"});
        EXPECT_EQ(own.code, 0);
        EXPECT_EQ(own.err, "");
        EXPECT_EQ(tool({c.name, "-h"}).out, own.out);
        EXPECT_EQ(tool({"help", c.name}).out, own.out);
        EXPECT_EQ(tool({c.name, file, "--help", "--nosuch"}).out, own.out) << "help comes first";
        // The usage's first line is the help line's synopsis.
        const std::string synopsis = own.out.substr(16, own.out.find('\n') - 16);
        ASSERT_EQ(own.out.rfind("usage: zorvtool " + c.name, 0), 0u) << own.out;
        const std::string listedLine = "  zorvtool " + synopsis + "  ";
        const auto at = help.out.find(listedLine);
        ASSERT_NE(at, std::string::npos) << synopsis;
        EXPECT_EQ(help.out.substr(help.out.find_first_not_of(' ', at + listedLine.size()),
                                  c.description.size()),
                  c.description);
        // Every option is explained under the usage line.
        for (std::size_t o = synopsis.find("[--"); o != std::string::npos;
             o = synopsis.find("[--", o + 1)) {
            const std::string option =
                synopsis.substr(o + 1, synopsis.find_first_of(" ]", o) - o - 1);
            EXPECT_NE(own.out.find("\n  " + option), std::string::npos) << option;
        }
        ++listed;
    }
    EXPECT_EQ(std::count(help.out.begin(), help.out.end(), '\n'), 1 + listed + 2)
        << "one line per command, then help and --version";
}

TEST_F(CommandLineTest, TheParserWritesOnlyToTheStreamsItIsGiven) {
    std::ostringstream capturedOut, capturedErr;
    auto* oldOut = std::cout.rdbuf(capturedOut.rdbuf());
    auto* oldErr = std::cerr.rdbuf(capturedErr.rdbuf());
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"list", "--help"},
                                               {"list", file, "--x"},
                                               {"list", file, "--sort"},
                                               {"show", "--json=1"},
                                               {"help"},
                                               {"--version", "x"},
                                               {"set", file, "0", "--x"}}) {
        std::ostringstream out, err;
        zorvtool::dispatch(args, out, err);
        EXPECT_FALSE(out.str().empty() && err.str().empty()) << args[0];
    }
    std::cout.rdbuf(oldOut);
    std::cerr.rdbuf(oldErr);
    EXPECT_EQ(capturedOut.str(), "");
    EXPECT_EQ(capturedErr.str(), "");
}

TEST_F(CommandLineTest, ResumeTakesTheBaseOrEitherFilesName) {
    const std::vector<int> numbers = zorvtool::writeDemoConference(dir.path(), 3, 5);
    ASSERT_FALSE(numbers.empty());
    const std::string n = std::to_string(numbers.front());
    const std::string base = dir.file("resume");
    const ToolRun plain = tool({"resume", base, n});
    ASSERT_EQ(plain.code, 0) << plain.err;
    EXPECT_EQ(tool({"resume", base + ".hdr", n}).out, plain.out);
    EXPECT_EQ(tool({"resume", base + ".txt", n}).out, plain.out);
    // A conference whose base itself ends in .txt is taken as named.
    ASSERT_EQ(::rename((base + ".hdr").c_str(), (base + ".txt.hdr").c_str()), 0);
    ASSERT_EQ(::rename((base + ".txt").c_str(), (base + ".txt.txt").c_str()), 0);
    EXPECT_EQ(tool({"resume", base + ".txt", n}).out, plain.out);
    const ToolRun gone = tool({"resume", base + ".hdr", n});
    EXPECT_EQ(gone.code, 2);
    EXPECT_EQ(gone.err, "zorvtool resume: " + base + ": File not found\n");
    EXPECT_EQ(tool({"resume", base + ".txt", "99999"}).code, 1) << "a negative answer";
}
