#pragma once
// The about box `aboutbox1`: the program's name and version, a credit, a
// contact line that opens the desktop's mail program, and a wire-frame cube
// turning behind the controls. Fixed size; every opening starts the cube from
// the same picture.

#include "about/cube.h"
#include "about/mailcommand.h"
#include "platform/platform.h"

#include <QDialog>

#include <optional>

class QFrame;
class QLabel;
class QPushButton;
class QTimer;

namespace zorv {

class LinkLabel;

// The contact address of the about box and its mail link.
inline constexpr const char* kContactAddress = "zorvedit@zorv-bbs.invalid";

class Taboutbox1 : public QDialog {
    Q_OBJECT

  public:
    explicit Taboutbox1(Platform& platform, QWidget* parent = nullptr);

    QFrame* Panel1;
    QLabel* Label7; // "ZORV usereditor v1.8"
    QLabel* Label1; // the credit
    QFrame* Panel3;
    LinkLabel* l2; // the contact line; Enter or Space on it as a click
    QPushButton* Button1;
    QTimer* Timer1;

    // The animation, for tests and screenshots.
    const CubeAnimation& cube() const { return cube_; }

    void FormActivate();
    void Timer1Timer();
    void l2Click();
    // True while the click's look-up of the mail program runs.
    bool lookingUp() const { return lookingUp_; }

    // One display frame; the cube turns about 60 times a second.
    static constexpr int kFrameInterval = 16;

  protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override; // over the background
    bool eventFilter(QObject* o, QEvent* e) override;

  private:
    void setContactColour(const QColor& c);
    QRect eraseSquare() const;
    void startMailProgram(const std::optional<MailHandler>& handler);

    Platform& platform_;
    CubeAnimation cube_;
    bool lookingUp_ = false;
};

} // namespace zorv
