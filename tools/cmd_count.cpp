// zorvtool count FILE: the number of whole records.

#include "command.h"

#include "userfile/errors.h"
#include "userfile/userfile.h"

#include <ostream>

namespace zorvtool {
namespace {

int runCount(const Args& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 1 || (args[0].size() > 1 && args[0][0] == '-')) {
        err << "usage: zorvtool count FILE\n";
        return 2;
    }
    try {
        out << zorv::countRecords(args[0]) << '\n';
    } catch (const zorv::IoError& e) {
        err << "zorvtool count: " << args[0] << ": " << e.what() << '\n';
        return 2;
    }
    return 0;
}

const Register reg{{"count", "count FILE                  the number of records", runCount}};

} // namespace
} // namespace zorvtool
