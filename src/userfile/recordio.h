#pragma once
// Whole-record reads on an open file, for the working copy and the read-only
// readers alike.

#include "os/file.h"
#include "userfile/record.h"

#include <string>
#include <vector>

namespace zorv {

enum class Access { Read, ReadWrite };

// Opens a file to read (or read and write). Only regular files are taken: a
// FIFO or device in the way would block or never end, so it is "File access
// denied (a FIFO)", as a folder is "(a folder)". Throws IoError.
os::Handle openRegularFile(const std::string& path, Access access = Access::Read);

// The file's size divided by 273, rounded down. IoError on failure; a folder
// is "File access denied (a folder)".
int recordCountOf(os::Handle fd);
// "Read beyond end of file" for an index outside 0..recordCountOf(fd)-1.
void readRecordOf(os::Handle fd, int index, Record& buffer);

// Where record `index` begins.
inline os::Offset recordOffset(int index) {
    return static_cast<os::Offset>(index) * static_cast<os::Offset>(kRecordSize);
}
// Whole record or nothing: false at the end of the file (errno 0) or on an error.
bool readWholeRecord(os::Handle fd, Record& r, os::Offset offset);
// The file's size, -1 when it cannot be had.
os::Offset fileSizeOf(os::Handle fd);

// Records [first, first + n) into `out`, as one read where it can be. A read
// refused because another program holds some of them locked (EAGAIN, the
// board on Windows) is tried again a few times, then record by record;
// `refused` (n entries) marks the records still refused then. Returns the
// bytes read, fewer at the end of the file, or -1 (errno set) on another
// failure.
long long readRecordsPastLocks(os::Handle fd, Record* out, int first, int n,
                               std::vector<char>& refused);

} // namespace zorv
