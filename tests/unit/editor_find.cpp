#include "editor/find.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

using namespace zorv;

namespace {

// Raw bytes into a text array, NUL-ended when they leave room.
void putText(Record& r, std::size_t offset, std::size_t width, std::string_view bytes) {
    ASSERT_LE(bytes.size(), width);
    std::memcpy(r.data() + offset, bytes.data(), bytes.size());
    if (bytes.size() < width)
        r[offset + bytes.size()] = 0;
}

Record user(std::string_view name, unsigned status = 0) {
    Record r{};
    putText(r, 0, 30, name);
    r[142] = static_cast<std::uint8_t>(status);
    return r;
}

void putLimit(Record& r, unsigned limit) {
    r[159] = static_cast<std::uint8_t>(limit);
    r[160] = static_cast<std::uint8_t>(limit >> 8);
}

FindCriteria inName(std::string text, int statusItem = 0) {
    FindCriteria c;
    c.text = std::move(text);
    c.name = true;
    c.statusItem = statusItem;
    return c;
}

} // namespace

TEST(FindTab, NameMatchIgnoresCaseOfAsciiAndNordicLetters) {
    EXPECT_TRUE(findTabMatches(user("SMITH J"), inName("smith")));
    EXPECT_TRUE(findTabMatches(user("Mith"), inName("MITH")));
    // A typed ø or Ø finds a stored 0x9B or 0x9D.
    for (const char* typed : {"\xF8", "\xD8"}) {
        EXPECT_TRUE(findTabMatches(user("BJ\x9BRN"), inName(std::string("bj") + typed + "rn")));
        EXPECT_TRUE(findTabMatches(user("BJ\x9DRN"), inName(std::string("BJ") + typed)));
    }
    EXPECT_TRUE(findTabMatches(user("\x86SE"), inName("\xC5se")));
    EXPECT_TRUE(findTabMatches(user("\x92RE"), inName("\xE6re")));
    // A letter outside the six never folds: stored cp865 ä (0x84) vs typed ä/Ä.
    EXPECT_FALSE(findTabMatches(user("M\x84KI"), inName("m\xE4ki")));
    EXPECT_FALSE(findTabMatches(user("M\x84KI"), inName("M\xC4KI")));
    EXPECT_FALSE(findTabMatches(user("SMITH"), inName("")));
    EXPECT_FALSE(findTabMatches(user("SMITH"), inName("jones")));
}

TEST(FindTab, FullThirtyByteNameIsSearchedInItsArrayOnly) {
    Record r = user("ABCDEFGHIJKLMNOPQRSTUVWXYZ1234"); // 30 bytes, no NUL
    putText(r, 30, 16, "XYZZY");                       // the bytes right after the array
    EXPECT_TRUE(findTabMatches(r, inName("1234")));
    EXPECT_TRUE(findTabMatches(r, inName("abcdefghijklmnopqrstuvwxyz1234")));
    EXPECT_FALSE(findTabMatches(r, inName("1234X")));
    EXPECT_FALSE(findTabMatches(r, inName("XYZZY")));
}

TEST(FindTab, TextAfterTheNulNeverMatches) {
    Record r = user("AB");
    std::memcpy(r.data() + 3, "DERSEN", 6); // tail of an older, longer name
    EXPECT_FALSE(findTabMatches(r, inName("DERSEN")));
    EXPECT_TRUE(findTabMatches(r, inName("ab")));
}

TEST(FindTab, EachTickedFieldSearchesItsOwnArray) {
    Record r{};
    putText(r, 46, 30, "Storgata 1");
    putText(r, 76, 30, "0150 Oslo");
    putText(r, 106, 18, "22 33 44 55");
    putText(r, 124, 18, "01.02.1970");
    FindCriteria c;
    c.text = "oslo";
    EXPECT_FALSE(findTabMatches(r, [&] {
        auto x = c;
        x.address = true;
        x.name = true;
        return x;
    }()));
    EXPECT_TRUE(findTabMatches(r, [&] {
        auto x = c;
        x.city = true;
        return x;
    }()));
    c.text = "storgata";
    EXPECT_TRUE(findTabMatches(r, [&] {
        auto x = c;
        x.address = true;
        return x;
    }()));
    c.text = "33 44";
    EXPECT_TRUE(findTabMatches(r, [&] {
        auto x = c;
        x.phone = true;
        return x;
    }()));
    EXPECT_FALSE(findTabMatches(r, [&] {
        auto x = c;
        x.birth = true;
        return x;
    }()));
    c.text = "1970";
    EXPECT_TRUE(findTabMatches(r, [&] {
        auto x = c;
        x.birth = true;
        return x;
    }()));
}

TEST(FindTab, LimitIsSearchedAsDecimalText) {
    FindCriteria c;
    c.limit = true;
    c.text = "10";
    for (unsigned limit : {10u, 100u, 110u, 1000u, 65100u}) {
        Record r{};
        putLimit(r, limit);
        EXPECT_TRUE(findTabMatches(r, c)) << limit;
    }
    for (unsigned limit : {0u, 1u, 9u, 201u, 65535u}) {
        Record r{};
        putLimit(r, limit);
        EXPECT_FALSE(findTabMatches(r, c)) << limit;
    }
    Record zero{};
    c.text = "0";
    EXPECT_TRUE(findTabMatches(zero, c)); // 0 is written "0", not ""
    c.text = "00";
    EXPECT_FALSE(findTabMatches(zero, c)); // no leading zeros
    Record big{};
    putLimit(big, 65535);
    c.text = "65535";
    EXPECT_TRUE(findTabMatches(big, c)); // unsigned, never "-1"
    c.text = "-1";
    EXPECT_FALSE(findTabMatches(big, c));
    c.text = "5a";
    EXPECT_FALSE(findTabMatches(big, c));
}

TEST(FindTab, StatusOnlySearchWhenNoFieldIsTicked) {
    FindCriteria killed;
    killed.text = "ignored";
    killed.statusItem = 3; // "Killed" = status 2
    EXPECT_TRUE(findTabMatches(user("ANY", 2), killed));
    EXPECT_FALSE(findTabMatches(user("ANY", 0), killed));
    EXPECT_FALSE(findTabMatches(user("ANY", 3), killed));
    killed.text = "";
    EXPECT_TRUE(findTabMatches(user("ANY", 2), killed)); // the text plays no part

    FindCriteria dontCare;
    dontCare.text = "ANY";
    for (unsigned s : {0u, 1u, 2u, 3u, 200u})
        EXPECT_FALSE(findTabMatches(user("ANY", s), dontCare)) << s;
    dontCare.statusItem = -1; // no selection at all
    EXPECT_FALSE(findTabMatches(user("ANY", 0), dontCare));
}

TEST(FindTab, FieldsAreOredAndStatusIsAnded) {
    FindCriteria c = inName("ola", 1); // "Active"
    c.city = true;
    Record inCity = user("KARI", 0);
    putText(inCity, 76, 30, "Olafsby");
    EXPECT_TRUE(findTabMatches(inCity, c));
    EXPECT_TRUE(findTabMatches(user("OLA", 0), c));
    EXPECT_FALSE(findTabMatches(user("OLA", 1), c));
    EXPECT_FALSE(findTabMatches(user("KARI", 0), c));
    c.statusItem = 0;
    EXPECT_TRUE(findTabMatches(user("OLA", 3), c));
}

TEST(FindTab, SearchTextIsCutToThirtyCharacters) {
    const std::string name30 = "ABCDEFGHIJKLMNOPQRSTUVWXYZ1234";
    EXPECT_EQ(searchWorkText(name30 + "EXTRA"), name30);
    EXPECT_EQ(searchWorkText(std::string("AB\0CD", 5)), "AB");
    EXPECT_TRUE(findTabMatches(user(name30), inName(name30 + "whatever follows")));
}

TEST(FindDialog, UpperCasesTypedAsciiOnlyAndComparesStoredBytes) {
    EXPECT_TRUE(dialogNameMatches(user("OLA NORDMANN"), "ola"));
    EXPECT_TRUE(dialogNameMatches(user("KARI OLAVSEN"), "Ola"));
    // Stored lower case is found only where the upper-cased text occurs literally.
    EXPECT_FALSE(dialogNameMatches(user("ola nordmann"), "ola"));
    EXPECT_TRUE(dialogNameMatches(user("Ola NORDMANN"), "nord"));
    // Nordic letters are neither converted nor folded on either side.
    EXPECT_FALSE(dialogNameMatches(user("BJ\x9BRN"), "bj\xF8rn"));
    EXPECT_FALSE(dialogNameMatches(user("BJ\x9BRN"), "BJ\xD8RN"));
    EXPECT_TRUE(dialogNameMatches(user("BJ\x9BRN"), "bj\x9Brn"));
    EXPECT_FALSE(dialogNameMatches(user("OLA"), ""));
    // 30 bytes without a NUL: only the array counts.
    Record full = user("ABCDEFGHIJKLMNOPQRSTUVWXYZ1234");
    putText(full, 30, 16, "TAIL");
    EXPECT_TRUE(dialogNameMatches(full, "z1234"));
    EXPECT_FALSE(dialogNameMatches(full, "4TAIL"));
}

TEST(FindScan, ReturnsFirstHitFromStartAndLeavesItInTheBuffer) {
    const std::vector<Record> recs{user("OLA A"), user("KARI"), user("OLA B"), user("OLA C")};
    int reads = 0;
    const RecordReader read = [&](int i, Record& b) {
        ++reads;
        b = recs.at(static_cast<std::size_t>(i));
    };
    const RecordTest ola = [](const Record& r) { return dialogNameMatches(r, "ola"); };
    Record buf{};
    EXPECT_EQ(scanForward(0, 4, read, buf, ola), 0);
    EXPECT_EQ(scanForward(1, 4, read, buf, ola), 2);
    EXPECT_EQ(rawText(buf, kName), "OLA B");
    reads = 0;
    EXPECT_EQ(scanForward(3, 4, read, buf, ola), 3);
    EXPECT_EQ(reads, 1);
    reads = 0;
    EXPECT_EQ(scanForward(4, 4, read, buf, ola), -1);
    EXPECT_EQ(scanForward(99, 4, read, buf, ola), -1);
    EXPECT_EQ(reads, 0); // past the end nothing is read
    EXPECT_EQ(scanForward(-1, 4, read, buf, ola), 0);
    const RecordTest none = [](const Record&) { return false; };
    reads = 0;
    EXPECT_EQ(scanForward(0, 4, read, buf, none), -1);
    EXPECT_EQ(reads, 4);
}
