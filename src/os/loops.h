#pragma once
// The loops every backend's whole reads and writes share: the system moves
// some of the bytes a call, these move them all.

#include <cerrno>
#include <cstddef>

namespace zorv::os::detail {

// `some(p, left, done)` moves up to `left` bytes at `p`, `done` moved before;
// it returns how many it moved, 0 at the end of the file, or -1 with errno
// set. The total, fewer only at the end of the file; -1 on a failure.
template <class Some> long long readFully(void* data, std::size_t size, Some some) {
    char* p = static_cast<char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const long long n = some(p + done, size - done, done);
        if (n < 0)
            return -1;
        if (n == 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    return static_cast<long long>(done);
}

// The same for writing: all of it, or false with errno set (ENOSPC when a
// call takes nothing).
template <class Some> bool writeFully(const void* data, std::size_t size, Some some) {
    const char* p = static_cast<const char*>(data);
    std::size_t done = 0;
    while (done < size) {
        const long long n = some(p + done, size - done, done);
        if (n < 0)
            return false;
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace zorv::os::detail
