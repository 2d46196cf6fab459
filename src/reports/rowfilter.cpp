#include "reports/rowfilter.h"

#include "editor/find.h"

#include <cstring>

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
    for (int c = 0; c < grid.ColCount(); ++c)
        if (matches(grid.Cell(c, row)))
            return true;
    return false;
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

std::vector<int> RowFilter::matchingRows(const SortGrid& grid, const std::vector<int>& rows) const {
    std::vector<int> out;
    out.reserve(rows.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i + 8 < rows.size())
            grid.PrefetchRow(rows[i + 8]);
        if (rowMatches(grid, rows[i]))
            out.push_back(rows[i]);
    }
    return out;
}

bool RowFilter::narrows(const RowFilter& wider) const {
    return !wider.empty() && needle_.find(wider.needle_) != std::string::npos;
}

} // namespace zorv
