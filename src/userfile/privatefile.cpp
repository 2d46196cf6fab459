#include "privatefile.h"

#include "errors.h"
#include "pathparts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace zorv {

namespace {

[[noreturn]] void throwAt(const std::string& what, const std::string& path, int err) {
    throw IoError(ioErrorCodeFromErrno(err), what + " " + path + ": " + std::strerror(err));
}

} // namespace

bool ownPlainFile(const struct stat& st) {
    return S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == ::geteuid();
}

void checkPrivateFolder(const std::string& dir) {
    struct stat st {};
    if (::stat(dir.c_str(), &st) != 0)
        return; // nothing can be made there anyway; the create says why
    if ((st.st_mode & S_IWOTH) && !(st.st_mode & S_ISVTX)) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
        throw IoError(kFileAccessDenied,
                      "File access denied: the folder " + dir + " (mode " + mode +
                          ") is writable by every user, so a copy of the user file there "
                          "could be read or replaced by them");
    }
}

int openPrivateFile(const std::string& path, const std::string& what, bool create) {
    checkPrivateFolder(dirOf(path));
    for (int attempt = 0; attempt < 16; ++attempt) {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        const int openErr = errno;
        struct stat st {};
        if (fd >= 0 && ::fstat(fd, &st) == 0 && ownPlainFile(st)) {
            if ((st.st_mode & 0777) != 0600 && ::fchmod(fd, 0600) != 0) {
                const int err = errno;
                ::close(fd);
                throwAt("Cannot make private " + what, path, err);
            }
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
            return fd;
        }
        if (fd >= 0)
            ::close(fd);
        if (fd < 0 && openErr == ENOENT) {
            if (!create)
                throwAt("Cannot open " + what, path, ENOENT);
        } else {
            // Something is there that is not ours alone. A link, or a plain
            // file of another owner or with other names, is moved out of the
            // way; anything else (a device, a folder) is no place for a copy.
            struct stat lst {};
            if (::lstat(path.c_str(), &lst) != 0)
                continue;
            if (!S_ISLNK(lst.st_mode) && !S_ISREG(lst.st_mode))
                throw IoError(kFileAccessDenied,
                              "File access denied: " + path + " is not a plain file");
            if (!create)
                throwAt("Cannot open " + what, path, EPERM);
            if (::unlink(path.c_str()) != 0 && errno != ENOENT)
                throwAt("Cannot remove what lies at", path, errno);
        }
        const int made =
            ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
        if (made >= 0)
            return made;
        if (errno != EEXIST)
            throwAt("Cannot create " + what, path, errno);
        // Someone put a file there between the unlink and the create: look again.
    }
    throw IoError(kFileAccessDenied, "File access denied: " + path + " keeps being replaced");
}

void takeModeAndGroup(int fd, const struct stat& model) {
    mode_t mode = model.st_mode & 0777;
    struct stat mine {};
    if (::fstat(fd, &mine) == 0 && mine.st_gid != model.st_gid &&
        ::fchown(fd, static_cast<uid_t>(-1), model.st_gid) != 0)
        mode &= ~static_cast<mode_t>(070);
    if (::fchmod(fd, mode) != 0)
        throwAt("Cannot set the permissions of a copy of", "the user file", errno);
}

} // namespace zorv
