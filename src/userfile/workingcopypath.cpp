#include "workingcopypath.h"

#include "pathparts.h"

#include <sys/stat.h>
#include <unistd.h>

namespace zorv {

namespace {

void mkdirs(const std::string& dir) {
    if (dir.empty() || dir == "/" || dir == ".")
        return;
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0)
        return;
    mkdirs(dirOf(dir));
    ::mkdir(dir.c_str(), 0700);
}

} // namespace

bool installedProgram(const std::string& programPath) {
    struct stat st {};
    const std::string entry =
        dirOf(programPath) + "/../share/applications/" + ZORV_APP_ID + ".desktop";
    return ::stat(entry.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string workingCopyPath(const std::string& programPath, const std::string& fallbackDir,
                            bool installed) {
    const std::string dir = dirOf(programPath);
    std::string name = baseOf(programPath);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0 && name.size() - dot == 4)
        name.replace(dot + 1, 3, "dat");
    else
        name += ".dat";
    if (name == baseOf(programPath)) // the program itself ends in .dat
        name += ".dat";
    if (fallbackDir.empty() || (!installed && ::access(dir.c_str(), W_OK) == 0))
        return dir == "." && programPath.find('/') == std::string::npos ? name : dir + "/" + name;
    mkdirs(fallbackDir);
    return fallbackDir + "/" + name;
}

} // namespace zorv
