#include "userfile/privatefile.h"

#include "userfile/errors.h"
#include "userfile/pathparts.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace zorv {

namespace {

[[noreturn]] void throwAt(const std::string& what, const std::string& path, int err) {
    throw IoError(ioErrorCodeFromErrno(err), what + " " + path + ": " + os::errorText(err));
}

} // namespace

bool ownPlainFile(const os::FileInfo& st) {
    return st.kind == os::Kind::Regular && st.links == 1 && os::ownedByMe(st);
}

void checkPrivateFolder(const std::string& dir) {
    os::FileInfo st;
    if (!os::infoOf(dir, st))
        return; // nothing can be made there anyway; the create says why
    if ((st.mode & 0002) && !(st.mode & 01000)) { // others may write, not sticky
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", st.mode & 07777);
        throw IoError(kFileAccessDenied,
                      "File access denied: the folder " + dir + " (mode " + mode +
                          ") is writable by every user, so a copy of the user file there "
                          "could be read or replaced by them");
    }
}

std::string foreignObjectText(const std::string& path, const os::FileInfo& st,
                              const std::string& role) {
    std::string kind = kindOf(st);
    if (st.kind == os::Kind::Regular && st.links > 1)
        kind = "a file with " + std::to_string(st.links) + " names (a hard link)";
    std::string owner = "uid " + std::to_string(st.owner);
    if (const std::string name = os::userName(st.owner); !name.empty())
        owner = name + " (" + owner + ")";
    return path + " is " + kind + " owned by " + owner + ", not " + role +
           " of this program, so it was left as it is. Remove it, or have its owner remove "
           "it, then try again";
}

os::Handle openPrivateFile(const std::string& path, const std::string& what, bool create) {
    checkPrivateFolder(dirOf(path));
    for (int attempt = 0; attempt < 16; ++attempt) {
        // Looked at before it is opened: a FIFO or device must never be opened.
        os::FileInfo lst;
        if (!os::linkInfoOf(path, lst)) {
            if (errno != ENOENT)
                throwAt("Cannot open " + what, path, errno);
            if (!create)
                throwAt("Cannot open " + what, path, ENOENT);
            const os::Handle made =
                os::open(path, os::kReadWrite | os::kCreate | os::kExclusive | os::kNoFollow, 0600);
            if (os::isOpen(made))
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
        const os::Handle fd = os::open(path, os::kReadWrite | os::kNoFollow | os::kNoWait);
        if (!os::isOpen(fd)) {
            if (errno == ENOENT || errno == ELOOP)
                continue;
            throwAt("Cannot open " + what, path, errno);
        }
        os::FileInfo st;
        if (!os::info(fd, st) || !os::sameFile(st, lst) || !ownPlainFile(st)) {
            os::close(fd); // replaced between the look and the open: look again
            continue;
        }
        if ((st.mode & 0777) != 0600 && !os::setMode(fd, 0600)) {
            const int err = errno;
            os::close(fd);
            throwAt("Cannot make private " + what, path, err);
        }
        os::setBlocking(fd);
        return fd;
    }
    throw IoError(kFileAccessDenied, "File access denied: " + path + " keeps being replaced");
}

void takeModeAndGroup(os::Handle fd, const os::FileInfo& model) {
    unsigned mode = model.mode & 0777;
    os::FileInfo mine;
    if (os::info(fd, mine) && mine.group != model.group && !os::setGroup(fd, model.group))
        mode &= ~070u;
    if (!os::setMode(fd, mode))
        throwAt("Cannot set the permissions of a copy of", "the user file", errno);
}

} // namespace zorv
