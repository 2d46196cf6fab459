#pragma once
// One pass over every whole record of a user file, in record order, read in
// large blocks. The size is asked once, when the pass begins: records the
// board appends meanwhile are not part of this pass, and a file that shrinks
// under us ends it with "Read beyond end of file". Plain reads, no memory
// mapping: a mapped file cut short by another program would kill us with a
// bus error instead of an error we can report.

#include "os/file.h"
#include "userfile/record.h"

#include <cstddef>
#include <string>
#include <vector>

namespace zorv {

class WorkingCopy;

class BlockReader {
  public:
    static constexpr int kDefaultBlockRecords = 1024; // 273 KB a read

    // Reads from an open descriptor without owning it. IoError from fstat.
    explicit BlockReader(os::Handle fd, int blockRecords = kDefaultBlockRecords);
    // The working copy's descriptor; "I/O error 103" while it is closed.
    explicit BlockReader(const WorkingCopy& wc, int blockRecords = kDefaultBlockRecords);
    // Opens the file read only (openRegularFile) for this pass alone.
    explicit BlockReader(const std::string& path, int blockRecords = kDefaultBlockRecords);
    ~BlockReader();
    BlockReader(const BlockReader&) = delete;
    BlockReader& operator=(const BlockReader&) = delete;

    // Whole records in the file when the pass began; a partial last record
    // is never read.
    int count() const { return count_; }
    // The next record in order, or nullptr after the last one. The record is
    // valid until the following call. IoError on a failed or short read.
    const Record* next();
    // Index of the record next() returned last (-1 before the first).
    int index() const { return next_ - 1; }
    // Makes `index` (clamped to 0..count()) the record next() returns, so a
    // pass can begin in the middle of the file without reading what is before.
    void seek(int index);

    // A record another program keeps locked through every retry (the board
    // on Windows) ends the pass with an IoError naming it; with this set, the
    // pass goes on without it instead, and skipped() lists it.
    void skipLockedRecords(bool skip) { skipLocked_ = skip; }
    const std::vector<int>& skipped() const { return skipped_; }

  private:
    void fill();

    os::Handle fd_;
    bool ownsFd_ = false;
    int count_ = 0;
    int blockRecords_;
    int next_ = 0;       // index of the record next() returns
    int blockStart_ = 0; // index of buffer_[0]
    int blockCount_ = 0; // records in buffer_
    std::vector<Record> buffer_;
    std::vector<char> refused_; // per record of buffer_: still locked
    bool skipLocked_ = false;
    std::vector<int> skipped_;
};

// The pass as a loop: fn(index, record) for every record in order.
template <class Fn> void forEachRecord(BlockReader& reader, Fn&& fn) {
    while (const Record* r = reader.next())
        fn(reader.index(), *r);
}

} // namespace zorv
