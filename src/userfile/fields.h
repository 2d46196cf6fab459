#pragma once
// The fields of a user record one by one, under the names of the main
// window's controls: what a save compares and copies when the board changed a
// user the operator changed too, and what the editor compares its form with.
// Codes that share a byte and the two parts of `security` are fields of their
// own, and so is each option bit of `userflags`. Bytes and bits no control
// shows (the reserved ranges, `security` bits 8-29, `userflags` bits 13-31)
// belong to no field: a merge always keeps what the board holds there.

#include "userfile/record.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zorv {

enum class FieldKind {
    Text,     // compared up to its NUL; the bytes after it mean nothing
    Number,   // a whole number of bytes (sysop: the low byte of `security`)
    Code,     // a code in some bits of one byte (access: `security` bits 30-31)
    Flag,     // one bit of `userflags`
    CallTime, // a packed date-time, shown only
};

struct UserField {
    const char* name;    // the control's name: "Name", "limit", "Silent", ...
    const char* caption; // its label or caption, as the window shows it
    FieldKind kind;
    std::size_t offset; // its first byte
    std::size_t width;  // its bytes (a text: the whole array)
    std::uint8_t mask;  // its bits in each of those bytes
    const TextField* text = nullptr;
    const NumField* number = nullptr;
    const CodeField* code = nullptr;
    bool inverted = false; // a flag whose box is ticked while the bit is clear
};

inline constexpr std::size_t kUserFieldCount = 46;
// In the order of the record.
const std::array<UserField, kUserFieldCount>& userFields();
// nullptr for a name that is no field.
const UserField* findUserField(std::string_view name);

// How fieldText words what has no text of its own: a code without a list
// item (before and after its number) and an option box.
struct FieldWording {
    const char* noItemBefore;
    const char* noItemAfter;
    const char* boxTicked;
    const char* boxClear;
};
inline constexpr FieldWording kFieldWords{"code ", "", "on", "off"};

// The value as the operator would read it, in UTF-8: texts as stored, numbers
// in decimal, codes by their list item ("code N" without one), flags "on" or
// "off" as their box shows them, call times as the window shows them.
std::string fieldText(const Record& r, const UserField& f, const FieldWording& words = kFieldWords);
// True for a flag with a box of its own (menulev is a drop-down's).
bool isOptionBox(const UserField& f);
bool fieldDiffers(const Record& a, const Record& b, const UserField& f);
// Only the field's bytes and bits of `to` change; a text takes its
// characters and NUL, the rest of its array keeps what `to` held.
void copyField(const Record& from, Record& to, const UserField& f);

// A field both writers changed to different values.
struct FieldConflict {
    const UserField* field;
    std::string mine;  // fieldText of the operator's record
    std::string board; // and of the board's
};

// The operator's record (`mine`, made from `loaded`) merged into what the
// board holds now: the fields the operator changed go over the board's
// record, every other byte stays the board's.
struct FieldMerge {
    Record keepingMine;   // a conflicting field with the operator's value
    Record keepingBoards; // a conflicting field with the board's value
    std::vector<FieldConflict> conflicts;
};
FieldMerge mergeFields(const Record& loaded, const Record& mine, const Record& board);

} // namespace zorv
