#pragma once
// The .reg file as text: parsing, the value entries of the program's section, and
// writing it back. Used by RegFileKey; separate so that tests can look at the text.
//
// Texts inside the program are Windows code page 1252 bytes; the file is UTF-8 (a
// UTF-8 or UTF-16LE file with a byte order mark is read and written back as such).
// A REG_SZ whose bytes are all printable is written as "..." with \" and \\; any
// other REG_SZ, and every REG_EXPAND_SZ / REG_MULTI_SZ, as hex(1)/hex(2)/hex(7): with
// its characters in UTF-16LE, as the registry keeps them. Value names are always
// quoted; bytes a quoted text cannot show (control characters, line breaks, the five
// bytes code page 1252 leaves undefined) are written as \xHH.

#include "settings/registry.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zorv::regdoc {

inline constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";
inline constexpr std::string_view kSection = "HKEY_CURRENT_USER\\Software\\NV\\zorvedit";

struct Entry {
    std::string name;
    bool deleted = false; // "name"=-
    RegValue value;
};

// One physical line or a value with its continuation lines. `raw` is its text as read
// (with its line end); empty when it was changed and is written anew.
struct Item {
    std::string raw;
    std::optional<Entry> entry;
};

enum class Encoding { Utf8, Utf8Bom, Utf16Le };

struct Document {
    Encoding encoding = Encoding::Utf8;
    std::string eol = "\n";
    bool hasHeader = false;
    bool hasSection = false;
    std::string head; // up to and including the section line (all text when no section)
    std::vector<Item> body;
    std::string tail; // from the next section on
};

struct ParseError {
    int line = 0; // 1-based
    std::string what;
};

// False with `err` when the file is not a .reg file this program understands.
bool parse(std::string_view bytes, Document& doc, ParseError& err);
std::string serialize(const Document& doc);

// The value's current entry (the last one of that name; names ignore case).
const Entry* find(const Document& doc, std::string_view name);
// False when the value already holds exactly this.
bool set(Document& doc, std::string_view name, std::uint32_t type, std::string_view data);
// Adds the header (to an empty file) and the section.
void addSection(Document& doc);

// The entry's text (with continuation lines), without the final line end.
std::string formatEntry(const Entry& e, std::string_view eol);

// Code page 1252 byte <-> Unicode, with the undefined bytes as C1 controls so that
// every byte survives the round trip.
char32_t byteToUnicode(unsigned char b);
int unicodeToByte(char32_t cp); // -1 when there is none

bool sameName(std::string_view a, std::string_view b);

} // namespace zorv::regdoc
