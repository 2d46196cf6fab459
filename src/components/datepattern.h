#pragma once
// A calendar date and the pattern a date is written and read in: the report
// windows' Last Call column, its sort and the tool's list.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zorv {

struct CivilDate {
    int year = 0, month = 0, day = 0;
    friend bool operator==(const CivilDate&, const CivilDate&) = default;
};

// A date pattern of the fields d, dd, M, MM, yyyy; every other character is
// literal. Writing uses it as is; parsing accepts a time after the date.
class DatePattern {
  public:
    // Throws std::invalid_argument for a pattern that cannot be written and
    // read back (unknown letter, a lone y, two fields with nothing between).
    explicit DatePattern(std::string_view pattern = "yyyy-MM-dd");
    const std::string& text() const { return text_; }
    bool hasDayMonthYear() const; // what sorting by date needs
    std::string format(CivilDate d) const;
    // Seconds since 0001-01-01 00:00:00 of the date and optional time, or
    // false when the text is not a date (and time) in this pattern.
    bool parse(std::string_view text, std::int64_t& seconds) const;

  private:
    std::string text_;
    struct Field {
        char kind; // 'd', 'M', 'y', or 0 for a literal
        int width; // digits written (0 = as few as needed)
        std::string literal;
    };
    std::vector<Field> fields_;
};

} // namespace zorv
