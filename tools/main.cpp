#include "command.h"
#include "fdoutput.h"
#include "os/process.h"

#include <iostream>

int main(int argc, char** argv) {
    // A reader that goes away ends the tool at once and quietly; the output
    // check covers the EPIPE case too.
    zorv::os::prepareStandardStreams();
    const zorvtool::Args args = zorv::os::arguments(argc, argv);
    zorvtool::FdOutput stdoutBuf(zorv::os::standardOutput());
    std::ostream out(&stdoutBuf);
    int code = zorvtool::dispatch(args, out, std::cerr);
    // A failure until now has been reported; one the close brings is not yet.
    if (stdoutBuf.error() == 0 && !stdoutBuf.close())
        code = zorvtool::checkedOutput(out, std::cerr, args.empty() ? "" : args[0], code);
    return code;
}
