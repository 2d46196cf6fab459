#pragma once
// zorvtool's commands register themselves here; dispatch() picks one by its
// name and has its command line parsed by the command's own declaration.

#include "commandline.h"

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

namespace zorvtool {

// A parsed command's work. Returns the process exit code; errors go to err
// with a non-zero code.
using Run = std::function<int(std::ostream& out, std::ostream& err)>;

struct Command {
    std::string name;
    std::string description; // after the synopsis in "zorvtool help"
    // Declares the command line on `line`, bound to the variables the
    // returned run reads once the line has parsed.
    std::function<Run(CommandLine& line)> declare;
};

std::vector<Command>& commands();

struct Register {
    explicit Register(Command c) { commands().push_back(std::move(c)); }
};

// A command whose parsed values live in a `Parsed`: `declare` binds them,
// `run` does the work.
template <class Parsed>
Command command(std::string name, std::string description, void (*declare)(CommandLine&, Parsed&),
                int (*run)(const Parsed&, std::ostream&, std::ostream&)) {
    return {std::move(name), std::move(description), [declare, run](CommandLine& line) {
                auto parsed = std::make_shared<Parsed>();
                declare(line, *parsed);
                return Run([parsed, run](std::ostream& out, std::ostream& err) {
                    return run(*parsed, out, err);
                });
            }};
}

// Runs one command line (args[0] is the command name) and checks that all its
// output reached `out` (checkedOutput). Used by main() and tests.
int dispatch(const Args& args, std::ostream& out, std::ostream& err);

} // namespace zorvtool
