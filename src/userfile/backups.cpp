#include "backups.h"

#include "errors.h"
#include "pathparts.h"
#include "replacement.h"

#include <algorithm>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace zorv {

std::string backupPathFor(const std::string& path, const std::string& fallbackDir) {
    std::string dir = dirOf(path);
    if (::access(dir.c_str(), W_OK) != 0 && !fallbackDir.empty())
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
            ::mkdir(dir.substr(0, at).c_str(), 0700); // the state folder may not exist yet
        ::mkdir(dir.c_str(), 0700);
    }
    auto name = [&bak](int n) { return n == 1 ? bak : bak + "." + std::to_string(n); };
    // Only the slots that exist move up, so a large count costs nothing more.
    struct stat slot {};
    int used = 0;
    while (used < count && ::lstat(name(used + 1).c_str(), &slot) == 0)
        ++used;
    for (int n = std::min(used + 1, count); n >= 2; --n)
        if (::rename(name(n - 1).c_str(), name(n).c_str()) != 0 && errno != ENOENT)
            throw ioErrorFromErrno(errno);
    // The copy takes the user file's mode and group, whatever lay at its name.
    struct stat model {};
    if (::stat(path.c_str(), &model) != 0)
        throw ioErrorFromErrno(errno);
    copyFilePrivately(path, bak, model);
}

} // namespace zorv
