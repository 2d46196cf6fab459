#include "editor/find.h"

#include "userfile/blockreader.h"
#include "userfile/codepage.h"
#include "userfile/workingcopy.h"

#include <algorithm>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <cstdint>

namespace zorv {

namespace {

bool contains(std::string_view haystack, std::string_view needle) {
    return !needle.empty() && haystack.find(needle) != std::string_view::npos;
}

} // namespace

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

// Bit i set where byte i of the field may begin the needle: it folds to the
// needle's first letter and stands before the text's end (first NUL or the
// array's end). Whole fields in two 16-byte compares where the machine has them.
std::uint32_t candidates(const Record& r, const TextField& f, std::string_view firsts) {
    const std::uint8_t* p = r.data() + f.offset;
#if defined(__SSE2__)
    if (f.offset + 32 <= kRecordSize && f.width <= 32) {
        const __m128i lo = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i hi = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        const auto mask = [&](__m128i v) {
            return static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(lo, v))) |
                   static_cast<std::uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(hi, v))) << 16;
        };
        std::uint32_t limit = f.width >= 32 ? ~0u : (1u << f.width) - 1;
        const std::uint32_t nul = mask(_mm_setzero_si128()) & limit;
        if (nul != 0)
            limit &= (nul & (0u - nul)) - 1; // the bits below the first NUL
        std::uint32_t hits = 0;
        for (const char b : firsts)
            hits |= mask(_mm_set1_epi8(b));
        return hits & limit;
    }
#endif
    std::uint32_t hits = 0;
    for (std::size_t i = 0; i < f.width && p[i] != 0; ++i)
        if (firsts.find(static_cast<char>(p[i])) != std::string_view::npos)
            hits |= 1u << i;
    return hits;
}

// contains(dosUpper(text), needle) without building the upper-cased text. The
// needle holds no NUL, so a match never runs past the text's end.
bool upperFieldContains(const Record& r, const TextField& f, std::string_view needle,
                        std::string_view firsts) {
    static_assert(sizeof(std::uint32_t) * 8 >= 30, "the widest text field");
    const std::size_t m = needle.size();
    if (m == 0 || m > f.width)
        return false;
    const std::uint8_t* p = r.data() + f.offset;
    const char* map = dosUpperTable().map;
    for (std::uint32_t c = candidates(r, f, firsts); c != 0; c &= c - 1) {
        const auto i = static_cast<std::size_t>(__builtin_ctz(c));
        if (i + m > f.width)
            return false;
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
    : c_(c), needle_(ansiUpper(searchWorkText(c.text))) {
    if (!needle_.empty())
        for (int b = 1; b < 256; ++b)
            if (dosUpperTable().map[b] == needle_[0])
                firsts_ += static_cast<char>(b);
}

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
    return (c_.name && upperFieldContains(r, kName, needle_, firsts_)) ||
           (c_.address && upperFieldContains(r, kAddress, needle_, firsts_)) ||
           (c_.city && upperFieldContains(r, kPostnr, needle_, firsts_)) ||
           (c_.phone && upperFieldContains(r, kTlf, needle_, firsts_)) ||
           (c_.birth && upperFieldContains(r, kBirth, needle_, firsts_)) ||
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
