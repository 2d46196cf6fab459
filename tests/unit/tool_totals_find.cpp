#include "command.h"
#include "tempdir.h"
#include "toolrun.h"
#include "userfile/userfile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

using namespace zorv;
using zorvtest::tool;
using zorvtest::ToolRun;

namespace {

Record user(std::string_view name, unsigned status, unsigned limit = 0) {
    Record r{};
    std::memcpy(r.data(), name.data(), std::min<std::size_t>(name.size(), 30));
    r[142] = static_cast<std::uint8_t>(status);
    r[159] = static_cast<std::uint8_t>(limit);
    r[160] = static_cast<std::uint8_t>(limit >> 8);
    return r;
}

void put32(Record& r, std::size_t offset, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        r[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

class ToolTest : public ::testing::Test {
  protected:
    zorvtest::TempDir dir;
    std::string file = dir.file("zorvuser.dat");

    void SetUp() override {
        std::vector<Record> recs{
            user("OLA NORDMANN", 0, 10),    // 0
            user("KARI BJ\x9BRNSEN", 2, 5), // 1: ø stored as cp865 0x9B
            user("PER OLAVSEN", 0, 100),    // 2
            user("ANNE KILLED", 2, 250),    // 3
            user("BOOTED OLA", 3, 0),       // 4
        };
        put32(recs[0], 161, 40);
        put32(recs[3], 161, 2);
        put32(recs[1], 225, 17);
        put32(recs[2], 177, 0x7FFFFFFF);
        put32(recs[3], 177, 1);
        writeUserFile(file, recs);
    }
};

} // namespace

TEST_F(ToolTest, TotalsPrintsTheTenFiguresInTabOrder) {
    const ToolRun r = tool({"totals", file});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "tuser 5\ntlogins 42\ntres 1\ntwmsg 0\ntrmsg -2147483648\ntdmsg 0\n"
                     "tfup 0\ntfdown 0\ntbup 0\ntbdown 0\n");
    const ToolRun j = tool({"totals", file, "--json"});
    ASSERT_EQ(j.code, 0) << j.err;
    EXPECT_EQ(j.out, "{\"tuser\": 5, \"tlogins\": 42, \"tres\": 1, \"twmsg\": 0, "
                     "\"trmsg\": -2147483648, \"tdmsg\": 0, \"tfup\": 0, \"tfdown\": 0, "
                     "\"tbup\": 0, \"tbdown\": 0}\n");
}

TEST_F(ToolTest, TotalsOfAnEmptyFileAndErrors) {
    const std::string empty = dir.file("empty.dat");
    zorvtest::writeFileBytes(empty, "");
    const ToolRun r = tool({"totals", empty});
    EXPECT_EQ(r.code, 0);
    EXPECT_NE(r.out.find("tuser 0\n"), std::string::npos);
    EXPECT_NE(r.out.find("tbdown 0\n"), std::string::npos);

    const ToolRun missing = tool({"totals", dir.file("nope.dat")});
    EXPECT_NE(missing.code, 0);
    EXPECT_NE(missing.err.find("File not found"), std::string::npos) << missing.err;
    EXPECT_TRUE(missing.out.empty());
    EXPECT_NE(tool({"totals"}).code, 0);
    EXPECT_NE(tool({"totals", file, "--xml"}).code, 0);
}

TEST_F(ToolTest, FindDefaultsToNamesAndAnyStatus) {
    const std::string before = zorvtest::readFileBytes(file);
    ToolRun r = tool({"find", file, "ola"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "0\n2\n4\n");
    // UTF-8 "ø" reaches the record test as cp1252 and folds onto the stored 0x9B.
    r = tool({"find", file, "bj\xC3\xB8rn"});
    EXPECT_EQ(r.out, "1\n");
    // Characters outside cp1252 match nothing, never a literal '?'.
    const std::string odd = dir.file("odd.dat");
    writeUserFile(odd, {user("OLA ??", 2)});
    EXPECT_EQ(tool({"find", odd, "OLA ??"}).out, "0\n");
    r = tool({"find", odd, "OLA \xC5\x81\xC5\x81"}); // "OLA ŁŁ"
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(tool({"find", odd, "\xC5\x81", "--in", "", "--status", "killed"}).out, "0\n");
    r = tool({"find", file, "nobody"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(zorvtest::readFileBytes(file), before); // read only
}

TEST_F(ToolTest, FindWithFieldsAndStatus) {
    EXPECT_EQ(tool({"find", file, "ola", "--status", "active"}).out, "0\n2\n");
    EXPECT_EQ(tool({"find", file, "ola", "--status", "kill+boot"}).out, "4\n");
    EXPECT_EQ(tool({"find", file, "10", "--in", "limit"}).out, "0\n2\n");
    EXPECT_EQ(tool({"find", file, "5", "--in", "name,limit"}).out, "1\n3\n");
    // No field ticked: the status alone decides, the text plays no part.
    EXPECT_EQ(tool({"find", file, "x", "--in", "", "--status", "killed"}).out, "1\n3\n");
    EXPECT_EQ(tool({"find", file, "x", "--in", "", "--status", "dontcare"}).out, "");
}

TEST_F(ToolTest, FindRefusesBadArguments) {
    for (const zorvtool::Args& a : std::vector<zorvtool::Args>{
             {"find", file},
             {"find", file, "ola", "--in", "email"},
             {"find", file, "ola", "--status", "deleted"},
             {"find", file, "ola", "--status"},
             {"find", file, "ola", "--fuzzy"},
             {"find", file, "ola", "extra"},
         }) {
        const ToolRun r = tool(a);
        EXPECT_EQ(r.code, 2) << a.back();
        EXPECT_FALSE(r.err.empty());
        EXPECT_TRUE(r.out.empty());
    }
    // Also when the text could match nothing anyway.
    for (const char* text : {"ola", "\xC5\x81"}) {
        const ToolRun missing = tool({"find", dir.file("nope.dat"), text});
        EXPECT_EQ(missing.code, 2) << text;
        EXPECT_NE(missing.err.find("File not found"), std::string::npos) << text;
    }
}

TEST(ToolErrors, EveryIoErrorExitsTwoAndBadSearchBytesAreAUsageError) {
    zorvtest::TempDir dir;
    const std::string file = dir.file("u.dat");
    zorv::writeUserFile(file, {zorv::Record{}});
    const std::string gone = dir.file("nope.dat");
    for (const std::vector<std::string>& args :
         std::vector<std::vector<std::string>>{{"count", gone},
                                               {"show", gone, "0"},
                                               {"show", file, "5"},
                                               {"totals", gone},
                                               {"find", gone, "x"},
                                               {"count", dir.path()}}) {
        const ToolRun r = tool(args);
        EXPECT_EQ(r.code, 2) << args[0] << " " << args[1] << ": " << r.err;
        EXPECT_FALSE(r.err.empty());
    }
    ToolRun r = tool({"find", file, "bj\xF8rn"}); // Latin-1, not UTF-8
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("not valid UTF-8"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(tool({"find", file, "bj\xC3\xB8rn"}).code, 0);
}
