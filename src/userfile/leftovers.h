#pragma once
// What savers killed mid-write left behind.

#include <string>

namespace zorv {

// Removes what savers killed mid-write left of whole-file copies: the temp
// files beside the user file, beside its backup (there or in backupDir) and
// beside the journal and zorvtool's journal.
void removeSaveLeftovers(const std::string& userFile, const std::string& backupDir,
                         const std::string& journalPath = {});

} // namespace zorv
