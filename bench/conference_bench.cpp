// The conference decoder: compressed text decoded per second, and a whole
// readMessage from files.

#include "democonference.h"
#include "linecodec.h"
#include "resume/conference.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace {

// Line records of text drawn with the letter weights' own frequencies, which
// is what the code was made for.
std::string compressedText(std::size_t lines) {
    std::vector<double> weights(zorv::kLetterWeights.begin(), zorv::kLetterWeights.end());
    std::discrete_distribution<int> pick(weights.begin(), weights.end());
    std::mt19937 rng(7);
    std::string text;
    while (lines > 0) {
        std::string line(40 + rng() % 40, ' ');
        for (auto& c : line)
            c = static_cast<char>(pick(rng) + zorv::kFirstWeightedCode);
        if (const auto rec = zorvtool::encodeCompressedLine(line)) {
            text += *rec;
            --lines;
        }
    }
    return text;
}

void BM_DecodeCompressedLines(benchmark::State& state) {
    const std::string text = compressedText(4096);
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    std::size_t chars = 0;
    for (auto _ : state) {
        for (std::size_t at = 0; at < text.size();) {
            const std::size_t n = p[at] & 0x7Fu;
            const std::string line = zorv::decodeLine(p[at], p + at + 1, n);
            chars += line.size();
            benchmark::DoNotOptimize(line.data());
            at += 1 + n;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    state.counters["chars/s"] =
        benchmark::Counter(static_cast<double>(chars), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DecodeCompressedLines);

void BM_BuildDecodingTree(benchmark::State& state) {
    for (auto _ : state) {
        zorv::DecodingTree tree;
        benchmark::DoNotOptimize(&tree);
    }
}
BENCHMARK(BM_BuildDecodingTree);

// The last of 2000 resumes of a conference on disk: the linear header search
// and the decoding together.
void BM_ReadMessageFromFiles(benchmark::State& state) {
    const auto dir = std::filesystem::temp_directory_path() / "zorvbench_conference";
    std::filesystem::create_directories(dir);
    const auto numbers = zorvtool::writeDemoConference(dir.string(), 1, 2000);
    const std::string base = (dir / "resume").string();
    for (auto _ : state) {
        auto m = zorv::readMessage(base, numbers.back());
        benchmark::DoNotOptimize(m);
    }
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_ReadMessageFromFiles);

} // namespace
