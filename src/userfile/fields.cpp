#include "userfile/fields.h"

#include "userfile/calltime.h"
#include "userfile/codepage.h"
#include "userfile/codetables.h"

#include <algorithm>

namespace zorv {

namespace {

// The two parts of `security` that controls show, as fields of their own.
constexpr NumField kSysopLevel{"sysop", kSecurityOffset, NumType::U8};
constexpr CodeField kAccessCode{"access", kSecurityOffset + 3, 6, 0x03};

constexpr std::size_t widthOf(NumType t) {
    switch (t) {
    case NumType::U8:
        return 1;
    case NumType::U16:
    case NumType::I16:
        return 2;
    case NumType::I32:
    case NumType::U32:
        return 4;
    }
    return 0;
}

constexpr UserField text(const TextField& f, const char* caption) {
    return {f.name, caption, FieldKind::Text, f.offset, f.width, 0xFF, &f};
}
constexpr UserField number(const NumField& f, const char* caption) {
    return {f.name, caption, FieldKind::Number, f.offset, widthOf(f.type), 0xFF, nullptr, &f};
}
constexpr UserField code(const CodeField& f, const char* caption) {
    return {f.name,   caption, FieldKind::Code,
            f.offset, 1,       static_cast<std::uint8_t>(f.mask << f.shift),
            nullptr,  nullptr, &f};
}
constexpr UserField flag(const char* name, const char* caption, std::uint32_t bit,
                         bool inverted = false) {
    std::size_t byte = 0;
    while (bit > 0xFF) {
        bit >>= 8;
        ++byte;
    }
    return {name,
            caption,
            FieldKind::Flag,
            kUserflagsOffset + byte,
            1,
            static_cast<std::uint8_t>(bit),
            nullptr,
            nullptr,
            nullptr,
            inverted};
}
constexpr UserField callTime(const char* name, const char* caption, std::size_t offset) {
    return {name, caption, FieldKind::CallTime, offset, 4, 0xFF};
}

constexpr std::array<UserField, kUserFieldCount> kFields{{
    text(kName, "User name"),
    text(kAddress, "Street address"),
    text(kPostnr, "City/state"),
    text(kTlf, "Telephone number"),
    text(kBirth, "Date of birth"),
    code(kStatus, "Status"),
    code(kTtype, "Terminal type"),
    code(kEditor, "Message editor"),
    number(kPagel, "Page Length"),
    code(kCharset, "Character set"),
    code(kLang, "Language"),
    code(kReadmode, "Message read mode"),
    code(kGrab, "Grab format"),
    code(kPacking, "Preffered packing"),
    code(kProt, "Default protocol"),
    number(kNodeflt, "Nodemessage filter"),
    number(kTimelimit, "Timelimit"),
    number(kTleft, "Time left"),
    number(kTimebank, "Timebank"),
    number(kLimit, "Limits"),
    number(kLogins, "Times on"),
    number(kMsgleft, "Msg left"),
    number(kMsgread, "Msg read"),
    number(kMsgdumped, "Msg dumped"),
    number(kUpf, "Files uploaded"),
    number(kDownf, "Files downloaded"),
    number(kKbup, "Kb uploaded"),
    number(kKbdown, "Kb downloaded"),
    number(kResume, "Resume"),
    number(kSysopLevel, "Access"),
    code(kAccessCode, "File access"),
    flag("Insertck", "Insert mode", kInsertOff, true),
    flag("indentck", "Indent mode", kIndent),
    flag("xydispck", "XY display", kXYDisplay),
    flag("flash", "Flash own name", kFlashOff, true),
    flag("Confst", "Conf status at login", kConfStatus),
    flag("menulev", "Menu level", kExpertMenus),
    flag("autoft", "Auto file transfer", kAutoTransfer),
    flag("Colors", "Colors", kColors),
    flag("Review", "Review own msgs", kReviewOwn),
    flag("vt100", "VT100 key emulation", kVt100),
    flag("Aquote", "Auto Quote", kAutoQuote),
    flag("Silent", "Silent mode", kSilent),
    flag("return", "Return with enter-key", kReturnEnter),
    callTime("lastcall", "Last called", kLastcallOffset),
    callTime("firstcall", "First called", kFirstcallOffset),
}};

// The drop-down that shows the field, if one does.
const CodeList* listOf(const UserField& f) {
    for (CodeListId id : codeListFillOrder())
        if (std::string_view(codeList(id).control) == f.name)
            return &codeList(id);
    return nullptr;
}

std::string listed(const UserField& f, unsigned value, const FieldWording& words) {
    if (const CodeList* list = listOf(f)) {
        const int item = codeToItem(list->id, value);
        if (item >= 0)
            return cp1252ToUtf8(list->items[static_cast<std::size_t>(item)]);
    }
    return words.noItemBefore + std::to_string(value) + words.noItemAfter;
}

} // namespace

const std::array<UserField, kUserFieldCount>& userFields() {
    return kFields;
}

const UserField* findUserField(std::string_view name) {
    for (const UserField& f : kFields)
        if (name == f.name)
            return &f;
    return nullptr;
}

bool isOptionBox(const UserField& f) {
    return f.kind == FieldKind::Flag && !listOf(f);
}

std::string fieldText(const Record& r, const UserField& f, const FieldWording& words) {
    switch (f.kind) {
    case FieldKind::Text:
        return cp865ToUtf8(rawText(r, *f.text));
    case FieldKind::Number:
        return std::to_string(readNumber(r, *f.number));
    case FieldKind::Code:
        return listed(f, readCode(r, *f.code), words);
    case FieldKind::Flag: {
        const bool set = (r[f.offset] & f.mask) != 0;
        if (listOf(f))
            return listed(f, set ? 1 : 0, words);
        return set != f.inverted ? words.boxTicked : words.boxClear;
    }
    case FieldKind::CallTime:
        return formatCallTime(getU32(r, f.offset));
    }
    return {};
}

bool fieldDiffers(const Record& a, const Record& b, const UserField& f) {
    if (f.kind == FieldKind::Text)
        return rawText(a, *f.text) != rawText(b, *f.text);
    for (std::size_t i = f.offset; i < f.offset + f.width; ++i)
        if ((a[i] & f.mask) != (b[i] & f.mask))
            return true;
    return false;
}

void copyField(const Record& from, Record& to, const UserField& f) {
    if (f.kind == FieldKind::Text) {
        const std::string_view t = rawText(from, *f.text);
        std::copy(t.begin(), t.end(), to.begin() + static_cast<std::ptrdiff_t>(f.offset));
        if (t.size() < f.width)
            to[f.offset + t.size()] = 0;
        return;
    }
    for (std::size_t i = f.offset; i < f.offset + f.width; ++i)
        to[i] = static_cast<std::uint8_t>((to[i] & ~f.mask) | (from[i] & f.mask));
}

FieldMerge mergeFields(const Record& loaded, const Record& mine, const Record& board) {
    FieldMerge m{board, board, {}};
    for (const UserField& f : kFields) {
        if (!fieldDiffers(mine, loaded, f))
            continue;
        copyField(mine, m.keepingMine, f);
        if (!fieldDiffers(board, loaded, f))
            copyField(mine, m.keepingBoards, f);
        else if (fieldDiffers(mine, board, f))
            m.conflicts.push_back({&f, fieldText(mine, f), fieldText(board, f)});
    }
    return m;
}

} // namespace zorv
