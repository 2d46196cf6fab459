// zorvtool count, show and demo, and the demo user generator.
#include "command.h"
#include "democonference.h"
#include "demodata.h"
#include "tempdir.h"
#include "toolrun.h"
#include "userfile/errors.h"
#include "userfile/record.h"
#include "userfile/userfile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sys/stat.h>

using namespace zorv;
using zorvtest::readFileBytes;
using zorvtest::TempDir;
using zorvtest::tool;
using zorvtest::ToolRun;
using zorvtest::writeFileBytes;
using zorvtool::DemoRng;
using zorvtool::makeDemoUsers;

namespace {

// The generator's users as `zorvtool demo` writes them: their resume numbers
// come from the demo conference (checked in resume_codec_test.cpp).
std::vector<Record> demoUsersAsWritten(int n, std::uint64_t seed,
                                       const std::vector<Record>& written) {
    auto expected = makeDemoUsers(n, seed);
    std::vector<int> given;
    for (int i : zorvtool::demoResumeHolders(written))
        given.push_back(
            static_cast<int>(readNumber(written[static_cast<std::size_t>(i)], kResume)));
    zorvtool::assignDemoResumes(expected, given);
    return expected;
}

// A user whose every shown value is known.
Record sample() {
    Record r{};
    writeText(r, kName, "\xD8ystein \"Q\" N\xE6ss"); // cp1252
    writeText(r, kAddress, "Sj\xF8gata 8");
    writeText(r, kPostnr, "9008 TROMS\xD8");
    writeText(r, kTlf, "22 33 44 55");
    writeText(r, kBirth, "24.12.1969");
    writeCode(r, kStatus, 2);
    writeCode(r, kTtype, 2); // no item
    writeCode(r, kEditor, 1);
    writeNumber(r, kPagel, 250);
    writeCode(r, kCharset, 11);
    writeCode(r, kLang, 3);
    writeCode(r, kGrab, 4);
    writeNumber(r, kTleft, -5);
    writeNumber(r, kTimebank, 65535);
    writeNumber(r, kLogins, -7);
    writeNumber(r, kResume, 12);
    putU32(r, kSecurityOffset, 0x80001234u); // access 2, level 0x34, a bit in 8-29
    putU32(r, kUserflagsOffset, 0x00102021u);
    putU32(r, kLastcallOffset, 19u << 25 | 3u << 21 | 3u << 16 | 14u << 11 | 5u << 5 | 4u);
    return r;
}

struct StatSnapshot {
    std::string bytes;
    struct stat st {};
    explicit StatSnapshot(const std::string& path) : bytes(readFileBytes(path)) {
        ::stat(path.c_str(), &st);
    }
    bool same(const StatSnapshot& o) const {
        return bytes == o.bytes && st.st_mtim.tv_sec == o.st.st_mtim.tv_sec &&
               st.st_mtim.tv_nsec == o.st.st_mtim.tv_nsec && st.st_ino == o.st.st_ino &&
               st.st_ctim.tv_nsec == o.st.st_ctim.tv_nsec;
    }
};

} // namespace

TEST(ToolCount, CountsWholeRecords) {
    TempDir tmp;
    zorvtest::writeFileBytes(tmp.file("u.dat"), std::string(5 * kRecordSize + 100, 'x'));
    ToolRun r = tool({"count", tmp.file("u.dat")});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out, "5\n");

    r = tool({"count", tmp.file("missing.dat")});
    EXPECT_NE(r.code, 0);
    EXPECT_NE(r.err.find("File not found"), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(tool({"count"}).code, 2);
    EXPECT_EQ(tool({"count", "a", "b"}).code, 2);
}

TEST(ToolShow, JsonHasEveryFieldInTableOrder) {
    TempDir tmp;
    writeUserFile(tmp.file("u.dat"), {Record{}, sample()});
    const ToolRun r = tool({"show", tmp.file("u.dat"), "1", "--json"});
    ASSERT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(
        r.out,
        "{\"Name\": \"\xC3\x98YSTEIN \\\"Q\\\" N\xC3\xA6SS\", \"address\": \"Sj\xC3\xB8gata 8\", "
        "\"postnr\": \"9008 TROMS\xC3\x98\", \"Tlf\": \"22 33 44 55\", \"birth\": \"24.12.1969\", "
        "\"status\": 2, \"ttype\": 2, \"editor\": 1, \"pagel\": 250, \"charset\": 11, "
        "\"lang\": 3, \"readmode\": 0, \"grab\": 4, \"packing\": 0, \"prot\": 0, "
        "\"nodeflt\": 0, \"timelimit\": 0, \"tleft\": -5, \"timebank\": 65535, \"limit\": 0, "
        "\"logins\": -7, \"msgleft\": 0, \"msgread\": 0, \"msgdumped\": 0, \"upf\": 0, "
        "\"downf\": 0, \"kbup\": 0, \"kbdown\": 0, \"resume\": 12, \"sysop\": 52, "
        "\"access\": 2, \"userflags\": 1056801, \"lastcall\": \"14:05:08, 03.03.1999\", "
        "\"firstcall\": \"00:00:00, 00.00.1980\"}\n");
}

TEST(ToolShow, JsonEscapesControlBytesQuotesAndBackslashes) {
    TempDir tmp;
    Record rec{};
    writeText(rec, kName,
              "A\x01"
              "B\\");
    writeUserFile(tmp.file("u.dat"), {rec});
    const ToolRun r = tool({"show", tmp.file("u.dat"), "0", "--json"});
    EXPECT_EQ(r.out.rfind("{\"Name\": \"A\\u0001B\\\\\", ", 0), 0u) << r.out;
}

TEST(ToolShow, ListingUsesTheEditorsLabelsAndItems) {
    TempDir tmp;
    writeUserFile(tmp.file("u.dat"), {sample()});
    const ToolRun r = tool({"show", tmp.file("u.dat"), "0"});
    ASSERT_EQ(r.code, 0) << r.err;
    for (const char* expected : {
             "City/state:              9008 TROMS\xC3\x98\n", "Status:                  Killed\n",
             "Terminal type:           (no item; code 2)\n",
             "Message editor:          Full screen\n", "Language:                Norsk\n",
             "Grab format:             QWK\n", "Time left:               -5\n",
             "Timebank:                65535\n", "Access                   52\n",
             "File access:             Upload\n", "Menu level:              Expert\n",
             "Insert mode              [ ]\n", // bit set: insert off
             "Flash own name           [x]\n", // bit clear: ticked
             "Last called:             14:05:08, 03.03.1999\n",
             "Days since first call:   \n", // a zero date has no day count
         })
        EXPECT_NE(r.out.find(expected), std::string::npos) << expected << "\nin:\n" << r.out;
}

TEST(ToolShow, ErrorsGoToStderrAndReadersNeverWrite) {
    TempDir tmp;
    const std::string file = tmp.file("u.dat");
    writeUserFile(file, {sample(), sample()});
    ::chmod(file.c_str(), 0444);
    const StatSnapshot before(file);

    ToolRun r = tool({"show", file, "2"});
    EXPECT_EQ(r.code, 2) << "an I/O error";
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Read beyond end of file"), std::string::npos) << r.err;
    r = tool({"show", file, "-1"});
    EXPECT_NE(r.err.find("Read beyond end of file"), std::string::npos) << r.err;
    r = tool({"show", file, "x1"});
    EXPECT_EQ(r.code, 2);
    EXPECT_NE(r.err.find("'x1' is not a valid integer value"), std::string::npos) << r.err;
    EXPECT_EQ(tool({"show", file}).code, 2);
    EXPECT_EQ(tool({"show", file, "0", "--yaml"}).code, 2);

    EXPECT_EQ(tool({"show", file, "1"}).code, 0);
    EXPECT_EQ(tool({"show", file, "1", "--json"}).code, 0);
    EXPECT_EQ(tool({"count", file}).code, 0);
    EXPECT_TRUE(StatSnapshot(file).same(before));
}

TEST(DemoData, SplitMixGivesTheSameNumbersEverywhere) {
    DemoRng rng(0);
    EXPECT_EQ(rng.next(), 0xE220A8397B1DCDAFull);
    EXPECT_EQ(rng.next(), 0x6E789E6AA1B965F4ull);
}

// The demo files are pinned byte for byte: a draw whose order the compiler may
// choose (two draws in one call's arguments) would give other files elsewhere.
TEST(DemoData, SameFilesWhateverTheCompiler) {
    TempDir tmp;
    const ToolRun r = tool({"demo", tmp.path(), "--users", "300"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto fnv1a = [](const std::string& bytes) {
        std::uint64_t h = 0xCBF29CE484222325ull;
        for (const char c : bytes)
            h = (h ^ static_cast<unsigned char>(c)) * 0x100000001B3ull;
        return h;
    };
    EXPECT_EQ(fnv1a(readFileBytes(tmp.file("zorvuser.dat"))), 0xEC2AE97EAE41DB05ull);
    EXPECT_EQ(fnv1a(readFileBytes(tmp.file("resume.hdr"))), 0xAB866EEA7047D549ull);
    EXPECT_EQ(fnv1a(readFileBytes(tmp.file("resume.txt"))), 0xFEE2A642B65AF370ull);
}

TEST(DemoData, SameSeedSameUsersAndShorterFilesArePrefixes) {
    const auto a = makeDemoUsers(60, 7);
    EXPECT_EQ(a, makeDemoUsers(60, 7));
    EXPECT_NE(a, makeDemoUsers(60, 8));
    const auto b = makeDemoUsers(20, 7);
    EXPECT_TRUE(std::equal(b.begin(), b.end(), a.begin()));
    EXPECT_TRUE(makeDemoUsers(0, 7).empty());
}

TEST(DemoData, DefaultFileHasTheCasesTestsNeed) {
    TempDir tmp;
    const ToolRun r = tool({"demo", tmp.file("d")});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto users = readAllRecords(tmp.file("d/zorvuser.dat"));
    ASSERT_EQ(users.size(), 250u);
    EXPECT_EQ(users, demoUsersAsWritten(250, 1, users));

    std::set<unsigned> statuses;
    int fullNames = 0, zeroDates = 0, reserved = 0, unknownBits = 0, tails = 0, noItem = 0;
    bool nordic = false;
    for (const auto& u : users) {
        statuses.insert(readCode(u, kStatus));
        fullNames += rawText(u, kName).size() == 30;
        zeroDates += readLastcall(u) == 0;
        reserved += u[30] != 0 || u[250] != 0;
        unknownBits += (readSecurity(u) & 0x3FFFFF00u) != 0 || (readUserflags(u) >> 13) != 0;
        noItem += readCode(u, kTtype) == 2 || readCode(u, kTtype) > 4 || readCode(u, kStatus) > 3;
        const auto name = rawText(u, kName);
        tails += name.size() < 29 && u[name.size() + 1] != 0;
        for (const auto* f : {&kName, &kAddress, &kPostnr})
            for (char c : rawText(u, *f))
                nordic =
                    nordic || std::string("\x8F\x92\x9D\x86\x91\x9B").find(c) != std::string::npos;
    }
    for (unsigned s = 0; s < 4; ++s)
        EXPECT_TRUE(statuses.count(s)) << "status " << s;
    EXPECT_GE(fullNames, 3);
    EXPECT_GE(zeroDates, 3);
    EXPECT_GE(reserved, 50);
    EXPECT_GE(unknownBits, 5);
    EXPECT_GE(noItem, 3);
    EXPECT_GE(tails, 3);
    EXPECT_TRUE(nordic);

    // About a quarter hold resumes, in the same holders as the generator's.
    const auto holders = zorvtool::demoResumeHolders(users);
    EXPECT_GT(holders.size(), 40u);
    EXPECT_LT(holders.size(), 90u);
    EXPECT_EQ(holders, zorvtool::demoResumeHolders(makeDemoUsers(250, 1)));
}

TEST(DemoData, ResumeNumbersCanComeFromAConference) {
    auto users = makeDemoUsers(40, 3);
    const auto holders = zorvtool::demoResumeHolders(users);
    ASSERT_GE(holders.size(), 3u);
    zorvtool::assignDemoResumes(users, {5, 9});
    EXPECT_EQ(readNumber(users[static_cast<std::size_t>(holders[0])], kResume), 5);
    EXPECT_EQ(readNumber(users[static_cast<std::size_t>(holders[1])], kResume), 9);
    EXPECT_EQ(readNumber(users[static_cast<std::size_t>(holders[2])], kResume), 0);
}

TEST(DemoData, CommandRefusesToOverwriteAndBadOptions) {
    TempDir tmp;
    const std::string file = tmp.file("zorvuser.dat");
    zorvtest::writeFileBytes(file, "a real user file");
    ToolRun r = tool({"demo", tmp.path()});
    EXPECT_EQ(r.code, 2) << "an error; 1 is only ever a negative answer";
    EXPECT_NE(r.err.find("--force"), std::string::npos);
    EXPECT_EQ(readFileBytes(file), "a real user file");

    for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{
             {"demo"},
             {"demo", tmp.file("x"), "--users"},
             {"demo", tmp.file("x"), "--users", "-1"},
             {"demo", tmp.file("x"), "--users", "ten"},
             {"demo", tmp.file("x"), "--seed", "-3"},
             {"demo", tmp.file("x"), "--colour"},
         }) {
        r = tool(bad);
        EXPECT_EQ(r.code, 2) << bad.back();
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_FALSE(zorvtest::fileExists(tmp.file("x")));

    r = tool({"demo", tmp.path(), "--users", "12", "--seed", "18446744073709551615", "--force"});
    ASSERT_EQ(r.code, 0) << r.err;
    const auto written = readAllRecords(file);
    EXPECT_EQ(written, demoUsersAsWritten(12, 18446744073709551615ull, written));
}

// The user file is written as its users are made; it must be the very file
// that making every user first gave, on both sides of the point where the
// resume holders fix the conference's size (1002 holders, about 4000 users).
TEST(DemoData, StreamedFileIsTheFileMadeInMemory) {
    for (const auto& [n, seed] : std::vector<std::pair<int, std::uint64_t>>{
             {0, 1}, {1, 5}, {250, 1}, {3900, 2}, {4100, 2}, {6000, 77}}) {
        TempDir streamed, inMemory;
        const ToolRun r = tool({"demo", streamed.path(), "--users", std::to_string(n), "--seed",
                                std::to_string(seed)});
        ASSERT_EQ(r.code, 0) << r.err;

        auto users = makeDemoUsers(n, seed);
        const int holders = static_cast<int>(zorvtool::demoResumeHolders(users).size());
        const auto numbers =
            zorvtool::writeDemoConference(inMemory.path(), seed, std::clamp(holders - 2, 5, 1000));
        std::vector<int> given = numbers;
        const auto missing = zorvtool::missingDemoNumbers(numbers);
        for (std::size_t k = 0; k < missing.size() && given.size() > 4 * k + 3; ++k)
            given.insert(given.begin() + static_cast<std::ptrdiff_t>(4 * k + 3), missing[k]);
        zorvtool::assignDemoResumes(users, given);
        zorvtool::writeDemoUserFile(inMemory.path(), users);

        for (const char* f : {"zorvuser.dat", "resume.hdr", "resume.txt"})
            EXPECT_EQ(readFileBytes(streamed.file(f)), readFileBytes(inMemory.file(f)))
                << f << " n=" << n << " seed=" << seed;
    }
}

TEST(DemoData, UnfinishedWriterLeavesTheOldFileAndNoOtherFile) {
    TempDir tmp;
    writeFileBytes(tmp.file("zorvuser.dat"), "old");
    {
        zorv::AtomicFileWriter out(tmp.file("zorvuser.dat"));
        out.write(std::string(100000, 'x'));
    } // dropped: a generator that failed half way
    EXPECT_EQ(readFileBytes(tmp.file("zorvuser.dat")), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(tmp.path()),
                            std::filesystem::directory_iterator()),
              1);

    zorv::AtomicFileWriter out(tmp.file("zorvuser.dat"));
    out.write("new ");
    out.write("bytes");
    out.commit();
    EXPECT_EQ(readFileBytes(tmp.file("zorvuser.dat")), "new bytes");
    EXPECT_THROW(out.write("more"), zorv::IoError);
}
