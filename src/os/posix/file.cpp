// The POSIX backend of the file layer.
#include "os/file.h"
#include "os/loops.h"
#include "os/readrefusal.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zorv::os {

namespace {

Kind kindOf(mode_t m) {
    if (S_ISREG(m))
        return Kind::Regular;
    if (S_ISDIR(m))
        return Kind::Folder;
    if (S_ISLNK(m))
        return Kind::Link;
    if (S_ISFIFO(m))
        return Kind::Fifo;
    if (S_ISCHR(m) || S_ISBLK(m))
        return Kind::Device;
    if (S_ISSOCK(m))
        return Kind::Socket;
    return Kind::Other;
}

std::int64_t nanoseconds(const struct timespec& t) {
    return static_cast<std::int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

FileInfo infoFrom(const struct stat& st) {
    FileInfo i;
    i.kind = kindOf(st.st_mode);
    i.device = static_cast<std::uint64_t>(st.st_dev);
    i.inode = static_cast<std::uint64_t>(st.st_ino);
    i.size = static_cast<Offset>(st.st_size);
    i.mode = static_cast<unsigned>(st.st_mode & 07777);
    i.owner = static_cast<std::uint32_t>(st.st_uid);
    i.group = static_cast<std::uint32_t>(st.st_gid);
    i.links = static_cast<std::uint64_t>(st.st_nlink);
    i.modifiedNs = nanoseconds(st.st_mtim);
    i.changedNs = nanoseconds(st.st_ctim);
    return i;
}

bool noLocks(int err) {
    return err == ENOLCK || err == EOPNOTSUPP || err == EINVAL;
}

} // namespace

std::string errorText(int err) {
    return std::strerror(err);
}

Handle noHandle() {
    return -1;
}

Handle open(const std::string& path, unsigned flags, unsigned mode) {
    int f = O_CLOEXEC | ((flags & kReadWrite) ? O_RDWR : O_RDONLY);
    if (flags & kCreate)
        f |= O_CREAT;
    if (flags & kExclusive)
        f |= O_EXCL;
    if (flags & kNoFollow)
        f |= O_NOFOLLOW;
    if (flags & kNoWait)
        f |= O_NONBLOCK;
    if (flags & kFolder)
        f |= O_DIRECTORY;
    return ::open(path.c_str(), f, static_cast<mode_t>(mode));
}

void close(Handle h) noexcept {
    if (h >= 0)
        ::close(h);
}

void setBlocking(Handle h) {
    ::fcntl(h, F_SETFL, ::fcntl(h, F_GETFL) & ~O_NONBLOCK);
}

long long readAt(Handle h, void* data, std::size_t size, Offset offset) {
    if (detail::readRefused(h, offset, size)) {
        errno = EAGAIN;
        return -1;
    }
    return detail::readFully(data, size, [&](char* p, std::size_t left, std::size_t done) {
        for (;;) {
            const ssize_t n =
                ::pread(h, p, left, static_cast<off_t>(offset + static_cast<Offset>(done)));
            if (n >= 0 || errno != EINTR)
                return static_cast<long long>(n);
        }
    });
}

bool writeAt(Handle h, const void* data, std::size_t size, Offset offset) {
    return detail::writeFully(data, size, [&](const char* p, std::size_t left, std::size_t done) {
        for (;;) {
            const ssize_t n =
                ::pwrite(h, p, left, static_cast<off_t>(offset + static_cast<Offset>(done)));
            if (n >= 0 || errno != EINTR)
                return static_cast<long long>(n);
        }
    });
}

bool readAll(Handle h, std::string& out) {
    char buf[1 << 16];
    for (Offset at = 0;;) {
        const ssize_t n = ::pread(h, buf, sizeof buf, static_cast<off_t>(at));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        out.append(buf, static_cast<std::size_t>(n));
        at += n;
    }
}

bool flush(Handle h) {
    return ::fsync(h) == 0;
}

bool truncate(Handle h, Offset size) {
    return ::ftruncate(h, static_cast<off_t>(size)) == 0;
}

bool info(Handle h, FileInfo& out) {
    struct stat st {};
    if (::fstat(h, &st) != 0)
        return false;
    out = infoFrom(st);
    return true;
}

bool infoOf(const std::string& path, FileInfo& out) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0)
        return false;
    out = infoFrom(st);
    return true;
}

bool linkInfoOf(const std::string& path, FileInfo& out) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return false;
    out = infoFrom(st);
    return true;
}

bool pathNames(const std::string& path, Handle h) {
    FileInfo a, b;
    return info(h, a) && infoOf(path, b) && sameFile(a, b);
}

bool remove(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

bool rename(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool renameIntoFreeName(const std::string& from, const std::string& to) {
    // Where the file system cannot refuse for us, a hard link does, and only
    // without those is the name looked at first.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return false;
    if (::link(from.c_str(), to.c_str()) == 0) {
        ::unlink(from.c_str());
        return true;
    }
    struct stat st {};
    if (errno == EEXIST || ::lstat(to.c_str(), &st) == 0) {
        errno = EEXIST;
        return false;
    }
    return ::rename(from.c_str(), to.c_str()) == 0;
}

void flushFolder(const std::string& dir) {
    const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        (void)::fsync(fd);
        ::close(fd);
    }
}

bool makeFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

bool makeSharedFolder(const std::string& path) {
    return ::mkdir(path.c_str(), 0777) == 0;
}

bool removeFolder(const std::string& path) {
    return ::rmdir(path.c_str()) == 0;
}

bool writable(const std::string& path) {
    return ::access(path.c_str(), W_OK) == 0;
}

bool exists(const std::string& path) {
    return ::access(path.c_str(), F_OK) == 0;
}

bool listFolder(const std::string& dir, std::vector<std::string>& names) {
    DIR* d = ::opendir(dir.c_str());
    if (!d)
        return false;
    while (const dirent* e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name != "." && name != "..")
            names.push_back(name);
    }
    ::closedir(d);
    return true;
}

std::optional<std::string> realPath(const std::string& path) {
    char* real = ::realpath(path.c_str(), nullptr);
    if (!real)
        return std::nullopt;
    std::string s = real;
    std::free(real);
    return s;
}

std::string workingFolder() {
    char cwd[4096];
    return ::getcwd(cwd, sizeof cwd) ? std::string(cwd) : std::string();
}

Handle createTemp(const std::string& prefix, std::string& path) {
    path = prefix + "XXXXXX";
    return ::mkostemp(path.data(), O_CLOEXEC);
}

bool ownedByMe(const FileInfo& info) {
    return info.owner == static_cast<std::uint32_t>(::geteuid());
}

std::uint32_t myUser() {
    return static_cast<std::uint32_t>(::geteuid());
}

std::uint32_t myGroup() {
    return static_cast<std::uint32_t>(::getegid());
}

std::string userName(std::uint32_t user) {
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buf[1024];
    if (::getpwuid_r(static_cast<uid_t>(user), &pw, buf, sizeof buf, &found) == 0 && found)
        return found->pw_name;
    return {};
}

std::string homeFolder() {
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buf[4096];
    if (::getpwuid_r(::getuid(), &pw, buf, sizeof buf, &found) == 0 && found && found->pw_dir)
        return found->pw_dir;
    return {};
}

std::string stateFolder() {
    const char* xdg = std::getenv("XDG_STATE_HOME");
    if (xdg && xdg[0] == '/')
        return std::string(xdg) + "/zorvedit";
    const char* home = std::getenv("HOME");
    const std::string base = home && home[0] ? std::string(home) : homeFolder();
    return base + "/.local/state/zorvedit";
}

bool adoptOwner(Handle h, const FileInfo& model) {
    if (::fchown(h, static_cast<uid_t>(model.owner), static_cast<gid_t>(model.group)) == 0)
        return true;
    return setGroup(h, model.group);
}

bool setGroup(Handle h, std::uint32_t group) {
    return ::fchown(h, static_cast<uid_t>(-1), static_cast<gid_t>(group)) == 0;
}

bool setMode(Handle h, unsigned mode) {
    return ::fchmod(h, static_cast<mode_t>(mode)) == 0;
}

unsigned newFileMode() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666u & ~static_cast<unsigned>(mask);
}

Lock lockRange(Handle h, Offset start, Offset length, bool exclusive) {
    struct flock fl {};
    fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(start);
    fl.l_len = static_cast<off_t>(length);
    fl.l_pid = 0; // required for open-file-description locks
    for (;;) {
        if (::fcntl(h, F_OFD_SETLK, &fl) == 0)
            return Lock::Held;
        if (errno == EINTR)
            continue;
        if (noLocks(errno))
            return Lock::Unsupported;
        return errno == EAGAIN || errno == EACCES ? Lock::Busy : Lock::Failed;
    }
}

void unlockRange(Handle h, Offset start, Offset length) {
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(start);
    fl.l_len = static_cast<off_t>(length);
    fl.l_pid = 0;
    while (::fcntl(h, F_OFD_SETLK, &fl) != 0 && errno == EINTR) {
    }
}

Lock lockWriters(Handle h, bool wait) {
    for (;;) {
        if (::flock(h, wait ? LOCK_EX : LOCK_EX | LOCK_NB) == 0)
            return Lock::Held;
        if (errno == EINTR)
            continue;
        if (noLocks(errno))
            return Lock::Unsupported;
        return errno == EWOULDBLOCK ? Lock::Busy : Lock::Failed;
    }
}

void unlockWriters(Handle h) {
    ::flock(h, LOCK_UN);
}

LocalTime localNow() {
    const std::time_t now = std::time(nullptr);
    struct tm t {};
    ::localtime_r(&now, &t);
    return {t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec};
}

} // namespace zorv::os
