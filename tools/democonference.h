#pragma once
// Conference files for demo data and tests: a builder for message headers and
// line records, and the demo resume conference.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zorvtool {

// The fields of a message header the editor reads; the rest of the 252 bytes
// are written as zeros.
struct HeaderFields {
    std::uint16_t msgNumber = 0;
    std::string headingText; // cp865; cut to 72 bytes
    std::uint16_t lineCount = 0;
    std::uint32_t textOffset = 0;
    std::uint32_t msgDate = 0;
};

std::string encodeMessageHeader(const HeaderFields& fields);

// A packed DOS date-time.
std::uint32_t packDosDateTime(int year, int month, int day, int hour = 0, int minute = 0,
                              int second = 0);

// Builds the two files of a conference in memory.
class ConferenceBuilder {
  public:
    // Appends the line records to the text and a header pointing at them.
    void addMessage(std::uint16_t number, std::string_view headingText, std::uint32_t msgDate,
                    const std::vector<std::string>& lineRecords);
    // Appends lines given as cp865 text, each in its shorter record form.
    void addTextMessage(std::uint16_t number, std::string_view headingText, std::uint32_t msgDate,
                        const std::vector<std::string>& lines);
    // For damaged files: a header as given, and raw text bytes.
    void addHeader(const HeaderFields& fields);
    void appendText(std::string_view bytes);

    const std::string& headerBytes() const { return hdr_; }
    const std::string& textBytes() const { return txt_; }

    // Writes basePath.hdr and basePath.txt, each whole or not at all; throws zorv::IoError.
    void write(const std::string& basePath) const;

  private:
    std::string hdr_;
    std::string txt_;
};

// The demo resume conference in memory, and its message numbers ascending.
struct DemoConference {
    ConferenceBuilder files;
    std::vector<int> numbers;
};
DemoConference makeDemoConference(std::uint64_t seed, int count);

// Writes dir/resume.hdr and dir/resume.txt: `count` resumes in Norwegian with
// plain and compressed lines, the same for the same seed. Returns the message
// numbers written, ascending; there are gaps between them.
std::vector<int> writeDemoConference(const std::string& dir, std::uint64_t seed, int count = 20);

// Two numbers that no message of `written` carries: one in a gap between them
// (when there is one) and one after the last.
std::vector<int> missingDemoNumbers(const std::vector<int>& written);

} // namespace zorvtool
