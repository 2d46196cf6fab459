// Totals kept without a full pass: by the difference of one rewritten record,
// and from the records a load copies.

#include "editor/find.h"
#include "editor/totals.h"
#include "userfile/workingcopy.h"

#include "tempdir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace zorv;
using zorvtest::TempDir;
using zorvtest::writeFileBytes;

using zorvtest::bytesOf;

namespace {

constexpr std::size_t kCounterOffsets[] = {161, 169, 177, 185, 193, 201, 209, 217, 225};

void put32(Record& r, std::size_t offset, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        r[offset + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Counters near the ends of the 32-bit range as often as ordinary ones, so
// that the sums wrap both ways.
std::uint32_t counter(std::mt19937& rng) {
    switch (rng() % 4) {
    case 0:
        return static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::max() - rng() % 3);
    case 1:
        return static_cast<std::uint32_t>(std::numeric_limits<std::int32_t>::min()) + rng() % 3;
    case 2:
        return rng() % 2; // resume 0 or 1
    default:
        return rng();
    }
}

Record randomRecord(std::mt19937& rng) {
    Record r{};
    for (auto& b : r)
        b = static_cast<std::uint8_t>(rng());
    for (std::size_t off : kCounterOffsets)
        put32(r, off, counter(rng));
    return r;
}

} // namespace

TEST(RunningTotals, EveryEditKeepsThemEqualToAFreshPass) {
    TempDir tmp;
    std::mt19937 rng(2026);
    std::vector<Record> records(300);
    for (Record& r : records)
        r = randomRecord(rng);
    writeFileBytes(tmp.file("zorvuser.dat"), bytesOf(records));
    WorkingCopy wc(tmp.file("work.dat"));
    wc.loadFrom(tmp.file("zorvuser.dat"));

    Totals running = computeTotals(wc);
    for (int edit = 0; edit < 1500; ++edit) {
        const int index = static_cast<int>(rng() % records.size());
        Record before{};
        wc.readRecord(index, before);
        Record after = before;
        // Some edits touch one counter, some all, some none (a name change).
        const int touched = static_cast<int>(rng() % 4);
        for (std::size_t off : kCounterOffsets)
            if (touched == 3 || (touched == 1 && rng() % 9 == 0))
                put32(after, off, counter(rng));
        after[0] = static_cast<std::uint8_t>(rng());
        wc.writeRecord(index, after);
        replaceInTotals(running, before, after);
        ASSERT_EQ(running, computeTotals(wc)) << "after edit " << edit;
    }
    EXPECT_EQ(running.tuser, 300);
}

TEST(RunningTotals, LoadSeesEachWholeRecordOnceWhateverTheBlocks) {
    TempDir tmp;
    std::mt19937 rng(7);
    // Around the copy's block of 3840 records, and files with a partial tail.
    for (const std::size_t n : {0u, 1u, 3839u, 3840u, 3841u, 7681u}) {
        for (const std::size_t tail : {0u, 100u}) {
            std::vector<Record> records(n);
            for (Record& r : records)
                r = randomRecord(rng);
            writeFileBytes(tmp.file("zorvuser.dat"), bytesOf(records) + std::string(tail, 'x'));
            WorkingCopy wc(tmp.file("work.dat"));
            Totals seen;
            std::size_t calls = 0;
            wc.loadFrom(tmp.file("zorvuser.dat"), [&](const Record* r, std::size_t count) {
                ++calls;
                for (std::size_t i = 0; i < count; ++i)
                    addToTotals(seen, r[i]);
            });
            EXPECT_EQ(seen, computeTotals(wc)) << n << "+" << tail;
            EXPECT_EQ(seen.tuser, static_cast<std::int32_t>(n));
            EXPECT_LE(calls, n / 3840 + 1) << "whole blocks, not one call per record";
            wc.close();
        }
    }

    // A user file that is its own working copy is not copied, but still seen.
    std::vector<Record> records(5);
    for (Record& r : records)
        r = randomRecord(rng);
    writeFileBytes(tmp.file("self.dat"), bytesOf(records));
    WorkingCopy wc(tmp.file("self.dat"));
    Totals seen;
    wc.loadFrom(tmp.file("self.dat"), [&](const Record* r, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i)
            addToTotals(seen, r[i]);
    });
    EXPECT_EQ(seen, computeTotals(wc));
    EXPECT_EQ(seen.tuser, 5);
}

TEST(RunningTotals, FindNextOverTheWorkingCopyStartsWhereItIsTold) {
    // Hits on both sides of the block reader's block boundaries.
    TempDir tmp;
    const std::vector<int> hits = {3, 1023, 1024, 2047, 2900};
    std::vector<Record> records(3000);
    for (int h : hits)
        records[static_cast<std::size_t>(h)][142] = 2; // killed
    records[2999][142] = 1;
    writeFileBytes(tmp.file("zorvuser.dat"), bytesOf(records));
    WorkingCopy wc(tmp.file("work.dat"));
    wc.loadFrom(tmp.file("zorvuser.dat"));

    FindCriteria killed;
    killed.statusItem = 3;
    const FindTabTest test(killed);
    Record buffer{};
    std::vector<int> found;
    for (int at = scanForward(wc, -5, buffer, test); at >= 0;
         at = scanForward(wc, at + 1, buffer, test)) {
        EXPECT_EQ(buffer[142], 2) << "the hit is left in the buffer";
        found.push_back(at);
    }
    EXPECT_EQ(found, hits);
    EXPECT_EQ(scanForward(wc, 1024, buffer, test), 1024);
    EXPECT_EQ(scanForward(wc, 3000, buffer, test), -1);
    EXPECT_EQ(scanForward(wc, 1 << 30, buffer, test), -1);
}
