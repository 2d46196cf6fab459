#pragma once
// Watches the user file while the editor has it open and compares it with the
// working copy on a thread of its own (userfile/livefile.h); the results come
// back on the GUI thread, at most one a second, when the window can take them.
//
// A compare runs on a notice of the file system (re-armed after a rename or a
// removal), when a poll every 2 s finds size, times or inode changed, and every
// 30 s whatever the notices and stamps say. A large result is applied in parts,
// with the event loop running between them. Compares start at least a second
// apart, and four times as far apart as the last one took, so that a large
// file costs at most a fifth of a core however busy the board is.

#include "userfile/livefile.h"

#include <QElapsedTimer>
#include <QObject>

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

class QFileSystemWatcher;
class QTimer;

namespace zorv {

// The working copy's file for a compare on another thread: read-only, on an
// open file description of its own. A dup would share the copy's flock, and a
// save or an open that reopens the copy while a compare runs would find it
// "held by another running editor". None when the copy is closed or its path
// no longer names the open file.
os::Handle compareDescriptorOf(const WorkingCopy& wc);

class LiveWatch : public QObject {
    Q_OBJECT

  public:
    // `canApply`: false while the window must not change (a save, a modal
    // window). `apply`: takes one result on the GUI thread.
    LiveWatch(const WorkingCopy& wc, std::function<bool()> canApply,
              std::function<void(const LiveCompare&)> apply, QObject* parent = nullptr);
    ~LiveWatch() override;

    // Follows `path` as loaded (`loaded`); whatever was pending is dropped.
    void follow(const std::string& path, const FileIdentity& loaded);
    // Stops until the next follow(): timers, notices and pending results.
    void stop();
    bool following() const { return following_; }

    // For tests and the benchmark.
    struct Timing {
        int pollMs = 2000;
        int fullMs = 30000;
        int minGapMs = 1000; // between two compares and between two applies
        bool notices = true; // false: as on a file system that sends none
    };
    void setTiming(const Timing& t);
    int comparesRun() const { return compares_; }
    // Milliseconds the last compare took on its thread.
    qint64 lastCompareMs() const { return lastMs_; }

  private:
    void requestCompare();
    void startCompare();
    void finished(std::uint64_t generation, std::shared_ptr<LiveCompare> result, qint64 ms);
    void poll();
    void tryApply();
    void watchPath();
    void joinWorker();

    const WorkingCopy& wc_;
    std::function<bool()> canApply_;
    std::function<void(const LiveCompare&)> apply_;
    Timing timing_;
    QFileSystemWatcher* watcher_ = nullptr;
    QTimer* pollTimer_ = nullptr;
    QTimer* fullTimer_ = nullptr;
    QTimer* compareTimer_ = nullptr; // a compare put off by the gap
    QTimer* applyTimer_ = nullptr;

    std::string path_;
    FileIdentity loaded_;
    FileStamp stamp_;
    bool following_ = false;
    std::uint64_t generation_ = 0;

    std::thread worker_;
    std::atomic<bool> cancel_{false};
    bool running_ = false;
    bool again_ = false; // asked for while one ran
    QElapsedTimer sinceStart_;
    QElapsedTimer sinceApply_;
    qint64 lastMs_ = 0;
    int compares_ = 0;
    std::shared_ptr<LiveCompare> pending_;
    bool continuing_ = false; // the rest of a result applied in parts
    std::size_t part_ = 500;  // records applied at a time
    std::size_t applied_ = 0; // of pending_'s records
};

} // namespace zorv
