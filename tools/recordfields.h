#pragma once
// Every field of a user record under the name `show --json` gives it, in that
// order, with its value as text: the one description of a record that the
// tool's JSON, its export and its edits share.

#include "userfile/record.h"

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace zorvtool {

struct RecordField {
    const char* key;
    bool text; // a JSON string (stored texts, call times); otherwise a bare number
};

inline constexpr std::size_t kRecordFieldCount = 34;
const std::array<RecordField, kRecordFieldCount>& recordFields();

// The values of one record, kept back to back in one buffer that is reused
// from record to record: a pass over a million users allocates nothing after
// the first.
class RecordValues {
  public:
    // Stored texts decoded from cp865 to UTF-8 (every byte, not only the six
    // letters), numbers in decimal, call times as the editor shows them.
    void read(const zorv::Record& r);
    std::string_view operator[](std::size_t i) const {
        const std::size_t begin = i ? ends_[i - 1] : 0;
        return std::string_view(text_).substr(begin, ends_[i] - begin);
    }

  private:
    std::string text_;
    std::array<std::size_t, kRecordFieldCount> ends_{};
};

// A JSON string: quote, backslash, control characters and DEL escaped; other
// UTF-8 passes unchanged.
void appendJsonString(std::string& out, std::string_view utf8);

// One JSON object on one line, ending in "\n". With `userKey` set, the user's
// number comes first under that key.
void appendJsonObject(std::string& out, const RecordValues& values, const char* userKey = nullptr,
                      int user = 0);

} // namespace zorvtool
