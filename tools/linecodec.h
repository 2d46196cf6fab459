#pragma once
// The writing side of the conference text file's line records, for tests and
// demo data (the editor itself only reads them).

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zorvtool {

// The code of one character: `length` bits, bit i of `bits` being the i-th bit
// read. Length 0 for characters the code cannot hold (below 32, 127, 255).
struct CharCode {
    std::uint32_t bits = 0;
    int length = 0;
};

// All 256 codes, derived from the program's decoding tree.
const std::array<CharCode, 256>& charCodes();

// A compressed line record (header 0x80 | n, then the data bytes), or nullopt
// when the line has more than 127 characters, a character without a code, or
// needs more than 127 data bytes. The unused bits of the last byte are chosen
// so that they decode to nothing.
std::optional<std::string> encodeCompressedLine(std::string_view cp865);

// A plain line record (header n, then the bytes), or nullopt when the line is
// longer than 127 bytes or holds a NUL (which would end it early).
std::optional<std::string> encodePlainLine(std::string_view cp865);

// The shorter of the two records that can carry the line; throws
// std::invalid_argument when neither can.
std::string encodeLine(std::string_view cp865);

} // namespace zorvtool
