#pragma once
// One command's command line, declared once: CLI11 parses it from the
// declaration, and the help line, the usage and the man page's explanations
// are written from the same strings.

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace CLI {
class App;
class Option;
} // namespace CLI

namespace zorvtool {

using Args = std::vector<std::string>;

// A command line the command refuses: "zorvtool CMD: <what()>" and its usage,
// exit 2. Thrown by a command's run for values the parser let through.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class CommandLine {
  public:
    explicit CommandLine(std::string name);
    ~CommandLine();
    CommandLine(const CommandLine&) = delete;
    CommandLine& operator=(const CommandLine&) = delete;

    const std::string& name() const { return name_; }

    // A word that is no option, in the order declared; an optional one may
    // be left out (only the last ones are). `about` explains its values.
    void word(const std::string& name, std::string& into, const std::string& about = {},
              bool optional = false);
    // All words after the named ones, at least one ("FIELD=VALUE...").
    void moreWords(const std::string& name, std::vector<std::string>& into,
                   const std::string& about = {});
    // --name VALUE, once at most (`given` says whether it came).
    void option(const std::string& name, const std::string& value, const std::string& about,
                std::string& into, bool* given = nullptr);
    // --name VALUE as often as wanted.
    void repeatable(const std::string& name, const std::string& value, const std::string& about,
                    std::vector<std::string>& into);
    void flag(const std::string& name, const std::string& about, bool& into);

    // "list FILE [--options O] ... [--desc]", as `zorvtool help` lists it.
    std::string synopsis() const;
    // "usage: zorvtool SYNOPSIS", then a line "  TERM  ABOUT" for every word
    // and option that has an explanation.
    std::string usage() const;

    enum class Outcome { Run, Help, Refused };
    // Parses the words after the command's name into the declared variables.
    // Refused: `problem` says why ("unknown option '--x'", "more than one
    // FILE", "--format needs a value", "--format given twice").
    Outcome parse(const Args& args, std::string& problem);

  private:
    struct Word {
        std::string name, about;
        std::string* into = nullptr;
        std::vector<std::string>* rest = nullptr;
        bool optional = false;
    };
    struct Opt {
        std::string name, value, about;
        CLI::Option* option = nullptr;
        std::string* into = nullptr;
        bool* given = nullptr;
        std::vector<std::string>* all = nullptr;
        bool* flag = nullptr;
    };
    std::string problemOf(const std::string& cliMessage) const;

    std::string name_;
    std::unique_ptr<CLI::App> app_;
    CLI::Option* help_ = nullptr;
    std::vector<Word> words_;
    std::vector<Opt> options_;
};

} // namespace zorvtool
