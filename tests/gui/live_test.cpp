// The window follows the running board while the user file is open: the
// board's writes reach the users the operator did not change, appended users
// are appended, the totals, count and track bar follow, and what the operator
// changed or typed is never touched.

#include "eventually.h"
#include "fixture.h"

#include "editor/totals.h"
#include "editor/ui/livewatch.h"
#include "userfile/blockreader.h"
#include "userfile/record.h"

#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace zorvtest;
using namespace zorv;

namespace {

// The board: writes through a descriptor of its own, from a thread of its own.
class Board {
  public:
    explicit Board(const std::string& path) : fd_(::open(path.c_str(), O_RDWR)) {}
    ~Board() {
        stopWriting();
        ::close(fd_);
    }
    void write(int index, const Record& r) const {
        (void)!::pwrite(fd_, r.data(), kRecordSize, static_cast<off_t>(index) * kRecordSize);
    }
    void append(const Record& r) const {
        (void)!::pwrite(fd_, r.data(), kRecordSize, ::lseek(fd_, 0, SEEK_END));
    }
    // Calls step(n) for n = 0, 1, ... every 5 ms (200 a second) until stopped.
    template <class F> void startWriting(F step) {
        stop_ = false;
        thread_ = std::thread([this, step] {
            for (int n = 0; !stop_; ++n) {
                step(n);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
    }
    void stopWriting() {
        stop_ = true;
        if (thread_.joinable())
            thread_.join();
    }

  private:
    int fd_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A caller logged in: counters and the call date move.
Record loggedIn(Record r, int n) {
    writeNumber(r, kLogins, static_cast<std::int32_t>(readNumber(r, kLogins) + 1));
    writeNumber(r, kMsgread, static_cast<std::int32_t>(readNumber(r, kMsgread) + n % 7));
    writeNumber(r, kKbdown, static_cast<std::int32_t>(readNumber(r, kKbdown) + 3 * n));
    return r;
}

// A caller who only looked in: the last-call date moves, no figure of the totals.
Record lookedIn(Record r, int n) {
    putU32(r, kLastcallOffset, getU32(r, kLastcallOffset) + static_cast<std::uint32_t>(n));
    return r;
}

class LiveTest : public EditorTest {
  protected:
    int fileCount() const { return static_cast<int>(userFileBytes().size() / kRecordSize); }

    // The window agrees with the file: count, range, position label, totals,
    // and every user but the operator's equals the file's.
    bool followsFile(const std::vector<int>& operators) {
        const std::string file = userFileBytes();
        const std::string copy = workingCopyBytes();
        const int count = static_cast<int>(file.size() / kRecordSize);
        if (copy.size() != file.size() || window->tuser->text() != QString::number(count) ||
            window->bar->maximum() != count - 1 ||
            !window->poss->text().endsWith(QStringLiteral("/%1").arg(count - 1)))
            return false;
        for (int i = 0; i < count; ++i) {
            const bool mine = std::find(operators.begin(), operators.end(), i) != operators.end();
            if (!mine &&
                copy.compare(i * kRecordSize, kRecordSize, file, i * kRecordSize, kRecordSize) != 0)
                return false;
        }
        BlockReader reader(userFile());
        const Totals fresh = computeTotals(reader);
        for (const TotalsEntry& e : totalsEntries())
            if (window->findChild<QLineEdit*>(e.name)->text() != QString::number(fresh.*e.value))
                return false;
        return true;
    }
};

} // namespace

TEST_F(LiveTest, ABusyBoardIsFollowedAndTheOperatorsWorkIsKept) {
    const std::vector<Record> users = demoUsers(300);
    ASSERT_NO_FATAL_FAILURE(startWith(users));
    // The operator stores a change to user 5, then types into user 0 unsaved.
    window->bar->setValue(5);
    type(window->limit, "7");
    saveUser();
    const Record mine5 = workingRecord(5);
    window->bar->setValue(0);
    type(window->Name, "TYPED NAME");
    QTest::mouseClick(window->Silent, Qt::LeftButton);

    Board board(userFile());
    board.startWriting([&board, &users](int n) {
        const int i = 1 + (n * 37) % 299;
        if (i != 5)
            board.write(i, loggedIn(users[i], n));
        if (n % 20 == 0) {
            board.write(5, lookedIn(users[5], n)); // the operator's user
            board.write(0, loggedIn(users[0], n)); // the user being typed over
        }
        if (n % 25 == 0)
            board.append(loggedIn(users[n % 300], n));
    });
    QTest::qWait(1500);
    board.stopWriting();
    ASSERT_GT(fileCount(), 300);

    ASSERT_TRUE(eventually([&] { return followsFile({5}); }, 2500));
    EXPECT_EQ(workingRecord(5), mine5);
    EXPECT_EQ(window->Name->text(), "TYPED NAME");
    EXPECT_EQ(window->Silent->isChecked(), !(readUserflags(users[0]) & kSilent));
    EXPECT_TRUE(window->livefield->isVisible());
    EXPECT_TRUE(window->livefield->text().contains("The board changed this user meanwhile"));
    EXPECT_TRUE(window->livefield->text().contains("1 user changed by you and by the board"));

    // Save User asks; "Keep mine" lays the entries over the board's record.
    platform.chooseAnswers = {0};
    saveUser();
    EXPECT_EQ(platform.questions.size(), 1u);
    const Record stored = workingRecord(0);
    EXPECT_EQ(readText(stored, kName), "TYPED NAME");
    EXPECT_EQ(readNumber(stored, kLogins), readNumber(userFileRecord(0), kLogins));
    EXPECT_FALSE(window->livefield->text().contains("this user meanwhile"));
}

TEST_F(LiveTest, WithoutNoticesThePollFollowsAndNothingCountsAsTheOperators) {
    const std::vector<Record> users = demoUsers(40);
    ASSERT_NO_FATAL_FAILURE(startWith(users));
    LiveWatch::Timing poll;
    poll.notices = false;
    window->liveWatch()->setTiming(poll);

    Board board(userFile());
    board.startWriting([&board, &users](int n) {
        board.write(n % 40, loggedIn(users[n % 40], n));
        if (n % 10 == 0)
            board.append(loggedIn(users[n % 40], n));
    });
    QTest::qWait(600);
    board.stopWriting();

    ASSERT_TRUE(eventually([&] { return followsFile({}); }, 4500));
    // The shown user, untouched by the operator, shows the board's values.
    EXPECT_EQ(window->logins->text(), QString::number(readNumber(userFileRecord(0), kLogins)));
    EXPECT_FALSE(session.userFileChanged);
    EXPECT_FALSE(window->isWindowModified());
    // Only the note that the board is followed: no problem, no clash.
    EXPECT_TRUE(window->livefield->text().startsWith("Following the board: "))
        << window->livefield->text().toStdString();
}

TEST_F(LiveTest, KeepTheBoardsDropsTheEntriesAndCancelStoresNothing) {
    const std::vector<Record> users = plainUsers(10);
    ASSERT_NO_FATAL_FAILURE(startWith(users));
    window->bar->setValue(3);
    type(window->address, "Mine 3");
    Record board3 = users[3];
    writeText(board3, kAddress, "Board's 3");
    Board(userFile()).write(3, board3);
    ASSERT_TRUE(eventually([&] { return workingRecord(3) == board3; }, 2500));
    ASSERT_TRUE(eventually([&] { return window->livefield->isVisible(); }, 1000));
    EXPECT_EQ(window->address->text(), "Mine 3");

    platform.chooseAnswers = {2, 2, 1};
    saveUser(); // Cancel
    EXPECT_EQ(workingRecord(3), board3);
    EXPECT_EQ(window->address->text(), "Mine 3");
    EXPECT_FALSE(session.userFileChanged);
    // Closing: Yes to storing the entries, then Cancel at the board's question.
    platform.choiceAnswers = {Answer::Yes};
    window->close();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->address->text(), "Mine 3");
    saveUser(); // Keep the board's
    EXPECT_EQ(window->address->text(), "Board's 3");
    EXPECT_FALSE(window->address->isModified());
    EXPECT_FALSE(session.userFileChanged);
    EXPECT_EQ(window->livefield->text(), "User 3: the board's record shown, your entries dropped");
}

// Many users at once (a nightly run of the board): applied in parts, and the
// users changed by both are all counted.
TEST_F(LiveTest, ABoardRewritingEveryUserIsFollowed) {
    const std::vector<Record> users = plainUsers(6000);
    ASSERT_NO_FATAL_FAILURE(startWith(users));
    for (int i : {10, 2500, 5999}) {
        window->bar->setValue(i);
        type(window->limit, "7");
        saveUser();
    }
    std::string all;
    for (int i = 0; i < 6000; ++i) {
        const Record r = loggedIn(users[i], i);
        all.append(reinterpret_cast<const char*>(r.data()), kRecordSize);
    }
    writeBytesAt(userFile(), 0, all);
    ASSERT_TRUE(
        eventually([&] { return window->tlogins->text() == QString::number(6000 - 3); }, 2500))
        << window->tlogins->text().toStdString();
    EXPECT_EQ(workingRecord(5998), userFileRecord(5998));
    EXPECT_EQ(readNumber(workingRecord(2500), kLimit), 7);
    EXPECT_TRUE(window->livefield->text().contains("3 users changed by you and by the board"));
}

TEST_F(LiveTest, SaveFileKeepsATickNotYetStored) {
    ASSERT_NO_FATAL_FAILURE(startWith(plainUsers(10)));
    window->bar->setValue(2);
    type(window->limit, "7");
    saveUser();
    const bool silent = window->Silent->isChecked();
    QTest::mouseClick(window->Silent, Qt::LeftButton); // ticked, not stored
    QTest::mouseClick(window->savefilebt, Qt::LeftButton);
    EXPECT_FALSE(session.userFileChanged);
    EXPECT_EQ(window->Silent->isChecked(), !silent);
}

TEST_F(LiveTest, NothingIsAppliedUnderAModalBox) {
    const std::vector<Record> users = plainUsers(10);
    ASSERT_NO_FATAL_FAILURE(startWith(users));
    QDialog box(window.get());
    box.setModal(true);
    box.show();
    const Board board(userFile());
    board.append(plainUser("NEW"));
    QTest::qWait(2500);
    EXPECT_EQ(window->tuser->text(), "10");
    EXPECT_EQ(workingCopyBytes().size(), 10 * kRecordSize);
    box.close();
    ASSERT_TRUE(eventually([&] { return followsFile({}); }, 2500));
}

TEST_F(LiveTest, AShortenedFileIsNoLongerFollowedUntilSaveFile) {
    const std::vector<Record> users = plainUsers(10);
    ASSERT_NO_FATAL_FAILURE(startWith(users));
    const std::string before = workingCopyBytes();
    ASSERT_EQ(::truncate(userFile().c_str(), 8 * kRecordSize), 0);
    ASSERT_TRUE(eventually([&] { return window->livefield->text().contains("shortened"); }, 2500))
        << window->livefield->text().toStdString();
    const Board board(userFile());
    board.write(1, plainUser("LATER"));
    QTest::qWait(1500);
    EXPECT_EQ(workingCopyBytes(), before);
    EXPECT_EQ(window->tuser->text(), "10");
}

TEST_F(LiveTest, LiveRefreshZeroLeavesTheWindowAsLoaded) {
    writeUsers(plainUsers(10));
    rememberUserFile();
    storeInteger("LiveRefresh", 0);
    ASSERT_NO_FATAL_FAILURE(start());
    const std::string before = workingCopyBytes();
    const Board board(userFile());
    board.write(0, plainUser("BOARD"));
    board.append(plainUser("NEW"));
    QTest::qWait(2500);
    EXPECT_EQ(workingCopyBytes(), before);
    EXPECT_EQ(window->Name->text(), "USER 0");
}
