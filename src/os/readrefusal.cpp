#include "os/readrefusal.h"

#include <atomic>
#include <mutex>

namespace zorv::os {

namespace {

std::atomic<bool> armed{false};
std::mutex guard;
FileInfo refusedFile;
Offset refusedStart = 0;
Offset refusedLength = 0;
int refusalsLeft = 0;

} // namespace

void refuseReadsForTesting(const std::string& path, Offset start, Offset length, int times) {
    const std::lock_guard<std::mutex> lock(guard);
    if (length > 0 && !infoOf(path, refusedFile))
        length = 0;
    refusedStart = start;
    refusedLength = length;
    refusalsLeft = times;
    armed.store(length > 0 && times != 0, std::memory_order_release);
}

namespace detail {

bool readRefused(Handle h, Offset offset, std::size_t size) {
    if (!armed.load(std::memory_order_acquire))
        return false;
    const std::lock_guard<std::mutex> lock(guard);
    const Offset end = offset + static_cast<Offset>(size);
    if (refusalsLeft == 0 || end <= refusedStart || offset >= refusedStart + refusedLength)
        return false;
    FileInfo st;
    if (!info(h, st) || !sameFile(st, refusedFile))
        return false;
    if (refusalsLeft > 0 && --refusalsLeft == 0)
        armed.store(false, std::memory_order_release);
    return true;
}

} // namespace detail

} // namespace zorv::os
