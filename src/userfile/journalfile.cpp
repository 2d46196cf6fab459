#include "userfile/journalfile.h"

#include "userfile/errors.h"
#include "userfile/pathparts.h"
#include "userfile/privatefile.h"
#include "userfile/recordwriter.h"
#include "userfile/replacement.h"

namespace zorv {

os::Handle writeJournal(const std::string& path, const Journal& j, os::Handle previous) {
    try {
        checkPrivateFolder(dirOf(path));
        ReplacementFile file(path, nullptr, false);
        file.append(encodeJournal(j));
        if (!os::isOpen(previous))
            return file.commitKeepingLock(ReplacementFile::Commit::OnlyIntoAFreeName);
        os::FileInfo ours, there;
        if (!os::info(previous, ours) || !os::linkInfoOf(path, there) || !os::sameFile(ours, there))
            throw IoError(kFileAccessDenied,
                          "File access denied: it was replaced by something else meanwhile");
        return file.commitKeepingLock();
    } catch (const IoError& e) {
        throw SaveFailure{std::string("Cannot write the save journal ") + path + ": " + e.what()};
    }
}

JournalAt lookAtJournal(const std::string& path, Fd& fd, std::string& out, os::FileInfo& st) {
    if (!os::linkInfoOf(path, st))
        return JournalAt::Nothing;
    if (st.kind == os::Kind::Link) {
        os::remove(path);
        return JournalAt::Nothing;
    }
    if (!ownPlainFile(st))
        return JournalAt::Foreign; // never trusted, never opened: left for its owner
    fd.reset(os::open(path, os::kRead | os::kNoFollow | os::kNoWait));
    os::FileInfo opened;
    if (!fd.isOpen() || !os::info(fd.get(), opened) || !os::sameFile(opened, st))
        return JournalAt::Held; // a run is renaming a new one into place
    if (os::lockWriters(fd.get()) != os::Lock::Held)
        return JournalAt::Held;
    return os::readAll(fd.get(), out) ? JournalAt::Idle : JournalAt::Held;
}

void removeJournal(const std::string& path, os::Handle fd) {
    os::FileInfo a, b;
    if (os::isOpen(fd) && os::info(fd, a) && os::linkInfoOf(path, b) && os::sameFile(a, b)) {
        os::remove(path);
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
