#include "userfile/workingcopypath.h"

#include "os/file.h"
#include "userfile/pathparts.h"

namespace zorv {

namespace {

void mkdirs(const std::string& dir) {
    if (dir.empty() || dir == "/" || dir == ".")
        return;
    os::FileInfo st;
    if (os::infoOf(dir, st))
        return;
    mkdirs(dirOf(dir));
    os::makeFolder(dir);
}

} // namespace

bool installedProgram(const std::string& programPath) {
    os::FileInfo st;
#ifdef _WIN32
    // The installer leaves this beside the program; the portable zip has none.
    const std::string entry = dirOf(programPath) + "/" + kInstalledMarker;
#else
    const std::string entry =
        dirOf(programPath) + "/../share/applications/" + ZORV_APP_ID + ".desktop";
#endif
    return os::infoOf(entry, st) && st.kind == os::Kind::Regular;
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
    if (fallbackDir.empty() || (!installed && os::writable(dir)))
        return dir == "." && programPath.find('/') == std::string::npos ? name : dir + "/" + name;
    mkdirs(fallbackDir);
    return fallbackDir + "/" + name;
}

} // namespace zorv
