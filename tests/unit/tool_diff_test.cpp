// zorvtool diff: users by number, fields by show's labels or show --json's
// keys, the bytes no field shows in hex, and the exit code.
#include "command.h"
#include "tempdir.h"
#include "toolrun.h"
#include "userfile/record.h"
#include "userfile/userfile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace zorv;
using zorvtest::tool;
using zorvtest::ToolRun;

namespace {

Record user(std::string_view name, int limit = 0) {
    Record r{};
    writeText(r, kName, name);
    writeNumber(r, kLimit, limit);
    return r;
}

class DiffTest : public ::testing::Test {
  protected:
    zorvtest::TempDir dir;
    std::string before = dir.file("old.dat");
    std::string after = dir.file("new.dat");

    ToolRun diff(const std::vector<Record>& a, const std::vector<Record>& b, bool json = false) {
        writeUserFile(before, a);
        writeUserFile(after, b);
        return json ? tool({"diff", before, after, "--json"}) : tool({"diff", before, after});
    }
};

} // namespace

TEST_F(DiffTest, EqualFilesSayNothingAndExitZero) {
    const std::vector<Record> users{user("OLA", 5), user("KARI", 7)};
    for (const bool json : {false, true}) {
        const ToolRun r = diff(users, users, json);
        EXPECT_EQ(r.code, 0) << r.err;
        EXPECT_EQ(r.out, "");
        EXPECT_EQ(r.err, "");
    }
    const ToolRun empty = diff({}, {});
    EXPECT_EQ(empty.code, 0);
    EXPECT_EQ(empty.out, "");
}

TEST_F(DiffTest, ChangedFieldsInShowsFormAndBytesNoFieldShowsInHex) {
    Record a = user("ANDERSEN", 100);
    writeCode(a, kStatus, 0);
    putU32(a, kUserflagsOffset, kInsertOff);
    Record b = a;
    writeText(b, kName, "AB"); // "AB", NUL, "DERSEN": the rest is the old text's
    writeNumber(b, kLimit, 250);
    writeCode(b, kStatus, 2);
    putU32(b, kUserflagsOffset, 0);
    b[30] = 0x41; // reserved
    b[31] = 0x42;
    b[231] = 0x01; // security bits 8-29: no field's
    Record c = user("X");
    Record d = c;
    d[kAddress.offset + 5] = 'Z'; // after the empty address's NUL in both
    const ToolRun r = diff({a, c}, {b, d});
    EXPECT_EQ(r.code, 1) << r.err;
    EXPECT_EQ(r.out, "user 0 changed\n"
                     "  User name:             ANDERSEN -> AB\n"
                     "  Status:                Active -> Killed\n"
                     "  Limits:                100 -> 250\n"
                     "  Insert mode            [ ] -> [x]\n"
                     "  bytes 30-31            0000 -> 4142 (no field shows them)\n"
                     "  bytes 231              00 -> 01 (no field shows them)\n"
                     "user 1 changed\n"
                     "  bytes 51               00 -> 5a (no field shows them)\n"
                     "users: 2 changed, 0 added, 0 removed\n");

    const ToolRun json = diff({a, c}, {b, d}, true);
    EXPECT_EQ(json.code, 1) << json.err;
    EXPECT_EQ(json.out,
              "{\"user\": 0, \"diff\": \"changed\", \"fields\": {\"Name\": [\"ANDERSEN\", \"AB\"], "
              "\"status\": [0, 2], \"limit\": [100, 250], \"userflags\": [1, 0]}, \"bytes\": "
              "[{\"at\": 30, \"old\": \"0000\", \"new\": \"4142\"}, {\"at\": 231, \"old\": "
              "\"00\", \"new\": \"01\"}]}\n"
              "{\"user\": 1, \"diff\": \"changed\", \"fields\": {}, \"bytes\": [{\"at\": 51, "
              "\"old\": \"00\", \"new\": \"5a\"}]}\n");
}

TEST_F(DiffTest, APurgeShowsAsShiftedUsersAndTheLastAsRemoved) {
    const ToolRun r = diff({user("A"), user("B"), user("C")}, {user("A"), user("C")});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "user 1 changed\n"
                     "  User name:             B -> C\n"
                     "user 2 removed: C\n"
                     "users: 1 changed, 0 added, 1 removed\n");
    const ToolRun grown = diff({user("A")}, {user("A"), user("\x1b[2JNEW")}, true);
    EXPECT_EQ(grown.code, 1);
    EXPECT_EQ(grown.out.rfind("{\"user\": 1, \"diff\": \"added\", \"record\": {\"Name\": "
                              "\"\\u001b[2JNEW\", \"address\": \"\", ",
                              0),
              0u)
        << grown.out;
    EXPECT_EQ(grown.out.substr(grown.out.size() - 4), "\"}}\n") << "one line, show --json's object";
    // A terminal gets no control character from a caller's name.
    EXPECT_EQ(tool({"diff", before, after}).out,
              "user 1 added: \\x1b[2JNEW\nusers: 0 changed, 1 added, 0 removed\n");
}

TEST_F(DiffTest, APartialLastRecordIsReportedButNotCompared) {
    writeUserFile(before, {user("A")});
    writeUserFile(after, {user("A")});
    zorvtest::writeBytesAt(after, static_cast<long long>(kRecordSize), "tail");
    ToolRun r = tool({"diff", before, after});
    EXPECT_EQ(r.code, 0) << "every byte of the whole records is equal";
    EXPECT_EQ(r.out, "NEW (" + after +
                         "): its size 277 is no multiple of 273; the 4 bytes after its last "
                         "whole record are not compared\n");
    r = tool({"diff", after, before, "--json"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "{\"file\": \"OLD\", \"bytesAfterLastRecord\": 4}\n");
}

TEST_F(DiffTest, FilesThatCannotBeReadExitTwoNamingThem) {
    writeUserFile(before, {user("A")});
    ToolRun r = tool({"diff", before, dir.file("missing.dat")});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "zorvtool diff: " + dir.file("missing.dat") + ": File not found\n");
    r = tool({"diff", dir.path(), before});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err, "zorvtool diff: " + dir.path() + ": File access denied (a folder)\n");
    r = tool({"diff", before});
    EXPECT_EQ(r.code, 2);
    EXPECT_EQ(r.err.rfind("zorvtool diff: no NEW given\n", 0), 0u);
}
