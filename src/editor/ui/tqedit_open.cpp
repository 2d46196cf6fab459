// "Open new userfile.": switch to another user file while the editor runs.
#include "editor/ui/tqedit.h"

#include "settings/steps.h"

#include <QLineEdit>

namespace zorv {

void Tqedit::openClick() {
    openOtherUserFile();
}

void Tqedit::openOtherUserFile() {
    auto& s = session();
    fileopen.initialDir = fromPath(directoryPart(s.userFileName()));
    if (!platform().openFile(this, fileopen) || fileopen.fileName.isEmpty())
        return;
    while (!looksLikeUserFile(toPath(fileopen.fileName))) {
        platform().message(this, "Error:", "File probably not a zorv userfile..",
                           MessageIcon::None);
        if (!platform().openFile(this, fileopen) || fileopen.fileName.isEmpty())
            return;
    }
    const QString newName = fileopen.fileName;
    const std::string newPath = toPath(newName);
    const std::string oldPath = s.userFileName();

    // Both questions come before anything changes, so that Cancel at either
    // leaves the old file loaded as it was.
    if (!settleShownUser() || !s.saveBeforeOpening(prompts()))
        return;

    try {
        storeUserFileName(settings(), newPath, [&] { fname1->setText(newName); });
    } catch (...) {
        fname1->setText(fromPath(oldPath)); // the old file stays loaded
        throw;
    }

    stopLive();
    try {
        s.open(newPath);
    } catch (...) {
        fname1->setText(newName);
        throw;
    }
    showRecord(s.record());
    // The field names the file being edited even when no settings key exists.
    fname1->setText(newName);
    showTotals(s.totals());
    setBarRange();
    setPositionUi();
    startLive();
}

} // namespace zorv
