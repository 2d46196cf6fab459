#pragma once
// The one layer between the core and the operating system's files. Every
// call reports a failure as false (or kNoHandle, or -1) with errno set to
// what went wrong, so that the core words it one way on every system.

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zorv::os {

// An open file. On POSIX a descriptor; a Windows backend holds its HANDLE.
#ifdef _WIN32
using Handle = void*;
#else
using Handle = int;
#endif
Handle noHandle();
inline bool isOpen(Handle h) {
    return h != noHandle();
}

using Offset = std::int64_t;

// errno of an open, rename or replace refused because another program holds
// the file open and shares it with no one (Windows' sharing violation; after
// a short wait for that program to let go).
inline constexpr int kInUse = EBUSY;
// What errno `err` means, in words: strerror(), and for kInUse who holds it.
std::string errorText(int err);

enum class Kind { Regular, Folder, Link, Fifo, Device, Socket, Other };

// What the system says about a file; `mode` holds the permission bits
// (07777) where the system has them.
struct FileInfo {
    Kind kind = Kind::Other;
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    Offset size = 0;
    unsigned mode = 0;
    std::uint32_t owner = 0;
    std::uint32_t group = 0;
    std::uint64_t links = 1;
    std::int64_t modifiedNs = 0; // since the epoch
    std::int64_t changedNs = 0;
};
inline bool sameFile(const FileInfo& a, const FileInfo& b) {
#ifdef _WIN32
    // wine reads a volume serial of 0 on a handle whose file was renamed
    // while open; the file index still tells the file.
    if (a.device == 0 || b.device == 0)
        return a.inode == b.inode;
#endif
    return a.device == b.device && a.inode == b.inode;
}

// How a file is opened.
enum OpenFlags : unsigned {
    kRead = 0,
    kReadWrite = 1u << 0,
    kCreate = 1u << 1, // with kExclusive: only a new file
    kExclusive = 1u << 2,
    kNoFollow = 1u << 3, // a link at the name is refused (ELOOP)
    kNoWait = 1u << 4,   // the open itself never blocks (a FIFO without a writer)
    kFolder = 1u << 5,   // a folder, opened to flush its entries
};

// `mode` is the new file's permissions. The handle is never inherited.
Handle open(const std::string& path, unsigned flags, unsigned mode = 0600);
void close(Handle h) noexcept;
// Back to blocking reads and writes after a kNoWait open.
void setBlocking(Handle h);

// Up to `size` bytes at `offset`, fewer only at the end of the file; -1 on a
// failure. EAGAIN: another process holds a lock on part of the range (Windows
// refuses such reads); the same read may succeed a moment later.
long long readAt(Handle h, void* data, std::size_t size, Offset offset);
// Test seam: reads of the file at `path` that overlap [start, start + length)
// fail with EAGAIN, as a read of a range the board has locked does on
// Windows; `times` reads, or every one when negative. A length of 0 clears it.
void refuseReadsForTesting(const std::string& path, Offset start, Offset length, int times = -1);
// All of `size` bytes at `offset` (ENOSPC when the file system takes no more).
bool writeAt(Handle h, const void* data, std::size_t size, Offset offset);
// The file's bytes from its start to its end, appended to `out`.
bool readAll(Handle h, std::string& out);
bool flush(Handle h);
bool truncate(Handle h, Offset size);

bool info(Handle h, FileInfo& out);
bool infoOf(const std::string& path, FileInfo& out);     // a link followed
bool linkInfoOf(const std::string& path, FileInfo& out); // a link itself
// Whether `path` names the file open on `h` now (a link followed).
bool pathNames(const std::string& path, Handle h);

bool remove(const std::string& path);
// Over whatever lies at `to`.
bool rename(const std::string& from, const std::string& to);
// Never over anything: EEXIST when `to` is taken.
bool renameIntoFreeName(const std::string& from, const std::string& to);
// Makes the folder's entries (a rename, a removal) durable; best effort.
void flushFolder(const std::string& dir);
// A folder only the current user may use (0700 on POSIX); true when it exists.
bool makeFolder(const std::string& path);
// A folder with what any new folder gets (the mask applied); false with
// EEXIST when something is there already.
bool makeSharedFolder(const std::string& path);
// An empty folder.
bool removeFolder(const std::string& path);
bool writable(const std::string& path);
bool exists(const std::string& path);
// The names in a folder, "." and ".." left out; false when it cannot be read.
bool listFolder(const std::string& dir, std::vector<std::string>& names);
// The path with every link resolved; nothing when it does not resolve.
std::optional<std::string> realPath(const std::string& path);
std::string workingFolder();

// A new file of `prefix` plus a random tail, only the current user may
// read; `path` gets its name.
Handle createTemp(const std::string& prefix, std::string& path);

// Owners and permissions.
bool ownedByMe(const FileInfo& info);
std::uint32_t myUser();
std::uint32_t myGroup();
// The account's name, "" when it has none.
std::string userName(std::uint32_t user);
// The current user's home folder, "" when unknown.
std::string homeFolder();
// The per-user folder of this program's state (backups; the working copy when
// the program's own folder is no place for it): $XDG_STATE_HOME/zorvedit or
// ~/.local/state/zorvedit on POSIX, %LOCALAPPDATA%\zorvedit on Windows. Not
// created here.
std::string stateFolder();
// Takes `model`'s owner and group where allowed; false when the group could
// not be taken either.
bool adoptOwner(Handle h, const FileInfo& model);
bool setGroup(Handle h, std::uint32_t group);
bool setMode(Handle h, unsigned mode);
// The permissions a new file gets from the process's mask.
unsigned newFileMode();

// Locks. A range lock belongs to the open handle, not the process, so two
// handles in one program exclude each other.
enum class Lock { Held, Busy, Unsupported, Failed };
Lock lockRange(Handle h, Offset start, Offset length, bool exclusive);
void unlockRange(Handle h, Offset start, Offset length);
// The between-writers lock: exclusive, on one handle, never in the way of a
// range lock on the file's bytes (POSIX: flock; Windows: a byte far past
// any record). Dropped with the handle. With `wait`, until it is had.
Lock lockWriters(Handle h, bool wait = false);
void unlockWriters(Handle h);

// Local time broken down, for names that carry a date.
struct LocalTime {
    int year, month, day, hour, minute, second;
};
LocalTime localNow();

} // namespace zorv::os
