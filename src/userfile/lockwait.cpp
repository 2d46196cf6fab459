#include "userfile/lockwait.h"

#include <chrono>
#include <thread>

namespace zorv {

bool lockWholeFileWithin(os::Handle fd, int ms) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        switch (os::lockWriters(fd)) {
        case os::Lock::Held:
        case os::Lock::Unsupported: // no locks on this file system
            return true;
        case os::Lock::Failed:
            return false;
        case os::Lock::Busy:
            break;
        }
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

} // namespace zorv
