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

void appendNumber(std::string& out, std::int64_t value) {
    char buf[24];
    out.append(buf, std::to_chars(buf, buf + sizeof buf, value).ptr);
}

} // namespace

const std::array<RecordField, kRecordFieldCount>& recordFields() {
    return kFields;
}

void RecordValues::read(const Record& r) {
    text_.clear();
    for (std::size_t i = 0; i < kRecordFieldCount; ++i) {
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

void appendJsonObject(std::string& out, const RecordValues& values, const char* userKey, int user) {
    // ", \"key\": " for every field, made once.
    static const auto separators = [] {
        std::array<std::string, kRecordFieldCount> all;
        for (std::size_t i = 0; i < kRecordFieldCount; ++i)
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
    for (std::size_t i = 0; i < kRecordFieldCount; ++i) {
        // The first field has no comma before it unless the number came first.
        out.append(separators[i], i == 0 && !userKey ? 2 : 0);
        if (kFields[i].text)
            appendJsonString(out, values[i]);
        else
            out += values[i];
    }
    out += "}\n";
}

} // namespace zorvtool
