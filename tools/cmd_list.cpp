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

struct ListArgs {
    std::string file;
    std::string options{zorv::kDefaultListOptions};
    std::string format = "tsv";
    std::string datePattern = "yyyy-MM-dd";
    std::string border = "B4B4B4";
    SortRequest sort;
};

void declareList(CommandLine& line, ListArgs& a) {
    line.word("FILE", a.file);
    line.option("--options", "O",
                "the columns, as the list's Options menu ticks them: 11 characters, 1 for on "
                "and 0 for off, for User Number, Name, Address, City/State, Phone, Birth, Limit, "
                "Up&Down stat, Login stat, Last Call and (the 11th) Splitt names?, the name as "
                "Forename and Surname (default 11111111001)",
                a.options);
    declareSort(line, a.sort, "the columns in the order --options shows them");
    line.option("--format", "tsv|csv|html|clip",
                "tsv (default): the data rows, cells joined by TAB, lines ending in CR LF; csv: "
                "the header row too, cells joined by commas, a cell holding a comma, quote or "
                "line break quoted; html: a bare table, the header row bold; clip: every row "
                "as the clipboard gets it (TAB, CR LF between rows, none after the last)",
                a.format);
    line.option("--date-format", "F",
                "how Last Call is written: d, dd (day), M, MM (month), yyyy (year), any other "
                "character as it is (default yyyy-MM-dd); sorting by Last Call needs a day, a "
                "month and a year in it",
                a.datePattern);
    line.option("--border-color", "RRGGBB",
                "the html header cells' background: six upper-case hex digits (default B4B4B4)",
                a.border);
}

int runList(const ListArgs& a, std::ostream& out, std::ostream& err) {
    const std::string& file = a.file;
    const std::string& options = a.options;
    const std::string& format = a.format;
    const std::string& datePattern = a.datePattern;
    const std::string& border = a.border;
    const SortRequest& sort = a.sort;
    if (!optionsTextValid(options))
        throw UsageError("options '" + options + "' are not 11 characters 0 or 1");
    if (format != "tsv" && format != "csv" && format != "html" && format != "clip")
        throw UsageError("unknown format '" + format + "'");
    if (!colorValid(border))
        throw UsageError("border colour '" + border + "' is not six upper-case hex digits");

    zorv::SortGrid grid(1, 1);
    try {
        grid.DateFormat = zorv::DatePattern(datePattern);
    } catch (const std::invalid_argument&) {
        throw UsageError("date format '" + datePattern + "' cannot be written and read");
    }
    const zorv::UserListColumns columns{zorv::ListOptions{options}};
    std::string problem;
    const auto sortColumn = sortColumnOf(sort, std::max(1, columns.count()), problem);
    if (!sortColumn)
        throw UsageError(problem);
    if (*sortColumn >= 0 && *sortColumn == columns.lastCallColumn &&
        !grid.DateFormat.hasDayMonthYear())
        throw UsageError("sorting by Last Call needs a day, a month and a year in '" + datePattern +
                         "'");

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

const Register reg{
    command<ListArgs>("list", "the user list, as the list window builds it", declareList, runList)};

} // namespace
} // namespace zorvtool
