#pragma once
// The between-writers lock on a user file, taken within a bounded wait.

#include "os/file.h"

namespace zorv {

// Two writers undoing or saving into one user file take turns; the board does
// not lock. True once held, or where the file system has no locks; false when
// another holds it after `ms`. Never in the way of the records' own locks.
bool lockWholeFileWithin(os::Handle fd, int ms);

} // namespace zorv
