#include "userfile/record.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

using namespace zorv;

namespace {

// A record whose byte i is (i * 7 + 3) & 0xFF, so every byte is recognisable.
Record patterned() {
    Record r{};
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i] = static_cast<std::uint8_t>(i * 7 + 3);
    return r;
}

// The offsets whose bytes differ between the records.
std::set<std::size_t> changedBytes(const Record& a, const Record& b) {
    std::set<std::size_t> out;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i])
            out.insert(i);
    return out;
}

std::set<std::size_t> range(std::size_t from, std::size_t width) {
    std::set<std::size_t> out;
    for (std::size_t i = from; i < from + width; ++i)
        out.insert(i);
    return out;
}

std::string bytesAt(const Record& r, std::size_t offset, std::size_t n) {
    return {reinterpret_cast<const char*>(r.data() + offset), n};
}

} // namespace

TEST(RecordLayout, FieldsAndReservedRangesTileAllBytes) {
    struct Span {
        std::size_t offset, width;
    };
    std::vector<Span> spans = {
        {kName.offset, kName.width},
        {30, 16}, // reserved30
        {kAddress.offset, kAddress.width},
        {kPostnr.offset, kPostnr.width},
        {kTlf.offset, kTlf.width},
        {kBirth.offset, kBirth.width},
        {kStatus.offset, 1},
        {kTtype.offset, 1}, // ttype and editor share it
        {kPagel.offset, 1},
        {kCharset.offset, 1},
        {kLang.offset, 1},
        {kReadmode.offset, 1}, // readmode and grab
        {kPacking.offset, 1},
        {kProt.offset, 1},
        {kNodeflt.offset, 1},
        {kTimelimit.offset, 2},
        {kTleft.offset, 2},
        {155, 2},
        {kTimebank.offset, 2},
        {kLimit.offset, 2},
        {kLogins.offset, 4},
        {165, 4},
        {kMsgleft.offset, 4},
        {173, 4},
        {kMsgread.offset, 4},
        {181, 4},
        {kMsgdumped.offset, 4},
        {189, 4},
        {kUpf.offset, 4},
        {197, 4},
        {kDownf.offset, 4},
        {205, 4},
        {kKbup.offset, 4},
        {213, 4},
        {kKbdown.offset, 4},
        {221, 4},
        {kResume.offset, 4},
        {kSecurityOffset, 4},
        {kUserflagsOffset, 4},
        {237, 4},
        {kLastcallOffset, 4},
        {kFirstcallOffset, 4},
        {249, 24},
    };
    std::size_t next = 0;
    for (const auto& s : spans) {
        EXPECT_EQ(s.offset, next) << "gap or overlap before offset " << s.offset;
        next = s.offset + s.width;
    }
    EXPECT_EQ(next, kRecordSize);
    EXPECT_EQ(kRecordSize, 273u);
}

TEST(RecordLayout, EachNumberWritesOnlyItsOwnBytesLittleEndian) {
    struct Case {
        NumField f;
        std::size_t width;
    };
    const std::vector<Case> cases = {
        {kPagel, 1}, {kNodeflt, 1}, {kTimelimit, 2}, {kTleft, 2},   {kTimebank, 2},
        {kLimit, 2}, {kLogins, 4},  {kMsgleft, 4},   {kMsgread, 4}, {kMsgdumped, 4},
        {kUpf, 4},   {kDownf, 4},   {kKbup, 4},      {kKbdown, 4},  {kResume, 4},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.f.name);
        const Record before = patterned();
        Record r = before;
        writeNumber(r, c.f, 0x12345678);
        EXPECT_EQ(changedBytes(before, r), range(c.f.offset, c.width));
        const std::string expected = std::string("\x78\x56\x34\x12", 4).substr(0, c.width);
        EXPECT_EQ(bytesAt(r, c.f.offset, c.width), expected);
    }
}

TEST(RecordLayout, NumbersReadWithTheirTypesSignedness) {
    Record r{};
    writeNumber(r, kPagel, 300); // low 8 bits
    EXPECT_EQ(readNumber(r, kPagel), 44);
    writeNumber(r, kNodeflt, -1);
    EXPECT_EQ(readNumber(r, kNodeflt), 255);
    writeNumber(r, kTimebank, -1);
    EXPECT_EQ(readNumber(r, kTimebank), 65535);
    writeNumber(r, kLimit, 70000);
    EXPECT_EQ(readNumber(r, kLimit), 70000 - 65536);
    writeNumber(r, kTleft, -5);
    EXPECT_EQ(readNumber(r, kTleft), -5);
    writeNumber(r, kTimelimit, 40000);
    EXPECT_EQ(readNumber(r, kTimelimit), 40000 - 65536);
    writeNumber(r, kLogins, INT32_MIN);
    EXPECT_EQ(readNumber(r, kLogins), INT32_MIN);
    EXPECT_EQ(bytesAt(r, 161, 4), std::string("\x00\x00\x00\x80", 4));
    writeNumber(r, kResume, -2);
    EXPECT_EQ(readNumber(r, kResume), -2);
}

TEST(RecordLayout, CodesShareTheirByteWithoutDisturbingTheOther) {
    Record r = patterned();
    const Record before = r;
    writeCode(r, kTtype, 4);
    writeCode(r, kEditor, 0xB);
    EXPECT_EQ(r[143], 0xB4);
    EXPECT_EQ(readCode(r, kTtype), 4u);
    EXPECT_EQ(readCode(r, kEditor), 0xBu);
    writeCode(r, kReadmode, 2);
    writeCode(r, kGrab, 6);
    EXPECT_EQ(r[147], 0x62);
    writeCode(r, kTtype, 0x1F); // only the nibble is stored
    EXPECT_EQ(r[143], 0xBF);
    writeCode(r, kStatus, 3);
    writeCode(r, kCharset, 10);
    writeCode(r, kLang, 2);
    writeCode(r, kPacking, 7);
    writeCode(r, kProt, 8);
    EXPECT_EQ(bytesAt(r, 142, 2), "\x03\xBF");
    EXPECT_EQ(bytesAt(r, 145, 5), "\x0A\x02\x62\x07\x08");
    EXPECT_EQ(changedBytes(before, r), (std::set<std::size_t>{142, 143, 145, 146, 147, 148, 149}));
}

TEST(RecordLayout, SecurityKeepsUninterpretedBitsAndStoresLevelAsEightBits) {
    Record r{};
    putU32(r, kSecurityOffset, 0x40ABCD07u); // access 1, level 7, bits 8-29 set
    EXPECT_EQ(readSysopLevel(r), 7u);
    EXPECT_EQ(readAccess(r), 1u);
    writeSecurity(r, 300, 3);
    EXPECT_EQ(readSecurity(r), 0xC0ABCD00u | 44u);
    EXPECT_EQ(readSysopLevel(r), 44u);
    EXPECT_EQ(readAccess(r), 3u);
    writeSecurity(r, -1, 0);
    EXPECT_EQ(readSecurity(r), 0x00ABCDFFu);
    EXPECT_EQ(bytesAt(r, 229, 4), std::string("\xFF\xCD\xAB\x00", 4));
}

TEST(RecordLayout, UserflagsKeepBitsThirteenAndUp) {
    Record r{};
    putU32(r, kUserflagsOffset, 0xDEAD0000u | kColors | kInsertOff);
    writeUserflags(r, kIndent | kReturnEnter | 0xFFFF0000u); // high bits of the argument ignored
    EXPECT_EQ(readUserflags(r), 0xDEAD0000u | kIndent | kReturnEnter);
    EXPECT_EQ(bytesAt(r, 233, 4), std::string("\x02\x10\xAD\xDE", 4));
}

TEST(RecordLayout, CallTimesAreReadFromTheirOffsets) {
    Record r{};
    putU32(r, kLastcallOffset, 0x11223344u);
    putU32(r, kFirstcallOffset, 0x55667788u);
    EXPECT_EQ(bytesAt(r, 241, 8), std::string("\x44\x33\x22\x11\x88\x77\x66\x55", 8));
    EXPECT_EQ(readLastcall(r), 0x11223344u);
    EXPECT_EQ(readFirstcall(r), 0x55667788u);
}

TEST(RecordLayout, WritingEveryFieldLeavesReservedBytesAlone) {
    const Record before = patterned();
    Record r = before;
    for (const auto* f : {&kName, &kAddress, &kPostnr, &kTlf, &kBirth})
        writeText(r, *f, "x");
    for (const auto* f :
         {&kPagel, &kNodeflt, &kTimelimit, &kTleft, &kTimebank, &kLimit, &kLogins, &kMsgleft,
          &kMsgread, &kMsgdumped, &kUpf, &kDownf, &kKbup, &kKbdown, &kResume})
        writeNumber(r, *f, 0);
    for (const auto* f :
         {&kStatus, &kTtype, &kEditor, &kCharset, &kLang, &kReadmode, &kGrab, &kPacking, &kProt})
        writeCode(r, *f, 0);
    writeSecurity(r, 0, 0);
    writeUserflags(r, 0);
    for (const auto& [from, width] : std::vector<std::pair<std::size_t, std::size_t>>{{30, 16},
                                                                                      {155, 2},
                                                                                      {165, 4},
                                                                                      {173, 4},
                                                                                      {181, 4},
                                                                                      {189, 4},
                                                                                      {197, 4},
                                                                                      {205, 4},
                                                                                      {213, 4},
                                                                                      {221, 4},
                                                                                      {237, 4},
                                                                                      {241, 8},
                                                                                      {249, 24}})
        EXPECT_EQ(bytesAt(r, from, width), bytesAt(before, from, width)) << "offset " << from;
}

TEST(RecordText, NameIsUpperCasedOnlyForAsciiLetters) {
    Record r{};
    writeText(r, kName, "ola nordmann");
    EXPECT_EQ(rawText(r, kName), "OLA NORDMANN");
    writeText(r, kName, "bj\xF8rn");
    EXPECT_EQ(rawText(r, kName), "BJ\x9BRN");
    EXPECT_EQ(readText(r, kName), "BJ\xF8RN");
    writeText(r, kAddress, "storgata 1");
    EXPECT_EQ(rawText(r, kAddress), "storgata 1");
}

TEST(RecordText, TextsAreCutToLeaveRoomForTheNul) {
    Record r = patterned();
    const Record before = r;
    writeText(r, kName, std::string(30, 'A'));
    EXPECT_EQ(rawText(r, kName), std::string(29, 'A'));
    EXPECT_EQ(r[29], 0);
    writeText(r, kTlf, "12345678901234567"); // 17 characters
    EXPECT_EQ(readText(r, kTlf), "1234567890123456");
    EXPECT_EQ(r[106 + 16], 0);
    EXPECT_EQ(r[106 + 17], before[106 + 17]); // the last byte of the array is untouched
    writeText(r, kBirth, std::string(20, '1'));
    EXPECT_EQ(readText(r, kBirth).size(), 17u);
    writeText(r, kPostnr, std::string(40, 'z'));
    EXPECT_EQ(readText(r, kPostnr), std::string(29, 'z'));
}

TEST(RecordText, ReadStopsAtNulOrWidth) {
    Record r{};
    for (std::size_t i = 0; i < 30; ++i)
        r[i] = 'N';
    r[30] = 'X'; // first reserved byte, not part of the name
    EXPECT_EQ(readText(r, kName), std::string(30, 'N'));
    for (std::size_t i = 106; i < 124; ++i)
        r[i] = '5';
    EXPECT_EQ(readText(r, kTlf), std::string(18, '5'));
    EXPECT_EQ(readText(r, kBirth), "");
}

TEST(RecordText, ShorterTextKeepsTheOldTailAfterItsNul) {
    Record r{};
    writeText(r, kName, "ANDERSEN");
    writeText(r, kName, "AB");
    // The new NUL lands on the old "D"; the rest and the old NUL stay.
    EXPECT_EQ(bytesAt(r, 0, 9), std::string("AB\0ERSEN\0", 9));
    EXPECT_EQ(readText(r, kName), "AB");
}

TEST(RecordText, AllSixNordicLettersConvertBothWays) {
    Record r{};
    writeText(r, kAddress, "\xC5\xC6\xD8\xE5\xE6\xF8 \xE9");
    EXPECT_EQ(rawText(r, kAddress), "\x8F\x92\x9D\x86\x91\x9B \xE9");
    EXPECT_EQ(readText(r, kAddress), "\xC5\xC6\xD8\xE5\xE6\xF8 \xE9");
}
