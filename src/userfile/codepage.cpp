#include "userfile/codepage.h"

#include <array>

namespace zorv {

namespace {

// Bytes 0x80-0xFF of DOS code page 865 (Nordic); 0x00-0x7F are ASCII.
constexpr std::array<char16_t, 128> kCp865High = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, // 80
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5, // 88
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, // 90
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x20A7, 0x0192, // 98
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, // A0
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00A4, // A8
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556, // B0
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, // B8
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F, // C0
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, // C8
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B, // D0
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, // D8
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, // E0
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229, // E8
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, // F0
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0, // F8
};

// Bytes 0x80-0x9F of Windows code page 1252; 0xA0-0xFF equal Latin-1. The five
// bytes the code page leaves undefined map to the C1 controls, as Windows does.
constexpr std::array<char16_t, 32> kCp1252C1 = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98
};

struct Pair {
    unsigned char ansi;
    unsigned char dos;
};
constexpr std::array<Pair, 6> kNordic = {{
    {0xC5, 0x8F}, // Å
    {0xC6, 0x92}, // Æ
    {0xD8, 0x9D}, // Ø
    {0xE5, 0x86}, // å
    {0xE6, 0x91}, // æ
    {0xF8, 0x9B}, // ø
}};

} // namespace

std::string dosUpper(std::string_view cp865) {
    std::string out(cp865);
    for (char& c : out) {
        switch (static_cast<std::uint8_t>(c)) {
        case 0x86:
        case 0x8F:
            c = static_cast<char>(0xC5);
            break;
        case 0x91:
        case 0x92:
            c = static_cast<char>(0xC6);
            break;
        case 0x9B:
        case 0x9D:
            c = static_cast<char>(0xD8);
            break;
        default:
            c = upperAscii(c);
        }
    }
    return out;
}

std::string ansiUpper(std::string_view cp1252) {
    std::string out(cp1252);
    for (char& c : out) {
        switch (static_cast<std::uint8_t>(c)) {
        case 0xE5:
            c = static_cast<char>(0xC5);
            break;
        case 0xE6:
            c = static_cast<char>(0xC6);
            break;
        case 0xF8:
            c = static_cast<char>(0xD8);
            break;
        default:
            c = upperAscii(c);
        }
    }
    return out;
}

void appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

long decodeUtf8(std::string_view s, std::size_t& i) {
    const auto b0 = static_cast<unsigned char>(s[i]);
    if (b0 < 0x80) {
        ++i;
        return b0;
    }
    int len;
    char32_t cp;
    char32_t min;
    if ((b0 & 0xE0) == 0xC0) {
        len = 2, cp = b0 & 0x1F, min = 0x80;
    } else if ((b0 & 0xF0) == 0xE0) {
        len = 3, cp = b0 & 0x0F, min = 0x800;
    } else if ((b0 & 0xF8) == 0xF0) {
        len = 4, cp = b0 & 0x07, min = 0x10000;
    } else {
        ++i;
        return -1;
    }
    if (i + len > s.size()) {
        ++i;
        return -1;
    }
    for (int k = 1; k < len; ++k) {
        const auto b = static_cast<unsigned char>(s[i + k]);
        if ((b & 0xC0) != 0x80) {
            ++i;
            return -1;
        }
        cp = (cp << 6) | (b & 0x3F);
    }
    if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
        ++i;
        return -1;
    }
    i += len;
    return static_cast<long>(cp);
}

std::string dosToAnsi(std::string_view cp865) {
    std::string out(cp865);
    for (auto& c : out)
        for (const auto& p : kNordic)
            if (static_cast<unsigned char>(c) == p.dos) {
                c = static_cast<char>(p.ansi);
                break;
            }
    return out;
}

std::string ansiToDos(std::string_view cp1252) {
    std::string out(cp1252);
    for (auto& c : out)
        for (const auto& p : kNordic)
            if (static_cast<unsigned char>(c) == p.ansi) {
                c = static_cast<char>(p.dos);
                break;
            }
    return out;
}

char32_t cp865ToUnicode(std::uint8_t byte) {
    return byte < 0x80 ? char32_t{byte} : char32_t{kCp865High[byte - 0x80]};
}

int unicodeToCp865(char32_t cp) {
    if (cp < 0x80)
        return static_cast<int>(cp);
    for (std::size_t i = 0; i < kCp865High.size(); ++i)
        if (kCp865High[i] == cp)
            return static_cast<int>(0x80 + i);
    return -1;
}

char32_t cp1252ToUnicode(std::uint8_t byte) {
    return (byte >= 0x80 && byte < 0xA0) ? char32_t{kCp1252C1[byte - 0x80]} : char32_t{byte};
}

int unicodeToCp1252(char32_t cp) {
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<int>(cp);
    for (std::size_t i = 0; i < kCp1252C1.size(); ++i)
        if (kCp1252C1[i] == cp)
            return static_cast<int>(0x80 + i);
    return -1;
}

void appendCp865AsUtf8(std::string& out, std::string_view cp865) {
    for (char c : cp865) {
        const auto byte = static_cast<std::uint8_t>(c);
        if (byte < 0x80)
            out += c;
        else
            appendUtf8(out, kCp865High[byte - 0x80]);
    }
}

std::string cp865ToUtf8(std::string_view cp865) {
    std::string out;
    out.reserve(cp865.size() * 2);
    appendCp865AsUtf8(out, cp865);
    return out;
}

std::string cp1252ToUtf8(std::string_view cp1252) {
    std::string out;
    out.reserve(cp1252.size() * 2);
    for (char c : cp1252)
        appendUtf8(out, cp1252ToUnicode(static_cast<std::uint8_t>(c)));
    return out;
}

std::string utf8ToCp1252(std::string_view utf8, char replacement) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        const long cp = decodeUtf8(utf8, i);
        const int b = cp < 0 ? -1 : unicodeToCp1252(static_cast<char32_t>(cp));
        out += b < 0 ? replacement : static_cast<char>(b);
    }
    return out;
}

} // namespace zorv
