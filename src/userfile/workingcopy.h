#pragma once
// The working copy: every read and write of a record goes to a private copy of
// the user file; the user file itself is only replaced whole by a copy back.

#include "userfile/filecopy.h"
#include "userfile/fileidentity.h"
#include "userfile/record.h"

#include <cstddef>
#include <map>
#include <string>

namespace zorv {

class WorkingCopy {
  public:
    explicit WorkingCopy(std::string path = {});
    ~WorkingCopy();
    WorkingCopy(const WorkingCopy&) = delete;
    WorkingCopy& operator=(const WorkingCopy&) = delete;

    const std::string& path() const { return path_; }
    void setPath(std::string path); // only while closed

    // Replaces the working copy's content by a copy of `source` and opens it.
    // Refuses (IoError) when another running editor holds this working copy.
    // The copy goes into the locked file itself, so the lock keeps meaning
    // something; when the copy fails the file is left empty and closed.
    // `seen`, when given, gets every whole record of the copy once, in order
    // (a partial last record is left out); after a failure what it got means
    // nothing.
    void loadFrom(const std::string& source, const RecordsSeen& seen = {});
    // Read/write; held exclusively (flock) until close(). Other processes may
    // still read it. IoError "File access denied" with an explanation when
    // another editor holds it.
    void open();
    void close(); // no-op when closed
    bool isOpen() const { return os::isOpen(fd_); }
    // The open file for whole-file passes (BlockReader); none while closed.
    os::Handle descriptor() const { return fd_; }
    // True once a loadFrom() has succeeded, false again while one is under way
    // or after one failed: only then is the content a user file worth copying back.
    bool holdsCopy() const { return holdsCopy_; }

    // All three throw IoError 103 ("I/O error 103", file not open) while closed.
    int recordCount() const;
    // "Read beyond end of file" for an index outside 0..recordCount()-1.
    void readRecord(int index, Record& buffer) const;
    // Only existing records: "Read beyond end of file" otherwise, so the bytes
    // after the last whole record are never touched.
    void writeRecord(int index, const Record& buffer);
    void flush(); // data on disk before a copy back; no-op when closed
    // Puts back an operator's change a save could not write: `mine` in the
    // copy, `loaded` as what it was made from. Only existing records.
    void keepChange(int index, const Record& loaded, const Record& mine);

    // The user file's bytes for a record the operator has not changed (its
    // bytes equal its loaded bytes): written, and they become its loaded
    // bytes, so a save sees no change of the operator's there. False, and
    // nothing written, for a record the operator has changed.
    bool takeFileRecord(int index, const Record& bytes);
    // Whole records the user file gained, after the last whole record (bytes
    // of a partial one are dropped). Their loaded bytes are these.
    void appendRecords(const Record* records, std::size_t count);

    // The bytes, as loaded, of every record written since the last load: what
    // a save compares the user file with. A record written back to its loaded
    // bytes stays listed; the save sees it as unchanged.
    const std::map<int, Record>& loadedBytes() const { return loaded_; }
    // The user file the content was loaded from (unknown for an earlier
    // run's copy or when it is its own working copy).
    const FileIdentity& source() const { return source_; }
    // Its mode, owner and group as loaded; null when unknown.
    const os::FileInfo* sourceStat() const { return source_.known ? &sourceStat_ : nullptr; }
    // Its name as loaded: the entry (absolute, see absolutePathOf), whether
    // that was a symbolic link, and the file it resolved to. Empty when unknown.
    struct SourceName {
        std::string entry;
        bool link = false;
        std::string target;
    };
    const SourceName& sourceName() const { return sourceName_; }

  private:
    std::string path_;
    os::Handle fd_ = os::noHandle();
    bool holdsCopy_ = false;
    std::map<int, Record> loaded_;
    FileIdentity source_;
    os::FileInfo sourceStat_;
    SourceName sourceName_;
};

} // namespace zorv
