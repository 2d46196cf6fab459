// The desktop's short date format as the list's Last Call pattern.

#include "components/sortgrid.h"
#include "platform/desktopdate.h"

#include <gtest/gtest.h>

using namespace zorv;

TEST(DesktopDate, ShortFormatsGetFourDigitYears) {
    EXPECT_EQ(datePatternFromLocaleFormat("dd.MM.yy"), "dd.MM.yyyy");
    EXPECT_EQ(datePatternFromLocaleFormat("M/d/yy"), "M/d/yyyy");
    EXPECT_EQ(datePatternFromLocaleFormat("yyyy-MM-dd"), "yyyy-MM-dd");
    EXPECT_EQ(datePatternFromLocaleFormat("d. MMM yyyy"), "d. MM yyyy");
    EXPECT_EQ(datePatternFromLocaleFormat("dddd, d. MMMM yyyy"), "d. MM yyyy");
    EXPECT_EQ(datePatternFromLocaleFormat("dd/MM/yyyy 'r.'"), "dd/MM/yyyy .");
    // Nothing a date can be read back from: the tool's default.
    EXPECT_EQ(datePatternFromLocaleFormat("ddd MMM"), "yyyy-MM-dd");
    EXPECT_EQ(datePatternFromLocaleFormat(""), "yyyy-MM-dd");
    EXPECT_EQ(datePatternFromLocaleFormat("ddMMyy"), "yyyy-MM-dd");

    const DatePattern desktop(desktopDatePattern()); // throws if unusable
    EXPECT_TRUE(desktop.hasDayMonthYear());
}
