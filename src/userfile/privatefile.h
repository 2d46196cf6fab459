#pragma once
// Files that hold copies of user records (the working copy, the save journal)
// are the operator's alone: the records carry the users' passwords, and the
// folder they lie in may be shared with other local users.

#include <string>
#include <sys/stat.h>

namespace zorv {

// Throws IoError "File access denied" naming the folder and its mode when
// other users could rename or plant files in it (writable by others without
// the sticky bit).
void checkPrivateFolder(const std::string& dir);

// Opens `path` read/write as a private file: an existing one only when it is a
// regular file of one link owned by us (its mode narrowed to 0600), otherwise
// a link or a plain file of another owner or with other links is removed and,
// with `create`, a new one created with O_EXCL, never following a link;
// anything else there (a device, a folder) is refused. `what` names the file
// in messages ("the working copy"). Throws IoError; returns the fd.
int openPrivateFile(const std::string& path, const std::string& what, bool create = true);

// True for a regular file of one link owned by us.
bool ownPlainFile(const struct stat& st);

// Permissions for a copy of a file with `model`'s mode and group: never wider
// than the model, never set-id; applied to `fd` (owned by us). The group bits
// are dropped when the group cannot be set.
void takeModeAndGroup(int fd, const struct stat& model);

} // namespace zorv
