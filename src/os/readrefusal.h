#pragma once
// The backends' side of refuseReadsForTesting().

#include "os/file.h"

namespace zorv::os::detail {

// True (and one refusal used up) when a read of [offset, offset + size) on
// `h` is to fail with EAGAIN.
bool readRefused(Handle h, Offset offset, std::size_t size);

} // namespace zorv::os::detail
