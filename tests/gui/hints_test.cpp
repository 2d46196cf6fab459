// Field hints in the status bar and the nine buttons' tool-tips.

#include "fixture.h"

#include "editor/hints.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

#include <map>
#include <set>

using namespace zorvtest;

namespace {

class HintsTest : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        writeUsers({plainUser("OLA"), plainUser("KARI")});
        rememberUserFile();
        ASSERT_NO_FATAL_FAILURE(start());
        window->sb->clearMessage();
    }

    QString bar() const { return window->sb->currentMessage(); }

    // Moves the mouse to a point of w (its centre unless given). The same point
    // twice in a row would be dropped, so every move lands a pixel apart.
    void moveOver(QWidget* w, std::optional<QPoint> at = std::nullopt) {
        static int nudge = 0;
        QPoint p = at.value_or(w->rect().center());
        if (!at)
            p.rx() += (nudge++ % 3) - 1;
        QTest::mouseMove(w, p);
        QApplication::processEvents();
    }

    // A point of a container with no child under it.
    static QPoint emptySpot(QWidget* c) {
        for (int y = 2; y < c->height() - 2; y += 3)
            for (int x = 2; x < c->width() - 2; x += 3)
                if (!c->childAt(QPoint(x, y)))
                    return {x, y};
        ADD_FAILURE() << "no free spot in " << c->objectName().toStdString();
        return {};
    }

    QLabel* labelOf(QWidget* buddy) const {
        for (auto* l : window->findChildren<QLabel*>())
            if (l->buddy() == buddy)
                return l;
        return nullptr;
    }

    void showTab(QWidget* page) {
        window->PageControl1->setCurrentWidget(page);
        QApplication::processEvents();
    }
};

} // namespace

TEST_F(HintsTest, StatusBarStartsEmpty) {
    window.reset();
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(bar(), "");
}

TEST_F(HintsTest, EditFieldOnMouseMoveLabelKeepsItBackgroundEmptiesIt) {
    moveOver(window->Name);
    EXPECT_EQ(bar(), "Edit username");
    QLabel* label = labelOf(window->Name);
    ASSERT_NE(label, nullptr);
    moveOver(label);
    EXPECT_EQ(bar(), "Edit username");
    moveOver(window.get(), emptySpot(window.get()));
    EXPECT_EQ(bar(), "");
    moveOver(window->Tlf);
    EXPECT_EQ(bar(), "Edit telephone number");
    moveOver(window->fname1);
    EXPECT_EQ(bar(), "Userfile");
}

TEST_F(HintsTest, ButtonsAndCheckBoxesOnMouseMove) {
    moveOver(window->next);
    EXPECT_EQ(bar(), "Display next user");
    moveOver(window->about);
    EXPECT_EQ(bar(), "Display the about box...Check it out..");
    moveOver(window->open_);
    EXPECT_EQ(bar(), "Open new userfile");
    showTab(window->General);
    moveOver(window->Colors);
    EXPECT_EQ(bar(), "Use colors?");
    moveOver(window->return_);
    EXPECT_EQ(bar(), "Return with enter key?");
    showTab(window->findtab);
    moveOver(window->birthcb);
    EXPECT_EQ(bar(), "Find string date of birth");
    moveOver(window->FindNextbt);
    EXPECT_EQ(bar(), "Find next user");
}

TEST_F(HintsTest, DropDownsAndTrackBarOnFocusOnly) {
    showTab(window->General);
    window->charset->setFocus(Qt::TabFocusReason);
    QApplication::processEvents();
    EXPECT_EQ(bar(), "Select character set");
    moveOver(window->pagel);
    EXPECT_EQ(bar(), "How many lines on screen?");
    // The mouse over a drop-down changes nothing.
    moveOver(window->packing);
    EXPECT_EQ(bar(), "How many lines on screen?");
    // Focus by mouse counts too.
    QTest::mouseClick(window->ttype, Qt::LeftButton);
    QApplication::processEvents();
    if (auto* popup = QApplication::activePopupWidget())
        popup->close();
    EXPECT_EQ(bar(), "Select terminal type.");

    window->bar->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(bar(), "Move to another user");
    window->status->setFocus(Qt::BacktabFocusReason);
    EXPECT_EQ(bar(), "Select user status. (Active, GetLost, Killed, or kill+boot)");
    showTab(window->findtab);
    window->statcb->setFocus(Qt::TabFocusReason);
    EXPECT_EQ(bar(), "Find users with this status");
    // Losing the focus to a control without a text of its own changes nothing.
    window->PageControl1->tabBar()->setFocus(Qt::TabFocusReason);
    ASSERT_EQ(QApplication::focusWidget(), window->PageControl1->tabBar());
    EXPECT_EQ(bar(), "Find users with this status");
}

TEST_F(HintsTest, TabbingThroughTheWindowReachesTheDropDownsHints) {
    showTab(window->General);
    window->ttype->setFocus(Qt::TabFocusReason);
    std::set<QString> seen;
    for (int i = 0; i < 40; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen.insert(bar());
    }
    EXPECT_TRUE(seen.count("Select character set")) << "Tab into charset";
}

TEST_F(HintsTest, ContainersEmptyTheBar) {
    struct Case {
        QWidget* page;
        QWidget* container;
    };
    const Case cases[] = {
        {window->General, window->General},     {window->Statistics, window->Statistics},
        {window->TabSheet1, window->TabSheet1}, {window->TabSheet1, window->GroupBox1},
        {window->TabSheet1, window->Panel1},    {window->findtab, window->findtab},
        {window->findtab, window->GB1},         {window->TabSheet2, window->TabSheet2},
    };
    for (const auto& c : cases) {
        showTab(c.page);
        moveOver(window->Name);
        ASSERT_EQ(bar(), "Edit username");
        moveOver(c.container, emptySpot(c.container));
        EXPECT_EQ(bar(), "") << c.container->objectName().toStdString();
    }
    // The tab row belongs to the page control.
    moveOver(window->Name);
    QTabBar* tabs = window->PageControl1->tabBar();
    moveOver(tabs, tabs->tabRect(1).center());
    EXPECT_EQ(bar(), "");
}

TEST_F(HintsTest, EveryTabsFieldsShowTheirTexts) {
    showTab(window->Statistics);
    moveOver(window->resume);
    const QString resumeText = bar();
    EXPECT_EQ(resumeText, "Resume index in resume conference. (if 0 then no resume)");
    moveOver(window->kbdown);
    EXPECT_EQ(bar(), "KiloBytes downloaded");
    showTab(window->TabSheet1);
    moveOver(window->resume1);
    EXPECT_EQ(bar(), resumeText);
    moveOver(window->xydispck);
    EXPECT_EQ(bar(), "Display XY coordinates in editor");
    moveOver(window->changeresbt);
    EXPECT_EQ(bar(), "Select new conference file for resume conference.");
    moveOver(window->daysf);
    EXPECT_EQ(bar(), "Days since first call.");
    showTab(window->TabSheet2);
    moveOver(window->tbup);
    EXPECT_EQ(bar(), "Number of kilobytes uploaded.");
    // Moving within one field keeps setting the same text.
    window->sb->clearMessage();
    moveOver(window->tbup);
    EXPECT_EQ(bar(), "Number of kilobytes uploaded.");
}

TEST_F(HintsTest, EveryControlOfTheTableIsWired) {
    // Each name in the table exists in the window, and each mouse-move entry
    // reacts with its own text.
    for (const zorv::FieldHint& h : zorv::fieldHints()) {
        QWidget* w = window->objectName() == QLatin1String(h.control)
                         ? window.get()
                         : window->findChild<QWidget*>(QString::fromLatin1(h.control));
        ASSERT_NE(w, nullptr) << h.control;
        if (h.event != zorv::HintEvent::MouseMove)
            continue;
        w->setEnabled(true); // "Read resume" waits for a resume number
        for (QWidget* p = w; p && p != window.get(); p = p->parentWidget())
            if (p->parentWidget() && p->parentWidget()->parentWidget() == window->PageControl1)
                showTab(p);
        window->sb->clearMessage();
        moveOver(w);
        EXPECT_EQ(bar().toStdString(), h.status) << h.control;
    }
}

TEST_F(HintsTest, ToolTipsOnTheNineButtonsOnly) {
    const std::map<QString, QString> tips{
        {"next", "Next user"},
        {"prev", "Previous user"},
        {"exit", "Exit program"},
        {"save", "Save user"},
        {"savefilebt", "Save the user file"},
        {"listbt", "User list"},
        {"statbt", "User Statistics"},
        {"about", "About this program"},
        {"open", "Open new userfile."},
    };
    int withTip = 0;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        if (w->toolTip().isEmpty())
            continue;
        ++withTip;
        const auto it = tips.find(w->objectName());
        ASSERT_NE(it, tips.end()) << "unexpected tool-tip on " << w->objectName().toStdString();
        EXPECT_EQ(w->toolTip(), it->second);
    }
    EXPECT_EQ(withTip, 9);
}

TEST_F(HintsTest, DisabledControlLeavesTheMoveToItsContainer) {
    showTab(window->TabSheet1);
    ASSERT_FALSE(window->resumebt->isEnabled()); // resume number 0
    moveOver(window->resume1);
    moveOver(window->resumebt);
    EXPECT_EQ(bar(), "");
    moveOver(window->changeresbt);
    EXPECT_EQ(bar(), "Select new conference file for resume conference.");
}
