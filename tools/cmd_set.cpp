// zorvtool set FILE N FIELD=VALUE...: changes fields of one user through the
// editor's safe save.

#include "command.h"
#include "fieldedit.h"
#include "toolsave.h"
#include "usages.h"

#include "userfile/numtext.h"

#include <ostream>
#include <utility>

namespace zorvtool {
namespace {

constexpr const char* kUsage = "usage: zorvtool set FILE N FIELD=VALUE...\n";

int runSet(const Args& args, std::ostream& out, std::ostream& err) {
    (void)out;
    if (args.size() < 3 || (args[0].size() > 1 && args[0][0] == '-')) {
        err << kUsage;
        return kFailed;
    }
    std::int32_t index = 0;
    if (!zorv::tryParseInteger(args[1], index) || index < 0) {
        err << "zorvtool set: '" << args[1] << "' is not a user number\n" << kUsage;
        return kFailed;
    }
    std::vector<std::pair<std::string, std::string>> edits;
    zorv::Record probe{};
    for (std::size_t i = 2; i < args.size(); ++i) {
        const auto eq = args[i].find('=');
        if (eq == std::string::npos || eq == 0) {
            err << "zorvtool set: '" << args[i] << "' is not FIELD=VALUE\n" << kUsage;
            return kFailed;
        }
        edits.emplace_back(args[i].substr(0, eq), args[i].substr(eq + 1));
        // Every value is checked before anything is read or written.
        if (const auto refused = applyFieldEdit(probe, edits.back().first, edits.back().second)) {
            err << "zorvtool set: " << edits.back().first << ": '" << edits.back().second
                << "' refused; it takes " << *refused << "; nothing written\n";
            return kFailed;
        }
    }
    return saveUserChanges(
        args[0], {index},
        [&edits](int, zorv::Record& r) {
            for (const auto& [field, value] : edits)
                applyFieldEdit(r, field, value);
        },
        "set", err);
}

const Register reg{{"set", kSetHelp, runSet}};

} // namespace
} // namespace zorvtool
