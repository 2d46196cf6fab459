#pragma once
// The date pattern of the report windows' Last Call column: the desktop's
// short date format with the year widened to four digits.

#include <string>
#include <string_view>

namespace zorv {

// A toolkit date format as a grid date pattern: d, dd, M, MM and literals
// kept, two-digit years widened. "yyyy-MM-dd" for a format with month or
// day names (MMM, MMMM, ddd, dddd), any other field or letter, or one that
// does not give a day, month and year that read back.
std::string datePatternFromLocaleFormat(std::string_view format);

// The pattern for this desktop's short date format.
std::string desktopDatePattern();

} // namespace zorv
