#include "fieldedit.h"
#include "recordfields.h"

#include "userfile/codepage.h"
#include "userfile/codetables.h"
#include "userfile/numtext.h"

#include <array>
#include <charconv>
#include <cstdint>
#include <limits>

namespace zorvtool {
namespace {

using namespace zorv;

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return s;
}

// A whole decimal (or $hex) number within [lo, hi]. "$FFFF" is 65535 as its
// decimal is: a hex value never wraps into the field's negative half.
bool numberIn(const std::string& text, long long lo, long long hi, long long& out) {
    if (text.empty())
        return false;
    long long v = 0;
    if (text[0] == '$') {
        unsigned long long u = 0;
        const auto r = std::from_chars(text.data() + 1, text.data() + text.size(), u, 16);
        if (r.ec != std::errc() || r.ptr != text.data() + text.size() || text.size() == 1 ||
            u > static_cast<unsigned long long>(std::numeric_limits<long long>::max()))
            return false;
        v = static_cast<long long>(u);
    } else {
        const auto r = std::from_chars(text.data(), text.data() + text.size(), v);
        if (r.ec != std::errc() || r.ptr != text.data() + text.size())
            return false;
    }
    if (v < lo || v > hi)
        return false;
    out = v;
    return true;
}

std::string range(long long lo, long long hi) {
    return "a whole number from " + std::to_string(lo) + " to " + std::to_string(hi);
}

constexpr const TextField* kTexts[] = {&kName, &kAddress, &kPostnr, &kTlf, &kBirth};
constexpr const NumField* kNumbers[] = {&kPagel, &kNodeflt, &kTimelimit, &kTleft,   &kTimebank,
                                        &kLimit, &kLogins,  &kMsgleft,   &kMsgread, &kMsgdumped,
                                        &kUpf,   &kDownf,   &kKbup,      &kKbdown,  &kResume};
struct CodeItem {
    const CodeField* field;
    CodeListId list;
};
constexpr CodeItem kCodes[] = {
    {&kStatus, CodeListId::status}, {&kTtype, CodeListId::ttype},
    {&kEditor, CodeListId::editor}, {&kCharset, CodeListId::charset},
    {&kLang, CodeListId::lang},     {&kReadmode, CodeListId::readmode},
    {&kGrab, CodeListId::grab},     {&kPacking, CodeListId::packing},
    {&kProt, CodeListId::prot},
};

void limits(NumType t, long long& lo, long long& hi) {
    switch (t) {
    case NumType::U8:
        lo = 0, hi = 255;
        break;
    case NumType::U16:
        lo = 0, hi = 65535;
        break;
    case NumType::I16:
        lo = -32768, hi = 32767;
        break;
    case NumType::I32:
        lo = std::numeric_limits<std::int32_t>::min(),
        hi = std::numeric_limits<std::int32_t>::max();
        break;
    case NumType::U32:
        lo = 0, hi = std::numeric_limits<std::uint32_t>::max();
        break;
    }
}

void putNumber(Record& r, const NumField& f, long long v) {
    const auto u = static_cast<std::uint32_t>(v);
    const std::size_t bytes = f.type == NumType::U8                                ? 1
                              : (f.type == NumType::U16 || f.type == NumType::I16) ? 2
                                                                                   : 4;
    for (std::size_t i = 0; i < bytes; ++i)
        r[f.offset + i] = static_cast<std::uint8_t>(u >> (8 * i));
}

// The code for an item name of the list (case-insensitive), or kNoCode.
unsigned codeForName(CodeListId id, const std::string& value) {
    const auto& items = codeList(id).items;
    for (std::size_t i = 0; i < items.size(); ++i)
        if (lower(cp1252ToUtf8(items[i])) == lower(value))
            return itemToCode(id, static_cast<int>(i));
    return kNoCode;
}

std::string namesOf(CodeListId id) {
    std::string out;
    for (const auto& item : codeList(id).items)
        out += (out.empty() ? "" : ", ") + cp1252ToUtf8(item);
    return out;
}

std::optional<std::string> setText(Record& r, const TextField& f, const std::string& value) {
    std::string bytes;
    std::size_t i = 0;
    while (i < value.size()) {
        const long cp = decodeUtf8(value, i);
        const int b = cp < 0 ? -1 : unicodeToCp865(static_cast<char32_t>(cp));
        if (b <= 0)
            return "text in code page 865 (no '" +
                   (cp < 0 ? std::string("malformed UTF-8") : value) +
                   "' character it lacks, no NUL) of at most " + std::to_string(f.maxChars) +
                   " characters";
        char c = static_cast<char>(b);
        if (f.upperCase && c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
        bytes += c;
    }
    if (bytes.size() > f.maxChars)
        return "text of at most " + std::to_string(f.maxChars) + " characters";
    // The characters and one NUL; what follows in the array stays.
    for (std::size_t k = 0; k < bytes.size(); ++k)
        r[f.offset + k] = static_cast<std::uint8_t>(bytes[k]);
    r[f.offset + bytes.size()] = 0;
    return std::nullopt;
}

} // namespace

int parseStatusCode(const std::string& text) {
    for (std::size_t i = 0; i < kStatusNames.size(); ++i)
        if (lower(text) == kStatusNames[i])
            return static_cast<int>(i);
    long long v = 0;
    return numberIn(text, 0, 3, v) ? static_cast<int>(v) : -1;
}

std::optional<std::uint32_t> parseCallTime(const std::string& text) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, sec = 0;
    auto digits = [&text](std::size_t at, std::size_t n, int& out) {
        if (at + n > text.size())
            return false;
        out = 0;
        for (std::size_t i = at; i < at + n; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return false;
            out = out * 10 + (text[i] - '0');
        }
        return true;
    };
    if (!(text.size() == 10 || text.size() == 16 || text.size() == 19) || !digits(0, 4, y) ||
        text[4] != '-' || !digits(5, 2, mo) || text[7] != '-' || !digits(8, 2, d))
        return std::nullopt;
    if (text.size() >= 16 && (text[10] != 'T' || !digits(11, 2, h) || text[13] != ':' ||
                              !digits(14, 2, mi) || h > 23 || mi > 59))
        return std::nullopt;
    // The file keeps two-second steps: an odd second would be changed unasked.
    if (text.size() == 19 && (text[16] != ':' || !digits(17, 2, sec) || sec > 59 || sec % 2 != 0))
        return std::nullopt;
    static constexpr std::array<int, 12> kDays{31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (y < 1980 || y > 2107 || mo < 1 || mo > 12 || d < 1 || d > kDays[mo - 1] ||
        (mo == 2 && d == 29 && !leap))
        return std::nullopt;
    return static_cast<std::uint32_t>((y - 1980) << 25 | mo << 21 | d << 16 | h << 11 | mi << 5 |
                                      sec / 2);
}

std::optional<std::string> applyFieldEdit(Record& r, const std::string& field,
                                          const std::string& value) {
    for (const TextField* f : kTexts)
        if (field == f->name)
            return setText(r, *f, value);
    long long v = 0, lo = 0, hi = 0;
    for (const NumField* f : kNumbers)
        if (field == f->name) {
            limits(f->type, lo, hi);
            if (!numberIn(value, lo, hi, v))
                return range(lo, hi);
            putNumber(r, *f, v);
            return std::nullopt;
        }
    for (const CodeItem& c : kCodes)
        if (field == c.field->name) {
            // The status byte has room for more, but the board knows four.
            const bool status = c.list == CodeListId::status;
            const unsigned top = status ? 3 : c.field->mask;
            unsigned code = status && parseStatusCode(value) >= 0
                                ? static_cast<unsigned>(parseStatusCode(value))
                                : codeForName(c.list, value);
            if (code == kNoCode && numberIn(value, 0, top, v))
                code = static_cast<unsigned>(v);
            if (code == kNoCode)
                return "a code from 0 to " + std::to_string(top) + " or one of " + namesOf(c.list);
            writeCode(r, *c.field, code);
            return std::nullopt;
        }
    const std::uint32_t security = readSecurity(r);
    if (field == "sysop") {
        if (!numberIn(value, 0, 255, v))
            return range(0, 255);
        putU32(r, kSecurityOffset, (security & ~0xFFu) | static_cast<std::uint32_t>(v));
        return std::nullopt;
    }
    if (field == "access") {
        unsigned code = codeForName(CodeListId::access, value);
        if (code == kNoCode && numberIn(value, 0, 3, v))
            code = static_cast<unsigned>(v);
        if (code == kNoCode)
            return "a code from 0 to 3 or one of " + namesOf(CodeListId::access);
        putU32(r, kSecurityOffset, (security & 0x3FFFFFFFu) | code << 30);
        return std::nullopt;
    }
    if (field == "userflags") {
        if (!numberIn(value, 0, std::numeric_limits<std::uint32_t>::max(), v))
            return range(0, std::numeric_limits<std::uint32_t>::max());
        putU32(r, kUserflagsOffset, static_cast<std::uint32_t>(v));
        return std::nullopt;
    }
    if (field == "lastcall" || field == "firstcall") {
        const auto packed = parseCallTime(value);
        if (!packed)
            return "a date YYYY-MM-DD, YYYY-MM-DDTHH:MM or YYYY-MM-DDTHH:MM:SS (export's "
                   "lastcallISO; even seconds, as the file keeps them) from 1980 to 2107";
        putU32(r, field == "lastcall" ? kLastcallOffset : kFirstcallOffset, *packed);
        return std::nullopt;
    }
    return std::string("unknown field: the fields are those of show --json");
}

} // namespace zorvtool
