#include "resume/oemtext.h"

#include "userfile/codepage.h"

#include <array>

namespace zorv {

namespace {

constexpr std::array<char16_t, 32> kLowGlyphs = {
    0x0000, 0x263A, 0x263B, 0x2665, 0x2666, 0x2663, 0x2660, 0x2022, // 00
    0x25D8, 0x0009, 0x25D9, 0x2642, 0x2640, 0x266A, 0x266B, 0x263C, // 08
    0x25BA, 0x25C4, 0x2195, 0x203C, 0x00B6, 0x00A7, 0x25AC, 0x21A8, // 10
    0x2191, 0x2193, 0x2192, 0x2190, 0x221F, 0x2194, 0x25B2, 0x25BC, // 18
};

} // namespace

char32_t oemGlyph(unsigned char byte) {
    if (byte < 0x20)
        return kLowGlyphs[byte];
    if (byte == 0x7F)
        return 0x2302; // the house the font drew for DEL
    return cp865ToUnicode(byte);
}

std::string oemLineToUtf8(std::string_view cp865) {
    std::string out;
    out.reserve(cp865.size() * 2);
    for (char c : cp865)
        appendUtf8(out, oemGlyph(static_cast<unsigned char>(c)));
    return out;
}

} // namespace zorv
