#pragma once
// The questions and messages of the user-file layer, answered by the windows
// (or by a script in tests).

#include <string>
#include <vector>

namespace zorv {

enum class Answer { Yes, No, Cancel };

class Prompts {
  public:
    virtual ~Prompts() = default;
    // A message box with a title, an OK button and no icon.
    virtual void message(const std::string& title, const std::string& text) = 0;
    // Title "Warning", button OK.
    virtual void warning(const std::string& text) = 0;
    // Title "Confirm", buttons Yes and No; true for Yes.
    virtual bool confirm(const std::string& text) = 0;
    // A question with buttons of its own; the index of the button chosen, or
    // the last button's when the box is closed without a choice.
    virtual int choose(const std::string& title, const std::string& text,
                       const std::vector<std::string>& buttons) = 0;
    // Title "Confirm", buttons Yes, No and Cancel (Escape: Cancel).
    virtual Answer confirmOrCancel(const std::string& text) {
        switch (choose("Confirm", text, {"Yes", "No", "Cancel"})) {
        case 0:
            return Answer::Yes;
        case 1:
            return Answer::No;
        default:
            return Answer::Cancel;
        }
    }
    // A passing note while something takes a while (the status bar, stderr);
    // "" when it is over.
    virtual void status(const std::string& text) { (void)text; }
};

} // namespace zorv
