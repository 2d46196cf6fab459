// Save File on a running board: the window after the save shows the board's
// work, keeps typing that Save User has not stored, and exit can cancel.

#include "fixture.h"

#include "scripted_prompts.h"
#include "userfile/record.h"
#include "userfile/recordwriter.h"
#include "userfile/savefile.h"
#include "userfile/userfile.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zorvtest;
using namespace zorv;

namespace {

void boardAppends(const std::string& path, const std::vector<Record>& rs) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    for (const Record& r : rs)
        ASSERT_EQ(::write(fd, r.data(), kRecordSize), static_cast<ssize_t>(kRecordSize));
    ::close(fd);
}

} // namespace

TEST_F(EditorTest, SaveFileShowsTheBoardsWorkAndKeepsUnstoredTyping) {
    writeUsers(demoUsers(20));
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(start());
    QTest::keyClicks(window->limit, "7");
    QTest::mouseClick(window->save, Qt::LeftButton);
    const Record mine = workingRecord(0);
    for (int i = 0; i < 3; ++i)
        QTest::mouseClick(window->next, Qt::LeftButton);
    window->address->selectAll();
    QTest::keyClicks(window->address, "typed, not stored");

    Record board5 = userFileRecord(5);
    writeText(board5, kName, "CALLER FIVE");
    boardWrites(userFile(), 5, board5);
    boardAppends(userFile(), {plainUser("NEW ONE"), plainUser("NEW TWO")});

    QTest::mouseClick(window->savefilebt, Qt::LeftButton);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_FALSE(session.userFileChanged);
    EXPECT_EQ(userFileRecord(0), mine);
    EXPECT_EQ(userFileRecord(5), board5);
    EXPECT_EQ(userFileRecord(21), plainUser("NEW TWO"));
    // Range, position, totals and the working copy follow the file.
    EXPECT_EQ(window->poss->text(), "3/21");
    EXPECT_EQ(window->bar->maximum(), 21);
    EXPECT_EQ(window->tuser->text(), "22");
    EXPECT_EQ(workingCopyBytes(), userFileBytes());
    EXPECT_EQ(window->address->text(), "typed, not stored");
    EXPECT_TRUE(window->address->isModified());

    // Now the board changes the very user being typed over: its bytes win the window.
    Record board3 = userFileRecord(3);
    writeText(board3, kAddress, "Board's street 3");
    boardWrites(userFile(), 3, board3);
    Record other = workingRecord(4);
    other[kRecordSize - 1] ^= 1; // a change elsewhere, as the user list's toggle makes
    session.workingCopy.writeRecord(4, other);
    session.userFileChanged = true;
    QTest::mouseClick(window->savefilebt, Qt::LeftButton);
    EXPECT_EQ(window->address->text(), "Board's street 3");
    EXPECT_FALSE(window->address->isModified());
    EXPECT_EQ(userFileRecord(4), other);
}

TEST_F(EditorTest, ConflictCancelledAtExitKeepsTheProgramOpen) {
    writeUsers(demoUsers(4));
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(start());
    QTest::keyClicks(window->Tlf, "1");
    QTest::mouseClick(window->save, Qt::LeftButton);
    Record board0 = userFileRecord(0);
    writeText(board0, kTlf, "board");
    boardWrites(userFile(), 0, board0);

    platform.choiceAnswers = {Answer::Yes};
    platform.chooseAnswers = {2}; // cancel
    QTest::mouseClick(window->exit_, Qt::LeftButton);
    EXPECT_TRUE(window->isVisible());
    ASSERT_EQ(platform.questions.size(), 2u);
    EXPECT_TRUE(platform.questions[1].contains("The board changed this user"));
    EXPECT_EQ(userFileRecord(0), board0);
    EXPECT_TRUE(session.userFileChanged);
    EXPECT_TRUE(session.workingCopy.isOpen());

    platform.choiceAnswers = {Answer::Yes};
    platform.chooseAnswers = {0}; // keep mine
    QTest::mouseClick(window->exit_, Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(std::string(rawText(userFileRecord(0), kTlf)).back(), '1');
}

TEST_F(EditorTest, InterruptedSaveIsUndoneAtStartUp) {
    writeUsers(demoUsers(4));
    const std::string before = userFileBytes();
    // What a save killed after its first record leaves: the record written and
    // its journal beside the working copy. Written here by a real save in a
    // child that is killed at that point.
    const pid_t pid = ::fork();
    if (pid == 0) {
        UserFileSession s;
        s.userFileName = userFile();
        s.workingCopy.setPath(workingCopy());
        s.backups = 0;
        ScriptedPrompts none;
        loadUserFile(s, none);
        Record r = userFileRecord(2);
        r[0] = 'Q';
        s.workingCopy.writeRecord(2, r);
        s.userFileChanged = true;
        setSaveHookForTesting([](SaveStep st, int) {
            if (st == SaveStep::RecordsFlushed)
                ::raise(SIGKILL);
        });
        saveToUserFile(s, none);
        _exit(3);
    }
    ASSERT_EQ(::waitpid(pid, nullptr, 0), pid);
    ASSERT_NE(userFileBytes(), before);

    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(userFileBytes(), before);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_TRUE(platform.messages[0].text.contains("interrupted"));
    EXPECT_EQ(workingCopyBytes(), before) << "loaded after the undo";
}

TEST_F(EditorTest, SavingTheOldFileBeforeASwitchKeepsTheBoardsChanges) {
    writeUsers(demoUsers(6));
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(start());
    QTest::keyClicks(window->Tlf, "5");
    QTest::mouseClick(window->save, Qt::LeftButton);
    const Record mine = workingRecord(0);
    Record board2 = userFileRecord(2);
    writeText(board2, kName, "CALLER TWO");
    boardWrites(userFile(), 2, board2);
    boardAppends(userFile(), {plainUser("NEWCOMER")});

    const std::string other = dir.file("board/other.dat");
    zorv::writeUserFile(other, demoUsers(3));
    platform.openAnswers = {QString::fromStdString(other)};
    platform.choiceAnswers = {Answer::Yes};
    window->openClick();
    EXPECT_EQ(session.userFileName, other);
    EXPECT_EQ(userFileRecord(0), mine);
    EXPECT_EQ(userFileRecord(2), board2);
    EXPECT_EQ(userFileRecord(6), plainUser("NEWCOMER"));
    EXPECT_TRUE(platform.messages.empty());
    // The file as it was just before the run's first write, the board's work included.
    const std::string bak = readFileBytes(userFile() + ".bak");
    ASSERT_EQ(bak.size(), 7 * kRecordSize);
    EXPECT_EQ(bak.substr(2 * kRecordSize, kRecordSize), std::string(board2.begin(), board2.end()));
    EXPECT_NE(bak.substr(0, kRecordSize), std::string(mine.begin(), mine.end()));
}
