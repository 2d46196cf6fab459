// zorvtool find FILE TEXT [--in FIELDS] [--status S]: the records that pass the
// Find tab's record test, one index per line, ascending.

#include "command.h"

#include "editor/find.h"
#include "userfile/blockreader.h"
#include "userfile/codepage.h"
#include "userfile/errors.h"

#include <ostream>
#include <sstream>

namespace zorvtool {
namespace {

constexpr const char* kUsage =
    "usage: zorvtool find FILE TEXT [--in name,address,city,phone,birth,limit]\n"
    "                    [--status dontcare|active|getlost|killed|kill+boot]\n"
    "  --in '' ticks no field: the records with the chosen status are listed\n";

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

int parseStatus(const std::string& s) {
    const char* names[] = {"dontcare", "active", "getlost", "killed", "kill+boot"};
    for (int i = 0; i < 5; ++i)
        if (s == names[i])
            return i;
    return -1;
}

int runFind(const Args& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> positional;
    zorv::FindCriteria c;
    c.name = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--in" || a == "--status") {
            if (i + 1 >= args.size()) {
                err << "zorvtool find: " << a << " needs a value\n" << kUsage;
                return 2;
            }
            const std::string& v = args[++i];
            if (a == "--in") {
                std::string bad;
                if (!parseFields(v, c, bad)) {
                    err << "zorvtool find: unknown field '" << bad << "'\n" << kUsage;
                    return 2;
                }
            } else {
                c.statusItem = parseStatus(v);
                if (c.statusItem < 0) {
                    err << "zorvtool find: unknown status '" << v << "'\n" << kUsage;
                    return 2;
                }
            }
        } else if (a.size() > 1 && a[0] == '-' && a[1] == '-') {
            err << "zorvtool find: unknown option '" << a << "'\n" << kUsage;
            return 2;
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2) {
        err << kUsage;
        return 2;
    }
    // Bytes that are not UTF-8 would silently match nothing.
    for (std::size_t i = 0; i < positional[1].size();)
        if (zorv::decodeUtf8(positional[1], i) < 0) {
            err << "zorvtool find: the search text is not valid UTF-8\n" << kUsage;
            return 2;
        }
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
    {"find", "find FILE TEXT [--in FIELDS] [--status S]  records the Find tab finds", runFind}};

} // namespace
} // namespace zorvtool
