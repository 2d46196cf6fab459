#pragma once
// Whole-file access to a user file for tools, tests and benchmarks. Reading
// opens the file read-only and never locks or changes it.

#include "record.h"

#include <string>
#include <string_view>
#include <vector>

namespace zorv {

// Throws IoError like the working copy does.
int countRecords(const std::string& path);
Record readRecordAt(const std::string& path, int index);
std::vector<Record> readAllRecords(const std::string& path);

// Writes the bytes or records as a new file at path, atomically
// (replaceFileAtomically). Throws IoError.
void writeFileAtomically(const std::string& path, std::string_view bytes);
void writeUserFile(const std::string& path, const std::vector<Record>& records);

} // namespace zorv
