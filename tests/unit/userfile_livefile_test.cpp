// Following a user file the board writes while the editor has it open: the
// compare with the working copy and what applying it may and may not touch.

#include "editor/totals.h"
#include "tempdir.h"
#include "userfile/blockreader.h"
#include "userfile/livefile.h"
#include "userfile/recordio.h"
#include "userfile/workingcopy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <set>
#include <thread>
#include <vector>

using namespace zorv;
using zorvtest::readFileBytes;
using zorvtest::TempDir;
using zorvtest::writeFileBytes;

using zorvtest::bytesOf;

namespace {

Record user(int i, int salt = 0) {
    Record r{};
    for (std::size_t k = 0; k < kRecordSize; ++k)
        r[k] = static_cast<std::uint8_t>(i * 7 + salt * 13 + static_cast<int>(k));
    return r;
}

// The board, writing through a descriptor of its own.
class Board {
  public:
    explicit Board(const std::string& path) : fd_(os::open(path, os::kReadWrite)) {}
    ~Board() { os::close(fd_); }
    void write(int index, const Record& r) const {
        ASSERT_TRUE(
            os::writeAt(fd_, r.data(), kRecordSize, static_cast<os::Offset>(index) * kRecordSize));
    }
    void append(const Record& r) const {
        os::FileInfo st;
        ASSERT_TRUE(os::info(fd_, st));
        ASSERT_TRUE(os::writeAt(fd_, r.data(), kRecordSize, st.size));
    }

  private:
    os::Handle fd_;
};

class LiveFileTest : public ::testing::Test {
  protected:
    void load(int users) {
        std::vector<Record> rs;
        for (int i = 0; i < users; ++i)
            rs.push_back(user(i));
        writeFileBytes(userFile, bytesOf(rs));
        wc.loadFrom(userFile);
    }
    LiveCompare compare() { return compareWithFile(userFile, wc.source(), wc.descriptor()); }
    Record copyRecord(int i) const {
        Record r{};
        wc.readRecord(i, r);
        return r;
    }

    TempDir dir;
    std::string userFile = dir.file("zorvuser.dat");
    WorkingCopy wc{dir.file("zorvedit.dat")};
};

} // namespace

TEST_F(LiveFileTest, CompareFindsTheBoardsWritesAndAppendsInOrder) {
    load(3000); // more than one block
    EXPECT_TRUE(compare().records.empty());

    Board board(userFile);
    board.write(5, user(5, 1));
    board.write(2500, user(2500, 1));
    board.append(user(3000, 1));
    board.append(user(3001, 1));
    // The operator's stored change is a difference too: applying decides.
    wc.writeRecord(7, user(7, 2));

    const LiveCompare c = compare();
    ASSERT_EQ(c.state, LiveState::Following);
    EXPECT_EQ(c.copyCount, 3000);
    EXPECT_EQ(c.fileCount, 3002);
    std::vector<int> indexes;
    for (const LiveRecord& r : c.records)
        indexes.push_back(r.index);
    EXPECT_EQ(indexes, (std::vector<int>{5, 7, 2500, 3000, 3001}));
    EXPECT_EQ(c.records[0].bytes, user(5, 1));
    EXPECT_EQ(c.records[1].bytes, user(7)); // the file's, not the operator's
    EXPECT_EQ(c.records[4].bytes, user(3001, 1));
}

TEST_F(LiveFileTest, RecordsTheBoardKeepsLockedAreLeftForTheNextCompare) {
    load(3000);
    Board board(userFile);
    board.write(5, user(5, 1));
    board.write(1500, user(1500, 1));
    board.append(user(3000, 1));
    // The block holding 1500 is refused for good, and so is one record of it.
    os::refuseReadsForTesting(userFile, recordOffset(1500), kRecordSize);
    LiveCompare c = compare();
    ASSERT_EQ(c.state, LiveState::Following) << c.error;
    std::vector<int> indexes;
    for (const LiveRecord& r : c.records)
        indexes.push_back(r.index);
    EXPECT_EQ(indexes, (std::vector<int>{5, 3000})) << "the rest of that block is read";
    EXPECT_EQ(c.unsettled, 1);
    // A lock let go within the retries costs nothing.
    os::refuseReadsForTesting(userFile, recordOffset(1500), kRecordSize, 2);
    c = compare();
    os::refuseReadsForTesting(userFile, 0, 0);
    EXPECT_EQ(c.unsettled, 0);
    EXPECT_EQ(c.records.size(), 3u);
}

TEST_F(LiveFileTest, AWholeFileRewrittenIsFollowedOverSeveralCompares) {
    const int n = 1500;
    load(n);
    std::vector<Record> rewritten;
    for (int i = 0; i < n; ++i)
        rewritten.push_back(user(i, 1));
    zorvtest::writeBytesAt(userFile, 0, bytesOf(rewritten));

    auto compareAtMost1000 = [this] {
        return compareWithFile(userFile, wc.source(), wc.descriptor(), nullptr, 1000);
    };
    const LiveCompare first = compareAtMost1000();
    EXPECT_TRUE(first.more);
    EXPECT_EQ(first.records.size(), 1000u);
    applyToWorkingCopy(wc, first);
    const LiveCompare second = compareAtMost1000();
    EXPECT_FALSE(second.more);
    EXPECT_EQ(second.records.size(), 500u);
    EXPECT_EQ(second.records.front().index, 1000);
    applyToWorkingCopy(wc, second);
    EXPECT_EQ(readFileBytes(wc.path()), readFileBytes(userFile));
}

TEST_F(LiveFileTest, AFileReplacedShortenedOrGoneIsNotCompared) {
    load(10);
    {
        const std::string bytes = readFileBytes(userFile);
        writeFileBytes(userFile, bytes.substr(0, 9 * kRecordSize + 100)); // cut in place
        const LiveCompare c = compare();
        EXPECT_EQ(c.state, LiveState::Shrunk);
        EXPECT_TRUE(c.records.empty());
        writeFileBytes(userFile, bytes);
    }
    EXPECT_EQ(compare().state, LiveState::Following);

    const std::string moved = dir.file("moved.dat");
    ASSERT_TRUE(os::rename(userFile, moved));
    EXPECT_EQ(compare().state, LiveState::Missing);
    // Another file of the same size at the path: users may be renumbered.
    writeFileBytes(userFile, readFileBytes(moved));
    EXPECT_EQ(compare().state, LiveState::Replaced);
}

TEST_F(LiveFileTest, ApplyingKeepsTheOperatorsChangesAndMovesLoadedBytes) {
    load(10);
    wc.writeRecord(1, user(1, 2)); // the operator's change
    wc.writeRecord(2, user(2, 2)); // changed, then put back: not a change
    wc.writeRecord(2, user(2));
    Board board(userFile);
    board.write(1, user(1, 1)); // changed by both
    board.write(2, user(2, 1));
    board.write(3, user(3, 1));
    board.append(user(10, 1));

    const LiveApplied a = applyToWorkingCopy(wc, compare());
    EXPECT_EQ(a.changedByBoth, std::vector<int>{1});
    ASSERT_EQ(a.changed.size(), 2u);
    EXPECT_EQ(a.changed[0].before, user(2));
    EXPECT_EQ(a.changed[1].after, user(3, 1));
    ASSERT_EQ(a.appended.size(), 1u);

    EXPECT_EQ(copyRecord(1), user(1, 2));
    EXPECT_EQ(wc.loadedBytes().at(1), user(1)); // Save File still sees the clash
    EXPECT_EQ(copyRecord(2), user(2, 1));
    EXPECT_EQ(wc.loadedBytes().at(2), user(2, 1)); // not the operator's change
    EXPECT_FALSE(wc.loadedBytes().count(3));
    EXPECT_EQ(wc.recordCount(), 11);
    EXPECT_EQ(copyRecord(10), user(10, 1));

    // A record the operator changes after the compare is not taken.
    board.write(4, user(4, 1));
    const LiveCompare c = compare();
    wc.writeRecord(4, user(4, 2));
    const LiveApplied late = applyToWorkingCopy(wc, c);
    EXPECT_EQ(copyRecord(4), user(4, 2));
    EXPECT_EQ(late.changedByBoth, (std::vector<int>{1, 4}));
}

TEST_F(LiveFileTest, AppendingDropsAPartialRecordOfTheCopy) {
    load(2);
    // The copy was made while the board was half way through an append.
    const std::string half(100, 'x');
    zorvtest::writeBytesAt(wc.path(), 2 * kRecordSize, half);
    const Record r = user(2, 1);
    wc.appendRecords(&r, 1);
    EXPECT_EQ(readFileBytes(wc.path()).size(), 3 * kRecordSize);
    EXPECT_EQ(copyRecord(2), r);
}

// The board writes users the operator changed and did not change, and appends,
// while compares run and are applied; once it stops, one more round leaves the
// working copy equal to the file except for the operator's own users.
TEST_F(LiveFileTest, ABusyBoardIsFollowedExactly) {
    load(5000);
    const std::vector<int> mine = {3, 1500, 4999};
    for (int i : mine)
        wc.writeRecord(i, user(i, 9));
    Totals totals = computeTotals(wc);

    std::atomic<bool> stop{false};
    std::atomic<int> rounds{0};
    std::thread boardThread([this, &stop, &rounds] {
        Board board(userFile);
        for (int round = 1; !stop; rounds = round++) {
            for (int i = 0; i < 5000; i += 97) {
                const int k = (i + round) % 5000;
                if (k != 3 && k != 4999 && k != 1500)
                    board.write(k, user(i, round));
            }
            board.write(1500, user(1500, round)); // one of the operator's
            if (round % 3 == 0)
                board.append(user(round, 5));
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    // Which pass sees the board's last write to 1500 is the scheduler's
    // choice: what the passes reported is gathered.
    std::set<int> changedByBoth;
    auto pass = [&] {
        const LiveApplied a = applyToWorkingCopy(wc, compare());
        for (const auto& c : a.changed)
            replaceInTotals(totals, c.before, c.after);
        for (const Record& r : a.appended)
            addToTotals(totals, r);
        changedByBoth.insert(a.changedByBoth.begin(), a.changedByBoth.end());
    };
    for (int k = 0; k < 20 || rounds < 3; ++k) // an append at least, however busy the machine
        pass();
    stop = true;
    boardThread.join();
    pass();

    EXPECT_EQ(totals, computeTotals(wc)); // moved by differences = a fresh pass
    const std::string file = readFileBytes(userFile);
    const std::string copy = readFileBytes(wc.path());
    ASSERT_EQ(copy.size(), file.size());
    EXPECT_GT(wc.recordCount(), 5000);
    for (int i = 0; i < wc.recordCount(); ++i) {
        const bool operators = std::find(mine.begin(), mine.end(), i) != mine.end();
        if (operators)
            EXPECT_EQ(copyRecord(i), user(i, 9)) << i;
        else
            ASSERT_EQ(
                copy.compare(i * kRecordSize, kRecordSize, file, i * kRecordSize, kRecordSize), 0)
                << i;
    }
    EXPECT_EQ(changedByBoth, std::set<int>{1500});
}
