#include "journalfile.h"

#include "errors.h"
#include "pathparts.h"
#include "privatefile.h"
#include "recordwriter.h"
#include "replacement.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zorv {

int writeJournal(const std::string& path, const Journal& j, int previous) {
    try {
        checkPrivateFolder(dirOf(path));
        ReplacementFile file(path, nullptr, false);
        file.append(encodeJournal(j));
        if (previous < 0)
            return file.commitKeepingLock(ReplacementFile::Commit::OnlyIntoAFreeName);
        struct stat ours {
        }, there{};
        if (::fstat(previous, &ours) != 0 || ::lstat(path.c_str(), &there) != 0 ||
            ours.st_dev != there.st_dev || ours.st_ino != there.st_ino)
            throw IoError(kFileAccessDenied,
                          "File access denied: it was replaced by something else meanwhile");
        return file.commitKeepingLock();
    } catch (const IoError& e) {
        throw SaveFailure{std::string("Cannot write the save journal ") + path + ": " + e.what()};
    }
}

JournalAt lookAtJournal(const std::string& path, Fd& fd, std::string& out, struct stat& st) {
    if (::lstat(path.c_str(), &st) != 0)
        return JournalAt::Nothing;
    if (S_ISLNK(st.st_mode)) {
        ::unlink(path.c_str());
        return JournalAt::Nothing;
    }
    if (!ownPlainFile(st))
        return JournalAt::Foreign; // never trusted, never opened: left for its owner
    fd.reset(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat opened {};
    if (fd.get() < 0 || ::fstat(fd.get(), &opened) != 0 || opened.st_dev != st.st_dev ||
        opened.st_ino != st.st_ino)
        return JournalAt::Held; // a run is renaming a new one into place
    if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
        return JournalAt::Held;
    return readFully(fd.get(), out) ? JournalAt::Idle : JournalAt::Held;
}

void removeJournal(const std::string& path, int fd) {
    struct stat a {
    }, b{};
    if (fd >= 0 && ::fstat(fd, &a) == 0 && ::lstat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev &&
        a.st_ino == b.st_ino) {
        ::unlink(path.c_str());
        syncFolderOf(path);
    }
}

std::string journalPathFor(const std::string& workingCopyPath) {
    return workingCopyPath + ".journal";
}

std::string toolJournalPathFor(const std::string& userFile) {
    return userFile + ".journal";
}

} // namespace zorv
