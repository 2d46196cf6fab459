#include "scripted_platform.h"

#include <gtest/gtest.h>

namespace zorvtest {

static bool answerFileDialog(std::deque<std::optional<QString>>& answers,
                             std::vector<zorv::FileDialog>& log, zorv::FileDialog& d,
                             const char* what) {
    log.push_back(d);
    if (answers.empty()) {
        ADD_FAILURE() << "unexpected " << what << " dialog";
        return false;
    }
    const std::optional<QString> a = answers.front();
    answers.pop_front();
    if (!a)
        return false;
    d.fileName = *a;
    return true;
}

bool ScriptedPlatform::openFile(QWidget*, zorv::FileDialog& d) {
    return answerFileDialog(openAnswers, openDialogs, d, "open");
}

bool ScriptedPlatform::saveFile(QWidget*, zorv::FileDialog& d) {
    return answerFileDialog(saveAnswers, saveDialogs, d, "save");
}

void ScriptedPlatform::message(QWidget* parent, const QString& title, const QString& text,
                               zorv::MessageIcon icon) {
    messages.push_back({title, text, icon, parent});
}

bool ScriptedPlatform::confirm(QWidget*, const QString& text) {
    questions.push_back(text);
    if (confirmAnswers.empty()) {
        ADD_FAILURE() << "unexpected question: " << text.toStdString();
        return false;
    }
    const bool a = confirmAnswers.front();
    confirmAnswers.pop_front();
    return a;
}

zorv::Answer ScriptedPlatform::confirmOrCancel(QWidget*, const QString& text) {
    questions.push_back(text);
    if (choiceAnswers.empty()) {
        ADD_FAILURE() << "unexpected question: " << text.toStdString();
        return zorv::Answer::Cancel;
    }
    const zorv::Answer a = choiceAnswers.front();
    choiceAnswers.pop_front();
    return a;
}

int ScriptedPlatform::choose(QWidget*, const QString&, const QString& text,
                             const QStringList& buttons) {
    questions.push_back(text);
    if (chooseAnswers.empty()) {
        ADD_FAILURE() << "unexpected question: " << text.toStdString();
        return static_cast<int>(buttons.size()) - 1;
    }
    const int a = chooseAnswers.front();
    chooseAnswers.pop_front();
    return a;
}

QString ScriptedPlatform::inputBox(QWidget*, const QString& title, const QString& prompt,
                                   const QString& defaultText) {
    inputs.push_back({title, prompt, defaultText});
    if (inputAnswers.empty()) {
        ADD_FAILURE() << "unexpected input box: " << title.toStdString();
        return defaultText;
    }
    const std::optional<QString> a = inputAnswers.front();
    inputAnswers.pop_front();
    return a ? *a : defaultText;
}

std::vector<QString> ScriptedPlatform::messageTexts() const {
    std::vector<QString> out;
    for (const Message& m : messages)
        out.push_back(m.text);
    return out;
}

} // namespace zorvtest
