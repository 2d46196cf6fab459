#include "userfile/livefile.h"

#include "userfile/errors.h"
#include "userfile/fd.h"
#include "userfile/recordio.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace zorv {

namespace {

constexpr int kBlockRecords = 1024; // 273 KB a read, like the whole-file passes
// The board writes a record with one call; a record still unsettled after this
// many reads is left for the next compare rather than holding this one up.
constexpr int kMaxRereads = 20;

// Reads the record again until two reads in a row agree; `r` holds the first
// read on entry and the agreed bytes on success.
bool settle(os::Handle fd, int index, Record& r) {
    for (int i = 0; i < kMaxRereads; ++i) {
        Record again{};
        if (os::readAt(fd, again.data(), kRecordSize, recordOffset(index)) !=
            static_cast<long long>(kRecordSize))
            return false;
        if (again == r)
            return true;
        r = again;
        if (i >= 2)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    return false;
}

LiveCompare unreadable(LiveCompare r, int err) {
    r.state = err == ENOENT ? LiveState::Missing : LiveState::Unreadable;
    r.error = os::errorText(err);
    r.records.clear();
    return r;
}

} // namespace

FileStamp stampOf(const std::string& path) {
    os::FileInfo st;
    if (!os::infoOf(path, st))
        return {};
    return {true,
            static_cast<unsigned long long>(st.device),
            static_cast<unsigned long long>(st.inode),
            static_cast<long long>(st.size),
            static_cast<long long>(st.modifiedNs),
            static_cast<long long>(st.changedNs)};
}

LiveCompare compareWithFile(const std::string& path, const FileIdentity& loaded, os::Handle copyFd,
                            const std::atomic<bool>* cancel, std::size_t maxRecords) {
    LiveCompare result;
    os::FileInfo there;
    if (!os::infoOf(path, there))
        return unreadable(result, errno);
    Fd file;
    try {
        file.reset(openRegularFile(path));
    } catch (const IoError& e) {
        result.state = LiveState::Unreadable;
        result.error = e.what();
        return result;
    }
    os::FileInfo st, copySt;
    if (!os::info(file.get(), st) || !os::info(copyFd, copySt))
        return unreadable(result, errno);
    if (!sameFile(st, loaded)) {
        result.state = LiveState::Replaced;
        return result;
    }
    result.copyCount = static_cast<int>(copySt.size / static_cast<os::Offset>(kRecordSize));
    result.fileCount = static_cast<int>(st.size / static_cast<os::Offset>(kRecordSize));
    if (result.fileCount < result.copyCount) {
        result.state = LiveState::Shrunk;
        return result;
    }

    std::vector<Record> mine(kBlockRecords), theirs(kBlockRecords);
    std::vector<char> locked; // the board's locks kept us from these
    for (int start = 0; start < result.fileCount; start += kBlockRecords) {
        if (cancel && cancel->load(std::memory_order_relaxed))
            return result;
        const int n = std::min(kBlockRecords, result.fileCount - start);
        const std::size_t bytes = static_cast<std::size_t>(n) * kRecordSize;
        const long long got = readRecordsPastLocks(file.get(), theirs.data(), start, n, locked);
        if (got < 0)
            return unreadable(result, errno);
        if (static_cast<std::size_t>(got) < bytes) {
            // Cut short while we read: the next compare sees how far.
            result.state = LiveState::Shrunk;
            result.records.clear();
            return result;
        }
        const int inCopy = std::clamp(result.copyCount - start, 0, n);
        if (inCopy > 0) {
            const std::size_t copyBytes = static_cast<std::size_t>(inCopy) * kRecordSize;
            if (os::readAt(copyFd, mine.data(), copyBytes, recordOffset(start)) !=
                static_cast<long long>(copyBytes))
                return unreadable(result, errno ? errno : EIO);
            if (inCopy == n && std::memcmp(mine.data(), theirs.data(), copyBytes) == 0 &&
                std::find(locked.begin(), locked.end(), 1) == locked.end())
                continue;
        }
        for (int i = 0; i < n; ++i) {
            const bool held = locked[static_cast<std::size_t>(i)] != 0;
            if (!held && i < inCopy && mine[i] == theirs[i])
                continue;
            Record r = theirs[i];
            if (held || !settle(file.get(), start + i, r)) {
                ++result.unsettled;
                if (i >= inCopy)
                    return result; // appended users stay in order: stop at the gap
                continue;
            }
            if (i < inCopy && r == mine[i])
                continue;
            result.records.push_back({start + i, r});
            if (result.records.size() >= maxRecords) {
                result.more = true;
                return result;
            }
        }
    }
    return result;
}

std::vector<LiveStep> planLiveApply(const LiveCompare& result, int copyCount,
                                    const std::function<Record(int)>& current,
                                    const std::map<int, Record>& loaded) {
    std::vector<LiveStep> plan;
    if (result.state != LiveState::Following)
        return plan;
    int appended = 0;
    for (std::size_t i = 0; i < result.records.size(); ++i) {
        const LiveRecord& lr = result.records[i];
        if (lr.index >= copyCount) {
            if (lr.index != copyCount + appended)
                break; // a gap: the rest waits for a compare that sees it whole
            plan.push_back({LiveStep::Append, lr.index, i});
            ++appended;
            continue;
        }
        const Record now = current(lr.index);
        if (now == lr.bytes)
            continue;
        const auto was = loaded.find(lr.index);
        if (was == loaded.end() || was->second == now)
            plan.push_back({LiveStep::Take, lr.index, i});
        else if (was->second != lr.bytes)
            plan.push_back({LiveStep::Clash, lr.index, i});
    }
    return plan;
}

LiveApplied applyToWorkingCopy(WorkingCopy& wc, const LiveCompare& result) {
    LiveApplied out;
    if (result.state != LiveState::Following)
        return out;
    const auto current = [&wc](int index) {
        Record now{};
        wc.readRecord(index, now);
        return now;
    };
    const std::vector<LiveStep> plan =
        planLiveApply(result, wc.recordCount(), current, wc.loadedBytes());
    for (const LiveStep& step : plan) {
        const Record& bytes = result.records[step.record].bytes;
        switch (step.kind) {
        case LiveStep::Take: {
            const Record before = current(step.index);
            if (wc.takeFileRecord(step.index, bytes))
                out.changed.push_back({step.index, before, bytes});
            break;
        }
        case LiveStep::Append:
            out.appended.push_back(bytes);
            break;
        case LiveStep::Clash:
            out.changedByBoth.push_back(step.index);
            break;
        }
    }
    if (!out.appended.empty())
        wc.appendRecords(out.appended.data(), out.appended.size());
    return out;
}

} // namespace zorv
