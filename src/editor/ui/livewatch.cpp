#include "editor/ui/livewatch.h"

#include <QFileSystemWatcher>
#include <QMetaObject>
#include <QTimer>

#include "os/file.h"

#include <algorithm>

namespace zorv {

os::Handle compareDescriptorOf(const WorkingCopy& wc) {
    os::FileInfo held;
    if (!os::isOpen(wc.descriptor()) || !os::info(wc.descriptor(), held))
        return os::noHandle();
    // Non-blocking: whatever was planted at the name must not hold us up.
    const os::Handle h = os::open(wc.path(), os::kRead | os::kNoFollow | os::kNoWait);
    os::FileInfo named;
    if (os::isOpen(h) && (!os::info(h, named) || !os::sameFile(named, held))) {
        os::close(h);
        return os::noHandle();
    }
    return h;
}

LiveWatch::LiveWatch(const WorkingCopy& wc, std::function<bool()> canApply,
                     std::function<void(const LiveCompare&)> apply, QObject* parent)
    : QObject(parent), wc_(wc), canApply_(std::move(canApply)), apply_(std::move(apply)) {
    watcher_ = new QFileSystemWatcher(this);
    connect(watcher_, &QFileSystemWatcher::fileChanged, this, [this] {
        // A rename or a removal ends the watch of that path: take it up again.
        watchPath();
        requestCompare();
    });
    auto timer = [this](bool single) {
        auto* t = new QTimer(this);
        t->setSingleShot(single);
        return t;
    };
    pollTimer_ = timer(false);
    fullTimer_ = timer(false);
    compareTimer_ = timer(true);
    applyTimer_ = timer(true);
    connect(pollTimer_, &QTimer::timeout, this, &LiveWatch::poll);
    connect(fullTimer_, &QTimer::timeout, this, &LiveWatch::requestCompare);
    connect(compareTimer_, &QTimer::timeout, this, &LiveWatch::startCompare);
    connect(applyTimer_, &QTimer::timeout, this, &LiveWatch::tryApply);
}

LiveWatch::~LiveWatch() {
    cancel_ = true;
    joinWorker();
}

void LiveWatch::joinWorker() {
    if (worker_.joinable())
        worker_.join();
}

void LiveWatch::setTiming(const Timing& t) {
    timing_ = t;
    if (following_) {
        pollTimer_->start(timing_.pollMs);
        fullTimer_->start(timing_.fullMs);
        if (!timing_.notices && !watcher_->files().isEmpty())
            watcher_->removePaths(watcher_->files());
    }
}

void LiveWatch::follow(const std::string& path, const FileIdentity& loaded) {
    stop();
    path_ = path;
    loaded_ = loaded;
    following_ = true;
    stamp_ = stampOf(path_);
    watchPath();
    pollTimer_->start(timing_.pollMs);
    fullTimer_->start(timing_.fullMs);
    // The board may have written between the load and now.
    requestCompare();
}

void LiveWatch::stop() {
    following_ = false;
    ++generation_; // a compare still running is dropped when it ends
    cancel_ = running_;
    again_ = false;
    pending_.reset();
    applied_ = 0;
    pollTimer_->stop();
    fullTimer_->stop();
    compareTimer_->stop();
    applyTimer_->stop();
    if (!watcher_->files().isEmpty())
        watcher_->removePaths(watcher_->files());
}

void LiveWatch::watchPath() {
    if (!following_ || !timing_.notices)
        return;
    const QString p = QString::fromStdString(path_);
    if (!watcher_->files().contains(p) && stampOf(path_).exists)
        watcher_->addPath(p);
}

void LiveWatch::poll() {
    if (!following_)
        return;
    watchPath();
    if (stampOf(path_) != stamp_)
        requestCompare();
}

void LiveWatch::requestCompare() {
    if (!following_)
        return;
    if (running_) {
        again_ = true;
        return;
    }
    const qint64 gap = std::max<qint64>(timing_.minGapMs, 4 * lastMs_);
    if (sinceStart_.isValid() && sinceStart_.elapsed() < gap) {
        if (!compareTimer_->isActive())
            compareTimer_->start(static_cast<int>(gap - sinceStart_.elapsed()));
        return;
    }
    startCompare();
}

void LiveWatch::startCompare() {
    if (!following_ || running_)
        return;
    // The working copy is closed around a save: the next poll asks again.
    // Its own descriptor: the copy may close and reopen meanwhile.
    const os::Handle fd = compareDescriptorOf(wc_);
    if (!os::isOpen(fd))
        return;
    joinWorker();
    running_ = true;
    again_ = false;
    cancel_ = false;
    stamp_ = stampOf(path_); // before reading: a later write changes it again
    sinceStart_.start();
    ++compares_;
    const std::uint64_t generation = generation_;
    worker_ = std::thread([this, fd, generation, path = path_, loaded = loaded_] {
        QElapsedTimer took;
        took.start();
        auto result = std::make_shared<LiveCompare>(compareWithFile(path, loaded, fd, &cancel_));
        os::close(fd);
        const qint64 ms = took.elapsed();
        QMetaObject::invokeMethod(
            this, [this, generation, result, ms] { finished(generation, result, ms); },
            Qt::QueuedConnection);
    });
}

void LiveWatch::finished(std::uint64_t generation, std::shared_ptr<LiveCompare> result, qint64 ms) {
    running_ = false;
    joinWorker();
    lastMs_ = ms;
    const bool again = again_;
    again_ = false;
    if (generation != generation_) {
        if (following_)
            requestCompare();
        return;
    }
    // The newest result holds the whole difference: it replaces one not yet applied.
    pending_ = std::move(result);
    applied_ = 0;
    if (pending_->state == LiveState::Replaced || pending_->state == LiveState::Shrunk) {
        // Users may have been renumbered: nothing more until the next follow().
        auto last = pending_;
        stop();
        pending_ = last;
    } else if (again || pending_->more) {
        requestCompare();
    }
    continuing_ = false;
    tryApply();
}

void LiveWatch::tryApply() {
    if (!pending_)
        return;
    if (!continuing_ && sinceApply_.isValid() && sinceApply_.elapsed() < timing_.minGapMs) {
        applyTimer_->start(static_cast<int>(timing_.minGapMs - sinceApply_.elapsed()));
        return;
    }
    if (!canApply_()) {
        applyTimer_->start(250); // the next moment the window is free
        return;
    }
    // A part at a time keeps the event loop running: parts are sized so that
    // each takes about 10 ms, however fast the disk takes the writes now.
    const LiveCompare& whole = *pending_;
    const std::size_t n = std::min(whole.records.size() - applied_, part_);
    LiveCompare part{whole.state, whole.error,     whole.fileCount, whole.copyCount,
                     {},          whole.unsettled, whole.more,      applied_ > 0};
    const auto from = whole.records.begin() + static_cast<std::ptrdiff_t>(applied_);
    part.records.assign(from, from + static_cast<std::ptrdiff_t>(n));
    applied_ += n;
    if (applied_ >= whole.records.size()) {
        pending_.reset();
        applied_ = 0;
    }
    continuing_ = pending_ != nullptr;
    if (!part.continued)
        sinceApply_.start();
    QElapsedTimer took;
    took.start();
    apply_(part);
    if (part.records.size() >= part_ / 2) {
        const qint64 ms = took.elapsed();
        if (ms > 15)
            part_ = std::max<std::size_t>(50, part_ / 2);
        else if (ms < 5)
            part_ = std::min<std::size_t>(4000, part_ * 2);
    }
    if (pending_ && continuing_)
        applyTimer_->start(0);
}

} // namespace zorv
