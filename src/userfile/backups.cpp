#include "userfile/backups.h"

#include "userfile/errors.h"
#include "userfile/pathparts.h"
#include "userfile/replacement.h"

#include <algorithm>
#include <cerrno>

namespace zorv {

std::string backupPathFor(const std::string& path, const std::string& fallbackDir) {
    std::string dir = dirOf(path);
    if (!os::writable(dir) && !fallbackDir.empty())
        dir = fallbackDir;
    return dir + "/" + baseOf(path) + ".bak";
}

void keepBackup(const std::string& path, int count, const std::string& fallbackDir) {
    if (count <= 0)
        return;
    const std::string bak = backupPathFor(path, fallbackDir);
    const std::string dir = dirOf(bak);
    if (dir == fallbackDir) {
        for (std::size_t at = 1; at != std::string::npos; at = dir.find('/', at + 1))
            os::makeFolder(dir.substr(0, at)); // the state folder may not exist yet
        os::makeFolder(dir);
    }
    auto name = [&bak](int n) { return n == 1 ? bak : bak + "." + std::to_string(n); };
    // Only the slots that exist move up, so a large count costs nothing more.
    os::FileInfo slot;
    int used = 0;
    while (used < count && os::linkInfoOf(name(used + 1), slot))
        ++used;
    for (int n = std::min(used + 1, count); n >= 2; --n)
        if (!os::rename(name(n - 1), name(n)) && errno != ENOENT)
            throw ioErrorFromErrno(errno);
    // The copy takes the user file's mode and group, whatever lay at its name.
    os::FileInfo model;
    if (!os::infoOf(path, model))
        throw ioErrorFromErrno(errno);
    copyFilePrivately(path, bak, model);
}

} // namespace zorv
