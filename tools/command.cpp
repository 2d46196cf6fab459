#include "command.h"
#include "fdoutput.h"

#include <algorithm>
#include <exception>
#include <ostream>

namespace zorvtool {

std::vector<Command>& commands() {
    static std::vector<Command> all;
    return all;
}

static void usage(std::ostream& os) {
    auto all = commands();
    std::sort(all.begin(), all.end(),
              [](const Command& a, const Command& b) { return a.name < b.name; });
    os << "usage: zorvtool COMMAND ARGS...\n";
    for (const auto& c : all)
        os << "  zorvtool " << c.usage << '\n';
    os << "  zorvtool help                        this text\n"
          "  zorvtool --version                   the version\n";
}

namespace {

int run(const Args& args, std::ostream& out, std::ostream& err) {
    if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
        usage(args.empty() ? err : out);
        return args.empty() ? 2 : 0;
    }
    if (args[0] == "--version" || args[0] == "version") {
        out << "zorvtool " << ZORV_VERSION << '\n';
        return 0;
    }
    for (const auto& c : commands()) {
        if (c.name != args[0])
            continue;
        try {
            return c.run(Args(args.begin() + 1, args.end()), out, err);
        } catch (const std::exception& e) {
            err << "zorvtool " << c.name << ": " << e.what() << '\n';
            return 2;
        }
    }
    err << "zorvtool: unknown command '" << args[0] << "'\n";
    usage(err);
    return 2;
}

} // namespace

int dispatch(const Args& args, std::ostream& out, std::ostream& err) {
    const int code = run(args, out, err);
    return checkedOutput(out, err, args.empty() ? std::string() : args[0], code);
}

} // namespace zorvtool
