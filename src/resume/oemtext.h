#pragma once
// Message lines as the board's OEM font showed them: cp865 letters, and the
// control bytes as the symbols (faces, card suits, arrows) that font drew.

#include <string>
#include <string_view>

namespace zorv {

// The code point the OEM font showed for a byte; a TAB stays a TAB.
char32_t oemGlyph(unsigned char byte);

// A decoded message line (cp865) as UTF-8 for display, one line in, one out.
std::string oemLineToUtf8(std::string_view cp865);

} // namespace zorv
