#pragma once
// The save journal on disk: written before a save's first record, locked while
// its save runs, removed once the last record is flushed.

#include "userfile/fd.h"
#include "userfile/journalcodec.h"

#include <string>

namespace zorv {

// Where a save keeps its journal: beside the working copy.
std::string journalPathFor(const std::string& workingCopyPath);
// Where zorvtool's writing commands keep theirs: beside the user file, where
// the editor and every such command look for it before they write.
std::string toolJournalPathFor(const std::string& userFile);

// The journal stays locked while its save runs, so that a second editor
// starting meanwhile never takes it for a dead one's. It is always a new
// private file renamed into place, so a rewrite is never seen half done. The
// first takes a free name only, a rewrite replaces only the journal it
// replaces (`previous`): whatever else lies there is never written through or
// removed. Returns the open, locked fd. Throws SaveFailure.
os::Handle writeJournal(const std::string& path, const Journal& j, os::Handle previous);

// What lies at a journal's name, looked at before anything is opened.
enum class JournalAt { Nothing, Held, Foreign, Idle };

// An idle journal is read into `out` and stays locked through `fd`. A link is
// removed unread; anything else not ours alone is left alone (`st` says what).
JournalAt lookAtJournal(const std::string& path, Fd& fd, std::string& out, os::FileInfo& st);

// Removes the journal at `path` only while it is the one open on `fd`.
void removeJournal(const std::string& path, os::Handle fd);

} // namespace zorv
