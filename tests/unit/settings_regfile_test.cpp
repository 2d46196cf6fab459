// The .reg file backend: its text, what it keeps, what it never overwrites, and two
// programs writing at once.

#include "settings/regdoc.h"
#include "settings/regfile.h"
#include "settings/steps.h"
#include "settings_fixture.h"

#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace zorv {
namespace {

using settingstest::kHead;
using settingstest::readBytes;
using settingstest::TempDir;
using settingstest::writeBytes;
namespace fs = std::filesystem;

struct Reports {
    std::vector<std::string> texts;
    ProblemReporter reporter() {
        return [this](const std::string& t) { texts.push_back(t); };
    }
};

ino_t inodeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_ino;
}

TEST(RegFile, NoFileMeansNoKeyAndNothingIsCreatedWithoutAsking) {
    TempDir d;
    RegFileKey key(d.regPath());
    EXPECT_FALSE(key.open(false));
    EXPECT_FALSE(fs::exists(d.path() + "/NV"));
    // A file without the program's section is a missing key too, and stays as it is.
    const std::string other = "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Other]\n"
                              "\"a\"=\"b\"\n";
    writeBytes(d.regPath(), other);
    EXPECT_FALSE(key.open(false));
    EXPECT_EQ(readBytes(d.regPath()), other);
}

TEST(RegFile, CreatingWritesHeaderAndSection) {
    TempDir d;
    RegFileKey key(d.regPath());
    ASSERT_TRUE(key.open(true));
    EXPECT_EQ(readBytes(d.regPath()), kHead);
    key.writeInteger("m.top", 100);
    key.writeInteger("m.left", -1);
    key.writeText("Filename", "C:\\BBS\\zorvuser.dat");
    key.close();
    EXPECT_EQ(readBytes(d.regPath()), std::string(kHead) +
                                          "\"m.top\"=dword:00000064\n"
                                          "\"m.left\"=dword:ffffffff\n"
                                          "\"Filename\"=\"C:\\\\BBS\\\\zorvuser.dat\"\n");
    struct stat st {};
    ASSERT_EQ(::stat(d.regPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(RegFile, SectionIsAddedToAFileThatLacksIt) {
    TempDir d;
    const std::string before =
        "Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Other]"
        "\r\n\"a\"=\"b\"\r\n";
    writeBytes(d.regPath(), before);
    RegFileKey key(d.regPath());
    ASSERT_TRUE(key.open(true));
    key.writeInteger("x", 1);
    key.close();
    EXPECT_EQ(readBytes(d.regPath()),
              before +
                  "\r\n[HKEY_CURRENT_USER\\Software\\NV\\zorvedit]\r\n\"x\"=dword:00000001\r\n");
}

TEST(RegFile, EveryUntouchedLineIsWrittenBackByteForByte) {
    TempDir d;
    const std::string head = "Windows Registry Editor Version 5.00\r\n"
                             "; kept\r\n"
                             "\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Before]\r\n"
                             "@=\"default\"\r\n"
                             "\r\n"
                             "[hkey_current_user\\software\\nv\\ZORVEDIT]\r\n";
    const std::string wrapped = "\"Blob\"=hex:00,01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,"
                                "11,12,13,14,15,\\\r\n  16,17\r\n";
    const std::string tail =
        "\r\n[HKEY_CURRENT_USER\\Software\\After]\r\n\"q\"=hex(b):01,00,00,00,00,"
        "00,00,00\r\n";
    writeBytes(d.regPath(), head + "\"m.top\" = dword:0000000A\r\n" + wrapped +
                                "; a comment inside\r\n\"Options\"=\"11111111001\"\r\n" + tail);
    RegFileKey key(d.regPath());
    ASSERT_TRUE(key.open(false));
    EXPECT_EQ(key.readInteger("m.top"), 10);
    EXPECT_EQ(key.queryValue("Blob")->data.size(), 24u);
    key.writeInteger("m.top", 11);
    key.writeText("Resume", "C:\\conf\\res");
    key.close();
    EXPECT_EQ(readBytes(d.regPath()), head + "\"m.top\"=dword:0000000b\r\n" + wrapped +
                                          "; a comment inside\r\n\"Options\"=\"11111111001\"\r\n"
                                          "\"Resume\"=\"C:\\\\conf\\\\res\"\r\n" +
                                          tail);
}

TEST(RegFile, WritingTheSameValueLeavesTheFileAlone) {
    TempDir d;
    RegFileKey key(d.regPath());
    ASSERT_TRUE(key.open(true));
    key.writeText("Options", "11111111001");
    const ino_t before = inodeOf(d.regPath());
    key.writeText("Options", "11111111001");
    key.close();
    EXPECT_EQ(inodeOf(d.regPath()), before);
    ASSERT_TRUE(key.open(false));
    key.writeText("Options", "11111111011");
    EXPECT_NE(inodeOf(d.regPath()), before);
    // No temporary files are left behind.
    int files = 0;
    for (const auto& e : fs::directory_iterator(d.path() + "/NV"))
        files += e.path().filename().string().rfind(".zorvedit", 0) == 0;
    EXPECT_EQ(files, 0);
}

TEST(RegFile, AwkwardNamesAndTextsRoundTripExactly) {
    std::string everyByte;
    for (int b = 1; b < 256; ++b)
        everyByte += static_cast<char>(b);
    const std::vector<std::pair<std::string, std::string>> values = {
        {"quote\"and\\backslash", "say \"hi\" \\ there\\"},
        {"C:\\", "C:\\"},
        {"line\nbreak", "first\r\nsecond\nthird\r"},
        {"tab\tname", "\ttabbed"},
        {"\xC6\xD8\xC5 \xE6\xF8\xE5", "Bj\xF8rn \xC5se \x80"},
        {"undefined \x81\x8D\x8F\x90\x9D", "\x81\x8D\x8F\x90\x9D"},
        {"every byte", everyByte},
        {"escape-like \\x41", "\\x41 stays"},
        {"=[]@;", "hex:00,01"},
        {"@", "not the default value"},
        {"", "the default value"},
        {"empty", ""},
        {std::string("nul\0in name", 11), std::string("nul\0in text", 11)},
    };
    TempDir d;
    {
        RegFileKey key(d.regPath());
        ASSERT_TRUE(key.open(true));
        for (const auto& [name, text] : values)
            key.writeText(name, text);
    }
    RegFileKey key(d.regPath());
    ASSERT_TRUE(key.open(false));
    for (const auto& [name, text] : values) {
        const std::optional<RegValue> v = key.queryValue(name);
        ASSERT_TRUE(v) << name;
        EXPECT_EQ(v->type, kRegSz) << name;
        EXPECT_EQ(v->data, text) << name;
    }
    const std::string file = readBytes(d.regPath());
    // Printable texts stay readable; Nordic letters appear as themselves.
    EXPECT_NE(file.find("\"quote\\\"and\\\\backslash\"=\"say \\\"hi\\\" \\\\ there\\\\\"\n"),
              std::string::npos);
    EXPECT_NE(file.find("\"ÆØÅ æøå\"=\"Bjørn Åse €\"\n"), std::string::npos);
    EXPECT_NE(file.find("\"line\\x0Abreak\"=hex(1):66,00,69,00"), std::string::npos);
    EXPECT_NE(file.find("@=\"the default value\""), std::string::npos);
    // Every line is one entry: no raw line break from a value got into the file.
    regdoc::Document doc;
    regdoc::ParseError err;
    ASSERT_TRUE(regdoc::parse(file, doc, err)) << err.what;
    int entries = 0;
    for (const auto& item : doc.body)
        entries += item.entry.has_value();
    EXPECT_EQ(entries, static_cast<int>(values.size()));
}

TEST(RegFile, CodePageMappingKeepsEveryByte) {
    for (int b = 0; b < 256; ++b) {
        const char32_t u = regdoc::byteToUnicode(static_cast<unsigned char>(b));
        EXPECT_EQ(regdoc::unicodeToByte(u), b) << b;
    }
    EXPECT_EQ(regdoc::byteToUnicode(0x80), U'\u20AC');
    EXPECT_EQ(regdoc::unicodeToByte(U'\u4E2D'), -1);
}

TEST(RegFile, ValuesWrittenByTheRegistryEditorAreUnderstood) {
    TempDir d;
    writeBytes(d.regPath(),
               std::string(kHead) +
                   // REG_EXPAND_SZ "%A%\" with its terminating zero, REG_SZ "ab" as hex(1),
                   // REG_MULTI_SZ, a hand-written text in UTF-8 outside code page 1252.
                   "\"exp\"=hex(2):25,00,41,00,25,00,5c,00,00,00\n"
                   "\"sz\"=hex(1):61,00,62,00,00,00\n"
                   "\"multi\"=hex(7):61,00,00,00,62,00,00,00,00,00\n"
                   "\"foreign\"=\"x中y\"\n"
                   "\"gone\"=\"here\"\n"
                   "\"gone\"=-\n"
                   "\"twice\"=dword:1\n"
                   "\"Twice\"=dword:2\n");
    RegFileKey key(d.regPath());
    ASSERT_TRUE(key.open(false));
    EXPECT_EQ(key.readText("exp"), "%A%\\");
    EXPECT_EQ(key.queryValue("exp")->data, std::string("%A%\\\0", 5));
    EXPECT_EQ(key.readText("sz"), "ab");
    EXPECT_EQ(key.queryValue("multi")->data, std::string("a\0b\0\0", 5));
    EXPECT_EQ(key.readText("foreign"), "x?y");
    EXPECT_FALSE(key.exists("gone"));
    EXPECT_EQ(key.readInteger("twice"), 2);
    // Writing a deleted value brings it back in place of its deletion mark.
    key.writeText("gone", "back");
    key.close();
    const std::string file = readBytes(d.regPath());
    EXPECT_NE(file.find("\"gone\"=\"here\"\n\"gone\"=\"back\"\n"), std::string::npos);
    EXPECT_NE(file.find("\"foreign\"=\"x中y\"\n"), std::string::npos);
}

TEST(RegFile, Utf16FileIsReadAndWrittenBackAsUtf16) {
    auto utf16 = [](const std::u16string& s) {
        std::string out = "\xFF\xFE";
        for (char16_t c : s) {
            out += static_cast<char>(c & 0xFF);
            out += static_cast<char>(c >> 8);
        }
        return out;
    };
    TempDir d;
    writeBytes(d.regPath(), utf16(u"Windows Registry Editor Version 5.00\r\n\r\n"
                                  u"[HKEY_CURRENT_USER\\Software\\NV\\zorvedit]\r\n"
                                  u"\"Filename\"=\"C:\\\\Bjørn\\\\zorvuser.dat\"\r\n"));
    RegFileKey key(d.regPath());
    ASSERT_TRUE(key.open(false));
    EXPECT_EQ(key.readText("Filename"), "C:\\Bj\xF8rn\\zorvuser.dat");
    key.writeInteger("m.top", 5);
    key.close();
    EXPECT_EQ(readBytes(d.regPath()), utf16(u"Windows Registry Editor Version 5.00\r\n\r\n"
                                            u"[HKEY_CURRENT_USER\\Software\\NV\\zorvedit]\r\n"
                                            u"\"Filename\"=\"C:\\\\Bjørn\\\\zorvuser.dat\"\r\n"
                                            u"\"m.top\"=dword:00000005\r\n"));
}

TEST(RegFile, ASymbolicLinkStaysALink) {
    TempDir d;
    const std::string real = d.path() + "/dotfiles/zorvedit.reg";
    writeBytes(real, kHead);
    fs::create_directories(d.path() + "/NV");
    fs::create_symlink(real, d.regPath());
    RegFileKey key(d.regPath());
    ASSERT_TRUE(key.open(false));
    key.writeInteger("m.top", 3);
    key.close();
    EXPECT_TRUE(fs::is_symlink(d.regPath()));
    EXPECT_EQ(readBytes(real), std::string(kHead) + "\"m.top\"=dword:00000003\n");
}

TEST(RegFile, AWriteKeepsTheFilesModeAndRemovesOnlyTempsNoWriterHolds) {
    TempDir d;
    {
        RegFileKey key(d.regPath());
        ASSERT_TRUE(key.open(true));
    }
    ASSERT_EQ(::chmod(d.regPath().c_str(), 0640), 0);
    // What killed editors left beside it, and the temp of one still writing.
    const std::string dir = d.path() + "/NV";
    const std::string dead = dir + "/.zorvedit-tmp-zorvedit.reg.AbC123";
    const std::string busy = dir + "/.zorvedit-tmp-zorvedit.reg.XyZ789";
    const std::string other = dir + "/.zorvedit-tmp-zorvuser.dat.AbC123";
    for (const auto& p : {dead, busy, other})
        writeBytes(p, "half a file");
    const int held = ::open(busy.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(held, 0);
    ASSERT_EQ(::flock(held, LOCK_EX), 0);

    RegFileKey key(d.regPath());
    ASSERT_TRUE(key.open(false));
    key.writeInteger("m.top", 7);
    key.close();
    EXPECT_EQ(readBytes(d.regPath()), std::string(kHead) + "\"m.top\"=dword:00000007\n");
    struct stat st {};
    ASSERT_EQ(::stat(d.regPath().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_FALSE(fs::exists(dead)) << "its writer is gone";
    EXPECT_TRUE(fs::exists(busy)) << "its writer holds its lock";
    EXPECT_TRUE(fs::exists(other)) << "another file's";
    ::close(held);
    std::size_t temps = 0;
    for (const auto& e : fs::directory_iterator(dir))
        temps += e.path().filename().string().rfind(".zorvedit-tmp-", 0) == 0;
    EXPECT_EQ(temps, 2u) << "the write left none of its own";
}

// Files this program does not fully understand: reported once, never written.
TEST(RegFile, MalformedFilesAreReportedOnceAndLeftUntouched) {
    const std::string h = "Windows Registry Editor Version 5.00\n";
    const std::string s = "[HKEY_CURRENT_USER\\Software\\NV\\zorvedit]\n";
    const std::vector<std::string> files = {
        "REGEDIT4\n\n" + s + "\"a\"=\"b\"\n",
        "just some text\n",
        h + "\"a\"=\"outside any section\"\n",
        h + s + "\"a\"=\"not closed\n",
        h + s + "\"a\"=dword:xyz\n",
        h + s + "\"a\"=dword:123456789\n",
        h + s + "\"a\"=hex:01,zz\n",
        h + s + "\"a\"=hex:01,\n",
        h + s + "\"a\"=hex(2:01\n",
        h + s + "\"a\"=hex:01,\\\n",
        h + s + "\"a\"=qword:1\n",
        h + s + "\"a\" \"b\"\n",
        h + s + "a=b\n",
        h + "[HKEY_CURRENT_USER\\Software\\NV\\zorvedit\n",
        h + s + "\"a\"=\"b\"\n\n" + s + "\"c\"=\"d\"\n",
        h + s + "\"a\"=\"\xFF\xFE bytes that are not UTF-8\"\n",
        h + "\n[HKEY_CURRENT_USER\\Other]\n\"x\"=dword:zz\n\n" + s,
        std::string("\xFF\xFE\x57", 3),
    };
    for (std::size_t i = 0; i < files.size(); ++i) {
        SCOPED_TRACE("file " + std::to_string(i) + ": " + files[i]);
        TempDir d;
        writeBytes(d.regPath(), files[i]);
        Reports reports;
        RegFileKey key(d.regPath());
        key.setProblemReporter(reports.reporter());
        EXPECT_FALSE(key.open(false));
        EXPECT_FALSE(key.open(true));
        // The steps treat it as a missing key and write nothing.
        EXPECT_FALSE(restoreMainPosition(key, [](Edge, int) {}));
        saveMainPosition(key, {1, 2});
        EXPECT_EQ(activationUserFileName(key, [] { return std::optional<std::string>("/x.dat"); }),
                  "/x.dat");
        EXPECT_EQ(activationListOptions(key).text, "11111111001");
        // Another handle on the same file in the same run does not report it again.
        RegFileKey other(d.regPath());
        other.setProblemReporter(reports.reporter());
        EXPECT_FALSE(other.open(true));
        EXPECT_EQ(readBytes(d.regPath()), files[i]);
        ASSERT_EQ(reports.texts.size(), 1u);
        EXPECT_NE(reports.texts[0].find("cannot be read (line "), std::string::npos);
        EXPECT_NE(reports.texts[0].find(d.regPath()), std::string::npos);
    }
}

TEST(RegFile, MendedFileIsUsedAgainAndANewFaultIsReportedAgain) {
    TempDir d;
    const std::string bad = std::string(kHead) + "\"m.top\"=dword:\n";
    writeBytes(d.regPath(), bad);
    Reports reports;
    RegFileKey key(d.regPath());
    key.setProblemReporter(reports.reporter());
    EXPECT_FALSE(key.open(false));
    writeBytes(d.regPath(), std::string(kHead) + "\"m.top\"=dword:00000007\n");
    ASSERT_TRUE(key.open(false));
    EXPECT_EQ(key.readInteger("m.top"), 7);
    key.close();
    writeBytes(d.regPath(), bad);
    EXPECT_FALSE(key.open(false));
    EXPECT_FALSE(key.open(false));
    EXPECT_EQ(reports.texts.size(), 2u);
}

TEST(RegFile, EmptyFileIsAMissingKeyThatCanBeCreated) {
    TempDir d;
    writeBytes(d.regPath(), "");
    RegFileKey key(d.regPath());
    EXPECT_FALSE(key.open(false));
    ASSERT_TRUE(key.open(true));
    key.close();
    EXPECT_EQ(readBytes(d.regPath()), kHead);
}

TEST(RegFile, LockIsHeldFromOpenToClose) {
    TempDir d;
    RegFileKey first(d.regPath());
    ASSERT_TRUE(first.open(true));
    Reports reports;
    RegFileKey second(d.regPath());
    second.setProblemReporter(reports.reporter());
    second.setLockTimeoutMs(50);
    EXPECT_FALSE(second.open(false));
    ASSERT_EQ(reports.texts.size(), 1u);
    EXPECT_NE(reports.texts[0].find("is locked by another program"), std::string::npos);
    first.close();
    EXPECT_TRUE(second.open(false));
}

TEST(RegFile, WriteThatFailsChangesNothing) {
    TempDir d;
    {
        RegFileKey key(d.regPath());
        ASSERT_TRUE(key.open(true));
        key.writeText("Filename", "/bbs/zorvuser.dat");
    }
    const std::string before = readBytes(d.regPath());
    // The child may write files of at most 4 KiB: a large value cannot be written.
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{4096, 4096};
        ::setrlimit(RLIMIT_FSIZE, &lim);
        int code = 0;
        RegFileKey key(d.regPath());
        if (!key.open(false))
            ::_exit(10);
        try {
            key.writeText("Resume", std::string(10000, 'x'));
            code = 11;
        } catch (const SettingsError& e) {
            if (std::string(e.what()) != "Failed to set data for 'Resume'")
                code = 12;
        }
        if (code == 0 && key.exists("Resume"))
            code = 13; // the refused value must not linger in the open key
        try {
            key.writeText("Options", "11111111001");
        } catch (const SettingsError&) {
            code = code ? code : 14;
        }
        ::_exit(code);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(readBytes(d.regPath()), before + "\"Options\"=\"11111111001\"\n");
    for (const auto& e : fs::directory_iterator(d.path() + "/NV"))
        EXPECT_TRUE(e.path().filename() == "zorvedit.reg" ||
                    e.path().filename() == "zorvedit.reg.lock")
            << e.path();
}

TEST(RegFile, FolderThatCannotBeCreatedIsReported) {
    TempDir d;
    writeBytes(d.path() + "/NV", "a file where the folder should be");
    Reports reports;
    RegFileKey key(d.regPath());
    key.setProblemReporter(reports.reporter());
    EXPECT_FALSE(key.open(true));
    // The activation opens twice; the operator hears of it once.
    EXPECT_EQ(activationUserFileName(key, [] { return std::optional<std::string>("/u.dat"); }),
              "/u.dat");
    EXPECT_EQ(activationListOptions(key).text, "11111111001");
    ASSERT_EQ(reports.texts.size(), 1u);
    EXPECT_NE(reports.texts[0].find("Cannot create the settings folder"), std::string::npos);
}

// Two editors at once: each step (read, change, write) is one unit, no value is lost
// and a reader never sees a half-written file.
TEST(RegFile, TwoProcessesWritingAtOnceLoseNothing) {
    TempDir d;
    {
        RegFileKey key(d.regPath());
        ASSERT_TRUE(key.open(true));
        key.writeInteger("count", 0);
    }
    constexpr int kRounds = 60;
    auto work = [&](const std::string& tag) {
        RegFileKey key(d.regPath());
        key.setLockTimeoutMs(60000);
        for (int i = 0; i < kRounds; ++i) {
            if (!key.open(false))
                return false;
            key.writeInteger(tag + "." + std::to_string(i), i * 7 + 1);
            key.writeInteger("count", key.readInteger("count") + 1);
            key.writeText(tag + ".text", tag + " \"" + std::to_string(i) + "\"\\\n\xE6");
            key.close();
        }
        return true;
    };
    const std::string stop = d.path() + "/stop";
    const pid_t watcher = ::fork();
    ASSERT_GE(watcher, 0);
    if (watcher == 0) {
        int reads = 0;
        while (!fs::exists(stop) || reads == 0) {
            const std::string bytes = readBytes(d.regPath());
            regdoc::Document doc;
            regdoc::ParseError err;
            if (!regdoc::parse(bytes, doc, err) || !doc.hasSection)
                ::_exit(1);
            ++reads;
        }
        ::_exit(0);
    }
    const pid_t writer = ::fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        bool ok = false;
        try {
            ok = work("a");
        } catch (...) {
        }
        ::_exit(ok ? 0 : 1);
    }
    bool ok = false;
    try {
        ok = work("b");
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
    }
    EXPECT_TRUE(ok);
    int status = 0;
    ASSERT_EQ(::waitpid(writer, &status, 0), writer);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    writeBytes(stop, "");
    ASSERT_EQ(::waitpid(watcher, &status, 0), watcher);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a reader saw a broken file";

    RegFileKey key(d.regPath());
    ASSERT_TRUE(key.open(false));
    EXPECT_EQ(key.readInteger("count"), 2 * kRounds);
    for (const std::string tag : {"a", "b"}) {
        for (int i = 0; i < kRounds; ++i)
            EXPECT_EQ(key.readInteger(tag + "." + std::to_string(i)), i * 7 + 1);
        EXPECT_EQ(key.readText(tag + ".text"),
                  tag + " \"" + std::to_string(kRounds - 1) + "\"\\\n\xE6");
    }
}

} // namespace
} // namespace zorv

namespace zorv {
namespace {

// Whatever the file holds, a parsed file that is not changed is written back as it
// was, and a change keeps every other value. Mutated copies of a varied file probe the
// parser's corners.
TEST(RegFile, ParsedFilesSurviveWritingBack) {
    const std::string seed = "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n"
                             "[HKEY_CURRENT_USER\\Software\\Other]\r\n@=\"x\"\r\n\r\n"
                             "[HKEY_CURRENT_USER\\Software\\NV\\zorvedit]\r\n"
                             "\"Filename\"=\"C:\\\\BBS\\\\zorvuser.dat\"\r\n"
                             "\"m.top\"=dword:0000000a\r\n"
                             "\"exp\"=hex(2):25,00,41,00,25,00,\\\r\n  00,00\r\n"
                             "; note\r\n\"gone\"=-\r\n\"Bj\xC3\xB8rn\"=\"\xC3\x86\"\r\n"
                             "\r\n[HKEY_CURRENT_USER\\Software\\After]\r\n\"b\"=hex:01,02\r\n";
    const std::string alphabet = "\"\\[]=@;:,-()\r\n x0aA\xC3\xB8\xFF";
    unsigned state = 12345;
    auto next = [&state] {
        state = state * 1103515245u + 12345u;
        return (state >> 16) & 0x7FFF;
    };
    int parsed = 0;
    for (int round = 0; round < 3000; ++round) {
        std::string text = seed;
        const int edits = 1 + static_cast<int>(next() % 3);
        for (int k = 0; k < edits; ++k) {
            const std::size_t at = next() % text.size();
            const char c = alphabet[next() % alphabet.size()];
            switch (next() % 3) {
            case 0:
                text[at] = c;
                break;
            case 1:
                text.insert(text.begin() + static_cast<std::ptrdiff_t>(at), c);
                break;
            default:
                text.erase(at, 1);
                break;
            }
        }
        regdoc::Document doc;
        regdoc::ParseError err;
        if (!regdoc::parse(text, doc, err)) {
            EXPECT_GE(err.line, 1);
            continue;
        }
        ++parsed;
        ASSERT_EQ(regdoc::serialize(doc), text) << "round " << round;
        if (!doc.hasSection)
            continue;
        std::vector<std::pair<std::string, RegValue>> before;
        for (const auto& item : doc.body)
            if (item.entry && regdoc::find(doc, item.entry->name) == &*item.entry)
                before.emplace_back(item.entry->name, item.entry->value);
        regdoc::set(doc, "new \"value\"", kRegSz, "a\nb");
        regdoc::Document again;
        ASSERT_TRUE(regdoc::parse(regdoc::serialize(doc), again, err))
            << "round " << round << ": " << err.what << "\n"
            << regdoc::serialize(doc);
        for (const auto& [name, value] : before) {
            const regdoc::Entry* e = regdoc::find(again, name);
            ASSERT_TRUE(e) << name;
            EXPECT_EQ(e->value, value) << name;
        }
        ASSERT_TRUE(regdoc::find(again, "new \"value\""));
        EXPECT_EQ(regdoc::find(again, "new \"value\"")->value.data, "a\nb");
    }
    EXPECT_GT(parsed, 100);
}

} // namespace
} // namespace zorv

namespace zorv {
namespace {

// A settings file the sysop made read-only: never replaced behind its
// permissions; the first refused write says why, later ones stay quiet.
TEST(RegFile, ReadOnlySettingsFileIsNeverReplaced) {
    TempDir d;
    {
        RegFileKey key(d.regPath());
        ASSERT_TRUE(key.open(true));
        key.writeText("Filename", "/bbs/zorvuser.dat");
    }
    const std::string before = readBytes(d.regPath());
    ::chmod(d.regPath().c_str(), 0444);
    if (::access(d.regPath().c_str(), W_OK) == 0) { // root: a read-only mount of the file
        if (::unshare(CLONE_NEWNS) != 0 ||
            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
            ::mount(d.regPath().c_str(), d.regPath().c_str(), nullptr, MS_BIND, nullptr) != 0 ||
            ::mount(nullptr, d.regPath().c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY,
                    nullptr) != 0)
            GTEST_SKIP() << "cannot make a read-only file here";
    }
    const ino_t inode = inodeOf(d.regPath());
    RegFileKey key(d.regPath());
    try {
        saveMainPosition(key, WindowPos{10, 20});
        ADD_FAILURE() << "the first refusal is shown";
    } catch (const SettingsError& e) {
        const std::string text = e.what();
        EXPECT_EQ(text.rfind("Failed to set data for 'm.top'\nThe settings file '" + d.regPath() +
                                 "' may not be written (",
                             0),
                  0u)
            << text;
    }
    EXPECT_NO_THROW(saveMainPosition(key, WindowPos{10, 20}));
    EXPECT_NO_THROW(storeUserFileName(key, "/other.dat", nullptr));
    EXPECT_EQ(readBytes(d.regPath()), before);
    EXPECT_EQ(inodeOf(d.regPath()), inode);
    ASSERT_TRUE(key.open(false));
    EXPECT_EQ(key.readText("Filename"), "/bbs/zorvuser.dat");
    EXPECT_FALSE(key.exists("m.top"));
    key.close();
}

} // namespace
} // namespace zorv
