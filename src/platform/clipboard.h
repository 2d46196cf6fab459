#pragma once
// The clipboard as plain single-byte text: the grids hold cp1252 bytes, the
// desktop's clipboard holds Unicode.

#include <optional>
#include <string>

namespace zorv {

// Replaces the clipboard's content by the text (cp1252 bytes).
void setClipboardText(const std::string& cp1252);
// The clipboard's plain text as cp1252 bytes (characters cp1252 lacks become
// "?"); nullopt when it holds no plain text.
std::optional<std::string> clipboardText();

} // namespace zorv
