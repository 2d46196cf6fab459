#pragma once
// Texts inside the core are single-byte: stored texts in DOS code page 865,
// window texts in Windows code page 1252. Widgets speak Unicode; these tables
// are the bridge.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zorv {

// The six Nordic letters between the record (cp865) and the window (cp1252);
// every other byte passes unchanged.
std::string dosToAnsi(std::string_view cp865);
std::string ansiToDos(std::string_view cp1252);

// The case fold of searches: a stored text (cp865) folds a-z to A-Z and the
// six Nordic letters to their cp1252 capitals (0x86/0x8F -> 0xC5, 0x91/0x92 ->
// 0xC6, 0x9B/0x9D -> 0xD8); a typed one (cp1252) a-z to A-Z, 0xE5 -> 0xC5,
// 0xE6 -> 0xC6, 0xF8 -> 0xD8. Both come out in cp1252.
std::string dosUpper(std::string_view cp865);
std::string ansiUpper(std::string_view cp1252);
// a-z to A-Z, every other byte as it is.
inline char upperAscii(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

char32_t cp865ToUnicode(std::uint8_t byte);
char32_t cp1252ToUnicode(std::uint8_t byte);
// The cp1252 byte for a code point, or -1 when cp1252 has none.
int unicodeToCp1252(char32_t cp);

std::string cp865ToUtf8(std::string_view cp865);
// The same, appended to `out` (a pass over many records reuses one string).
void appendCp865AsUtf8(std::string& out, std::string_view cp865);
// The cp865 byte for a code point, or -1 when cp865 has none.
int unicodeToCp865(char32_t cp);
std::string cp1252ToUtf8(std::string_view cp1252);
// Characters cp1252 cannot hold become `replacement`. Malformed UTF-8 counts
// as such characters too.
std::string utf8ToCp1252(std::string_view utf8, char replacement = '?');

void appendUtf8(std::string& out, char32_t cp);
// Decodes one UTF-8 sequence at s[i] and advances i past it. -1 for a
// malformed sequence (overlong, surrogate, out of range or cut short), which
// consumes one byte.
long decodeUtf8(std::string_view s, std::size_t& i);

} // namespace zorv
