#pragma once
// Following a user file that the running board keeps writing while the editor
// has it open: what changed in it since the working copy was made, found by
// comparing the two files block by block. The compare only reads, so it may run
// on a thread of its own; whoever applies its result checks each record again
// against the working copy at that moment.

#include "userfile/record.h"
#include "userfile/workingcopy.h"

#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace zorv {

// What a cheap poll of the user file looks at: a change in any part means the
// board may have written.
struct FileStamp {
    bool exists = false;
    unsigned long long device = 0;
    unsigned long long inode = 0;
    long long size = 0;
    long long mtimeNs = 0;
    long long ctimeNs = 0;
    bool operator==(const FileStamp&) const = default;
};
FileStamp stampOf(const std::string& path);

enum class LiveState {
    Following,  // the result below is the whole difference
    Missing,    // no file at the path now (it may come back)
    Unreadable, // the file is there but cannot be read now (see `error`)
    Replaced,   // another file stands at the path: users may be renumbered
    Shrunk,     // the file holds fewer users than the working copy
};

// One record of the user file that differs from the working copy's, or that
// the working copy lacks (index at or after its count).
struct LiveRecord {
    int index = 0;
    Record bytes{};
};

struct LiveCompare {
    LiveState state = LiveState::Following;
    std::string error;
    int fileCount = 0; // whole records in the user file
    int copyCount = 0; // whole records in the working copy when the compare began
    // In index order: records below copyCount that differ, then the ones the
    // file has beyond it.
    std::vector<LiveRecord> records;
    // Records whose reads never agreed twice (the board kept writing them);
    // the next compare takes them up again.
    int unsettled = 0;
    // The compare stopped at kMaxLiveRecords: more differences follow (the
    // board rewrote much of the file); the next compare finds them.
    bool more = false;
    // Set by whoever hands a result over in parts: this part continues one
    // handed over before (its users changed by both add to the earlier ones).
    bool continued = false;
};

// At most this many records a compare: a board that rewrites the whole file
// is followed over several compares, never with the whole file in memory.
inline constexpr std::size_t kMaxLiveRecords = 100000;

// Compares the user file at `path` with the working copy open at `copyFd`. The
// file must still be the one `loaded` names and hold at least as many whole
// records as the working copy, or nothing is compared. A record of the file is
// taken only when two reads in a row give the same bytes: the board may be
// writing it. `cancel`, when set, ends the compare early (state Following,
// records incomplete: the caller drops such a result). Never throws.
LiveCompare compareWithFile(const std::string& path, const FileIdentity& loaded, os::Handle copyFd,
                            const std::atomic<bool>* cancel = nullptr,
                            std::size_t maxRecords = kMaxLiveRecords);

// What a result asks of the working copy, record by record, in its order:
// the board's bytes taken over a record the operator has not changed, a user
// the file gained, or a record both changed (left as the operator has it).
struct LiveStep {
    enum Kind { Take, Append, Clash } kind;
    int index;          // the user
    std::size_t record; // its place in the result's records
};
// `current(i)` gives the working copy's bytes of user i below `copyCount`,
// `loaded` the loaded bytes of the users written since the load (as
// WorkingCopy::loadedBytes). Records the copy already holds as the file does
// are left out; appended users stop at the first gap.
std::vector<LiveStep> planLiveApply(const LiveCompare& result, int copyCount,
                                    const std::function<Record(int)>& current,
                                    const std::map<int, Record>& loaded);

// A result applied to the working copy, record by record, as the operator's
// changes allow. A record the operator has not changed (its bytes equal its
// loaded bytes) takes the file's bytes; records the file gained are appended.
struct LiveApplied {
    struct Change {
        int index;
        Record before;
        Record after;
    };
    std::vector<Change> changed;    // records that took the file's bytes
    std::vector<Record> appended;   // appended, in order, after the earlier count
    std::vector<int> changedByBoth; // the operator's and the board's, untouched here
};
// Throws IoError from the working copy; what was applied before stays applied.
LiveApplied applyToWorkingCopy(WorkingCopy& wc, const LiveCompare& result);

} // namespace zorv
