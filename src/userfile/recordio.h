#pragma once
// Whole-record reads on an open file, for the working copy and the read-only
// readers alike.

#include "record.h"

namespace zorv {

// The file's size divided by 273, rounded down. IoError on failure; a folder
// is "File access denied".
int recordCountOf(int fd);
// "Read beyond end of file" for an index outside 0..recordCountOf(fd)-1.
void readRecordOf(int fd, int index, Record& buffer);

} // namespace zorv
