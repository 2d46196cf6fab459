#include "userfile/numtext.h"

#include "userfile/errors.h"

namespace zorv {

bool tryParseInteger(std::string_view text, std::int32_t& out) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ')
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i < text.size() && text[i] == '$') {
        hex = true;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    }
    if (i == text.size())
        return false; // nothing, or only a sign or a hex prefix

    std::uint64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        unsigned digit;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return false; // trailing blanks count as garbage too
        value = value * (hex ? 16 : 10) + digit;
        // Hex gives a 32-bit pattern; decimal must fit a signed 32-bit number.
        const std::uint64_t limit =
            hex ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
        if (value > limit)
            return false;
    }
    auto bits = static_cast<std::uint32_t>(value);
    if (negative)
        bits = 0u - bits;
    out = static_cast<std::int32_t>(bits);
    return true;
}

std::int32_t parseInteger(std::string_view text) {
    std::int32_t v = 0;
    if (!tryParseInteger(text, v))
        throw ConvertError(std::string(text));
    return v;
}

} // namespace zorv
