// zorvtool stats FILE [--sort C] [--desc]: the statistics grid of FILE as the
// statistics window fills it, optionally sorted as the grid sorts, printed
// as the clipboard text of the whole grid.

#include "command.h"
#include "reportgrid.h"

#include "components/gridexport.h"
#include "reports/reportrows.h"

#include <ostream>

namespace zorvtool {
namespace {

struct StatsArgs {
    std::string file;
    SortRequest sort;
};

void declareStats(CommandLine& line, StatsArgs& a) {
    line.word("FILE", a.file);
    std::string columns;
    for (const auto header : zorv::kStatHeaders)
        columns += (columns.empty() ? "" : ", ") + std::string(header);
    declareSort(line, a.sort, columns);
}

int runStats(const StatsArgs& a, std::ostream& out, std::ostream& err) {
    const std::string& file = a.file;
    const SortRequest& sort = a.sort;
    std::string problem;
    const auto sortColumn = sortColumnOf(sort, zorv::kStatColumns, problem);
    if (!sortColumn)
        throw UsageError(problem);

    zorv::SortGrid grid(zorv::kStatColumns, 1);
    return buildSortWrite(
        "stats", file, grid,
        [&](zorv::BlockReader& reader) {
            zorv::buildStatistics(grid, reader);
            grid.OnGetFormat = [](int col, zorv::TSortStyle& style) {
                style = zorv::statisticsSortStyle(col);
            };
        },
        *sortColumn, sort.descending, out, err,
        [&](const zorv::TextSink& sink) {
            zorv::rangeText(grid, {0, 0, grid.ColCount() - 1, grid.RowCount() - 1}, sink);
        });
}

const Register reg{
    command<StatsArgs>("stats", "the statistics grid, optionally sorted", declareStats, runStats)};

} // namespace
} // namespace zorvtool
