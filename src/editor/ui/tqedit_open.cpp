// "Open new userfile.": switch to another user file while the editor runs.
#include "editor/ui/tqedit.h"

#include "settings/steps.h"
#include "userfile/errors.h"
#include "userfile/savefile.h"

#include <QLineEdit>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zorv {

namespace {

// A user file holds whole records and at least one. The file is opened for
// reading and writing, as the editor will need it, only to take its size;
// one that cannot be opened raises the I/O error before anything changes.
bool looksLikeUserFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0)
        throw ioErrorFromErrno(errno);
    struct stat st {};
    const int rc = ::fstat(fd, &st);
    const int err = errno;
    ::close(fd);
    if (rc != 0)
        throw ioErrorFromErrno(err);
    const auto size = static_cast<long long>(st.st_size);
    const auto record = static_cast<long long>(kRecordSize);
    return size >= record && size % record == 0;
}

} // namespace

void Tqedit::openClick() {
    openOtherUserFile();
}

void Tqedit::openOtherUserFile() {
    auto& s = session();
    fileopen.initialDir = fromPath(directoryPart(s.userFileName));
    if (!platform().openFile(this, fileopen) || fileopen.fileName.isEmpty())
        return;
    while (!looksLikeUserFile(toPath(fileopen.fileName))) {
        platform().message(this, "Error:", "File probably not a zorv userfile..",
                           MessageIcon::None);
        if (!platform().openFile(this, fileopen) || fileopen.fileName.isEmpty())
            return;
    }
    const QString newName = fileopen.fileName;
    const std::string newPath = toPath(newName);
    const std::string oldPath = s.userFileName;

    // Both questions come before anything changes, so that Cancel at either
    // leaves the old file loaded as it was.
    if (!settleShownUser())
        return;
    if (s.userFileChanged && s.workingCopy.holdsCopy()) {
        const Answer answer = platform().confirmOrCancel(this, "Save old user file?");
        if (answer == Answer::Cancel)
            return;
        if (answer == Answer::Yes) {
            const bool changed = s.userFileChanged; // this question leaves the mark alone
            const SaveOutcome saved = saveToUserFile(s, prompts(), false);
            s.userFileChanged = changed;
            // The unsaved changes exist only in the working copy: switching
            // now would overwrite them. Stay with the old file.
            if (saved != SaveOutcome::Saved)
                return;
        }
    }

    try {
        storeUserFileName(settings(), newPath, [&] { fname1->setText(newName); });
    } catch (...) {
        fname1->setText(fromPath(oldPath)); // the old file stays loaded
        throw;
    }

    stopLive();
    s.userFileName = newPath;
    Totals loadedTotals;
    totalsKnown_ = false; // the tab shows the old file's figures until the new ones
    try {
        s.workingCopy.loadFrom(newPath, totalsCollector(loadedTotals));
    } catch (...) {
        // The working copy holds neither the new file nor edits anyone still
        // wants (saved or dropped above): it must never be copied back.
        s.userFileChanged = false;
        fname1->setText(newName);
        throw;
    }

    const int last = s.workingCopy.recordCount() - 1;
    if (s.currentIndex > last)
        s.currentIndex = last < 0 ? 0 : last;
    s.workingCopy.readRecord(s.currentIndex, s.recordBuffer);
    showRecord(s.recordBuffer);
    // The field names the file being edited even when no settings key exists.
    fname1->setText(newName);
    showTotals(loadedTotals);
    setBarRange();
    setPositionUi();
    startLive();
}

} // namespace zorv
