#pragma once
// Which file a user file was when it was loaded: a save must find the same
// file, or the board may have renumbered its users.

#include "os/file.h"

namespace zorv {

struct FileIdentity {
    unsigned long long device = 0;
    unsigned long long inode = 0;
    bool known = false;
    bool operator==(const FileIdentity&) const = default;
};

inline bool sameFile(const os::FileInfo& st, const FileIdentity& id) {
    return id.known && st.device == id.device && st.inode == id.inode;
}

} // namespace zorv
