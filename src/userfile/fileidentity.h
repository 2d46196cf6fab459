#pragma once
// Which file a user file was when it was loaded: a save must find the same
// file, or the board may have renumbered its users.

#include <sys/stat.h>

namespace zorv {

struct FileIdentity {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    bool known = false;
    bool operator==(const FileIdentity&) const = default;
};

inline bool sameFile(const struct stat& st, const FileIdentity& id) {
    return id.known && static_cast<unsigned long long>(st.st_dev) == id.device &&
           static_cast<unsigned long long>(st.st_ino) == id.inode;
}

} // namespace zorv
