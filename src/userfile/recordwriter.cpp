#include "userfile/recordwriter.h"

#include "userfile/fd.h"
#include "userfile/journalfile.h"
#include "userfile/pathparts.h"
#include "userfile/recordio.h"
#include "userfile/recordlock.h"
#include "userfile/rollback.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>
#include <set>
#include <utility>

namespace zorv {

namespace {

SaveHook saveHook = nullptr;

bool isAllZero(const Record& r) {
    return std::all_of(r.begin(), r.end(), [](std::uint8_t b) { return b == 0; });
}

} // namespace

void reportSaveStep(SaveStep s, int record) {
    if (saveHook)
        saveHook(s, record);
}

void failSaving(const std::string& what, const std::string& path, int err) {
    throw SaveFailure{what + " " + path + ": " + os::errorText(err)};
}

RecordWriter::RecordWriter(os::Handle fd, const FileIdentity& file, std::string path,
                           std::string journalPath)
    : fd_(fd), file_(file), path_(std::move(path)), absolutePath_(absolutePathOf(path_)),
      journalPath_(std::move(journalPath)) {}

RecordWriter::~RecordWriter() {
    // Left unfinished by a failure: what was written is taken back; a journal
    // that could not be applied stays for the next save or start.
    if (!written_.empty())
        rollBack();
    else if (os::isOpen(lock_))
        finish();
    if (os::isOpen(lock_))
        os::close(lock_);
}

RecordWriter::Pass RecordWriter::write(const std::vector<RecordWrite>& plan) {
    std::map<int, std::size_t> at;
    for (std::size_t i = 0; i < entries_.size(); ++i)
        at[entries_[i].index] = i;
    for (const RecordWrite& e : plan) {
        // A record written again replaces its earlier entry, which never
        // reached the file (it had moved).
        if (auto it = at.find(e.index); it != at.end())
            entries_[it->second] = e;
        else
            entries_.push_back(e);
    }
    const os::Handle lock =
        writeJournal(journalPath_, Journal{file_, absolutePath_, entries_}, lock_);
    if (os::isOpen(lock_))
        os::close(lock_);
    lock_ = lock;
    if (first_) {
        first_ = false;
        reportSaveStep(SaveStep::JournalWritten);
    }
    Pass pass;
    for (const RecordWrite& e : plan) {
        const RecordLock recordLock(fd_, e.index, true, recordLockWaitMs());
        if (!recordLock.held()) {
            pass.locked.push_back(e);
            continue;
        }
        RecordWrite now = e;
        if (!readWholeRecord(fd_, now.old, recordOffset(e.index))) {
            if (errno == 0) {
                pass.shortened = true;
                break;
            }
            const int err = errno;
            rollBack();
            failSaving("Cannot read", path_, err);
        }
        // The user before it, to tell the gap a cut from now on would leave.
        Record before{};
        const bool userBefore = e.index > 0 &&
                                readWholeRecord(fd_, before, recordOffset(e.index - 1)) &&
                                !isAllZero(before);
        const os::Offset sizeBefore = fileSizeOf(fd_);
        if (sizeBefore < recordOffset(e.index + 1)) {
            pass.shortened = true;
            break;
        }
        reportSaveStep(SaveStep::RecordChecked, e.index);
        if (now.old != e.old) {
            pass.moved.push_back(now);
            continue;
        }
        if (!os::writeAt(fd_, e.now.data(), kRecordSize, recordOffset(e.index))) {
            const int err = errno;
            rollBack();
            failSaving("Cannot write", path_, err);
        }
        written_.push_back(e);
        // A cut that reached this very record leaves no gap, but the file
        // shrank: a purge renumbered it.
        if (regrew(e.index, userBefore, sizeBefore) ||
            (sizeBefore > recordOffset(e.index + 1) &&
             fileSizeOf(fd_) == recordOffset(e.index + 1))) {
            pass.shortened = true;
            break;
        }
        reportSaveStep(SaveStep::RecordWritten, e.index);
    }
    if (!os::flush(fd_)) {
        const int err = errno;
        rollBack();
        failSaving("Cannot write", path_, err);
    }
    // Cut behind the writes: some of them are gone with the cut.
    for (const RecordWrite& e : written_)
        if (fileSizeOf(fd_) < recordOffset(e.index + 1))
            pass.shortened = true;
    pass.replaced = !pathNamesFile(path_, fd_);
    return pass;
}

// A write past the end of a file cut since its check extends the file again,
// over a gap of zeros (a hole): the users the purge removed come back as
// zeros, and ours as the last. Seen as a write that now ends the file with a
// user of zeros before it where a user was (or after the file shrank). The
// gap is cut off while the size is still the one our write made; once the
// board has written past it, it is left and said.
bool RecordWriter::regrew(int index, bool userBefore, os::Offset sizeBefore) {
    const os::Offset end = recordOffset(index + 1);
    if (index == 0 || fileSizeOf(fd_) != end || (!userBefore && sizeBefore <= end))
        return false;
    // Where the zeros begin, looked for from the back in blocks.
    constexpr int kBlock = 64;
    std::vector<Record> block(kBlock);
    int from = index;
    bool more = true;
    while (more && from > 0) {
        const int first = std::max(0, from - kBlock);
        const auto bytes = static_cast<std::size_t>(from - first) * kRecordSize;
        if (os::readAt(fd_, block.data(), bytes, recordOffset(first)) !=
            static_cast<long long>(bytes))
            break;
        for (int i = from - 1; i >= first && more; --i) {
            more = isAllZero(block[static_cast<std::size_t>(i - first)]);
            if (more)
                from = i;
        }
    }
    if (from == index)
        return false;
    zerosFrom_ = from;
    regrownUpTo_ = index + 1;
    cutBack_ = fileSizeOf(fd_) == end && os::truncate(fd_, recordOffset(from));
    return true;
}

std::string RecordWriter::rollBack() {
    if (written_.empty())
        return {};
    int pastEnd = 0;
    const bool undone = undoWrites(fd_, written_, &pastEnd);
    const int err = errno;
    const auto inFile = static_cast<int>(written_.size()) - pastEnd;
    std::string said;
    if (zerosFrom_ >= 0) {
        const int last = regrownUpTo_ - 1;
        said = cutBack_ ? "The save's write of user " + std::to_string(last) +
                              " had made it longer again; it was cut back to " +
                              std::to_string(zerosFrom_) + " users, as the board left it. "
                        : "The save's write of user " + std::to_string(last) +
                              " made it longer again, with users " + std::to_string(zerosFrom_) +
                              " to " + std::to_string(last - 1) +
                              " all zeros, and the board has written to it since, so that "
                              "was left as it is: look at those users. ";
    }
    if (!undone)
        said += "What the save had written into it could not all be taken back yet (" +
                std::string(os::errorText(err)) + "); that is done before the next save.";
    else if (inFile > 0)
        said += pastEnd > 0 ? "What the save had written into the users it still holds was "
                              "taken back."
                            : "What the save had written into it was taken back.";
    if (undone)
        finish();
    written_.clear();
    while (!said.empty() && said.back() == ' ')
        said.pop_back();
    return said;
}

int RecordWriter::usersWritten() const {
    std::set<int> users;
    for (const RecordWrite& e : written_)
        users.insert(e.index);
    return static_cast<int>(users.size());
}

void RecordWriter::finish() {
    removeJournal(journalPath_, lock_);
    if (os::isOpen(lock_))
        os::close(lock_);
    lock_ = os::noHandle();
    written_.clear();
}

void setSaveHookForTesting(SaveHook hook) {
    saveHook = hook;
}

bool pathNamesFile(const std::string& path, os::Handle fd) {
    return os::pathNames(path, fd);
}

} // namespace zorv
