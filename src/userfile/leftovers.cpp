#include "userfile/leftovers.h"

#include "userfile/journalfile.h"
#include "userfile/pathparts.h"
#include "userfile/replacement.h"

namespace zorv {

void removeSaveLeftovers(const std::string& userFile, const std::string& backupDir,
                         const std::string& journalPath) {
    removeStaleTemps(userFile);
    removeStaleTemps(toolJournalPathFor(userFile)); // a killed zorvtool run's
    if (!journalPath.empty())
        removeStaleTemps(journalPath);
    removeStaleTemps(userFile + ".bak");
    if (!backupDir.empty())
        removeStaleTemps(backupDir + "/" + baseOf(userFile) + ".bak");
}

} // namespace zorv
