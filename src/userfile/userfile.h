#pragma once
// Whole-file access to a user file for tools, tests and benchmarks. Reading
// opens the file read-only and never locks or changes it.

#include "userfile/record.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zorv {

class ReplacementFile; // replacement.h

// Throws IoError like the working copy does.
int countRecords(const std::string& path);
Record readRecordAt(const std::string& path, int index);
std::vector<Record> readAllRecords(const std::string& path);

// Writes the bytes or records as a new file at path, atomically
// (replaceFileAtomically). Throws IoError.
void writeFileAtomically(const std::string& path, std::string_view bytes);

// The same, for content made as it is written: nothing is held in memory, and
// path changes only at commit(). Dropped without commit(), the writer leaves
// path as it was and no file of its own behind.
class AtomicFileWriter {
  public:
    explicit AtomicFileWriter(std::string path); // throws IoError
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    void write(std::string_view bytes); // throws IoError
    // Everything written so far on disk, the file not yet renamed: lets a
    // caller commit several files only once all of them are whole.
    void sync();   // throws IoError
    void commit(); // throws IoError

  private:
    static constexpr std::size_t kBufferSize = 1 << 20;
    void flushBuffer();
    void appendOrDrop(std::string_view bytes);
    std::unique_ptr<ReplacementFile> file_;
    std::string buffer_;
};
void writeUserFile(const std::string& path, const std::vector<Record>& records);

} // namespace zorv
