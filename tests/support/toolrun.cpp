#include "toolrun.h"

#include "command.h"

#include <sstream>

namespace zorvtest {

ToolRun tool(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    const int code = zorvtool::dispatch(args, out, err);
    return {code, out.str(), err.str()};
}

} // namespace zorvtest
