#pragma once
// One fuzz input for a user record's decoding as zorvtool show prints it: the
// first 273 bytes are the record (zero-filled when shorter), the next four the
// user number. Both forms must come out as valid UTF-8, and the JSON form as
// one well-formed object. Shared by the libFuzzer target and the smoke test.

#include "showrecord.h"

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>

namespace zorvfuzz {

inline bool validUtf8(const std::string& s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t n = 0;
        if (c >= 0xC2 && c <= 0xDF)
            n = 1;
        else if ((c & 0xF0) == 0xE0)
            n = 2;
        else if (c >= 0xF0 && c <= 0xF4)
            n = 3;
        else if (c >= 0x80)
            return false;
        if (i + n >= s.size() && n > 0)
            return false;
        for (std::size_t k = 1; k <= n; ++k)
            if ((static_cast<unsigned char>(s[i + k]) >> 6) != 2)
                return false;
        i += n + 1;
    }
    return true;
}

// A small JSON checker: one object of string keys and string or integer values.
class JsonCheck {
  public:
    explicit JsonCheck(const std::string& s) : s_(s) {}
    bool object() {
        ws();
        if (!eat('{'))
            return false;
        ws();
        if (eat('}'))
            return end();
        for (;;) {
            ws();
            if (!string())
                return false;
            ws();
            if (!eat(':'))
                return false;
            ws();
            if (!(peek() == '"' ? string() : number()))
                return false;
            ws();
            if (eat('}'))
                return end();
            if (!eat(','))
                return false;
        }
    }

  private:
    bool end() {
        ws();
        return i_ == s_.size();
    }
    char peek() const { return i_ < s_.size() ? s_[i_] : '\0'; }
    bool eat(char c) {
        if (peek() != c)
            return false;
        ++i_;
        return true;
    }
    void ws() {
        while (peek() == ' ' || peek() == '\n' || peek() == '\t' || peek() == '\r')
            ++i_;
    }
    bool string() {
        if (!eat('"'))
            return false;
        while (i_ < s_.size()) {
            const auto c = static_cast<unsigned char>(s_[i_++]);
            if (c == '"')
                return true;
            if (c < 0x20)
                return false;
            if (c == '\\') {
                const char e = peek();
                ++i_;
                if (e == 'u') {
                    for (int k = 0; k < 4; ++k, ++i_)
                        if (!std::isxdigit(static_cast<unsigned char>(peek())))
                            return false;
                } else if (std::string("\"\\/bfnrt").find(e) == std::string::npos) {
                    return false;
                }
            }
        }
        return false;
    }
    bool number() {
        eat('-');
        const std::size_t start = i_;
        while (std::isdigit(static_cast<unsigned char>(peek())))
            ++i_;
        return i_ > start;
    }
    const std::string& s_;
    std::size_t i_ = 0;
};

inline void runRecordInput(const std::uint8_t* data, std::size_t size) {
    zorv::Record r{};
    for (std::size_t i = 0; i < r.size() && i < size; ++i)
        r[i] = data[i];
    std::uint32_t n = 0;
    for (std::size_t i = 0; i < 4 && r.size() + i < size; ++i)
        n |= static_cast<std::uint32_t>(data[r.size() + i]) << (8 * i);
    std::ostringstream json, listing;
    zorvtool::printRecordJson(r, json);
    zorvtool::printRecordListing(r, static_cast<int>(n & 0x7FFFFFFF), listing);
    if (!validUtf8(json.str()) || !JsonCheck(json.str()).object() || !validUtf8(listing.str()))
        std::abort();
}

} // namespace zorvfuzz
