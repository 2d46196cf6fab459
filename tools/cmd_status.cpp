// zorvtool status FILE STATUS [filters] [--dry-run]: sets the status of the
// users that pass every filter, in one safe save.

#include "command.h"
#include "fieldedit.h"
#include "toolsave.h"

#include "userfile/blockreader.h"
#include "userfile/codepage.h"
#include "userfile/errors.h"
#include "userfile/fd.h"
#include "userfile/numtext.h"
#include "userfile/record.h"
#include "userfile/recordio.h"

#include <limits>
#include <optional>
#include <ostream>
#include <set>

namespace zorvtool {
namespace {

using namespace zorv;

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

struct StatusArgs {
    std::string file, status;
    std::vector<std::string> users;
    std::string lastCallBefore, statusIs, loginsAtMost;
    bool lastCallGiven = false, statusIsGiven = false, loginsGiven = false, dryRun = false;
};

void declareStatus(CommandLine& line, StatusArgs& a) {
    line.word("FILE", a.file);
    line.word("STATUS", a.status,
              "the status to set: active, getlost, killed, kill+boot (any case) or 0-3");
    line.repeatable("--user", "N", "only user N (from 0); given again, any of them", a.users);
    line.option("--last-call-before", "YYYY-MM-DD",
                "only users whose last call was before that day (one who never called counts "
                "as before any day)",
                a.lastCallBefore, &a.lastCallGiven);
    line.option("--status-is", "S", "only users whose status is S (as STATUS)", a.statusIs,
                &a.statusIsGiven);
    line.option("--logins-at-most", "N", "only users with at most N logins", a.loginsAtMost,
                &a.loginsGiven);
    line.flag("--dry-run", "list the users, change none", a.dryRun);
}

int runStatus(const StatusArgs& a, std::ostream& out, std::ostream& err) {
    Filters f;
    const bool dryRun = a.dryRun;
    const auto refused = [](const std::string& option, const std::string& value) {
        return UsageError(option + " '" + value + "' refused");
    };
    std::int32_t n = 0;
    for (const std::string& v : a.users) {
        if (!tryParseInteger(v, n) || n < 0)
            throw refused("--user", v);
        f.users.insert(n);
    }
    if (a.lastCallGiven) {
        if (a.lastCallBefore.size() != 10 || !parseCallTime(a.lastCallBefore))
            throw refused("--last-call-before", a.lastCallBefore);
        f.lastCallBefore = parseCallTime(a.lastCallBefore);
    }
    if (a.statusIsGiven) {
        f.statusIs = parseStatusCode(a.statusIs);
        if (f.statusIs < 0)
            throw refused("--status-is", a.statusIs);
    }
    if (a.loginsGiven) {
        if (!tryParseInteger(a.loginsAtMost, n))
            throw refused("--logins-at-most", a.loginsAtMost);
        f.loginsAtMost = n;
    }
    const int status = parseStatusCode(a.status);
    if (status < 0) {
        err << "zorvtool status: unknown status '" << a.status
            << "' (active, getlost, killed, kill+boot or 0-3)\n";
        return kFailed;
    }
    if (!f.any())
        throw UsageError("give at least one filter, so that no run changes every user by mistake");
    const std::string& file = a.file;
    const auto wanted = [&](int index, const Record& r) {
        return readCode(r, kStatus) != static_cast<unsigned>(status) && passes(f, index, r);
    };
    std::vector<int> users;
    PickedUsers picked;
    try {
        if (!dryRun && !recoverBeforeWriting(file, "status", err))
            return kFailed;
        const Fd fd(openRegularFile(file));
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

const Register reg{command<StatusArgs>("status", "set STATUS on the users that pass every filter",
                                       declareStatus, runStatus)};

} // namespace
} // namespace zorvtool
