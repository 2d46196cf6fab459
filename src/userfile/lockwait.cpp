#include "lockwait.h"

#include <cerrno>
#include <chrono>
#include <sys/file.h>
#include <thread>

namespace zorv {

bool lockWholeFileWithin(int fd, int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL)
            return true; // no locks on this filesystem
        if ((errno != EWOULDBLOCK && errno != EINTR) ||
            std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

} // namespace zorv
