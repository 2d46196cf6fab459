#pragma once
// The help lines of the two writing commands, "NAME ARGS  what it does" as
// every command registers it; their registrations use these, and the README,
// the bash completion and the man page list the same.

namespace zorvtool {

inline constexpr const char* kSetHelp =
    "set FILE N FIELD=VALUE...  change fields of user N (FIELD: a key of show --json)";

inline constexpr const char* kStatusHelp =
    "status FILE STATUS [--user N]... [--last-call-before YYYY-MM-DD] [--status-is S] "
    "[--logins-at-most N] [--dry-run]  set STATUS on the users that pass every filter";

} // namespace zorvtool
