#pragma once
// The differential check of the message decoder, shared by the libFuzzer
// target and the unit tests: the table decoder must give exactly what the
// bit-by-bit tree walk gives for the same bytes.

#include "resume/conference.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

namespace zorvfuzz {

// Compares both decoders on every prefix of the input up to a little beyond a
// full line record (so that each end position of the leftover bits is met),
// and on the whole input (so that the 127-character cut is met from any
// start). Returns the first prefix length where they differ, or -1.
inline long firstDecoderDifference(const std::uint8_t* data, std::size_t size) {
    const zorv::DecodingTree& walk = zorv::decodingTree();
    const zorv::TableDecoder& table = zorv::tableDecoder();
    const std::size_t prefixes = std::min<std::size_t>(size, zorv::kMaxLineLength + 33);
    for (std::size_t n = 0; n <= prefixes; ++n)
        if (walk.decode(data, n) != table.decode(data, n))
            return static_cast<long>(n);
    if (walk.decode(data, size) != table.decode(data, size))
        return static_cast<long>(size);
    // The line-record entry point must take the same road for compressed lines.
    const std::size_t n = std::min<std::size_t>(size, 0x7F);
    if (zorv::decodeLine(static_cast<std::uint8_t>(0x80 | n), data, n) != walk.decode(data, n))
        return static_cast<long>(n);
    return -1;
}

} // namespace zorvfuzz
