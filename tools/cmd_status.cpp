// zorvtool status FILE STATUS [filters] [--dry-run]: sets the status of the
// users that pass every filter, in one safe save.

#include "command.h"
#include "fieldedit.h"
#include "toolsave.h"
#include "usages.h"

#include "userfile/blockreader.h"
#include "userfile/codepage.h"
#include "userfile/errors.h"
#include "userfile/fd.h"
#include "userfile/numtext.h"
#include "userfile/record.h"
#include "userfile/recordio.h"

#include <fcntl.h>
#include <limits>
#include <optional>
#include <ostream>
#include <set>

namespace zorvtool {
namespace {

using namespace zorv;

constexpr const char* kUsage =
    "usage: zorvtool status FILE STATUS [--user N]... [--last-call-before YYYY-MM-DD]\n"
    "                       [--status-is S] [--logins-at-most N] [--dry-run]\n";

struct Filters {
    std::set<int> users;
    std::optional<std::uint32_t> lastCallBefore; // packed date, time 00:00
    int statusIs = -1;
    std::optional<std::int32_t> loginsAtMost;
    bool any() const { return !users.empty() || lastCallBefore || statusIs >= 0 || loginsAtMost; }
};

// A date the packed value holds, or nothing when it is no valid date.
std::optional<std::uint32_t> callDate(std::uint32_t packed) {
    const unsigned month = packed >> 21 & 0x0F, day = packed >> 16 & 0x1F;
    if (month < 1 || month > 12 || day < 1)
        return std::nullopt;
    return packed & 0xFFFF0000u;
}

bool passes(const Filters& f, int index, const Record& r) {
    if (!f.users.empty() && !f.users.count(index))
        return false;
    if (f.lastCallBefore) {
        // Never called (no valid date) counts as before any date.
        const auto d = callDate(readLastcall(r));
        if (d && *d >= *f.lastCallBefore)
            return false;
    }
    if (f.statusIs >= 0 && readCode(r, kStatus) != static_cast<unsigned>(f.statusIs))
        return false;
    if (f.loginsAtMost && readNumber(r, kLogins) > *f.loginsAtMost)
        return false;
    return true;
}

int runStatus(const Args& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> plain;
    Filters f;
    bool dryRun = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--dry-run") {
            dryRun = true;
            continue;
        }
        if (a.rfind("--", 0) != 0) {
            plain.push_back(a);
            continue;
        }
        if (i + 1 >= args.size()) {
            err << "zorvtool status: " << a << " needs a value\n" << kUsage;
            return kFailed;
        }
        const std::string& v = args[++i];
        std::int32_t n = 0;
        if (a == "--user" && tryParseInteger(v, n) && n >= 0) {
            f.users.insert(n);
        } else if (a == "--last-call-before" && v.size() == 10 && parseCallTime(v)) {
            f.lastCallBefore = parseCallTime(v);
        } else if (a == "--status-is" && parseStatusCode(v) >= 0) {
            f.statusIs = parseStatusCode(v);
        } else if (a == "--logins-at-most" && tryParseInteger(v, n)) {
            f.loginsAtMost = n;
        } else {
            err << "zorvtool status: " << a << " '" << v << "' refused\n" << kUsage;
            return kFailed;
        }
    }
    if (plain.size() != 2) {
        err << kUsage;
        return kFailed;
    }
    const int status = parseStatusCode(plain[1]);
    if (status < 0) {
        err << "zorvtool status: unknown status '" << plain[1]
            << "' (active, getlost, killed, kill+boot or 0-3)\n";
        return kFailed;
    }
    if (!f.any()) {
        err << "zorvtool status: give at least one filter, so that no run changes every user by "
               "mistake\n"
            << kUsage;
        return kFailed;
    }
    const std::string& file = plain[0];
    const auto wanted = [&](int index, const Record& r) {
        return readCode(r, kStatus) != static_cast<unsigned>(status) && passes(f, index, r);
    };
    std::vector<int> users;
    PickedUsers picked;
    try {
        if (!dryRun && !recoverBeforeWriting(file, "status", err))
            return kFailed;
        const Fd fd(openRegularFile(file, O_RDONLY));
        picked.file = identityOf(fd.get());
        BlockReader reader(fd.get());
        for (const auto& u : f.users)
            if (u >= reader.count()) {
                err << "zorvtool status: " << file << " has no user " << u << '\n';
                return kFailed;
            }
        while (const Record* r = reader.next()) {
            if (!wanted(reader.index(), *r))
                continue;
            users.push_back(reader.index());
            picked.names.emplace(reader.index(), nameBytes(*r));
            out << reader.index() << "  " << cp865ToUtf8(rawText(*r, kName)) << '\n';
        }
    } catch (const IoError& e) {
        err << "zorvtool status: " << file << ": " << e.what() << '\n';
        return kFailed;
    }
    out << users.size() << " users\n"; // one form, for the scripts that read it
    if (dryRun || users.empty())
        return kWritten;
    // Whoever reads the list must have it all before any user changes.
    if (!out.flush()) {
        err << "zorvtool status: the list of the users to change could not be written out, so "
               "none was changed; nothing written\n";
        return kFailed;
    }
    // Each user is tested again as it is written: one the board changed
    // meanwhile (a caller who just logged in) may no longer pass.
    return saveUserChanges(
        file, users,
        [&](int user, Record& r) {
            if (wanted(user, r))
                writeCode(r, kStatus, static_cast<unsigned>(status));
        },
        "status", err, &picked);
}

const Register reg{{"status", kStatusHelp, runStatus}};

} // namespace
} // namespace zorvtool
