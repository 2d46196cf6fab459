#pragma once
// The real platform: Qt's file dialogs, message boxes and input box, the local
// clock and the program's own path.

#include "platform/platform.h"

#include <QStringList>

namespace zorv {

// "Name|pattern|Name|pattern" as Qt name filters ("Name (pattern)"); a name
// that already ends with its pattern in brackets is kept as it is. "*.*"
// means every file, as it does on Windows.
QStringList qtNameFilters(const QString& filter);

class QtPlatform : public Platform {
  public:
    bool openFile(QWidget* parent, FileDialog& d) override;
    bool saveFile(QWidget* parent, FileDialog& d) override;
    void message(QWidget* parent, const QString& title, const QString& text,
                 MessageIcon icon) override;
    bool confirm(QWidget* parent, const QString& text) override;
    Answer confirmOrCancel(QWidget* parent, const QString& text) override;
    int choose(QWidget* parent, const QString& title, const QString& text,
               const QStringList& buttons) override;
    QString inputBox(QWidget* parent, const QString& title, const QString& prompt,
                     const QString& defaultText) override;
    Date today() override;
    QString programPath() override;
    QString stateDir() override;
    std::optional<MailHandler> mailHandler() override;
    void startProgram(QWidget* owner, const QString& program,
                      const QStringList& arguments) override;

    // Replaces the program's path (the working copy lies beside it).
    void setProgramPath(const QString& path) { programPath_ = path; }

  private:
    QString programPath_;
};

} // namespace zorv
