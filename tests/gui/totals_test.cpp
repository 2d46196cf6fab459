// The "BBS Statistics" tab after "Save User": kept by the difference of the
// saved record, it must show what a fresh pass over the working copy gives.

#include "fixture.h"

#include "editor/totals.h"
#include "userfile/record.h"

#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <limits>

using namespace zorvtest;
using namespace zorv;

namespace {

class TotalsTabTest : public EditorTest {
  protected:
    void goTo(int index) { window->bar->setValue(index); }
    // Every field of the tab against a fresh pass.
    void expectFreshPass(const char* when) {
        const Totals fresh = computeTotals(session.workingCopy);
        for (const TotalsEntry& e : totalsEntries()) {
            auto* field = window->findChild<QLineEdit*>(QString::fromLatin1(e.name));
            ASSERT_NE(field, nullptr) << e.name;
            EXPECT_EQ(field->text(), QString::number(fresh.*(e.value))) << e.name << " " << when;
        }
    }
};

} // namespace

TEST_F(TotalsTabTest, SaveUserShowsWhatAFreshPassGivesInAllTenFields) {
    Record a = plainUser("A");
    Record b = plainUser("B");
    Record c = plainUser("C");
    writeNumber(a, kLogins, std::numeric_limits<std::int32_t>::max());
    writeNumber(b, kLogins, 5);
    writeNumber(c, kResume, 17);
    ASSERT_NO_FATAL_FAILURE(startWith({a, b, c}));
    expectFreshPass("at start-up");
    EXPECT_EQ(window->tlogins->text(),
              QString::number(std::numeric_limits<std::int32_t>::min() + 4))
        << "the sum wraps";

    // Typing in the tab means nothing: the next save writes all ten again.
    goTo(1);
    type(window->tuser, "999");
    type(window->tbdown, "junk");
    type(window->logins, "6");
    saveUser();
    expectFreshPass("after the first save");
    EXPECT_EQ(window->tuser->text(), "3");

    // The resume count follows a number that becomes zero or stops being zero.
    goTo(2);
    type(window->resume1, "0");
    saveUser();
    EXPECT_EQ(window->tres->text(), "0");
    type(window->resume1, "40");
    type(window->kbdown, "-7");
    saveUser();
    EXPECT_EQ(window->tres->text(), "1");
    expectFreshPass("after the resume changes");

    // A save that changes nothing leaves the figures as they are.
    goTo(0);
    saveUser();
    expectFreshPass("after an unchanged save");
}
