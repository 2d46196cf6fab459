#include "command.h"
#include "democonference.h"
#include "tempdir.h"
#include "toolrun.h"
#include "userfile/userfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <streambuf>
#include <string>
#include <vector>

using namespace zorv;
using zorvtest::tool;
using zorvtest::ToolRun;
using zorvtest::writeBytesAt;
using zorvtest::writeFileBytes;

namespace {

// Call dates fall at midnight here.
std::uint32_t packDate(int y, int m, int d) {
    return zorvtool::packDosDateTime(y, m, d);
}

Record user(std::string_view name, std::string_view address, unsigned status, int limit,
            unsigned access, std::uint32_t lastcall, int logins = 0) {
    Record r{};
    writeText(r, kName, name);
    writeText(r, kAddress, address);
    writeText(r, kPostnr, "Oslo");
    writeText(r, kTlf, "555");
    writeText(r, kBirth, "1970");
    r[142] = static_cast<std::uint8_t>(status);
    writeNumber(r, kLimit, limit);
    putU32(r, kSecurityOffset, static_cast<std::uint32_t>(access) << 30);
    putU32(r, kLastcallOffset, lastcall);
    writeNumber(r, kLogins, logins);
    return r;
}

// A stream that takes nothing, like stdout on a full disk.
struct FullBuf : std::streambuf {
    int overflow(int) override { return traits_type::eof(); }
    std::streamsize xsputn(const char*, std::streamsize) override { return 0; }
};

class ListToolTest : public ::testing::Test {
  protected:
    zorvtest::TempDir dir;
    std::string file = dir.file("zorvuser.dat");

    void SetUp() override {
        writeUserFile(
            file,
            {
                user("OLA NORDMANN", "Storgata 1, 3. etg", 0, 100, 3, packDate(2024, 3, 5), 10),
                user("SYSOP", "A\tB", 7, 20, 1, 0, -5),
                user("<B>KARI \"K\"", "Vei & sti", 2, 5, 0, packDate(1999, 12, 31), 9),
            });
    }
};

} // namespace

TEST_F(ListToolTest, DefaultListAsTabbedText) {
    const ToolRun r = tool({"list", file});
    ASSERT_EQ(r.code, 0) << r.err;
    // A TAB inside a cell passes through unchanged.
    // The files carry "Up&Down" as the list shows it, the clipboard form the stored text.
    EXPECT_EQ(r.out, "0\tOLA \tNORDMANN\tStorgata 1, 3. etg\tOslo\t555\t1970\t100\tUp&Down\r\n"
                     "1\t\tSYSOP\tA\tB\tOslo\t555\t1970\t20\tDownload\r\n"
                     "2\t<B>KARI \t\"K\"\tVei & sti\tOslo\t555\t1970\t5\tNone\r\n");
    EXPECT_EQ(r.err, "");
    const std::string clip = tool({"list", file, "--format", "clip"}).out;
    EXPECT_NE(clip.find("\tUp&&Down stat\r\n0\t"), std::string::npos) << clip;
    EXPECT_NE(clip.find("\t100\tUp&&Down\r\n"), std::string::npos) << clip;
}

TEST_F(ListToolTest, CsvHtmlAndClipForms) {
    const zorvtool::Args base{"list", file, "--options", "01000000110"};
    auto with = [&](std::vector<std::string> extra) {
        zorvtool::Args a = base;
        a.insert(a.end(), extra.begin(), extra.end());
        return tool(a);
    };
    ToolRun r = with({"--format", "csv"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Name,Login stat,Last Call\r\n"
                     "OLA NORDMANN,Active,2024-03-05\r\n"
                     "SYSOP,7,\r\n"
                     "\"<B>KARI \"\"K\"\"\",Killed,1999-12-31\r\n");

    r = with({"--format", "html", "--border-color", "0A0B0C"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "<table border=1>\r\n<tr>\r\n"
                     "<td nowrap BGCOLOR=\"#0A0B0C\"><B>Name</B></td>\r\n"
                     "<td nowrap BGCOLOR=\"#0A0B0C\"><B>Login stat</B></td>\r\n"
                     "<td nowrap BGCOLOR=\"#0A0B0C\"><B>Last Call</B></td>\r\n"
                     "</tr>\r\n<tr>\r\n"
                     "<td nowrap>OLA NORDMANN</td>\r\n<td nowrap>Active</td>\r\n"
                     "<td nowrap>2024-03-05</td>\r\n"
                     "</tr>\r\n<tr>\r\n"
                     "<td nowrap>SYSOP</td>\r\n<td nowrap>7</td>\r\n<td nowrap><br></td>\r\n"
                     "</tr>\r\n<tr>\r\n"
                     "<td nowrap>&lt;B&gt;KARI &quot;K&quot;</td>\r\n<td nowrap>Killed</td>\r\n"
                     "<td nowrap>1999-12-31</td>\r\n"
                     "</tr>\r\n</table><p>\r\n");

    r = with({"--format", "clip", "--date-format", "d/M/yyyy"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "Name\tLogin stat\tLast Call\r\n"
                     "OLA NORDMANN\tActive\t5/3/2024\r\n"
                     "SYSOP\t7\t\r\n"
                     "<B>KARI \"K\"\tKilled\t31/12/1999");
}

TEST_F(ListToolTest, SortsAsTheGridDoes) {
    // Limit sorts as text: "100" before "20" before "5".
    ToolRun r = tool({"list", file, "--options", "10000010000", "--sort", "1", "--format", "clip"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "User Number\tLimit\r\n0\t100\r\n1\t20\r\n2\t5");
    // User Number as numbers, descending.
    r = tool({"list", file, "--options", "10000010000", "--sort", "0", "--desc"});
    EXPECT_EQ(r.out, "2\t5\r\n1\t20\r\n0\t100\r\n");
    // Without the user number, Limit in column 0 is still text.
    r = tool({"list", file, "--options", "00000010000", "--sort", "0", "--desc"});
    EXPECT_EQ(r.out, "5\r\n20\r\n100\r\n");
    // Last Call as dates, in a pattern where text order differs; empty first.
    r = tool(
        {"list", file, "--options", "10000000010", "--sort", "1", "--date-format", "dd.MM.yyyy"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "1\t\r\n2\t31.12.1999\r\n0\t05.03.2024\r\n");
    r = tool({"list", file, "--options", "10000000010", "--sort", "1", "--desc"});
    EXPECT_EQ(r.out, "0\t2024-03-05\r\n2\t1999-12-31\r\n1\t\r\n");
}

TEST_F(ListToolTest, EveryColumnOffAndAnEmptyFile) {
    ToolRun r = tool({"list", file, "--options", "00000000001", "--format", "clip"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "\r\n\r\n\r\n");
    r = tool({"list", file, "--options", "00000000000", "--sort", "0"});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "\r\n\r\n\r\n");

    const std::string empty = dir.file("empty.dat");
    zorvtest::writeFileBytes(empty, std::string(272, 'x')); // no whole record
    EXPECT_EQ(tool({"list", empty}).out, "");
    EXPECT_EQ(tool({"list", empty, "--format", "csv", "--sort", "2"}).out,
              "User Number,Forename,Surname,Address,City/State,Phone,Birth,Limit,"
              "Up&Down stat\r\n");
    EXPECT_EQ(tool({"stats", empty}).out, "User Number\tName\tLogins\tMsg read\tMsg left\t"
                                          "Uploaded\tDownloaded\tKb uploaded\tKb Downloaded");
}

TEST_F(ListToolTest, UsageAndFileErrorsPrintNothing) {
    const std::vector<zorvtool::Args> usage{
        {"list"},
        {"list", file, file},
        {"list", file, "--options", "1111111100"},
        {"list", file, "--options", "11111111002"},
        {"list", file, "--options"},
        {"list", file, "--sort", "9"}, // nine columns: 0 to 8
        {"list", file, "--sort", "-1"},
        {"list", file, "--sort", "1x"},
        {"list", file, "--options", "00000000000", "--sort", "1"},
        {"list", file, "--desc"},
        {"list", file, "--format", "xml"},
        {"list", file, "--format", "TSV"},
        {"list", file, "--date-format", ""},
        {"list", file, "--date-format", "yy-MM-dd"},
        {"list", file, "--date-format", "ddMMyyyy"},
        {"list", file, "--date-format", "dd.MM.yyyy hh"},
        {"list", file, "--options", "10000000010", "--sort", "1", "--date-format", "dd.MM"},
        {"list", file, "--border-color", "b4b4b4"},
        {"list", file, "--border-color", "B4B4B"},
        {"list", file, "--csv"},
        {"stats"},
        {"stats", file, "--sort", "9"},
        {"stats", file, "--desc"},
        {"stats", file, "--format", "csv"},
        {"export"},
        {"export", file, "--format", "xml"},
        {"export", file, "--format", "CSV"},
        {"export", file, "--format"},
        {"export", file, "--encoding", "cp865"},
        {"export", file, "--encoding", "cp1252"}, // JSON lines are UTF-8 only
        {"export", file, "--format", "csv", "--format", "jsonl"},
    };
    for (const auto& a : usage) {
        const ToolRun r = tool(a);
        EXPECT_EQ(r.code, 2) << ::testing::PrintToString(a);
        EXPECT_EQ(r.out, "") << ::testing::PrintToString(a);
        EXPECT_NE(r.err, "") << ::testing::PrintToString(a);
    }
    // A pattern without a year is fine while Last Call is not the sort column.
    EXPECT_EQ(
        tool({"list", file, "--options", "10000000010", "--sort", "0", "--date-format", "dd.MM"})
            .out,
        "0\t05.03\r\n1\t\r\n2\t31.12\r\n");

    for (const std::string cmd : {"list", "stats", "export"}) {
        ToolRun r = tool({cmd, dir.file("missing.dat")});
        EXPECT_EQ(r.code, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("File not found"), std::string::npos) << r.err;
        r = tool({cmd, dir.path()});
        EXPECT_EQ(r.code, 2);
        EXPECT_NE(r.err.find("File access denied"), std::string::npos) << r.err;

        FullBuf full;
        std::ostream out(&full);
        std::ostringstream err;
        EXPECT_EQ(zorvtool::dispatch({cmd, file}, out, err), 2);
        EXPECT_EQ(err.str(), "zorvtool " + cmd + ": cannot write the output\n");

        // Each command names itself, and the file a read failed on.
        EXPECT_EQ(tool({cmd, dir.file("missing.dat")})
                      .err.rfind("zorvtool " + cmd + ": " + dir.file("missing.dat") + ": ", 0),
                  0u);
        EXPECT_EQ(
            tool({cmd, file, file}).err.rfind("zorvtool " + cmd + ": more than one FILE\n", 0), 0u);
        EXPECT_EQ(
            tool({cmd, "--x", file}).err.rfind("zorvtool " + cmd + ": unknown option '--x'\n", 0),
            0u);
        EXPECT_EQ(tool({cmd, "-", file}).err.rfind("zorvtool " + cmd + ": more than one FILE\n", 0),
                  0u);
    }
    EXPECT_NE(tool({"help"}).out.find("zorvtool list FILE [--options O]"), std::string::npos);
    EXPECT_NE(tool({"help"}).out.find("zorvtool stats FILE [--sort C] [--desc]"),
              std::string::npos);
}

// Python's json and csv modules read the forms back in tests/tool/export_parse.py;
// here the framing: whole records only, the user's number leading each line.
TEST_F(ListToolTest, ExportHasOneLineForEveryWholeRecord) {
    writeBytesAt(file, 3 * static_cast<long long>(kRecordSize), std::string(100, 'X'));
    const ToolRun json = tool({"export", file});
    ASSERT_EQ(json.code, 0) << json.err;
    const std::string shown = tool({"show", file, "1", "--json"}).out;
    const auto second = json.out.find('\n') + 1;
    // show's keys after the number, then the derived ones (tool_export_test.cpp).
    EXPECT_EQ(json.out.substr(second, json.out.find('\n', second) + 1 - second),
              "{\"user\": 1, " + shown.substr(1, shown.size() - 3) +
                  ", \"lastcallISO\": null, \"firstcallISO\": null, \"statusName\": null}\n");
    EXPECT_EQ(std::count(json.out.begin(), json.out.end(), '\n'), 3);

    const ToolRun csv = tool({"export", file, "--format", "csv", "--encoding", "UTF-8"});
    ASSERT_EQ(csv.code, 0) << csv.err;
    EXPECT_EQ(csv.out.rfind("user,Name,address,postnr,Tlf,birth,status,", 0), 0u);
    EXPECT_NE(csv.out.find("\r\n1,SYSOP,A\tB,Oslo,555,1970,7,"), std::string::npos);
    EXPECT_NE(csv.out.find("\r\n2,\"<B>KARI \"\"K\"\"\",Vei & sti,"), std::string::npos)
        << "quoted as the list's CSV";
    EXPECT_EQ(std::count(csv.out.begin(), csv.out.end(), '\n'), 4);

    // No user at all: nothing, or the header alone.
    writeFileBytes(file, std::string(kRecordSize - 1, '\0'));
    EXPECT_EQ(tool({"export", file}).out, "");
    EXPECT_EQ(tool({"export", file, "--format", "csv"}).out.find("\r\n"),
              tool({"export", file, "--format", "csv"}).out.size() - 2);
}

TEST_F(ListToolTest, StatisticsGridSortedByNumbersAndNames) {
    ToolRun r = tool({"stats", file});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out, "User Number\tName\tLogins\tMsg read\tMsg left\tUploaded\tDownloaded\t"
                     "Kb uploaded\tKb Downloaded\r\n"
                     "0\tOLA NORDMANN\t10\t0\t0\t0\t0\t0\t0\r\n"
                     "1\tSYSOP\t-5\t0\t0\t0\t0\t0\t0\r\n"
                     "2\t<B>KARI \"K\"\t9\t0\t0\t0\t0\t0\t0");
    // Logins as numbers: -5 below 9 below 10.
    r = tool({"stats", file, "--sort", "2"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.out.substr(r.out.find("\r\n") + 2, 2), "1\t");
    EXPECT_NE(r.out.find("-5\t0\t0\t0\t0\t0\t0\r\n2\t"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("\r\n0\tOLA NORDMANN\t10"), std::string::npos) << r.out;
    // Names by their bytes: '<' before 'O' before 'S'; descending reverses.
    r = tool({"stats", file, "--sort", "1", "--desc"});
    const auto at = [&](const char* s) { return r.out.find(s); };
    EXPECT_LT(at("\r\n1\tSYSOP"), at("\r\n0\tOLA"));
    EXPECT_LT(at("\r\n0\tOLA"), at("\r\n2\t<B>"));
}
