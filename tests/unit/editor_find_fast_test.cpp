// The pass-speed find tests against the record test written the plain way:
// upper-case each field's text, then look for the text in it.

#include "editor/find.h"
#include "userfile/codepage.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

using namespace zorv;

namespace {

bool plainFieldHit(const Record& r, const TextField& f, const std::string& needle) {
    return !needle.empty() && dosUpper(rawText(r, f)).find(needle) != std::string::npos;
}

bool plainFindTab(const Record& r, const FindCriteria& c) {
    const unsigned status = r[142];
    if (!c.anyField())
        return c.statusItem > 0 && static_cast<unsigned>(c.statusItem - 1) == status;
    const std::string needle = ansiUpper(searchWorkText(c.text));
    const bool hit = (c.name && plainFieldHit(r, kName, needle)) ||
                     (c.address && plainFieldHit(r, kAddress, needle)) ||
                     (c.city && plainFieldHit(r, kPostnr, needle)) ||
                     (c.phone && plainFieldHit(r, kTlf, needle)) ||
                     (c.birth && plainFieldHit(r, kBirth, needle)) ||
                     (c.limit && !needle.empty() &&
                      std::to_string(readNumber(r, kLimit)).find(needle) != std::string::npos);
    return hit && (c.statusItem == 0 || static_cast<unsigned>(c.statusItem - 1) == status);
}

} // namespace

TEST(FindFast, AgreesWithThePlainRecordTestOnRandomRecords) {
    // A small alphabet with both cases and the Nordic letters of both code
    // pages, so that hits, near misses and overlapping starts are common.
    const std::string dosAlphabet = "aAbB1 \x86\x8F\x91\x92\x9B\x9D\xC5\xE5";
    const std::string ansiAlphabet = "aAbB1 \xE5\xE6\xF8\xC5\xC6\xD8\x86";
    std::mt19937 rng(1402);
    int hits = 0;
    for (int i = 0; i < 20000; ++i) {
        Record r{};
        for (std::size_t at = 0; at < 142; ++at) // the texts, NULs now and then
            r[at] = rng() % 12 == 0 ? 0 : static_cast<std::uint8_t>(dosAlphabet[rng() % 14]);
        r[142] = static_cast<std::uint8_t>(rng() % 5);
        writeNumber(r, kLimit, static_cast<std::int32_t>(rng() % 300));
        FindCriteria c;
        c.text.resize(rng() % 4);
        for (char& ch : c.text)
            ch = ansiAlphabet[rng() % 13];
        c.name = rng() % 2;
        c.address = rng() % 3 == 0;
        c.city = rng() % 3 == 0;
        c.phone = rng() % 3 == 0;
        c.birth = rng() % 3 == 0;
        c.limit = rng() % 4 == 0;
        c.statusItem = static_cast<int>(rng() % 5);
        const bool expected = plainFindTab(r, c);
        ASSERT_EQ(FindTabTest(c)(r), expected) << "case " << i;
        ASSERT_EQ(findTabMatches(r, c), expected) << "case " << i;
        hits += expected;
    }
    EXPECT_GT(hits, 1000) << "too few hits to prove anything";
}
