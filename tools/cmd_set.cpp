// zorvtool set FILE N FIELD=VALUE...: changes fields of one user through the
// editor's safe save.

#include "command.h"
#include "fieldedit.h"
#include "toolsave.h"

#include "userfile/numtext.h"

#include <ostream>
#include <utility>

namespace zorvtool {
namespace {

struct SetArgs {
    std::string file, user;
    std::vector<std::string> edits;
};

void declareSet(CommandLine& line, SetArgs& a) {
    line.word("FILE", a.file);
    line.word("N", a.user, "the user's number, from 0");
    line.moreWords("FIELD=VALUE", a.edits,
                   "FIELD: a key of show --json; VALUE: a text of code page 865's characters "
                   "within the field's length (Name upper-cased as the editor does), a whole "
                   "number within the field's range (decimal or $hex), a code or its drop-down "
                   "item (status also active, getlost, killed, kill+boot), lastcall and "
                   "firstcall as YYYY-MM-DD, YYYY-MM-DDTHH:MM or export's YYYY-MM-DDTHH:MM:SS");
}

int runSet(const SetArgs& a, std::ostream& out, std::ostream& err) {
    (void)out;
    std::int32_t index = 0;
    if (!zorv::tryParseInteger(a.user, index) || index < 0)
        throw UsageError("'" + a.user + "' is not a user number");
    std::vector<std::pair<std::string, std::string>> edits;
    zorv::Record probe{};
    for (const std::string& word : a.edits) {
        const auto eq = word.find('=');
        if (eq == std::string::npos || eq == 0)
            throw UsageError("'" + word + "' is not FIELD=VALUE");
        edits.emplace_back(word.substr(0, eq), word.substr(eq + 1));
        // Every value is checked before anything is read or written.
        if (const auto refused = applyFieldEdit(probe, edits.back().first, edits.back().second)) {
            err << "zorvtool set: " << edits.back().first << ": '" << edits.back().second
                << "' refused; it takes " << *refused << "; nothing written\n";
            return kFailed;
        }
    }
    return saveUserChanges(
        a.file, {index},
        [&edits](int, zorv::Record& r) {
            for (const auto& [field, value] : edits)
                applyFieldEdit(r, field, value);
        },
        "set", err);
}

const Register reg{command<SetArgs>("set", "change fields of user N (FIELD: a key of show --json)",
                                    declareSet, runSet)};

} // namespace
} // namespace zorvtool
