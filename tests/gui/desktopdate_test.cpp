// The desktop's short date format as the list's Last Call pattern.

#include "components/datepattern.h"
#include "platform/desktopdate.h"

#include <gtest/gtest.h>

using namespace zorv;

TEST(DesktopDate, ShortFormatsGetFourDigitYears) {
    EXPECT_EQ(datePatternFromLocaleFormat("dd.MM.yy"), "dd.MM.yyyy");
    EXPECT_EQ(datePatternFromLocaleFormat("M/d/yy"), "M/d/yyyy");
    EXPECT_EQ(datePatternFromLocaleFormat("yyyy-MM-dd"), "yyyy-MM-dd");
    EXPECT_EQ(datePatternFromLocaleFormat("dd'.'MM'-'yyyy"), "dd.MM-yyyy");
    // Names of months or days, other fields, letters in quotes and nothing a
    // date can be read back from: the numeric form, not "3 03 2012".
    EXPECT_EQ(datePatternFromLocaleFormat("d MMM yyyy"), "yyyy-MM-dd");
    EXPECT_EQ(datePatternFromLocaleFormat("dddd, d. MMMM yyyy"), "yyyy-MM-dd");
    EXPECT_EQ(datePatternFromLocaleFormat("ddd dd.MM.yyyy"), "yyyy-MM-dd");
    EXPECT_EQ(datePatternFromLocaleFormat("dd/MM/yyyy 'r.'"), "yyyy-MM-dd");
    EXPECT_EQ(datePatternFromLocaleFormat("dd.MM.yyyy HH:mm"), "yyyy-MM-dd");
    EXPECT_EQ(datePatternFromLocaleFormat("d.M.yyy"), "yyyy-MM-dd");
    EXPECT_EQ(datePatternFromLocaleFormat("ddd MMM"), "yyyy-MM-dd");
    EXPECT_EQ(datePatternFromLocaleFormat(""), "yyyy-MM-dd");
    EXPECT_EQ(datePatternFromLocaleFormat("ddMMyy"), "yyyy-MM-dd");

    const DatePattern desktop(desktopDatePattern()); // throws if unusable
    EXPECT_TRUE(desktop.hasDayMonthYear());
}
