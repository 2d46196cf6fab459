#include "userfile/record.h"

#include "userfile/codepage.h"

#include <algorithm>

namespace zorv {

std::uint32_t getU32(const Record& r, std::size_t offset) {
    return std::uint32_t{r[offset]} | std::uint32_t{r[offset + 1]} << 8 |
           std::uint32_t{r[offset + 2]} << 16 | std::uint32_t{r[offset + 3]} << 24;
}

void putU32(Record& r, std::size_t offset, std::uint32_t v) {
    for (std::size_t i = 0; i < 4; ++i)
        r[offset + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

static std::uint16_t getU16(const Record& r, std::size_t offset) {
    return static_cast<std::uint16_t>(r[offset] | r[offset + 1] << 8);
}

std::string_view rawText(const Record& r, const TextField& f) {
    const auto* begin = reinterpret_cast<const char*>(r.data() + f.offset);
    const auto* end = std::find(begin, begin + f.width, '\0');
    return {begin, static_cast<std::size_t>(end - begin)};
}

std::string readText(const Record& r, const TextField& f) {
    return dosToAnsi(rawText(r, f));
}

void writeText(Record& r, const TextField& f, std::string_view cp1252) {
    std::string text(cp1252.substr(0, std::min(cp1252.size(), f.maxChars)));
    if (f.upperCase)
        for (auto& c : text)
            if (c >= 'a' && c <= 'z')
                c = static_cast<char>(c - 'a' + 'A');
    text = ansiToDos(text);
    std::copy(text.begin(), text.end(), r.begin() + static_cast<std::ptrdiff_t>(f.offset));
    r[f.offset + text.size()] = 0;
}

std::int64_t readNumber(const Record& r, const NumField& f) {
    switch (f.type) {
    case NumType::U8:
        return r[f.offset];
    case NumType::U16:
        return getU16(r, f.offset);
    case NumType::I16:
        return static_cast<std::int16_t>(getU16(r, f.offset));
    case NumType::I32:
        return static_cast<std::int32_t>(getU32(r, f.offset));
    case NumType::U32:
        return getU32(r, f.offset);
    }
    return 0;
}

void writeNumber(Record& r, const NumField& f, std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    switch (f.type) {
    case NumType::U8:
        r[f.offset] = static_cast<std::uint8_t>(bits);
        break;
    case NumType::U16:
    case NumType::I16:
        r[f.offset] = static_cast<std::uint8_t>(bits);
        r[f.offset + 1] = static_cast<std::uint8_t>(bits >> 8);
        break;
    case NumType::I32:
    case NumType::U32:
        putU32(r, f.offset, bits);
        break;
    }
}

unsigned readCode(const Record& r, const CodeField& f) {
    return (r[f.offset] >> f.shift) & f.mask;
}

void writeCode(Record& r, const CodeField& f, unsigned code) {
    const unsigned keep = r[f.offset] & ~(f.mask << f.shift);
    r[f.offset] = static_cast<std::uint8_t>(keep | ((code & f.mask) << f.shift));
}

std::uint32_t readSecurity(const Record& r) {
    return getU32(r, kSecurityOffset);
}
unsigned readSysopLevel(const Record& r) {
    return readSecurity(r) & 0xFF;
}
unsigned readAccess(const Record& r) {
    return readSecurity(r) >> 30;
}

void writeSecurity(Record& r, std::int32_t sysopLevel, unsigned access) {
    // A level above 255 would otherwise carry into bits the BBS owns.
    const std::uint32_t kept = readSecurity(r) & 0x3FFFFF00u;
    putU32(r, kSecurityOffset,
           kept | (static_cast<std::uint32_t>(sysopLevel) & 0xFFu) |
               (std::uint32_t{access & 3u} << 30));
}

std::uint32_t readUserflags(const Record& r) {
    return getU32(r, kUserflagsOffset);
}

void writeUserflags(Record& r, std::uint32_t flags) {
    putU32(r, kUserflagsOffset, (readUserflags(r) & ~kKnownUserFlags) | (flags & kKnownUserFlags));
}

std::uint32_t readLastcall(const Record& r) {
    return getU32(r, kLastcallOffset);
}
std::uint32_t readFirstcall(const Record& r) {
    return getU32(r, kFirstcallOffset);
}

} // namespace zorv
