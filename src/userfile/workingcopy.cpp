#include "workingcopy.h"

#include "blockreader.h"
#include "errors.h"
#include "fd.h"
#include "pathparts.h"
#include "privatefile.h"
#include "recordio.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace zorv {

namespace {

ReplaceHook replaceHook = nullptr;
ReplaceHook tempHook = nullptr;

[[noreturn]] void throwErrno() {
    throw ioErrorFromErrno(errno);
}

void writeAll(int fd, const char* data, std::size_t size, off_t offset) {
    if (!writeFully(fd, data, size, offset))
        throwErrno();
}

// Copies everything from `in` into `out` from offset 0; returns the byte count.
// Large blocks of whole records, each block filled before it is written, so
// `seen` gets whole records straight from the buffer.
off_t copyContent(int in, int out, const RecordsSeen& seen = {}) {
    constexpr std::size_t kBlock = 3840 * kRecordSize; // about 1 MB
    std::vector<char> buf(kBlock);
    off_t total = 0;
    for (;;) {
        std::size_t filled = 0;
        while (filled < buf.size()) {
            const ssize_t n = ::read(in, buf.data() + filled, buf.size() - filled);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                throwErrno();
            }
            if (n == 0)
                break;
            filled += static_cast<std::size_t>(n);
        }
        if (filled == 0)
            return total;
        writeAll(out, buf.data(), filled, total);
        total += static_cast<off_t>(filled);
        if (seen && filled >= kRecordSize)
            seen(reinterpret_cast<const Record*>(buf.data()), filled / kRecordSize);
        if (filled < buf.size())
            return total;
    }
}

void mkdirs(const std::string& dir) {
    if (dir.empty() || dir == "/" || dir == ".")
        return;
    struct stat st {};
    if (::stat(dir.c_str(), &st) == 0)
        return;
    mkdirs(dirOf(dir));
    ::mkdir(dir.c_str(), 0700);
}

void lockOrThrow(int fd, const std::string& path) {
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno == EWOULDBLOCK)
            throw IoError(kFileAccessDenied, "File access denied: the working copy " + path +
                                                 " is held by another running editor");
        // Filesystems without flock: the copy is still usable, just unguarded.
        if (errno == ENOLCK || errno == EOPNOTSUPP || errno == EINVAL)
            return;
        throwErrno();
    }
}

} // namespace

void setReplaceHookForTesting(ReplaceHook hook) {
    replaceHook = hook;
}

void setTempHookForTesting(ReplaceHook hook) {
    tempHook = hook;
}

bool installedProgram(const std::string& programPath) {
    struct stat st {};
    const std::string entry =
        dirOf(programPath) + "/../share/applications/" + ZORV_APP_ID + ".desktop";
    return ::stat(entry.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string workingCopyPath(const std::string& programPath, const std::string& fallbackDir,
                            bool installed) {
    const std::string dir = dirOf(programPath);
    std::string name = baseOf(programPath);
    const auto dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0 && name.size() - dot == 4)
        name.replace(dot + 1, 3, "dat");
    else
        name += ".dat";
    if (name == baseOf(programPath)) // the program itself ends in .dat
        name += ".dat";
    if (fallbackDir.empty() || (!installed && ::access(dir.c_str(), W_OK) == 0))
        return dir == "." && programPath.find('/') == std::string::npos ? name : dir + "/" + name;
    mkdirs(fallbackDir);
    return fallbackDir + "/" + name;
}

namespace {

[[noreturn]] void throwAt(const std::string& what, const std::string& path) {
    const int err = errno;
    throw IoError(ioErrorCodeFromErrno(err), what + " " + path + ": " + std::strerror(err));
}

bool isOurTempFor(const std::string& name, const std::string& base) {
    const std::string prefix = std::string(kTempPrefix) + base + ".";
    return name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0;
}

// A temp file of ours, created and locked; the lock tells a later cleanup
// that its writer still lives.
int createLockedTemp(std::string& temp, const std::string& dst) {
    // A cleanup may take a temp for a dead writer's between create and lock,
    // so a few tries; a file system whose names never agree with their open
    // files gets a message, not a temp left per try for ever.
    constexpr int kTries = 4;
    for (int attempt = 0; attempt < kTries; ++attempt) {
        temp = dirOf(dst) + "/" + kTempPrefix + baseOf(dst) + ".XXXXXX";
        const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
        if (fd < 0)
            throwAt("Cannot create a temporary file in", dirOf(dst));
        while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {
        }
        if (tempHook)
            tempHook(temp);
        struct stat a {
        }, b{};
        if (::fstat(fd, &a) == 0 && ::stat(temp.c_str(), &b) == 0 && a.st_ino == b.st_ino &&
            a.st_dev == b.st_dev)
            return fd;
        ::unlink(temp.c_str());
        ::close(fd);
    }
    throw IoError(kFileAccessDenied, "File access denied: a temporary file in " + dirOf(dst) +
                                         " kept being removed or replaced as soon as it was "
                                         "made, so " +
                                         dst + " was not written");
}

// rename() that never replaces: where the file system cannot refuse for us,
// a hard link does, and only without those is the name looked at first.
void renameIntoAFreeName(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        throwAt("Cannot create", to);
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return;
    }
    struct stat st {};
    if (errno == EEXIST || ::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        throwAt("Cannot create", to);
    }
    if (::rename(from.c_str(), to.c_str()) != 0)
        throwAt("Cannot create", to);
}

// Writes what `fill` puts into a locked temp beside dst, then renames it over dst.
template <typename Fill>
void replaceWith(const std::string& dstPath, const Fill& fill, const struct stat* model,
                 bool followLink = true) {
    ReplacementFile r(dstPath, model, true, followLink);
    fill(r.fd(), r.tempPath());
    r.commit();
}

} // namespace

ReplacementFile::ReplacementFile(const std::string& dstPath, const struct stat* model,
                                 bool adoptTarget, bool followLink) {
    dst_ = dstPath;
    struct stat dstSt {};
    bool haveDst = false;
    if (adoptTarget && followLink) {
        // A link to the user file is kept a link: the file it points to is replaced.
        struct stat lst {};
        if (::lstat(dst_.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
            if (char* real = ::realpath(dst_.c_str(), nullptr)) {
                dst_ = real;
                std::free(real);
            }
        }
        haveDst = ::stat(dst_.c_str(), &dstSt) == 0;
    } else if (adoptTarget) {
        haveDst = ::lstat(dst_.c_str(), &dstSt) == 0 && !S_ISLNK(dstSt.st_mode);
    } else {
        // A copy: whatever lies at the name (a planted file or link) is
        // replaced, never followed and never a source of owner or mode.
        haveDst = ::lstat(dst_.c_str(), &dstSt) == 0;
    }
    if (haveDst && S_ISDIR(dstSt.st_mode))
        throw IoError(kFileAccessDenied, std::string(accessDenied(dstSt).what()) + ": " + dst_);
    removeStaleTemps(dst_);

    fd_ = createLockedTemp(temp_, dst_);
    try {
        if (!adoptTarget) {
            if (model)
                takeModeAndGroup(fd_, *model);
            // else the temp's own 0600
        } else {
            const struct stat* mode = haveDst ? &dstSt : model;
            // Root keeps the owner; anyone keeps the group where allowed, and
            // where not, the group's bits are not given to our own group.
            bool groupKept = true;
            if (mode && ::fchown(fd_, mode->st_uid, mode->st_gid) != 0)
                groupKept = ::fchown(fd_, static_cast<uid_t>(-1), mode->st_gid) == 0;
            // A new file gets what any new file would, not the temp file's 0600.
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode_t perms = mode ? (mode->st_mode & 07777) : (0666 & ~mask);
            if (!groupKept)
                perms &= ~static_cast<mode_t>(070);
            if (::fchmod(fd_, perms) != 0)
                throwAt("Cannot set the permissions of", temp_);
        }
    } catch (...) {
        discard();
        throw;
    }
}

void ReplacementFile::append(std::string_view bytes) {
    if (fd_ < 0)
        throw IoError(kFileNotOpen);
    try {
        writeAll(fd_, bytes.data(), bytes.size(), static_cast<off_t>(written_));
    } catch (const IoError& e) {
        discard();
        throw IoError(e.code(), std::string(e.what()) + " writing " + temp_);
    }
    written_ += static_cast<long long>(bytes.size());
}

ReplacementFile::~ReplacementFile() {
    discard();
}

void ReplacementFile::discard() noexcept {
    if (fd_ < 0)
        return;
    ::unlink(temp_.c_str());
    ::close(fd_);
    fd_ = -1;
}

void ReplacementFile::commit() {
    Fd kept(commitKeepingLock());
}

int ReplacementFile::commitKeepingLock(Commit how) {
    if (fd_ < 0)
        throw IoError(kFileNotOpen);
    try {
        if (::fsync(fd_) != 0)
            throwAt("Cannot write", temp_);
        if (replaceHook)
            replaceHook(temp_);
        if (how == Commit::OnlyIntoAFreeName)
            renameIntoAFreeName(temp_, dst_);
        else if (::rename(temp_.c_str(), dst_.c_str()) != 0)
            throwAt("Cannot replace", dst_);
    } catch (...) {
        discard();
        throw;
    }
    const int fd = std::exchange(fd_, -1); // its lock goes with it, once closed
    // Make the rename itself durable; the file is already whole either way.
    Fd dir(::open(dirOf(dst_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        (void)::fsync(dir.get());
    return fd;
}

void removeStaleTemps(const std::string& dst) {
    const std::string dir = dirOf(dst);
    const std::string base = baseOf(dst);
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (!isOurTempFor(name, base))
            continue;
        const std::string path = dir + "/" + name;
        Fd fd(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
        struct stat st {};
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) == 0)
            ::unlink(path.c_str()); // still locked by us: its writer sees it gone
    }
    ::closedir(d);
}

void replaceFileAtomically(const std::string& src, const std::string& dst,
                           const struct stat* modelForNew, bool followLink) {
    Fd in(openRegularFile(src, O_RDONLY));
    struct stat srcSt {};
    if (::fstat(in.get(), &srcSt) != 0)
        throwErrno();
    // Already the same file: a rename would strand whoever holds src open on
    // the old, unlinked inode.
    struct stat dstSt {};
    if (::stat(dst.c_str(), &dstSt) == 0 && dstSt.st_dev == srcSt.st_dev &&
        dstSt.st_ino == srcSt.st_ino)
        return;
    replaceWith(
        dst,
        [&in, &src](int out, const std::string& temp) {
            try {
                copyContent(in.get(), out);
            } catch (const IoError& e) {
                throw IoError(e.code(), std::string(e.what()) + " copying " + src + " to " + temp);
            }
        },
        modelForNew ? modelForNew : &srcSt, followLink);
}

void copyFilePrivately(const std::string& src, const std::string& dst, const struct stat& model) {
    Fd in(openRegularFile(src, O_RDONLY));
    ReplacementFile r(dst, &model, false);
    try {
        copyContent(in.get(), r.fd());
    } catch (const IoError& e) {
        throw IoError(e.code(), std::string(e.what()) + " copying " + src + " to " + r.tempPath());
    }
    r.commit();
}

void replaceFileWithBytes(const std::string& dst, std::string_view bytes) {
    replaceWith(
        dst,
        [bytes](int out, const std::string& temp) {
            try {
                writeAll(out, bytes.data(), bytes.size(), 0);
            } catch (const IoError& e) {
                throw IoError(e.code(), std::string(e.what()) + " writing " + temp);
            }
        },
        nullptr);
}

WorkingCopy::WorkingCopy(std::string path) : path_(std::move(path)) {}

WorkingCopy::~WorkingCopy() {
    close();
}

void WorkingCopy::setPath(std::string path) {
    if (isOpen())
        throw std::logic_error("WorkingCopy::setPath while open");
    path_ = std::move(path);
}

void WorkingCopy::open() {
    close();
    Fd fd(openPrivateFile(path_, "the working copy", false));
    lockOrThrow(fd.get(), path_);
    fd_ = fd.release();
}

void WorkingCopy::loadFrom(const std::string& source, const RecordsSeen& seen) {
    close();
    holdsCopy_ = false;
    // Not truncated: another editor's copy must survive until the lock is ours.
    Fd fd(openPrivateFile(path_, "the working copy"));
    lockOrThrow(fd.get(), path_);
    Fd in(openRegularFile(source, O_RDONLY));
    loaded_.clear();
    source_ = {};
    sourceName_ = {};
    struct stat a {
    }, b{};
    if (::fstat(fd.get(), &a) == 0 && ::fstat(in.get(), &b) == 0 && a.st_dev == b.st_dev &&
        a.st_ino == b.st_ino) {
        // The user file is its own working copy: nothing to copy, but `seen`
        // still gets every record.
        if (seen) {
            BlockReader reader(fd.get());
            while (const Record* r = reader.next())
                seen(r, 1);
        }
        fd_ = fd.release();
        holdsCopy_ = true;
        return;
    }
    const FileIdentity from{static_cast<unsigned long long>(b.st_dev),
                            static_cast<unsigned long long>(b.st_ino), b.st_ino != 0};
    sourceStat_ = b;
    try {
        const off_t size = copyContent(in.get(), fd.get(), seen);
        if (::ftruncate(fd.get(), size) != 0)
            throwErrno();
    } catch (...) {
        (void)!::ftruncate(fd.get(), 0); // never leave a half copy that looks like data
        throw;
    }
    fd_ = fd.release();
    holdsCopy_ = true;
    source_ = from;
    // What an overwrite must find at the name again (no link planted since).
    struct stat lst {};
    sourceName_.entry = absolutePathOf(source);
    sourceName_.link = ::lstat(source.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode);
    if (char* real = ::realpath(source.c_str(), nullptr)) {
        sourceName_.target = real;
        std::free(real);
    }
}

void WorkingCopy::close() {
    if (fd_ >= 0)
        ::close(fd_); // also drops the lock
    fd_ = -1;
}

int WorkingCopy::recordCount() const {
    if (fd_ < 0)
        throw IoError(kFileNotOpen);
    return recordCountOf(fd_);
}

void WorkingCopy::readRecord(int index, Record& buffer) const {
    if (fd_ < 0)
        throw IoError(kFileNotOpen);
    readRecordOf(fd_, index, buffer);
}

void WorkingCopy::writeRecord(int index, const Record& buffer) {
    // Only whole records that exist: bytes after the last one are never written.
    if (index < 0 || index >= recordCount())
        throw IoError(kReadBeyondEnd);
    if (!loaded_.count(index)) {
        Record before{};
        readRecord(index, before);
        loaded_.emplace(index, before);
    }
    writeAll(fd_, reinterpret_cast<const char*>(buffer.data()), kRecordSize,
             static_cast<off_t>(index) * static_cast<off_t>(kRecordSize));
}

void WorkingCopy::keepChange(int index, const Record& loaded, const Record& mine) {
    writeRecord(index, mine);
    loaded_[index] = loaded;
}

bool WorkingCopy::takeFileRecord(int index, const Record& bytes) {
    Record now{};
    readRecord(index, now); // "Read beyond end of file" outside the records
    const auto loaded = loaded_.find(index);
    if (loaded != loaded_.end() && loaded->second != now)
        return false;
    writeAll(fd_, reinterpret_cast<const char*>(bytes.data()), kRecordSize,
             static_cast<off_t>(index) * static_cast<off_t>(kRecordSize));
    if (loaded != loaded_.end())
        loaded->second = bytes;
    return true;
}

void WorkingCopy::appendRecords(const Record* records, std::size_t count) {
    const off_t end = static_cast<off_t>(recordCount()) * static_cast<off_t>(kRecordSize);
    if (count == 0)
        return;
    if (!writeFully(fd_, records, count * kRecordSize, end) ||
        ::ftruncate(fd_, end + static_cast<off_t>(count * kRecordSize)) != 0) {
        const int err = errno;
        (void)!::ftruncate(fd_, end); // no half record left behind
        throw ioErrorFromErrno(err);
    }
}

void WorkingCopy::flush() {
    if (fd_ >= 0 && ::fsync(fd_) != 0)
        throwErrno();
}

static bool fileExists(const std::string& path) {
    struct stat st {};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool loadUserFile(UserFileSession& s, Prompts& prompts, const RecordsSeen& seen) {
    s.currentIndex = 0;
    if (!fileExists(s.userFileName)) {
        struct stat st {};
        if (!s.userFileName.empty() && ::stat(s.userFileName.c_str(), &st) == 0)
            prompts.message("Error", "Finner ikke filen...\n" + s.userFileName +
                                         " is a folder, not a user file.");
        else
            prompts.message("Error", "Finner ikke filen...");
        return false;
    }
    // A failed copy throws before anything is open: the copy of an earlier run
    // is never edited in place of the user file.
    try {
        s.workingCopy.loadFrom(s.userFileName, seen);
    } catch (const IoError& e) {
        // A plain "File access denied" keeps its text; one that says what was
        // in the way also says what that cost.
        if (e.code() != kFileAccessDenied || e.what() == ioErrorText(kFileAccessDenied))
            throw;
        throw IoError(e.code(), std::string(e.what()) + ". No user file was loaded");
    }
    s.userFileChanged = false;
    s.workingCopy.readRecord(s.currentIndex, s.recordBuffer);
    return true;
}

bool copyWorkingCopyTo(UserFileSession& s, const std::string& dst, Prompts& prompts,
                       bool followLink) {
    // After a failed load the working copy is empty: copying it back would
    // wipe the user file.
    if (!s.workingCopy.holdsCopy()) {
        prompts.warning("Unable to save userfile\nThe working copy holds no loaded user file.");
        return false;
    }
    try {
        s.workingCopy.flush();
        // A user file deleted meanwhile comes back as it was, not as the
        // private working copy is.
        replaceFileAtomically(s.workingCopy.path(), dst, s.workingCopy.sourceStat(), followLink);
    } catch (const IoError& e) {
        prompts.warning("Unable to save userfile\n" + std::string(e.what()) + ": " + dst);
        return false;
    }
    return true;
}

} // namespace zorv
