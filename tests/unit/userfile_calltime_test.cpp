#include "democonference.h"
#include "userfile/calltime.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace zorv;

namespace {

std::uint32_t pack(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    return zorvtool::packDosDateTime(y, mo, d, h, mi, s);
}

} // namespace

TEST(CallTime, FormatsFieldsWithTwoDigits) {
    EXPECT_EQ(formatCallTime(0), "00:00:00, 00.00.1980");
    EXPECT_EQ(formatCallTime(pack(1999, 3, 3, 14, 5, 8)), "14:05:08, 03.03.1999");
    EXPECT_EQ(formatCallTime(pack(2026, 12, 31, 23, 59, 58)), "23:59:58, 31.12.2026");
    // Out-of-range parts are shown as stored, not clamped.
    EXPECT_EQ(formatCallTime(0xFFFFFFFFu), "31:63:62, 31.15.2107");
}

TEST(CallTime, DayNumberCountsFromTheLastDayOf1899) {
    using namespace std::chrono;
    const sys_days origin = year{1899} / December / 31;
    // Every day from 1900 to the wrap in 2079.
    for (sys_days d = year{1900} / January / 1; d < sys_days{year{2079} / June / 6}; d += days{1}) {
        const year_month_day ymd{d};
        const auto expected = static_cast<std::uint16_t>((d - origin).count());
        ASSERT_EQ(dayNumber(int(ymd.year()), int(unsigned(ymd.month())), int(unsigned(ymd.day()))),
                  expected)
            << int(ymd.year()) << "-" << unsigned(ymd.month()) << "-" << unsigned(ymd.day());
    }
    EXPECT_EQ(dayNumber(1900, 1, 1), 1);
    EXPECT_EQ(dayNumber(2079, 6, 5), 65535);
    EXPECT_EQ(dayNumber(2079, 6, 6), 0); // 16-bit wrap
    EXPECT_THROW(dayNumber(2000, 13, 1), std::out_of_range);
}

TEST(CallTime, DaysSinceIgnoresTimeOfDay) {
    const Date today{2026, 3, 1};
    EXPECT_EQ(daysSince(pack(2026, 3, 1, 23, 59, 58), today), 0);
    EXPECT_EQ(daysSince(pack(2026, 2, 28, 0, 0, 0), today), 1);
    EXPECT_EQ(daysSince(pack(2026, 3, 5), today), -4); // after today
    EXPECT_EQ(daysSince(pack(2025, 3, 1), today), 365);
    EXPECT_EQ(daysSince(pack(2024, 3, 1), Date{2025, 3, 1}), 365);
    EXPECT_EQ(daysSince(pack(2024, 2, 28), Date{2024, 3, 1}), 2); // leap year
    // A year field of 46 is 2026.
    EXPECT_EQ(daysSince(46u << 25 | 1u << 21 | 1u << 16, Date{2026, 1, 11}), 10);
}

TEST(CallTime, DaysSinceHasNoValueForAMonthOutsideTheTable) {
    EXPECT_EQ(daysSince(0, Date{2026, 3, 1}), std::nullopt); // month 0
    EXPECT_EQ(daysSince(pack(2000, 1, 1) | 13u << 21, Date{2026, 3, 1}), std::nullopt);
}
