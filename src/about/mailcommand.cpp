#include "about/mailcommand.h"

#include <filesystem>

namespace zorv {

MailCommand splitMailCommand(std::string_view line) {
    MailCommand out;
    std::string_view rest;
    if (!line.empty() && line.front() == '"') {
        const std::size_t close = line.find('"', 1);
        if (close == std::string_view::npos) {
            out.program = std::string(line.substr(1));
        } else {
            out.program = std::string(line.substr(1, close - 1));
            rest = line.substr(close + 1);
            // The parameters begin after the blank that follows the program.
            if (!rest.empty() && rest.front() == ' ')
                rest.remove_prefix(1);
        }
    } else {
        const std::size_t blank = line.find(' ');
        out.program = std::string(line.substr(0, blank));
        if (blank != std::string_view::npos)
            rest = line.substr(blank + 1);
    }
    out.parameters = std::string(rest.substr(0, rest.find('%')));
    return out;
}

std::string mailParameters(const MailCommand& command, std::string_view address, bool asUrl) {
    std::string p = command.parameters;
    if (asUrl)
        p += "mailto:";
    p += address;
    return p;
}

std::vector<std::string> splitExecArguments(std::string_view s) {
    std::vector<std::string> args;
    std::string cur;
    bool inArg = false;
    bool quoted = false;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char c = s[i];
        if (quoted) {
            if (c == '"') {
                quoted = false;
            } else if (c == '\\' && i + 1 < s.size() &&
                       (s[i + 1] == '"' || s[i + 1] == '`' || s[i + 1] == '$' ||
                        s[i + 1] == '\\')) {
                cur += s[++i];
            } else {
                cur += c;
            }
        } else if (c == ' ' || c == '\t' || c == '\n') {
            if (inArg)
                args.push_back(std::move(cur));
            cur.clear();
            inArg = false;
        } else if (c == '"') {
            quoted = true;
            inArg = true;
        } else {
            cur += c;
            inArg = true;
        }
    }
    if (inArg)
        args.push_back(std::move(cur));
    return args;
}

namespace {

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

std::string unescapeValue(std::string_view v) {
    std::string out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] != '\\' || i + 1 == v.size()) {
            out += v[i];
            continue;
        }
        switch (v[++i]) {
        case 's':
            out += ' ';
            break;
        case 'n':
            out += '\n';
            break;
        case 't':
            out += '\t';
            break;
        case 'r':
            out += '\r';
            break;
        case '\\':
            out += '\\';
            break;
        default: // not a string escape: the quoting rules deal with it later
            out += '\\';
            out += v[i];
            break;
        }
    }
    return out;
}

} // namespace

std::optional<std::string> desktopEntryExec(std::string_view text) {
    return desktopEntryValue(text, "Exec");
}

std::optional<std::string> desktopEntryValue(std::string_view text, std::string_view key) {
    bool inEntry = false;
    while (!text.empty()) {
        const std::size_t nl = text.find('\n');
        const std::string_view line = trim(text.substr(0, nl));
        text = nl == std::string_view::npos ? std::string_view{} : text.substr(nl + 1);
        if (line.empty() || line.front() == '#')
            continue;
        if (line.front() == '[') {
            if (inEntry)
                break; // the entry's group is over
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntry)
            continue;
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || trim(line.substr(0, eq)) != key)
            continue;
        return unescapeValue(trim(line.substr(eq + 1)));
    }
    return std::nullopt;
}

std::vector<std::string> mailArguments(const MailHandler& h, std::string_view url) {
    std::vector<std::string> out;
    bool urlGiven = false;
    for (const std::string& arg : splitExecArguments(h.exec)) {
        if (arg == "%i") {
            if (!h.icon.empty()) {
                out.emplace_back("--icon");
                out.push_back(h.icon);
            }
            continue;
        }
        std::string expanded;
        bool literal = false, code = false;
        for (std::size_t i = 0; i < arg.size(); ++i) {
            if (arg[i] != '%' || i + 1 == arg.size()) {
                expanded += arg[i];
                literal = true;
                continue;
            }
            code = true;
            switch (arg[++i]) {
            case 'f':
            case 'F':
            case 'u':
            case 'U':
                expanded += url;
                urlGiven = true;
                break;
            case 'c':
                expanded += h.name;
                break;
            case 'k':
                expanded += h.file;
                break;
            case '%':
                expanded += '%';
                literal = true;
                break;
            default: // %i inside a word, the deprecated codes, unknown ones
                break;
            }
        }
        // "" stays an argument; "%d" gives none.
        if (!expanded.empty() || literal || !code)
            out.push_back(std::move(expanded));
    }
    if (!urlGiven && !out.empty())
        out.emplace_back(url);
    return out;
}

std::optional<std::string> findDesktopEntry(std::string_view id,
                                            const std::vector<std::string>& dataDirs) {
    if (id.empty() || id.find('/') != std::string_view::npos)
        return std::nullopt;
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const std::string& dir : dataDirs) {
        if (dir.empty())
            continue;
        const fs::path apps = fs::path(dir) / "applications";
        // "vendor-mail.desktop" may live at applications/vendor/mail.desktop.
        std::string rel(id);
        for (;;) {
            const fs::path p = apps / rel;
            if (fs::is_regular_file(p, ec))
                return p.string();
            const std::size_t dash = rel.find('-');
            if (dash == std::string::npos)
                break;
            rel[dash] = '/';
        }
    }
    return std::nullopt;
}

} // namespace zorv
