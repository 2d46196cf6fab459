// Entries that Save User has not stored are never dropped without a question:
// every way of showing a user anew asks "Save the changes to user N?", and
// each answer does what it says; the questions at exit and at switching files
// can be taken back.

#include "editor/ui/livewatch.h"
#include "eventually.h"
#include "fixture.h"
#include "reports/ui/tuserlist.h"
#include "userfile/record.h"
#include "userfile/userfile.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <functional>
#include <ostream>

using namespace zorvtest;
using namespace zorv;

namespace {

// One way of moving, and the user it leads to from user 2 of five.
struct Move {
    const char* name;
    std::function<void(EditorTest&, Tqedit&, ScriptedPlatform&)> run;
    int target;
};

void PrintTo(const Move& m, std::ostream* os) {
    *os << m.name;
}

void typeAtEnd(QLineEdit* e, const QString& text) {
    e->setFocus();
    e->end(false);
    QTest::keyClicks(e, text);
}

const Move kMoves[] = {
    {"CtrlN",
     [](EditorTest&, Tqedit& w, ScriptedPlatform&) {
         QTest::keyClick(w.Name, Qt::Key_N, Qt::ControlModifier);
     },
     3},
    {"CtrlP",
     [](EditorTest&, Tqedit& w, ScriptedPlatform&) {
         QTest::keyClick(w.Name, Qt::Key_P, Qt::ControlModifier);
     },
     1},
    {"NextButton",
     [](EditorTest&, Tqedit& w, ScriptedPlatform&) { QTest::mouseClick(w.next, Qt::LeftButton); },
     3},
    {"FirstOnTheBar",
     [](EditorTest&, Tqedit& w, ScriptedPlatform&) {
         w.bar->setFocus();
         QTest::keyClick(w.bar, Qt::Key_F, Qt::ControlModifier);
     },
     0},
    {"LastOnTheBar",
     [](EditorTest&, Tqedit& w, ScriptedPlatform&) {
         w.bar->setFocus();
         QTest::keyClick(w.bar, Qt::Key_L, Qt::ControlModifier);
     },
     4},
    {"BarKey",
     [](EditorTest&, Tqedit& w, ScriptedPlatform&) {
         w.bar->setFocus();
         QTest::keyClick(w.bar, Qt::Key_Right);
     },
     3},
    {"Goto",
     [](EditorTest&, Tqedit& w, ScriptedPlatform& p) {
         p.inputAnswers = {QStringLiteral("4")};
         w.Goto1->trigger();
     },
     4},
    // Goto cancelled shows the same user again: that drops entries too.
    {"GotoCancelled",
     [](EditorTest&, Tqedit& w, ScriptedPlatform& p) {
         p.inputAnswers = {std::nullopt};
         w.Goto1->trigger();
     },
     2},
    {"FindTab",
     [](EditorTest&, Tqedit& w, ScriptedPlatform&) {
         w.findstr->setText(QStringLiteral("user 4"));
         w.namecb->setChecked(true);
         QTest::mouseClick(w.findbtn, Qt::LeftButton);
     },
     4},
    {"FindDialog",
     [](EditorTest&, Tqedit& w, ScriptedPlatform&) {
         w.Find1->trigger();
         w.FindDialog->findChild<QLineEdit*>(QStringLiteral("FindText"))->setText("USER 1");
         QTest::mouseClick(w.FindDialog->findChild<QPushButton*>(QStringLiteral("FindNext")),
                           Qt::LeftButton);
         w.FindDialog->close();
     },
     1},
};

class MoveQuestionTest : public EditorTest, public ::testing::WithParamInterface<Move> {
  protected:
    void startAtUser2() {
        startWith(plainUsers(5));
        window->bar->setValue(2); // nothing typed yet: no question
        ASSERT_TRUE(platform.questions.empty());
        ASSERT_EQ(window->Name->text(), "USER 2");
        before = workingCopyBytes();
        typeAtEnd(window->Name, "Z");
    }
    void move() { GetParam().run(*this, *window, platform); }
    void expectShown(int user) {
        EXPECT_EQ(session.currentIndex, user);
        EXPECT_EQ(window->bar->value(), user);
        EXPECT_EQ(window->poss->text(), QStringLiteral("%1/4").arg(user));
    }
    std::string before;
};

TEST_P(MoveQuestionTest, CancelKeepsTheEntriesAndTheUser) {
    ASSERT_NO_FATAL_FAILURE(startAtUser2());
    platform.choiceAnswers = {Answer::Cancel};
    move();
    ASSERT_EQ(platform.questions.size(), 1u);
    EXPECT_EQ(platform.questions[0], "Save the changes to user 2?");
    expectShown(2);
    EXPECT_EQ(window->Name->text(), "USER 2Z");
    EXPECT_TRUE(window->hasUnstoredEdits());
    EXPECT_EQ(workingCopyBytes(), before);
    EXPECT_FALSE(session.userFileChanged);
}

TEST_P(MoveQuestionTest, NoDropsTheEntries) {
    ASSERT_NO_FATAL_FAILURE(startAtUser2());
    platform.choiceAnswers = {Answer::No};
    move();
    EXPECT_EQ(platform.questions.size(), 1u);
    expectShown(GetParam().target);
    EXPECT_EQ(window->Name->text(), QStringLiteral("USER %1").arg(GetParam().target));
    EXPECT_FALSE(window->hasUnstoredEdits());
    EXPECT_EQ(workingCopyBytes(), before);
    EXPECT_FALSE(session.userFileChanged);
}

TEST_P(MoveQuestionTest, YesStoresThemFirst) {
    ASSERT_NO_FATAL_FAILURE(startAtUser2());
    platform.choiceAnswers = {Answer::Yes};
    move();
    EXPECT_EQ(platform.questions.size(), 1u);
    EXPECT_EQ(readText(workingRecord(2), kName), "USER 2Z");
    EXPECT_TRUE(session.userFileChanged);
    expectShown(GetParam().target);
    EXPECT_EQ(window->Name->text(), GetParam().target == 2
                                        ? QStringLiteral("USER 2Z")
                                        : QStringLiteral("USER %1").arg(GetParam().target));
    EXPECT_FALSE(window->hasUnstoredEdits());
}

INSTANTIATE_TEST_SUITE_P(EveryWayToShowAUser, MoveQuestionTest, ::testing::ValuesIn(kMoves),
                         [](const ::testing::TestParamInfo<Move>& i) { return i.param.name; });

using UnstoredEntriesTest = EditorTest;

TEST_F(UnstoredEntriesTest, NothingTypedMovesWithoutAQuestion) {
    startWith(plainUsers(5));
    window->Next1->trigger();
    window->bar->setValue(4);
    window->Previous1->trigger();
    EXPECT_TRUE(platform.questions.empty());
    EXPECT_EQ(session.currentIndex, 3);
}

TEST_F(UnstoredEntriesTest, ADragAsksOnceAtItsReleaseAndCancelPutsTheBarBack) {
    startWith(plainUsers(8));
    typeAtEnd(window->Name, "Z");
    platform.choiceAnswers = {Answer::Cancel};
    window->bar->setSliderDown(true);
    for (int p : {1, 2, 3, 5})
        window->bar->setSliderPosition(p);
    EXPECT_TRUE(platform.questions.empty()) << "nothing asked during the drag";
    EXPECT_EQ(window->Name->text(), "USER 0Z");
    window->bar->setSliderDown(false);
    ASSERT_EQ(platform.questions.size(), 1u);
    EXPECT_EQ(platform.questions[0], "Save the changes to user 0?");
    EXPECT_EQ(window->bar->value(), 0);
    EXPECT_EQ(window->Name->text(), "USER 0Z");

    // A drag with the answer Yes: stored, then the user dropped on shown.
    platform.choiceAnswers = {Answer::Yes};
    window->bar->setSliderDown(true);
    window->bar->setSliderPosition(4);
    window->bar->setSliderPosition(6);
    window->bar->setSliderDown(false);
    EXPECT_EQ(platform.questions.size(), 2u);
    EXPECT_EQ(readText(workingRecord(0), kName), "USER 0Z");
    EXPECT_EQ(session.currentIndex, 6);
    EXPECT_EQ(window->Name->text(), "USER 6");

    // Without entries a drag follows the thumb as before.
    window->bar->setSliderDown(true);
    window->bar->setSliderPosition(3);
    EXPECT_EQ(window->Name->text(), "USER 3");
    window->bar->setSliderDown(false);
    EXPECT_EQ(platform.questions.size(), 2u);
}

TEST_F(UnstoredEntriesTest, ABadNumberAtYesStopsTheMove) {
    startWith(plainUsers(5));
    window->PageControl1->setCurrentWidget(window->Statistics);
    type(window->limit, "12x");
    platform.choiceAnswers = {Answer::Yes};
    window->Next1->trigger();
    EXPECT_TRUE(shown("'12x' is not a valid integer value."));
    EXPECT_EQ(session.currentIndex, 0);
    EXPECT_EQ(window->limit->text(), "12x");
}

TEST_F(UnstoredEntriesTest, APickInTheUserListAsks) {
    writeUsers(plainUsers(4));
    rememberUserFile();
    window = std::make_unique<Tqedit>(edit, platform, *settings);
    auto* list = window->userlist = new Tuserlist(window->reportContext());
    ASSERT_NO_FATAL_FAILURE(showAndRunStartUp());
    typeAtEnd(window->Name, "Z");
    list->show();
    QApplication::processEvents();
    auto& view = *list->sg2;
    platform.choiceAnswers = {Answer::Cancel};
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.cellRect(0, 3).center());
    ASSERT_EQ(platform.questions.size(), 1u);
    EXPECT_EQ(session.currentIndex, 0);
    EXPECT_EQ(window->Name->text(), "USER 0Z");

    platform.choiceAnswers = {Answer::No};
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.cellRect(0, 2).center());
    EXPECT_EQ(platform.questions.size(), 2u);
    EXPECT_EQ(session.currentIndex, 1);
    EXPECT_EQ(window->Name->text(), "USER 1");
    list->accept();
}

TEST_F(UnstoredEntriesTest, ToggleStatusOfTheShownUserIsNoEntryOfTheOperators) {
    writeUsers(plainUsers(4));
    rememberUserFile();
    window = std::make_unique<Tqedit>(edit, platform, *settings);
    auto* list = window->userlist = new Tuserlist(window->reportContext());
    ASSERT_NO_FATAL_FAILURE(showAndRunStartUp());
    list->show();
    QApplication::processEvents();
    list->KillUser1->trigger(); // the row of the shown user is selected
    list->accept();
    ASSERT_EQ(readCode(workingRecord(0), kStatus), 2u);
    window->Next1->trigger();
    EXPECT_TRUE(platform.questions.empty());
    EXPECT_EQ(session.currentIndex, 1);
}

// ------------------------------------------------ exit and another file

TEST_F(UnstoredEntriesTest, CancelAtTheExitQuestionGoesOnFollowingTheBoard) {
    const std::vector<Record> users = plainUsers(5);
    startWith(users);
    ASSERT_NE(window->liveWatch(), nullptr);
    saveUser(); // a stored change: the exit asks about the file
    typeAtEnd(window->address, " 2");
    const std::string userBefore = userFileBytes();

    platform.choiceAnswers = {Answer::No, Answer::Cancel};
    window->Exit1->trigger();
    ASSERT_EQ(platform.questions.size(), 2u);
    EXPECT_EQ(platform.questions[0], "Save the changes to user 0?");
    EXPECT_EQ(platform.questions[1], "Save zorvuser.dat file?");
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(session.workingCopy.isOpen());
    EXPECT_TRUE(session.userFileChanged);
    EXPECT_EQ(userFileBytes(), userBefore);
    EXPECT_EQ(window->address->text(), "Storgata 1 2") << "the close was taken back: entries stay";

    // The copy works as before, and the board's writes still arrive.
    type(window->address, "Storgata 1");
    Record board3 = users[3];
    writeText(board3, kAddress, "Board's 3");
    boardWrites(userFile(), 3, board3);
    ASSERT_TRUE(eventually([&] { return readText(workingRecord(3), kAddress) == "Board's 3"; }));
    window->bar->setValue(3);
    EXPECT_EQ(window->address->text(), "Board's 3");

    // The title bar's close asks about the file again; No copies nothing back.
    const std::string boardsFile = userFileBytes();
    platform.choiceAnswers = {Answer::No};
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(userFileBytes(), boardsFile);
}

TEST_F(UnstoredEntriesTest, CancelAtSaveOldUserFileKeepsTheOldFile) {
    startWith(plainUsers(5));
    window->bar->setValue(3);
    saveUser();
    const std::string other = dir.file("board/other.dat");
    {
        std::vector<Record> two = {plainUser("OTHER 0"), plainUser("OTHER 1")};
        writeUserFile(other, two);
    }
    const std::string copyBefore = workingCopyBytes();
    typeAtEnd(window->Name, "Z");

    platform.openAnswers = {QString::fromStdString(other)};
    platform.choiceAnswers = {Answer::No, Answer::Cancel};
    QTest::mouseClick(window->open_, Qt::LeftButton);
    ASSERT_EQ(platform.questions.size(), 2u);
    EXPECT_EQ(platform.questions[0], "Save the changes to user 3?");
    EXPECT_EQ(platform.questions[1], "Save old user file?");
    EXPECT_EQ(session.userFileName, userFile());
    EXPECT_EQ(window->fname1->text(), QString::fromStdString(userFile()));
    EXPECT_EQ(storedText("Filename"), userFile());
    EXPECT_EQ(workingCopyBytes(), copyBefore);
    EXPECT_EQ(window->Name->text(), "USER 3Z");
    EXPECT_TRUE(session.userFileChanged);

    // Cancel at the user's question stops before the file's.
    platform.openAnswers = {QString::fromStdString(other)};
    platform.choiceAnswers = {Answer::Cancel};
    QTest::mouseClick(window->open_, Qt::LeftButton);
    EXPECT_EQ(platform.questions.size(), 3u);
    EXPECT_EQ(session.userFileName, userFile());

    // Yes to both: the user stored, the old file saved, the new one shown.
    platform.openAnswers = {QString::fromStdString(other)};
    platform.choiceAnswers = {Answer::Yes, Answer::Yes};
    QTest::mouseClick(window->open_, Qt::LeftButton);
    EXPECT_EQ(readText(userFileRecord(3), kName), "USER 3Z");
    EXPECT_EQ(session.userFileName, other);
    EXPECT_EQ(window->Name->text(), "OTHER 1");
}

} // namespace
