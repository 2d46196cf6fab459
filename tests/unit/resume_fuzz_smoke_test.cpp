// A short run of the conference fuzz target's checks: the seed corpus and a few
// thousand mutations of it, through memory and, for a share, through files.

#include "../../fuzz/conference_fuzz_input.h"

#include "tempdir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::vector<std::string> seedCorpus() {
    std::vector<std::string> out;
    const fs::path dir = fs::path(ZORV_FUZZ_CORPUS) / "conference";
    for (const auto& e : fs::directory_iterator(dir)) {
        std::ifstream in(e.path(), std::ios::binary);
        out.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return out;
}

std::string mutate(std::string s, std::mt19937& rng) {
    const int steps = 1 + static_cast<int>(rng() % 8);
    for (int i = 0; i < steps; ++i) {
        const std::size_t at = s.empty() ? 0 : rng() % s.size();
        switch (rng() % 6) {
        case 0: // flip a byte
            if (!s.empty())
                s[at] = static_cast<char>(rng());
            break;
        case 1: // cut the tail
            s.resize(at);
            break;
        case 2: // insert a few bytes
            s.insert(at, std::string(1 + rng() % 4, static_cast<char>(rng())));
            break;
        case 3: // erase a few bytes
            if (!s.empty())
                s.erase(at, 1 + rng() % 4);
            break;
        case 4: // set a header's lineCount or textOffset field to something extreme
            if (s.size() > 6 + 236) {
                const std::size_t field = 6 + 252 * (rng() % 4) + (rng() % 2 ? 226 : 228);
                if (field + 4 <= s.size())
                    for (int k = 0; k < 4; ++k)
                        s[field + static_cast<std::size_t>(k)] =
                            static_cast<char>(rng() % 2 ? 0xFF : rng());
            }
            break;
        default: // point the number at some header
            if (s.size() > 6 + 2 + 252 * 2) {
                s[0] = s[6 + 252 * (rng() % 2)];
                s[1] = s[7];
                s[2] = s[3] = 0;
            }
            break;
        }
    }
    return s;
}

using zorvtest::TempDir;

// The same bytes read from real files must give the same outcome.
void compareWithFiles(const zorvfuzz::ConferenceInput& in, const zorvfuzz::ConferenceOutcome& mem,
                      const fs::path& dir) {
    const std::string base = (dir / "conf").string();
    std::ofstream(base + ".hdr", std::ios::binary | std::ios::trunc)
        .write(in.headers.data(), static_cast<std::streamsize>(in.headers.size()));
    std::ofstream(base + ".txt", std::ios::binary | std::ios::trunc)
        .write(in.text.data(), static_cast<std::streamsize>(in.text.size()));
    zorvfuzz::ConferenceOutcome file;
    try {
        file.message = zorv::readMessage(base, in.number);
    } catch (const zorv::IoError& e) {
        file.errorCode = e.code();
    }
    ASSERT_EQ(file.errorCode, mem.errorCode);
    ASSERT_EQ(file.message.has_value(), mem.message.has_value());
    if (file.message) {
        EXPECT_EQ(file.message->heading, mem.message->heading);
        EXPECT_EQ(file.message->lines, mem.message->lines);
    }
}

} // namespace

TEST(ResumeFuzzSmoke, SeedCorpusAndMutationsHoldTheRules) {
    const auto seeds = seedCorpus();
    ASSERT_GE(seeds.size(), 5u);
    TempDir dir;
    std::mt19937 rng(20261208);
    int found = 0, notFound = 0, failed = 0;
    auto run = [&](const std::string& bytes, bool viaFiles) {
        const auto in = zorvfuzz::splitConferenceInput(
            reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
        const auto out = zorvfuzz::runConferenceInput(in); // aborts on a broken rule
        (out.errorCode ? failed : out.message ? found : notFound)++;
        if (viaFiles)
            compareWithFiles(in, out, dir.path());
    };
    for (const auto& s : seeds)
        run(s, true);
    for (int i = 0; i < 4000; ++i) {
        run(mutate(seeds[rng() % seeds.size()], rng), i % 8 == 0);
        if (::testing::Test::HasFatalFailure())
            return;
    }
    for (int i = 0; i < 1000; ++i) {
        std::string noise(rng() % 2048, '\0');
        for (auto& c : noise)
            c = static_cast<char>(rng());
        run(noise, i % 8 == 0);
    }
    // The mutations must reach all three outcomes, or the run proves little.
    EXPECT_GT(found, 200);
    EXPECT_GT(notFound, 200);
    EXPECT_GT(failed, 200);
}
