// The record's fields one by one, and the merge of the operator's changes
// into what the board holds.

#include "userfile/fields.h"
#include "userfile/record.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace zorv;

namespace {

// Every byte set, so that a byte a merge fails to carry shows.
Record busy(std::uint8_t salt) {
    Record r{};
    for (std::size_t k = 0; k < kRecordSize; ++k)
        r[k] = static_cast<std::uint8_t>(salt + 3 * k);
    writeText(r, kName, "OLA");
    writeText(r, kPostnr, "OSLO");
    return r;
}

bool inRanges(std::size_t byte, std::initializer_list<std::pair<std::size_t, std::size_t>> rs) {
    for (const auto& [first, last] : rs)
        if (byte >= first && byte <= last)
            return true;
    return false;
}

std::string conflictsOf(const FieldMerge& m) {
    std::string out;
    for (const FieldConflict& c : m.conflicts)
        out += std::string(c.field->name) + "=" + c.mine + "/" + c.board + ";";
    return out;
}

} // namespace

TEST(UserFields, EveryShownBitBelongsToExactlyOneFieldAndNoHiddenBitToAny) {
    std::set<std::string> names;
    int owners[kRecordSize][8] = {};
    for (const UserField& f : userFields()) {
        EXPECT_TRUE(names.insert(f.name).second) << "two fields named " << f.name;
        EXPECT_EQ(findUserField(f.name), &f);
        for (std::size_t i = f.offset; i < f.offset + f.width; ++i)
            for (int bit = 0; bit < 8; ++bit)
                if (f.mask & (1u << bit))
                    ++owners[i][bit];
    }
    for (std::size_t i = 0; i < kRecordSize; ++i) {
        const bool reserved = inRanges(i, {{30, 45},
                                           {155, 156},
                                           {165, 168},
                                           {173, 176},
                                           {181, 184},
                                           {189, 192},
                                           {197, 200},
                                           {205, 208},
                                           {213, 216},
                                           {221, 224},
                                           {237, 240},
                                           {249, 272}});
        for (int bit = 0; bit < 8; ++bit) {
            // security bits 8-29, userflags bits 13-31
            const int securityBit = i >= 229 && i < 233 ? static_cast<int>(i - 229) * 8 + bit : -1;
            const int flagBit = i >= 233 && i < 237 ? static_cast<int>(i - 233) * 8 + bit : -1;
            const bool hidden =
                reserved || (securityBit >= 8 && securityBit <= 29) || flagBit >= 13;
            EXPECT_EQ(owners[i][bit], hidden ? 0 : 1) << "byte " << i << " bit " << bit;
        }
    }
    EXPECT_EQ(findUserField("security"), nullptr);
    EXPECT_EQ(findUserField("userflags"), nullptr);
    EXPECT_EQ(findUserField("reserved30"), nullptr);
}

TEST(UserFields, ValuesReadAsTheWindowShowsThem) {
    Record r{};
    writeText(r, kName, "BJ\xF8RN"); // cp1252 ø, stored as cp865 0x9B
    writeNumber(r, kTleft, -5);
    writeNumber(r, kTimebank, -1);
    writeCode(r, kTtype, 3); // item "VT320": code 2 has no item
    writeCode(r, kEditor, 9);
    writeSecurity(r, 200, 3);
    writeUserflags(r, kExpertMenus | kColors); // Insertck's bit clear: ticked
    putU32(r, kLastcallOffset,
           (19u << 25) | (3u << 21) | (3u << 16) | (14u << 11) | (5u << 5) | 4u);
    auto text = [&r](const char* name) { return fieldText(r, *findUserField(name)); };
    EXPECT_EQ(text("Name"), "BJ\xC3\xB8RN");
    EXPECT_EQ(text("tleft"), "-5");
    EXPECT_EQ(text("timebank"), "65535");
    EXPECT_EQ(text("ttype"), "VT320");
    EXPECT_EQ(text("editor"), "code 9");
    EXPECT_EQ(text("sysop"), "200");
    EXPECT_EQ(text("access"), "Up & Down");
    EXPECT_EQ(text("menulev"), "Expert");
    EXPECT_EQ(text("Colors"), "on");
    EXPECT_EQ(text("Silent"), "off");
    EXPECT_EQ(text("Insertck"), "on");
    EXPECT_EQ(text("flash"), "on");
    EXPECT_EQ(text("lastcall"), "14:05:08, 03.03.1999");
}

TEST(UserFields, ATextIsItsCharactersUpToTheNul) {
    const UserField& name = *findUserField("Name");
    Record a = busy(1);
    writeText(a, kName, "ANDERSEN");
    Record b = a;
    writeText(b, kName, "AB"); // "AB", NUL, "DERSEN", NUL
    EXPECT_TRUE(fieldDiffers(a, b, name));
    Record tail = a;
    tail[20] ^= 0x55; // after the NUL: no change of the text
    EXPECT_FALSE(fieldDiffers(a, tail, name));

    // A copy takes the characters and the NUL, and keeps what lay after it.
    Record to = busy(9);
    writeText(to, kName, "A LONGER NAME HERE");
    const Record before = to;
    copyField(b, to, name);
    EXPECT_EQ(readText(to, kName), "AB");
    for (std::size_t i = 3; i < kRecordSize; ++i)
        EXPECT_EQ(to[i], before[i]) << i;

    // A text filling its array has no NUL to copy.
    Record full = a;
    for (std::size_t i = 0; i < 30; ++i)
        full[i] = static_cast<std::uint8_t>('A' + i % 26);
    copyField(full, to, name);
    EXPECT_EQ(std::string(rawText(to, kName)), std::string(rawText(full, kName)));
    EXPECT_EQ(to[30], before[30]);
}

TEST(FieldMerge, TheOperatorsFieldsGoOverTheBoardsRecord) {
    const Record loaded = busy(1);
    Record mine = loaded;
    writeNumber(mine, kLimit, 7);
    writeCode(mine, kTtype, 3);    // shares byte 143 with editor
    writeCode(mine, kReadmode, 2); // shares byte 147 with grab
    writeSecurity(mine, 44, readAccess(mine));
    writeUserflags(mine, readUserflags(mine) ^ kSilent);
    writeText(mine, kAddress, "MINE 1");

    Record board = loaded;
    writeText(board, kPostnr, "BERGEN");
    writeCode(board, kEditor, 2);
    writeCode(board, kGrab, 5);
    writeSecurity(board, readSysopLevel(board), (readAccess(board) + 1) & 3);
    putU32(board, kSecurityOffset, readSecurity(board) ^ 0x00123400u); // bits the board owns
    writeUserflags(board, readUserflags(board) ^ kColors);
    putU32(board, kUserflagsOffset, readUserflags(board) ^ 0x00100000u); // bit 20
    board[40] ^= 0xFF;                                                   // reserved
    writeNumber(board, kLogins, 1234);

    const FieldMerge m = mergeFields(loaded, mine, board);
    EXPECT_EQ(conflictsOf(m), "");
    EXPECT_EQ(m.keepingMine, m.keepingBoards);
    Record want = board;
    writeNumber(want, kLimit, 7);
    writeCode(want, kTtype, 3);
    writeCode(want, kReadmode, 2);
    want[kSecurityOffset] = 44;
    writeUserflags(want, readUserflags(want) ^ kSilent);
    writeText(want, kAddress, "MINE 1");
    EXPECT_EQ(m.keepingMine, want);
    EXPECT_EQ(readText(m.keepingMine, kPostnr), "BERGEN");
    EXPECT_EQ(readCode(m.keepingMine, kEditor), 2u);
    EXPECT_EQ(readCode(m.keepingMine, kGrab), 5u);
    EXPECT_EQ(readAccess(m.keepingMine), readAccess(board));
}

TEST(FieldMerge, BytesNoControlShowsAlwaysKeepTheBoards) {
    const Record loaded = busy(1);
    Record mine = loaded;
    mine[30] ^= 1;                                                   // reserved
    putU32(mine, kSecurityOffset, readSecurity(mine) ^ 0x00000100u); // bit 8
    putU32(mine, kUserflagsOffset, readUserflags(mine) ^ 0x80000000u);
    mine[kPostnr.offset + 10] ^= 1; // after the NUL of "OSLO"
    Record board = loaded;
    writeNumber(board, kKbup, 99);
    const FieldMerge m = mergeFields(loaded, mine, board);
    EXPECT_TRUE(m.conflicts.empty());
    EXPECT_EQ(m.keepingMine, board);
}

TEST(FieldMerge, OnlyAFieldBothChangedToDifferentValuesIsAConflict) {
    const Record loaded = busy(1);
    Record mine = loaded;
    writeNumber(mine, kLimit, 7);
    writeText(mine, kPostnr, "TROMS\xD8");
    writeUserflags(mine, readUserflags(mine) | kSilent);
    writeNumber(mine, kMsgleft, 3);
    Record board = loaded;
    writeNumber(board, kLimit, 9);
    writeText(board, kPostnr, "BOD\xD8");
    writeUserflags(board, readUserflags(board) | kSilent); // the same value: no conflict
    writeNumber(board, kDownf, 5);

    const FieldMerge m = mergeFields(loaded, mine, board);
    EXPECT_EQ(conflictsOf(m), "postnr=TROMS\xC3\x98/BOD\xC3\x98;limit=7/9;");
    EXPECT_EQ(readNumber(m.keepingMine, kLimit), 7);
    EXPECT_EQ(readText(m.keepingMine, kPostnr), "TROMS\xD8");
    EXPECT_EQ(readNumber(m.keepingBoards, kLimit), 9);
    EXPECT_EQ(readText(m.keepingBoards, kPostnr), "BOD\xD8");
    for (const Record* r : {&m.keepingMine, &m.keepingBoards}) {
        EXPECT_EQ(readNumber(*r, kMsgleft), 3) << "the operator's other change goes in either way";
        EXPECT_EQ(readNumber(*r, kDownf), 5);
        EXPECT_TRUE(readUserflags(*r) & kSilent);
    }
}
