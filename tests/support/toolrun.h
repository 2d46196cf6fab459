#pragma once
// Runs a zorvtool command in-process and keeps what it printed, or runs the
// real binary as a process when what matters is its standard output file.

#include "os/file.h"

#include <functional>
#include <string>
#include <vector>

namespace zorvtest {

struct ToolRun {
    int code;
    std::string out;
    std::string err;
};

ToolRun tool(const std::vector<std::string>& args);
// The same, with `atFirstFlush` run when the command first flushes its
// standard output: another program's step between what a command printed
// and what it does next.
ToolRun toolFlushing(const std::vector<std::string>& args,
                     const std::function<void()>& atFirstFlush);

struct ToolProcess {
    int status; // as waitpid gives it; on Windows the exit code
    std::string err;
};

// The zorvtool binary with stdout on `stdoutFd` and stderr kept; with
// ignorePipe it starts with SIGPIPE ignored, as some parents leave it (no
// such thing on Windows).
ToolProcess toolProcess(const std::vector<std::string>& args, zorv::os::Handle stdoutFd,
                        bool ignorePipe = false);

} // namespace zorvtest
