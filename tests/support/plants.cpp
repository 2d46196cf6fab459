#include "plants.h"

#include "tempdir.h"

#include <sys/stat.h>
#include <unistd.h>

namespace zorvtest {

std::vector<Plant> plantsIn(const std::string& dir) {
    std::vector<Plant> plants{
        {"FIFO", [](const std::string& p) { return ::mkfifo(p.c_str(), 0666) == 0; },
         "a FIFO owned by "},
        {"folder", [](const std::string& p) { return ::mkdir(p.c_str(), 0777) == 0; },
         "a folder owned by "},
        {"hard link",
         [dir](const std::string& p) {
             const std::string mine = dir + "/operators-own-file";
             writeFileBytes(mine, "kept");
             return ::link(mine.c_str(), p.c_str()) == 0;
         },
         "a file with 2 names (a hard link) owned by "},
    };
    if (::geteuid() == 0)
        plants.push_back({"another user's file",
                          [](const std::string& p) {
                              writeFileBytes(p, "theirs");
                              return ::chown(p.c_str(), 65534, 65534) == 0;
                          },
                          "a file owned by "});
    return plants;
}

void uproot(const std::string& path) {
    if (::unlink(path.c_str()) != 0)
        ::rmdir(path.c_str());
}

unsigned long long inodeAt(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

} // namespace zorvtest
