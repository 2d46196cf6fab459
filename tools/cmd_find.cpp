// zorvtool find FILE TEXT [--in FIELDS] [--status S]: the records that pass the
// Find tab's record test, one index per line, ascending.

#include "command.h"
#include "recordfields.h"

#include "editor/find.h"
#include "userfile/blockreader.h"
#include "userfile/codepage.h"
#include "userfile/errors.h"

#include <ostream>
#include <sstream>

namespace zorvtool {
namespace {

// Ticks the boxes named in a comma-separated list; false on an unknown name.
bool parseFields(const std::string& list, zorv::FindCriteria& c, std::string& bad) {
    c.name = c.address = c.city = c.phone = c.birth = c.limit = false;
    if (list.empty() || list == "none")
        return true;
    std::istringstream in(list);
    std::string f;
    while (std::getline(in, f, ',')) {
        if (f == "name")
            c.name = true;
        else if (f == "address")
            c.address = true;
        else if (f == "city")
            c.city = true;
        else if (f == "phone")
            c.phone = true;
        else if (f == "birth")
            c.birth = true;
        else if (f == "limit")
            c.limit = true;
        else {
            bad = f;
            return false;
        }
    }
    return true;
}

// The Find tab's status list: "dontcare" first, then the statuses by code.
int parseStatus(const std::string& s) {
    if (s == "dontcare")
        return 0;
    for (std::size_t i = 0; i < kStatusNames.size(); ++i)
        if (s == kStatusNames[i])
            return static_cast<int>(i) + 1;
    return -1;
}

struct FindArgs {
    std::string file, text, in, status;
    bool inGiven = false, statusGiven = false;
};

void declareFind(CommandLine& line, FindArgs& a) {
    line.word("FILE", a.file);
    line.word("TEXT", a.text,
              "the text to find, as the Find tab takes it: anywhere in a field, letters of any "
              "case");
    line.option("--in", "FIELDS",
                "the fields to look in, comma-separated: name, address, city, phone, birth, "
                "limit (default name); '' or none: no field, the status alone decides",
                a.in, &a.inGiven);
    line.option("--status", "S",
                "dontcare (default), active, getlost, killed or kill+boot: only users of that "
                "status",
                a.status, &a.statusGiven);
}

int runFind(const FindArgs& a, std::ostream& out, std::ostream& err) {
    zorv::FindCriteria c;
    c.name = true;
    std::string bad;
    if (a.inGiven && !parseFields(a.in, c, bad))
        throw UsageError("unknown field '" + bad + "'");
    if (a.statusGiven) {
        c.statusItem = parseStatus(a.status);
        if (c.statusItem < 0)
            throw UsageError("unknown status '" + a.status + "'");
    }
    const std::vector<std::string> positional{a.file, a.text};
    // Bytes that are not UTF-8 would silently match nothing.
    for (std::size_t i = 0; i < positional[1].size();)
        if (zorv::decodeUtf8(positional[1], i) < 0)
            throw UsageError("the search text is not valid UTF-8");
    const std::string& file = positional[0];
    c.text = zorv::utf8ToCp1252(positional[1]);
    // A character cp1252 cannot hold occurs in no stored text: such a text
    // matches no field (as in the window), though a status-only search still runs.
    const bool matchesNothing = c.text != zorv::utf8ToCp1252(positional[1], '!') && c.anyField();
    try {
        // Streams: hits are printed as they are found, memory stays flat.
        zorv::BlockReader reader(file);
        if (matchesNothing)
            return 0;
        const zorv::FindTabTest test(c);
        while (const zorv::Record* r = reader.next())
            if (test(*r))
                out << reader.index() << '\n';
    } catch (const zorv::IoError& e) {
        err << "zorvtool find: " << file << ": " << e.what() << '\n';
        return 2;
    }
    return 0;
}

const Register reg{
    command<FindArgs>("find", "records the Find tab finds, by number", declareFind, runFind)};

} // namespace
} // namespace zorvtool
