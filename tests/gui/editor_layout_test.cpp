// The window's look: every control named and captioned as the board's sysops
// know it, arranged as designed, no text clipped, tab order top-down and
// left-right.

#include "fixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSlider>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>

using namespace zorvtest;

namespace {

class LayoutTest : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        writeUsers(demoUsers(30));
        rememberUserFile();
        ASSERT_NO_FATAL_FAILURE(start());
        ASSERT_TRUE(window->started());
    }
    QLabel* labelOf(QWidget* buddy) const {
        for (auto* l : window->findChildren<QLabel*>())
            if (l->buddy() == buddy)
                return l;
        return nullptr;
    }
    // The widget's rectangle in window coordinates.
    QRect inWindow(QWidget* w) const {
        return QRect(w->mapTo(window.get(), QPoint(0, 0)), w->size());
    }
};

// A caption as shown: the mnemonic marks are underlines, not letters.
QString plain(QString caption) {
    return caption.remove(QRegularExpression(QStringLiteral("&(?!&)")));
}

void expectNothingClipped(zorv::Tqedit* window) {
    const int check = window->style()->pixelMetric(QStyle::PM_IndicatorWidth) +
                      window->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing);
    for (QLabel* l : window->findChildren<QLabel*>()) {
        if (l == window->poss)
            continue;
        EXPECT_LE(l->fontMetrics().horizontalAdvance(plain(l->text())), l->width())
            << l->text().toStdString();
        EXPECT_GE(l->height(), l->fontMetrics().height()) << l->text().toStdString();
    }
    for (QPushButton* b : window->findChildren<QPushButton*>()) {
        if (b->text().isEmpty() || b->window() != window)
            continue;
        EXPECT_LE(b->fontMetrics().horizontalAdvance(plain(b->text())) + 8, b->width())
            << b->text().toStdString();
    }
    for (QCheckBox* c : window->findChildren<QCheckBox*>())
        EXPECT_LE(c->fontMetrics().horizontalAdvance(plain(c->text())) + check, c->width())
            << c->text().toStdString();
    for (QComboBox* c : window->findChildren<QComboBox*>()) {
        int widest = 0;
        for (int i = 0; i < c->count(); ++i)
            widest = std::max(widest, c->fontMetrics().horizontalAdvance(c->itemText(i)));
        EXPECT_LE(widest + 20, c->width()) << c->objectName().toStdString();
    }
    for (QLineEdit* e : window->findChildren<QLineEdit*>())
        EXPECT_GE(e->height(), e->fontMetrics().height() + 4) << e->objectName().toStdString();
    // "position" and the widest position of a large file fit the label.
    EXPECT_LE(window->poss->fontMetrics().horizontalAdvance("65535/65535"), window->poss->width());
}

} // namespace

TEST_F(LayoutTest, CaptionsAndLabels) {
    EXPECT_TRUE(window->windowTitle().startsWith("ZORV User editor"));
    const std::vector<std::pair<QWidget*, const char*>> labels = {
        {window->Name, "User name:"},
        {window->address, "Street address:"},
        {window->postnr, "City/state:"},
        {window->Tlf, "Telephone number:"},
        {window->birth, "Date of birth:"},
        {window->status, "Status:"},
        {window->fname1, "User file:"},
        {window->ttype, "Terminal type:"},
        {window->pagel, "Page Length:"},
        {window->packing, "Preffered packing:"},
        {window->nodeflt, "Nodemessage filter:"},
        {window->sysop, "Access"},
        {window->limit, "Limits:"},
        {window->logins, "Times on:"},
        {window->resume, "Resume:"},
        {window->resume1, "Resume:"},
        {window->lastcall, "Last called:"},
        {window->daysf, "Days since first call:"},
        {window->statcb, "Status:"},
        {window->tuser, "Number of Users:"},
        {window->tbdown, "Kb Downloaded:"},
    };
    for (const auto& [field, text] : labels) {
        QLabel* l = labelOf(field);
        ASSERT_NE(l, nullptr) << field->objectName().toStdString();
        EXPECT_EQ(plain(l->text()), text);
    }
    const std::vector<std::pair<QAbstractButton*, const char*>> captions = {
        {window->save, "Save User"},
        {window->exit_, "Exit"},
        {window->prev, "<---"},
        {window->next, "--->"},
        {window->listbt, "List"},
        {window->statbt, "Stats"},
        {window->about, "About"},
        {window->savefilebt, "Save File"},
        {window->resumebt, "Read resume"},
        {window->changeresbt, "Change  resume conference"},
        {window->findbtn, "Find"},
        {window->FindNextbt, "Find next"},
        {window->return_, "Return with enter-key"},
        {window->flash, "Flash own name"},
        {window->Insertck, "Insert mode"},
        {window->limitcb, "Limit"},
    };
    for (const auto& [b, text] : captions)
        EXPECT_EQ(plain(b->text()), text);
    EXPECT_EQ(window->exit_->objectName(), "exit");
    EXPECT_EQ(window->open_->objectName(), "open");
    EXPECT_EQ(window->return_->objectName(), "return");
    EXPECT_EQ(plain(window->GroupBox1->title()), "Editor options");
    EXPECT_EQ(plain(window->GB1->title()), "Look where?");
    const QStringList tabs = {"General", "Statistics", "Misc", "Find", "BBS Statistics"};
    const QStringList pages = {"General", "Statistics", "TabSheet1", "findtab", "TabSheet2"};
    ASSERT_EQ(window->PageControl1->count(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(plain(window->PageControl1->tabText(i)), tabs[i]);
        EXPECT_EQ(window->PageControl1->widget(i)->objectName(), pages[i]);
    }
}

TEST_F(LayoutTest, NoTextIsClipped) {
    expectNothingClipped(window.get());
}

TEST_F(EditorTest, NoTextIsClippedWithALargerDesktopFont) {
    const QFont before = QApplication::font();
    QFont large = before;
    large.setPointSizeF(before.pointSizeF() * 1.6);
    QApplication::setFont(large);
    writeUsers(demoUsers(3));
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(start());
    expectNothingClipped(window.get());
    EXPECT_GT(window->layoutScale(), 1.4);
    window.reset();
    QApplication::setFont(before);
}

TEST_F(LayoutTest, ControlsStayInsideTheirParentsAndApart) {
    const std::vector<QWidget*> containers = {
        window.get(),      window->General, window->Statistics,
        window->TabSheet1, window->findtab, window->TabSheet2,
        window->GroupBox1, window->Panel1,  window->GB1};
    for (QWidget* c : containers) {
        // a page has its size once it has been shown
        for (QWidget* p = c; p && p != window.get(); p = p->parentWidget())
            if (window->PageControl1->indexOf(p) >= 0)
                window->PageControl1->setCurrentWidget(p);
        for (QWidget* w : c->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (w->isWindow())
                continue;
            EXPECT_TRUE(c->rect().contains(w->geometry()))
                << w->objectName().toStdString() << " in " << c->objectName().toStdString();
        }
    }
    // The top area: the labelled fields, the buttons and the bar do not overlap.
    std::vector<QWidget*> top = {
        window->Name,   window->address, window->postnr, window->Tlf,          window->birth,
        window->status, window->bar,     window->save,   window->exit_,        window->prev,
        window->next,   window->listbt,  window->statbt, window->about,        window->savefilebt,
        window->poss,   window->fname1,  window->open_,  window->PageControl1, window->sb};
    for (QLabel* l : window->findChildren<QLabel*>())
        if (l->parentWidget() == window.get() && l != window->poss)
            top.push_back(l);
    for (std::size_t i = 0; i < top.size(); ++i)
        for (std::size_t j = i + 1; j < top.size(); ++j)
            EXPECT_FALSE(top[i]->geometry().intersects(top[j]->geometry()))
                << top[i]->objectName().toStdString() << " / "
                << top[j]->objectName().toStdString();
}

TEST_F(LayoutTest, ArrangementFollowsTheDesign) {
    // Left column of fields, buttons to the right, the page control below.
    EXPECT_LT(window->Name->x() + window->Name->width(), window->bar->x());
    EXPECT_EQ(window->Name->x(), window->address->x());
    EXPECT_LT(window->Name->y(), window->address->y());
    EXPECT_LT(window->birth->y(), window->status->y());
    EXPECT_LT(window->bar->y(), window->save->y());
    EXPECT_EQ(window->save->y(), window->next->y());
    EXPECT_LT(window->save->x(), window->exit_->x());
    EXPECT_LT(window->exit_->x(), window->prev->x());
    EXPECT_LT(window->prev->x(), window->next->x());
    EXPECT_EQ(window->listbt->y(), window->savefilebt->y());
    EXPECT_LT(window->savefilebt->x(), window->poss->x());
    EXPECT_LT(window->fname1->x() + window->fname1->width(), window->open_->x());
    EXPECT_LT(window->status->y() + window->status->height(), window->PageControl1->y() + 1);
    EXPECT_EQ(window->sb->y() + window->sb->height(), window->height());
    EXPECT_EQ(window->sb->width(), window->width());
    // Fixed size: the window cannot be resized.
    EXPECT_EQ(window->minimumSize(), window->maximumSize());
    // The totals tab keeps its two columns.
    EXPECT_EQ(window->tuser->x(), window->tdmsg->x());
    EXPECT_LT(window->tuser->x() + window->tuser->width(), window->tfup->x());
    EXPECT_EQ(window->tfup->y(), window->tuser->y());
    EXPECT_GT(window->tres->y() - window->tlogins->y(), window->tlogins->y() - window->tuser->y());
    EXPECT_NEAR(window->layoutScale() * 616, window->width(), 1.0);
}

TEST_F(LayoutTest, TabOrderIsTopDownLeftRight) {
    // Where the Tab key goes, leaving out the page control's own tab row.
    auto tabFrom = [this](QWidget* from) {
        from->setFocus();
        QWidget* w = from;
        do {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            w = QApplication::focusWidget();
        } while (w == window->PageControl1 || qobject_cast<QTabBar*>(w));
        return w;
    };
    auto expectChain = [&](QWidget* page, const std::vector<QWidget*>& chain) {
        window->PageControl1->setCurrentWidget(page);
        for (std::size_t i = 1; i < chain.size(); ++i)
            EXPECT_EQ(tabFrom(chain[i - 1]), chain[i])
                << "after " << chain[i - 1]->objectName().toStdString();
    };
    expectChain(
        window->General,
        {window->Name,   window->address, window->postnr,  window->Tlf,      window->birth,
         window->status, window->bar,     window->save,    window->exit_,    window->prev,
         window->next,   window->listbt,  window->statbt,  window->about,    window->savefilebt,
         window->fname1, window->open_,   window->ttype,   window->pagel,    window->charset,
         window->editor, window->menulev, window->lang,    window->readmode, window->grab,
         window->prot,   window->packing, window->nodeflt, window->Colors,   window->Confst,
         window->Aquote, window->return_, window->autoft,  window->Silent,   window->Review,
         window->flash,  window->vt100});
    expectChain(window->Statistics,
                {window->sysop, window->access, window->limit, window->msgleft, window->msgread,
                 window->msgdumped, window->logins, window->resume, window->timebank,
                 window->timelimit, window->tleft, window->upf, window->downf, window->kbup,
                 window->kbdown});
    expectChain(window->TabSheet1,
                {window->lastcall, window->firstcall, window->daysl, window->daysf,
                 window->Insertck, window->indentck, window->xydispck, window->resume1});
    expectChain(window->findtab,
                {window->findstr, window->findbtn, window->FindNextbt, window->namecb,
                 window->addresscb, window->citycb, window->phonecb, window->birthcb,
                 window->limitcb, window->statcb});
    expectChain(window->TabSheet2,
                {window->tuser, window->tlogins, window->tres, window->twmsg, window->trmsg,
                 window->tdmsg, window->tfup, window->tfdown, window->tbup, window->tbdown});
}
