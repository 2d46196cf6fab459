#pragma once
// Whole-record reads on an open file, for the working copy and the read-only
// readers alike.

#include "record.h"

#include <string>

namespace zorv {

// Opens a file to read (flags: O_RDONLY or O_RDWR). Only regular files are
// taken: a FIFO or device in the way would block or never end, so it is
// "File access denied (a FIFO)", as a folder is "(a folder)". Throws IoError;
// returns the fd.
int openRegularFile(const std::string& path, int flags);

// The file's size divided by 273, rounded down. IoError on failure; a folder
// is "File access denied (a folder)".
int recordCountOf(int fd);
// "Read beyond end of file" for an index outside 0..recordCountOf(fd)-1.
void readRecordOf(int fd, int index, Record& buffer);

} // namespace zorv
