#include "find.h"

#include "userfile/blockreader.h"
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

namespace {

// dosUpper as a table, for the per-record pass.
struct DosUpperTable {
    char map[256];
    DosUpperTable() {
        for (int b = 0; b < 256; ++b) {
            const char c = static_cast<char>(b);
            map[b] = dosUpper(std::string_view(&c, 1))[0];
        }
    }
};

const DosUpperTable& dosUpperTable() {
    static const DosUpperTable table;
    return table;
}

// contains(dosUpper(text), needle) in one pass, without building the
// upper-cased text. The text ends at its first NUL or at the end of its
// array; the needle holds no NUL, so a match never runs past a NUL.
bool upperFieldContains(const Record& r, const TextField& f, std::string_view needle) {
    const std::uint8_t* p = r.data() + f.offset;
    const char* map = dosUpperTable().map;
    const std::size_t width = f.width;
    const std::size_t m = needle.size();
    if (m == 0 || m > width)
        return false;
    for (std::size_t i = 0; i + m <= width && p[i] != 0; ++i) {
        if (map[p[i]] != needle[0])
            continue;
        std::size_t k = 1;
        while (k < m && map[p[i + k]] == needle[k])
            ++k;
        if (k == m)
            return true;
    }
    return false;
}

} // namespace

FindTabTest::FindTabTest(const FindCriteria& c)
    : c_(c), needle_(ansiUpper(searchWorkText(c.text))) {}

bool FindTabTest::operator()(const Record& r) const {
    const unsigned status = readCode(r, kStatus);
    if (!c_.anyField())
        return c_.statusItem > 0 && static_cast<unsigned>(c_.statusItem - 1) == status;
    if (c_.statusItem != 0 && static_cast<unsigned>(c_.statusItem - 1) != status)
        return false;
    if (needle_.empty())
        return false;
    // The first ticked field that holds the text decides; the order does not
    // change the answer.
    return (c_.name && upperFieldContains(r, kName, needle_)) ||
           (c_.address && upperFieldContains(r, kAddress, needle_)) ||
           (c_.city && upperFieldContains(r, kPostnr, needle_)) ||
           (c_.phone && upperFieldContains(r, kTlf, needle_)) ||
           (c_.birth && upperFieldContains(r, kBirth, needle_)) ||
           (c_.limit && contains(std::to_string(readNumber(r, kLimit)), needle_));
}

bool findTabMatches(const Record& r, const FindCriteria& c) {
    return FindTabTest(c)(r);
}

DialogNameTest::DialogNameTest(std::string_view cp1252Text) : needle_(searchWorkText(cp1252Text)) {
    std::transform(needle_.begin(), needle_.end(), needle_.begin(), upperAscii);
}

bool DialogNameTest::operator()(const Record& r) const {
    return contains(rawText(r, kName), needle_);
}

bool dialogNameMatches(const Record& r, std::string_view cp1252Text) {
    return DialogNameTest(cp1252Text)(r);
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
    BlockReader reader(wc);
    reader.seek(start);
    while (const Record* r = reader.next()) {
        if (test(*r)) {
            buffer = *r;
            return reader.index();
        }
    }
    return -1;
}

} // namespace zorv
