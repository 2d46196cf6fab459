#pragma once
// The resume window `showresume`: shows the message that a user's resume
// number names in the resume conference. Created once at start-up, shown
// modally by the main window's "Read resume", which reads the stored record
// into the session's record first.

#include "platform/platform.h"
#include "session/editsession.h"
#include "settings/registry.h"

#include <QDialog>

#include <string>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace zorv {

class Tshowresume : public QDialog {
    Q_OBJECT

  public:
    // `fileopen` is the main window's open dialog, shared with its other choices.
    Tshowresume(const EditSession& session, Platform& platform, RegistryKey& settings,
                FileDialog& fileopen, QWidget* parent = nullptr);

    QLabel* lab1;          // the heading
    QPlainTextEdit* Memo1; // the lines
    QPushButton* Button1;  // "Close"

    // The resume conference last read: the settings value `Resume`.
    std::string confBase;

    // The heading as read; lab1 shortens it when the window is too narrow.
    const QString& heading() const { return heading_; }
    // How often the window has loaded (or tried to) since it was made.
    int activations() const { return activations_; }

    void FormCreate();
    void FormActivate();
    void FormResize();
    void FormClose();

    // The outer size, as stored in r.width and r.height.
    QSize outerSize() const;

  protected:
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void done(int result) override;

  private:
    void setHeading(const QString& text);
    void applyOuterSize(QSize outer);
    int s(int designPixels) const;

    const EditSession& session_;
    Platform& platform_;
    RegistryKey& settings_;
    FileDialog& fileopen_;
    QString heading_;
    QSize pendingOuter_; // restored outer size, applied once the frame is known
    double scale_ = 1.0;
    int activations_ = 0;
};

} // namespace zorv
