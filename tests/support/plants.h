#pragma once
// What another local user may plant at a name of ours: a FIFO, a folder, a
// hard link to a file, and (as root, who can give it away) a file of theirs.

#include <functional>
#include <string>
#include <vector>

namespace zorvtest {

struct Plant {
    std::string kind;                            // for SCOPED_TRACE
    std::function<bool(const std::string&)> put; // false when it cannot be made here
    std::string said;                            // what the message calls it
};

// Plants whose hard link points at a file in `dir`.
std::vector<Plant> plantsIn(const std::string& dir);
// Removes a plant again, whatever it is.
void uproot(const std::string& path);
// The inode at `path` without following it; 0 when nothing is there.
unsigned long long inodeAt(const std::string& path);

} // namespace zorvtest
