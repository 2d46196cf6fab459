#pragma once
// A file's content copied into another in large blocks of whole records.

#include "record.h"

#include <sys/types.h>

#include <cstddef>
#include <functional>

namespace zorv {

// Whole records as a copy passes them: `count` records back to back. Lets a
// caller compute what it needs from the copy's own reads.
using RecordsSeen = std::function<void(const Record* records, std::size_t count)>;

// Copies everything from `in` into `out` from offset 0; returns the byte
// count. `seen` gets each block's whole records. Throws IoError.
off_t copyContent(int in, int out, const RecordsSeen& seen = {});

// writeFully() or IoError.
void writeAllAt(int fd, const char* data, std::size_t size, off_t offset);

} // namespace zorv
