// zorvtool export: the keys after show's (ISO call times, status names) and
// the spreadsheet form of the CSV. Python reads the forms back in
// tests/tool/export_parse.py, LibreOffice in tests/tool/spreadsheet_test.py.
#include "command.h"
#include "recordfields.h"
#include "tempdir.h"
#include "toolrun.h"
#include "userfile/record.h"
#include "userfile/userfile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace zorv;
using zorvtest::tool;
using zorvtest::ToolRun;

namespace {

std::uint32_t packed(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return static_cast<std::uint32_t>((y - 1980) << 25 | mo << 21 | d << 16 | h << 11 | mi << 5 |
                                      s / 2);
}

Record withCalls(std::uint32_t lastcall, std::uint32_t firstcall, unsigned status = 0) {
    Record r{};
    writeText(r, kName, "X");
    putU32(r, kLastcallOffset, lastcall);
    putU32(r, kFirstcallOffset, firstcall);
    r[142] = static_cast<std::uint8_t>(status);
    return r;
}

// The cells of one CSV line that holds no quoted comma.
std::vector<std::string> cells(const std::string& line) {
    std::vector<std::string> out(1);
    for (const char c : line)
        if (c == ',')
            out.emplace_back();
        else
            out.back() += c;
    return out;
}

// Line `n` (0: the header) of CR LF text.
std::string lineOf(const std::string& text, int n) {
    std::size_t at = 0;
    for (int i = 0; i < n; ++i)
        at = text.find("\r\n", at) + 2;
    return text.substr(at, text.find("\r\n", at) - at);
}

class ExportTest : public ::testing::Test {
  protected:
    zorvtest::TempDir dir;
    std::string file = dir.file("zorvuser.dat");
};

} // namespace

TEST_F(ExportTest, IsoCallTimesAndStatusNamesFollowShowsKeys) {
    writeUserFile(file, {
                            withCalls(packed(2012, 3, 3, 5, 21, 58), packed(2006, 5, 3, 6, 35, 42)),
                            withCalls(0, packed(2024, 2, 29, 23, 59, 58), 1),
                            withCalls(packed(2023, 2, 29), packed(2100, 2, 29), 2),
                            withCalls(packed(2020, 4, 31), packed(2020, 1, 1, 24), 3),
                            withCalls(packed(2020, 1, 1, 0, 60), packed(2020, 13, 1), 4),
                            withCalls(packed(2107, 12, 31, 23, 59, 58), packed(1980, 1, 1), 255),
                        });
    const ToolRun json = tool({"export", file});
    ASSERT_EQ(json.code, 0) << json.err;
    const std::vector<std::string> tails{
        R"("lastcallISO": "2012-03-03T05:21:58", "firstcallISO": "2006-05-03T06:35:42", )"
        R"("statusName": "active"})",
        // Never called; a leap day.
        R"("lastcallISO": null, "firstcallISO": "2024-02-29T23:59:58", "statusName": "getlost"})",
        // No 29 February in 2023, nor in 2100.
        R"("lastcallISO": null, "firstcallISO": null, "statusName": "killed"})",
        // 31 April; the hour 24.
        R"("lastcallISO": null, "firstcallISO": null, "statusName": "kill+boot"})",
        // The minute 60; month 13; a status the board does not know.
        R"("lastcallISO": null, "firstcallISO": null, "statusName": null})",
        R"("lastcallISO": "2107-12-31T23:59:58", "firstcallISO": "1980-01-01T00:00:00", )"
        R"("statusName": null})",
    };
    std::size_t at = 0;
    for (int user = 0; user < static_cast<int>(tails.size()); ++user) {
        SCOPED_TRACE(user);
        const std::size_t end = json.out.find('\n', at);
        ASSERT_NE(end, std::string::npos);
        const std::string line = json.out.substr(at, end - at);
        at = end + 1;
        // show --json's object, then the new keys.
        std::string shown = tool({"show", file, std::to_string(user), "--json"}).out;
        shown = shown.substr(1, shown.size() - 3); // no braces, no LF
        EXPECT_EQ(line, "{\"user\": " + std::to_string(user) + ", " + shown + ", " +
                            tails[static_cast<std::size_t>(user)]);
    }

    // CSV: the same keys, none for null.
    const ToolRun csv = tool({"export", file, "--format", "csv"});
    ASSERT_EQ(csv.code, 0) << csv.err;
    const auto header = cells(lineOf(csv.out, 0));
    ASSERT_EQ(header.size(), 1 + zorvtool::kExportFieldCount);
    EXPECT_EQ(header[34], "firstcall") << "today's columns keep their places";
    EXPECT_EQ(std::vector<std::string>(header.end() - 3, header.end()),
              (std::vector<std::string>{"lastcallISO", "firstcallISO", "statusName"}));
    const auto tailOf = [&](int user) {
        // The call times hold a comma and come quoted: count from the end.
        const std::string line = lineOf(csv.out, user + 1);
        const auto c = cells(line);
        return std::vector<std::string>(c.end() - 3, c.end());
    };
    EXPECT_EQ(tailOf(0),
              (std::vector<std::string>{"2012-03-03T05:21:58", "2006-05-03T06:35:42", "active"}));
    EXPECT_EQ(tailOf(1), (std::vector<std::string>{"", "2024-02-29T23:59:58", "getlost"}));
    EXPECT_EQ(tailOf(4), (std::vector<std::string>{"", "", ""}));
}

TEST_F(ExportTest, SetTakesTheIsoFormExportGives) {
    writeUserFile(file, {withCalls(0, 0)});
    ToolRun r =
        tool({"set", file, "0", "lastcall=2012-03-03T05:21:58", "firstcall=2006-05-03T06:35"});
    ASSERT_EQ(r.code, 0) << r.err;
    const Record back = readRecordAt(file, 0);
    EXPECT_EQ(readLastcall(back), packed(2012, 3, 3, 5, 21, 58));
    EXPECT_EQ(readFirstcall(back), packed(2006, 5, 3, 6, 35));
    std::string iso;
    ASSERT_TRUE(zorvtool::appendIsoCallTime(iso, readLastcall(back)));
    EXPECT_EQ(iso, "2012-03-03T05:21:58");

    // An odd second would be stored as another; a time without its minutes is no form.
    for (const char* bad :
         {"lastcall=2012-03-03T05:21:59", "lastcall=2012-03-03T05:21:60", "lastcall=2012-03-03T05",
          "lastcall=2012-03-03T05:21:58Z", "lastcall=2012-03-03 05:21:58"}) {
        SCOPED_TRACE(bad);
        r = tool({"set", file, "0", bad});
        EXPECT_EQ(r.code, 2);
        EXPECT_NE(r.err.find("YYYY-MM-DDTHH:MM:SS"), std::string::npos) << r.err;
        EXPECT_EQ(readLastcall(readRecordAt(file, 0)), packed(2012, 3, 3, 5, 21, 58));
    }
}

TEST_F(ExportTest, SpreadsheetFormHasAByteOrderMarkAndGuardsFormulaTexts) {
    Record r{};
    writeText(r, kName, "=1+2");
    writeText(r, kAddress, "+47 STREET");
    writeText(r, kPostnr, "-1");
    writeText(r, kTlf, "@SUM(A1)");
    writeText(r, kBirth, "\tTAB");
    writeNumber(r, kLogins, -5); // a number: never guarded
    Record s{};
    writeText(s, kName, "\r1"); // quoted for its CR, guarded inside the quotes
    writeText(s, kAddress, "a=1");
    writeText(s, kPostnr, "\xC6SE \xD8"); // cp1252: ÆSE Ø
    writeUserFile(file, {r, s});

    const std::string plain = tool({"export", file, "--format", "csv"}).out;
    const ToolRun sheet = tool({"export", file, "--format", "csv", "--for-spreadsheet"});
    ASSERT_EQ(sheet.code, 0) << sheet.err;
    ASSERT_EQ(sheet.out.rfind("\xEF\xBB\xBF", 0), 0u) << "UTF-8 with a byte-order mark";
    const std::string body = sheet.out.substr(3);
    EXPECT_EQ(lineOf(body, 0), lineOf(plain, 0)) << "the same header";
    EXPECT_EQ(lineOf(body, 1).rfind("0,'=1+2,'+47 STREET,'-1,'@SUM(A1),'\tTAB,0,", 0), 0u)
        << lineOf(body, 1);
    EXPECT_NE(lineOf(body, 1).find(",-5,"), std::string::npos) << "logins as a number";
    EXPECT_EQ(lineOf(body, 2).rfind("1,\"'\r1\",a=1,\xC3\x86SE \xC3\x98,", 0), 0u)
        << lineOf(body, 2);

    // The plain form stays as pipelines know it: no mark, no guard.
    EXPECT_EQ(plain.rfind("user,", 0), 0u);
    EXPECT_EQ(lineOf(plain, 1).rfind("0,=1+2,+47 STREET,-1,@SUM(A1),\tTAB,0,", 0), 0u);

    // cp1252 has no mark to give; the guard stays.
    const ToolRun narrow =
        tool({"export", file, "--format", "csv", "--encoding", "cp1252", "--for-spreadsheet"});
    ASSERT_EQ(narrow.code, 0) << narrow.err;
    EXPECT_EQ(narrow.out.rfind("user,", 0), 0u);
    EXPECT_EQ(lineOf(narrow.out, 1).rfind("0,'=1+2,'+47 STREET,", 0), 0u);
    EXPECT_NE(lineOf(narrow.out, 2).find(",a=1,\xC6SE \xD8,"), std::string::npos);

    // JSON lines are for programs.
    const ToolRun json = tool({"export", file, "--for-spreadsheet"});
    EXPECT_EQ(json.code, 2);
    EXPECT_EQ(json.out, "");
    EXPECT_NE(json.err.find("--for-spreadsheet"), std::string::npos) << json.err;
}
