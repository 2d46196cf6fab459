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

constexpr const char* kUsage = "usage: zorvtool stats FILE [--sort C] [--desc]\n";

int usageError(std::ostream& err, const std::string& problem) {
    err << "zorvtool stats: " << problem << '\n' << kUsage;
    return 2;
}

int runStats(const Args& args, std::ostream& out, std::ostream& err) {
    std::string file;
    SortRequest sort;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string problem;
        if (takeSortOption(args, i, sort, problem)) {
            if (!problem.empty())
                return usageError(err, problem);
        } else if (!takeFileArgument(a, file, problem)) {
            return usageError(err, problem);
        }
    }
    if (file.empty())
        return usageError(err, "no FILE given");
    std::string problem;
    const auto sortColumn = sortColumnOf(sort, zorv::kStatColumns, problem);
    if (!sortColumn)
        return usageError(err, problem);

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
    {"stats", "stats FILE [--sort C] [--desc]  the statistics grid, optionally sorted", runStats}};

} // namespace
} // namespace zorvtool
