#include "recordfields.h"

#include "reports/reportrows.h"
#include "userfile/calltime.h"
#include "userfile/codepage.h"

#include <algorithm>
#include <charconv>

namespace zorvtool {
namespace {

using namespace zorv;

// How a field's value is read; the order is the order of the keys.
enum class Source {
    Text,
    Code,
    Number,
    Sysop,
    Access,
    Userflags,
    Lastcall,
    Firstcall,
    LastcallIso,
    FirstcallIso,
    StatusName
};

struct FieldSource {
    Source source;
    const TextField* text = nullptr;
    const CodeField* code = nullptr;
    const NumField* number = nullptr;
};

constexpr FieldSource kSources[] = {
    {Source::Text, &kName},
    {Source::Text, &kAddress},
    {Source::Text, &kPostnr},
    {Source::Text, &kTlf},
    {Source::Text, &kBirth},
    {Source::Code, nullptr, &kStatus},
    {Source::Code, nullptr, &kTtype},
    {Source::Code, nullptr, &kEditor},
    {Source::Number, nullptr, nullptr, &kPagel},
    {Source::Code, nullptr, &kCharset},
    {Source::Code, nullptr, &kLang},
    {Source::Code, nullptr, &kReadmode},
    {Source::Code, nullptr, &kGrab},
    {Source::Code, nullptr, &kPacking},
    {Source::Code, nullptr, &kProt},
    {Source::Number, nullptr, nullptr, &kNodeflt},
    {Source::Number, nullptr, nullptr, &kTimelimit},
    {Source::Number, nullptr, nullptr, &kTleft},
    {Source::Number, nullptr, nullptr, &kTimebank},
    {Source::Number, nullptr, nullptr, &kLimit},
    {Source::Number, nullptr, nullptr, &kLogins},
    {Source::Number, nullptr, nullptr, &kMsgleft},
    {Source::Number, nullptr, nullptr, &kMsgread},
    {Source::Number, nullptr, nullptr, &kMsgdumped},
    {Source::Number, nullptr, nullptr, &kUpf},
    {Source::Number, nullptr, nullptr, &kDownf},
    {Source::Number, nullptr, nullptr, &kKbup},
    {Source::Number, nullptr, nullptr, &kKbdown},
    {Source::Number, nullptr, nullptr, &kResume},
    {Source::Sysop},
    {Source::Access},
    {Source::Userflags},
    {Source::Lastcall},
    {Source::Firstcall},
    {Source::LastcallIso},
    {Source::FirstcallIso},
    {Source::StatusName},
};
static_assert(std::size(kSources) == kExportFieldCount);

constexpr const char* keyOf(const FieldSource& s) {
    switch (s.source) {
    case Source::Text:
        return s.text->name;
    case Source::Code:
        return s.code->name;
    case Source::Number:
        return s.number->name;
    case Source::Sysop:
        return "sysop";
    case Source::Access:
        return "access";
    case Source::Userflags:
        return "userflags";
    case Source::Lastcall:
        return "lastcall";
    case Source::Firstcall:
        return "firstcall";
    case Source::LastcallIso:
        return "lastcallISO";
    case Source::FirstcallIso:
        return "firstcallISO";
    case Source::StatusName:
        return "statusName";
    }
    return "";
}

constexpr std::array<RecordField, kExportFieldCount> makeFields() {
    std::array<RecordField, kExportFieldCount> fields{};
    for (std::size_t i = 0; i < kExportFieldCount; ++i) {
        const Source s = kSources[i].source;
        const bool derived = i >= kRecordFieldCount;
        fields[i] = {keyOf(kSources[i]),
                     derived || s == Source::Text || s == Source::Lastcall ||
                         s == Source::Firstcall,
                     derived};
    }
    return fields;
}

constexpr std::array<RecordField, kExportFieldCount> kFields = makeFields();

void appendNumber(std::string& out, std::int64_t value) {
    char buf[24];
    out.append(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
}

} // namespace

const std::array<RecordField, kExportFieldCount>& exportFields() {
    return kFields;
}

bool appendIsoCallTime(std::string& out, std::uint32_t packed) {
    const auto date = callDate(packed);
    const unsigned hours = packed >> 11 & 0x1F, minutes = packed >> 5 & 0x3F,
                   seconds = 2 * (packed & 0x1F);
    if (!date || hours > 23 || minutes > 59 || seconds > 59)
        return false;
    char buf[] = "yyyy-mm-ddThh:mm:ss";
    const auto two = [&](std::size_t at, unsigned v) {
        buf[at] = static_cast<char>('0' + v / 10);
        buf[at + 1] = static_cast<char>('0' + v % 10);
    };
    const auto year = static_cast<unsigned>(date->year);
    two(0, year / 100);
    two(2, year % 100);
    two(5, static_cast<unsigned>(date->month));
    two(8, static_cast<unsigned>(date->day));
    two(11, hours);
    two(14, minutes);
    two(17, seconds);
    out.append(buf, sizeof buf - 1);
    return true;
}

void RecordValues::read(const Record& r) {
    text_.clear();
    for (std::size_t i = 0; i < kExportFieldCount; ++i) {
        const FieldSource& s = kSources[i];
        switch (s.source) {
        case Source::Text:
            appendCp865AsUtf8(text_, rawText(r, *s.text));
            break;
        case Source::Code:
            appendNumber(text_, readCode(r, *s.code));
            break;
        case Source::Number:
            appendNumber(text_, readNumber(r, *s.number));
            break;
        case Source::Sysop:
            appendNumber(text_, readSysopLevel(r));
            break;
        case Source::Access:
            appendNumber(text_, readAccess(r));
            break;
        case Source::Userflags:
            appendNumber(text_, readUserflags(r));
            break;
        case Source::Lastcall:
            appendCallTime(text_, readLastcall(r));
            break;
        case Source::Firstcall:
            appendCallTime(text_, readFirstcall(r));
            break;
        case Source::LastcallIso:
            appendIsoCallTime(text_, readLastcall(r));
            break;
        case Source::FirstcallIso:
            appendIsoCallTime(text_, readFirstcall(r));
            break;
        case Source::StatusName:
            if (const unsigned code = readCode(r, kStatus); code < kStatusNames.size())
                text_ += kStatusNames[code];
            break;
        }
        ends_[i] = text_.size();
    }
}

void appendJsonString(std::string& out, std::string_view utf8) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    std::size_t run = 0; // start of the characters not yet written
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const char c = utf8[i];
        const auto u = static_cast<unsigned char>(c);
        if (c != '"' && c != '\\' && u >= 0x20 && u != 0x7F)
            continue;
        out.append(utf8, run, i - run);
        run = i + 1;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else {
            out += "\\u00";
            out += kHex[u >> 4];
            out += kHex[u & 0xF];
        }
    }
    out.append(utf8, run);
    out += '"';
}

void appendJsonObject(std::string& out, const RecordValues& values, const char* userKey, int user,
                      std::size_t fields) {
    // ", \"key\": " for every field, made once.
    static const auto separators = [] {
        std::array<std::string, kExportFieldCount> all;
        for (std::size_t i = 0; i < kExportFieldCount; ++i)
            all[i] = std::string(", \"") + kFields[i].key + "\": ";
        return all;
    }();
    out += '{';
    if (userKey) {
        out += '"';
        out += userKey;
        out += "\": ";
        appendNumber(out, user);
    }
    for (std::size_t i = 0; i < std::min(fields, kExportFieldCount); ++i) {
        // The first field has no comma before it unless the number came first.
        out.append(separators[i], i == 0 && !userKey ? 2 : 0);
        if (kFields[i].derived && values[i].empty())
            out += "null";
        else if (kFields[i].text)
            appendJsonString(out, values[i]);
        else
            out += values[i];
    }
    out += "}\n";
}

} // namespace zorvtool
