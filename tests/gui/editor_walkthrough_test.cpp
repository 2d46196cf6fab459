// What a first walkthrough of the main window tripped over: the track bar's
// directions, where boxes stand, Enter in the search field, 18-character
// texts, the caption, typing that Exit would drop, and the first open dialog.

#include "fixture.h"
#include "userfile/codetables.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QWheelEvent>

#include <cstring>

using namespace zorvtest;
using namespace zorv;

namespace {

class WalkthroughTest : public EditorTest {
  protected:
    void startWithUsers(int n) { startWith(plainUsers(n)); }
    void wheel(QWidget* w, int angle) {
        const QPointF at(w->width() / 2.0, w->height() / 2.0);
        QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(w, &e);
    }
    // A record whose text field fills its whole array, no NUL.
    static Record withFullText(const std::string& name, const TextField& f, const char* text) {
        Record r = plainUser(name);
        EXPECT_EQ(std::strlen(text), f.width);
        std::memcpy(r.data() + f.offset, text, f.width);
        return r;
    }
};

} // namespace

TEST_F(WalkthroughTest, TrackBarKeysAndWheelGoToHigherNumbersDownwards) {
    startWithUsers(30); // page size 10
    platform.inputAnswers = {QStringLiteral("3")};
    window->Goto1->trigger();
    ASSERT_EQ(session.currentIndex, 3);
    QSlider* bar = window->bar;
    bar->setFocus();

    QTest::keyClick(bar, Qt::Key_PageDown);
    EXPECT_EQ(session.currentIndex, 13);
    EXPECT_EQ(window->poss->text(), "13/29");
    QTest::keyClick(bar, Qt::Key_PageUp);
    EXPECT_EQ(session.currentIndex, 3);
    QTest::keyClick(bar, Qt::Key_Down);
    EXPECT_EQ(session.currentIndex, 4);
    QTest::keyClick(bar, Qt::Key_Up);
    EXPECT_EQ(session.currentIndex, 3);
    QTest::keyClick(bar, Qt::Key_Right);
    EXPECT_EQ(session.currentIndex, 4);
    QTest::keyClick(bar, Qt::Key_Left);
    EXPECT_EQ(session.currentIndex, 3);
    EXPECT_EQ(window->Name->text(), "USER 3");

    wheel(bar, -120); // turned towards the operator
    const int down = session.currentIndex;
    EXPECT_GT(down, 3);
    EXPECT_EQ(window->Name->text(), QStringLiteral("USER %1").arg(down));
    wheel(bar, 120);
    EXPECT_EQ(session.currentIndex, 3);

    QTest::keyClick(bar, Qt::Key_PageUp); // stops at the first user
    EXPECT_EQ(session.currentIndex, 0);
    QTest::keyClick(bar, Qt::Key_Left);
    EXPECT_EQ(session.currentIndex, 0);
}

TEST_F(WalkthroughTest, ErrorBoxesStandOverTheWindowThatRaisedThem) {
    startWithUsers(5);
    platform.inputAnswers = {QStringLiteral("abc")};
    window->Goto1->trigger();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].text, "'abc' is not a valid integer value.");
    EXPECT_EQ(platform.messages[0].parent, window.get());

    // A bad number at Save User, raised from a field on a tab
    window->PageControl1->setCurrentWidget(window->Statistics);
    window->sysop->setText("x1");
    press(window->limit, Qt::Key_S);
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[1].text, "'x1' is not a valid integer value.");
    EXPECT_EQ(platform.messages[1].parent, window.get());
}

TEST_F(WalkthroughTest, EnterInTheSearchFieldRunsFind) {
    startWithUsers(8);
    window->PageControl1->setCurrentWidget(window->findtab);
    window->namecb->setChecked(true);
    QTest::keyClicks(window->findstr, "user 5");
    QTest::keyClick(window->findstr, Qt::Key_Return);
    EXPECT_EQ(session.currentIndex, 5);
    EXPECT_EQ(window->Name->text(), "USER 5");
    EXPECT_EQ(window->poss->text(), "5/7");
    EXPECT_EQ(session.foundIndex, 5);

    // Enter in another field runs nothing
    QTest::keyClick(window->Name, Qt::Key_Enter);
    EXPECT_EQ(session.currentIndex, 5);
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(WalkthroughTest, EighteenCharacterTextsShowWholeAndOnlyGetShorter) {
    ASSERT_NO_FATAL_FAILURE(
        startWith({withFullText("FULL", kTlf, "123456789012345678"),
                   withFullText("BORN", kBirth, "born on a monday!!"), plainUser("PLAIN")}));
    const std::string stored = workingCopyBytes();
    EXPECT_EQ(window->Tlf->text(), "123456789012345678");

    // Typing at the end or over a character cannot make another 18-character text.
    window->Tlf->setFocus();
    window->Tlf->end(false);
    QTest::keyClicks(window->Tlf, "9");
    EXPECT_EQ(window->Tlf->text(), "123456789012345678");
    window->Tlf->setSelection(0, 1);
    QTest::keyClicks(window->Tlf, "X");
    EXPECT_EQ(window->Tlf->text(), "123456789012345678");
    QTest::mouseClick(window->save, Qt::LeftButton);
    EXPECT_EQ(workingCopyBytes(), stored) << "nothing typed: the 18 bytes stay";

    // Shorter is fine; growing back beyond 17 is not.
    window->Tlf->setFocus();
    window->Tlf->end(false);
    QTest::keyClick(window->Tlf, Qt::Key_Backspace);
    EXPECT_EQ(window->Tlf->text(), "12345678901234567");
    QTest::keyClicks(window->Tlf, "9");
    EXPECT_EQ(window->Tlf->text(), "12345678901234567");
    EXPECT_TRUE(window->Tlf->isModified());

    platform.choiceAnswers = {Answer::No};
    window->Next1->trigger();
    EXPECT_EQ(window->birth->text(), "born on a monday!!");
    window->Next1->trigger(); // an ordinary record: typing and pasting stop at 17
    window->birth->setFocus();
    window->birth->end(false);
    QTest::keyClicks(window->birth, "ABCDEFGHIJ");
    EXPECT_EQ(window->birth->text(), "01.01.1970ABCDEFG");
    window->Tlf->setFocus();
    window->Tlf->end(false);
    window->Tlf->insert("-pasted-text-too-long");
    EXPECT_EQ(window->Tlf->text().size(), 17);
    EXPECT_TRUE(window->Tlf->text().startsWith("22 00 00 00-paste"));
}

TEST_F(WalkthroughTest, CaptionNamesTheFileAndMarksUnsavedChanges) {
    startWithUsers(3);
    const QString caption = QStringLiteral("ZORV User editor  -  written for ZORV BBS sysops");
    EXPECT_EQ(window->windowTitle(), caption + "  -  zorvuser.dat[*]");
    EXPECT_FALSE(window->isWindowModified());

    QTest::keyClicks(window->Name, "x");
    EXPECT_FALSE(window->isWindowModified()) << "typing alone is not in the working copy";
    press(window->Name, Qt::Key_S);
    EXPECT_TRUE(window->isWindowModified());
    window->Next1->trigger();
    EXPECT_TRUE(window->isWindowModified());
    QTest::mouseClick(window->savefilebt, Qt::LeftButton);
    EXPECT_FALSE(window->isWindowModified());
    EXPECT_EQ(userFileBytes(), workingCopyBytes());
}

TEST_F(WalkthroughTest, ExitAsksAboutTypingThatSaveUserHasNotStored) {
    startWithUsers(3);
    const std::string before = userFileBytes();

    // Ctrl+X in a field: Cancel keeps everything as it was.
    QTest::keyClicks(window->Name, " typed");
    platform.choiceAnswers = {Answer::Cancel};
    press(window->Name, Qt::Key_X);
    ASSERT_EQ(platform.questions.size(), 1u);
    EXPECT_EQ(platform.questions[0], "Save the changes to user 0?");
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(session.workingCopy.isOpen());
    EXPECT_EQ(window->Name->text(), "USER 0 typed");
    EXPECT_TRUE(window->Name->isModified());
    EXPECT_FALSE(session.userFileChanged);

    // Yes stores it as Save User would; then comes the question about the file.
    platform.choiceAnswers = {Answer::Yes, Answer::No};
    press(window->Name, Qt::Key_X);
    ASSERT_EQ(platform.questions.size(), 3u);
    EXPECT_EQ(platform.questions[2], "Save zorvuser.dat file?");
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(readText(workingRecord(0), kName), "USER 0 TYPED");
    EXPECT_EQ(userFileBytes(), before);
}

TEST_F(WalkthroughTest, NoDropsTheTypingAndAsksNothingMore) {
    startWithUsers(3);
    const std::string before = workingCopyBytes();
    window->Next1->trigger();
    QTest::keyClicks(window->limit, "9");
    platform.choiceAnswers = {Answer::No};
    window->close(); // the title bar
    ASSERT_EQ(platform.questions.size(), 1u);
    EXPECT_EQ(platform.questions[0], "Save the changes to user 1?");
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(workingCopyBytes(), before);
    EXPECT_FALSE(session.userFileChanged);
}

TEST_F(WalkthroughTest, PickedAndTickedChangesCountToo) {
    startWithUsers(3);
    // Typed and dropped on the way to the next user.
    QTest::keyClicks(window->Name, "x");
    platform.choiceAnswers = {Answer::No};
    window->Next1->trigger();
    EXPECT_EQ(platform.questions.size(), 1u);

    // A ticked box
    window->PageControl1->setCurrentWidget(window->General);
    QTest::mouseClick(window->Silent, Qt::LeftButton);
    platform.choiceAnswers = {Answer::Cancel};
    window->Exit1->trigger();
    EXPECT_EQ(platform.questions.size(), 2u);
    EXPECT_TRUE(window->isVisible());

    // A picked list item; the search tab's own controls are no change of the user's.
    platform.choiceAnswers = {Answer::No};
    window->Next1->trigger();
    EXPECT_EQ(platform.questions.size(), 3u);
    window->PageControl1->setCurrentWidget(window->findtab);
    QTest::keyClicks(window->findstr, "abc");
    QTest::mouseClick(window->namecb, Qt::LeftButton);
    window->statcb->setFocus();
    QTest::keyClick(window->statcb, Qt::Key_Down);
    window->Find1->trigger(); // the find dialog's text is no change of the user's either
    ASSERT_NE(window->FindDialog, nullptr);
    QTest::keyClicks(window->FindDialog->findChild<QLineEdit*>(), "ola");
    window->Exit1->trigger();
    EXPECT_EQ(platform.questions.size(), 3u) << "the search settings asked nothing";
    EXPECT_FALSE(window->isVisible());
}

TEST_F(WalkthroughTest, PickedListAskedAndABadNumberKeepsTheWindow) {
    startWithUsers(3);
    window->status->setFocus();
    QTest::keyClick(window->status, Qt::Key_Down);
    window->PageControl1->setCurrentWidget(window->Statistics);
    window->sysop->setText("oops"); // programmatic: not a change of its own
    platform.choiceAnswers = {Answer::Yes};
    window->close();
    EXPECT_TRUE(window->isVisible()) << "the failed Save User keeps the window";
    EXPECT_TRUE(shown("'oops' is not a valid integer value."));

    window->sysop->setText("10");
    platform.choiceAnswers = {Answer::Yes, Answer::Yes};
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(readCode(userFileRecord(0), *codeFieldOf(CodeListId::status)), 1);
}

TEST_F(WalkthroughTest, FirstOpenDialogSaysWhatItAsksFor) {
    writeUsers(demoUsers(3));
    platform.openAnswers = {QString::fromStdString(userFile())};
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_EQ(platform.openDialogs.size(), 1u);
    EXPECT_EQ(platform.openDialogs[0].title, "Open the board's user file (zorvuser.dat)");
    EXPECT_TRUE(window->fileopen.title.isEmpty()) << "the shared dialog keeps no title";
}
