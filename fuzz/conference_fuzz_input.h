#pragma once
// One fuzz input for the conference reader, shared by the libFuzzer target and
// the unit tests' smoke run. Layout: the message number wanted (4 bytes, little
// endian), the header file's length L (2 bytes, little endian), L bytes of
// header file (fewer when the input ends), the rest is the text file.

#include "resume/conference.h"
#include "userfile/errors.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace zorvfuzz {

struct ConferenceInput {
    std::int32_t number = 0;
    std::string_view headers;
    std::string_view text;
};

inline ConferenceInput splitConferenceInput(const std::uint8_t* data, std::size_t size) {
    ConferenceInput in;
    const char* p = reinterpret_cast<const char*>(data);
    std::uint32_t n = 0;
    for (std::size_t i = 0; i < 4 && i < size; ++i)
        n |= static_cast<std::uint32_t>(data[i]) << (8 * i);
    in.number = static_cast<std::int32_t>(n);
    if (size <= 4)
        return in;
    std::size_t len = data[4];
    if (size > 5)
        len |= static_cast<std::size_t>(data[5]) << 8;
    const std::size_t rest = size > 6 ? size - 6 : 0;
    len = len < rest ? len : rest;
    in.headers = std::string_view(p + 6, len);
    in.text = std::string_view(p + 6 + len, rest - len);
    return in;
}

// What a reading gave: the message, or the I/O error code it failed with.
struct ConferenceOutcome {
    std::optional<zorv::Message> message;
    int errorCode = 0;
};

// Reads the input's message and checks what must hold for any bytes at all;
// a broken rule aborts, which the fuzzer reports as a finding.
inline ConferenceOutcome runConferenceInput(const ConferenceInput& in) {
    ConferenceOutcome out;
    try {
        out.message = zorv::readMessage(zorv::MemorySource(in.headers), zorv::MemorySource(in.text),
                                        in.number);
    } catch (const zorv::IoError& e) {
        // Memory cannot fail any other way than by being too short.
        if (e.code() != zorv::kReadBeyondEnd)
            std::abort();
        out.errorCode = e.code();
        // An empty or short header file always fails.
        return out;
    }
    if (in.headers.size() < zorv::kMessageHeaderSize)
        std::abort();
    // The first whole header carrying the number, found the plain way.
    std::size_t found = in.headers.size();
    for (std::size_t at = 0; at + zorv::kMessageHeaderSize <= in.headers.size();
         at += zorv::kMessageHeaderSize) {
        const auto* rec = reinterpret_cast<const std::uint8_t*>(in.headers.data() + at);
        if (static_cast<std::int32_t>(rec[0] | (rec[1] << 8)) == in.number) {
            found = at;
            break;
        }
    }
    if (out.message.has_value() != (found < in.headers.size()))
        std::abort();
    if (out.message) {
        const auto* rec = reinterpret_cast<const std::uint8_t*>(in.headers.data() + found);
        const std::size_t lineCount = static_cast<std::size_t>(rec[226] | (rec[227] << 8));
        if (out.message->lines.size() != lineCount)
            std::abort();
        const std::string prefix = "#" + std::to_string(in.number) + " ";
        if (out.message->heading.compare(0, prefix.size(), prefix) != 0)
            std::abort();
        for (const auto& line : out.message->lines)
            if (line.size() > zorv::kMaxLineLength)
                std::abort();
    }
    return out;
}

} // namespace zorvfuzz
