// zorvtool count FILE: the number of whole records.

#include "command.h"

#include "userfile/errors.h"
#include "userfile/userfile.h"

#include <ostream>

namespace zorvtool {
namespace {

struct CountArgs {
    std::string file;
};

void declareCount(CommandLine& line, CountArgs& a) {
    line.word("FILE", a.file);
}

int runCount(const CountArgs& a, std::ostream& out, std::ostream& err) {
    try {
        out << zorv::countRecords(a.file) << '\n';
    } catch (const zorv::IoError& e) {
        err << "zorvtool count: " << a.file << ": " << e.what() << '\n';
        return 2;
    }
    return 0;
}

const Register reg{command<CountArgs>("count", "the number of records", declareCount, runCount)};

} // namespace
} // namespace zorvtool
