// zorvtool show FILE N [--json]: record N as the editor shows it.

#include "command.h"
#include "recordfields.h"
#include "showrecord.h"

#include "editor/codetables.h"
#include "userfile/calltime.h"
#include "userfile/codepage.h"
#include "userfile/errors.h"
#include "userfile/numtext.h"
#include "userfile/record.h"
#include "userfile/userfile.h"

#include <ostream>
#include <sstream>

namespace zorvtool {
namespace {

using namespace zorv;

// The stored text decoded from cp865 (every byte, not only the six letters).
std::string text(const Record& r, const TextField& f) {
    return cp865ToUtf8(rawText(r, f));
}

void printJson(const Record& r, std::ostream& out) {
    RecordValues values;
    values.read(r);
    std::string line;
    appendJsonObject(line, values);
    out << line;
}

// The drop-down's item text, or the bare code when the list has no item for it.
std::string listed(CodeListId id, unsigned code) {
    const int item = codeToItem(id, code);
    if (item < 0)
        return "(no item; code " + std::to_string(code) + ")";
    return cp1252ToUtf8(codeList(id).items[static_cast<std::size_t>(item)]);
}

void printListing(const Record& r, int index, std::ostream& out) {
    const auto line = [&](const std::string& label, const std::string& value) {
        std::string padded = label;
        // Pad by characters, not bytes (labels are ASCII).
        if (padded.size() < 24)
            padded.resize(24, ' ');
        out << padded << ' ' << value << '\n';
    };
    const auto num = [&](const char* label, const NumField& f) {
        line(label, std::to_string(readNumber(r, f)));
    };
    out << "User number " << index << '\n';
    line("User name:", text(r, kName));
    line("Street address:", text(r, kAddress));
    line("City/state:", text(r, kPostnr));
    line("Telephone number:", text(r, kTlf));
    line("Date of birth:", text(r, kBirth));
    line("Status:", listed(CodeListId::status, readCode(r, kStatus)));
    line("Terminal type:", listed(CodeListId::ttype, readCode(r, kTtype)));
    line("Message editor:", listed(CodeListId::editor, readCode(r, kEditor)));
    num("Page Length:", kPagel);
    line("Character set:", listed(CodeListId::charset, readCode(r, kCharset)));
    line("Language:", listed(CodeListId::lang, readCode(r, kLang)));
    line("Message read mode:", listed(CodeListId::readmode, readCode(r, kReadmode)));
    line("Grab format:", listed(CodeListId::grab, readCode(r, kGrab)));
    line("Preffered packing:", listed(CodeListId::packing, readCode(r, kPacking)));
    line("Default protocol:", listed(CodeListId::prot, readCode(r, kProt)));
    num("Nodemessage filter:", kNodeflt);
    num("Timelimit:", kTimelimit);
    num("Time left:", kTleft);
    num("Timebank:", kTimebank);
    num("Limits:", kLimit);
    num("Times on:", kLogins);
    num("Msg left:", kMsgleft);
    num("Msg read:", kMsgread);
    num("Msg dumped:", kMsgdumped);
    num("Files uploaded:", kUpf);
    num("Files downloaded:", kDownf);
    num("Kb uploaded:", kKbup);
    num("Kb downloaded:", kKbdown);
    num("Resume:", kResume);
    line("Access", std::to_string(readSysopLevel(r)));
    line("File access:", listed(CodeListId::access, readAccess(r)));
    const std::uint32_t flags = readUserflags(r);
    line("Menu level:", listed(CodeListId::menulev, flags & kExpertMenus ? 1u : 0u));
    const struct {
        const char* caption;
        std::uint32_t mask;
        bool inverted;
    } boxes[] = {
        {"Insert mode", kInsertOff, true},
        {"Indent mode", kIndent, false},
        {"XY display", kXYDisplay, false},
        {"Flash own name", kFlashOff, true},
        {"Conf status at login", kConfStatus, false},
        {"Auto file transfer", kAutoTransfer, false},
        {"Colors", kColors, false},
        {"Review own msgs", kReviewOwn, false},
        {"VT100 key emulation", kVt100, false},
        {"Auto Quote", kAutoQuote, false},
        {"Silent mode", kSilent, false},
        {"Return with enter-key", kReturnEnter, false},
    };
    for (const auto& b : boxes)
        line(b.caption, ((flags & b.mask) != 0) != b.inverted ? "[x]" : "[ ]");
    line("Last called:", formatCallTime(readLastcall(r)));
    line("First called:", formatCallTime(readFirstcall(r)));
    const Date today = localToday();
    const auto days = [&](std::uint32_t packed) {
        const auto d = daysSince(packed, today);
        return d ? std::to_string(*d) : std::string();
    };
    line("Days since last call:", days(readLastcall(r)));
    line("Days since first call:", days(readFirstcall(r)));
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

void printRecordJson(const zorv::Record& r, std::ostream& out) {
    printJson(r, out);
}

void printRecordListing(const zorv::Record& r, int index, std::ostream& out) {
    printListing(r, index, out);
}

} // namespace zorvtool
