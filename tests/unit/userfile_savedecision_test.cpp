// What Save File decides to write from the loaded, the operator's and the
// board's bytes alone, round by round.

#include "userfile/record.h"
#include "userfile/savedecision.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

using namespace zorv;

namespace {

Record user(const char* name, const char* town) {
    Record r{};
    writeText(r, kName, name);
    writeText(r, kPostnr, town);
    return r;
}

Record with(Record r, const TextField& f, const char* text) {
    writeText(r, f, text);
    return r;
}

} // namespace

TEST(SaveDecisionTest, TheFirstRoundWritesWhatTheBoardLeftAndMergesWhatItChanged) {
    const Record loaded = user("OLA", "OSLO");
    const Record mine = with(loaded, kName, "KARI");
    const std::vector<Change> changes{{3, loaded, mine}, {5, loaded, mine}, {7, loaded, mine}};
    // 3: untouched by the board; 5: the board already holds the operator's
    // record; 7: the board changed another field.
    const Record boardsTown = with(loaded, kPostnr, "BERGEN");
    const Decision d = decideChanges(changes, {loaded, mine, boardsTown});

    ASSERT_EQ(d.plan.size(), 2u);
    EXPECT_TRUE(d.disputed.empty());
    EXPECT_EQ(d.plan[0].index, 3);
    EXPECT_EQ(d.plan[0].old, loaded);
    EXPECT_EQ(d.plan[0].now, mine);
    EXPECT_EQ(d.plan[1].index, 7);
    EXPECT_EQ(d.plan[1].old, boardsTown) << "written only while the file holds the board's bytes";
    EXPECT_EQ(readText(d.plan[1].now, kName), "KARI");
    EXPECT_EQ(readText(d.plan[1].now, kPostnr), "BERGEN");
}

TEST(SaveDecisionTest, AFieldBothChangedIsAskedAboutAndTheAnswerDecidesIt) {
    const Record loaded = user("OLA", "OSLO");
    const Record mine = with(with(loaded, kName, "KARI"), kPostnr, "TROMSO");
    const Record board = with(loaded, kName, "PER");
    const Decision d = decideChanges({{4, loaded, mine}}, {board});

    EXPECT_TRUE(d.plan.empty()) << "nothing is written before the question";
    ASSERT_EQ(d.disputed.size(), 1u);
    const Disputed& q = d.disputed[0];
    EXPECT_EQ(q.index, 4);
    EXPECT_EQ(q.board, board);
    ASSERT_EQ(q.merge.conflicts.size(), 1u);
    EXPECT_STREQ(q.merge.conflicts[0].field->name, "Name");

    const std::vector<RecordWrite> mineKept = settle(d.disputed, true);
    ASSERT_EQ(mineKept.size(), 1u);
    EXPECT_EQ(mineKept[0].old, board);
    EXPECT_EQ(readText(mineKept[0].now, kName), "KARI");
    EXPECT_EQ(readText(mineKept[0].now, kPostnr), "TROMSO");

    // The board's value kept: the operator's other change still goes over it.
    const std::vector<RecordWrite> boardsKept = settle(d.disputed, false);
    ASSERT_EQ(boardsKept.size(), 1u);
    EXPECT_EQ(readText(boardsKept[0].now, kName), "PER");
    EXPECT_EQ(readText(boardsKept[0].now, kPostnr), "TROMSO");
}

TEST(SaveDecisionTest, KeepingTheBoardsValueWritesNothingWhereTheBoardHoldsTheResult) {
    const Record loaded = user("OLA", "OSLO");
    const Record mine = with(loaded, kName, "KARI");
    const Record board = with(loaded, kName, "PER");
    const Decision d = decideChanges({{0, loaded, mine}}, {board});
    ASSERT_EQ(d.disputed.size(), 1u);
    EXPECT_TRUE(settle(d.disputed, false).empty());
}

TEST(SaveDecisionTest, ARecordThatMovedBeforeItsWriteIsDecidedAgainOverWhatItHoldsNow) {
    const Record loaded = user("OLA", "OSLO");
    const Record mine = with(loaded, kName, "KARI");
    const Change change{2, loaded, mine};
    const std::map<int, const Change*> changeAt{{2, &change}};
    const std::map<int, Record> decidedOn{{2, loaded}};

    // The board changed the town between the decision and the write.
    const Record moved = with(loaded, kPostnr, "BODO");
    const Decision again = decideMoved({{2, moved, mine}}, decidedOn, changeAt);
    ASSERT_EQ(again.plan.size(), 1u);
    EXPECT_TRUE(again.disputed.empty());
    EXPECT_EQ(again.plan[0].old, moved);
    EXPECT_EQ(readText(again.plan[0].now, kName), "KARI");
    EXPECT_EQ(readText(again.plan[0].now, kPostnr), "BODO");

    // It changed the very field: asked again, with the operator's record.
    const Record clash = with(loaded, kName, "PER");
    const Decision asked = decideMoved({{2, clash, mine}}, decidedOn, changeAt);
    EXPECT_TRUE(asked.plan.empty());
    ASSERT_EQ(asked.disputed.size(), 1u);
    EXPECT_EQ(asked.disputed[0].mine, mine);
    EXPECT_EQ(asked.disputed[0].board, clash);
}
