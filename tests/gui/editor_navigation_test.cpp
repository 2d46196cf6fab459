// Navigation: the buttons, the track bar and its menu, Goto, and the edges of
// the file.

#include "fixture.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

using namespace zorvtest;
using namespace zorv;

namespace {

class NavigationTest : public EditorTest {
  protected:
    void startWithUsers(int n) { startWith(plainUsers(n)); }
    QString shownName() const { return window->Name->text(); }
    void expectAt(int index, int count) {
        EXPECT_EQ(session.currentIndex, index);
        EXPECT_EQ(window->bar->value(), index);
        EXPECT_EQ(window->poss->text(), QStringLiteral("%1/%2").arg(index).arg(count - 1));
        EXPECT_EQ(shownName(), QStringLiteral("USER %1").arg(index));
    }
    void click(QPushButton* b) { QTest::mouseClick(b, Qt::LeftButton); }
};

} // namespace

TEST_F(NavigationTest, NextAndPreviousStopAtTheEnds) {
    startWithUsers(3);
    expectAt(0, 3);
    QTest::keyClicks(window->Name, "x");
    platform.choiceAnswers = {Answer::No};
    click(window->prev); // first record: shown again, typing dropped once answered No
    expectAt(0, 3);
    EXPECT_FALSE(window->Name->isModified());
    click(window->next);
    click(window->next);
    expectAt(2, 3);
    QTest::keyClicks(window->address, "typed");
    platform.choiceAnswers = {Answer::No};
    click(window->next);
    expectAt(2, 3);
    EXPECT_EQ(window->address->text(), "Storgata 1");
    EXPECT_EQ(platform.questions.size(), 2u);
    click(window->prev);
    expectAt(1, 3);
}

TEST_F(NavigationTest, TrackBarKeysAndMenu) {
    startWithUsers(30);
    window->bar->setFocus();
    QTest::keyClick(window->bar, Qt::Key_Right);
    QTest::keyClick(window->bar, Qt::Key_Right);
    expectAt(2, 30);
    QTest::keyClick(window->bar, Qt::Key_End);
    expectAt(29, 30);
    window->First1->trigger();
    expectAt(0, 30);
    window->Last1->trigger();
    expectAt(29, 30);
    QTest::keyClick(window->bar, Qt::Key_Home);
    expectAt(0, 30);
}

TEST_F(NavigationTest, SaveUserSavesTheRecordAtTheBar) {
    startWithUsers(5);
    window->bar->setFocus();
    QTest::keyClick(window->bar, Qt::Key_Right);
    QTest::keyClick(window->bar, Qt::Key_Right);
    QTest::keyClicks(window->birth, "!");
    click(window->save);
    EXPECT_EQ(readText(workingRecord(2), kBirth), "01.01.1970!");
    EXPECT_EQ(readText(workingRecord(0), kBirth), "01.01.1970");
}

TEST_F(NavigationTest, GotoTakesValidNumbersOnly) {
    startWithUsers(10);
    platform.inputAnswers = {QStringLiteral("7")};
    window->Goto1->trigger();
    ASSERT_EQ(platform.inputs.size(), 1u);
    EXPECT_EQ(platform.inputs[0].title, "Goto new user..");
    EXPECT_EQ(platform.inputs[0].prompt, "Please enter a user number:");
    EXPECT_EQ(platform.inputs[0].defaultText, "0");
    expectAt(7, 10);

    for (const char* outside : {"-1", "10", "2147483647"}) {
        QTest::keyClicks(window->Name, "x");
        platform.inputAnswers = {QString::fromLatin1(outside)};
        platform.choiceAnswers = {Answer::No};
        window->Goto1->trigger();
        expectAt(7, 10); // shown again: the typing is gone once answered No
        EXPECT_FALSE(window->Name->isModified()) << outside;
    }
    EXPECT_TRUE(platform.messages.empty());

    platform.inputAnswers = {QStringLiteral(" $3")};
    window->Goto1->trigger();
    expectAt(3, 10);
}

TEST_F(NavigationTest, GotoWithTextShowsTheErrorAndKeepsTheTyping) {
    startWithUsers(10);
    window->Next1->trigger();
    QTest::keyClicks(window->address, "typed");
    platform.inputAnswers = {QStringLiteral("abc")};
    window->Goto1->trigger();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].title, "ZORV user editor");
    EXPECT_EQ(platform.messages[0].text, "'abc' is not a valid integer value.");
    EXPECT_EQ(session.currentIndex, 1);
    EXPECT_EQ(window->address->text(), "Storgata 1typed");
    EXPECT_TRUE(window->address->isModified());
}

TEST_F(NavigationTest, GotoCancelledShowsTheCurrentRecordAgain) {
    startWithUsers(10);
    window->Next1->trigger();
    QTest::keyClicks(window->address, "typed");
    platform.inputAnswers = {std::nullopt};
    platform.choiceAnswers = {Answer::No};
    window->Goto1->trigger();
    ASSERT_EQ(platform.inputs.size(), 1u);
    EXPECT_EQ(platform.inputs[0].defaultText, "1");
    EXPECT_EQ(platform.questions, std::vector<QString>{"Save the changes to user 1?"});
    expectAt(1, 10);
    EXPECT_EQ(window->address->text(), "Storgata 1");
}

TEST_F(NavigationTest, OneRecordFile) {
    startWithUsers(1);
    expectAt(0, 1);
    EXPECT_EQ(window->bar->minimum(), 0);
    EXPECT_EQ(window->bar->maximum(), 0);
    click(window->next);
    expectAt(0, 1);
    click(window->prev);
    expectAt(0, 1);
    window->Last1->trigger();
    expectAt(0, 1);
    platform.inputAnswers = {QStringLiteral("1")};
    window->Goto1->trigger();
    expectAt(0, 1);
}

struct PageCase {
    int records;
    int pageStep;
};

void PrintTo(const PageCase& c, std::ostream* os) {
    *os << c.records << " records";
}

class PageSizeTest : public NavigationTest, public ::testing::WithParamInterface<PageCase> {};

TEST_P(PageSizeTest, FollowsTheRecordCount) {
    startWithUsers(GetParam().records);
    EXPECT_EQ(window->bar->pageStep(), GetParam().pageStep);
    EXPECT_EQ(window->bar->maximum(), GetParam().records - 1);
    window->bar->setFocus();
    QTest::keyClick(window->bar, Qt::Key_PageDown);
    expectAt(GetParam().pageStep, GetParam().records);
    QTest::keyClick(window->bar, Qt::Key_PageUp);
    expectAt(0, GetParam().records);
    QTest::keyClick(window->bar, Qt::Key_PageDown);
    expectAt(GetParam().pageStep, GetParam().records);
}

INSTANTIATE_TEST_SUITE_P(Records, PageSizeTest,
                         ::testing::Values(PageCase{11, 2}, PageCase{12, 10}, PageCase{101, 10},
                                           PageCase{102, 50}));
