#pragma once
// A Platform for GUI tests: every dialog is answered from a script, never shown,
// and every message is recorded. A dialog the test did not script fails the
// test and is answered with Cancel / No.

#include "platform/platform.h"

#include <QString>

#include <deque>
#include <optional>
#include <vector>

namespace zorvtest {

class ScriptedPlatform : public zorv::Platform {
  public:
    struct Message {
        QString title;
        QString text;
        zorv::MessageIcon icon;
        QWidget* parent = nullptr; // the window the box stands over
    };
    struct Input {
        QString title;
        QString prompt;
        QString defaultText;
    };

    // Answers, taken from the front. nullopt: the operator cancels.
    std::deque<std::optional<QString>> openAnswers;
    std::deque<std::optional<QString>> saveAnswers;
    std::deque<bool> confirmAnswers;
    std::deque<zorv::Answer> choiceAnswers; // confirmOrCancel
    std::deque<int> chooseAnswers;          // button index
    std::deque<std::optional<QString>> inputAnswers;

    // What the program asked and showed.
    std::vector<zorv::FileDialog> openDialogs; // as they were when shown
    std::vector<zorv::FileDialog> saveDialogs;
    std::vector<Message> messages;
    std::vector<QString> questions; // confirm and confirmOrCancel, in order
    std::vector<Input> inputs;

    zorv::Date todayValue{2026, 12, 8};
    QString programPathValue;
    QString stateDirValue;

    bool openFile(QWidget* parent, zorv::FileDialog& d) override;
    bool saveFile(QWidget* parent, zorv::FileDialog& d) override;
    void message(QWidget* parent, const QString& title, const QString& text,
                 zorv::MessageIcon icon) override;
    bool confirm(QWidget* parent, const QString& text) override;
    zorv::Answer confirmOrCancel(QWidget* parent, const QString& text) override;
    int choose(QWidget* parent, const QString& title, const QString& text,
               const QStringList& buttons) override;
    QString inputBox(QWidget* parent, const QString& title, const QString& prompt,
                     const QString& defaultText) override;
    zorv::Date today() override { return todayValue; }
    QString programPath() override { return programPathValue; }
    QString stateDir() override { return stateDirValue; }

    // The registered mail program (nullopt: none) and the programs started.
    std::optional<zorv::MailHandler> mailHandlerValue;
    struct Started {
        QString program;
        QStringList arguments;
    };
    std::vector<Started> started;
    std::optional<zorv::MailHandler> mailHandler() override { return mailHandlerValue; }
    void startProgram(QWidget*, const QString& program, const QStringList& arguments) override {
        started.push_back({program, arguments});
    }

    // The texts of the messages shown, in order.
    std::vector<QString> messageTexts() const;
};

} // namespace zorvtest
