#pragma once
// Whole-record reads on an open file, for the working copy and the read-only
// readers alike.

#include "record.h"

#include <string>
#include <sys/types.h>

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

// Where record `index` begins.
inline off_t recordOffset(int index) {
    return static_cast<off_t>(index) * static_cast<off_t>(kRecordSize);
}
// Whole record or nothing: false at the end of the file (errno 0) or on an error.
bool readWholeRecord(int fd, Record& r, off_t offset);
// The file's size, -1 when it cannot be had.
off_t fileSizeOf(int fd);

} // namespace zorv
