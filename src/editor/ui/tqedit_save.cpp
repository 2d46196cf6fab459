// "Save File" and what the window shows after a save.
#include "editor/ui/tqedit.h"

#include "settings/steps.h"
#include "userfile/savefile.h"

#include <QFileInfo>
#include <QStringList>

namespace zorv {

void Tqedit::loadSaveSettings() {
    const std::string backupDir = toPath(platform().stateDir());
    try {
        session().setBackups(backupCount(settings()), backupDir);
    } catch (const SettingsError& e) {
        session().setBackups(kDefaultBackups, backupDir);
        prompts().warning(std::string(e.what()) + ".\n" + std::to_string(kDefaultBackups) +
                          " backups of the user file are kept.");
    }
    try {
        session().setFollowBoard(liveRefreshOn(settings()));
    } catch (const SettingsError& e) {
        session().setFollowBoard(true);
        prompts().warning(std::string(e.what()) +
                          ".\nThe editor follows the board's writes to the user file.");
    }
}

namespace {

QString users(int n) {
    return n == 1 ? QStringLiteral("1 user") : QStringLiteral("%1 users").arg(n);
}

// One line for every way a save can end, naming the file.
QString saveNote(const std::string& userFile, SaveOutcome outcome, const SaveReport& r) {
    const QString name = QFileInfo(fromPath(userFile)).fileName();
    switch (outcome) {
    case SaveOutcome::Cancelled:
        return QStringLiteral("%1: Save File cancelled, nothing written").arg(name);
    case SaveOutcome::Failed:
        return QStringLiteral("%1: not saved").arg(name);
    case SaveOutcome::Saved:
    case SaveOutcome::Partial:
        break;
    }
    if (r.whole)
        return QStringLiteral("%1: written whole").arg(name);
    if (r.changed == 0)
        return QStringLiteral("%1: no user changed, nothing written").arg(name);
    QStringList parts{users(r.written) + QStringLiteral(" written")};
    if (r.kept() > 0)
        parts << QStringLiteral("%1 kept as the board wrote %2")
                     .arg(r.kept())
                     .arg(r.kept() == 1 ? QStringLiteral("it") : QStringLiteral("them"));
    if (r.notSaved > 0)
        parts << QStringLiteral("%1 not saved").arg(r.notSaved);
    return name + QStringLiteral(": ") + parts.join(QStringLiteral(", "));
}

} // namespace

void Tqedit::savefilebtClick() {
    auto& s = session();
    if (!s.changed()) {
        showNote(QStringLiteral("Nothing to save"));
        return;
    }
    Record shownBefore{};
    const bool haveShown = !noRecords();
    if (haveShown)
        s.workingCopy().readRecord(s.currentIndex(), shownBefore);
    SaveReport report;
    SaveOutcome outcome = SaveOutcome::Failed;
    try {
        outcome = s.saveFile(prompts(), &report);
    } catch (...) {
        showNote(saveNote(s.userFileName(), SaveOutcome::Failed, report));
        throw;
    }
    if (outcome == SaveOutcome::Saved || outcome == SaveOutcome::Partial) {
        refreshAfterSave(haveShown && formDiffers(), shownBefore);
        startLive(); // the file as saved is the one followed now
    }
    showNote(saveNote(s.userFileName(), outcome, report));
}

void Tqedit::refreshAfterSave(bool keepTyping, const Record& shownBefore) {
    auto& s = session();
    const int count = s.workingCopy().recordCount();
    // Typing that Save User has not stored stays, unless the board changed
    // that very user: then the window shows what the file holds now.
    if (count == 0)
        clearRecordView();
    else if (!keepTyping || s.record() != shownBefore)
        showRecord(s.record());
    showTotals(s.totals()); // counted afresh by the save
    setBarRange();
    setPositionUi();
}

} // namespace zorv
