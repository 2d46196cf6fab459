// Dates written and read by a pattern: the grid's SetCellDate and ssDateTime.

#include "components/datepattern.h"

#include <stdexcept>

namespace zorv {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isLeap(int y) {
    return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
}

int daysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && isLeap(y) ? 29 : days[m - 1];
}

// Days from 0001-01-01 (proleptic Gregorian).
std::int64_t dayNumberOf(int y, int m, int d) {
    const std::int64_t yy = y - 1;
    std::int64_t days = yy * 365 + yy / 4 - yy / 100 + yy / 400;
    for (int k = 1; k < m; ++k)
        days += daysInMonth(y, k);
    return days + d - 1;
}

// Reads 1..maxDigits digits at `at`.
bool readNumber(std::string_view t, std::size_t& at, int minDigits, int maxDigits, int& out) {
    int v = 0, count = 0;
    while (at < t.size() && count < maxDigits && isDigit(t[at])) {
        v = v * 10 + (t[at] - '0');
        ++at;
        ++count;
    }
    out = v;
    return count >= minDigits;
}

bool isAsciiLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

} // namespace

DatePattern::DatePattern(std::string_view pattern) : text_(pattern) {
    bool seen[3] = {false, false, false};
    for (std::size_t i = 0; i < pattern.size();) {
        const char c = pattern[i];
        if (!isAsciiLetter(c)) {
            if (fields_.empty() || fields_.back().kind != 0)
                fields_.push_back({0, 0, {}});
            fields_.back().literal += c;
            ++i;
            continue;
        }
        std::size_t run = 1;
        while (i + run < pattern.size() && pattern[i + run] == c)
            ++run;
        const std::string what(pattern.substr(i, run));
        int slot;
        int width;
        if (c == 'd' && run <= 2) {
            slot = 0;
            width = run == 2 ? 2 : 0;
        } else if (c == 'M' && run <= 2) {
            slot = 1;
            width = run == 2 ? 2 : 0;
        } else if (c == 'y' && run == 4) {
            slot = 2;
            width = 4;
        } else {
            throw std::invalid_argument("date pattern: '" + what + "' is not a date field");
        }
        if (seen[slot])
            throw std::invalid_argument("date pattern: '" + what + "' appears twice");
        if (!fields_.empty() && fields_.back().kind != 0)
            throw std::invalid_argument("date pattern: no separator before '" + what + "'");
        seen[slot] = true;
        fields_.push_back({c, width, {}});
        i += run;
    }
    if (!seen[0] && !seen[1] && !seen[2])
        throw std::invalid_argument("date pattern: '" + text_ + "' has no date field");
}

bool DatePattern::hasDayMonthYear() const {
    int count = 0;
    for (const Field& f : fields_)
        count += f.kind != 0;
    return count == 3;
}

std::string DatePattern::format(CivilDate date) const {
    std::string out;
    auto put = [&](int v, int width) {
        std::string digits = std::to_string(v);
        if (static_cast<int>(digits.size()) < width)
            out.append(static_cast<std::size_t>(width) - digits.size(), '0');
        out += digits;
    };
    for (const Field& f : fields_) {
        switch (f.kind) {
        case 'd':
            put(date.day, f.width);
            break;
        case 'M':
            put(date.month, f.width);
            break;
        case 'y':
            put(date.year, f.width);
            break;
        default:
            out += f.literal;
        }
    }
    return out;
}

bool DatePattern::parse(std::string_view t, std::int64_t& seconds) const {
    if (!hasDayMonthYear())
        return false;
    std::size_t at = 0;
    while (at < t.size() && t[at] == ' ')
        ++at;
    int day = 0, month = 0, year = 0;
    for (const Field& f : fields_) {
        switch (f.kind) {
        case 'd':
            if (!readNumber(t, at, 1, 2, day))
                return false;
            break;
        case 'M':
            if (!readNumber(t, at, 1, 2, month))
                return false;
            break;
        case 'y':
            if (!readNumber(t, at, 4, 4, year))
                return false;
            break;
        default:
            if (t.substr(at, f.literal.size()) != f.literal)
                return false;
            at += f.literal.size();
        }
    }
    if (year < 1 || month < 1 || month > 12 || day < 1 || day > daysInMonth(year, month))
        return false;

    // An optional time: H:mm, H:mm:ss, either with AM or PM.
    int hour = 0, minute = 0, second = 0;
    std::size_t rest = at;
    while (rest < t.size() && t[rest] == ' ')
        ++rest;
    if (rest < t.size() && rest > at) {
        at = rest;
        if (!readNumber(t, at, 1, 2, hour) || at >= t.size() || t[at] != ':')
            return false;
        ++at;
        if (!readNumber(t, at, 2, 2, minute))
            return false;
        if (at < t.size() && t[at] == ':') {
            ++at;
            if (!readNumber(t, at, 2, 2, second))
                return false;
        }
        std::size_t ampm = at;
        while (ampm < t.size() && t[ampm] == ' ')
            ++ampm;
        if (ampm + 2 <= t.size() && (t[ampm + 1] == 'M' || t[ampm + 1] == 'm')) {
            const char c = t[ampm];
            const bool pm = c == 'P' || c == 'p';
            if (!pm && c != 'A' && c != 'a')
                return false;
            if (hour < 1 || hour > 12)
                return false;
            hour = hour % 12 + (pm ? 12 : 0);
            at = ampm + 2;
        }
        if (hour > 23 || minute > 59 || second > 59)
            return false;
    }
    while (at < t.size() && t[at] == ' ')
        ++at;
    if (at != t.size())
        return false;
    seconds = dayNumberOf(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

} // namespace zorv
