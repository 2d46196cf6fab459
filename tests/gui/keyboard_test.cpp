// The keyboard reaches everything: mnemonics that never clash on one page,
// the page keys from any control, Shift+F10 for context menus, the about
// box's link.

#include "eventually.h"
#include "fixture.h"

#include "about/ui/taboutbox1.h"
#include "platform/linklabel.h"
#include "reports/ui/tuserlist.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <map>
#include <optional>
#include <string>
#include <vector>

using namespace zorvtest;

namespace {

// The key a caption's single '&' marks, lower-cased; none for "&&".
std::optional<QChar> mnemonicOf(const QString& caption) {
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != QLatin1Char('&'))
            continue;
        if (caption[i + 1] == QLatin1Char('&')) {
            ++i;
            continue;
        }
        return caption[i + 1].toLower();
    }
    return std::nullopt;
}

QString plain(QString caption) {
    return caption.remove(QRegularExpression(QStringLiteral("&(?!&)")));
}

class KeyboardTest : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        ASSERT_NO_FATAL_FAILURE(startWith(demoUsers(40)));
    }
    // The captions shown at once on page `tab`: the top part, the buttons,
    // the page and the tab titles.
    std::vector<QString> captionsShownWith(int tab) {
        window->PageControl1->setCurrentIndex(tab);
        QApplication::processEvents();
        std::vector<QString> out;
        auto shown = [this](QWidget* w) { return w->window() == window.get() && w->isVisible(); };
        for (auto* l : window->findChildren<QLabel*>())
            if (shown(l))
                out.push_back(l->text());
        for (auto* b : window->findChildren<QAbstractButton*>())
            if (shown(b))
                out.push_back(b->text());
        for (auto* g : window->findChildren<QGroupBox*>())
            if (shown(g))
                out.push_back(g->title());
        for (int i = 0; i < window->PageControl1->count(); ++i)
            out.push_back(window->PageControl1->tabText(i));
        return out;
    }
    QWidget* focused() const { return QApplication::focusWidget(); }
};

} // namespace

TEST_F(KeyboardTest, NoTwoMnemonicsAlikeOnAnyPage) {
    for (int tab = 0; tab < window->PageControl1->count(); ++tab) {
        std::map<QChar, std::vector<QString>> byKey;
        int marked = 0;
        for (const QString& c : captionsShownWith(tab)) {
            if (const auto key = mnemonicOf(c)) {
                byKey[*key].push_back(plain(c));
                ++marked;
            }
        }
        for (const auto& [key, captions] : byKey) {
            if (captions.size() < 2)
                continue;
            std::string all;
            for (const QString& c : captions)
                all += " \"" + c.toStdString() + "\"";
            ADD_FAILURE() << "page " << plain(window->PageControl1->tabText(tab)).toStdString()
                          << ": Alt+" << QString(key).toStdString() << " on" << all;
        }
        EXPECT_GE(marked, 20) << "page " << tab;
    }
    // The buttons and tab titles each have one.
    for (QPushButton* b : {window->save, window->exit_, window->listbt, window->statbt,
                           window->about, window->savefilebt})
        EXPECT_TRUE(mnemonicOf(b->text())) << b->text().toStdString();
    for (int i = 0; i < window->PageControl1->count(); ++i)
        EXPECT_TRUE(mnemonicOf(window->PageControl1->tabText(i)))
            << window->PageControl1->tabText(i).toStdString();
}

TEST_F(KeyboardTest, MnemonicsRaisePagesAndFocusFields) {
    window->activateWindow();
    window->Name->setFocus();
    ASSERT_TRUE(eventually([&] { return window->Name->hasFocus(); }));
    QTest::keyClick(window->Name, Qt::Key_T, Qt::AltModifier);
    EXPECT_EQ(window->PageControl1->currentWidget(), window->Statistics);
    QTest::keyClick(focused(), Qt::Key_C, Qt::AltModifier); // "A&ccess"
    EXPECT_EQ(focused(), window->sysop);
    QTest::keyClick(focused(), Qt::Key_R, Qt::AltModifier); // "St&reet address:"
    EXPECT_EQ(focused(), window->address);
    QTest::keyClick(focused(), Qt::Key_I, Qt::AltModifier); // "L&imits:"
    EXPECT_EQ(focused(), window->limit);
}

TEST_F(KeyboardTest, PageKeysWorkFromTheTrackBarWhichStillPages) {
    QTabWidget* pages = window->PageControl1;
    ASSERT_EQ(pages->currentIndex(), 0);
    window->bar->setFocus();
    const int before = window->bar->value();
    QTest::keyClick(window->bar, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(pages->currentIndex(), 1);
    EXPECT_EQ(window->bar->value(), before);
    QTest::keyClick(window->bar, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(pages->currentIndex(), 2);
    QTest::keyClick(window->bar, Qt::Key_Backtab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(pages->currentIndex(), 1);
    QTest::keyClick(window->bar, Qt::Key_PageUp, Qt::ControlModifier);
    QTest::keyClick(window->bar, Qt::Key_PageUp, Qt::ControlModifier);
    EXPECT_EQ(pages->currentIndex(), pages->count() - 1); // round to the last
    EXPECT_EQ(window->bar->value(), before);
    EXPECT_TRUE(window->bar->hasFocus());

    // PgDn alone pages the users.
    QTest::keyClick(window->bar, Qt::Key_PageDown);
    EXPECT_EQ(window->bar->value(), before + window->bar->pageStep());
    EXPECT_EQ(pages->currentIndex(), pages->count() - 1);
}

TEST_F(KeyboardTest, PageKeysFromFieldsAndTheFocusThatFollows) {
    QTabWidget* pages = window->PageControl1;
    // From the top part the focus stays where the operator types.
    window->Name->setFocus();
    QTest::keyClick(window->Name, Qt::Key_Tab, Qt::ControlModifier);
    EXPECT_EQ(pages->currentIndex(), 1);
    EXPECT_TRUE(window->Name->hasFocus());
    // From a field of the page it goes to the first control of the new one.
    window->sysop->setFocus();
    QTest::keyClick(window->sysop, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(pages->currentWidget(), window->TabSheet1);
    EXPECT_EQ(focused(), window->lastcall);
    QTest::keyClick(focused(), Qt::Key_Tab, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(pages->currentWidget(), window->Statistics);
    EXPECT_EQ(focused(), window->sysop);
    // A drop-down does not take the keys for its items.
    window->PageControl1->setCurrentIndex(0);
    window->ttype->setFocus();
    const int item = window->ttype->currentIndex();
    QTest::keyClick(window->ttype, Qt::Key_PageDown, Qt::ControlModifier);
    EXPECT_EQ(pages->currentIndex(), 1);
    EXPECT_EQ(window->ttype->currentIndex(), item);
}

namespace {

// Records the context-menu events a widget receives, and lets them pass.
class MenuEvents : public QObject {
  public:
    explicit MenuEvents(QWidget* w) { w->installEventFilter(this); }
    std::vector<QContextMenuEvent::Reason> reasons;
    QPoint lastPos;

  protected:
    bool eventFilter(QObject*, QEvent* e) override {
        if (e->type() == QEvent::ContextMenu) {
            auto* ce = static_cast<QContextMenuEvent*>(e);
            reasons.push_back(ce->reason());
            lastPos = ce->pos();
        }
        return false;
    }
};

void closePopups() {
    while (QWidget* p = QApplication::activePopupWidget())
        p->close();
}

} // namespace

TEST_F(KeyboardTest, ShiftF10OpensTheFocusedControlsMenu) {
    window->bar->setFocus();
    MenuEvents barEvents(window->bar);
    QTest::keyClick(window->bar, Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(eventually([&] { return window->barmenu->isVisible(); }));
    ASSERT_EQ(barEvents.reasons.size(), 1u);
    EXPECT_EQ(barEvents.reasons[0], QContextMenuEvent::Keyboard);
    EXPECT_TRUE(window->bar->rect().contains(barEvents.lastPos));
    closePopups();

    // An edit field gets its own menu's event, at its text cursor.
    window->Name->setFocus();
    MenuEvents nameEvents(window->Name);
    QTest::keyClick(window->Name, Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(eventually([] { return QApplication::activePopupWidget() != nullptr; }));
    ASSERT_EQ(nameEvents.reasons.size(), 1u);
    EXPECT_EQ(nameEvents.reasons[0], QContextMenuEvent::Keyboard);
    EXPECT_FALSE(window->mainpop->isVisible());
    closePopups();

    // F10 alone and Ctrl+Shift+F10 open nothing.
    QTest::keyClick(window->Name, Qt::Key_F10);
    QTest::keyClick(window->Name, Qt::Key_F10, Qt::ControlModifier | Qt::ShiftModifier);
    QApplication::processEvents();
    EXPECT_EQ(nameEvents.reasons.size(), 1u);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

TEST_F(KeyboardTest, ShiftF10InTheUserList) {
    auto* list = window->userlist = new zorv::Tuserlist(window->reportContext());
    list->show();
    QApplication::processEvents();
    list->sg2->setFocus();
    // The window's menu runs its own loop: it is looked at and closed from there.
    bool shown = false;
    QTimer poll;
    poll.setInterval(5);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if (QApplication::activePopupWidget() != list->SGpop1)
            return;
        shown = true;
        poll.stop();
        closePopups();
    });
    poll.start();
    QTimer::singleShot(3000, [&] { closePopups(); }); // a menu of another kind must not hang
    QTest::keyClick(list->sg2, Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_TRUE(eventually([&] { return shown; }, 3000));
    list->accept();
}

TEST_F(KeyboardTest, AboutBoxLinkTakesTheFocusAndEnter) {
    auto* box = window->aboutbox1 = new zorv::Taboutbox1(platform, window.get());
    box->show();
    ASSERT_TRUE(eventually([&] { return box->Button1->hasFocus(); }));
    QTest::keyClick(box->Button1, Qt::Key_Tab);
    ASSERT_TRUE(box->l2->hasFocus());
    QTest::keyClick(box->l2, Qt::Key_Return);
    ASSERT_TRUE(eventually([&] { return !platform.messages.empty(); }));
    EXPECT_TRUE(platform.messages.back().text.startsWith("No mail program is set up"));
    EXPECT_TRUE(box->isVisible()); // Enter on the link is not the default button's
    QTest::keyClick(box->l2, Qt::Key_Space);
    ASSERT_TRUE(eventually([&] { return platform.messages.size() == 2u; }));
    box->hide();
}
