// Short runs of the settings-file and user-record fuzz targets' checks: their
// seed corpora and some thousands of mutations of them.

#include "../../fuzz/record_fuzz_input.h"
#include "../../fuzz/settings_fuzz_input.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> seeds(const char* name) {
    std::vector<std::string> out;
    const fs::path dir = fs::path(ZORV_FUZZ_CORPUS) / name;
    for (const auto& e : fs::directory_iterator(dir)) {
        std::ifstream in(e.path(), std::ios::binary);
        out.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return out;
}

// Byte flips, cuts, insertions of the characters the parser cares about.
std::string mutate(std::string s, std::mt19937& rng) {
    static const std::string special = "\"\\[]=:,-\r\n;@hexdword(27)\xff\xfe\xef\xbb\xbf";
    const int steps = 1 + static_cast<int>(rng() % 6);
    for (int i = 0; i < steps; ++i) {
        const std::size_t at = s.empty() ? 0 : rng() % s.size();
        switch (rng() % 4) {
        case 0:
            if (!s.empty())
                s[at] = static_cast<char>(rng());
            break;
        case 1:
            s.resize(at);
            break;
        case 2:
            s.insert(at, 1, special[rng() % special.size()]);
            break;
        case 3:
            if (!s.empty())
                s.erase(at, 1 + rng() % 3);
            break;
        }
    }
    return s;
}

template <typename Run> void smoke(const char* corpus, int mutations, Run run) {
    const auto base = seeds(corpus);
    ASSERT_FALSE(base.empty());
    std::mt19937 rng(1234);
    for (const std::string& s : base)
        run(s);
    for (int i = 0; i < mutations; ++i)
        run(mutate(base[rng() % base.size()], rng));
}

} // namespace

TEST(FuzzSmoke, SettingsFileParsesWritesBackAndTakesAValue) {
    smoke("settings", 5000, [](const std::string& s) {
        zorvfuzz::runSettingsInput(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    });
}

TEST(FuzzSmoke, RecordDecodesToValidTextAndJson) {
    smoke("record", 3000, [](const std::string& s) {
        zorvfuzz::runRecordInput(reinterpret_cast<const std::uint8_t*>(s.data()), s.size());
    });
}

TEST(FuzzSmoke, TheJsonCheckRefusesBrokenJson) {
    // The check itself must be able to fail, or the runs above prove nothing.
    for (const char* bad : {"", "{", "{\"a\":}", "{\"a\":1,}", "{\"a\":\"\x01\"}", "{\"a\" 1}",
                            "{\"a\":\"\\q\"}", "{} x"})
        EXPECT_FALSE(zorvfuzz::JsonCheck(bad).object()) << bad;
    EXPECT_TRUE(zorvfuzz::JsonCheck("{\"a\": \"b\\u0001\", \"n\": -5}").object());
    EXPECT_FALSE(zorvfuzz::validUtf8("\xC3"));
    EXPECT_FALSE(zorvfuzz::validUtf8("\x80"));
    EXPECT_TRUE(zorvfuzz::validUtf8("bj\xC3\xB8rn"));
}
