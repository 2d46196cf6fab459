#include "democonference.h"
#include "reports/reportrows.h"
#include "reports/rowfilter.h"
#include "tempdir.h"
#include "userfile/errors.h"
#include "userfile/userfile.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

using namespace zorv;
using zorvtest::TempDir;

namespace {

// Late morning: the time of day must play no part.
std::uint32_t packDate(int y, int m, int d) {
    return zorvtool::packDosDateTime(y, m, d, 11, 18, 52);
}

struct UserSpec {
    std::string name;
    unsigned status = 0;
    unsigned access = 0;
    int limit = 0;
    std::uint32_t lastcall = 0;
};

Record makeUser(const UserSpec& u) {
    Record r{};
    // Stored texts are cp865: written raw so the conversion on the way out shows.
    std::copy(u.name.begin(), u.name.end(), r.begin());
    writeText(r, kAddress, "Storgata 1, 3. etg");
    writeText(r, kPostnr, "0155 Oslo");
    writeText(r, kTlf, "22 33 44 55");
    writeText(r, kBirth, "01.02.1970");
    r[142] = static_cast<std::uint8_t>(u.status);
    writeNumber(r, kLimit, u.limit);
    putU32(r, kSecurityOffset, static_cast<std::uint32_t>(u.access) << 30 | 10);
    putU32(r, kLastcallOffset, u.lastcall);
    return r;
}

std::vector<std::string> row(const SortGrid& g, int r) {
    std::vector<std::string> out;
    for (int c = 0; c < g.ColCount(); ++c)
        out.emplace_back(g.Cell(c, r));
    return out;
}

using Row = std::vector<std::string>;

struct RowsTest : ::testing::Test {
    TempDir dir;
    std::string file = dir.file("zorvuser.dat");
    void SetUp() override {
        writeUserFile(file, {makeUser({"OLA NORDMANN", 0, 3, 100, packDate(2024, 2, 29)}),
                             makeUser({"SYSOP", 7, 1, 65535, 0}), // never called
                             makeUser({"KARI BJ\x9BRN  HANSEN", 3, 0, 20, packDate(1981, 2, 29)})});
    }
};

} // namespace

TEST(ListCells, NameSplitAndCallDate) {
    EXPECT_EQ(forenameOf("OLA NORDMANN"), "OLA ");
    EXPECT_EQ(surnameOf("OLA NORDMANN"), "NORDMANN");
    EXPECT_EQ(forenameOf("SYSOP"), "");
    EXPECT_EQ(surnameOf("SYSOP"), "SYSOP");
    EXPECT_EQ(forenameOf("A  B C"), "A ");
    EXPECT_EQ(surnameOf("A  B C"), " B C");
    EXPECT_EQ(surnameOf(" X"), "X");

    EXPECT_EQ(callDate(packDate(2024, 2, 29)), (CivilDate{2024, 2, 29}));
    EXPECT_EQ(callDate(packDate(2000, 2, 29)), (CivilDate{2000, 2, 29}));
    EXPECT_EQ(callDate(packDate(2107, 12, 31)), (CivilDate{2107, 12, 31}));
    for (std::uint32_t bad : {0u, packDate(2100, 2, 29), packDate(2023, 4, 31),
                              packDate(2023, 13, 1), packDate(2023, 1, 0)})
        EXPECT_FALSE(callDate(bad)) << std::hex << bad;

    EXPECT_EQ(loginStatText(0), "Active");
    EXPECT_EQ(loginStatText(3), "Kill+Boot");
    EXPECT_EQ(loginStatText(4), "4");
    EXPECT_EQ(loginStatText(255), "255");
}

TEST(ListColumns, HeadersAndSortStylesFollowTheOptions) {
    const UserListColumns def(ListOptions{"11111111001"});
    EXPECT_EQ(def.headers, (std::vector<std::string_view>{"User Number", "Forename", "Surname",
                                                          "Address", "City/State", "Phone", "Birth",
                                                          "Limit", "Up&&Down stat"}));
    EXPECT_EQ(def.lastCallColumn, -1);

    const UserListColumns all(ListOptions{"11111111110"});
    ASSERT_EQ(all.count(), 10);
    EXPECT_EQ(all.headers[1], "Name");
    EXPECT_EQ(all.headers[8], "Login stat");
    EXPECT_EQ(all.lastCallColumn, 9);

    auto style = [](const UserListColumns& cols, int col) {
        TSortStyle s = ssText;
        userListSortStyle(cols, col, s);
        return s;
    };
    EXPECT_EQ(style(all, 0), ssNumber);
    EXPECT_EQ(style(all, 6), ssText); // Limit sorts as text
    EXPECT_EQ(style(all, 9), ssDateTime);
    // Without the user number, column 0 is a text column, whatever it holds.
    const UserListColumns noNumber(ListOptions{"00000010011"});
    EXPECT_EQ(noNumber.headers, (std::vector<std::string_view>{"Limit", "Last Call"}));
    EXPECT_EQ(style(noNumber, 0), ssText);
    EXPECT_EQ(style(noNumber, 1), ssDateTime);

    EXPECT_EQ(UserListColumns(ListOptions{"00000000001"}).count(), 0);

    EXPECT_EQ(statisticsSortStyle(0), ssNumber);
    EXPECT_EQ(statisticsSortStyle(1), ssText);
    EXPECT_EQ(statisticsSortStyle(8), ssNumber);
    EXPECT_EQ(statisticsAlignment(1), taLeftJustify);
    EXPECT_EQ(statisticsAlignment(0), taRightJustify);
    EXPECT_EQ(statisticsAlignment(8), taRightJustify);
}

TEST_F(RowsTest, UserListCellsOfEveryColumn) {
    SortGrid g(1, 1);
    g.DateFormat = DatePattern("dd.MM.yyyy");
    const UserListColumns cols(ListOptions{"11111111111"});
    BlockReader reader(file);
    buildUserList(g, cols, reader);
    ASSERT_EQ(g.ColCount(), 11);
    ASSERT_EQ(g.RowCount(), 4);
    EXPECT_EQ(row(g, 0),
              (Row{"User Number", "Forename", "Surname", "Address", "City/State", "Phone", "Birth",
                   "Limit", "Up&&Down stat", "Login stat", "Last Call"}));
    EXPECT_EQ(row(g, 1),
              (Row{"0", "OLA ", "NORDMANN", "Storgata 1, 3. etg", "0155 Oslo", "22 33 44 55",
                   "01.02.1970", "100", "Up&&Down", "Active", "29.02.2024"}));
    // Status 7 in decimal; lastcall 0 an empty cell rather than the end of the list.
    EXPECT_EQ(row(g, 2), (Row{"1", "", "SYSOP", "Storgata 1, 3. etg", "0155 Oslo", "22 33 44 55",
                              "01.02.1970", "65535", "Download", "7", ""}));
    // cp865 ø (0x9B) becomes cp1252 ø (0xF8) in both halves of the name.
    EXPECT_EQ(row(g, 3)[1], "KARI ");
    EXPECT_EQ(row(g, 3)[2], "BJ\xF8RN  HANSEN");
    EXPECT_EQ(row(g, 3)[8], "None");
    EXPECT_EQ(row(g, 3)[9], "Kill+Boot");
    EXPECT_EQ(row(g, 3)[10], ""); // 29 Feb 1981 does not exist

    // Unsplit, the whole name in one column.
    BlockReader again(file);
    buildUserList(g, UserListColumns(ListOptions{"01000000000"}), again);
    EXPECT_EQ(g.ColCount(), 1);
    EXPECT_EQ(row(g, 0), Row{"Name"});
    EXPECT_EQ(row(g, 3), Row{"KARI BJ\xF8RN  HANSEN"});
}

TEST_F(RowsTest, NothingIsClearedFirstAndAFailedPassStopsWhereItFailed) {
    SortGrid g(1, 1);
    int told = 0;
    g.OnChanged = [&] { ++told; };
    BlockReader first(file);
    buildUserList(g, UserListColumns(ListOptions{"11000000000"}), first);
    EXPECT_EQ(told, 1); // once per build, not once per cell
    BlockReader second(file);
    buildUserList(g, UserListColumns(ListOptions{"00000000000"}), second);
    ASSERT_EQ(g.ColCount(), 1);
    ASSERT_EQ(g.RowCount(), 4);
    EXPECT_EQ(g.Cell(0, 0), "User Number");
    EXPECT_EQ(g.Cell(0, 3), "2");

    // The file shrinks to one record after the pass began: record 0 is read,
    // then the error; the rows after it keep their texts.
    BlockReader shrinking(file, 1);
    ASSERT_EQ(::truncate(file.c_str(), 273), 0);
    try {
        buildUserList(g, UserListColumns(ListOptions{"01000000000"}), shrinking);
        FAIL() << "no error";
    } catch (const IoError& e) {
        EXPECT_EQ(e.code(), kReadBeyondEnd);
    }
    EXPECT_EQ(told, 3);
    EXPECT_EQ(row(g, 0), Row{"Name"});
    EXPECT_EQ(row(g, 1), Row{"OLA NORDMANN"});
    EXPECT_EQ(row(g, 2), Row{"1"});
    EXPECT_EQ(row(g, 3), Row{"2"});
}

TEST_F(RowsTest, StatisticsRowsAreSigned32BitNumbers) {
    Record r = makeUser({"NEG ONE"});
    writeNumber(r, kLogins, -1);
    writeNumber(r, kMsgread, 9);
    writeNumber(r, kMsgleft, 10);
    writeNumber(r, kUpf, INT32_MIN);
    writeNumber(r, kDownf, INT32_MAX);
    writeNumber(r, kKbup, 7);
    writeNumber(r, kKbdown, 8);
    writeUserFile(file, {makeUser({"A"}), r});
    SortGrid g(kStatColumns, 1);
    BlockReader reader(file);
    buildStatistics(g, reader);
    ASSERT_EQ(g.RowCount(), 3);
    EXPECT_EQ(row(g, 0), (Row{"User Number", "Name", "Logins", "Msg read", "Msg left", "Uploaded",
                              "Downloaded", "Kb uploaded", "Kb Downloaded"}));
    EXPECT_EQ(row(g, 1), (Row{"0", "A", "0", "0", "0", "0", "0", "0", "0"}));
    // Msg read before Msg left, although the record has them the other way round.
    EXPECT_EQ(row(g, 2),
              (Row{"1", "NEG ONE", "-1", "9", "10", "-2147483648", "2147483647", "7", "8"}));
}

// --- The user list's filter ---------------------------------------------------------

namespace {

TEST(RowFilterTest, AnyCellUpperCasedAsTheFindTabAndNeverAcrossCells) {
    SortGrid g(3, 1);
    g.SetCell(0, 0, "Header OLA");
    g.SetDataRows({{"0", "Ola", "Storgata"},
                   {"1", "KARI \xF8STBY", "x"}, // cp1252 small o-slash
                   {"2", "PER", "OLSEN"},
                   {"3", "O", "LA"}});
    auto rows = [&](const char* text) { return RowFilter(text).matchingRows(g); };
    EXPECT_EQ(rows("ol"), (std::vector<int>{1, 3}));
    EXPECT_EQ(rows("\xD8STBY"), (std::vector<int>{2})); // capital against small
    EXPECT_EQ(rows("ola"), (std::vector<int>{1})) << "the header and two cells' joint are no match";
    EXPECT_EQ(rows("3"), (std::vector<int>{4}));
    EXPECT_EQ(rows(""), (std::vector<int>{1, 2, 3, 4}));
    EXPECT_TRUE(rows("storgatax").empty());
    EXPECT_EQ(RowFilter("ol").matchFlags(g), (std::vector<char>{1, 0, 1, 0}));
    // A longer text needs to look only among the rows a shorter one kept.
    const RowFilter o("o"), ols("ols"), la("la");
    EXPECT_TRUE(ols.narrows(o));
    EXPECT_FALSE(o.narrows(ols));
    EXPECT_FALSE(la.narrows(o));
    EXPECT_FALSE(ols.narrows(RowFilter("")));
}

} // namespace
