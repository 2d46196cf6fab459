#include "commandline.h"

#include <CLI/CLI.hpp>

#include <algorithm>

namespace zorvtool {

namespace {

// Where the explanations start in the usage's lines.
constexpr std::size_t kTermWidth = 24;

std::string term(const std::string& t) {
    return "  " + t + std::string(t.size() + 2 < kTermWidth ? kTermWidth - t.size() : 2, ' ');
}

// What CLI11 took for an option: "--name[=...]" or "-x" (never "-5").
bool looksLikeOption(const std::string& word) {
    std::string name, rest;
    if (CLI::detail::split_long(word, name, rest))
        return true;
    return CLI::detail::split_short(word, name, rest) && (name[0] < '0' || name[0] > '9');
}

} // namespace

CommandLine::CommandLine(std::string name)
    : name_(std::move(name)), app_(std::make_unique<CLI::App>("", name_)) {
    // A path such as /tmp/u.dat is a word on every system, never a Windows
    // option; and the parser writes nothing of its own anywhere.
    app_->allow_windows_style_options(false);
    app_->allow_extras();
    app_->set_help_flag();
    help_ = app_->add_flag("-h,--help");
}

CommandLine::~CommandLine() = default;

void CommandLine::word(const std::string& name, std::string& into, const std::string& about,
                       bool optional) {
    words_.push_back({name, about, &into, nullptr, optional});
}

void CommandLine::moreWords(const std::string& name, std::vector<std::string>& into,
                            const std::string& about) {
    words_.push_back({name, about, nullptr, &into, false});
}

void CommandLine::option(const std::string& name, const std::string& value,
                         const std::string& about, std::string& into, bool* given) {
    CLI::Option* o = app_->add_option(name);
    // Every occurrence is kept, so that a second one can be refused.
    o->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    options_.push_back({name, value, about, o, &into, given, nullptr, nullptr});
}

void CommandLine::repeatable(const std::string& name, const std::string& value,
                             const std::string& about, std::vector<std::string>& into) {
    CLI::Option* o = app_->add_option(name);
    o->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    options_.push_back({name, value, about, o, nullptr, nullptr, &into, nullptr});
}

void CommandLine::flag(const std::string& name, const std::string& about, bool& into) {
    CLI::Option* o = app_->add_flag(name);
    o->disable_flag_override(); // "--json=false" is no way to say no
    o->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    options_.push_back({name, {}, about, o, nullptr, nullptr, nullptr, &into});
}

std::string CommandLine::synopsis() const {
    std::string s = name_;
    for (const Word& w : words_) {
        if (w.rest)
            s += " " + w.name + "...";
        else
            s += w.optional ? " [" + w.name + "]" : " " + w.name;
    }
    for (const Opt& o : options_) {
        s += " [" + o.name + (o.value.empty() ? "" : " " + o.value) + "]";
        if (o.all)
            s += "...";
    }
    return s;
}

std::string CommandLine::usage() const {
    std::string u = "usage: zorvtool " + synopsis() + "\n";
    for (const Word& w : words_)
        if (!w.about.empty())
            u += term(w.rest ? w.name + "..." : w.name) + w.about + "\n";
    for (const Opt& o : options_)
        u += term(o.name + (o.value.empty() ? "" : " " + o.value)) + o.about + "\n";
    return u;
}

std::string CommandLine::problemOf(const std::string& cliMessage) const {
    // CLI11 names the option first: "--format: 1 required TEXT missing",
    // "json was given a disallowed flag override". The longest name that
    // begins the message is the one.
    const std::string bare = cliMessage.substr(cliMessage.find_first_not_of('-'));
    const Opt* found = nullptr;
    for (const Opt& o : options_) {
        const std::string n = o.name.substr(2);
        if (bare.compare(0, n.size(), n) == 0 &&
            (bare.size() == n.size() || bare[n.size()] == ':' || bare[n.size()] == ' ') &&
            (!found || found->name.size() < o.name.size()))
            found = &o;
    }
    if (!found)
        return cliMessage;
    return found->flag ? found->name + " takes no value" : found->name + " needs a value";
}

CommandLine::Outcome CommandLine::parse(const Args& args, std::string& problem) {
    // CLI11 takes "--in=" for "--in" and the next word: an empty value it is.
    std::vector<std::string> words;
    for (const std::string& w : args) {
        const bool valueOption = std::any_of(options_.begin(), options_.end(), [&](const Opt& o) {
            return !o.flag && w.size() == o.name.size() + 1 && w.back() == '=' &&
                   w.compare(0, o.name.size(), o.name) == 0;
        });
        if (valueOption && std::find(words.begin(), words.end(), "--") == words.end()) {
            words.push_back(w.substr(0, w.size() - 1));
            words.emplace_back();
        } else {
            words.push_back(w);
        }
    }
    try {
        app_->parse(std::vector<std::string>(words.rbegin(), words.rend()));
    } catch (const CLI::ArgumentMismatch& e) {
        problem = problemOf(e.what());
        return Outcome::Refused;
    } catch (const CLI::ParseError& e) {
        problem = e.what();
        return Outcome::Refused;
    }
    if (help_->count() > 0)
        return Outcome::Help;

    // The words CLI11 did not take: unknown options, and the words that are
    // no option (all of them after the first "--").
    std::vector<std::string> plain;
    bool marked = false;
    for (const std::string& w : app_->remaining()) {
        if (!marked && w == "--") {
            marked = true;
        } else if (!marked && looksLikeOption(w)) {
            problem = "unknown option '" + w + "'";
            return Outcome::Refused;
        } else {
            plain.push_back(w);
        }
    }
    for (Opt& o : options_) {
        const std::vector<std::string>& given = o.option->results();
        if (!o.all && o.option->count() > 1) {
            problem = o.name + " given twice";
            return Outcome::Refused;
        }
        if (o.flag)
            *o.flag = o.option->count() > 0;
        else if (o.all)
            *o.all = given;
        else if (!given.empty())
            *o.into = given.front();
        if (o.given)
            *o.given = o.option->count() > 0;
    }
    std::size_t at = 0;
    for (const Word& w : words_) {
        if (w.rest) {
            if (at >= plain.size()) {
                problem = "no " + w.name + " given";
                return Outcome::Refused;
            }
            w.rest->assign(plain.begin() + static_cast<std::ptrdiff_t>(at), plain.end());
            at = plain.size();
        } else if (at < plain.size()) {
            *w.into = plain[at++];
        } else if (!w.optional) {
            problem = "no " + w.name + " given";
            return Outcome::Refused;
        }
    }
    if (at < plain.size()) {
        problem = words_.empty() ? "unexpected word '" + plain[at] + "'"
                                 : "more than one " + words_.back().name;
        return Outcome::Refused;
    }
    return Outcome::Run;
}

} // namespace zorvtool
