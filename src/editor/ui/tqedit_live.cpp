// Following the running board: its writes reach the window while the user
// file is open, and a clash shows when it happens, not at Save File.
#include "editor/ui/tqedit.h"

#include "editor/ui/livewatch.h"
#include "userfile/livefile.h"

#include <QApplication>
#include <QLabel>
#include <QSlider>
#include <QStatusBar>
#include <QTime>
#include <QTimer>

namespace zorv {

void Tqedit::startLive() {
    stopLive();
    // A user file that is its own working copy has nothing to follow.
    if (!session_.canFollow())
        return;
    const WorkingCopy& wc = session_.workingCopy();
    if (!live_)
        live_ = new LiveWatch(
            wc, [this] { return canApplyLive(); },
            [this](const LiveCompare& r) { applyLiveGuarded(r); }, this);
    live_->follow(session_.userFileName(), wc.source());
}

void Tqedit::stopLive() {
    if (live_)
        live_->stop();
    session_.stopFollowing();
    updateLiveField();
}

bool Tqedit::canApplyLive() const {
    // A handler under way may sit in a question's nested loop (Save File), and
    // a modal window may write the working copy (the user list's toggle).
    return handlerDepth_ == 0 && !QApplication::activeModalWidget() &&
           session_.canTakeBoardChanges();
}

void Tqedit::applyLive(const LiveCompare& result) {
    BoardApplied applied;
    try {
        applied = session_.applyBoardChanges(result, [this] { return formDiffers(); });
    } catch (...) {
        showTotals(session_.totals()); // counted afresh: some records may have been taken
        throw;
    }
    if (applied.totalsMoved)
        showTotals(session_.totals());
    if (applied.appended > 0) {
        setBarRange();
        if (applied.firstUsers)
            showRecord(session_.record()); // the first users of an empty file
        setPositionUi();
    }
    if (applied.reshow)
        showRecord(session_.record());
    if (const int n = applied.count(); n > 0) {
        followedUsers_ += n;
        followedAt_ = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
        noteFollowing();
    }
    updateLiveField();
}

void Tqedit::showNote(const QString& text) {
    note_ = text;
    noteIsFollowing_ = false;
    noteTimer_->start(noteMs_);
    updateLiveField();
}

// A board writing many times a second would make a note that changes every
// second: the users it updated wait for the note shown before to go.
void Tqedit::noteFollowing() {
    if (followedUsers_ == 0 || noteTimer_->isActive())
        return;
    const int n = followedUsers_;
    followedUsers_ = 0;
    if (!session_.liveProblem().empty() || session_.boardChangedShown() ||
        !session_.changedByBoth().empty())
        return; // what the operator must act on stays alone
    note_ = QStringLiteral("Following the board: %1 %2 updated %3")
                .arg(n)
                .arg(n == 1 ? QStringLiteral("user") : QStringLiteral("users"))
                .arg(followedAt_);
    noteIsFollowing_ = true;
    noteTimer_->start(noteMs_);
}

void Tqedit::noteTimeout() {
    note_.clear();
    noteIsFollowing_ = false;
    noteFollowing();
    updateLiveField();
}

void Tqedit::updateLiveField() {
    QStringList parts;
    QStringList tips;
    if (!session_.liveProblem().empty()) {
        parts << QString::fromStdString(session_.liveProblem());
        tips << QStringLiteral("The board's writes are not applied until Save File or until "
                               "another user file is opened; the editor's copy stays as it is.");
    }
    if (session_.boardChangedShown()) {
        parts << QStringLiteral("The board changed this user meanwhile");
        tips << QStringLiteral("Save User asks whether to keep your entries or the board's.");
    }
    const std::vector<int>& both = session_.changedByBoth();
    if (!both.empty()) {
        const auto n = both.size();
        parts << (n == 1 ? QStringLiteral("1 user changed by you and by the board")
                         : QStringLiteral("%1 users changed by you and by the board").arg(n));
        QStringList users;
        for (std::size_t i = 0; i < n && i < 20; ++i)
            users << QString::number(both[i]);
        if (n > 20)
            users << QStringLiteral("...");
        tips << QStringLiteral("Users %1: Save File keeps the board's other fields and asks "
                               "about any field you both changed.")
                    .arg(users.join(QStringLiteral(", ")));
    }
    const bool standing = !parts.isEmpty();
    if (!note_.isEmpty() && !(noteIsFollowing_ && standing))
        parts.prepend(note_);
    QPalette p = livefield->palette(); // a clash must catch the eye
    p.setColor(QPalette::WindowText,
               standing ? QColor(Qt::darkRed) : sb->palette().color(QPalette::WindowText));
    livefield->setPalette(p);
    livefield->setText(parts.join(QStringLiteral("; ")));
    livefield->setToolTip(tips.join(QLatin1Char('\n')));
    livefield->setVisible(!parts.isEmpty());
}

} // namespace zorv
