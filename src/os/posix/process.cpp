// The POSIX side of the program's own process.
#include "os/process.h"
#include "os/loops.h"

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace zorv::os {

void prepareStandardStreams() {
    // Whatever the parent left SIGPIPE at: a write to a closed pipe then
    // ends the program at once, and quietly.
    std::signal(SIGPIPE, SIG_DFL);
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    sigprocmask(SIG_UNBLOCK, &pipe, nullptr);
}

std::vector<std::string> arguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

Handle standardOutput() {
    return STDOUT_FILENO;
}

bool writeStream(Handle h, const void* data, std::size_t size) {
    return detail::writeFully(data, size, [h](const char* p, std::size_t left, std::size_t) {
        for (;;) {
            const ssize_t n = ::write(h, p, left);
            if (n >= 0 || errno != EINTR)
                return static_cast<long long>(n);
        }
    });
}

bool closeStream(Handle h) {
    return ::close(h) == 0 || errno == EINTR;
}

} // namespace zorv::os
