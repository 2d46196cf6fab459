#pragma once
// The user file kept as it was before a run's first write.

#include <string>

namespace zorv {

// Where keepBackup puts NAME.bak.
std::string backupPathFor(const std::string& path, const std::string& fallbackDir);

// Keeps the file as it is now as NAME.bak, older ones shifted to NAME.bak.2 ..
// NAME.bak.<count>, beside it or, when its folder is not writable, in
// fallbackDir. Nothing for count <= 0. Only the slots from NAME.bak up to
// the first missing one move, so a large count costs no renames of its own.
// Throws IoError.
void keepBackup(const std::string& path, int count, const std::string& fallbackDir);

} // namespace zorv
