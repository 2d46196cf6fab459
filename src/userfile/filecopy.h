#pragma once
// A file's content copied into another in large blocks of whole records.

#include "os/file.h"
#include "userfile/record.h"

#include <cstddef>
#include <functional>

namespace zorv {

// Whole records as a copy passes them: `count` records back to back. Lets a
// caller compute what it needs from the copy's own reads.
using RecordsSeen = std::function<void(const Record* records, std::size_t count)>;

// Copies everything from `in` into `out` from offset 0; returns the byte
// count. `seen` gets each block's whole records. Throws IoError.
os::Offset copyContent(os::Handle in, os::Handle out, const RecordsSeen& seen = {});

// os::writeAt() or IoError.
void writeAllAt(os::Handle fd, const char* data, std::size_t size, os::Offset offset);

} // namespace zorv
