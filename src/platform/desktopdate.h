#pragma once
// The date pattern of the report windows' Last Call column: the desktop's
// short date format with the year widened to four digits.

#include <string>
#include <string_view>

namespace zorv {

// A toolkit date format (d, dd, M, MM, yy, yyyy, quoted text, weekday and
// month names) as a grid date pattern: two-digit years widened, month names
// written as numbers, weekday names left out. "yyyy-MM-dd" when nothing
// usable remains.
std::string datePatternFromLocaleFormat(std::string_view format);

// The pattern for this desktop's short date format.
std::string desktopDatePattern();

} // namespace zorv
