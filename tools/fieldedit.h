#pragma once
// FIELD=VALUE edits of one user record, the field names being the keys of
// `zorvtool show --json`. Only the field's own bytes or bits change.

#include "userfile/record.h"

#include <optional>
#include <string>

namespace zorvtool {

// Applies one edit to `r`. On a refused value returns what the field takes
// (and leaves `r` alone); nullopt when applied.
std::optional<std::string> applyFieldEdit(zorv::Record& r, const std::string& field,
                                          const std::string& value);

// A status as `find --status` names it (active, getlost, killed, kill+boot),
// the status list's item (case-insensitive) or its code 0-3; -1 otherwise.
int parseStatusCode(const std::string& text);

// YYYY-MM-DD[THH:MM[:SS]] as a packed DOS date-time; nullopt when malformed,
// outside 1980-2107 or with an odd second (the file keeps two-second steps).
std::optional<std::uint32_t> parseCallTime(const std::string& text);

} // namespace zorvtool
