#pragma once
// What `zorvtool list` and `zorvtool stats` share: the sort options, the sort
// itself and the output, which leaves only once everything has been read.

#include "components/sortgrid.h"

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorvtool {

struct SortRequest {
    std::optional<std::string> column; // --sort's text as given
    bool descending = false;
};

// Takes --sort C and --desc at args[i] (advancing i past a value). Returns
// false when args[i] is neither; sets `problem` for a missing or repeated value.
bool takeSortOption(const std::vector<std::string>& args, std::size_t& i, SortRequest& sort,
                    std::string& problem);

// The sort column in 0..colCount-1, or nothing (with `problem` set) for a bad
// text or --desc without --sort. No --sort at all: -1.
std::optional<int> sortColumnOf(const SortRequest& sort, int colCount, std::string& problem);

// SortRows with that column and direction when there are at least two data rows.
void sortGrid(zorv::SortGrid& grid, int column, bool descending);

// Writes the produced pieces to out; false when the stream failed.
bool writeOutput(std::ostream& out,
                 const std::function<void(const std::function<void(std::string_view)>&)>& produce);

} // namespace zorvtool
