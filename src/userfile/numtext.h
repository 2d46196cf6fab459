#pragma once
// Typed numbers: a signed 32-bit integer with leading blanks, an optional
// sign and "$" for hexadecimal. Anything else is refused.

#include <cstdint>
#include <string>
#include <string_view>

namespace zorv {

// Throws ConvertError "'<text>' is not a valid integer value".
std::int32_t parseInteger(std::string_view text);
bool tryParseInteger(std::string_view text, std::int32_t& out);

} // namespace zorv
