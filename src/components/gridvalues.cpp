// The grid's value syntaxes: numbers for ssNumber, integers for GetCellInt and
// the date pattern shared by SetCellDate and ssDateTime.

#include "components/gridvalues.h"
#include "components/sortgrid.h"

#include <charconv>
#include <cmath>
#include <cstring>

namespace zorv {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// 2^127, where the grid's values end.
const long double kTooBig = std::ldexp(1.0L, 127);
const long double kTooSmall = std::ldexp(1.0L, -128);

// Rounds to the 40 significant bits the grid's values keep.
long double toMantissa40(long double v) {
    if (v == 0)
        return 0;
    int e = 0;
    const long double m = std::frexp(v, &e);
    return std::ldexp(std::nearbyint(std::ldexp(m, 40)), e - 40);
}

} // namespace

GridNumber parseGridNumber(std::string_view t) {
    const std::size_t n = t.size();
    {
        // Most cells are plain integers of up to 12 digits, which 40 bits hold.
        const bool negative = n > 0 && t[0] == '-';
        std::size_t i = n > 0 && (t[0] == '-' || t[0] == '+') ? 1 : 0;
        if (i < n && n - i <= 12) {
            std::int64_t v = 0;
            while (i < n && isDigit(t[i]))
                v = v * 10 + (t[i++] - '0');
            if (i == n)
                return {GridNumber::Number, static_cast<double>(negative ? -v : v)};
        }
    }
    std::size_t i = 0;
    while (i < n && t[i] == ' ')
        ++i;
    bool negative = false;
    if (i < n && (t[i] == '+' || t[i] == '-'))
        negative = t[i++] == '-';
    const std::size_t numberStart = i;
    const std::size_t intStart = i;
    while (i < n && isDigit(t[i]))
        ++i;
    const std::size_t intEnd = i;
    std::size_t fracStart = i, fracEnd = i;
    bool ok = true;
    if (i < n && t[i] == '.') {
        fracStart = ++i;
        while (i < n && isDigit(t[i]))
            ++i;
        fracEnd = i;
        ok = fracEnd > fracStart;
    }
    ok = ok && (intEnd > intStart || fracEnd > fracStart);
    long exponent = 0;
    if (ok && i < n && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        bool expNegative = false;
        if (i < n && (t[i] == '+' || t[i] == '-'))
            expNegative = t[i++] == '-';
        const std::size_t expStart = i;
        while (i < n && isDigit(t[i])) {
            if (exponent < 1000000)
                exponent = exponent * 10 + (t[i] - '0');
            ++i;
        }
        ok = i > expStart;
        if (expNegative)
            exponent = -exponent;
    }
    ok = ok && i == n;

    if (!ok) {
        // A failed conversion still went through the digits it read, and a
        // run of them worth 2^127 overflowed on the way.
        long double whole = 0;
        for (std::size_t k = intStart; k < fracEnd && whole < kTooBig; ++k)
            if (isDigit(t[k]))
                whole = whole * 10 + (t[k] - '0');
        return {whole >= kTooBig ? GridNumber::Overflow : GridNumber::NotANumber, 0.0};
    }

    long double value = 0;
    const auto r = std::from_chars(t.data() + numberStart, t.data() + n, value);
    if (r.ec == std::errc::result_out_of_range) {
        // Out of the long double's range: decide by the decimal magnitude.
        long magnitude = exponent;
        std::size_t k = intStart;
        while (k < intEnd && t[k] == '0')
            ++k;
        if (k < intEnd) {
            magnitude += static_cast<long>(intEnd - k);
        } else {
            std::size_t f = fracStart;
            while (f < fracEnd && t[f] == '0')
                ++f;
            magnitude -= static_cast<long>(f - fracStart);
        }
        if (magnitude > 0)
            return {GridNumber::Overflow, 0.0};
        return {GridNumber::Number, 0.0};
    }
    if (r.ec != std::errc() || r.ptr != t.data() + n)
        return {GridNumber::NotANumber, 0.0};

    value = toMantissa40(value);
    if (value >= kTooBig)
        return {GridNumber::Overflow, 0.0};
    if (value < kTooSmall)
        value = 0;
    // 40 bits and an exponent within +-128 fit a double exactly.
    double d = static_cast<double>(value);
    if (negative && d != 0)
        d = -d;
    return {GridNumber::Number, d};
}

bool gridTextToNumber(std::string_view text, long double& value) {
    const GridNumber g = parseGridNumber(text);
    if (g.status == GridNumber::Overflow)
        throw SortCompareError(kFloatOverflowText);
    if (g.status == GridNumber::NotANumber)
        return false;
    value = g.value;
    return true;
}

bool gridTextToInt(std::string_view t, std::int32_t& value) {
    std::size_t i = 0;
    const std::size_t n = t.size();
    while (i < n && t[i] == ' ')
        ++i;
    if (i < n && t[i] == '$') {
        ++i;
        if (i == n)
            return false;
        std::uint64_t v = 0;
        for (; i < n; ++i) {
            const char c = t[i];
            int digit;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (c >= 'A' && c <= 'F')
                digit = c - 'A' + 10;
            else if (c >= 'a' && c <= 'f')
                digit = c - 'a' + 10;
            else
                return false;
            v = v * 16 + static_cast<std::uint64_t>(digit);
            if (v > 0xFFFFFFFFu)
                return false;
        }
        value = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
        return true;
    }
    bool negative = false;
    if (i < n && (t[i] == '+' || t[i] == '-'))
        negative = t[i++] == '-';
    if (i == n)
        return false;
    std::int64_t v = 0;
    for (; i < n; ++i) {
        if (!isDigit(t[i]))
            return false;
        v = v * 10 + (t[i] - '0');
        if (v > 2147483648LL)
            return false;
    }
    if (negative)
        v = -v;
    if (v > 2147483647LL)
        return false;
    value = static_cast<std::int32_t>(v);
    return true;
}

// --- dates -----------------------------------------------------------------

namespace {

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

void appendShownCellText(std::string& out, std::string_view cell) {
    for (;;) {
        const std::size_t amp = cell.find('&');
        if (amp == std::string_view::npos || amp + 1 == cell.size()) {
            out += cell;
            return;
        }
        // Up to and including this "&"; its partner, when it has one, is dropped.
        out += cell.substr(0, amp + 1);
        cell.remove_prefix(amp + (cell[amp + 1] == '&' ? 2 : 1));
    }
}

std::string shownCellText(std::string_view cell) {
    std::string out;
    out.reserve(cell.size());
    appendShownCellText(out, cell);
    return out;
}

} // namespace zorv
