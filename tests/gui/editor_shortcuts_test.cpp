// The popup menus' shortcuts: the focused control's menu first, then the
// window's; and the window's keys before the edit fields' own.

#include "fixture.h"

#include "platform/shortcuts.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>
#include <QSlider>
#include <QTest>

using namespace zorvtest;
using namespace zorv;

namespace {

class ShortcutTest : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(startWith(plainUsers(20)));
    }
};

} // namespace

TEST_F(ShortcutTest, MenusShowTheirKeys) {
    const std::vector<std::pair<QAction*, const char*>> entries = {
        {window->Save1, "Ctrl+S"},  {window->Saveuserfile1, "Ctrl+V"}, {window->Exit1, "Ctrl+X"},
        {window->Next1, "Ctrl+N"},  {window->Previous1, "Ctrl+P"},     {window->Find1, "Ctrl+F"},
        {window->stats1, "Ctrl+T"}, {window->List1, "Ctrl+L"},         {window->About1, "Ctrl+A"},
        {window->First1, "Ctrl+F"}, {window->Last1, "Ctrl+L"},         {window->Goto1, "Ctrl+G"},
    };
    for (const auto& [action, key] : entries)
        EXPECT_EQ(action->shortcut().toString(QKeySequence::PortableText), key)
            << action->objectName().toStdString();
    EXPECT_EQ(window->mainpop->actions().size(), 9);
    EXPECT_EQ(window->barmenu->actions().size(), 3);
    EXPECT_EQ(window->Saveuserfile1->text(), "Save File");
    EXPECT_EQ(window->stats1->text(), "Statistics");
}

TEST_F(ShortcutTest, TrackBarMenuComesFirstWhileTheBarHasTheFocus) {
    press(window->bar, Qt::Key_L);
    EXPECT_EQ(session.currentIndex, 19) << "Ctrl+L on the bar: Last";
    EXPECT_EQ(window->poss->text(), "19/19");
    press(window->bar, Qt::Key_F);
    EXPECT_EQ(session.currentIndex, 0) << "Ctrl+F on the bar: First";
    EXPECT_EQ(window->FindDialog, nullptr);
    platform.inputAnswers = {QStringLiteral("5")};
    press(window->bar, Qt::Key_G);
    EXPECT_EQ(session.currentIndex, 5);
    // The window's keys still work on the bar.
    press(window->bar, Qt::Key_N);
    EXPECT_EQ(session.currentIndex, 6);
    press(window->bar, Qt::Key_P);
    EXPECT_EQ(session.currentIndex, 5);
}

TEST_F(ShortcutTest, ElsewhereCtrlFAndCtrlLMeanFindAndList) {
    press(window->Name, Qt::Key_L);
    EXPECT_EQ(session.currentIndex, 0) << "Ctrl+L in a field is the user list, not Last";
    press(window->Name, Qt::Key_F);
    EXPECT_NE(window->FindDialog, nullptr) << "Ctrl+F in a field opens the find dialog";
    if (window->FindDialog)
        window->FindDialog->close();
    platform.inputAnswers = {};
    press(window->Name, Qt::Key_G);
    EXPECT_TRUE(platform.inputs.empty()) << "Goto belongs to the bar's menu only";
}

TEST_F(ShortcutTest, WindowKeysBeatTheEditFieldsOwn) {
    QApplication::clipboard()->setText(QStringLiteral("PASTED"));
    QTest::keyClicks(window->Tlf, "1");
    press(window->Tlf, Qt::Key_S); // Save User
    EXPECT_TRUE(session.userFileChanged);
    EXPECT_EQ(readText(workingRecord(0), kTlf), "22 00 00 001");

    window->Name->setFocus();
    window->Name->end(false);
    press(window->Name, Qt::Key_V); // Save File, no paste
    EXPECT_EQ(window->Name->text(), "USER 0");
    EXPECT_FALSE(session.userFileChanged);
    EXPECT_EQ(userFileBytes(), workingCopyBytes());

    window->Name->setCursorPosition(0);
    press(window->Name, Qt::Key_A); // About, not select-all
    EXPECT_FALSE(window->Name->hasSelectedText());

    window->Name->selectAll();
    press(window->Name, Qt::Key_C); // no menu claims Ctrl+C: it copies
    EXPECT_EQ(QApplication::clipboard()->text(), "USER 0");
    EXPECT_TRUE(window->isVisible());

    press(window->address, Qt::Key_N);
    EXPECT_EQ(session.currentIndex, 1);
    EXPECT_EQ(window->Name->text(), "USER 1");

    window->address->selectAll();
    press(window->address, Qt::Key_X); // Exit, no cut
    EXPECT_EQ(window->address->text(), "Storgata 1");
    EXPECT_FALSE(window->isVisible());
}

TEST_F(ShortcutTest, PlainTypingIsLeftAlone) {
    window->Name->selectAll();
    QTest::keyClicks(window->Name, "nvxa");
    EXPECT_EQ(window->Name->text(), "nvxa");
    press(window->Name, Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(session.currentIndex, 0);
    EXPECT_TRUE(window->isVisible());
}

TEST(ShortcutDispatcherTest, LooksInTheControlsMenuThenTheWindows) {
    QWidget window;
    QMenu windowMenu;
    QMenu controlMenu;
    auto* inner = new QWidget(&window);
    auto* control = new QWidget(&window);
    auto* child = new QWidget(control);
    ShortcutDispatcher d(&window, &windowMenu);
    d.setControlMenu(control, &controlMenu);
    QAction* find = windowMenu.addAction(QStringLiteral("Find"));
    find->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    QAction* next = windowMenu.addAction(QStringLiteral("Next"));
    next->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    QAction* first = controlMenu.addAction(QStringLiteral("First"));
    first->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    QMenu* sub = windowMenu.addMenu(QStringLiteral("More"));
    QAction* deep = sub->addAction(QStringLiteral("Deep"));
    deep->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));

    const QKeySequence ctrlF(Qt::CTRL | Qt::Key_F);
    EXPECT_EQ(d.lookup(inner, ctrlF), find);
    EXPECT_EQ(d.lookup(control, ctrlF), first);
    EXPECT_EQ(d.lookup(child, ctrlF), first) << "inside the control counts as the control";
    EXPECT_EQ(d.lookup(control, QKeySequence(Qt::CTRL | Qt::Key_N)), next);
    EXPECT_EQ(d.lookup(inner, QKeySequence(Qt::CTRL | Qt::Key_D)), deep);
    EXPECT_EQ(d.lookup(inner, QKeySequence(Qt::CTRL | Qt::Key_Q)), nullptr);

    first->setEnabled(false);
    EXPECT_EQ(d.lookup(control, ctrlF), find) << "a disabled entry lets the key go on";
}

TEST_F(ShortcutTest, RightClickOpensTheWindowsOrTheBarsMenu) {
    QContextMenuEvent onButton(QContextMenuEvent::Mouse, QPoint(2, 2),
                               window->save->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(window->save, &onButton);
    EXPECT_TRUE(window->mainpop->isVisible());
    EXPECT_FALSE(window->barmenu->isVisible());
    window->mainpop->hide();

    QContextMenuEvent onBar(QContextMenuEvent::Mouse, QPoint(2, 2),
                            window->bar->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(window->bar, &onBar);
    EXPECT_TRUE(window->barmenu->isVisible());
    EXPECT_FALSE(window->mainpop->isVisible());
    window->barmenu->hide();
}
