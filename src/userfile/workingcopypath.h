#pragma once
// Where the working copy lies: beside the program, or in the per-user state
// folder when the program's folder is no place for it.

#include <string>

namespace zorv {

// The program's path with its three-letter extension replaced by "dat" (".dat"
// appended when it has none). When the program's folder is not writable, or the
// program is an installed one, the file of that name in fallbackDir (created
// when missing) is used instead.
std::string workingCopyPath(const std::string& programPath, const std::string& fallbackDir,
                            bool installed = false);

// True when the program runs from an install prefix (its desktop entry lies in
// ../share/applications; on Windows, kInstalledMarker lies beside it): such a
// folder is shared by every user, and an administrator may write it, so it is
// no place for one user's working copy.
bool installedProgram(const std::string& programPath);
inline constexpr const char* kInstalledMarker = "zorvedit.installed";

} // namespace zorv
