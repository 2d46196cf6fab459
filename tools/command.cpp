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

namespace {

// The help lines' descriptions start after this much synopsis.
constexpr std::size_t kSynopsisWidth = 28;

constexpr const char* kHelpAbout = "a command's name: its usage instead";

void helpLine(std::ostream& os, const std::string& synopsis, const std::string& description) {
    os << "  zorvtool " << synopsis
       << std::string(synopsis.size() + 2 < kSynopsisWidth ? kSynopsisWidth - synopsis.size() : 2,
                      ' ')
       << description << '\n';
}

const Command* find(const std::string& name) {
    for (const auto& c : commands())
        if (c.name == name)
            return &c;
    return nullptr;
}

void declareHelp(CommandLine& line, std::string& command) {
    line.word("COMMAND", command, kHelpAbout, true);
}

// One line per command, from the strings its command line is declared with.
void usage(std::ostream& os) {
    std::vector<const Command*> all;
    for (const auto& c : commands())
        all.push_back(&c);
    std::sort(all.begin(), all.end(),
              [](const Command* a, const Command* b) { return a->name < b->name; });
    os << "usage: zorvtool COMMAND ARGS...\n";
    for (const Command* c : all) {
        CommandLine line(c->name);
        c->declare(line);
        helpLine(os, line.synopsis(), c->description);
    }
    CommandLine help("help");
    std::string unused;
    declareHelp(help, unused);
    helpLine(os, help.synopsis(), "this text, or COMMAND's usage");
    helpLine(os, "--version", "the version");
}

int usageError(std::ostream& err, const CommandLine& line, const std::string& problem) {
    err << "zorvtool " << line.name() << ": " << problem << '\n' << line.usage();
    return 2;
}

// Parses the words after the command's name; `run` is called once they parsed.
int parseAndRun(CommandLine& line, const Args& words, std::ostream& out, std::ostream& err,
                const Run& run) {
    std::string problem;
    switch (line.parse(words, problem)) {
    case CommandLine::Outcome::Refused:
        return usageError(err, line, problem);
    case CommandLine::Outcome::Help:
        out << line.usage();
        return 0;
    case CommandLine::Outcome::Run:
        break;
    }
    try {
        return run(out, err);
    } catch (const UsageError& e) {
        return usageError(err, line, e.what());
    } catch (const std::exception& e) {
        err << "zorvtool " << line.name() << ": " << e.what() << '\n';
        return 2;
    }
}

int run(const Args& args, std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        err << "zorvtool: no COMMAND given\n";
        usage(err);
        return 2;
    }
    std::string name = args[0];
    const Args words(args.begin() + 1, args.end());
    if (name == "--help" || name == "-h")
        name = "help";
    if (name == "version")
        name = "--version";
    if (name == "help") {
        CommandLine line(name);
        std::string wanted;
        declareHelp(line, wanted);
        return parseAndRun(line, words, out, err, [&](std::ostream& o, std::ostream&) {
            if (wanted.empty()) {
                usage(o);
                return 0;
            }
            const Command* c = find(wanted);
            if (!c)
                throw UsageError("unknown command '" + wanted + "'");
            CommandLine theirs(c->name);
            c->declare(theirs);
            o << theirs.usage();
            return 0;
        });
    }
    if (name == "--version") {
        CommandLine line(name);
        return parseAndRun(line, words, out, err, [](std::ostream& o, std::ostream&) {
            o << "zorvtool " << ZORV_VERSION << '\n';
            return 0;
        });
    }
    const Command* c = find(name);
    if (!c) {
        err << "zorvtool: unknown command '" << name << "'\n";
        usage(err);
        return 2;
    }
    CommandLine line(c->name);
    const Run work = c->declare(line);
    return parseAndRun(line, words, out, err, work);
}

} // namespace

int dispatch(const Args& args, std::ostream& out, std::ostream& err) {
    const int code = run(args, out, err);
    return checkedOutput(out, err, args.empty() ? std::string() : args[0], code);
}

} // namespace zorvtool
