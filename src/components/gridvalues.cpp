// The grid's value syntaxes: numbers for ssNumber, integers for GetCellInt,
// and the shown form of a cell's text.

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
