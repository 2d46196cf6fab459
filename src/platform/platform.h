#pragma once
// The operating-system services the windows use, behind one interface so that
// GUI tests can script every dialog and answer (tests/gui/scripted_platform.h).
// QtPlatform (qtplatform.h) is the real one.

#include "about/mailcommand.h"
#include "userfile/calltime.h"
#include "userfile/prompts.h"
#include "userfile/workingcopypath.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QWidget;

namespace zorv {

// A file dialog's settings. One object is kept per window and reused, so what
// one command sets (filter, file name) stays for the next, as callers expect.
struct FileDialog {
    // Alternating display names and patterns separated by "|", e.g.
    // "ZORV user records (zorvuser.dat)|zorvuser.dat|All files (*.*)|*.*".
    QString filter;
    int filterIndex = 1; // 1-based, the entry selected when the dialog opens
    QString defaultExt;  // appended to a typed name without extension
    // Per type (filter entry), the extension appended instead ("" none).
    QStringList typeExtensions;
    QString initialDir; // empty: the dialog's own choice
    QString title;      // what the dialog asks for; empty: the dialog's own
    QString fileName;   // preset before, the chosen full path after a confirm
};

enum class MessageIcon { None, Stop, Warning, Information };

class Platform {
  public:
    virtual ~Platform() = default;

    // True when the operator confirmed; d.fileName then holds the full path of
    // an existing file.
    virtual bool openFile(QWidget* parent, FileDialog& d) = 0;
    // True when confirmed; asks before replacing an existing file.
    virtual bool saveFile(QWidget* parent, FileDialog& d) = 0;

    // A message box with an OK button.
    virtual void message(QWidget* parent, const QString& title, const QString& text,
                         MessageIcon icon) = 0;
    // Title "Confirm", buttons Yes and No; true for Yes.
    virtual bool confirm(QWidget* parent, const QString& text) = 0;
    // Title "Confirm", buttons Yes, No and Cancel (Escape and the close button
    // mean Cancel).
    virtual Answer confirmOrCancel(QWidget* parent, const QString& text) = 0;
    // A question with buttons of its own; the index of the one chosen. The
    // last button is the way out (Escape).
    virtual int choose(QWidget* parent, const QString& title, const QString& text,
                       const QStringList& buttons) = 0;
    // An input box (up to 255 characters); Cancel returns the default text.
    virtual QString inputBox(QWidget* parent, const QString& title, const QString& prompt,
                             const QString& defaultText) = 0;

    virtual Date today() = 0;
    // Full path of the running program (its working copy lies next to it).
    virtual QString programPath() = 0;
    // Per-user folder for the working copy when the program's folder is not writable.
    virtual QString stateDir() = 0;

    // The mail program registered for "mailto" (Windows: the shell's command
    // line for it; elsewhere the desktop entry that xdg-mime names: Exec,
    // Name, Icon and its file); nullopt when none is registered or it cannot
    // be read. It may take seconds and touches no widget: the about box asks
    // from a thread of its own.
    virtual std::optional<MailHandler> mailHandler() = 0;
    // Starts a program without waiting for it. Windows hands the arguments to
    // the program as one command line, joined by blanks, as they are.
    virtual void startProgram(QWidget* owner, const QString& program,
                              const QStringList& arguments) = 0;
};

// The user-file layer's questions, answered through a Platform.
class PlatformPrompts : public Prompts {
  public:
    PlatformPrompts(Platform& platform, QWidget* parent) : platform_(platform), parent_(parent) {}
    void message(const std::string& title, const std::string& text) override;
    void warning(const std::string& text) override;
    bool confirm(const std::string& text) override;
    Answer confirmOrCancel(const std::string& text) override;
    int choose(const std::string& title, const std::string& text,
               const std::vector<std::string>& buttons) override;
    void status(const std::string& text) override {
        if (onStatus)
            onStatus(text);
    }
    // Where passing notes go (the main window's status bar).
    std::function<void(const std::string&)> onStatus;

  private:
    Platform& platform_;
    QWidget* parent_;
};

// The working copy's path for this program: next to the program file, or in
// the state folder when that folder is not writable or the program is an
// installed one (installedProgram()).
std::string workingCopyPathFor(Platform& platform);

// File names between the core (local 8-bit names) and Qt.
std::string toPath(const QString& path);
QString fromPath(const std::string& path);

} // namespace zorv
