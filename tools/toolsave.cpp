#include "toolsave.h"

#include "settings/registry.h"
#include "settings/steps.h"
#include "userfile/backups.h"
#include "userfile/codepage.h"
#include "userfile/errors.h"
#include "userfile/fd.h"
#include "userfile/journalfile.h"
#include "userfile/pathparts.h"
#include "userfile/privatefile.h"
#include "userfile/prompts.h"
#include "userfile/recordio.h"
#include "userfile/recordlock.h"
#include "userfile/recordwriter.h"
#include "userfile/rollback.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <ostream>

namespace zorvtool {
namespace {

using namespace zorv;

class ErrPrompts : public Prompts {
  public:
    ErrPrompts(std::ostream& err, std::string cmd) : err_(err), cmd_(std::move(cmd)) {}
    void message(const std::string&, const std::string& text) override { say(text); }
    void warning(const std::string& text) override { say(text); }
    bool confirm(const std::string& text) override {
        say(text);
        return false;
    }
    int choose(const std::string&, const std::string& text,
               const std::vector<std::string>& buttons) override {
        say(text);
        return static_cast<int>(buttons.size()) - 1;
    }
    void status(const std::string& text) override {
        if (!text.empty())
            say(text);
    }

  private:
    void say(const std::string& text) { err_ << "zorvtool " << cmd_ << ": " << text << '\n'; }
    std::ostream& err_;
    std::string cmd_;
};

// The editor's Backups setting; a backup younger than an hour is kept as it
// is, so that a script of several calls keeps the file as it was before it.
void keepToolBackup(const std::string& file) {
    int count = kDefaultBackups;
    try {
        const auto key = makeRegistryKey();
        count = backupCount(*key);
    } catch (const std::exception&) {
        // A settings file that cannot be read: the default, as the editor does.
    }
    const std::string state = os::stateFolder();
    const std::string bak = backupPathFor(file, state);
    os::FileInfo st;
    if (count > 0 && os::linkInfoOf(bak, st) && st.kind == os::Kind::Regular && os::ownedByMe(st) &&
        std::time(nullptr) - st.modifiedNs / 1000000000 < 3600)
        return;
    keepBackup(file, count, state);
}

std::string nameOf(const Record& r) {
    return cp865ToUtf8(rawText(r, kName));
}

WriterLock::Timing lockTiming;

// One writing run: the writers' lock, its wait said on stderr, held from the
// journal's check to the last write.
class WritingRun {
  public:
    WritingRun(const std::string& file, const std::string& cmd, std::ostream& err)
        : file_(file), prompts_(err, cmd),
          lock_(file, lockTiming, [this](const std::string& t) { prompts_.status(t); }) {}
    // Takes the lock, undoes what a killed run left and finds the journal's
    // name free. False (said) when this run may not write.
    bool begin() {
        if (auto refused = lock_.take()) {
            prompts_.warning(*refused);
            return false;
        }
        const std::string journal = toolJournalPathFor(file_);
        rollBackInterruptedSave(journal, prompts_, file_);
        if (auto taken = journalNameTaken(journal, file_)) {
            prompts_.warning(*taken);
            return false;
        }
        return true;
    }

  private:
    std::string file_;
    ErrPrompts prompts_;
    WriterLock lock_;
};

} // namespace

FileIdentity identityOf(os::Handle fd) {
    os::FileInfo st;
    if (!os::info(fd, st))
        throw ioErrorFromErrno(errno);
    return {st.device, st.inode, true};
}

std::string nameBytes(const Record& r) {
    return std::string(r.begin() + static_cast<std::ptrdiff_t>(kName.offset),
                       r.begin() + static_cast<std::ptrdiff_t>(kName.offset + kName.width));
}

void setWriterLockTimingForTesting(WriterLock::Timing timing) {
    lockTiming = timing;
}

bool recoverBeforeWriting(const std::string& file, const std::string& cmd, std::ostream& err) {
    return WritingRun(file, cmd, err).begin();
}

int saveUserChanges(const std::string& file, const std::vector<int>& users,
                    const RecordChange& change, const std::string& cmd, std::ostream& err,
                    const PickedUsers* picked) {
    const std::string prefix = "zorvtool " + cmd + ": ";
    const auto leftOut = [&](const std::vector<RecordWrite>& renamed) {
        if (renamed.empty())
            return kWritten;
        err << prefix
            << "these users hold another name than when they were picked, so they "
               "were left as they are:\n";
        for (const RecordWrite& w : renamed) {
            const std::string& was = picked->names.at(w.index);
            err << "  " << w.index << "  " << cp865ToUtf8(was.substr(0, was.find('\0'))) << " (now "
                << nameOf(w.old) << ")\n";
        }
        return kClashed;
    };
    try {
        WritingRun run(file, cmd, err);
        if (!run.begin())
            return kFailed;
        Fd fd(openRegularFile(file, Access::ReadWrite));
        const FileIdentity id = identityOf(fd.get());
        if (picked && !(picked->file == id)) {
            err << prefix << file
                << " was replaced since its users were picked (they may have been renumbered); "
                   "nothing written\n";
            return kFailed;
        }
        const int count = recordCountOf(fd.get());

        // Reads each user (once a locking writer is done with it) and changes
        // it. The writer writes it only while the file holds these bytes, so
        // a user that is still the picked one here is the one written.
        std::vector<RecordWrite> renamed;
        auto planFor = [&](int index, std::vector<RecordWrite>& plan) {
            RecordWrite w{index, {}, {}};
            {
                const RecordLock shared(fd.get(), index, false, 100);
                readRecordOf(fd.get(), index, w.old);
            }
            if (picked && nameBytes(w.old) != picked->names.at(index)) {
                renamed.push_back(w);
                return;
            }
            w.now = w.old;
            change(index, w.now);
            if (w.now != w.old)
                plan.push_back(w);
        };
        std::vector<RecordWrite> plan;
        for (int index : users) {
            if (index < 0 || index >= count) {
                err << prefix << file << " has no user " << index << " (it holds " << count
                    << "); nothing written\n";
                return kFailed;
            }
            planFor(index, plan);
        }
        if (plan.empty())
            return leftOut(renamed);

        // Every check before the backup: a refused run leaves no backup behind.
        if (!pathNamesFile(file, fd.get()) || recordCountOf(fd.get()) < count) {
            err << prefix << file
                << " was replaced or shortened while it was being read; nothing written\n";
            return kFailed;
        }
        checkPrivateFolder(dirOf(toolJournalPathFor(file)));
        keepToolBackup(file);
        RecordWriter writer(fd.get(), id, file, toolJournalPathFor(file));
        auto abandoned = [&](const RecordWriter::Pass& p) {
            if (!p.shortened && !p.replaced)
                return false;
            const std::string undone = writer.rollBack();
            err << prefix << file << " was " << (p.replaced ? "replaced" : "shortened")
                << " while it was being written; nothing more was written."
                << (undone.empty() ? "" : " " + undone) << '\n';
            return true;
        };
        const RecordWriter::Pass first = writer.write(plan);
        if (abandoned(first))
            return kFailed;
        // Written by the board since our read: read again, change again, once.
        std::vector<RecordWrite> again;
        for (const auto* list : {&first.moved, &first.locked})
            for (const RecordWrite& w : *list)
                planFor(w.index, again);
        std::vector<RecordWrite> unsettled;
        if (!again.empty()) {
            const RecordWriter::Pass second = writer.write(again);
            if (abandoned(second))
                return kFailed;
            unsettled = second.moved;
            unsettled.insert(unsettled.end(), second.locked.begin(), second.locked.end());
        }
        writer.finish();
        if (unsettled.empty())
            return leftOut(renamed);
        err << prefix
            << "the board kept writing these users, so they were left as it wrote "
               "them:\n";
        for (const RecordWrite& w : unsettled)
            err << "  " << w.index << "  " << nameOf(w.old) << '\n';
        leftOut(renamed);
        return kClashed;
    } catch (const SaveFailure& f) {
        err << prefix << f.why << '\n';
    } catch (const IoError& e) {
        err << prefix << file << ": " << e.what() << '\n';
    }
    return kFailed;
}

} // namespace zorvtool
