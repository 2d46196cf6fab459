// zorvtool stats FILE [--sort C] [--desc]: the statistics grid of FILE as the
// statistics window fills it, optionally sorted as the grid sorts, printed
// as the clipboard text of the whole grid.

#include "command.h"
#include "reportgrid.h"

#include "components/gridexport.h"
#include "reports/reportrows.h"
#include "userfile/blockreader.h"
#include "userfile/errors.h"

#include <ostream>
#include <stdexcept>

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
        } else if (a.size() > 1 && a[0] == '-') {
            return usageError(err, "unknown option '" + a + "'");
        } else if (file.empty()) {
            file = a;
        } else {
            return usageError(err, "more than one FILE");
        }
    }
    if (file.empty())
        return usageError(err, "no FILE given");
    std::string problem;
    const auto sortColumn = sortColumnOf(sort, zorv::kStatColumns, problem);
    if (!sortColumn)
        return usageError(err, problem);

    zorv::SortGrid grid(zorv::kStatColumns, 1);
    try {
        zorv::BlockReader reader(file);
        zorv::buildStatistics(grid, reader);
    } catch (const zorv::IoError& e) {
        err << "zorvtool stats: " << file << ": " << e.what() << '\n';
        return 2;
    }
    grid.OnGetFormat = [](int col, zorv::TSortStyle& style) {
        style = zorv::statisticsSortStyle(col);
    };
    try {
        if (*sortColumn >= 0)
            sortGrid(grid, *sortColumn, sort.descending);
    } catch (const std::runtime_error& e) {
        err << "zorvtool stats: " << e.what() << '\n';
        return 2;
    }

    const bool written = writeOutput(out, [&](const zorv::TextSink& sink) {
        zorv::rangeText(grid, {0, 0, grid.ColCount() - 1, grid.RowCount() - 1}, sink);
    });
    if (!written) {
        err << "zorvtool stats: cannot write the output\n";
        return 2;
    }
    return 0;
}

const Register reg{
    {"stats", "stats FILE [--sort C] [--desc]  the statistics grid, optionally sorted", runStats}};

} // namespace
} // namespace zorvtool
