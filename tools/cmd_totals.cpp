// zorvtool totals FILE [--json]: the ten figures of the "BBS Statistics" tab.

#include "command.h"

#include "editor/totals.h"
#include "userfile/blockreader.h"
#include "userfile/errors.h"

#include <ostream>

namespace zorvtool {
namespace {

struct TotalsArgs {
    std::string file;
    bool json = false;
};

void declareTotals(CommandLine& line, TotalsArgs& a) {
    line.word("FILE", a.file);
    line.flag("--json", "one JSON object of the ten figures under their names", a.json);
}

int runTotals(const TotalsArgs& a, std::ostream& out, std::ostream& err) {
    const std::string& file = a.file;
    const bool json = a.json;
    zorv::Totals t;
    try {
        zorv::BlockReader reader(file); // streams: memory stays flat
        t = zorv::computeTotals(reader);
    } catch (const zorv::IoError& e) {
        err << "zorvtool totals: " << file << ": " << e.what() << '\n';
        return 2;
    }

    const auto& entries = zorv::totalsEntries();
    if (json) {
        out << '{';
        for (std::size_t i = 0; i < entries.size(); ++i)
            out << (i ? ", " : "") << '"' << entries[i].name << "\": " << t.*(entries[i].value);
        out << "}\n";
    } else {
        for (const auto& e : entries)
            out << e.name << ' ' << t.*(e.value) << '\n';
    }
    return 0;
}

const Register reg{command<TotalsArgs>("totals", "the ten BBS totals (tuser ... tbdown)",
                                       declareTotals, runTotals)};

} // namespace
} // namespace zorvtool
