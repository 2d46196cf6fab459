#pragma once
// Whole-file access to a user file for tools, tests and benchmarks. Reading
// opens the file read-only and never locks or changes it.

#include "record.h"

#include <string>
#include <vector>

namespace zorv {

// Throws IoError like the working copy does.
int countRecords(const std::string& path);
Record readRecordAt(const std::string& path, int index);
std::vector<Record> readAllRecords(const std::string& path);

// Writes the records as a new file at path, atomically (replaceFileAtomically).
void writeUserFile(const std::string& path, const std::vector<Record>& records);

} // namespace zorv
