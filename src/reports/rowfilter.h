#pragma once
// The user list's filter: the rows that hold a text in any of their cells,
// upper-cased as the Find tab compares (a-z and the three Nordic small
// letters of cp1252 to their capitals, on both sides).

#include "components/sortgrid.h"

#include <array>
#include <string>
#include <string_view>
#include <vector>

namespace zorv {

class RowFilter {
  public:
    explicit RowFilter(std::string_view cp1252Text);
    // An empty filter keeps every row.
    bool empty() const { return needle_.empty(); }
    bool matches(std::string_view cell) const;
    bool rowMatches(const SortGrid& grid, int row) const;
    // The data rows that match, in grid order (grid row numbers).
    std::vector<int> matchingRows(const SortGrid& grid) const;
    // For each data row, 1 when it matches: the rows are looked at by two
    // threads, each with its half.
    std::vector<char> matchFlags(const SortGrid& grid) const;
    // True when every row this filter keeps is kept by `wider` too.
    bool narrows(const RowFilter& wider) const;

  private:
    std::string needle_;            // upper-cased
    std::array<bool, 256> first_{}; // bytes that fold to needle_[0]
};

} // namespace zorv
