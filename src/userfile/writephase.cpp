#include "userfile/writephase.h"

#include "userfile/journalfile.h"
#include "userfile/recordwriter.h"
#include "userfile/rollback.h"

namespace zorv {

namespace {

// Warnings kept for later: none is shown while the writers' lock is held.
class HeldBack : public Prompts {
  public:
    std::vector<std::string> said;
    void message(const std::string&, const std::string& text) override { said.push_back(text); }
    void warning(const std::string& text) override { said.push_back(text); }
    bool confirm(const std::string&) override { return false; }
    int choose(const std::string&, const std::string&,
               const std::vector<std::string>& buttons) override {
        return static_cast<int>(buttons.size()) - 1;
    }
};

} // namespace

WritePhase::WritePhase(UserFileSession& s, Prompts& prompts)
    : s_(s), prompts_(prompts),
      lock_(s.userFileName, s.writerLockTiming,
            [&prompts](const std::string& text) { prompts.status(text); }) {}

void WritePhase::enter() {
    takeAndCheck(true);
    const std::string own = journalPathFor(s_.workingCopy.path());
    if (auto taken = journalNameTaken(own, s_.userFileName))
        throw SaveFailure{*taken};
}

void WritePhase::message(const std::string& title, const std::string& text) {
    unlocked([&] { prompts_.message(title, text); });
}

void WritePhase::warning(const std::string& text) {
    unlocked([&] { prompts_.warning(text); });
}

bool WritePhase::confirm(const std::string& text) {
    bool yes = false;
    unlocked([&] { yes = prompts_.confirm(text); });
    return yes;
}

int WritePhase::choose(const std::string& title, const std::string& text,
                       const std::vector<std::string>& buttons) {
    int answer = -1;
    unlocked([&] { answer = prompts_.choose(title, text, buttons); });
    return answer;
}

Answer WritePhase::confirmOrCancel(const std::string& text) {
    Answer answer = Answer::Cancel;
    unlocked([&] { answer = prompts_.confirmOrCancel(text); });
    return answer;
}

template <typename Ask> void WritePhase::unlocked(const Ask& ask) {
    lock_.release();
    ask();
    takeAndCheck(false);
}

void WritePhase::takeAndCheck(bool first) {
    for (;;) {
        if (auto refused = lock_.take())
            throw SaveFailure{*refused};
        HeldBack held;
        rollBackInterruptedSave(toolJournalPathFor(s_.userFileName), held, s_.userFileName);
        if (first)
            rollBackInterruptedSave(journalPathFor(s_.workingCopy.path()), held, s_.userFileName);
        if (held.said.empty())
            return;
        lock_.release();
        for (const std::string& text : held.said)
            prompts_.warning(text);
        first = false; // what the first look found is done
    }
}

} // namespace zorv
