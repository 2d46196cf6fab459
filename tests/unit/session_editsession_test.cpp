// The open user file without a window: what a board's compare asks of the
// working copy, the running figures against a fresh count, Toggle Status and
// the board's writes as the session takes them.

#include "scripted_prompts.h"
#include "session/editsession.h"
#include "tempdir.h"
#include "userfile/errors.h"
#include "userfile/livefile.h"

#include <gtest/gtest.h>

#include <map>
#include <vector>

using namespace zorv;
using zorvtest::bytesOf;
using zorvtest::ScriptedPrompts;
using zorvtest::TempDir;
using zorvtest::writeFileBytes;

namespace {

Record user(int i, int logins = 1) {
    Record r{};
    r[0] = static_cast<std::uint8_t>('A' + i % 26);
    writeNumber(r, kLogins, logins);
    writeNumber(r, kMsgleft, i);
    writeCode(r, kStatus, i % 3 == 0 ? 2u : 0u);
    return r;
}

LiveCompare following(std::vector<LiveRecord> records) {
    LiveCompare c;
    c.records = std::move(records);
    return c;
}

std::vector<LiveStep::Kind> kinds(const std::vector<LiveStep>& plan) {
    std::vector<LiveStep::Kind> out;
    for (const LiveStep& s : plan)
        out.push_back(s.kind);
    return out;
}

TEST(LivePlan, TakesOnlyWhatTheOperatorLeftAloneAndStopsAppendingAtAGap) {
    std::vector<Record> copy{user(0), user(1), user(2), user(3)};
    // User 1 the operator changed; user 2 the operator changed back to its
    // loaded bytes; user 3 the operator changed, the board's bytes are the loaded ones.
    const std::map<int, Record> loaded{{1, user(1)}, {2, user(2)}, {3, user(3)}};
    copy[1] = user(1, 50);
    copy[3] = user(3, 70);
    const auto current = [&copy](int i) { return copy.at(static_cast<std::size_t>(i)); };
    const LiveCompare result = following({{0, user(0, 9)},
                                          {1, user(1, 9)},
                                          {2, user(2, 9)},
                                          {3, user(3)},
                                          {4, user(4)},
                                          {5, user(5)},
                                          {7, user(7)}});
    const std::vector<LiveStep> plan = planLiveApply(result, 4, current, loaded);
    using K = LiveStep::Kind;
    EXPECT_EQ(kinds(plan), (std::vector<K>{K::Take, K::Clash, K::Take, K::Append, K::Append}));
    ASSERT_EQ(plan.size(), 5u);
    EXPECT_EQ(plan[1].index, 1);
    EXPECT_EQ(plan[4].index, 5);
    EXPECT_EQ(plan[4].record, 5u); // its place among the result's records

    // Bytes the copy already holds ask for nothing; a problem asks for nothing.
    EXPECT_TRUE(planLiveApply(following({{0, user(0)}}), 4, current, loaded).empty());
    LiveCompare gone = result;
    gone.state = LiveState::Replaced;
    EXPECT_TRUE(planLiveApply(gone, 4, current, loaded).empty());
}

class EditSessionTest : public ::testing::Test {
  protected:
    void start(const std::vector<Record>& users) {
        writeFileBytes(userFile(), bytesOf(users));
        session.setUserFileName(userFile());
        session.setWorkingCopyPath(dir.file("zorvedit.dat"));
        session.setBackups(0, dir.path());
        session.rollBackInterruptedSaves(prompts);
        ASSERT_TRUE(session.load(prompts));
    }
    std::string userFile() const { return dir.file("zorvuser.dat"); }
    Totals counted() const { return computeTotals(session.workingCopy()); }

    TempDir dir;
    ScriptedPrompts prompts;
    EditSession session;
};

TEST_F(EditSessionTest, RunningFiguresMatchAFreshCountAfterEveryKindOfWrite) {
    ASSERT_NO_FATAL_FAILURE(start({user(0), user(1), user(2)}));
    EXPECT_TRUE(session.loaded());
    EXPECT_EQ(session.totals(), counted());
    EXPECT_EQ(session.totals().tuser, 3);

    session.setCurrentIndex(1);
    Record r = session.beginStore();
    EXPECT_TRUE(session.changed());
    writeNumber(r, kLogins, 1000);
    writeNumber(r, kResume, 4);
    session.store(r);
    EXPECT_EQ(session.record(), r);
    EXPECT_EQ(session.totals(), counted());
    EXPECT_EQ(session.totals().tlogins, 1002);

    // The board changes user 2 and appends one: the figures follow.
    const BoardApplied applied = session.applyBoardChanges(
        following({{2, user(2, 40)}, {3, user(3, 5)}}), [] { return false; });
    EXPECT_EQ(applied.changed, std::vector<int>{2});
    EXPECT_EQ(applied.appended, 1);
    EXPECT_TRUE(applied.totalsMoved);
    EXPECT_FALSE(applied.reshow); // not the shown user
    EXPECT_EQ(session.totals(), counted());
    EXPECT_EQ(session.totals().tuser, 4);
}

TEST_F(EditSessionTest, TheShownUserTakesTheBoardsBytesUnlessTheEntriesDiffer) {
    ASSERT_NO_FATAL_FAILURE(start({user(0), user(1)}));
    session.show(1);
    BoardApplied applied =
        session.applyBoardChanges(following({{1, user(1, 7)}}), [] { return false; });
    EXPECT_TRUE(applied.reshow);
    EXPECT_EQ(session.record(), user(1, 7));
    EXPECT_FALSE(session.boardChangedShown());

    applied = session.applyBoardChanges(following({{1, user(1, 8)}}), [] { return true; });
    EXPECT_FALSE(applied.reshow);
    EXPECT_TRUE(session.boardChangedShown());
    EXPECT_EQ(session.record(), user(1, 7)); // what the form was filled from

    // Save User asks; Cancel stores nothing and the mark stays.
    prompts.choices = {2};
    EXPECT_EQ(session.settleBoardChange(prompts), EditSession::BoardChoice::Cancel);
    EXPECT_TRUE(session.boardChangedShown());
    EXPECT_TRUE(session.recordShown());
    EXPECT_FALSE(session.boardChangedShown());
    EXPECT_EQ(session.settleBoardChange(prompts), EditSession::BoardChoice::NotAsked);
}

TEST_F(EditSessionTest, ClashesAndProblemsStandUntilFollowingStops) {
    ASSERT_NO_FATAL_FAILURE(start({user(0), user(1)}));
    session.setCurrentIndex(0);
    Record mine = session.beginStore();
    writeNumber(mine, kLogins, 55);
    session.store(mine);
    session.applyBoardChanges(following({{0, user(0, 66)}}), [] { return false; });
    EXPECT_EQ(session.changedByBoth(), std::vector<int>{0});
    Record held{};
    session.workingCopy().readRecord(0, held);
    EXPECT_EQ(held, mine); // the operator's bytes stay for Save File's merge

    LiveCompare missing;
    missing.state = LiveState::Missing;
    session.applyBoardChanges(missing, [] { return false; });
    EXPECT_EQ(session.liveProblem(), "The user file is missing");
    EXPECT_EQ(session.changedByBoth(), std::vector<int>{0});
    session.stopFollowing();
    EXPECT_TRUE(session.liveProblem().empty());
    EXPECT_TRUE(session.changedByBoth().empty());
}

TEST_F(EditSessionTest, ToggleStatusSwapsActiveAndInactiveAndCanBeTakenBack) {
    Record odd = user(1);
    writeCode(odd, kStatus, 5);
    ASSERT_NO_FATAL_FAILURE(start({user(0), odd}));
    EXPECT_FALSE(session.changed());
    const StatusToggle t = session.toggleStatus(0);
    EXPECT_EQ(t.was, 2u);
    EXPECT_EQ(t.now, 0u);
    EXPECT_TRUE(session.changed());
    const StatusToggle other = session.toggleStatus(1);
    EXPECT_EQ(other.now, 5u); // neither active nor inactive: left as it is
    EXPECT_FALSE(session.undoToggle(other));
    EXPECT_TRUE(session.undoToggle(t));
    session.restoreChanged(false);
    Record back{};
    session.workingCopy().readRecord(0, back);
    EXPECT_EQ(back, user(0));
    EXPECT_FALSE(session.changed());
    EXPECT_EQ(session.totals(), counted());
}

TEST_F(EditSessionTest, CancelBeforeOpeningAnotherFileKeepsTheChangesAndTheFile) {
    ASSERT_NO_FATAL_FAILURE(start({user(0), user(1)}));
    session.toggleStatus(1);
    prompts.choices = {2}; // "Save old user file?": Cancel
    EXPECT_FALSE(session.saveBeforeOpening(prompts));
    EXPECT_TRUE(session.changed());
    prompts.choices = {1}; // No: switch, the changes are dropped
    EXPECT_TRUE(session.saveBeforeOpening(prompts));

    const std::string other = dir.file("other.dat");
    writeFileBytes(other, bytesOf({user(5)}));
    EXPECT_TRUE(looksLikeUserFile(other));
    session.open(other);
    EXPECT_EQ(session.userFileName(), other);
    EXPECT_EQ(session.currentIndex(), 0); // kept within the new file's users
    EXPECT_EQ(session.record(), user(5));
    EXPECT_EQ(session.totals(), counted());

    writeFileBytes(dir.file("half.dat"), std::string(kRecordSize + 1, '\0'));
    EXPECT_FALSE(looksLikeUserFile(dir.file("half.dat")));
    EXPECT_THROW(looksLikeUserFile(dir.file("none.dat")), IoError);
}

} // namespace
