#include "editor/totals.h"

#include "userfile/workingcopy.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <vector>

#include <unistd.h>

using namespace zorv;

namespace {

void put32(Record& r, std::size_t offset, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        r[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

Totals totalsOf(const std::vector<Record>& records) {
    return computeTotals(static_cast<int>(records.size()),
                         [&](int i, Record& b) { b = records.at(static_cast<std::size_t>(i)); });
}

} // namespace

TEST(Totals, SumsEveryCounterOfEveryRecordWhateverItsStatus) {
    std::vector<Record> recs(3, Record{});
    const std::size_t offsets[] = {161, 169, 177, 185, 193, 201, 209, 217};
    for (std::size_t k = 0; k < 8; ++k) {
        put32(recs[0], offsets[k], static_cast<std::uint32_t>(k + 1));
        put32(recs[1], offsets[k], static_cast<std::uint32_t>(100 * (k + 1)));
    }
    recs[1][142] = 2; // killed users count like active ones
    recs[2][142] = 3;
    put32(recs[2], 161, 40);
    put32(recs[1], 225, 17); // one resume among three records

    const Totals t = totalsOf(recs);
    EXPECT_EQ(t.tuser, 3);
    EXPECT_EQ(t.tlogins, 1 + 100 + 40);
    EXPECT_EQ(t.tres, 1);
    EXPECT_EQ(t.twmsg, 2 + 200);
    EXPECT_EQ(t.trmsg, 3 + 300);
    EXPECT_EQ(t.tdmsg, 4 + 400);
    EXPECT_EQ(t.tfup, 5 + 500);
    EXPECT_EQ(t.tfdown, 6 + 600);
    EXPECT_EQ(t.tbup, 7 + 700);
    EXPECT_EQ(t.tbdown, 8 + 800);
}

TEST(Totals, SumsWrapAndNegativeCountersSubtract) {
    std::vector<Record> recs(2, Record{});
    put32(recs[0], 177, 0x7FFFFFFF);
    put32(recs[1], 177, 1);
    put32(recs[0], 217, 0xFFFFFFFF); // -1
    put32(recs[1], 217, 5);
    put32(recs[0], 225, 0xFFFFFFFF); // any non-zero resume number counts
    const Totals t = totalsOf(recs);
    EXPECT_EQ(t.trmsg, std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(t.tbdown, 4);
    EXPECT_EQ(t.tres, 1);
}

TEST(Totals, EmptyFileGivesZeroesAndReadErrorsPropagate) {
    EXPECT_EQ(totalsOf({}), Totals{});
    const RecordReader failing = [](int i, Record&) {
        if (i == 1)
            throw std::runtime_error("Read beyond end of file");
    };
    EXPECT_THROW(computeTotals(2, failing), std::runtime_error);
}

TEST(Totals, EntriesFollowTheTabsOrder) {
    const char* names[] = {"tuser", "tlogins", "tres",   "twmsg", "trmsg",
                           "tdmsg", "tfup",    "tfdown", "tbup",  "tbdown"};
    Totals t{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const auto& e = totalsEntries();
    for (std::size_t i = 0; i < e.size(); ++i) {
        EXPECT_STREQ(e[i].name, names[i]);
        EXPECT_EQ(t.*(e[i].value), static_cast<std::int32_t>(i + 1));
    }
}

TEST(Totals, PassOverTheWorkingCopyLeavesItsRecordsAlone) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("zorv_totals_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    const fs::path user = dir / "zorvuser.dat";
    const fs::path wcPath = dir / "work.dat";
    Record r{};
    put32(r, 161, 7);
    put32(r, 225, 3);
    {
        std::ofstream f(user, std::ios::binary);
        for (int i = 0; i < 4; ++i)
            f.write(reinterpret_cast<const char*>(r.data()), r.size());
        f.write("xyz", 3); // a partial record is never read
    }
    const auto before = fs::file_size(user);
    {
        WorkingCopy wc(wcPath.string());
        wc.loadFrom(user.string());
        const Totals t = computeTotals(wc);
        EXPECT_EQ(t.tuser, 4);
        EXPECT_EQ(t.tlogins, 28);
        EXPECT_EQ(t.tres, 4);
        wc.close();
    }
    {
        std::ofstream(user, std::ios::binary | std::ios::trunc);
        WorkingCopy wc(wcPath.string());
        wc.loadFrom(user.string());
        EXPECT_EQ(computeTotals(wc), Totals{});
        wc.close();
    }
    EXPECT_EQ(before, 4 * kRecordSize + 3);
    fs::remove_all(dir);
}
