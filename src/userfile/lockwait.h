#pragma once
// A whole-file lock taken within a bounded wait.

namespace zorv {

// Two writers undoing or saving into one user file take turns; the board does
// not lock. True once held, or where the file system has no locks; false when
// another holds it after `ms`.
bool lockWholeFileWithin(int fd, int ms);

} // namespace zorv
