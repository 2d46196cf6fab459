#pragma once
// The write phase of one save, as the prompts the merge asks through: the
// writers' lock is held from enter() to leave(), except while a box is up.
// After each box it is taken again and checked again: a zorvtool run killed
// meanwhile is undone first. The merge itself checks the file again.

#include "userfile/prompts.h"
#include "userfile/usersession.h"
#include "userfile/writerlock.h"

#include <string>
#include <vector>

namespace zorv {

class WritePhase : public Prompts {
  public:
    WritePhase(UserFileSession& s, Prompts& prompts);

    // Also looks at the working copy's journal: one left by this program is
    // undone, anything else there stops the save before it writes a byte.
    // Throws SaveFailure.
    void enter();
    void leave() { lock_.release(); }

    void message(const std::string& title, const std::string& text) override;
    void warning(const std::string& text) override;
    bool confirm(const std::string& text) override;
    int choose(const std::string& title, const std::string& text,
               const std::vector<std::string>& buttons) override;
    Answer confirmOrCancel(const std::string& text) override;
    void status(const std::string& text) override { prompts_.status(text); }

  private:
    template <typename Ask> void unlocked(const Ask& ask);
    void takeAndCheck(bool first);

    UserFileSession& s_;
    Prompts& prompts_;
    WriterLock lock_;
};

} // namespace zorv
