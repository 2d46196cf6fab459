// The form compared with the record shown, field by field: raising a tab
// changes nothing, the live view keeps following the shown user, and Save
// User's "Keep mine" stores only what the operator changed over the board's
// record.

#include "eventually.h"
#include "fixture.h"

#include "userfile/record.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

using namespace zorvtest;
using namespace zorv;

TEST_F(EditorTest, AfterEveryTabWasRaisedTheShownUserStillFollowsTheBoard) {
    const std::vector<Record> users = plainUsers(10);
    startWith(users);
    QTabBar* tabs = window->PageControl1->tabBar();
    // Raised as the operator does, one after the other; a raised page's
    // controls move to the end of the window's children.
    for (int i = 0; i < tabs->count(); ++i) {
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(i).center());
        ASSERT_EQ(window->PageControl1->currentIndex(), i);
        ASSERT_FALSE(window->formDiffers()) << "tab " << i;
    }
    // With each tab raised in turn the board writes the shown user.
    Record board0 = users[0];
    for (int i = 0; i < tabs->count(); ++i) {
        QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(i).center());
        const QString street = QStringLiteral("Board's street %1").arg(i);
        writeText(board0, kAddress, street.toStdString());
        writeNumber(board0, kLogins, 42 + i);
        boardWrites(userFile(), 0, board0);
        ASSERT_TRUE(eventually([&] { return window->address->text() == street; }))
            << "tab " << i << ": " << window->address->text().toStdString() << "; "
            << window->livefield->text().toStdString();
        EXPECT_EQ(window->logins->text(), QString::number(42 + i));
        EXPECT_TRUE(window->livefield->text().startsWith("Following the board: "))
            << window->livefield->text().toStdString();
        EXPECT_FALSE(window->formDiffers());
    }
    EXPECT_FALSE(session.userFileChanged);
    // Nothing was typed: moving on asks nothing.
    window->Next1->trigger();
    EXPECT_TRUE(platform.questions.empty());
}

TEST_F(EditorTest, KeepMineStoresOnlyTheChangedControlsOverTheBoardsRecord) {
    const std::vector<Record> users = plainUsers(10);
    startWith(users);
    window->bar->setValue(3);
    type(window->limit, "7");
    window->PageControl1->setCurrentWidget(window->General);
    QTest::mouseClick(window->Silent, Qt::LeftButton);

    // The board writes fields Save User would otherwise store from the form:
    // a list, a box, the access code, a text and a counter.
    Record board3 = users[3];
    writeText(board3, kAddress, "Board's 3");
    writeNumber(board3, kLogins, 42);
    writeCode(board3, kTtype, 3);
    writeUserflags(board3, readUserflags(board3) & ~kColors);
    writeSecurity(board3, 10, 1);
    boardWrites(userFile(), 3, board3);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window->livefield->isVisible(); }, 5000));
    ASSERT_EQ(workingRecord(3), board3) << "the live view keeps the working copy up to date";
    EXPECT_EQ(window->limit->text(), "7");

    platform.chooseAnswers = {0}; // Keep mine
    saveUser();
    EXPECT_TRUE(platform.chooseAnswers.empty());
    Record want = board3;
    writeNumber(want, kLimit, 7);
    writeUserflags(want, readUserflags(want) | kSilent);
    EXPECT_EQ(workingRecord(3), want);
    EXPECT_TRUE(session.userFileChanged);
    // The window shows what was stored, and nothing counts as typed.
    EXPECT_EQ(window->address->text(), "Board's 3");
    EXPECT_FALSE(window->Colors->isChecked());
    EXPECT_TRUE(window->Silent->isChecked());
    EXPECT_FALSE(window->formDiffers());
    EXPECT_EQ(window->livefield->text(), "User 3 stored") << "no clash left";
}

TEST_F(EditorTest, AnEntryTypedBackToWhatIsShownIsNoChange) {
    startWith(plainUsers(3));
    QTest::keyClicks(window->Name, "X");
    EXPECT_TRUE(window->formDiffers());
    QTest::keyClick(window->Name, Qt::Key_Backspace);
    window->PageControl1->setCurrentWidget(window->General);
    QTest::mouseClick(window->Silent, Qt::LeftButton);
    QTest::mouseClick(window->Silent, Qt::LeftButton);
    EXPECT_FALSE(window->formDiffers());
    // Nothing to lose: closing asks nothing about the user.
    window->close();
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(platform.questions.empty());
}
