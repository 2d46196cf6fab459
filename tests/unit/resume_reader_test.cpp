// readMessage over real conference files: the search, the heading, the line
// records, and every way a damaged or missing file must fail.

#include "democonference.h"
#include "linecodec.h"
#include "resume/conference.h"
#include "userfile/errors.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;
using zorvtool::ConferenceBuilder;
using zorvtool::HeaderFields;
using zorvtool::packDosDateTime;

namespace {

class ResumeReader : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "zorv_resume_XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir_ = tmpl;
        base_ = (dir_ / "conf").string();
    }
    void TearDown() override {
        std::error_code ec;
        fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(dir_, ec);
    }

    std::optional<zorv::Message> read(std::int32_t number) {
        return zorv::readMessage(base_, number);
    }

    // The I/O error code of a reading that must fail.
    int failureOf(std::int32_t number) {
        try {
            read(number);
        } catch (const zorv::IoError& e) {
            return e.code();
        }
        ADD_FAILURE() << "the reading did not fail";
        return 0;
    }

    static void writeBytes(const std::string& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }

    fs::path dir_;
    std::string base_;
};

std::string plain(const std::string& s) {
    return *zorvtool::encodePlainLine(s);
}

} // namespace

TEST_F(ResumeReader, BuildsTheHeadingFromNumberTextAndDate) {
    ConferenceBuilder c;
    c.addMessage(17, "ABOUT ME", packDosDateTime(1997, 3, 5, 13, 45, 10), {plain("x")});
    c.addMessage(12,
                 "Bj\x9Brn p\x86 \x8F"
                 "s",
                 packDosDateTime(1997, 12, 1), {});
    c.write(base_);
    EXPECT_EQ(read(17)->heading, "#17 ABOUT ME 05.03.1997");
    // Nordic letters reach the heading in cp1252; the year field 17 is 1997.
    EXPECT_EQ(read(12)->heading, "#12 Bj\xF8rn p\xE5 \xC5s 01.12.1997");
}

TEST_F(ResumeReader, HeadingShowsWhateverTheDateFieldsHold) {
    ConferenceBuilder c;
    // A date of all zero bits, and one with every date bit set.
    c.addMessage(1, "", 0, {});
    c.addMessage(2, "", 0xFFFF0000u, {});
    // 72 bytes of text without a NUL end at the field's end.
    HeaderFields full;
    full.msgNumber = 3;
    full.headingText = std::string(72, 'W');
    c.addHeader(full);
    c.write(base_);
    EXPECT_EQ(read(1)->heading, "#1  00.00.1980");
    EXPECT_EQ(read(2)->heading, "#2  31.15.2107");
    EXPECT_EQ(read(3)->heading, "#3 " + std::string(72, 'W') + " 00.00.1980");
}

TEST_F(ResumeReader, ReadsPlainAndCompressedLinesInOrder) {
    ConferenceBuilder c;
    c.addMessage(1, "other", 0, {plain("not this one")});
    const std::string nordic = "bl\x86"
                               "b\x91r og r\x9B"
                               "d gr\x9B"
                               "t"; // cp865
    c.addMessage(5, "Resume", packDosDateTime(1995, 6, 7),
                 {std::string("\x05HELLO", 6), std::string(1, '\0'), std::string(1, '\x80'),
                  std::string("\x81\xE1", 2), *zorvtool::encodeCompressedLine(nordic),
                  plain(nordic)});
    c.write(base_);
    const auto m = read(5);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->lines, (std::vector<std::string>{"HELLO", "", "", "te", nordic, nordic}));
}

TEST_F(ResumeReader, LongestRecordsTakeAll127DataBytes) {
    ConferenceBuilder c;
    std::string text;
    text += '\x7F' + std::string(127, 'A');
    text += '\xFF' + std::string(127, '\0'); // 508 spaces, cut to 127
    text += plain("next");
    HeaderFields h;
    h.msgNumber = 9;
    h.lineCount = 3;
    c.addHeader(h);
    c.appendText(text);
    c.write(base_);
    const auto m = read(9);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->lines,
              (std::vector<std::string>{std::string(127, 'A'), std::string(127, ' '), "next"}));
}

TEST_F(ResumeReader, SearchRules) {
    ConferenceBuilder c;
    c.addMessage(300, "first", 0, {plain("one")});
    c.addMessage(0, "zero", 0, {});
    c.addMessage(300, "second", 0, {plain("two")});
    c.addMessage(65535, "top", 0, {plain("max")});
    c.write(base_);
    // The first of two headers with the same number wins.
    EXPECT_EQ(read(300)->lines, std::vector<std::string>{"one"});
    EXPECT_EQ(read(300)->heading.substr(0, 10), "#300 first");
    EXPECT_EQ(read(65535)->lines, std::vector<std::string>{"max"});
    // A header with no lines gives the heading alone.
    ASSERT_TRUE(read(0));
    EXPECT_TRUE(read(0)->lines.empty());
    // The 16-bit number is never taken modulo 65536.
    EXPECT_FALSE(read(65536 + 300));
    EXPECT_FALSE(read(-1));
    EXPECT_FALSE(read(-65536));
    EXPECT_FALSE(read(301));
}

TEST_F(ResumeReader, SearchGoesPastManyHeaders) {
    ConferenceBuilder c;
    for (int i = 1; i <= 1000; ++i)
        c.addMessage(static_cast<std::uint16_t>(i), "m", 0, {plain(std::to_string(i))});
    c.write(base_);
    EXPECT_EQ(read(1)->lines[0], "1");
    EXPECT_EQ(read(257)->lines[0], "257"); // just past one block of headers
    EXPECT_EQ(read(1000)->lines[0], "1000");
    EXPECT_FALSE(read(1001));
}

TEST_F(ResumeReader, PartialHeaderAtTheEndIsNotARecord) {
    ConferenceBuilder c;
    c.addMessage(1, "a", 0, {});
    c.write(base_);
    HeaderFields h;
    h.msgNumber = 2;
    std::string bytes = c.headerBytes() + zorvtool::encodeMessageHeader(h).substr(0, 100);
    writeBytes(base_ + ".hdr", bytes);
    EXPECT_TRUE(read(1));
    EXPECT_FALSE(read(2));
}

TEST_F(ResumeReader, EmptyOrShortHeaderFileReadsBeyondTheEnd) {
    writeBytes(base_ + ".txt", "");
    writeBytes(base_ + ".hdr", "");
    EXPECT_EQ(failureOf(1), zorv::kReadBeyondEnd);
    EXPECT_EQ(failureOf(-5), zorv::kReadBeyondEnd); // also for a number that cannot exist
    writeBytes(base_ + ".hdr", std::string(251, '\0'));
    EXPECT_EQ(failureOf(0), zorv::kReadBeyondEnd);
}

TEST_F(ResumeReader, MissingFilesAreNotFound) {
    EXPECT_EQ(failureOf(1), zorv::kFileNotFound);
    ConferenceBuilder c;
    c.addMessage(1, "a", 0, {});
    c.write(base_);
    fs::remove(base_ + ".txt");
    // The text file is needed even when the message has no lines, or is not there.
    EXPECT_EQ(failureOf(1), zorv::kFileNotFound);
    EXPECT_EQ(failureOf(2), zorv::kFileNotFound);
    c.write(base_);
    fs::remove(base_ + ".hdr");
    EXPECT_EQ(failureOf(1), zorv::kFileNotFound);
    try {
        read(1);
    } catch (const zorv::IoError& e) {
        EXPECT_STREQ(e.what(), "File not found");
    }
}

TEST_F(ResumeReader, TextFileEndingInsideAMessage) {
    ConferenceBuilder c;
    HeaderFields h;
    h.msgNumber = 1;
    h.lineCount = 2;
    c.addHeader(h);
    h.msgNumber = 2;
    h.lineCount = 1;
    c.addHeader(h);
    // One whole line, then a header byte announcing 10 data bytes and only 3.
    c.appendText(plain("ok") + "\x0A" + "abc");
    c.write(base_);
    EXPECT_EQ(failureOf(1), zorv::kReadBeyondEnd);
    EXPECT_EQ(read(2)->lines, std::vector<std::string>{"ok"});
    // Ends right after a header byte; and a compressed line cut short.
    writeBytes(base_ + ".txt", plain("ok") + "\x03");
    EXPECT_EQ(failureOf(1), zorv::kReadBeyondEnd);
    writeBytes(base_ + ".txt", plain("ok") + "\x85\x00\x00");
    EXPECT_EQ(failureOf(1), zorv::kReadBeyondEnd);
    try {
        read(1);
    } catch (const zorv::IoError& e) {
        EXPECT_STREQ(e.what(), "Read beyond end of file");
    }
}

TEST_F(ResumeReader, TextOffsetAtOrBeyondTheEnd) {
    ConferenceBuilder c;
    HeaderFields h;
    h.msgNumber = 1;
    h.lineCount = 1;
    h.textOffset = 4; // == size
    c.addHeader(h);
    h.msgNumber = 2;
    h.textOffset = 0xFFFFFFFFu;
    c.addHeader(h);
    h.msgNumber = 3;
    h.lineCount = 0; // nothing to read, so nothing can fail
    c.addHeader(h);
    c.appendText(plain("abc"));
    c.write(base_);
    EXPECT_EQ(failureOf(1), zorv::kReadBeyondEnd);
    EXPECT_EQ(failureOf(2), zorv::kReadBeyondEnd);
    ASSERT_TRUE(read(3));
    EXPECT_TRUE(read(3)->lines.empty());
}

TEST_F(ResumeReader, HugeLineCountFailsAgainstAShortText) {
    ConferenceBuilder c;
    HeaderFields h;
    h.msgNumber = 1;
    h.lineCount = 65535;
    c.addHeader(h);
    c.appendText(plain("only") + plain("three") + plain("lines"));
    c.write(base_);
    EXPECT_EQ(failureOf(1), zorv::kReadBeyondEnd);
}

TEST_F(ResumeReader, HugeLineCountOfEmptyLinesIsRead) {
    // 65535 one-byte records: the most lines a header can ask for.
    ConferenceBuilder c;
    HeaderFields h;
    h.msgNumber = 1;
    h.lineCount = 65535;
    h.textOffset = 1;
    c.addHeader(h);
    c.appendText(std::string(1 + 65535, '\x80'));
    c.write(base_);
    const auto m = read(1);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->lines.size(), 65535u);
    EXPECT_EQ(m->lines.back(), "");
}

TEST_F(ResumeReader, NeedsNoWriteAccess) {
    ConferenceBuilder c;
    c.addMessage(4, "ro", 0, {plain("read only")});
    c.write(base_);
    fs::permissions(base_ + ".hdr", fs::perms::owner_read, fs::perm_options::replace);
    fs::permissions(base_ + ".txt", fs::perms::owner_read, fs::perm_options::replace);
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec, fs::perm_options::replace);
    const auto m = read(4);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->lines, std::vector<std::string>{"read only"});
}

TEST_F(ResumeReader, OpensTheFilesReadOnly) {
    // Seen from the open descriptor, so that it holds for root as well.
    ConferenceBuilder c;
    c.write(base_);
    const zorv::FileSource src(base_ + ".hdr");
    int flags = -1;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd")) {
        std::error_code ec;
        if (fs::read_symlink(fd.path(), ec) != fs::path(base_ + ".hdr"))
            continue;
        std::ifstream info("/proc/self/fdinfo/" + fd.path().filename().string());
        std::string key;
        while (info >> key)
            if (key == "flags:")
                info >> std::oct >> flags;
    }
    ASSERT_NE(flags, -1) << "descriptor not found";
    EXPECT_EQ(flags & O_ACCMODE, O_RDONLY);
}

TEST_F(ResumeReader, ADirectoryInPlaceOfAFileIsRefused) {
    ConferenceBuilder c;
    c.addMessage(4, "x", 0, {});
    c.write(base_);
    fs::remove(base_ + ".txt");
    fs::create_directory(base_ + ".txt");
    EXPECT_EQ(failureOf(4), zorv::kFileAccessDenied);
}

TEST_F(ResumeReader, AFifoInPlaceOfAFileDoesNotHang) {
    ConferenceBuilder c;
    c.addMessage(4, "x", 0, {});
    c.write(base_);
    fs::remove(base_ + ".hdr");
    ASSERT_EQ(::mkfifo((base_ + ".hdr").c_str(), 0600), 0);
    EXPECT_EQ(failureOf(4), zorv::kFileAccessDenied);
}

TEST(ResumeMemory, SourcesReadExactlyOrFail) {
    const zorv::MemorySource src("abcdef");
    char buf[4] = {};
    src.readAt(2, buf, 4);
    EXPECT_EQ(std::string(buf, 4), "cdef");
    EXPECT_THROW(src.readAt(3, buf, 4), zorv::IoError);
    EXPECT_THROW(src.readAt(~0ull, buf, 1), zorv::IoError);
    src.readAt(6, buf, 0); // an empty read at the end is fine
}
