// zorvtool resume BASE N: a message of a conference as the resume window shows
// it, in UTF-8.

#include "command.h"

#include "resume/conference.h"
#include "userfile/codepage.h"
#include "userfile/errors.h"
#include "userfile/numtext.h"

#include <ostream>

namespace zorvtool {
namespace {

int runResume(const Args& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2) {
        err << "usage: zorvtool resume BASE N\n";
        return 2;
    }
    const std::string& base = args[0];
    const std::string& text = args[1];
    std::int32_t number = 0;
    if (!zorv::tryParseInteger(text, number)) {
        err << "zorvtool resume: '" << text << "' is not a valid integer value\n";
        return 2;
    }
    std::optional<zorv::Message> m;
    try {
        m = zorv::readMessage(base, number);
    } catch (const zorv::IoError& e) {
        err << "zorvtool resume: " << base << ": " << e.what() << '\n';
        return 2;
    }
    if (!m) {
        err << "Resume not found!\n";
        return 1;
    }
    out << zorv::cp1252ToUtf8(m->heading) << '\n';
    for (const auto& line : m->lines)
        out << zorv::cp865ToUtf8(line) << '\n';
    return 0;
}

const Register reg{{"resume",
                    "resume BASE N  message N of conference BASE (BASE.hdr, BASE.txt) in UTF-8",
                    runResume}};

} // namespace
} // namespace zorvtool
