// zorvtool totals FILE [--json]: the ten figures of the "BBS Statistics" tab.

#include "command.h"

#include "editor/totals.h"
#include "userfile/blockreader.h"
#include "userfile/errors.h"

#include <ostream>

namespace zorvtool {
namespace {

constexpr const char* kUsage = "usage: zorvtool totals FILE [--json]\n";

int runTotals(const Args& args, std::ostream& out, std::ostream& err) {
    std::string file;
    bool json = false;
    for (const auto& a : args) {
        if (a == "--json") {
            json = true;
        } else if (a.size() > 1 && a[0] == '-') {
            err << "zorvtool totals: unknown option '" << a << "'\n" << kUsage;
            return 2;
        } else if (file.empty()) {
            file = a;
        } else {
            err << kUsage;
            return 2;
        }
    }
    if (file.empty()) {
        err << kUsage;
        return 2;
    }

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

const Register reg{
    {"totals", "totals FILE [--json]        the ten BBS totals (tuser ... tbdown)", runTotals}};

} // namespace
} // namespace zorvtool
