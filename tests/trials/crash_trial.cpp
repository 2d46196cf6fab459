// A real save to be killed at a random moment (scripts/crash-trials.sh), and
// the recovery a next start runs.
//
//   crash_trial save USERFILE WORKINGCOPY EVERY   changes every EVERY-th user, saves
//   crash_trial recover USERFILE WORKINGCOPY      what a start does before loading

#include "userfile/journalfile.h"
#include "userfile/leftovers.h"
#include "userfile/rollback.h"
#include "userfile/savefile.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace {

class Say : public zorv::Prompts {
  public:
    void message(const std::string&, const std::string& text) override { say(text); }
    void warning(const std::string& text) override { say(text); }
    bool confirm(const std::string& text) override {
        say(text);
        return true;
    }
    int choose(const std::string&, const std::string& text,
               const std::vector<std::string>& buttons) override {
        say(text);
        return static_cast<int>(buttons.size()) - 1; // nobody is there to answer: cancel
    }

  private:
    static void say(const std::string& text) { std::cerr << "crash_trial: " << text << "\n"; }
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::cerr << "usage: crash_trial save|recover USERFILE WORKINGCOPY [EVERY]\n";
        return 2;
    }
    const std::string mode = argv[1];
    Say prompts;
    zorv::UserFileSession s;
    s.userFileName = argv[2];
    s.workingCopy.setPath(argv[3]);
    try {
        if (mode == "recover") {
            zorv::rollBackInterruptedSave(zorv::journalPathFor(argv[3]), prompts);
            zorv::removeSaveLeftovers(s.userFileName, {}, zorv::journalPathFor(argv[3]));
            return 0;
        }
        const int every = argc > 4 ? std::atoi(argv[4]) : 3;
        if (!zorv::loadUserFile(s, prompts))
            return 1;
        const int n = s.workingCopy.recordCount();
        for (int i = 0; i < n; i += every) {
            s.workingCopy.readRecord(i, s.recordBuffer);
            for (auto& b : s.recordBuffer)
                b = static_cast<std::uint8_t>(b ^ 0x5A);
            s.workingCopy.writeRecord(i, s.recordBuffer);
        }
        s.userFileChanged = true;
        std::cout << "saving" << std::endl;
        return zorv::saveToUserFile(s, prompts, false) == zorv::SaveOutcome::Saved ? 0 : 1;
    } catch (const std::exception& e) {
        std::cerr << "crash_trial: " << e.what() << "\n";
        return 2;
    }
}
