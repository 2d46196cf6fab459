// The Find tab, "Find next" and the find dialog, sharing one found index.

#include "fixture.h"

#include "userfile/codepage.h"
#include "userfile/record.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

using namespace zorvtest;

namespace {

zorv::Record userWith(const std::string& name, unsigned status, unsigned limit = 100) {
    zorv::Record r = plainUser(name);
    zorv::writeCode(r, zorv::kStatus, status);
    zorv::writeNumber(r, zorv::kLimit, static_cast<std::int32_t>(limit));
    return r;
}

class FindTest : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        writeUsers({
            userWith("KARI HANSEN", 0),      // 0
            userWith("OLA NORDMANN", 0, 10), // 1
            userWith("PER OLAVSEN", 2, 5),   // 2
            userWith("BJ\xF8RN OLSEN", 2),   // 3: stored with cp865 ø
            userWith("ANNE KOLA", 3, 1000),  // 4
            userWith("TORE LIE", 2),         // 5
        });
        rememberUserFile();
        ASSERT_NO_FATAL_FAILURE(start());
        window->PageControl1->setCurrentWidget(window->findtab);
    }

    void search(const QString& text) {
        window->findstr->setText(text);
        QTest::mouseClick(window->findbtn, Qt::LeftButton);
    }
    void findNext() { QTest::mouseClick(window->FindNextbt, Qt::LeftButton); }

    // The window shows record i as the current one, everywhere.
    void expectShown(int i) {
        EXPECT_EQ(session.currentIndex, i);
        EXPECT_EQ(window->bar->value(), i);
        EXPECT_EQ(window->poss->text(), QString("%1/5").arg(i));
        EXPECT_EQ(window->Name->text().toStdString(),
                  zorv::cp1252ToUtf8(zorv::readText(workingRecord(i), zorv::kName)));
    }

    QLineEdit* dialogText() const { return window->FindDialog->findChild<QLineEdit*>("FindText"); }
    QPushButton* dialogFindNext() const {
        return window->FindDialog->findChild<QPushButton*>("FindNext");
    }
};

} // namespace

TEST_F(FindTest, FindThenFindNextStepThroughTheHitsAndStopAfterTheLast) {
    window->namecb->setChecked(true);
    search("ola");
    expectShown(1);
    EXPECT_EQ(session.foundIndex, 1);
    findNext();
    expectShown(2);
    findNext();
    expectShown(4); // KOLA
    findNext();     // no more: nothing moves, no wrap-around, no message
    expectShown(4);
    EXPECT_EQ(session.foundIndex, 4);
    EXPECT_TRUE(platform.messages.empty());

    // "Find" starts over at record 0.
    search("ola");
    expectShown(1);
}

TEST_F(FindTest, NordicLettersFoldInBothDirections) {
    window->namecb->setChecked(true);
    search(QString::fromUtf8("bjØrn"));
    expectShown(3);
}

TEST_F(FindTest, StatusOnlySearchAndDontCareWithNoField) {
    window->statcb->setCurrentIndex(3); // "Killed"
    search("x");                        // needed, though not used
    expectShown(2);
    findNext();
    expectShown(3);
    findNext();
    expectShown(5);
    findNext();
    expectShown(5);

    // Nothing ticked and "Don't care": every record is read, none is a hit.
    window->statcb->setCurrentIndex(0);
    search("x");
    expectShown(5);
    EXPECT_EQ(session.foundIndex, 0);
}

TEST_F(FindTest, FieldsAndStatusTogether) {
    window->namecb->setChecked(true);
    window->limitcb->setChecked(true);
    window->statcb->setCurrentIndex(1); // "Active"
    search("10");                       // limits 100, 10, 5, 100, 1000, 100
    expectShown(0);
    findNext();
    expectShown(1);
    findNext(); // the other limits with "10" belong to users who are not active
    expectShown(1);
}

TEST_F(FindTest, EmptyTextOrNoHitChangesNothing) {
    window->namecb->setChecked(true);
    search("ola");
    expectShown(1);
    window->Name->setText("typed, not saved");
    search("");
    EXPECT_EQ(window->Name->text(), "typed, not saved");
    EXPECT_EQ(session.foundIndex, 1);
    findNext(); // empty text: the handler returns at once
    EXPECT_EQ(window->Name->text(), "typed, not saved");

    search("nobody");
    EXPECT_EQ(window->Name->text(), "typed, not saved");
    EXPECT_EQ(session.currentIndex, 1);
    EXPECT_EQ(session.foundIndex, 0);
    // "Find next" after a search without a hit starts at record 1: OLA again.
    window->findstr->setText("ola");
    platform.choiceAnswers = {zorv::Answer::No}; // the typing goes only when asked
    findNext();
    expectShown(1);
}

TEST_F(FindTest, SearchTextFieldsTakeAtMostThirtyCharacters) {
    QTest::keyClicks(window->findstr, QString(35, 'A'));
    EXPECT_EQ(window->findstr->text().size(), 30);
    window->findClick();
    ASSERT_NE(window->FindDialog, nullptr);
    QTest::keyClicks(dialogText(), QString(35, 'b'));
    EXPECT_EQ(dialogText()->text().size(), 30);
}

TEST_F(FindTest, DialogOpensWithCtrlFAndStepsThroughNames) {
    window->Name->setFocus();
    QTest::keyClick(window->Name, Qt::Key_F, Qt::ControlModifier);
    ASSERT_NE(window->FindDialog, nullptr);
    EXPECT_TRUE(window->FindDialog->isVisible());
    EXPECT_FALSE(window->FindDialog->isModal());
    EXPECT_EQ(session.foundIndex, -1);
    EXPECT_FALSE(dialogFindNext()->isEnabled()); // nothing to look for yet

    QTest::keyClicks(dialogText(), "ola");
    QTest::mouseClick(dialogFindNext(), Qt::LeftButton);
    expectShown(1);
    QTest::mouseClick(dialogFindNext(), Qt::LeftButton);
    expectShown(2);
    QTest::mouseClick(dialogFindNext(), Qt::LeftButton);
    expectShown(4);
    QTest::mouseClick(dialogFindNext(), Qt::LeftButton);
    expectShown(4);
    EXPECT_TRUE(window->FindDialog->isVisible()); // stays open

    // Opening it again restarts at record 0.
    window->findClick();
    EXPECT_EQ(session.foundIndex, -1);
    QTest::mouseClick(dialogFindNext(), Qt::LeftButton);
    expectShown(1);
    QTest::mouseClick(window->FindDialog->findChild<QPushButton*>("Cancel"), Qt::LeftButton);
    EXPECT_FALSE(window->FindDialog->isVisible());
}

TEST_F(FindTest, DialogLooksInStoredNamesOnlyWithoutFoldingNordicLetters) {
    window->statcb->setCurrentIndex(4); // ignored by the dialog
    window->findClick();
    // Typed ø never matches the stored 0x9B, unlike on the Find tab.
    QTest::keyClicks(dialogText(), QString::fromUtf8("bjørn"));
    QTest::mouseClick(dialogFindNext(), Qt::LeftButton);
    EXPECT_EQ(session.currentIndex, 0);
    EXPECT_EQ(session.foundIndex, -1);
    dialogText()->setText("olsen");
    QTest::mouseClick(dialogFindNext(), Qt::LeftButton);
    expectShown(3);
}

TEST_F(FindTest, TabAndDialogShareTheFoundIndexAndTheWindowStaysUsable) {
    window->findClick();
    QTest::keyClicks(dialogText(), "ola");
    QTest::mouseClick(dialogFindNext(), Qt::LeftButton);
    expectShown(1);

    // The window works while the dialog is open.
    QTest::mouseClick(window->next, Qt::LeftButton);
    expectShown(2);
    EXPECT_TRUE(window->FindDialog->isVisible());

    // "Find next" on the tab continues after the dialog's hit (1), not after
    // the record shown (2): navigation does not move the found index.
    window->namecb->setChecked(true);
    window->findstr->setText("o");
    findNext();
    expectShown(2);
    QTest::mouseClick(dialogFindNext(), Qt::LeftButton);
    expectShown(4); // after the tab's hit at 2
}

TEST_F(FindTest, HitWhileTypingUnsavedChangesShowsTheStoredRecord) {
    window->namecb->setChecked(true);
    QTest::keyClicks(window->Name, "X");
    ASSERT_TRUE(window->Name->isModified());
    platform.choiceAnswers = {zorv::Answer::No};
    search("kari");
    EXPECT_EQ(platform.questions.size(), 1u);
    expectShown(0); // the same record again, read afresh
    EXPECT_FALSE(window->Name->isModified());
}

TEST_F(EditorTest, FindTextWithCharactersOutsideTheWindowsCodePageMatchesNothing) {
    writeUsers({plainUser("KARI"), plainUser("WHO ??")});
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(start());
    window->namecb->setChecked(true);
    window->findstr->setText(QString::fromUtf8("ŁŁ"));
    QTest::mouseClick(window->findbtn, Qt::LeftButton);
    EXPECT_EQ(session.currentIndex, 0);
    window->findClick();
    window->FindDialog->findChild<QLineEdit*>("FindText")->setText(QString::fromUtf8("ŁŁ"));
    QTest::mouseClick(window->FindDialog->findChild<QPushButton*>("FindNext"), Qt::LeftButton);
    EXPECT_EQ(session.currentIndex, 0);
    // The same search with the characters themselves finds the user.
    window->findstr->setText("??");
    QTest::mouseClick(window->findbtn, Qt::LeftButton);
    EXPECT_EQ(session.currentIndex, 1);
}
