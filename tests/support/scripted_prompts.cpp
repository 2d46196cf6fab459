#include "scripted_prompts.h"

#include <gtest/gtest.h>

namespace zorvtest {

bool ScriptedPrompts::confirm(const std::string& text) {
    shown.push_back({"confirm", "Confirm", text, {}});
    if (answers.empty()) {
        ADD_FAILURE() << "unexpected question: " << text;
        return false;
    }
    const bool a = answers.front();
    answers.pop_front();
    return a;
}

int ScriptedPrompts::choose(const std::string& title, const std::string& text,
                            const std::vector<std::string>& buttons) {
    shown.push_back({"choose", title, text, buttons});
    if (whileAsking)
        whileAsking();
    if (choices.empty()) {
        ADD_FAILURE() << "unexpected question: " << text;
        return static_cast<int>(buttons.size()) - 1;
    }
    const int a = choices.front();
    choices.pop_front();
    return a;
}

} // namespace zorvtest
