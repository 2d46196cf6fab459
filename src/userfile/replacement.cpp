#include "replacement.h"

#include "errors.h"
#include "fd.h"
#include "filecopy.h"
#include "pathparts.h"
#include "privatefile.h"
#include "recordio.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace zorv {

namespace {

ReplaceHook replaceHook = nullptr;
ReplaceHook tempHook = nullptr;

[[noreturn]] void throwErrno() {
    throw ioErrorFromErrno(errno);
}

} // namespace

void setReplaceHookForTesting(ReplaceHook hook) {
    replaceHook = hook;
}

void setTempHookForTesting(ReplaceHook hook) {
    tempHook = hook;
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
        writeAllAt(fd_, bytes.data(), bytes.size(), static_cast<off_t>(written_));
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
                writeAllAt(out, bytes.data(), bytes.size(), 0);
            } catch (const IoError& e) {
                throw IoError(e.code(), std::string(e.what()) + " writing " + temp);
            }
        },
        nullptr);
}

} // namespace zorv
