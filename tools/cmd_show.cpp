// zorvtool show FILE N [--json]: record N as the editor shows it.

#include "command.h"
#include "recordfields.h"
#include "showrecord.h"

#include "userfile/calltime.h"
#include "userfile/errors.h"
#include "userfile/fields.h"
#include "userfile/numtext.h"
#include "userfile/record.h"
#include "userfile/userfile.h"

#include <ostream>
#include <string_view>

namespace zorvtool {
namespace {

using namespace zorv;

void printJson(const Record& r, std::ostream& out) {
    RecordValues values;
    values.read(r);
    std::string line;
    appendJsonObject(line, values);
    out << line;
}

// Show's words for a code without a list item and for an option box.
constexpr FieldWording kShowWords{"(no item; code ", ")", "[x]", "[ ]"};

void printListing(const Record& r, int index, std::ostream& out) {
    std::string text = "User number " + std::to_string(index) + '\n';
    // The window's order: the other fields, the menu level, its option boxes,
    // the call times.
    const auto& fields = userFields();
    const auto show = [&](auto&& which) {
        for (const UserField& f : fields)
            if (which(f))
                appendShowLine(text, showLabel(f), showValue(r, f));
    };
    show([](const UserField& f) {
        return f.kind != FieldKind::Flag && f.kind != FieldKind::CallTime;
    });
    show([](const UserField& f) { return f.kind == FieldKind::Flag && !isOptionBox(f); });
    show([](const UserField& f) { return isOptionBox(f); });
    show([](const UserField& f) { return f.kind == FieldKind::CallTime; });
    const Date today = localToday();
    const auto days = [&](std::uint32_t packed) {
        const auto d = daysSince(packed, today);
        return d ? std::to_string(*d) : std::string();
    };
    appendShowLine(text, "Days since last call:", days(readLastcall(r)));
    appendShowLine(text, "Days since first call:", days(readFirstcall(r)));
    out << text;
}

struct ShowArgs {
    std::string file, user;
    bool json = false;
};

void declareShow(CommandLine& line, ShowArgs& a) {
    line.word("FILE", a.file);
    line.word("N", a.user, "the user's number, from 0");
    line.flag("--json", "one JSON object of every field under its key, as export and set name them",
              a.json);
}

int runShow(const ShowArgs& a, std::ostream& out, std::ostream& err) {
    std::int32_t index = 0;
    if (!tryParseInteger(a.user, index))
        throw UsageError(ConvertError(a.user).what());
    Record r{};
    try {
        r = readRecordAt(a.file, index);
    } catch (const IoError& e) {
        err << "zorvtool show: " << a.file << ": user " << index << ": " << e.what() << '\n';
        return 2;
    }
    if (a.json)
        printJson(r, out);
    else
        printListing(r, index, out);
    return 0;
}

const Register reg{
    command<ShowArgs>("show", "record N as the editor shows it", declareShow, runShow)};

} // namespace

std::string showLabel(const UserField& f) {
    return isOptionBox(f) || std::string_view(f.name) == "sysop" ? std::string(f.caption)
                                                                 : std::string(f.caption) + ":";
}

std::string showValue(const Record& r, const UserField& f) {
    return fieldText(r, f, kShowWords);
}

void appendShowLine(std::string& out, const std::string& label, const std::string& value) {
    // Padded by characters, not bytes (labels are ASCII).
    out += label;
    if (label.size() < 24)
        out.append(24 - label.size(), ' ');
    out += ' ';
    out += value;
    out += '\n';
}

void printRecordJson(const zorv::Record& r, std::ostream& out) {
    printJson(r, out);
}

void printRecordListing(const zorv::Record& r, int index, std::ostream& out) {
    printListing(r, index, out);
}

} // namespace zorvtool
