#include "reportgrid.h"

#include "userfile/blockreader.h"
#include "userfile/errors.h"

#include <charconv>
#include <ostream>
#include <stdexcept>

namespace zorvtool {

void declareSort(CommandLine& line, SortRequest& sort, const std::string& columns) {
    line.option("--sort", "C",
                "sort by column C (from 0: " + columns +
                    ") as the grid sorts it when its header is clicked: numbers as numbers, "
                    "dates as dates, other columns as text",
                sort.column, &sort.sorted);
    line.flag("--desc", "sort descending (with --sort)", sort.descending);
}

std::optional<int> sortColumnOf(const SortRequest& sort, int colCount, std::string& problem) {
    if (!sort.sorted) {
        if (sort.descending) {
            problem = "--desc needs --sort";
            return std::nullopt;
        }
        return -1;
    }
    const std::string& t = sort.column;
    int c = -1;
    const auto res = std::from_chars(t.data(), t.data() + t.size(), c);
    if (t.empty() || res.ec != std::errc{} || res.ptr != t.data() + t.size() || c < 0 ||
        c >= colCount) {
        problem = "sort column '" + t + "' is not one of 0 to " + std::to_string(colCount - 1);
        return std::nullopt;
    }
    return c;
}

void sortGrid(zorv::SortGrid& grid, int column, bool descending) {
    grid.SetSortColumn(column);
    grid.SortDirection = descending ? zorv::sdDescending : zorv::sdAscending;
    if (grid.RowCount() - grid.FixedRows >= 2)
        grid.SortRows();
}

void writeOutput(std::ostream& out,
                 const std::function<void(const std::function<void(std::string_view)>&)>& produce) {
    produce([&](std::string_view piece) {
        if (out)
            out.write(piece.data(), static_cast<std::streamsize>(piece.size()));
    });
}

int buildSortWrite(
    std::string_view command, const std::string& file, zorv::SortGrid& grid,
    const std::function<void(zorv::BlockReader&)>& build, int column, bool descending,
    std::ostream& out, std::ostream& err,
    const std::function<void(const std::function<void(std::string_view)>&)>& produce) {
    try {
        zorv::BlockReader reader(file);
        build(reader);
    } catch (const zorv::IoError& e) {
        err << "zorvtool " << command << ": " << file << ": " << e.what() << '\n';
        return 2;
    }
    try {
        if (column >= 0)
            sortGrid(grid, column, descending);
    } catch (const std::runtime_error& e) {
        err << "zorvtool " << command << ": " << e.what() << '\n';
        return 2;
    }
    writeOutput(out, produce); // a failed stream is the dispatcher's to report
    return 0;
}

} // namespace zorvtool
