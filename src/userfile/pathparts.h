#pragma once
// The folder and name parts of a POSIX path, for files made beside another.

#include <string>

namespace zorv {

// "." for a bare name, "/" for a file at the root.
inline std::string dirOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

inline std::string baseOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

} // namespace zorv
