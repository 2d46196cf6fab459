#include "find.h"

#include "userfile/workingcopy.h"

#include <algorithm>
#include <cstdint>

namespace zorv {

namespace {

char upperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

bool contains(std::string_view haystack, std::string_view needle) {
    return !needle.empty() && haystack.find(needle) != std::string_view::npos;
}

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

std::string searchWorkText(std::string_view cp1252) {
    const auto nul = cp1252.find('\0');
    if (nul != std::string_view::npos)
        cp1252 = cp1252.substr(0, nul);
    return std::string(cp1252.substr(0, kMaxSearchText));
}

bool findTabMatches(const Record& r, const FindCriteria& c) {
    const unsigned status = readCode(r, kStatus);
    if (!c.anyField())
        return c.statusItem > 0 && static_cast<unsigned>(c.statusItem - 1) == status;

    const std::string needle = ansiUpper(searchWorkText(c.text));
    bool hit = false;
    const auto textField = [&](bool ticked, const TextField& f) {
        if (ticked && contains(dosUpper(rawText(r, f)), needle))
            hit = true;
    };
    textField(c.name, kName);
    textField(c.address, kAddress);
    textField(c.city, kPostnr);
    textField(c.phone, kTlf);
    textField(c.birth, kBirth);
    if (c.limit && contains(std::to_string(readNumber(r, kLimit)), needle))
        hit = true;

    if (c.statusItem != 0 && static_cast<unsigned>(c.statusItem - 1) != status)
        return false;
    return hit;
}

bool dialogNameMatches(const Record& r, std::string_view cp1252Text) {
    std::string needle = searchWorkText(cp1252Text);
    std::transform(needle.begin(), needle.end(), needle.begin(), upperAscii);
    return contains(rawText(r, kName), needle);
}

int scanForward(int start, int count, const RecordReader& read, Record& buffer,
                const RecordTest& test) {
    for (int i = std::max(start, 0); i < count; ++i) {
        read(i, buffer);
        if (test(buffer))
            return i;
    }
    return -1;
}

int scanForward(const WorkingCopy& wc, int start, Record& buffer, const RecordTest& test) {
    return scanForward(
        start, wc.recordCount(), [&wc](int i, Record& b) { wc.readRecord(i, b); }, buffer, test);
}

} // namespace zorv
