#pragma once
// The folder and name parts of a POSIX path, for files made beside another.

#include <cstdlib>
#include <string>
#include <unistd.h>

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

// The path from the root: the folder's real path (links in it resolved) plus
// the name, which is kept as it is (a link there stays the entry it is).
// Where the folder cannot be resolved, the path as given after the working
// folder.
inline std::string absolutePathOf(const std::string& path) {
    if (char* real = ::realpath(dirOf(path).c_str(), nullptr)) {
        std::string dir = real;
        std::free(real);
        return (dir == "/" ? "" : dir) + "/" + baseOf(path);
    }
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[4096];
    return ::getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : path;
}

} // namespace zorv
