#pragma once
// Runs a zorvtool command in-process and keeps what it printed.

#include <string>
#include <vector>

namespace zorvtest {

struct ToolRun {
    int code;
    std::string out;
    std::string err;
};

ToolRun tool(const std::vector<std::string>& args);

} // namespace zorvtest
