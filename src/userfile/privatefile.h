#pragma once
// Files that hold copies of user records (the working copy, the save journal)
// are the operator's alone: the records carry the users' passwords, and the
// folder they lie in may be shared with other local users.

#include "os/file.h"

#include <string>

namespace zorv {

// Throws IoError "File access denied" naming the folder and its mode when
// other users could rename or plant files in it (writable by others without
// the sticky bit).
void checkPrivateFolder(const std::string& dir);

// Opens `path` read/write as a private file: an existing one only when it is a
// regular file of one link owned by us (its mode narrowed to 0600); with
// `create`, a new one when nothing is there (O_EXCL, never following a link).
// Anything else at the name (a link, a folder, a FIFO, another user's file, a
// hard link) is refused, never opened or removed: "File access denied" and
// what it is. `what` names the file in messages ("the working copy"). Throws
// IoError; returns the open file.
os::Handle openPrivateFile(const std::string& path, const std::string& what, bool create = true);

// True for a regular file of one link owned by us.
bool ownPlainFile(const os::FileInfo& st);

// "<path> is a FIFO owned by nobody (uid 65534), not <role> of this program
// ...": what lies at a name of ours that we did not put there, that it was
// left alone, and what to do about it.
std::string foreignObjectText(const std::string& path, const os::FileInfo& st,
                              const std::string& role);

// Permissions for a copy of a file with `model`'s mode and group: never wider
// than the model, never set-id; applied to `fd` (owned by us). The group bits
// are dropped when the group cannot be set.
void takeModeAndGroup(os::Handle fd, const os::FileInfo& model);

} // namespace zorv
