// Code pages and the number text rule.
#include "userfile/codepage.h"
#include "userfile/errors.h"
#include "userfile/numtext.h"

#include <gtest/gtest.h>

#include <set>

using namespace zorv;

TEST(CodePage, DosAnsiConvertExactlyTheSixLetters) {
    const std::string dos = "\x8F\x92\x9D\x86\x91\x9B";
    const std::string ansi = "\xC5\xC6\xD8\xE5\xE6\xF8";
    EXPECT_EQ(dosToAnsi(dos), ansi);
    EXPECT_EQ(ansiToDos(ansi), dos);
    for (int b = 0; b < 256; ++b) {
        const std::string one(1, static_cast<char>(b));
        if (dos.find(one) == std::string::npos) {
            EXPECT_EQ(dosToAnsi(one), one) << "byte " << b;
        }
        if (ansi.find(one) == std::string::npos) {
            EXPECT_EQ(ansiToDos(one), one) << "byte " << b;
        }
    }
    EXPECT_EQ(dosToAnsi(std::string("a\0\x9B", 3)), std::string("a\0\xF8", 3));
}

TEST(CodePage, Cp865AgreesWithCp1252OnTheNordicLetters) {
    const std::pair<std::uint8_t, std::uint8_t> pairs[] = {
        {0x8F, 0xC5}, {0x92, 0xC6}, {0x9D, 0xD8}, {0x86, 0xE5}, {0x91, 0xE6}, {0x9B, 0xF8}};
    for (auto [dos, ansi] : pairs)
        EXPECT_EQ(cp865ToUnicode(dos), cp1252ToUnicode(ansi)) << int(dos);
}

TEST(CodePage, Cp865TableIsCompleteAndOneToOne) {
    std::set<char32_t> seen;
    for (int b = 0; b < 256; ++b)
        seen.insert(cp865ToUnicode(static_cast<std::uint8_t>(b)));
    EXPECT_EQ(seen.size(), 256u);
    EXPECT_EQ(cp865ToUnicode('A'), U'A');
    EXPECT_EQ(cp865ToUnicode(0x80), U'\u00C7');
    EXPECT_EQ(cp865ToUnicode(0x9E), U'\u20A7'); // peseta
    EXPECT_EQ(cp865ToUnicode(0xAF), U'\u00A4'); // where cp437 has »
    EXPECT_EQ(cp865ToUnicode(0xB3), U'\u2502');
    EXPECT_EQ(cp865ToUnicode(0xE1), U'\u00DF');
    EXPECT_EQ(cp865ToUnicode(0xFF), U'\u00A0');
}

TEST(CodePage, Cp1252RoundTripsEveryByte) {
    for (int b = 0; b < 256; ++b)
        EXPECT_EQ(unicodeToCp1252(cp1252ToUnicode(static_cast<std::uint8_t>(b))), b) << b;
    EXPECT_EQ(cp1252ToUnicode(0x80), U'\u20AC');
    EXPECT_EQ(cp1252ToUnicode(0x9F), U'\u0178');
    for (std::uint8_t undefined : {0x81, 0x8D, 0x8F, 0x90, 0x9D})
        EXPECT_EQ(cp1252ToUnicode(undefined), char32_t{undefined});
    EXPECT_EQ(unicodeToCp1252(U'\u0080'), -1); // a C1 control cp1252 does not hold
    EXPECT_EQ(unicodeToCp1252(U'\u0100'), -1);
    EXPECT_EQ(unicodeToCp1252(U'\u2019'), 0x92);
}

TEST(CodePage, Utf8Conversions) {
    EXPECT_EQ(cp865ToUtf8("BJ\x9BRN \x86"), "BJ\xC3\xB8RN \xC3\xA5");
    EXPECT_EQ(cp865ToUtf8("\xC9"), "\xE2\x95\x94"); // box corner, three bytes
    EXPECT_EQ(cp1252ToUtf8("\x80 \xF8"), "\xE2\x82\xAC \xC3\xB8");
    EXPECT_EQ(utf8ToCp1252("\xE2\x82\xAC \xC3\xB8"), "\x80 \xF8");
    EXPECT_EQ(utf8ToCp1252("a\xF0\x9F\x98\x80z"), "a?z"); // one character, one replacement
    EXPECT_EQ(utf8ToCp1252("\xC4\x80", '#'), "#");
}

TEST(CodePage, MalformedUtf8BecomesReplacements) {
    EXPECT_EQ(utf8ToCp1252("a\xC3"), "a?");              // cut short
    EXPECT_EQ(utf8ToCp1252("\xC0\xAF"), "??");           // overlong
    EXPECT_EQ(utf8ToCp1252("\xED\xA0\x80"), "???");      // surrogate
    EXPECT_EQ(utf8ToCp1252("\xF4\x90\x80\x80"), "????"); // above U+10FFFF
    EXPECT_EQ(utf8ToCp1252("\xFFok"), "?ok");
    EXPECT_EQ(utf8ToCp1252("\xC3z"), "?z"); // a lead byte must not swallow the next character
}

TEST(CodePage, StoredTextFoldsForSearchTheSixNordicLettersToWindowCapitals) {
    EXPECT_EQ(dosUpper("\x86\x8F\x91\x92\x9B\x9D"), "\xC5\xC5\xC6\xC6\xD8\xD8");
    EXPECT_EQ(dosUpper("smith j. 1a-z{}"), "SMITH J. 1A-Z{}");
    // Other high bytes (cp865 ü, é; cp1252 letters) are left alone.
    EXPECT_EQ(dosUpper("\x81\x82\xE5\xF8"), "\x81\x82\xE5\xF8");
}

TEST(CodePage, TypedTextFoldsForSearchOnlyAsciiAndTheThreeSmallNordicLetters) {
    EXPECT_EQ(ansiUpper("\xE5\xE6\xF8 bj\xF8rn"), "\xC5\xC6\xD8 BJ\xD8RN");
    EXPECT_EQ(ansiUpper("\xC5\xC6\xD8"), "\xC5\xC6\xD8");
    // ä, ö, é and the cp865 bytes stay as typed.
    EXPECT_EQ(ansiUpper("\xE4\xF6\xE9\x86\x9B"), "\xE4\xF6\xE9\x86\x9B");
}

TEST(NumberText, AcceptsBlanksSignAndHex) {
    const std::pair<const char*, std::int32_t> ok[] = {
        {"0", 0},
        {"42", 42},
        {"   42", 42},
        {"+42", 42},
        {"-42", -42},
        {"007", 7},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"$ff", 255},
        {"$FF", 255},
        {"-$10", -16},
        {"0x1A", 26},
        {"0X1a", 26},
        {"$7FFFFFFF", INT32_MAX},
        {"$80000000", INT32_MIN},
        {"$FFFFFFFF", -1},
        {"$000000000001", 1}, // leading zeros do not count against the 8 digits
        {"  -$1", -1},
        {"00000000000000000042", 42},
    };
    for (auto [text, value] : ok) {
        std::int32_t v = 12345;
        EXPECT_TRUE(tryParseInteger(text, v)) << text;
        EXPECT_EQ(v, value) << text;
        EXPECT_EQ(parseInteger(text), value) << text;
    }
}

TEST(NumberText, RefusesEverythingElse) {
    const char* bad[] = {
        "",           " ",          "-",   "+",   "$",   "0x",         "12 ",         "1 2",
        "- 1",        "12a",        "a12", "1.5", "1e3", "2147483648", "-2147483649", "99999999999",
        "$100000000", "$FFFFFFFFF", "--1", "+-1", "$-1", "\t1",        "0x-1",        "$G",
        "٣"};
    for (const char* text : bad) {
        std::int32_t v = 77;
        EXPECT_FALSE(tryParseInteger(text, v)) << "'" << text << "'";
        EXPECT_EQ(v, 77) << "output changed for '" << text << "'";
    }
    std::int32_t v = 0;
    EXPECT_FALSE(tryParseInteger(std::string_view("1\0"
                                                  "2",
                                                  3),
                                 v)); // an embedded NUL
}

TEST(NumberText, ErrorNamesTheTextAsTyped) {
    try {
        parseInteger(" 12x");
        FAIL() << "no error";
    } catch (const ConvertError& e) {
        EXPECT_STREQ(e.what(), "' 12x' is not a valid integer value");
    }
    EXPECT_THROW(parseInteger(""), ConvertError);
}

TEST(IoErrors, TextsAndErrnoMapping) {
    EXPECT_STREQ(IoError(2).what(), "File not found");
    EXPECT_STREQ(IoError(3).what(), "Invalid filename");
    EXPECT_STREQ(IoError(4).what(), "Too many open files");
    EXPECT_STREQ(IoError(5).what(), "File access denied");
    EXPECT_STREQ(IoError(100).what(), "Read beyond end of file");
    EXPECT_STREQ(IoError(101).what(), "Disk full");
    EXPECT_STREQ(IoError(103).what(), "I/O error 103");
    const std::pair<int, int> map[] = {
        {ENOENT, 2},   {ENAMETOOLONG, 3}, {EINVAL, 3}, {EMFILE, 4},   {ENFILE, 4},
        {EACCES, 5},   {EPERM, 5},        {EROFS, 5},  {ENOSPC, 101},
#ifdef EDQUOT // not on Windows
        {EDQUOT, 101},
#endif
    };
    for (auto [err, code] : map)
        EXPECT_EQ(ioErrorFromErrno(err).code(), code) << err;
    // EIO is errno 5: it must not pass for "File access denied".
    const IoError eio = ioErrorFromErrno(EIO);
    EXPECT_NE(eio.code(), kFileAccessDenied);
    EXPECT_EQ(std::string(eio.what()), "I/O error " + std::to_string(eio.code()));
}
