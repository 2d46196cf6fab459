#include "command.h"

#include <iostream>

int main(int argc, char** argv) {
    zorvtool::Args args(argv + 1, argv + argc);
    return zorvtool::dispatch(args, std::cout, std::cerr);
}
