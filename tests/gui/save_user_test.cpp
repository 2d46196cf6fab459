// Save User, field by field: what is written only when the operator changed it,
// what is always rebuilt from the controls, and what is carried through.

#include "fixture.h"

#include "userfile/calltime.h"
#include "userfile/record.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWheelEvent>

using namespace zorvtest;
using namespace zorv;

namespace {

class SaveUserTest : public EditorTest {};

} // namespace

TEST_F(SaveUserTest, OnlyChangedTextFieldsAreWritten) {
    Record r = plainUser("ANDERSEN");
    ASSERT_NO_FATAL_FAILURE(startWith({r, plainUser("OTHER")}));

    // Behind the window's back the record changes in the working copy: a field
    // the operator did not touch must keep the new bytes, not the shown text.
    Record behind = r;
    writeText(behind, kAddress, "Changed elsewhere");
    session.workingCopy.writeRecord(0, behind);

    type(window->Name, QString::fromUtf8("ab"));
    saveUser();
    Record expected = behind;
    writeText(expected, kName, "AB"); // upper-cased; the old tail stays behind the NUL
    EXPECT_EQ(workingRecord(0), expected);
    EXPECT_EQ(workingRecord(0)[2], 0);
    EXPECT_EQ(workingRecord(0)[3], 'E');
    EXPECT_EQ(window->Name->text(), "AB");
    EXPECT_EQ(window->address->text(), "Changed elsewhere");
}

TEST_F(SaveUserTest, TextFieldsAreCutAndConverted) {
    ASSERT_NO_FATAL_FAILURE(startWith({plainUser("X")}));
    type(window->Name, QString::fromUtf8("bjørn ålesund"));
    type(window->Tlf, QStringLiteral("12345678901234567")); // 17 typed, 16 kept
    type(window->birth, QStringLiteral("17 characters..!!"));
    saveUser();
    const Record w = workingRecord(0);
    EXPECT_EQ(std::string(rawText(w, kName)), "BJ\x9BRN \x86LESUND");
    EXPECT_EQ(std::string(rawText(w, kTlf)), "1234567890123456");
    EXPECT_EQ(std::string(rawText(w, kBirth)), "17 characters..!!");
    EXPECT_EQ(window->Name->text(), QString::fromUtf8("BJøRN åLESUND"));
}

TEST_F(SaveUserTest, NumbersKeepTheirLowBitsAndOnlyWhenChanged) {
    Record r = plainUser("N");
    writeNumber(r, kMsgread, 5);
    ASSERT_NO_FATAL_FAILURE(startWith({r}));
    Record behind = r;
    writeNumber(behind, kMsgread, 99); // not touched in the window: stays 99
    session.workingCopy.writeRecord(0, behind);

    type(window->pagel, "300");
    type(window->timebank, "-1");
    type(window->nodeflt, " $1F");
    type(window->logins, "-7");
    type(window->resume1, "17");
    saveUser();
    const Record w = workingRecord(0);
    EXPECT_EQ(readNumber(w, kPagel), 44);
    EXPECT_EQ(readNumber(w, kTimebank), 65535);
    EXPECT_EQ(readNumber(w, kNodeflt), 31);
    EXPECT_EQ(readNumber(w, kLogins), -7);
    EXPECT_EQ(readNumber(w, kResume), 17);
    EXPECT_EQ(readNumber(w, kMsgread), 99);
    EXPECT_EQ(window->timebank->text(), "65535");
    EXPECT_EQ(window->pagel->text(), "44");
    EXPECT_EQ(window->resume->text(), "17");
    EXPECT_TRUE(window->resumebt->isEnabled());
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(SaveUserTest, BadNumberStopsTheSaveAndWritesNothing) {
    ASSERT_NO_FATAL_FAILURE(startWith({plainUser("N")}));
    const std::string before = workingCopyBytes();
    type(window->address, "typed");
    type(window->pagel, "abc");
    saveUser();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].title, "ZORV user editor");
    EXPECT_EQ(platform.messages[0].text, "'abc' is not a valid integer value.");
    EXPECT_EQ(platform.messages[0].icon, MessageIcon::Stop);
    EXPECT_EQ(workingCopyBytes(), before);
    EXPECT_TRUE(session.userFileChanged);
    EXPECT_EQ(window->address->text(), "typed") << "the typing stays for correction";

    // The sysop level is read on every save, changed or not.
    type(window->pagel, "10");
    type(window->sysop, "");
    saveUser();
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[1].text, "'' is not a valid integer value.");
    EXPECT_EQ(workingCopyBytes(), before);
}

TEST_F(SaveUserTest, CodesComeFromTheListsAndTerminalTypeSkipsCode2) {
    ASSERT_NO_FATAL_FAILURE(startWith({plainUser("C")}));
    window->ttype->setCurrentIndex(3); // "RIP"
    window->editor->setCurrentIndex(2);
    window->charset->setCurrentIndex(10);
    window->lang->setCurrentIndex(3);
    window->readmode->setCurrentIndex(1);
    window->grab->setCurrentIndex(6);
    window->prot->setCurrentIndex(8);
    window->packing->setCurrentIndex(7);
    window->status->setCurrentIndex(2);
    window->access->setCurrentIndex(2);
    saveUser();
    Record w = workingRecord(0);
    EXPECT_EQ(readCode(w, kTtype), 4u);
    EXPECT_EQ(readCode(w, kEditor), 2u);
    EXPECT_EQ(w[143], 0x24);
    EXPECT_EQ(readCode(w, kCharset), 10u);
    EXPECT_EQ(readCode(w, kLang), 3u);
    EXPECT_EQ(w[147], 0x61);
    EXPECT_EQ(readCode(w, kProt), 8u);
    EXPECT_EQ(readCode(w, kPacking), 7u);
    EXPECT_EQ(readCode(w, kStatus), 2u);
    EXPECT_EQ(readAccess(w), 2u);
    EXPECT_EQ(window->ttype->currentText(), "RIP");

    window->ttype->setCurrentIndex(2); // "VT320"
    saveUser();
    EXPECT_EQ(readCode(workingRecord(0), kTtype), 3u);
}

TEST_F(SaveUserTest, ListWithoutSelectionKeepsTheStoredCode) {
    Record r = plainUser("NOSEL");
    writeCode(r, kTtype, 2); // no item
    writeCode(r, kEditor, 1);
    writeCode(r, kReadmode, 15); // no item
    writeCode(r, kGrab, 4);
    writeCode(r, kCharset, 11); // no item
    writeCode(r, kStatus, 9);   // no item
    ASSERT_NO_FATAL_FAILURE(startWith({r}));
    EXPECT_EQ(window->ttype->currentIndex(), -1);
    EXPECT_EQ(window->ttype->currentText(), "");
    EXPECT_EQ(window->charset->currentIndex(), -1);
    EXPECT_EQ(window->status->currentIndex(), -1);

    window->editor->setCurrentIndex(3); // the other half of byte 143 changes
    window->grab->setCurrentIndex(1);   // and of byte 147
    saveUser();
    const Record w = workingRecord(0);
    EXPECT_EQ(w[143], 0x32);
    EXPECT_EQ(w[147], 0x1F);
    EXPECT_EQ(readCode(w, kCharset), 11u);
    EXPECT_EQ(readCode(w, kStatus), 9u);
    EXPECT_EQ(window->ttype->currentIndex(), -1);
}

TEST_F(SaveUserTest, FlagsAreRebuiltFromTheBoxesAndUninterpretedBitsStay) {
    Record r = plainUser("F");
    writeUserflags(r, kInsertOff | kFlashOff | kExpertMenus | kColors);
    putU32(r, kUserflagsOffset, getU32(r, kUserflagsOffset) | 0x00100000u); // bit 20
    ASSERT_NO_FATAL_FAILURE(startWith({r}));
    EXPECT_FALSE(window->Insertck->isChecked());
    EXPECT_FALSE(window->flash->isChecked());
    EXPECT_EQ(window->menulev->currentText(), "Expert");
    EXPECT_TRUE(window->Colors->isChecked());

    window->Insertck->setChecked(true);
    window->flash->setChecked(true);
    window->menulev->setCurrentIndex(1); // Novice
    window->Colors->setChecked(false);
    for (QCheckBox* c :
         {window->indentck, window->xydispck, window->Confst, window->autoft, window->Review,
          window->vt100, window->Aquote, window->Silent, window->return_})
        c->setChecked(true);
    saveUser();
    EXPECT_EQ(readUserflags(workingRecord(0)), 0x00100000u | 0x1F56u);

    for (QCheckBox* c : {window->indentck, window->xydispck, window->Confst, window->autoft,
                         window->Review, window->vt100, window->Aquote, window->Silent,
                         window->return_, window->Insertck, window->flash})
        c->setChecked(false);
    window->Colors->setChecked(true);
    window->menulev->setCurrentIndex(0);
    saveUser();
    EXPECT_EQ(readUserflags(workingRecord(0)),
              0x00100000u | kInsertOff | kFlashOff | kExpertMenus | kColors);
}

TEST_F(SaveUserTest, SecurityFromSysopLevelAndFileAccess) {
    Record r = plainUser("S");
    putU32(r, kSecurityOffset, (1u << 30) | 0x00ABCD00u | 5u); // access 1, bits 8-29 set
    ASSERT_NO_FATAL_FAILURE(startWith({r}));
    EXPECT_EQ(window->sysop->text(), "5");
    EXPECT_EQ(window->access->currentText(), "Download");

    type(window->sysop, "300");
    window->access->setCurrentIndex(3);
    saveUser();
    const Record w = workingRecord(0);
    EXPECT_EQ(readAccess(w), 3u);
    EXPECT_EQ(readSysopLevel(w), 44u);
    EXPECT_EQ(readSecurity(w) & 0x3FFFFF00u, 0x00ABCD00u) << "uninterpreted bits carried";
    EXPECT_EQ(window->sysop->text(), "44");
}

TEST_F(SaveUserTest, SaveUserRecomputesTheTotals) {
    Record a = plainUser("A");
    Record b = plainUser("B");
    writeNumber(a, kMsgread, 10);
    writeNumber(b, kMsgread, 5);
    ASSERT_NO_FATAL_FAILURE(startWith({a, b}));
    EXPECT_EQ(window->trmsg->text(), "15");
    type(window->msgread, "20");
    EXPECT_EQ(window->trmsg->text(), "15") << "unsaved typing does not count";
    saveUser();
    EXPECT_EQ(window->trmsg->text(), "25");
}

TEST_F(SaveUserTest, ShowRecordFillsEveryControl) {
    Record r = plainUser("SHOW");
    writeNumber(r, kTleft, -5);
    writeNumber(r, kKbdown, 123456);
    putU32(r, kFirstcallOffset, 0); // a date without a month
    ASSERT_NO_FATAL_FAILURE(startWith({r}));
    EXPECT_EQ(window->Name->text(), "SHOW");
    EXPECT_EQ(window->postnr->text(), "0155 OSLO");
    EXPECT_EQ(window->tleft->text(), "-5");
    EXPECT_EQ(window->kbdown->text(), "123456");
    EXPECT_EQ(window->ttype->currentText(), "ANSI");
    EXPECT_EQ(window->access->currentText(), "Up & Down");
    EXPECT_EQ(window->status->currentText(), "Active");
    EXPECT_EQ(window->lastcall->text(), "14:05:08, 03.03.1999");
    EXPECT_EQ(window->daysl->text(),
              QString::number(dayNumber(2026, 12, 8) - dayNumber(1999, 3, 3)));
    EXPECT_EQ(window->firstcall->text(), "00:00:00, 00.00.1980");
    EXPECT_EQ(window->daysf->text(), "") << "no month: no day count";
    EXPECT_EQ(window->resume->text(), "0");
    EXPECT_FALSE(window->resumebt->isEnabled());
    EXPECT_EQ(window->statcb->currentText(), "Don't care");
    for (QLineEdit* e : window->findChildren<QLineEdit*>())
        EXPECT_FALSE(e->isModified()) << e->objectName().toStdString();
    for (QLineEdit* e : {window->resume, window->lastcall, window->firstcall, window->fname1,
                         window->daysl, window->daysf})
        EXPECT_TRUE(e->isReadOnly()) << e->objectName().toStdString();
}

// Every list is stored by Save User, so a wheel turned over a list on the way
// elsewhere must not change a code; the list that has the focus still scrolls.
TEST_F(SaveUserTest, OnlyTheFocusedListTakesTheWheel) {
    ASSERT_NO_FATAL_FAILURE(startWith({plainUser("ANDERSEN"), plainUser("OTHER")}));
    auto wheel = [](QComboBox* box) {
        const QPointF at(box->width() / 2.0, box->height() / 2.0);
        QWheelEvent e(at, box->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(box, &e);
    };
    window->Name->setFocus();
    const int before = window->status->currentIndex();
    wheel(window->status);
    EXPECT_EQ(window->status->currentIndex(), before);
    EXPECT_TRUE(window->Name->hasFocus());

    saveUser();
    EXPECT_EQ(readCode(workingRecord(0), kStatus), unsigned(before));

    window->status->setFocus();
    wheel(window->status);
    EXPECT_EQ(window->status->currentIndex(), before + 1);
}
