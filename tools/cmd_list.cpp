// zorvtool list FILE [--options O] [--sort C] [--desc] [--format tsv|csv|html|clip]
//                    [--date-format F] [--border-color RRGGBB]
// The user list of FILE as the list window builds it, optionally sorted as
// the grid sorts, in one of the list's export forms.

#include "command.h"
#include "reportgrid.h"

#include "components/gridexport.h"
#include "reports/reportrows.h"

#include <ostream>
#include <stdexcept>

namespace zorvtool {
namespace {

constexpr const char* kUsage =
    "usage: zorvtool list FILE [--options O] [--sort C] [--desc] [--format tsv|csv|html|clip]\n"
    "                     [--date-format F] [--border-color RRGGBB]\n"
    "  O: 11 characters 0/1 (the list options, default 11111111001)\n"
    "  F: a date pattern of d, dd, M, MM, yyyy and other characters (default yyyy-MM-dd)\n";

bool optionsTextValid(const std::string& o) {
    if (o.size() != static_cast<std::size_t>(zorv::kListOptionCount))
        return false;
    for (const char ch : o)
        if (ch != '0' && ch != '1')
            return false;
    return true;
}

bool colorValid(const std::string& c) {
    if (c.size() != 6)
        return false;
    for (const char ch : c)
        if (!((ch >= '0' && ch <= '9') || (ch >= 'A' && ch <= 'F')))
            return false;
    return true;
}

int usageError(std::ostream& err, const std::string& problem) {
    err << "zorvtool list: " << problem << '\n' << kUsage;
    return 2;
}

int runList(const Args& args, std::ostream& out, std::ostream& err) {
    std::string file;
    std::string options{zorv::kDefaultListOptions};
    std::string format = "tsv";
    std::string datePattern = "yyyy-MM-dd";
    std::string border = "B4B4B4";
    SortRequest sort;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        std::string problem;
        if (takeSortOption(args, i, sort, problem)) {
            if (!problem.empty())
                return usageError(err, problem);
            continue;
        }
        std::string* value = nullptr;
        if (a == "--options")
            value = &options;
        else if (a == "--format")
            value = &format;
        else if (a == "--date-format")
            value = &datePattern;
        else if (a == "--border-color")
            value = &border;
        if (value) {
            if (i + 1 >= args.size())
                return usageError(err, a + " needs a value");
            *value = args[++i];
        } else if (!takeFileArgument(a, file, problem)) {
            return usageError(err, problem);
        }
    }
    if (file.empty())
        return usageError(err, "no FILE given");
    if (!optionsTextValid(options))
        return usageError(err, "options '" + options + "' are not 11 characters 0 or 1");
    if (format != "tsv" && format != "csv" && format != "html" && format != "clip")
        return usageError(err, "unknown format '" + format + "'");
    if (!colorValid(border))
        return usageError(err, "border colour '" + border + "' is not six upper-case hex digits");

    zorv::SortGrid grid(1, 1);
    try {
        grid.DateFormat = zorv::DatePattern(datePattern);
    } catch (const std::invalid_argument&) {
        return usageError(err, "date format '" + datePattern + "' cannot be written and read");
    }
    const zorv::UserListColumns columns{zorv::ListOptions{options}};
    std::string problem;
    const auto sortColumn = sortColumnOf(sort, std::max(1, columns.count()), problem);
    if (!sortColumn)
        return usageError(err, problem);
    if (*sortColumn >= 0 && *sortColumn == columns.lastCallColumn &&
        !grid.DateFormat.hasDayMonthYear())
        return usageError(err, "sorting by Last Call needs a day, a month and a year in '" +
                                   datePattern + "'");

    return buildSortWrite(
        "list", file, grid,
        [&](zorv::BlockReader& reader) {
            zorv::buildUserList(grid, columns, reader);
            grid.OnGetFormat = [&](int col, zorv::TSortStyle& style) {
                zorv::userListSortStyle(columns, col, style);
            };
        },
        *sortColumn, sort.descending, out, err,
        [&](const zorv::TextSink& sink) {
            if (format == "tsv")
                zorv::tabbedText(grid, sink);
            else if (format == "csv")
                zorv::csvText(grid, sink);
            else if (format == "html")
                zorv::htmlText(grid, border, sink);
            else
                zorv::rangeText(grid, {0, 0, grid.ColCount() - 1, grid.RowCount() - 1}, sink);
        });
}

const Register reg{{"list",
                    "list FILE [--options O] [--sort C] [--desc] [--format tsv|csv|html|clip] "
                    "[--date-format F] [--border-color RRGGBB]  the user list, as the list "
                    "window builds it",
                    runList}};

} // namespace
} // namespace zorvtool
