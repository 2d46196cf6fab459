#include "reports/rowfilter.h"

#include "userfile/codepage.h"

#include <cstring>
#include <thread>

namespace zorv {

namespace {

struct FoldTable {
    unsigned char map[256];
    FoldTable() {
        for (int b = 0; b < 256; ++b) {
            const char c = static_cast<char>(b);
            map[b] = static_cast<unsigned char>(ansiUpper(std::string_view(&c, 1))[0]);
        }
    }
};

const FoldTable& fold() {
    static const FoldTable table;
    return table;
}

} // namespace

RowFilter::RowFilter(std::string_view text) : needle_(ansiUpper(text)) {
    if (needle_.empty())
        return;
    const FoldTable& f = fold();
    for (int b = 0; b < 256; ++b)
        first_[static_cast<std::size_t>(b)] = f.map[b] == static_cast<unsigned char>(needle_[0]);
}

bool RowFilter::matches(std::string_view cell) const {
    const std::size_t n = needle_.size();
    if (n == 0)
        return true;
    if (cell.size() < n)
        return false;
    const auto* p = reinterpret_cast<const unsigned char*>(cell.data());
    const auto* needle = reinterpret_cast<const unsigned char*>(needle_.data());
    const FoldTable& f = fold();
    const std::size_t last = cell.size() - n;
    for (std::size_t i = 0; i <= last; ++i) {
        if (!first_[p[i]])
            continue;
        std::size_t k = 1;
        while (k < n && f.map[p[i + k]] == needle[k])
            ++k;
        if (k == n)
            return true;
    }
    return false;
}

bool RowFilter::rowMatches(const SortGrid& grid, int row) const {
    return grid.AnyCell(row, [this](std::string_view cell) { return matches(cell); });
}

std::vector<int> RowFilter::matchingRows(const SortGrid& grid) const {
    std::vector<int> out;
    const int first = std::max(grid.FixedRows, 0);
    out.reserve(static_cast<std::size_t>(std::max(grid.RowCount() - first, 0)));
    for (int r = first; r < grid.RowCount(); ++r) {
        grid.PrefetchRow(r + 8);
        if (rowMatches(grid, r))
            out.push_back(r);
    }
    return out;
}

std::vector<char> RowFilter::matchFlags(const SortGrid& grid) const {
    const int first = std::max(grid.FixedRows, 0);
    const int n = std::max(grid.RowCount() - first, 0);
    std::vector<char> flags(static_cast<std::size_t>(n), 0);
    auto part = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            grid.PrefetchRow(first + i + 8);
            flags[static_cast<std::size_t>(i)] = rowMatches(grid, first + i) ? 1 : 0;
        }
    };
    if (n < 20000) {
        part(0, n);
        return flags;
    }
    // The grid is only read; each thread writes its own half of the flags.
    std::thread other(part, n / 2, n);
    part(0, n / 2);
    other.join();
    return flags;
}

bool RowFilter::narrows(const RowFilter& wider) const {
    return !wider.empty() && needle_.find(wider.needle_) != std::string::npos;
}

} // namespace zorv
