#include "scripted_prompts.h"

#include <gtest/gtest.h>

namespace zorvtest {

bool ScriptedPrompts::confirm(const std::string& text) {
    shown.push_back({"confirm", "Confirm", text});
    if (answers.empty()) {
        ADD_FAILURE() << "unexpected question: " << text;
        return false;
    }
    const bool a = answers.front();
    answers.pop_front();
    return a;
}

} // namespace zorvtest
