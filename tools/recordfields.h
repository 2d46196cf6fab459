#pragma once
// Every field of a user record under the name `show --json` gives it, in that
// order, with its value as text: the one description of a record that the
// tool's JSON, its export and its edits share.

#include "userfile/record.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zorvtool {

struct RecordField {
    const char* key;
    bool text; // a JSON string (stored texts, call times); otherwise a bare number
    // Made from other fields for scripts (export only); an empty value means
    // there is none (JSON null, an empty CSV cell).
    bool derived = false;
};

// show --json's fields: the record's own, in table order.
inline constexpr std::size_t kRecordFieldCount = 34;
// export's: those, then the derived ones, appended so that every column
// before them keeps its place: lastcallISO, firstcallISO, statusName.
inline constexpr std::size_t kExportFieldCount = kRecordFieldCount + 3;
const std::array<RecordField, kExportFieldCount>& exportFields();

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
    std::array<std::size_t, kExportFieldCount> ends_{};
};

// A JSON string: quote, backslash, control characters and DEL escaped; other
// UTF-8 passes unchanged.
void appendJsonString(std::string& out, std::string_view utf8);

// A packed call time as ISO 8601 local time, "2012-03-03T05:21:58"; nothing
// appended, and false, when it holds no valid date (the user list's rule) or
// no valid time of day.
bool appendIsoCallTime(std::string& out, std::uint32_t packed);

// The status names `status`, `find --status` and export's statusName use, by code.
inline constexpr std::array<const char*, 4> kStatusNames{"active", "getlost", "killed",
                                                         "kill+boot"};

// One JSON object on one line, ending in "\n", of the first `fields` fields.
// With `userKey` set, the user's number comes first under that key.
void appendJsonObject(std::string& out, const RecordValues& values, const char* userKey = nullptr,
                      int user = 0, std::size_t fields = kRecordFieldCount);

} // namespace zorvtool
