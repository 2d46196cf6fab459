#pragma once
// What `zorvtool list` and `zorvtool stats` share: FILE and the sort options,
// reading, the sort itself and the output, which leaves only once everything
// has been read.

#include "commandline.h"

#include "components/sortgrid.h"

#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorv {
class BlockReader;
}

namespace zorvtool {

struct SortRequest {
    std::string column;  // --sort's text as given
    bool sorted = false; // --sort given
    bool descending = false;
};

// --sort C and --desc, for a grid of the columns `columns` explains.
void declareSort(CommandLine& line, SortRequest& sort, const std::string& columns);

// The sort column in 0..colCount-1, or nothing (with `problem` set) for a bad
// text or --desc without --sort. No --sort at all: -1.
std::optional<int> sortColumnOf(const SortRequest& sort, int colCount, std::string& problem);

// SortRows with that column and direction when there are at least two data rows.
void sortGrid(zorv::SortGrid& grid, int column, bool descending);

// Writes the produced pieces to out, none after the stream failed.
void writeOutput(std::ostream& out,
                 const std::function<void(const std::function<void(std::string_view)>&)>& produce);

// Fills the grid from FILE with `build`, sorts it by `column` (-1: not at all)
// and writes what `produce` makes of it. Failures are printed as
// "zorvtool COMMAND: ..."; returns the exit code.
int buildSortWrite(
    std::string_view command, const std::string& file, zorv::SortGrid& grid,
    const std::function<void(zorv::BlockReader&)>& build, int column, bool descending,
    std::ostream& out, std::ostream& err,
    const std::function<void(const std::function<void(std::string_view)>&)>& produce);

} // namespace zorvtool
