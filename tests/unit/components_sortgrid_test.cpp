// The grid model: cells, comparison styles, the sort's order and failures,
// typed cells, dates and row operations.

#include "components/gridvalues.h"
#include "components/sortgrid.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

namespace zorv {
namespace {

using Rows = std::vector<std::vector<std::string>>;

// A grid with a header row and the given data rows.
void fill(SortGrid& g, Rows rows) {
    g.SetColCount(static_cast<int>(rows.empty() ? g.ColCount() : rows[0].size()));
    g.SetDataRows(std::move(rows));
}

std::vector<std::string> column(const SortGrid& g, int col) {
    std::vector<std::string> out;
    for (int r = g.FixedRows; r < g.RowCount(); ++r)
        out.emplace_back(g.Cell(col, r));
    return out;
}

Rows snapshot(const SortGrid& g) {
    Rows out;
    for (int r = 0; r < g.RowCount(); ++r) {
        out.emplace_back();
        for (int c = 0; c < g.ColCount(); ++c)
            out.back().emplace_back(g.Cell(c, r));
    }
    return out;
}

std::string errorOf(SortGrid& g) {
    try {
        g.SortRows();
    } catch (const SortCompareError& e) {
        return e.what();
    }
    return "no error";
}

// Two one-column rows compared under `style`.
int compare(TSortStyle style, const std::string& a, const std::string& b) {
    SortGrid g(1, 3);
    g.OnGetFormat = [style](int, TSortStyle& s) { s = style; };
    g.SetCell(0, 1, a);
    g.SetCell(0, 2, b);
    return g.CompareRows(0, 1, 2);
}

// --- cells --------------------------------------------------------------------

TEST(SortGridCells, KeepTextsOfAnyLengthAndByteAcrossEdits) {
    SortGrid g(4, 3);
    const std::string longText(300, '\xE6');
    const std::string withZero("a\0b", 3);
    g.SetCell(2, 1, "mid");
    g.SetCell(0, 1, longText);
    g.SetCell(3, 1, withZero);
    g.SetCell(2, 1, "");
    g.SetCell(1, 1, std::string(255, 'x'));
    EXPECT_EQ(g.Cell(0, 1), longText);
    EXPECT_EQ(g.Cell(1, 1), std::string(255, 'x'));
    EXPECT_EQ(g.Cell(2, 1), "");
    EXPECT_EQ(g.Cell(3, 1), withZero);
    std::vector<std::string_view> cells;
    g.RowTexts(1, cells); // one walk along the row gives the same cells
    EXPECT_EQ(cells,
              (std::vector<std::string_view>{longText, std::string(255, 'x'), "", withZero}));
    g.SetCell(3, 1, "");
    g.RowTexts(1, cells);
    EXPECT_EQ(cells.size(), 4u) << "cells missing at the row's end read as empty";
    EXPECT_EQ(cells[3], "");
    g.SetCell(3, 1, withZero);
    int asked = 0; // a walk that stops at the first cell matched
    EXPECT_TRUE(g.AnyCell(1, [&](std::string_view t) { return ++asked, t.size() == 255; }));
    EXPECT_EQ(asked, 2);
    EXPECT_FALSE(g.AnyCell(1, [](std::string_view t) { return t == "a"; }));
    EXPECT_TRUE(g.AnyCell(2, [](std::string_view t) { return t.empty(); })); // a row never set
    g.SetCell(0, 1, "short");
    EXPECT_EQ(g.Cell(0, 1), "short");
    EXPECT_EQ(g.Cell(3, 1), withZero);
    EXPECT_EQ(g.Cell(0, 2), "");
    EXPECT_EQ(g.Cell(9, 1), ""); // outside reads as empty
    EXPECT_THROW(g.SetCell(4, 1, "x"), std::out_of_range);
}

TEST(SortGridCells, ShapeChangesDropAndAddEmptyCells) {
    SortGrid g(3, 2);
    g.SetCell(2, 1, "gone");
    g.SetCell(0, 1, "kept");
    g.SetColCount(2);
    g.SetColCount(3);
    EXPECT_EQ(g.Cell(2, 1), ""); // a dropped column comes back empty
    EXPECT_EQ(g.Cell(0, 1), "kept");
    g.SetRowCount(4);
    EXPECT_EQ(g.Cell(0, 3), "");
    g.SetSelection({0, 3, 2, 3});
    g.SetRowCount(2);
    EXPECT_EQ(g.Row(), 1);
    EXPECT_EQ(g.Selection(), (TGridRect{0, 1, 2, 1}));
}

TEST(SortGridCells, DataRowsReplaceAllButTheHeaderAndCopyRowCopiesEveryCell) {
    SortGrid g(2, 5);
    g.SetCell(0, 0, "Head");
    int changes = 0;
    g.OnChanged = [&] { ++changes; };
    g.SetDataRows({{"a", "1"}, {"b"}, {"c", "3", "dropped"}});
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(g.RowCount(), 4);
    EXPECT_EQ(g.Cell(0, 0), "Head");
    EXPECT_EQ(column(g, 1), (std::vector<std::string>{"1", "", "3"}));
    EXPECT_EQ(g.Cell(2, 3), "");
    g.CopyRow(1, 3);
    EXPECT_EQ(g.Cell(0, 3), "a");
    EXPECT_EQ(g.Cell(1, 3), "1");
    // A whole row replaces every cell, also those it leaves out.
    g.SetRowCells(3, {"", std::string(300, 'z'), "dropped"});
    EXPECT_EQ(g.Cell(0, 3), "");
    EXPECT_EQ(g.Cell(1, 3), std::string(300, 'z'));
    g.SetRowCells(3, {"only"});
    EXPECT_EQ(g.Cell(0, 3), "only");
    EXPECT_EQ(g.Cell(1, 3), "");
    EXPECT_EQ(g.Cell(0, 2), "b");
    EXPECT_EQ(changes, 4); // SetDataRows, CopyRow and the two rows
    EXPECT_THROW(g.SetRowCells(4, {"x"}), std::out_of_range);
    EXPECT_EQ(g.RowCount(), 4);
}

TEST(SortGridCells, RowsPartitionedAsideAndMergedBackByRank) {
    SortGrid shown(2, 1), aside(2, 1);
    shown.SetCell(0, 0, "Head");
    aside.SetCell(0, 0, "Aside head");
    fill(shown, {{"a", "0"}, {"b", "1"}, {"c", "2"}, {"d", "3"}});
    shown.PartitionRows({1, 0, 1, 0}, aside);
    EXPECT_EQ(snapshot(shown), (Rows{{"Head", ""}, {"a", "0"}, {"c", "2"}}));
    EXPECT_EQ(snapshot(aside), (Rows{{"Aside head", ""}, {"b", "1"}, {"d", "3"}}));
    shown.MergeRowsFrom(aside, {0, 2}, {1, 3});
    EXPECT_EQ(snapshot(shown),
              (Rows{{"Head", ""}, {"a", "0"}, {"b", "1"}, {"c", "2"}, {"d", "3"}}));
    EXPECT_EQ(snapshot(aside), (Rows{{"Aside head", ""}}));
    // Shapes that do not fit change nothing.
    SortGrid wide(3, 1);
    EXPECT_THROW(shown.PartitionRows({1, 1, 1, 1}, wide), std::invalid_argument);
    EXPECT_THROW(shown.PartitionRows({1, 1}, aside), std::invalid_argument);
    EXPECT_THROW(shown.MergeRowsFrom(aside, {0, 1}, {}), std::invalid_argument);
    EXPECT_EQ(shown.RowCount(), 5);
}

TEST(SortGridCells, RowsKeepTheirTextsAfterTheGridThatMadeThemAndAcrossRewrites) {
    // Rows share the blocks they were written into: a block must outlive
    // the grid that made it while another grid holds its rows, and a
    // rewritten row must not lose its neighbours' bytes.
    SortGrid kept(2, 1);
    Rows expected{{"", ""}};
    {
        SortGrid maker(2, 1);
        Rows rows;
        for (int i = 0; i < 30000; ++i)
            rows.push_back({"user " + std::to_string(i), std::string(i % 40, 'x')});
        fill(maker, rows);
        for (int r = 1; r < maker.RowCount(); r += 2) {
            maker.SetCell(1, r, "rewritten");
            rows[static_cast<std::size_t>(r - 1)][1] = "rewritten";
        }
        std::vector<char> keep(rows.size());
        for (std::size_t i = 0; i < keep.size(); ++i)
            keep[i] = i % 3 != 0;
        maker.PartitionRows(keep, kept);
        for (std::size_t i = 0; i < keep.size(); i += 3)
            expected.push_back(rows[i]);
    }
    // Memory freed by the maker is used again by others.
    SortGrid other(2, 1);
    fill(other, Rows(40000, {std::string(60, 'o'), std::string(60, 'p')}));
    ASSERT_EQ(snapshot(kept), expected);

    kept.SetCell(0, 1, "changed");
    kept.CopyRow(2, 3);
    kept.ClearRowsAt(4, 1);
    expected[1][0] = "changed";
    expected[3] = expected[2];
    expected[4] = {"", ""};
    EXPECT_EQ(snapshot(kept), expected);
}

TEST(SortGridCells, MemoryStaysWithinThreeTimesTheTexts) {
    SortGrid g(10, 1);
    Rows rows;
    std::size_t textBytes = 0;
    for (int i = 0; i < 20000; ++i) {
        std::vector<std::string> r;
        for (int c = 0; c < 10; ++c)
            r.push_back(std::to_string(i * 7919 + c) + (c == 1 ? "Some User Name" : ""));
        for (const auto& t : r)
            textBytes += t.size();
        rows.push_back(std::move(r));
    }
    g.SetDataRows(std::move(rows));
    EXPECT_LE(g.MemoryBytes(), 3 * textBytes);
}

// --- the number syntax ------------------------------------------------------------

TEST(SortGridNumbers, SyntaxAtItsEdges) {
    struct Case {
        const char* text;
        bool number;
        double value;
    };
    const Case cases[] = {
        {"42", true, 42},  {"  42", true, 42},  {"+5", true, 5},      {"-3", true, -3},
        {".5", true, 0.5}, {"-.5e1", true, -5}, {"1E+3", true, 1000}, {"1e-3", true, 0.001},
        {"007", true, 7},  {"5.", false, 0},    {"1,5", false, 0},    {"1 000", false, 0},
        {"5 ", false, 0},  {"1e", false, 0},    {"1e+", false, 0},    {".", false, 0},
        {"-", false, 0},   {"", false, 0},      {"   ", false, 0},    {"abc", false, 0},
        {"\t5", false, 0}, {"+-5", false, 0},   {"5e3.0", false, 0},  {"1.2.3", false, 0},
    };
    for (const Case& c : cases) {
        long double v = -99;
        EXPECT_EQ(gridTextToNumber(c.text, v), c.number) << c.text;
        if (c.number) {
            EXPECT_NEAR(static_cast<double>(v), c.value, 1e-12) << c.text;
        }
    }
}

TEST(SortGridNumbers, KeepFortyBitsAndTheExponentRange) {
    long double v = 0;
    // Every 32-bit integer is exact; 2^40 + 1 needs 41 bits.
    ASSERT_TRUE(gridTextToNumber("-2147483648", v));
    EXPECT_EQ(v, -2147483648.0L);
    EXPECT_EQ(compare(ssNumber, "2147483647", "2147483646"), 1);
    EXPECT_EQ(compare(ssNumber, "1099511627775", "1099511627774"), 1);
    EXPECT_EQ(compare(ssNumber, "1099511627777", "1099511627776"), 0);
    EXPECT_EQ(compare(ssNumber, "0.10000000000001", "0.1"), 0);
    EXPECT_EQ(compare(ssNumber, "0.1000000000002", "0.1"), 1);
    // Below 2^-128 (2.938...e-39) is 0; 2^-128 itself is not.
    EXPECT_EQ(compare(ssNumber, "2.9e-39", "0"), 0);
    EXPECT_EQ(compare(ssNumber, "-2.9e-39", "0"), 0);
    EXPECT_EQ(compare(ssNumber, "2.9387358770557188e-39", "0"), 1);
    EXPECT_EQ(compare(ssNumber, "1e-99999", "0"), 0);
    // Just below 2^127 is a number.
    ASSERT_TRUE(gridTextToNumber("1.7e38", v));
    EXPECT_EQ(compare(ssNumber, "1.7e38", "1.6e38"), 1);
}

TEST(SortGridNumbers, OverflowAtTwoToThe127AlsoFromNonNumbers) {
    const char* overflowing[] = {
        "170141183460469231731687303715884105728", // 2^127
        "1.71e38",
        "-1e39",
        "1e99999",
        "170141183460469231731687303715884105728x",  // leading digits worth 2^127
        "1701411834604692317316873037158841057.28 ", // point ignored
    };
    for (const char* t : overflowing) {
        long double v = 0;
        try {
            gridTextToNumber(t, v);
            ADD_FAILURE() << t << " converted";
        } catch (const SortCompareError& e) {
            EXPECT_STREQ(e.what(), "Floating point overflow") << t;
        }
        EXPECT_THROW(compare(ssNumber, "1", t), SortCompareError) << t;
        EXPECT_THROW(compare(ssNumber, "abc", t), SortCompareError) << t;
    }
    // One digit fewer: an ordinary non-number.
    EXPECT_EQ(compare(ssNumber, "17014118346046923173168730371588410572x", "5"), 0);
}

// --- the three styles -----------------------------------------------------------------

TEST(SortGridCompare, TextByUnsignedBytes) {
    EXPECT_EQ(compare(ssText, "Zeta", "alpha"), -1);
    EXPECT_EQ(compare(ssText, "Ab", "Abc"), -1);
    EXPECT_EQ(compare(ssText, "Abc", "Ab"), 1);
    EXPECT_EQ(compare(ssText, "\xE6", "z"), 1); // cp1252 letters above ASCII
    EXPECT_EQ(compare(ssText, "abcdefghX", "abcdefghY"), -1);
    EXPECT_EQ(compare(ssText, "abcdefgh", "abcdefgh"), 0);
    EXPECT_EQ(compare(ssText, "abc", std::string("abc\0", 4)), -1);
    EXPECT_EQ(compare(ssText, "", "a"), -1);
    // An unknown style compares as text.
    EXPECT_EQ(compare(static_cast<TSortStyle>(7), "b", "a"), 1);
}

TEST(SortGridCompare, NumbersWithEmptyAsZeroAndNonNumbersEqual) {
    EXPECT_EQ(compare(ssNumber, "-3", "2"), -1);
    EXPECT_EQ(compare(ssNumber, "10", "9"), 1);
    EXPECT_EQ(compare(ssNumber, "", "0"), 0);
    EXPECT_EQ(compare(ssNumber, "", "-1"), 1);
    EXPECT_EQ(compare(ssNumber, "-0", "0"), 0);
    EXPECT_EQ(compare(ssNumber, "abc", "-1000"), 0);
    EXPECT_EQ(compare(ssNumber, "1,5", "7"), 0);
    EXPECT_EQ(compare(ssNumber, "1e3", "999.5"), 1);
}

TEST(SortGridCompare, DatesWithEmptyFirstAndBadTextsRaising) {
    EXPECT_EQ(compare(ssDateTime, "1999-12-31", "2000-01-01"), -1);
    EXPECT_EQ(compare(ssDateTime, "2000-01-01 10:00", "2000-01-01 9:59:59"), 1);
    EXPECT_EQ(compare(ssDateTime, "2000-01-01", "2000-01-01 0:00"), 0);
    EXPECT_EQ(compare(ssDateTime, "", "1980-01-01"), -1);
    EXPECT_EQ(compare(ssDateTime, "2107-12-31", ""), 1);
    EXPECT_EQ(compare(ssDateTime, "", ""), 0);
    try {
        compare(ssDateTime, "2000-01-01", "yesterday");
        ADD_FAILURE();
    } catch (const SortCompareError& e) {
        EXPECT_STREQ(e.what(), "'yesterday' is not a valid date and time");
    }
    EXPECT_THROW(compare(ssDateTime, " ", ""), SortCompareError);
    EXPECT_THROW(compare(ssDateTime, "2001-02-29", "2000-01-01"), SortCompareError);
}

TEST(SortGridCompare, TiesBreakOnTheFollowingColumnsButNeverTheLast) {
    SortGrid g(4, 3);
    std::vector<int> asked;
    g.OnGetFormat = [&](int col, TSortStyle& s) {
        asked.push_back(col);
        if (col == 1)
            s = ssNumber;
    };
    fill(g, {{"a", "10", "x", "1"}, {"a", "9", "x", "2"}});
    EXPECT_EQ(g.CompareRows(0, 1, 2), 1); // by column 1, as numbers
    EXPECT_EQ(asked, (std::vector<int>{0, 1}));
    g.SetCell(1, 2, "10");
    asked.clear();
    EXPECT_EQ(g.CompareRows(0, 1, 2), 0); // column 3 differs but is the last
    EXPECT_EQ(asked, (std::vector<int>{0, 1, 2}));
    g.SetCell(2, 2, "w");
    EXPECT_EQ(g.CompareRows(0, 1, 2), 1);
    // From the last-but-one column on, nothing breaks a tie; columns to the
    // left are never asked.
    g.SetCell(2, 2, "x");
    asked.clear();
    EXPECT_EQ(g.CompareRows(2, 1, 2), 0);
    EXPECT_EQ(asked, (std::vector<int>{2}));
    g.SetCell(0, 2, "b");
    EXPECT_EQ(g.CompareRows(1, 1, 2), 0);
}

// --- sorting ------------------------------------------------------------------------

// The sort exactly as the grid's rules have it: two scratch rows below the
// data, the pivot copied, swaps through the scratch row, recursion.
struct LiteralSort {
    SortGrid& g;
    int d = 1;

    void swapRows(int i, int j) {
        const int s = g.RowCount() - 1;
        g.CopyRow(i, s);
        g.CopyRow(j, i);
        g.CopyRow(s, j);
        if (g.Row() == i)
            g.SetRow(j);
        else if (g.Row() == j)
            g.SetRow(i);
    }
    void sort(int lo, int hi) {
        const int p = g.RowCount() - 2;
        const int col = g.SortColumn();
        g.CopyRow((lo + hi) / 2, p);
        int i = lo, j = hi;
        do {
            while (g.CompareRows(col, p, i) == d)
                ++i;
            while (g.CompareRows(col, j, p) == d)
                --j;
            if (i <= j) {
                if (i != j)
                    swapRows(i, j);
                ++i;
                --j;
            }
        } while (i <= j);
        if (lo < j)
            sort(lo, j);
        if (i < hi)
            sort(i, hi);
    }
    void run() {
        const int last = g.RowCount() - 1;
        g.SetRowCount(g.RowCount() + 2);
        d = g.SortDirection == sdAscending ? 1 : -1;
        try {
            sort(1, last);
        } catch (...) {
            g.SetRowCount(g.RowCount() - 2);
            throw;
        }
        g.SetRowCount(g.RowCount() - 2);
    }
};

// `rows` sorted by `col` in `dir`, with `format` as the columns' styles: the
// grid's order is the literal quicksort's.
void expectLiteralOrder(const Rows& rows, int col, TSortDirection dir,
                        const std::function<void(int, TSortStyle&)>& format, int round) {
    const int cols = static_cast<int>(rows.at(0).size());
    SortGrid fast(cols, 1), literal(cols, 1);
    for (SortGrid* g : {&fast, &literal}) {
        g->OnGetFormat = format;
        fill(*g, rows);
        g->SetSortColumn(col);
        g->SortDirection = dir;
    }
    fast.SortRows();
    LiteralSort{literal}.run();
    EXPECT_EQ(snapshot(fast), snapshot(literal)) << "round " << round;
}

// Random rows of few distinct values in the sorted and tie-break columns,
// with a row id in the last column, which never breaks a tie.
Rows randomRows(std::mt19937& rng, int n, const std::vector<std::string>& values) {
    Rows rows;
    for (int r = 0; r < n; ++r)
        rows.push_back({values[rng() % values.size()], values[rng() % values.size()],
                        values[rng() % 3], "id" + std::to_string(r)});
    return rows;
}

TEST(SortGridSort, OrderOfTiedRowsIsThatOfTheLiteralQuicksort) {
    std::mt19937 rng(20261209);
    const std::vector<std::string> values = {"b", "a", "10", "9", "", "x", "-1", "1e1"};
    const std::vector<std::string> clean = {"10", "9", "", "-1", "1e1", "0.5", "9"};
    // Long shared beginnings and many distinct texts as well.
    std::vector<std::string> many;
    for (int k = 0; k < 600; ++k)
        many.push_back(std::string(k % 3 ? "Fjellvegen " : "Fjellveg") + std::to_string(k % 300) +
                       (k % 2 ? "" : "b"));
    for (int round = 0; round < 300; ++round) {
        const int n = round < 280 ? static_cast<int>(rng() % 40) : 1500;
        // Every fifth round without non-numbers: the sort then ranks whole rows.
        Rows rows = randomRows(rng, n, round % 5 == 1 ? clean : values);
        if (round >= 290)
            for (auto& r : rows)
                r[round % 3] = many[rng() % many.size()];
        SortGrid fast(4, 1), literal(4, 1);
        for (SortGrid* g : {&fast, &literal}) {
            // Mostly numbers in column 1, where non-numbers tie with
            // everything; every fourth round all text.
            const bool numbers = round % 4 != 3;
            g->OnGetFormat = [numbers](int col, TSortStyle& s) {
                if (col == 1 && numbers)
                    s = ssNumber;
            };
            fill(*g, rows);
            g->SetSortColumn(static_cast<int>(round % 3));
            g->SortDirection = round % 2 ? sdDescending : sdAscending;
        }
        if (n > 0) {
            fast.SetRow(1 + static_cast<int>(rng() % n));
            literal.SetRow(fast.Row());
        }
        fast.SortRows();
        if (n >= 2)
            LiteralSort{literal}.run();
        ASSERT_EQ(snapshot(fast), snapshot(literal)) << "round " << round;
        ASSERT_EQ(fast.Row(), literal.Row()) << "round " << round;
    }
}

// Columns of many distinct texts are ranked eight bytes at a time: texts
// that share eight or sixteen bytes, that end inside a shared chunk, or that
// differ only by trailing zero bytes or by 0xFF, in the sorted column and in
// a tie column most rows reach.
TEST(SortGridSort, ManyDistinctTextsRankByteForByte) {
    std::mt19937 rng(1209);
    const char bytes[] = {'\0', 'A', '\xFF'};
    std::vector<std::string> pool;
    for (int k = 0; k < 700; ++k) {
        std::string t = k % 2 ? "Fjellvegen 1" : "Fjellveg";
        for (int i = static_cast<int>(rng() % 12); i > 0; --i)
            t += bytes[rng() % 3];
        pool.push_back(t);
    }
    for (int round = 0; round < 8; ++round) {
        Rows rows;
        for (int r = 0; r < 2000; ++r) {
            std::string many = pool[rng() % pool.size()];
            std::string few(1, static_cast<char>('a' + rng() % 2));
            if (round % 2)
                std::swap(many, few);
            rows.push_back({many, few, pool[rng() % pool.size()], "id" + std::to_string(r)});
        }
        expectLiteralOrder(rows, round % 4 == 3 ? 1 : 0,
                           round % 4 == 2 ? sdDescending : sdAscending, {}, round);
    }
}

// Tie columns that most rows reach: texts of many and of few distinct
// values, numbers (keys made row by row, then whole).
TEST(SortGridSort, TieColumnsMostRowsReachFollowTheLiteralQuicksort) {
    std::mt19937 rng(91);
    std::vector<std::string> streets;
    for (int k = 0; k < 700; ++k)
        streets.push_back((k % 2 ? "Fjellvegen " : "Fjellveg") + std::to_string(k % 350));
    const std::vector<std::string> numbers = {"7", "", "x", "10", "-3", "7.0", "1e1"};
    for (int round = 0; round < 24; ++round) {
        const int n = 900 + static_cast<int>(rng() % 600);
        Rows rows;
        for (int r = 0; r < n; ++r) {
            // Columns 1 and 3 swap roles every other round.
            std::string many = streets[rng() % (round % 3 ? streets.size() : 4)];
            std::string few = std::string(1, static_cast<char>('a' + rng() % 3));
            if (round % 2)
                std::swap(many, few);
            rows.push_back({std::string(1, static_cast<char>('p' + rng() % 2)), many,
                            numbers[rng() % numbers.size()], few, "id" + std::to_string(r)});
        }
        expectLiteralOrder(
            rows, round % 4 == 3 ? 1 : 0, round % 4 == 2 ? sdDescending : sdAscending,
            [](int col, TSortStyle& s) {
                if (col == 2)
                    s = ssNumber;
            },
            round);
    }
}

TEST(SortGridSort, ErrorsLeaveEveryRowAndRaiseTheCellTheLiteralSortMeets) {
    std::mt19937 rng(7);
    const std::vector<std::string> values = {"2001-05-06", "1999-01-01", "",
                                             "2010-10-10", "2000-02-29", "2003-03-03 12:00"};
    int literalMoved = 0, failed = 0;
    for (int round = 0; round < 300; ++round) {
        const int n = 2 + static_cast<int>(rng() % 40);
        Rows rows = randomRows(rng, n, values);
        // A few bad cells of their own texts: which one stops the sort shows
        // the order in which the rows were compared.
        for (int k = static_cast<int>(rng() % 4); k > 0; --k)
            rows[rng() % rows.size()][rng() % 3] = "bad" + std::to_string(k);
        SortGrid fast(4, 1), literal(4, 1);
        for (SortGrid* g : {&fast, &literal}) {
            g->OnGetFormat = [](int, TSortStyle& s) { s = ssDateTime; };
            fill(*g, rows);
            g->SetSortColumn(round % 2);
        }
        fast.SetSelection({1, 1, 3, 2});
        const Rows before = snapshot(fast);
        const std::string fastError = errorOf(fast);
        std::string literalError = "no error";
        try {
            LiteralSort{literal}.run();
        } catch (const SortCompareError& e) {
            literalError = e.what();
        }
        ASSERT_EQ(fastError, literalError) << "round " << round;
        if (fastError != "no error") {
            ++failed;
            ASSERT_EQ(snapshot(fast), before) << "round " << round;
            EXPECT_EQ(fast.Selection(), (TGridRect{1, 1, 3, 2}));
            literalMoved += snapshot(literal) != before;
        } else {
            ASSERT_EQ(snapshot(fast), snapshot(literal)) << "round " << round;
        }
    }
    // The all-or-nothing rule mattered: the literal sort left rows moved.
    EXPECT_GT(failed, 50);
    EXPECT_GT(literalMoved, 10);
}

// Rows enough for the sort to share its ranges between threads: few texts
// in the sorted column (long runs of ties), numbers with non-numbers that
// tie with everything, many distinct texts, dates; the id never breaks a tie.
Rows threadedRows(std::mt19937& rng, int n) {
    static const std::vector<std::string> few = {"Active", "Killed", "Getlost", ""};
    static const std::vector<std::string> nums = {"7", "", "x", "10", "-3", "7.0", "1e1", "0"};
    Rows rows;
    for (int r = 0; r < n; ++r)
        rows.push_back({few[rng() % few.size()], nums[rng() % nums.size()],
                        "Vei " + std::to_string(rng() % 5000),
                        "20" + std::to_string(10 + rng() % 3) + "-0" +
                            std::to_string(1 + rng() % 9) + "-1" + std::to_string(rng() % 10),
                        std::string(1, static_cast<char>('a' + rng() % 2)),
                        "id" + std::to_string(r)});
    return rows;
}

void threadedFormats(SortGrid& g, int& asked) {
    g.OnGetFormat = [&asked](int col, TSortStyle& s) {
        ++asked;
        if (col == 1)
            s = ssNumber;
        else if (col == 3)
            s = ssDateTime;
    };
}

TEST(SortGridThreads, TwoThreadsKeepTheOneThreadOrder) {
    std::mt19937 rng(1912);
    const Rows rows = threadedRows(rng, 40000);
    for (int col = 0; col < 5; ++col) {
        for (TSortDirection dir : {col % 2 ? sdDescending : sdAscending}) {
            SortGrid one(6, 1), two(6, 1);
            int askedOne = 0, askedTwo = 0;
            threadedFormats(one, askedOne);
            threadedFormats(two, askedTwo);
            for (SortGrid* g : {&one, &two}) {
                fill(*g, rows);
                g->SetSortColumn(col);
                g->SortDirection = dir;
                g->SetRow(777);
            }
            one.SortThreads = 1;
            two.SortThreads = 2;
            one.SortRows();
            two.SortRows();
            ASSERT_EQ(column(two, 5), column(one, 5)) << "column " << col << " direction " << dir;
            EXPECT_EQ(two.Row(), one.Row());
            // Each consulted column's style once per sort, never per compare.
            EXPECT_EQ(askedTwo, std::max(col, 4) - col + 1);
        }
    }
}

TEST(SortGridThreads, AFailingSortRaisesTheOneThreadErrorAndMovesNoRow) {
    std::mt19937 rng(5);
    for (int round = 0; round < 6; ++round) {
        // Names in threes, so that dates are compared only deep down, in
        // small ranges spread over both threads; a few of them bad. Which
        // one stops the sort shows that failures are weighed in the
        // one-thread order, not as they happen.
        const int n = 30000;
        std::vector<int> group(n);
        for (int r = 0; r < n; ++r)
            group[r] = r / 3;
        std::shuffle(group.begin(), group.end(), rng);
        Rows rows;
        for (int r = 0; r < n; ++r)
            rows.push_back(
                {"k" + std::to_string(100000 + group[r]),
                 "2011-0" + std::to_string(1 + rng() % 9) + "-1" + std::to_string(rng() % 10),
                 "id" + std::to_string(r)});
        for (int k = 0; k < 8; ++k)
            rows[rng() % rows.size()][1] = "bad" + std::to_string(k);
        SortGrid one(3, 1), two(3, 1);
        for (SortGrid* g : {&one, &two}) {
            g->OnGetFormat = [](int col, TSortStyle& s) {
                if (col == 1)
                    s = ssDateTime;
            };
            fill(*g, rows);
            g->SortDirection = round % 2 ? sdDescending : sdAscending;
        }
        one.SortThreads = 1;
        const Rows before = snapshot(two);
        const std::string expected = errorOf(one);
        ASSERT_NE(expected, "no error") << "round " << round;
        EXPECT_EQ(errorOf(two), expected) << "round " << round;
        EXPECT_EQ(snapshot(two), before) << "round " << round;
    }
}

TEST(SortGridThreads, ProgressRisesToItsEndBeforeARowMovesAndItsErrorStopsTheSort) {
    std::mt19937 rng(3);
    SortGrid g(6, 1);
    int asked = 0;
    threadedFormats(g, asked);
    fill(g, threadedRows(rng, 50000));
    g.SetSortColumn(2);
    const Rows before = snapshot(g);
    std::vector<std::int64_t> seen;
    std::int64_t total = 0;
    bool rowsStill = true;
    g.OnProgress = [&](std::int64_t done, std::int64_t all) {
        seen.push_back(done);
        total = all;
        rowsStill = rowsStill && g.Cell(5, 1) == before[1][5] && g.Sorting();
        g.SortRows(); // ignored while the sort runs
    };
    g.SortRows();
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen.front(), 0);
    EXPECT_EQ(seen.back(), total);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_TRUE(rowsStill);
    EXPECT_FALSE(g.Sorting());
    EXPECT_NE(snapshot(g), before);

    // A handler that fails (a cancelled box, say) ends the sort untouched.
    const Rows sorted = snapshot(g);
    g.SortDirection = sdDescending;
    g.OnProgress = [&](std::int64_t done, std::int64_t all) {
        if (done > all / 4) // past the keys: in the sort, or at its end
            throw std::runtime_error("stopped");
    };
    EXPECT_THROW(g.SortRows(), std::runtime_error);
    EXPECT_EQ(snapshot(g), sorted);
    EXPECT_FALSE(g.Sorting());
}

TEST(SortGridSort, OverflowStopsTheSortWithRowsAndCountUnchanged) {
    SortGrid g(2, 1);
    g.OnGetFormat = [](int, TSortStyle& s) { s = ssNumber; };
    fill(g, {{"5", "a"}, {"3", "b"}, {"9", "c"}, {"1e40", "d"}, {"1", "e"}, {"7", "f"}});
    const Rows before = snapshot(g);
    EXPECT_EQ(errorOf(g), "Floating point overflow");
    EXPECT_EQ(snapshot(g), before);
    EXPECT_EQ(g.RowCount(), 7);
}

TEST(SortGridSort, EmptyDatesSortFirstAndTheCurrentRowFollowsItsData) {
    SortGrid g(3, 1);
    g.OnGetFormat = [](int col, TSortStyle& s) { s = col == 0 ? ssDateTime : ssText; };
    fill(g, {{"2001-01-01", "c", "1"}, {"", "b", "2"}, {"1999-12-31", "a", "3"}, {"", "a", "4"}});
    g.SetSelection({0, 1, 2, 3}); // current row 1 holds id 1
    g.SortRows();
    EXPECT_EQ(column(g, 2), (std::vector<std::string>{"4", "2", "3", "1"}));
    EXPECT_EQ(g.Cell(2, g.Row()), "1");
    EXPECT_EQ(g.Selection(), (TGridRect{0, 4, 0, 4}));
    g.SortDirection = sdDescending;
    g.SortRows();
    EXPECT_EQ(column(g, 2), (std::vector<std::string>{"1", "3", "2", "4"}));
    EXPECT_EQ(g.Row(), 1);
}

TEST(SortGridSort, FewerThanTwoDataRowsAreLeftAlone) {
    SortGrid g(1, 1);
    g.OnGetFormat = [](int, TSortStyle& s) { s = ssDateTime; };
    fill(g, {{"not a date"}});
    int changes = 0;
    g.OnChanged = [&] { ++changes; };
    EXPECT_NO_THROW(g.SortRows());
    EXPECT_EQ(changes, 0);
}

TEST(SortGridSort, HeaderPressRule) {
    SortGrid g(3, 1);
    g.SetSortShow(true);
    std::vector<int> clicked;
    g.OnClickSort = [&](int col) { clicked.push_back(col); };
    fill(g, {{"b", "2", "x"}});
    // One data row: nothing, not even a flip.
    EXPECT_FALSE(g.HeaderPress(0, 0, false));
    EXPECT_EQ(g.SortDirection, sdAscending);
    fill(g, {{"b", "1", "x"}, {"a", "2", "y"}, {"c", "3", "z"}});
    EXPECT_FALSE(g.HeaderPress(0, 0, true));  // on a column border
    EXPECT_FALSE(g.HeaderPress(0, 1, false)); // a data row
    EXPECT_FALSE(g.HeaderPress(-1, -1, false));
    EXPECT_EQ(column(g, 0), (std::vector<std::string>{"b", "a", "c"}));
    // Column 0 is the sort column already: the first press flips it.
    EXPECT_TRUE(g.HeaderPress(0, 0, false));
    EXPECT_EQ(column(g, 0), (std::vector<std::string>{"c", "b", "a"}));
    EXPECT_TRUE(g.HeaderPress(0, 0, false));
    EXPECT_EQ(column(g, 0), (std::vector<std::string>{"a", "b", "c"}));
    g.SortDirection = sdDescending;
    EXPECT_TRUE(g.HeaderPress(2, 0, false)); // another column starts ascending
    EXPECT_EQ(g.SortColumn(), 2);
    EXPECT_EQ(g.SortDirection, sdAscending);
    EXPECT_EQ(clicked, (std::vector<int>{0, 0, 2}));
    // The veto, the switch, and fixed columns.
    bool allow = false;
    g.OnCanSort = [&](int, bool& dosort) { dosort = allow; };
    EXPECT_FALSE(g.HeaderPress(1, 0, false));
    allow = true;
    g.SetSortShow(false);
    EXPECT_FALSE(g.HeaderPress(1, 0, false));
    g.SetSortShow(true);
    g.FixedCols = 1;
    EXPECT_FALSE(g.HeaderPress(0, 0, false));
    g.SortFixedCols = true;
    EXPECT_TRUE(g.HeaderPress(0, 0, false));
}

TEST(SortGridSort, AFailedHeaderPressKeepsTheNewColumnAndSkipsOnClickSort) {
    SortGrid g(2, 1);
    g.SetSortShow(true);
    bool clicked = false;
    g.OnClickSort = [&](int) { clicked = true; };
    g.OnGetFormat = [](int col, TSortStyle& s) { s = col == 1 ? ssDateTime : ssText; };
    fill(g, {{"a", "x"}, {"b", "2000-01-01"}});
    EXPECT_THROW(g.HeaderPress(1, 0, false), SortCompareError);
    EXPECT_EQ(g.SortColumn(), 1);
    EXPECT_FALSE(clicked);
    EXPECT_EQ(g.Cell(0, 1), "a");
}

// --- typed cells and dates ----------------------------------------------------------

TEST(SortGridTypedCells, GetCellIntSyntax) {
    struct Case {
        const char* text;
        std::int32_t value;
    };
    const Case good[] = {{"  42", 42},
                         {"$1F", 31},
                         {"-5", -5},
                         {"+7", 7},
                         {"$FFFFFFFF", -1},
                         {"$ff", 255},
                         {"2147483647", 2147483647},
                         {"-2147483648", INT32_MIN},
                         {"0000000000012", 12}};
    SortGrid g(1, 2);
    for (const Case& c : good) {
        g.SetCell(0, 1, c.text);
        EXPECT_EQ(g.GetCellInt(0, 1), c.value) << c.text;
    }
    for (const char* bad : {"42 ", "-$1F", "2147483648", "-2147483649", "", "$", "$100000000", "+",
                            " ", "4 2", "0x1F", "$1G"}) {
        g.SetCell(0, 1, bad);
        try {
            g.GetCellInt(0, 1);
            ADD_FAILURE() << bad;
        } catch (const ESortGridError& e) {
            EXPECT_STREQ(e.what(), "Cell does not contain integer value");
        }
    }
    g.SetCellInt(0, 1, INT32_MIN);
    EXPECT_EQ(g.Cell(0, 1), "-2147483648");
}

TEST(SortGridDates, PatternsWriteAndReadBack) {
    std::int64_t a = 0, b = 0;
    const DatePattern dmy("d.M.yyyy");
    EXPECT_EQ(dmy.format({2005, 3, 7}), "7.3.2005");
    EXPECT_EQ(DatePattern("dd/MM/yyyy").format({1985, 12, 1}), "01/12/1985");
    EXPECT_EQ(DatePattern().format({99, 1, 2}), "0099-01-02");
    ASSERT_TRUE(dmy.parse("7.3.2005", a));
    ASSERT_TRUE(dmy.parse("07.03.2005 0:00", b));
    EXPECT_EQ(a, b);
    ASSERT_TRUE(dmy.parse("7.3.2005 1:30 PM", b));
    EXPECT_EQ(b - a, 13 * 3600 + 30 * 60);
    EXPECT_FALSE(dmy.parse("1.1.1", a)); // four-digit years only
    EXPECT_FALSE(dmy.parse("1.1.0001x", a));
    ASSERT_TRUE(dmy.parse("1.1.0001", a));
    EXPECT_EQ(a, 0);
    ASSERT_TRUE(dmy.parse("1.3.2000", b));
    ASSERT_TRUE(dmy.parse("29.2.2000", a));
    EXPECT_EQ(b - a, 86400);
    for (const char* bad : {"29.2.1900", "31.4.2000", "1.13.2000", "7.3.05", "7-3-2005", "",
                            "7.3.2005 25:00", "7.3.2005 1:5", "7.3.2005 13:00 PM"})
        EXPECT_FALSE(dmy.parse(bad, a)) << bad;
    for (const char* bad :
         {"yy-MM-dd", "ddMMyyyy", "d MMM yyyy", "y", "dd.MM.yyyy.d", "'x'", "", "dddd"})
        EXPECT_THROW(DatePattern{bad}, std::invalid_argument) << bad;
    EXPECT_FALSE(DatePattern("MM/yyyy").hasDayMonthYear());
    EXPECT_FALSE(DatePattern("MM/yyyy").parse("01/2000", a));
}

TEST(SortGridDates, CellDatesSortAcrossTheCentury) {
    SortGrid g(2, 4);
    g.DateFormat = DatePattern("dd.MM.yyyy");
    g.OnGetFormat = [](int, TSortStyle& s) { s = ssDateTime; };
    g.SetCellDate(0, 1, {2001, 1, 5});
    g.SetCellDate(0, 2, {1999, 12, 31});
    g.SetCellDate(0, 3, {2107, 1, 1});
    EXPECT_EQ(g.Cell(0, 1), "05.01.2001");
    g.SortRows();
    EXPECT_EQ(column(g, 0), (std::vector<std::string>{"31.12.1999", "05.01.2001", "01.01.2107"}));
}

// --- row operations, lookups, sizing --------------------------------------------------

TEST(SortGridRows, InsertDeleteClear) {
    SortGrid g(1, 1);
    fill(g, {{"a"}, {"b"}, {"c"}, {"d"}});
    g.InsertRowsAt(2, 2);
    EXPECT_EQ(column(g, 0), (std::vector<std::string>{"a", "", "", "b", "c", "d"}));
    g.DeleteRowsAt(2, 2);
    EXPECT_EQ(column(g, 0), (std::vector<std::string>{"a", "b", "c", "d"}));
    g.ClearRowsAt(2, 1);
    EXPECT_EQ(column(g, 0), (std::vector<std::string>{"a", "", "c", "d"}));
    // Deleting past the end takes only the rows that are there.
    g.SetRow(4);
    g.DeleteRowsAt(3, 5);
    EXPECT_EQ(column(g, 0), (std::vector<std::string>{"a", ""}));
    EXPECT_EQ(g.Row(), 2);
    g.ClearRowsAt(1, 9);
    EXPECT_EQ(column(g, 0), (std::vector<std::string>{"", ""}));
}

TEST(SortGridRows, FindRowByPrefixOnTheKeyColumn) {
    SortGrid g(3, 1);
    EXPECT_EQ(g.FindRowByPrefix("A"), -1);
    fill(g, {{"Bob", "anna", "1"}, {"Al", "Anna", "2"}, {"Ann", "Berit", "3"}});
    g.SetCell(1, 0, "A header");
    EXPECT_EQ(g.FindRowByPrefix("A"), 2); // column 1, case-sensitive, header skipped
    EXPECT_EQ(g.FindRowByPrefix("C"), -1);
    g.SetSortShow(true);
    g.SetSortColumn(0);
    EXPECT_EQ(g.FindRowByPrefix("A"), 2);
    EXPECT_EQ(g.FindRowByPrefix("An"), 3);
    EXPECT_EQ(g.FindRowByPrefix("Bob2"), -1);
}

int sevenPerChar(std::string_view t) {
    return static_cast<int>(t.size()) * 7;
}

TEST(SortGridSizing, FitTextToWidthShortensWithDots) {
    SortGrid g;
    EXPECT_EQ(g.FitTextToWidth("abcdefgh", 20, sevenPerChar), "abcdefgh"); // switched off
    g.EnhTextSize = true;
    EXPECT_EQ(g.FitTextToWidth("abc", 21, sevenPerChar), "abc");
    EXPECT_EQ(g.FitTextToWidth("abcdefgh", 35, sevenPerChar), "ab...");
    EXPECT_EQ(g.FitTextToWidth("abcdefgh", 28, sevenPerChar), "a...");
    EXPECT_EQ(g.FitTextToWidth("abcdefgh", 27, sevenPerChar), ""); // not even one letter
    EXPECT_EQ(g.FitTextToWidth("", 0, sevenPerChar), "");
}

// The cut as it always was: one character less at a time.
std::string fitOneByOne(std::string_view text, int width, const SortGrid::TextWidthFn& m) {
    if (m(text) <= width)
        return std::string(text);
    std::string rest(text);
    while (!rest.empty()) {
        rest.pop_back();
        if (!rest.empty() && m(rest + "...") <= width)
            return rest + "...";
    }
    return {};
}

TEST(SortGridSizing, FitTextToWidthHalvesToTheSameCutInFewMeasures) {
    SortGrid g;
    g.EnhTextSize = true;
    // Uneven widths, some characters with none at all (as a font has).
    const auto uneven = [](std::string_view t) {
        int w = 0;
        for (unsigned char c : t)
            w += c == '.' ? 3 : c % 5 == 0 ? 0 : c % 13;
        return w;
    };
    std::mt19937 rng(44);
    for (int round = 0; round < 3000; ++round) {
        std::string text(rng() % 90, ' ');
        for (char& c : text)
            c = static_cast<char>(32 + rng() % 200);
        const int width = static_cast<int>(rng() % 400);
        ASSERT_EQ(g.FitTextToWidth(text, width, uneven), fitOneByOne(text, width, uneven))
            << "round " << round;
    }
    // Two megabytes in a narrow cell: a handful of short measures.
    const std::string big(2 << 20, 'W');
    int measures = 0;
    std::size_t measured = 0;
    const auto counted = [&](std::string_view t) {
        ++measures;
        measured += t.size();
        return sevenPerChar(t);
    };
    EXPECT_EQ(g.FitTextToWidth(big, 100, counted), std::string(11, 'W') + "...");
    EXPECT_LE(measures, 12);
    EXPECT_LE(measured, 200u);
}

TEST(SortGridRows, TypedPrefixIgnoresTheCaseOfLettersAndNordicLetters) {
    SortGrid g(2, 1);
    fill(g, {{"1", "berit"}, {"2", "\xD8ystein"}, {"3", "\xE5se"}, {"4", "Bj\xF8rn"}, {"5", "b2"}});
    EXPECT_EQ(g.FindRowByTypedPrefix("B"), 1);
    EXPECT_EQ(g.FindRowByTypedPrefix("bj\xD8"), 4);
    EXPECT_EQ(g.FindRowByTypedPrefix("\xF8Y"), 2);
    EXPECT_EQ(g.FindRowByTypedPrefix("\xC5"), 3);
    EXPECT_EQ(g.FindRowByTypedPrefix("B2"), 5);
    EXPECT_EQ(g.FindRowByTypedPrefix("berits"), -1);
    EXPECT_EQ(g.FindRowByPrefix("B"), 4); // the case-sensitive rule stays as it was
}

TEST(SortGridCells, SetCellsReplacesARunInOnePass) {
    SortGrid g(6, 2);
    const std::string longText(300, 'L'); // a cell with the long length form
    g.SetCell(0, 1, "a");
    g.SetCell(1, 1, longText);
    g.SetCell(2, 1, "c");
    g.SetCell(4, 1, "e");
    int told = 0;
    g.OnChanged = [&] { ++told; };
    g.SetCells(1, 1, {"B", longText + "2"});
    EXPECT_EQ(told, 1);
    EXPECT_EQ(snapshot(g)[1], (std::vector<std::string>{"a", "B", longText + "2", "", "e", ""}));
    g.SetCells(4, 0, {"x", "y"}); // beyond a row's last stored cell
    EXPECT_EQ(snapshot(g)[0], (std::vector<std::string>{"", "", "", "", "x", "y"}));
    EXPECT_THROW(g.SetCells(5, 1, {"1", "2"}), std::out_of_range);
    g.BeginUpdate();
    g.BeginUpdate();
    g.SetCell(0, 0, "h");
    g.SetRowCount(5);
    g.EndUpdate();
    EXPECT_EQ(told, 2);
    g.EndUpdate(); // the outermost tells once
    EXPECT_EQ(told, 3);
}

TEST(SortGridSizing, ColumnsTakeTheirWidestTextPlusAnX) {
    SortGrid g(3, 3);
    g.SetCell(0, 0, "Header");
    g.SetCell(0, 2, "ab");
    g.SetCell(1, 1, "abcdefghij");
    g.SizeColumnToText(0, sevenPerChar);
    EXPECT_EQ(g.ColWidth(0), 49);
    g.Measure = sevenPerChar;
    g.SetAutoSize(true);
    EXPECT_TRUE(g.AutoSize());
    EXPECT_EQ(g.ColWidth(0), 59);
    EXPECT_EQ(g.ColWidth(1), 87);
    EXPECT_EQ(g.ColWidth(2), 17); // empty: "x" plus the extra
}

} // namespace
} // namespace zorv

// --- sorting a few changed rows again -----------------------------------------

namespace zorv {
namespace {

TEST(SortGridResort, ChangedRowsGoWhereTheyBelongAndTiesKeepTheirOrder) {
    // Two columns: the second never breaks a tie, so equal statuses are ties.
    SortGrid g(2, 1);
    fill(g, {{"Active", "1"}, {"Active", "2"}, {"Killed", "3"}, {"Killed", "4"}});
    g.SetSortColumn(0);
    g.SetSelection({0, 4, 1, 4}); // "4" is current
    g.SetCell(0, 1, "Killed");    // "1" stood before "3" and "4": it stays before them
    g.SetCell(0, 4, "Active");    // "4" stood after "2": it stays after it
    EXPECT_EQ(g.ResortRows({1, 4}), (std::vector<int>{3, 2}));
    EXPECT_EQ(column(g, 1), (std::vector<std::string>{"2", "4", "1", "3"}));
    EXPECT_EQ(g.Cell(1, g.Row()), "4");
    EXPECT_EQ(g.Selection(), (TGridRect{0, 2, 0, 2}));

    g.SortDirection = sdDescending;
    g.SortRows();
    EXPECT_EQ(column(g, 0), (std::vector<std::string>{"Killed", "Killed", "Active", "Active"}));
    const std::vector<std::string> ids = column(g, 1);
    g.SetCell(0, 3, "Killed");
    g.ResortRows({3});
    EXPECT_EQ(column(g, 1), (std::vector<std::string>{ids[0], ids[1], ids[2], ids[3]}))
        << "a row that ties with those above it keeps its place after them";
    g.SetCell(0, 1, "Active");
    g.ResortRows({1});
    EXPECT_EQ(column(g, 1), (std::vector<std::string>{ids[1], ids[2], ids[0], ids[3]}));
}

// The order a stable sort of the whole grid gives: each row after those
// that sort before it, and after those that tie with it and stood before it.
std::vector<std::string> stableOrder(const SortGrid& g, int keyCol) {
    std::vector<int> rows;
    for (int r = g.FixedRows; r < g.RowCount(); ++r)
        rows.push_back(r);
    const int sign = g.SortDirection == sdDescending ? -1 : 1;
    std::stable_sort(rows.begin(), rows.end(),
                     [&](int a, int b) { return sign * g.CompareRows(g.SortColumn(), a, b) < 0; });
    std::vector<std::string> out;
    for (int r : rows)
        out.emplace_back(g.Cell(keyCol, r));
    return out;
}

TEST(SortGridResort, FewOrManyRowsEndAsAStableSortOfAllWouldPutThem) {
    std::mt19937 rnd(7);
    const char* statuses[] = {"Active", "Getlost", "Killed", "Kill+Boot"};
    for (const TSortDirection dir : {sdAscending, sdDescending}) {
        for (const std::size_t changed : {std::size_t{1}, std::size_t{5}, std::size_t{1500}}) {
            // Columns: limit (number), status, city, id; the sort on the status
            // breaks ties by the city, never by the id.
            SortGrid g(4, 1);
            g.OnGetFormat = [](int col, TSortStyle& s) { s = col == 0 ? ssNumber : ssText; };
            Rows rows;
            for (int i = 0; i < 3000; ++i)
                rows.push_back({std::to_string(rnd() % 50), statuses[rnd() % 4],
                                std::string(1, static_cast<char>('A' + rnd() % 5)),
                                std::to_string(i)});
            fill(g, std::move(rows));
            for (const int sortCol : {1, 0}) {
                g.SetSortColumn(sortCol);
                g.SortDirection = dir;
                g.SortRows();
                std::vector<int> picked;
                while (picked.size() < changed) {
                    const int r = 1 + static_cast<int>(rnd() % 3000);
                    if (std::find(picked.begin(), picked.end(), r) == picked.end())
                        picked.push_back(r);
                }
                std::vector<std::string> pickedIds;
                for (int r : picked) {
                    g.SetCell(1, r, statuses[rnd() % 4]);
                    g.SetCell(0, r, std::to_string(rnd() % 50));
                    pickedIds.emplace_back(g.Cell(3, r));
                }
                const std::vector<std::string> expected = stableOrder(g, 3);
                const std::vector<int> now = g.ResortRows(picked);
                ASSERT_EQ(column(g, 3), expected)
                    << changed << " rows, sorted on column " << sortCol << ", direction " << dir;
                for (std::size_t k = 0; k < picked.size(); ++k)
                    EXPECT_EQ(g.Cell(3, now[k]), pickedIds[k]);
            }
        }
    }
}

TEST(SortGridResort, AnErrorMovesNoRowAndBadRequestsAreRefused) {
    SortGrid g(3, 1);
    g.OnGetFormat = [](int col, TSortStyle& s) { s = col == 0 ? ssDateTime : ssText; };
    fill(g, {{"2001-01-01", "a", "1"}, {"2002-01-01", "b", "2"}, {"2003-01-01", "c", "3"}});
    g.SetSortColumn(0);
    g.SetCell(0, 1, "never");
    const Rows before = snapshot(g);
    int changes = 0;
    g.OnChanged = [&] { ++changes; };
    EXPECT_THROW(g.ResortRows({1}), SortCompareError);
    EXPECT_EQ(snapshot(g), before);
    EXPECT_EQ(changes, 0);
    EXPECT_THROW(g.ResortRows({0}), std::out_of_range) << "the header row is no data row";
    EXPECT_THROW(g.ResortRows({4}), std::out_of_range);
    EXPECT_THROW(g.ResortRows({2, 2}), std::invalid_argument);
    // Without a sort column there is no order to restore.
    g.SetSortColumn(-1);
    EXPECT_EQ(g.ResortRows({1, 3}), (std::vector<int>{1, 3}));
    EXPECT_EQ(snapshot(g), before);

    // A progress handler's error stops it as it stops a sort.
    g.SetCell(0, 1, "2004-01-01");
    g.SetSortColumn(0);
    const Rows unsorted = snapshot(g);
    g.OnProgress = [](std::int64_t done, std::int64_t) {
        if (done > 0)
            throw std::runtime_error("cancelled");
    };
    EXPECT_THROW(g.ResortRows({1}), std::runtime_error);
    EXPECT_EQ(snapshot(g), unsorted);
    g.OnProgress = nullptr;
    g.ResortRows({1});
    EXPECT_EQ(column(g, 2), (std::vector<std::string>{"2", "3", "1"}));
}

} // namespace
} // namespace zorv
