#pragma once
// Packed DOS date-times and the day arithmetic of the "days since" fields.

#include <cstdint>
#include <optional>
#include <string>

namespace zorv {

struct Date {
    int year;
    int month;
    int day;
};

// "hh:mm:ss, dd.mm.yyyy"; 0 gives "00:00:00, 00.00.1980".
std::string formatCallTime(std::uint32_t packed);
// The same appended to `out`.
void appendCallTime(std::string& out, std::uint32_t packed);

// Days from 31 Dec 1899, in wrapping 16-bit arithmetic. month must be 1-12.
std::uint16_t dayNumber(int year, int month, int day);

// Days from the packed date to today; negative for a date after today.
// No value when the stored month is outside 1-12 (such a date means nothing).
std::optional<int> daysSince(std::uint32_t packed, const Date& today);

// Today's local date; the default source of "today".
Date localToday();

} // namespace zorv
