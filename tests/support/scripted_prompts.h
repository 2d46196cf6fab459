#pragma once
// Prompts for the user-file layer that record what was shown and answer the
// "Confirm" questions from a script.

#include "userfile/prompts.h"

#include <deque>
#include <functional>
#include <string>
#include <vector>

namespace zorvtest {

class ScriptedPrompts : public zorv::Prompts {
  public:
    struct Shown {
        std::string kind; // "message", "warning" or "confirm"
        std::string title;
        std::string text;
        std::vector<std::string> buttons; // choose() only
    };

    std::vector<Shown> shown;
    std::deque<bool> answers; // for confirm(); an unscripted question fails the test
    std::deque<int> choices;  // for choose(): the button's index
    // Runs while a choose() question is open, as another program would.
    std::function<void()> whileAsking;
    std::vector<std::string> statuses; // what status() was told, in order

    void message(const std::string& title, const std::string& text) override {
        shown.push_back({"message", title, text, {}});
    }
    void warning(const std::string& text) override {
        shown.push_back({"warning", "Warning", text, {}});
    }
    bool confirm(const std::string& text) override;
    int choose(const std::string& title, const std::string& text,
               const std::vector<std::string>& buttons) override;
    void status(const std::string& text) override { statuses.push_back(text); }
};

} // namespace zorvtest
