// "Save File" and what the window shows after a save.
#include "editor/ui/tqedit.h"

#include "settings/steps.h"
#include "userfile/savefile.h"

namespace zorv {

void Tqedit::loadSaveSettings() {
    session().backupDir = toPath(platform().stateDir());
    try {
        session().backups = backupCount(settings());
    } catch (const SettingsError& e) {
        session().backups = kDefaultBackups;
        prompts().warning(std::string(e.what()) + ".\n" + std::to_string(kDefaultBackups) +
                          " backups of the user file are kept.");
    }
    try {
        liveOn_ = liveRefreshOn(settings());
    } catch (const SettingsError& e) {
        liveOn_ = true;
        prompts().warning(std::string(e.what()) +
                          ".\nThe editor follows the board's writes to the user file.");
    }
}

void Tqedit::savefilebtClick() {
    auto& s = session();
    if (!s.userFileChanged)
        return;
    Record shownBefore{};
    const bool haveShown = !noRecords();
    if (haveShown)
        s.workingCopy.readRecord(s.currentIndex, shownBefore);
    const SaveOutcome outcome = saveToUserFile(s, prompts());
    if (outcome == SaveOutcome::Saved || outcome == SaveOutcome::Partial) {
        refreshAfterSave(haveShown && formDiffers(), shownBefore);
        startLive(); // the file as saved is the one followed now
    }
}

void Tqedit::refreshAfterSave(bool keepTyping, const Record& shownBefore) {
    auto& s = session();
    const int count = s.workingCopy.recordCount();
    // Typing that Save User has not stored stays, unless the board changed
    // that very user: then the window shows what the file holds now.
    if (count == 0)
        clearRecordView();
    else if (!keepTyping || s.recordBuffer != shownBefore)
        showRecord(s.recordBuffer);
    runTotals();
    setBarRange();
    setPositionUi();
}

} // namespace zorv
