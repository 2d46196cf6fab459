#pragma once
// zorvtool's commands register themselves here; main() dispatches by name.

#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

namespace zorvtool {

using Args = std::vector<std::string>;

struct Command {
    std::string name;
    std::string usage; // one line, shown by "zorvtool help"
    // Returns the process exit code. Errors go to err with a non-zero code.
    std::function<int(const Args& args, std::ostream& out, std::ostream& err)> run;
};

std::vector<Command>& commands();

struct Register {
    explicit Register(Command c) { commands().push_back(std::move(c)); }
};

// Runs one command line (args[0] is the command name) and checks that all its
// output reached `out` (checkedOutput). Used by main() and tests.
int dispatch(const Args& args, std::ostream& out, std::ostream& err);

} // namespace zorvtool
