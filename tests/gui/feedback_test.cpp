// What the window tells the operator: every outcome of Save User, Save File
// and Find in the status bar's permanent field, the board's writes followed,
// hints that follow the keyboard, and edit menus that name the keys that work.

#include "eventually.h"
#include "fixture.h"
#include "userfile/record.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QStatusBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

using namespace zorvtest;
using namespace zorv;

namespace {

class FeedbackTest : public EditorTest {
  protected:
    QString field() const {
        return window->livefield->isVisible() ? window->livefield->text() : QString();
    }
    void startQuiet(int users = 6) {
        storeInteger("LiveRefresh", 0); // no note of the board's in between
        startWith(plainUsers(users));
    }
};

TEST_F(FeedbackTest, SaveUserSaysWhatItStoredAndTheNoteGoes) {
    ASSERT_NO_FATAL_FAILURE(startQuiet());
    window->setNoteDuration(300);
    window->bar->setValue(3);
    window->PageControl1->setCurrentWidget(window->Statistics);
    type(window->limit, "7");
    saveUser();
    EXPECT_EQ(field(), "User 3 stored");
    ASSERT_TRUE(eventually([&] { return !window->livefield->isVisible(); }, 3000));
    EXPECT_TRUE(window->note().isEmpty());

    type(window->limit, "7x");
    saveUser();
    EXPECT_EQ(field(), "User 3 not stored");
    EXPECT_TRUE(shown("'7x' is not a valid integer value."));
}

TEST_F(FeedbackTest, SaveFileNamesTheFileAndCountsEveryOutcome) {
    ASSERT_NO_FATAL_FAILURE(startQuiet());
    QTest::mouseClick(window->savefilebt, Qt::LeftButton);
    EXPECT_EQ(field(), "Nothing to save");

    // Five users changed; the board changed two of them in the same field.
    window->PageControl1->setCurrentWidget(window->Statistics);
    for (int i = 0; i < 5; ++i) {
        window->bar->setValue(i);
        type(window->limit, QString::number(10 + i));
        saveUser();
    }
    for (int i : {3, 4}) {
        Record r = userFileRecord(i);
        writeNumber(r, kLimit, 99);
        boardWrites(userFile(), i, r);
    }
    platform.chooseAnswers = {1}; // Keep the board's
    QTest::mouseClick(window->savefilebt, Qt::LeftButton);
    EXPECT_EQ(field(), "zorvuser.dat: 3 users written, 2 kept as the board wrote them");
    EXPECT_EQ(readNumber(userFileRecord(2), kLimit), 12);
    EXPECT_EQ(readNumber(userFileRecord(4), kLimit), 99);

    type(window->limit, "8");
    saveUser();
    QTest::mouseClick(window->savefilebt, Qt::LeftButton);
    EXPECT_EQ(field(), "zorvuser.dat: 1 user written");

    // Stored but the same bytes: nothing to write, and said so.
    saveUser();
    QTest::mouseClick(window->savefilebt, Qt::LeftButton);
    EXPECT_EQ(field(), "zorvuser.dat: no user changed, nothing written");

    // Cancel at the board's question writes nothing.
    type(window->limit, "9");
    saveUser();
    Record r = userFileRecord(4);
    writeNumber(r, kLimit, 98);
    boardWrites(userFile(), 4, r);
    platform.chooseAnswers = {2};
    QTest::mouseClick(window->savefilebt, Qt::LeftButton);
    EXPECT_EQ(field(), "zorvuser.dat: Save File cancelled, nothing written");
    EXPECT_TRUE(session.userFileChanged);
}

TEST_F(FeedbackTest, FindSaysWhatItFoundAndWhatNot) {
    ASSERT_NO_FATAL_FAILURE(startQuiet(3));
    window->PageControl1->setCurrentWidget(window->findtab);
    QTest::mouseClick(window->findbtn, Qt::LeftButton);
    EXPECT_EQ(field(), "Nothing to find: type the text to look for");

    QTest::keyClicks(window->findstr, "OSLO");
    QTest::mouseClick(window->findbtn, Qt::LeftButton);
    EXPECT_EQ(field(), "No user found: tick where to look, or choose a status");
    window->namecb->setChecked(true);
    QTest::mouseClick(window->findbtn, Qt::LeftButton);
    EXPECT_EQ(field(), "No user found for \"OSLO\"");

    window->citycb->setChecked(true);
    QTest::keyClick(window->findstr, Qt::Key_Return);
    EXPECT_EQ(field(), "User 0 found for \"OSLO\"");
    window->bar->setValue(2); // "Find next" goes on after the hit, not after the user shown
    QTest::mouseClick(window->FindNextbt, Qt::LeftButton);
    EXPECT_EQ(field(), "User 1 found for \"OSLO\"");
    QTest::mouseClick(window->FindNextbt, Qt::LeftButton);
    QTest::mouseClick(window->FindNextbt, Qt::LeftButton);
    EXPECT_EQ(field(), "No user found for \"OSLO\" after user 2");

    window->statcb->setCurrentIndex(3); // Killed
    QTest::mouseClick(window->findbtn, Qt::LeftButton);
    EXPECT_EQ(field(), "No user found for \"OSLO\" with status Killed");

    // The find dialog's Find next too.
    window->Find1->trigger();
    ASSERT_NE(window->FindDialog, nullptr);
    auto* text = window->FindDialog->findChild<QLineEdit*>(QStringLiteral("FindText"));
    auto* findNext = window->FindDialog->findChild<QPushButton*>(QStringLiteral("FindNext"));
    text->setText("user 1");
    QTest::mouseClick(findNext, Qt::LeftButton);
    EXPECT_EQ(field(), "User 1 found for \"user 1\"");
    QTest::mouseClick(findNext, Qt::LeftButton);
    EXPECT_EQ(field(), "No user found for \"user 1\" after user 1");
    window->FindDialog->close();

    // A hit the operator does not go to is said as such.
    window->statcb->setCurrentIndex(0);
    window->Name->end(false);
    QTest::keyClicks(window->Name, "Z");
    platform.choiceAnswers = {Answer::Cancel};
    QTest::mouseClick(window->findbtn, Qt::LeftButton);
    EXPECT_EQ(field(), "User 0 found for \"OSLO\", not shown");
    EXPECT_EQ(session.currentIndex, 1);
}

TEST_F(FeedbackTest, TheBoardsWritesAreToldAtMostOnceANoteAndNeverOverAClash) {
    const std::vector<Record> users = plainUsers(6);
    startWith(users);
    window->setNoteDuration(60000);
    const QRegularExpression one(
        QStringLiteral("^Following the board: 1 user updated \\d\\d:\\d\\d:\\d\\d$"));
    Record board3 = users[3];
    writeText(board3, kAddress, "Board's 3");
    boardWrites(userFile(), 3, board3);
    ASSERT_TRUE(eventually([&] { return one.match(field()).hasMatch(); })) << field().toStdString();
    const QString first = field();

    // Two more users while that note stands: they wait for it to go.
    for (int i : {4, 5}) {
        Record r = users[i];
        writeText(r, kAddress, "Board's");
        boardWrites(userFile(), i, r);
    }
    ASSERT_TRUE(eventually([&] { return readText(workingRecord(5), kAddress) == "Board's"; }));
    ASSERT_TRUE(eventually([&] { return readText(workingRecord(4), kAddress) == "Board's"; }));
    EXPECT_EQ(field(), first);
    auto* timer = window->findChild<QTimer*>(QStringLiteral("notetimer"));
    ASSERT_NE(timer, nullptr);
    timer->start(1); // the note's time is up
    ASSERT_TRUE(eventually([&] {
        return field().startsWith("Following the board: 2 users updated");
    })) << field().toStdString();

    // A command's note takes the field; a clash is never replaced.
    QTest::mouseClick(window->savefilebt, Qt::LeftButton);
    EXPECT_EQ(field(), "Nothing to save");
    timer->start(1);
    ASSERT_TRUE(eventually([&] { return !window->livefield->isVisible(); }));
    window->Name->end(false);
    QTest::keyClicks(window->Name, "Z");
    Record board0 = workingRecord(0);
    writeText(board0, kAddress, "Board's 0");
    boardWrites(userFile(), 0, board0);
    ASSERT_TRUE(eventually([&] { return field() == "The board changed this user meanwhile"; }))
        << field().toStdString();
    timer->start(1);
    QTest::qWait(50);
    EXPECT_EQ(field(), "The board changed this user meanwhile");
    EXPECT_EQ(window->livefield->palette().color(QPalette::WindowText), QColor(Qt::darkRed));
}

// ----------------------------------------------------------------- hints

TEST_F(FeedbackTest, HintsFollowTheKeyboard) {
    ASSERT_NO_FATAL_FAILURE(startQuiet(2));
    window->PageControl1->setCurrentWidget(window->Statistics);
    window->sysop->setFocus(Qt::MouseFocusReason);
    window->access->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(window->sb->currentMessage(), "Select file access.");
    QTest::keyClick(window->access, Qt::Key_Tab);
    ASSERT_EQ(QApplication::focusWidget(), window->limit);
    EXPECT_EQ(window->sb->currentMessage(), "Change limits");
    QTest::keyClick(window->limit, Qt::Key_Tab);
    EXPECT_EQ(window->sb->currentMessage(), "Messages left");
    window->save->setFocus(Qt::BacktabFocusReason);
    EXPECT_EQ(window->sb->currentMessage(), "Save this user");
}

TEST_F(FeedbackTest, TheFindTextHasALabel) {
    ASSERT_NO_FATAL_FAILURE(startQuiet(2));
    window->PageControl1->setCurrentWidget(window->findtab);
    QLabel* found = nullptr;
    for (QLabel* l : window->findtab->findChildren<QLabel*>())
        if (l->buddy() == window->findstr)
            found = l;
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->text(), "Find text:");
    EXPECT_TRUE(found->isVisible());
    // Above the field, clear of it and of the buttons below.
    EXPECT_LE(found->geometry().bottom(), window->findstr->geometry().top());
    EXPECT_LE(window->findstr->geometry().bottom(), window->findbtn->geometry().top());
}

// ------------------------------------------------------------ edit menus

QStringList entriesOf(QLineEdit* e) {
    QContextMenuEvent ev(QContextMenuEvent::Mouse, QPoint(5, 5), e->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(e, &ev);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    QStringList out;
    if (!menu)
        return out;
    for (QAction* a : menu->actions())
        out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    menu->close();
    return out;
}

TEST_F(FeedbackTest, EditMenusNameTheKeysThatEditThere) {
    ASSERT_NO_FATAL_FAILURE(startQuiet(2));
    EXPECT_EQ(entriesOf(window->Name),
              QStringList({"&Undo\tCtrl+Z", "&Redo\tCtrl+Shift+Z", "-", "Cu&t\tShift+Delete",
                           "&Copy\tCtrl+Insert", "&Paste\tShift+Insert", "Delete\tDel", "-",
                           "Select All"}));
    EXPECT_EQ(entriesOf(window->fname1), QStringList({"&Copy\tCtrl+Insert"}));
    window->PageControl1->setCurrentWidget(window->TabSheet1);
    EXPECT_EQ(entriesOf(window->lastcall), QStringList({"&Copy\tCtrl+Insert"}));
    window->PageControl1->setCurrentWidget(window->TabSheet2);
    EXPECT_EQ(entriesOf(window->tuser).size(), 9);
}

TEST_F(FeedbackTest, TheKeysTheMenuNamesWorkAndWhatTheyTypeIsStored) {
    ASSERT_NO_FATAL_FAILURE(startQuiet(2));
    QClipboard* clip = QApplication::clipboard();
    clip->setText(QStringLiteral("pasted name"));
    window->Name->setFocus();
    window->Name->selectAll();
    QTest::keyClick(window->Name, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(window->Name->text(), "pasted name");

    window->Name->setSelection(0, 6);
    QTest::keyClick(window->Name, Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(clip->text(), "pasted");
    QTest::keyClick(window->Name, Qt::Key_Delete, Qt::ShiftModifier);
    EXPECT_EQ(window->Name->text(), " name");
    EXPECT_EQ(clip->text(), "pasted");
    saveUser();
    EXPECT_EQ(readText(workingRecord(0), kName), " NAME");

    // The menu's Paste is typing too: Save User stores it.
    clip->setText(QStringLiteral("menu"));
    window->address->selectAll();
    QContextMenuEvent ev(QContextMenuEvent::Keyboard, QPoint(5, 5),
                         window->address->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(window->address, &ev);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    ASSERT_NE(menu, nullptr);
    QAction* paste = nullptr;
    for (QAction* a : menu->actions())
        if (a->text().startsWith("&Paste"))
            paste = a;
    ASSERT_NE(paste, nullptr);
    paste->trigger();
    menu->close();
    EXPECT_EQ(window->address->text(), "menu");
    saveUser();
    EXPECT_EQ(readText(workingRecord(0), kAddress), "menu");
}

// ---------------------------------------------------------------- first run

class CurrentFolder {
  public:
    explicit CurrentFolder(const std::string& path) : before_(QDir::currentPath()) {
        QDir::setCurrent(QString::fromStdString(path));
    }
    ~CurrentFolder() { QDir::setCurrent(before_); }

  private:
    QString before_;
};

TEST_F(FeedbackTest, TheFirstOpenDialogPreselectsTheUserFileWhereTheProgramStarted) {
    writeUsers(plainUsers(3));
    const CurrentFolder here(dir.file("board"));
    platform.openAnswers = {std::nullopt};
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_EQ(platform.openDialogs.size(), 1u);
    EXPECT_EQ(platform.openDialogs[0].fileName,
              QFileInfo(QString::fromStdString(userFile())).absoluteFilePath());
    EXPECT_TRUE(platform.openDialogs[0].initialDir.isEmpty());
}

TEST_F(FeedbackTest, NoUserFileWhereTheProgramStartedPreselectsNothing) {
    writeUsers(plainUsers(3));
    const CurrentFolder here(dir.file("prog"));
    platform.openAnswers = {std::nullopt};
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_EQ(platform.openDialogs.size(), 1u);
    EXPECT_TRUE(platform.openDialogs[0].fileName.isEmpty());
}

} // namespace
