#pragma once
// The folder and name parts of a path, for files made beside another.

#include "os/file.h"

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

// The path from the root: the folder's real path (links in it resolved) plus
// the name, which is kept as it is (a link there stays the entry it is).
// Where the folder cannot be resolved, the path as given after the working
// folder.
inline std::string absolutePathOf(const std::string& path) {
    if (auto dir = os::realPath(dirOf(path)))
        return (*dir == "/" ? "" : *dir) + "/" + baseOf(path);
    if (!path.empty() && path[0] == '/')
        return path;
    const std::string cwd = os::workingFolder();
    return cwd.empty() ? path : cwd + "/" + path;
}

// Makes a rename or removal beside `path` durable; best effort.
inline void syncFolderOf(const std::string& path) {
    os::flushFolder(dirOf(path));
}

} // namespace zorv
