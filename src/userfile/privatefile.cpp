#include "privatefile.h"

#include "errors.h"
#include "pathparts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
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

std::string foreignObjectText(const std::string& path, const struct stat& st,
                              const std::string& role) {
    std::string kind = kindOf(st);
    if (S_ISREG(st.st_mode) && st.st_nlink > 1)
        kind = "a file with " + std::to_string(st.st_nlink) + " names (a hard link)";
    std::string owner = "uid " + std::to_string(st.st_uid);
    struct passwd pw {};
    struct passwd* found = nullptr;
    char buf[1024];
    if (::getpwuid_r(st.st_uid, &pw, buf, sizeof buf, &found) == 0 && found)
        owner = std::string(found->pw_name) + " (" + owner + ")";
    return path + " is " + kind + " owned by " + owner + ", not " + role +
           " of this program, so it was left as it is. Remove it, or have its owner remove "
           "it, then try again";
}

int openPrivateFile(const std::string& path, const std::string& what, bool create) {
    checkPrivateFolder(dirOf(path));
    for (int attempt = 0; attempt < 16; ++attempt) {
        // Looked at before it is opened: a FIFO or device must never be opened.
        struct stat lst {};
        if (::lstat(path.c_str(), &lst) != 0) {
            if (errno != ENOENT)
                throwAt("Cannot open " + what, path, errno);
            if (!create)
                throwAt("Cannot open " + what, path, ENOENT);
            const int made =
                ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (made >= 0)
                return made;
            if (errno != EEXIST)
                throwAt("Cannot create " + what, path, errno);
            continue; // someone put something there meanwhile: look again
        }
        // Whatever another user (or root) left there stays theirs: removing it
        // could delete their work, following it could write where they chose.
        if (!ownPlainFile(lst))
            throw IoError(kFileAccessDenied,
                          "File access denied: " + foreignObjectText(path, lst, what));
        const int fd = ::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            if (errno == ENOENT || errno == ELOOP)
                continue;
            throwAt("Cannot open " + what, path, errno);
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || st.st_dev != lst.st_dev || st.st_ino != lst.st_ino ||
            !ownPlainFile(st)) {
            ::close(fd); // replaced between the look and the open: look again
            continue;
        }
        if ((st.st_mode & 0777) != 0600 && ::fchmod(fd, 0600) != 0) {
            const int err = errno;
            ::close(fd);
            throwAt("Cannot make private " + what, path, err);
        }
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
        return fd;
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
