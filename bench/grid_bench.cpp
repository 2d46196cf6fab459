// The grid model at the user list's size: SortRows by Name, Limit, User
// Number and Last Call, and the memory of a filled grid.
//
// ZORV_GRID_USERS names a user file (scripts/bench/grid.sh makes demo files
// of 100,000 and 1,000,000 users); without it 100,000 demo users are made in
// memory. ZORV_GRID_TSV, when set, receives the same rows as tab-separated
// text, for the same sorts by GNU sort.

#include "components/sortgrid.h"
#include "demodata.h"
#include "userfile/record.h"

#include <benchmark/benchmark.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using Rows = std::vector<std::vector<std::string>>;

constexpr int kColumns = 10;
constexpr int kNameCol = 1, kLimitCol = 6, kNumberCol = 0, kLastCallCol = 9;

std::vector<zorv::Record> loadUsers() {
    const char* path = std::getenv("ZORV_GRID_USERS");
    if (!path)
        return zorvtool::makeDemoUsers(100000, zorvtool::kDefaultDemoSeed);
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof())
        throw std::runtime_error(std::string("cannot read ") + path);
    std::vector<zorv::Record> users(bytes.size() / zorv::kRecordSize);
    for (std::size_t i = 0; i < users.size(); ++i)
        std::copy_n(bytes.data() + i * zorv::kRecordSize, zorv::kRecordSize, users[i].begin());
    return users;
}

// The user list with options "11111111101": ten columns, the name whole.
// A stand-in for the report's own row builder, enough to give the grid the
// same texts.
std::string lastCallText(std::uint32_t packed) {
    const int day = static_cast<int>((packed >> 16) & 31);
    const int month = static_cast<int>((packed >> 21) & 15);
    const int year = 1980 + static_cast<int>(packed >> 25);
    if (packed == 0 || month < 1 || month > 12 || day < 1)
        return {};
    static const zorv::DatePattern iso("yyyy-MM-dd");
    return iso.format({year, month, day});
}

Rows buildRows(const std::vector<zorv::Record>& users) {
    static const char* const labels[] = {"None",   "Download", "Upload", "Up&&Down",
                                         "Active", "Getlost",  "Killed", "Kill+Boot"};
    Rows rows;
    rows.reserve(users.size());
    for (std::size_t i = 0; i < users.size(); ++i) {
        const zorv::Record& r = users[i];
        const unsigned access = zorv::readSecurity(r) >> 30;
        const unsigned status = r[zorv::kStatus.offset];
        rows.push_back({std::to_string(i), zorv::readText(r, zorv::kName),
                        zorv::readText(r, zorv::kAddress), zorv::readText(r, zorv::kPostnr),
                        zorv::readText(r, zorv::kTlf), zorv::readText(r, zorv::kBirth),
                        std::to_string(zorv::readNumber(r, zorv::kLimit)), labels[access],
                        status < 4 ? labels[status + 4] : "", lastCallText(zorv::readLastcall(r))});
    }
    return rows;
}

struct Data {
    Rows rows;
    std::size_t textBytes = 0;
};

const Data& data() {
    static const Data d = [] {
        Data out;
        out.rows = buildRows(loadUsers());
        for (const auto& r : out.rows)
            for (const auto& t : r)
                out.textBytes += t.size();
        if (const char* tsv = std::getenv("ZORV_GRID_TSV")) {
            std::ofstream f(tsv, std::ios::binary | std::ios::trunc);
            for (const auto& r : out.rows) {
                for (int c = 0; c < kColumns; ++c)
                    f << (c ? "\t" : "") << r[static_cast<std::size_t>(c)];
                f << '\n';
            }
            if (!f.good())
                throw std::runtime_error(std::string("cannot write ") + tsv);
        }
        return out;
    }();
    return d;
}

void setUp(zorv::SortGrid& g) {
    g.SetColCount(kColumns);
    g.OnGetFormat = [](int col, zorv::TSortStyle& s) {
        if (col == kNumberCol)
            s = zorv::ssNumber;
        else if (col == kLastCallCol)
            s = zorv::ssDateTime;
    };
    g.DateFormat = zorv::DatePattern("yyyy-MM-dd");
    Rows copy = data().rows;
    g.SetDataRows(std::move(copy));
}

void BM_GridSortRows(benchmark::State& state) {
    const int col = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        auto g = std::make_unique<zorv::SortGrid>(kColumns, 1);
        setUp(*g);
        g->SetSortColumn(col);
        state.ResumeTiming();
        g->SortRows();
        state.PauseTiming();
        benchmark::DoNotOptimize(g->Cell(col, 1).data());
        g.reset(); // freed untimed
        state.ResumeTiming();
    }
    state.counters["rows"] = static_cast<double>(data().rows.size());
}
BENCHMARK(BM_GridSortRows)
    ->ArgName("col")
    ->Arg(kNameCol)
    ->Arg(kLimitCol)
    ->Arg(kNumberCol)
    ->Arg(kLastCallCol)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3);

void BM_GridMemory(benchmark::State& state) {
    (void)data();
    for (auto _ : state) {
        const std::size_t before = mallinfo2().uordblks;
        auto* g = new zorv::SortGrid(kColumns, 1);
        setUp(*g);
        const std::size_t after = mallinfo2().uordblks;
        const double text = static_cast<double>(data().textBytes);
        state.counters["text_MB"] = text / 1e6;
        state.counters["heap_MB"] = static_cast<double>(after - before) / 1e6;
        state.counters["heap_per_text"] = static_cast<double>(after - before) / text;
        state.counters["estimate_per_text"] = static_cast<double>(g->MemoryBytes()) / text;
        delete g;
    }
}
BENCHMARK(BM_GridMemory)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace
