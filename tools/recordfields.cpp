#include "recordfields.h"

#include "userfile/calltime.h"
#include "userfile/codepage.h"

#include <charconv>

namespace zorvtool {
namespace {

using namespace zorv;

// How a field's value is read; the order is the order of the keys.
enum class Source { Text, Code, Number, Sysop, Access, Userflags, Lastcall, Firstcall };

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
};
static_assert(std::size(kSources) == kRecordFieldCount);

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
    }
    return "";
}

constexpr std::array<RecordField, kRecordFieldCount> makeFields() {
    std::array<RecordField, kRecordFieldCount> fields{};
    for (std::size_t i = 0; i < kRecordFieldCount; ++i) {
        const Source s = kSources[i].source;
        fields[i] = {keyOf(kSources[i]),
                     s == Source::Text || s == Source::Lastcall || s == Source::Firstcall};
    }
    return fields;
}

constexpr std::array<RecordField, kRecordFieldCount> kFields = makeFields();

void setNumber(std::string& out, std::int64_t value) {
    char buf[24];
    const auto res = std::to_chars(buf, buf + sizeof buf, value);
    out.assign(buf, res.ptr);
}

} // namespace

const std::array<RecordField, kRecordFieldCount>& recordFields() {
    return kFields;
}

void RecordValues::read(const Record& r) {
    for (std::size_t i = 0; i < kRecordFieldCount; ++i) {
        const FieldSource& s = kSources[i];
        std::string& v = values_[i];
        switch (s.source) {
        case Source::Text:
            v.clear();
            appendCp865AsUtf8(v, rawText(r, *s.text));
            break;
        case Source::Code:
            setNumber(v, readCode(r, *s.code));
            break;
        case Source::Number:
            setNumber(v, readNumber(r, *s.number));
            break;
        case Source::Sysop:
            setNumber(v, readSysopLevel(r));
            break;
        case Source::Access:
            setNumber(v, readAccess(r));
            break;
        case Source::Userflags:
            setNumber(v, readUserflags(r));
            break;
        case Source::Lastcall:
            v = formatCallTime(readLastcall(r));
            break;
        case Source::Firstcall:
            v = formatCallTime(readFirstcall(r));
            break;
        }
    }
}

void appendJsonString(std::string& out, std::string_view utf8) {
    static constexpr char kHex[] = "0123456789abcdef";
    out += '"';
    for (const char c : utf8) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20 || u == 0x7F) {
            out += "\\u00";
            out += kHex[u >> 4];
            out += kHex[u & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
}

void appendJsonObject(std::string& out, const RecordValues& values, const char* userKey, int user) {
    out += '{';
    bool first = true;
    if (userKey) {
        out += '"';
        out += userKey;
        out += "\": ";
        char buf[16];
        out.append(buf, std::to_chars(buf, buf + sizeof buf, user).ptr);
        first = false;
    }
    for (std::size_t i = 0; i < kRecordFieldCount; ++i) {
        out += first ? "\"" : ", \"";
        first = false;
        out += kFields[i].key;
        out += "\": ";
        if (kFields[i].text)
            appendJsonString(out, values[i]);
        else
            out += values[i];
    }
    out += "}\n";
}

} // namespace zorvtool
