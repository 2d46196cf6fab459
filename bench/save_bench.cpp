// Save File at 1,000,000 users (a 273 MB user file): the in-place merge of a
// few changed users, with and without the reload of the working copy that
// follows it, and the first backup of a run.

#include "userfile/backups.h"
#include "userfile/savefile.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;

class Quiet : public zorv::Prompts {
  public:
    void message(const std::string&, const std::string&) override {}
    void warning(const std::string& t) override { std::fprintf(stderr, "%s\n", t.c_str()); }
    bool confirm(const std::string&) override { return true; }
    int choose(const std::string&, const std::string&, const std::vector<std::string>&) override {
        return 0;
    }
};

struct Board {
    fs::path dir = fs::temp_directory_path() / ("zorvsave." + std::to_string(::getpid()));
    std::string userFile = (dir / "zorvuser.dat").string();
    explicit Board(int users) {
        fs::create_directories(dir);
        std::vector<unsigned char> bytes(static_cast<std::size_t>(users) * zorv::kRecordSize);
        std::mt19937 rng(3);
        for (auto& b : bytes)
            b = static_cast<unsigned char>(rng());
        std::FILE* f = std::fopen(userFile.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
    ~Board() { fs::remove_all(dir); }
};

void changeSome(zorv::UserFileSession& s, int count, int round) {
    const int n = s.workingCopy.recordCount();
    for (int k = 0; k < count; ++k) {
        const int index = static_cast<int>((static_cast<long long>(k) * 7919 + round) % n);
        s.workingCopy.readRecord(index, s.recordBuffer);
        s.recordBuffer[5] = static_cast<std::uint8_t>(s.recordBuffer[5] + 1);
        s.workingCopy.writeRecord(index, s.recordBuffer);
    }
    s.userFileChanged = true;
}

void BM_SaveFile(benchmark::State& state) {
    const int users = static_cast<int>(state.range(0));
    const bool refresh = state.range(1) != 0;
    Board board(users);
    Quiet prompts;
    zorv::UserFileSession s;
    s.userFileName = board.userFile;
    s.workingCopy.setPath((board.dir / "zorvedit.dat").string());
    s.backups = 0;
    zorv::loadUserFile(s, prompts);
    int round = 0;
    for (auto _ : state) {
        state.PauseTiming();
        changeSome(s, 10, ++round);
        state.ResumeTiming();
        if (zorv::saveToUserFile(s, prompts, refresh) != zorv::SaveOutcome::Saved)
            state.SkipWithError("save failed");
    }
    state.SetLabel(refresh ? "10 users changed, working copy reloaded"
                           : "10 users changed, merge only");
}
BENCHMARK(BM_SaveFile)->Args({1000000, 0})->Args({1000000, 1})->Unit(benchmark::kMillisecond);

void BM_FirstBackupOfARun(benchmark::State& state) {
    Board board(static_cast<int>(state.range(0)));
    for (auto _ : state)
        zorv::keepBackup(board.userFile, 3, {});
    state.SetLabel("copy of the whole file, shifting older ones");
}
BENCHMARK(BM_FirstBackupOfARun)->Arg(1000000)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
