#pragma once
// The styled tool-tips of the whole application. The main window carries one
// TStyledHint (`StyledHint1`); while it exists every tool-tip is shown in a
// TStyledHintWindow of its style instead of Qt's own tip, with the program's
// timings (components/hintstyle.h) and a font that follows the desktop's.
//
// Qt has no hook for its tip window: an application event filter takes the
// tool-tip events of widgets that carry a tool-tip, and tips that other code
// shows through QToolTip (item views, tab bars) are kept off the screen and
// shown in our window instead.

#include "components/hintstyle.h"

#include <QFont>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>

namespace zorv {

class TStyledHintWindow : public QWidget {
    Q_OBJECT

  public:
    TStyledHintWindow();

    // Shows `text` at the cursor (global position) in the given style and font.
    void activateHint(const QString& text, QPoint cursor, HintStyle style, const QFont& font);

    const QString& text() const { return text_; }
    HintStyle hintStyle() const { return style_; }
    QSize textSize() const { return textSize_; }

  protected:
    void paintEvent(QPaintEvent* e) override;

  private:
    QString text_;
    HintStyle style_ = HintStyle::hsClassic;
    QSize textSize_;
};

class TStyledHint : public QObject {
    Q_OBJECT

  public:
    explicit TStyledHint(QObject* owner);
    ~TStyledHint() override;

    HintStyle hintStyle() const { return style_; }
    void SetHintStyle(HintStyle style);
    // Re-derives the hint font from the desktop's.
    void UpdateHintFont();

    const QFont& hintFont() const { return font_; }
    // How often the font was derived, so that tests can see a change pass by.
    int fontDerivations() const { return derivations_; }
    TStyledHintWindow* hintWindow() const { return window_.get(); }
    // The control whose hint is pending or shown.
    QWidget* hintControl() const { return target_; }

    // Shows a hint now, as the timers do.
    void showHint(const QString& text, QPoint cursor);
    void hideHint();

    // For tests: the waits, in milliseconds.
    struct Timing {
        int pauseMs = kHintPause;           // resting over a control
        int shortPauseMs = kHintShortPause; // on to a neighbour of a shown hint
        int hideMs = kHintHidePause;        // how long a hint stays
    };
    void setTiming(const Timing& t) { timing_ = t; }

  protected:
    bool eventFilter(QObject* o, QEvent* e) override;

  private:
    static QWidget* hintTargetFor(QWidget* w);
    void mouseMovedOver(QWidget* receiver, QPoint global);
    void cancelHint();
    void showPending();
    void takeOverQtTip(QObject* tip, QEvent* e);

    HintStyle style_ = HintStyle::hsClassic;
    Timing timing_;
    QFont font_;
    int derivations_ = 0;
    std::unique_ptr<TStyledHintWindow> window_;
    QPointer<QWidget> target_;
    QPoint cursor_;
    bool hintActive_ = false; // a hint was shown and the mouse stayed on hinted controls
    bool expired_ = false;    // the shown hint timed out; wait for another control
    QTimer showTimer_;
    QTimer hideTimer_;
    quint64 lastMoveStamp_ = 0;
    QPoint lastMovePos_;
    QPointer<QObject> qtTip_; // Qt's own tip while we show its text
};

} // namespace zorv
