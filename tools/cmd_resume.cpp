// zorvtool resume BASE N: a message of a conference as the resume window shows
// it, in UTF-8.

#include "command.h"

#include "os/file.h"
#include "resume/conference.h"
#include "userfile/codepage.h"
#include "userfile/errors.h"
#include "userfile/numtext.h"

#include <ostream>

namespace zorvtool {
namespace {

struct ResumeArgs {
    std::string base, number;
};

void declareResume(CommandLine& line, ResumeArgs& a) {
    line.word("BASE", a.base,
              "the conference: its two files' name without .hdr and .txt, or either file's name");
    line.word("N", a.number, "the message's number, as a user's resume field holds it");
}

bool exists(const std::string& path) {
    zorv::os::FileInfo st;
    return zorv::os::infoOf(path, st);
}

// BASE as given when BASE.hdr exists (a conference may be called x.txt);
// otherwise a header's or text's name without its extension.
std::string baseOf(const std::string& name) {
    if (exists(name + ".hdr"))
        return name;
    for (const char* ext : {".hdr", ".txt"}) {
        const std::string e = ext;
        if (name.size() > e.size() && name.compare(name.size() - e.size(), e.size(), e) == 0)
            return name.substr(0, name.size() - e.size());
    }
    return name;
}

int runResume(const ResumeArgs& a, std::ostream& out, std::ostream& err) {
    std::int32_t number = 0;
    if (!zorv::tryParseInteger(a.number, number))
        throw UsageError(zorv::ConvertError(a.number).what());
    const std::string base = baseOf(a.base);
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

const Register reg{command<ResumeArgs>(
    "resume", "message N of conference BASE (BASE.hdr, BASE.txt) in UTF-8; exit 1: not found",
    declareResume, runResume)};

} // namespace
} // namespace zorvtool
