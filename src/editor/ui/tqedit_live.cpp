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
    auto& wc = session().workingCopy;
    // A user file that is its own working copy has nothing to follow.
    if (!liveOn_ || !wc.isOpen() || !wc.source().known)
        return;
    if (!live_)
        live_ = new LiveWatch(
            wc, [this] { return canApplyLive(); },
            [this](const LiveCompare& r) { applyLiveGuarded(r); }, this);
    live_->follow(session().userFileName, wc.source());
}

void Tqedit::stopLive() {
    if (live_)
        live_->stop();
    changedByBoth_.clear();
    liveProblem_.clear();
    // boardChangedShown_ stays with the entries it is about: the next
    // showRecord() drops both.
    updateLiveField();
}

bool Tqedit::canApplyLive() const {
    // A handler under way may sit in a question's nested loop (Save File), and
    // a modal window may write the working copy (the user list's toggle).
    return handlerDepth_ == 0 && !QApplication::activeModalWidget() && started_ &&
           session_.workingCopy.isOpen();
}

void Tqedit::applyLive(const LiveCompare& result) {
    if (result.state != LiveState::Following) {
        switch (result.state) {
        case LiveState::Missing:
            liveProblem_ = QStringLiteral("The user file is missing");
            break;
        case LiveState::Unreadable:
            liveProblem_ = QStringLiteral("The user file cannot be read");
            break;
        case LiveState::Replaced:
            liveProblem_ = QStringLiteral("User file replaced: not followed until Save File");
            break;
        case LiveState::Shrunk:
            liveProblem_ = QStringLiteral("User file shortened: not followed until Save File");
            break;
        case LiveState::Following:
            break;
        }
        updateLiveField();
        return;
    }
    liveProblem_.clear();
    auto& s = session_;
    const int countBefore = s.workingCopy.recordCount();
    LiveApplied applied;
    try {
        applied = applyToWorkingCopy(s.workingCopy, result);
    } catch (...) {
        totalsKnown_ = false; // some records may have been taken: count afresh
        runTotals();
        throw;
    }
    if (!result.continued)
        changedByBoth_.clear();
    changedByBoth_.insert(changedByBoth_.end(), applied.changedByBoth.begin(),
                          applied.changedByBoth.end());

    if (!applied.changed.empty() || !applied.appended.empty()) {
        if (totalsKnown_) {
            for (const LiveApplied::Change& c : applied.changed)
                replaceInTotals(totals_, c.before, c.after);
            for (const Record& r : applied.appended)
                addToTotals(totals_, r);
            showTotals(totals_);
        } else {
            runTotals();
        }
    }
    if (!applied.appended.empty()) {
        setBarRange();
        if (countBefore == 0) {
            s.currentIndex = 0; // the first users of an empty file
            updatePosition();
        } else {
            setPositionUi();
        }
    }
    for (const LiveApplied::Change& c : applied.changed) {
        if (c.index != s.currentIndex || countBefore == 0)
            continue;
        if (formDiffers()) {
            boardChangedShown_ = true; // the entries stay; Save User asks
        } else {
            s.recordBuffer = c.after;
            showRecord(c.after);
        }
    }
    if (const auto n = applied.changed.size() + applied.appended.size(); n > 0) {
        followedUsers_ += static_cast<int>(n);
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
    if (!liveProblem_.isEmpty() || boardChangedShown_ || !changedByBoth_.empty())
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

Tqedit::Store Tqedit::settleBoardChange() {
    if (!boardChangedShown_)
        return Store::Form;
    const int user = session_.currentIndex;
    const int answer = prompts_.choose(
        "Save User",
        "The board changed user " + std::to_string(user) +
            " while you were editing it.\n\nStore the entries you changed over the board's "
            "record, or show the board's record and drop your entries?",
        {"Keep mine", "Keep the board's", "Cancel"});
    if (answer == 0)
        return Store::Differing;
    if (answer == 1) {
        session_.currentIndex = user;
        updatePosition(); // the board's record; the entries are dropped
    }
    return Store::Nothing;
}

void Tqedit::updateLiveField() {
    QStringList parts;
    QStringList tips;
    if (!liveProblem_.isEmpty()) {
        parts << liveProblem_;
        tips << QStringLiteral("The board's writes are not applied until Save File or until "
                               "another user file is opened; the editor's copy stays as it is.");
    }
    if (boardChangedShown_) {
        parts << QStringLiteral("The board changed this user meanwhile");
        tips << QStringLiteral("Save User asks whether to keep your entries or the board's.");
    }
    if (!changedByBoth_.empty()) {
        const auto n = changedByBoth_.size();
        parts << (n == 1 ? QStringLiteral("1 user changed by you and by the board")
                         : QStringLiteral("%1 users changed by you and by the board").arg(n));
        QStringList users;
        for (std::size_t i = 0; i < n && i < 20; ++i)
            users << QString::number(changedByBoth_[i]);
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
