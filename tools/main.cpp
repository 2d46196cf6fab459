#include "command.h"
#include "fdoutput.h"

#include <csignal>
#include <iostream>
#include <unistd.h>

int main(int argc, char** argv) {
    // A reader that goes away ends the tool at once and quietly, whatever
    // the parent left SIGPIPE at; the output check covers the EPIPE case too.
    std::signal(SIGPIPE, SIG_DFL);
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    sigprocmask(SIG_UNBLOCK, &pipe, nullptr);

    const zorvtool::Args args(argv + 1, argv + argc);
    zorvtool::FdOutput stdoutBuf(STDOUT_FILENO);
    std::ostream out(&stdoutBuf);
    int code = zorvtool::dispatch(args, out, std::cerr);
    // A failure until now has been reported; one the close brings is not yet.
    if (stdoutBuf.error() == 0 && !stdoutBuf.close())
        code = zorvtool::checkedOutput(out, std::cerr, args.empty() ? "" : args[0], code);
    return code;
}
