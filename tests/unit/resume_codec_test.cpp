// The line encoder against the program's decoder, the demo conference, and
// zorvtool resume.

#include "command.h"
#include "democonference.h"
#include "linecodec.h"
#include "resume/conference.h"

#include "tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;
using zorvtool::encodeCompressedLine;
using zorvtool::encodeLine;
using zorvtool::encodePlainLine;

namespace {

std::string decodeRecord(const std::string& record) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(record.data());
    EXPECT_EQ(record.size(), 1u + (p[0] & 0x7Fu)) << "record length and header disagree";
    return zorv::decodeLine(p[0], p + 1, record.size() - 1);
}

std::vector<char> weightedChars() {
    std::vector<char> out;
    for (int c = 32; c < 256; ++c)
        if (zorv::kLetterWeights[static_cast<std::size_t>(c - 32)] != 0)
            out.push_back(static_cast<char>(c));
    return out;
}

std::size_t codeBits(const std::string& line) {
    std::size_t bits = 0;
    for (const char c : line)
        bits +=
            static_cast<std::size_t>(zorvtool::charCodes()[static_cast<unsigned char>(c)].length);
    return bits;
}

using zorvtest::TempDir;

std::string slurp(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

} // namespace

TEST(ResumeCodec, EveryWeightedCharacterRoundTrips) {
    const auto chars = weightedChars();
    ASSERT_EQ(chars.size(), 222u);
    for (const char c : chars) {
        // 1 to 9 copies put the padding at every bit position of the last byte.
        for (int n = 1; n <= 9; ++n) {
            const std::string line(static_cast<std::size_t>(n), c);
            const auto rec = encodeCompressedLine(line);
            ASSERT_TRUE(rec) << int(static_cast<unsigned char>(c));
            ASSERT_EQ(decodeRecord(*rec), line) << int(static_cast<unsigned char>(c)) << " x" << n;
        }
    }
    // All of them in one go, in lines of at most 127 characters.
    const std::string all(chars.begin(), chars.end());
    for (std::size_t at = 0; at < all.size(); at += 40) {
        const std::string part = all.substr(at, 40);
        ASSERT_EQ(decodeRecord(*encodeCompressedLine(part)), part);
    }
}

TEST(ResumeCodec, CodesMatchTheDocumentedBits) {
    const auto& codes = zorvtool::charCodes();
    EXPECT_EQ(codes[' '].length, 2);
    EXPECT_EQ(codes[' '].bits, 0u);
    EXPECT_EQ(codes['e'].length, 4);
    EXPECT_EQ(codes['e'].bits, 0b1110u); // 0111 in reading order
    EXPECT_EQ(*encodeCompressedLine("te"), "\x81\xE1");
    EXPECT_EQ(*encodeCompressedLine("et"), "\x81\x1E");
    EXPECT_EQ(*encodeCompressedLine("    "), std::string("\x81\x00", 2));
    EXPECT_EQ(*encodeCompressedLine(""), "\x80");
}

TEST(ResumeCodec, RandomLinesRoundTripOrAreRefusedForLength) {
    const auto chars = weightedChars();
    std::mt19937 rng(1234);
    int encoded = 0, tooLong = 0;
    for (int i = 0; i < 3000; ++i) {
        const std::size_t len = rng() % 128;
        std::string line;
        for (std::size_t k = 0; k < len; ++k)
            line += chars[rng() % (i % 2 ? chars.size() : 96)]; // half mostly ASCII
        const auto rec = encodeCompressedLine(line);
        if (codeBits(line) > 127 * 8) {
            EXPECT_FALSE(rec);
            ++tooLong;
            continue;
        }
        ASSERT_TRUE(rec) << line;
        ASSERT_EQ(decodeRecord(*rec), line);
        ++encoded;
    }
    EXPECT_GT(encoded, 1000);
    EXPECT_GT(tooLong, 100);
}

TEST(ResumeCodec, RefusesWhatARecordCannotCarry) {
    EXPECT_FALSE(encodeCompressedLine("a\x7F"));
    EXPECT_FALSE(encodeCompressedLine("a\xFF"));
    EXPECT_FALSE(encodeCompressedLine("a\tb"));
    EXPECT_FALSE(encodeCompressedLine(std::string(128, ' ')));
    EXPECT_TRUE(encodeCompressedLine(std::string(127, ' ')));
    EXPECT_FALSE(encodePlainLine(std::string("a\0b", 3)));
    EXPECT_FALSE(encodePlainLine(std::string(128, 'x')));
    EXPECT_EQ(*encodePlainLine(std::string(127, 'x')), "\x7F" + std::string(127, 'x'));
    EXPECT_THROW(encodeLine(std::string("\x7F\0", 2)), std::invalid_argument);
    // The shorter form wins; characters without a code fall back to plain.
    EXPECT_EQ(encodeLine("te"), "\x81\xE1");
    EXPECT_EQ(encodeLine("a\x7F"), "\x02"
                                   "a\x7F");
    EXPECT_EQ(encodeLine("\xFE"), "\x01\xFE"); // 11 bits compressed is longer
}

TEST(ResumeDemo, ConferenceIsDeterministicAndReadable) {
    TempDir a, b, c;
    const auto numbers = zorvtool::writeDemoConference(a.path(), 42);
    EXPECT_EQ(zorvtool::writeDemoConference(b.path(), 42), numbers);
    zorvtool::writeDemoConference(c.path(), 43);
    EXPECT_EQ(slurp(fs::path(a.path()) / "resume.hdr"), slurp(fs::path(b.path()) / "resume.hdr"));
    EXPECT_EQ(slurp(fs::path(a.path()) / "resume.txt"), slurp(fs::path(b.path()) / "resume.txt"));
    EXPECT_NE(slurp(fs::path(a.path()) / "resume.txt"), slurp(fs::path(c.path()) / "resume.txt"));
    EXPECT_FALSE(fs::exists(fs::path(a.path()) / "resume.hdr.tmp"));

    ASSERT_EQ(numbers.size(), 20u);
    EXPECT_TRUE(std::is_sorted(numbers.begin(), numbers.end()));
    EXPECT_EQ(std::adjacent_find(numbers.begin(), numbers.end()), numbers.end());

    const std::string base = (fs::path(a.path()) / "resume").string();
    bool nordic = false;
    for (const int n : numbers) {
        const auto m = zorv::readMessage(base, n);
        ASSERT_TRUE(m) << n;
        EXPECT_EQ(m->heading.rfind("#" + std::to_string(n) + " ", 0), 0u);
        EXPECT_GE(m->lines.size(), 8u);
        for (const auto& l : m->lines) {
            EXPECT_LE(l.size(), 127u);
            nordic |= l.find_first_of("\x86\x8F\x91\x92\x9B\x9D") != std::string::npos;
        }
    }
    EXPECT_TRUE(nordic);
    for (const int n : zorvtool::missingDemoNumbers(numbers))
        EXPECT_FALSE(zorv::readMessage(base, n)) << n;
    EXPECT_EQ(zorvtool::missingDemoNumbers(numbers).size(), 2u);

    // The text file is one run of line records, plain and compressed mixed.
    const std::string txt = slurp(fs::path(a.path()) / "resume.txt");
    int plainLines = 0, packedLines = 0;
    for (std::size_t at = 0; at < txt.size();) {
        const auto h = static_cast<unsigned char>(txt[at]);
        if ((h & 0x7F) != 0)
            ++((h & 0x80) ? packedLines : plainLines);
        at += 1 + (h & 0x7Fu);
        ASSERT_LE(at, txt.size());
    }
    EXPECT_GT(plainLines, 20);
    EXPECT_GT(packedLines, plainLines); // mostly compressed, as the board writes them
}

TEST(ResumeTool, PrintsHeadingAndLinesInUtf8) {
    TempDir d;
    zorvtool::ConferenceBuilder c;
    c.addTextMessage(17, "ABOUT ME", zorvtool::packDosDateTime(1997, 3, 5),
                     {"Hei fra Troms\x9B!", "", "Bl\x86 \x91 \x9B \x8F \x92 \x9D"});
    c.write((fs::path(d.path()) / "conf").string());
    const std::string base = (fs::path(d.path()) / "conf").string();
    std::ostringstream out, err;
    EXPECT_EQ(zorvtool::dispatch({"resume", base, "17"}, out, err), 0);
    EXPECT_EQ(out.str(), "#17 ABOUT ME 05.03.1997\nHei fra Tromsø!\n\nBlå æ ø Å Æ Ø\n");
    EXPECT_EQ(err.str(), "");
    std::ostringstream out2, err2;
    EXPECT_EQ(zorvtool::dispatch({"resume", base, "$11"}, out2, err2), 0); // typed like resume1
    EXPECT_EQ(out2.str(), out.str());
}

TEST(ResumeTool, WritingAConferenceLeavesOtherFilesAlone) {
    TempDir d;
    const std::string base = (fs::path(d.path()) / "conf").string();
    // Files of the sysop's that merely have names like temporary ones.
    zorvtest::writeFileBytes(base + ".hdr.tmp", "keep");
    zorvtest::writeFileBytes(base + ".txt.tmp", "these");
    zorvtool::ConferenceBuilder c;
    c.addTextMessage(17, "X", 0, {"x"});
    c.write(base);
    EXPECT_EQ(zorvtest::readFileBytes(base + ".hdr"), c.headerBytes());
    EXPECT_EQ(zorvtest::readFileBytes(base + ".txt"), c.textBytes());
    EXPECT_EQ(zorvtest::readFileBytes(base + ".hdr.tmp"), "keep");
    EXPECT_EQ(zorvtest::readFileBytes(base + ".txt.tmp"), "these");
    EXPECT_THROW(c.write(base + "/gone/conf"), std::runtime_error);
}

TEST(ResumeTool, ReportsNotFoundAndFailures) {
    TempDir d;
    zorvtool::ConferenceBuilder c;
    c.addTextMessage(17, "X", 0, {"x"});
    const std::string base = (fs::path(d.path()) / "conf").string();
    c.write(base);
    {
        std::ostringstream out, err;
        EXPECT_EQ(zorvtool::dispatch({"resume", base, "18"}, out, err), 1);
        EXPECT_EQ(err.str(), "Resume not found!\n");
        EXPECT_EQ(out.str(), "");
    }
    {
        std::ostringstream out, err;
        EXPECT_EQ(zorvtool::dispatch({"resume", base + "x", "17"}, out, err), 2);
        EXPECT_NE(err.str().find("File not found"), std::string::npos) << err.str();
        EXPECT_EQ(out.str(), "");
    }
    {
        std::ofstream(base + ".hdr", std::ios::trunc).flush();
        std::ostringstream out, err;
        EXPECT_EQ(zorvtool::dispatch({"resume", base, "17"}, out, err), 2);
        EXPECT_NE(err.str().find("Read beyond end of file"), std::string::npos) << err.str();
    }
    {
        std::ostringstream out, err;
        EXPECT_EQ(zorvtool::dispatch({"resume", base, "seventeen"}, out, err), 2);
        EXPECT_NE(err.str().find("is not a valid integer value"), std::string::npos);
        EXPECT_EQ(zorvtool::dispatch({"resume", base}, out, err), 2);
    }
}

TEST(ResumeDemo, DemoCommandGivesHoldersResumesOfItsConference) {
    TempDir d;
    std::ostringstream out, err;
    ASSERT_EQ(zorvtool::dispatch({"demo", d.path()}, out, err), 0) << err.str();
    EXPECT_NE(out.str().find("resume.hdr"), std::string::npos);
    const std::string user = slurp(fs::path(d.path()) / "zorvuser.dat");
    const std::string base = (fs::path(d.path()) / "resume").string();
    int holders = 0, found = 0;
    for (std::size_t at = 0; at + 273 <= user.size(); at += 273) {
        std::int32_t resume = 0;
        for (int k = 0; k < 4; ++k)
            resume |= static_cast<std::int32_t>(
                          static_cast<unsigned char>(user[at + 225 + static_cast<std::size_t>(k)]))
                      << (8 * k);
        if (resume == 0)
            continue;
        ++holders;
        found += zorv::readMessage(base, resume).has_value();
    }
    EXPECT_GT(holders, 40);
    EXPECT_EQ(found, holders - 2); // two show "Resume not found!"
    std::ostringstream out2, err2;
    EXPECT_EQ(zorvtool::dispatch({"demo", d.path()}, out2, err2), 2);
    std::filesystem::remove(fs::path(d.path()) / "zorvuser.dat");
    // A conference already there is not overwritten either.
    EXPECT_EQ(zorvtool::dispatch({"demo", d.path()}, out2, err2), 2);
    EXPECT_NE(err2.str().find("resume.hdr exists"), std::string::npos) << err2.str();
    EXPECT_EQ(zorvtool::dispatch({"demo", d.path(), "--force"}, out2, err2), 0);
}
