// The resume window, the choice of the resume conference and the about box,
// as the main window opens them.
#include "editor/ui/tqedit.h"

#include "about/ui/taboutbox1.h"
#include "resume/ui/tshowresume.h"
#include "settings/steps.h"

namespace zorv {

void Tqedit::resumebtClick() {
    if (noRecords())
        return;
    // The stored number, not one typed and not yet saved.
    session_.show(session_.currentIndex());
    if (showresume)
        showresume->exec();
}

void Tqedit::changeresbtClick() {
    const ConferenceDialogPreset preset = changeResumePreset(settings_, session_.userFileName());
    if (preset.keyOpened) {
        fileopen.fileName = fromPath(preset.fileName);
        if (preset.initialDir)
            fileopen.initialDir = fromPath(*preset.initialDir);
    }
    // What is set here stays on the dialog for the next choice of a file.
    fileopen.filter = QString::fromLatin1(kConferenceFilter);
    fileopen.filterIndex = 1;
    // The title is this question's only; the dialog is shared.
    fileopen.title = QString::fromLatin1(kConferenceDialogTitle);
    const bool picked = platform_.openFile(this, fileopen);
    fileopen.title.clear();
    if (!picked || fileopen.fileName.isEmpty())
        return;
    storeResumeConference(settings_, toPath(fileopen.fileName));
}

void Tqedit::aboutClick() {
    if (aboutbox1)
        aboutbox1->exec();
}

} // namespace zorv
