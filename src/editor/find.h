#pragma once
// Searching the user file: the Find tab's record test, the find dialog's name
// test and the forward scan both share.

#include "editor/totals.h" // RecordReader
#include "userfile/record.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace zorv {

class WorkingCopy;

// The search work buffer holds 30 characters; longer texts are cut to that.
inline constexpr std::size_t kMaxSearchText = 30;

// The text as the work buffer holds it: up to the first NUL, at most 30 bytes.
std::string searchWorkText(std::string_view cp1252);

struct FindCriteria {
    std::string text; // cp1252, as typed
    bool name = false;
    bool address = false;
    bool city = false;
    bool phone = false;
    bool birth = false;
    bool limit = false;
    int statusItem = 0; // statcb item: 0 "Don't care", k -> status code k - 1

    bool anyField() const { return name || address || city || phone || birth || limit; }
};

// Find tab: the ticked fields are OR-ed, the status filter AND-ed. With no
// field ticked the record passes on its status alone, and "Don't care" then
// passes nothing. An empty text never matches a field.
bool findTabMatches(const Record& r, const FindCriteria& c);

// Find dialog: the text with a-z upper-cased, looked for in the stored name
// bytes as they are (no code page conversion, no case folding of the name).
bool dialogNameMatches(const Record& r, std::string_view cp1252Text);

// The same two tests with the search text normalised once, for a pass over
// every record (nothing is allocated per record).
class FindTabTest {
  public:
    explicit FindTabTest(const FindCriteria& c);
    bool operator()(const Record& r) const;

  private:
    FindCriteria c_;
    std::string needle_; // ansiUpper of the work text
    std::string firsts_; // the stored bytes that fold to needle_[0]
};

class DialogNameTest {
  public:
    explicit DialogNameTest(std::string_view cp1252Text);
    bool operator()(const Record& r) const;

  private:
    std::string needle_;
};

using RecordTest = std::function<bool(const Record&)>;

// Reads records start..count-1 into `buffer` in ascending order and returns the
// first that passes, or -1. A start below 0 is taken as 0. On a hit `buffer`
// holds that record.
int scanForward(int start, int count, const RecordReader& read, Record& buffer,
                const RecordTest& test);
int scanForward(const WorkingCopy& wc, int start, Record& buffer, const RecordTest& test);

} // namespace zorv
