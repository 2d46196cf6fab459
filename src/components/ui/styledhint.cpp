#include "components/ui/styledhint.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTextDocumentFragment>
#include <QToolTip>

namespace zorv {

// ------------------------------------------------------------- the window

TStyledHintWindow::TStyledHintWindow()
    : QWidget(nullptr, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus) {
    setObjectName(QStringLiteral("StyledHintWindow"));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
}

void TStyledHintWindow::activateHint(const QString& text, QPoint cursor, HintStyle style,
                                     const QFont& font) {
    text_ = text;
    style_ = style;
    setFont(font);
    textSize_ = QFontMetrics(font).size(0, text);

    QScreen* screen = QGuiApplication::screenAt(cursor);
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect(0, 0, 1 << 20, 1 << 20);
    const int offset = hintCursorOffset(qgetenv("XCURSOR_SIZE").toStdString(),
                                        screen ? screen->devicePixelRatio() : 1.0);
    const HintRect r = placeHint(style, cursor.x(), cursor.y(), offset, textSize_.width(),
                                 textSize_.height(), area.x() + area.width());
    setGeometry(r.left, r.top, r.width(), r.height());
    // Qt composes every paint off-screen, so the window never needs a copy of
    // the screen beneath it to hide a half-drawn state.
    show();
    raise();
    update();
}

void TStyledHintWindow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const QPalette tip = QToolTip::palette();
    const QPalette app = QApplication::palette();
    const int L = 0, T = 0, R = width(), B = height();
    p.fillRect(rect(), tip.color(QPalette::ToolTipBase));

    const HintStyleInfo& info = hintStyleInfo(style_);
    const QColor first = info.frame == HintFrame::WindowFrame ? app.color(QPalette::WindowText)
                                                              : app.color(QPalette::Light);
    const QColor second = info.frame == HintFrame::WindowFrame ? app.color(QPalette::WindowText)
                                                               : app.color(QPalette::Shadow);
    // Left and top, then bottom and right, as 1-pixel lines.
    p.setPen(QPen(first, 0));
    p.drawLine(L, B - 2, L, T);
    p.drawLine(L, T, R - 2, T);
    p.setPen(QPen(second, 0));
    p.drawLine(L, B - 1, R - 1, B - 1);
    p.drawLine(R - 1, B - 1, R - 1, T);

    p.setFont(font());
    p.setPen(tip.color(QPalette::ToolTipText));
    const QRect box(L, T + hintTextTop(B - T, textSize_.height()), R - L, textSize_.height());
    // No mnemonic flag: an ampersand is shown as itself.
    p.drawText(box, Qt::AlignHCenter | Qt::AlignTop | Qt::TextDontClip, text_);
}

// ---------------------------------------------------------- the component

TStyledHint::TStyledHint(QObject* owner) : QObject(owner), window_(new TStyledHintWindow) {
    setObjectName(QStringLiteral("StyledHint1"));
    showTimer_.setSingleShot(true);
    hideTimer_.setSingleShot(true);
    connect(&showTimer_, &QTimer::timeout, this, &TStyledHint::showPending);
    connect(&hideTimer_, &QTimer::timeout, this, [this] {
        hideHint();
        expired_ = true;
        hintActive_ = false;
    });
    qApp->installEventFilter(this);
    UpdateHintFont();
}

TStyledHint::~TStyledHint() {
    qApp->removeEventFilter(this);
}

void TStyledHint::SetHintStyle(HintStyle style) {
    if (style == style_)
        return;
    style_ = style;
    UpdateHintFont();
}

void TStyledHint::UpdateHintFont() {
    ++derivations_;
    // The desktop's tool-tip font: on Windows its status-bar font.
    QFont f = QApplication::font("QTipLabel");
    const std::string desktop = f.family().toStdString();
    const bool wantsTahoma = hintStyleInfo(style_).preferTahoma && desktop == "MS Sans Serif";
    const bool tahoma = wantsTahoma && QFontDatabase::families().contains(QStringLiteral("Tahoma"));
    f.setFamilies({QString::fromStdString(hintFontFamily(style_, desktop, tahoma))});
    f.setUnderline(false);
    f.setStrikeOut(false);
    font_ = f;
}

QWidget* TStyledHint::hintTargetFor(QWidget* w) {
    for (; w; w = w->parentWidget()) {
        if (!w->toolTip().isEmpty())
            return w;
        if (w->isWindow())
            break;
    }
    return nullptr;
}

void TStyledHint::mouseMovedOver(QWidget* receiver, QPoint global) {
    cursor_ = global;
    QWidget* t = hintTargetFor(receiver);
    if (t == target_)
        return;
    const bool quick = hintActive_ && t;
    hideHint();
    showTimer_.stop();
    target_ = t;
    expired_ = false;
    if (!t) {
        hintActive_ = false;
        return;
    }
    showTimer_.start(quick ? timing_.shortPauseMs : timing_.pauseMs);
}

void TStyledHint::showPending() {
    if (!target_ || expired_ || !target_->isVisible())
        return;
    const QString text = target_->toolTip();
    if (text.isEmpty())
        return;
    showHint(text, cursor_);
}

void TStyledHint::showHint(const QString& text, QPoint cursor) {
    window_->activateHint(text, cursor, style_, font_);
    hintActive_ = true;
    hideTimer_.start(timing_.hideMs);
}

void TStyledHint::hideHint() {
    hideTimer_.stop();
    if (window_->isVisible())
        window_->hide();
}

void TStyledHint::cancelHint() {
    showTimer_.stop();
    hideHint();
    target_ = nullptr;
    hintActive_ = false;
}

// Tips that code shows through QToolTip: Qt's window stays off the screen and
// ours shows its text for as long as it lives.
void TStyledHint::takeOverQtTip(QObject* o, QEvent* e) {
    auto* tip = static_cast<QLabel*>(o);
    if (e->type() == QEvent::Polish) {
        tip->setAttribute(Qt::WA_DontShowOnScreen);
    } else if (e->type() == QEvent::Show) {
        tip->setAttribute(Qt::WA_DontShowOnScreen);
        QString text = tip->text();
        if (Qt::mightBeRichText(text))
            text = QTextDocumentFragment::fromHtml(text).toPlainText();
        qtTip_ = tip;
        showTimer_.stop();
        showHint(text, QCursor::pos());
    } else if (e->type() == QEvent::Hide && qtTip_ == tip) {
        qtTip_ = nullptr;
        hideHint();
    }
}

bool TStyledHint::eventFilter(QObject* o, QEvent* e) {
    switch (e->type()) {
    case QEvent::ToolTip:
        // Widgets that carry a tool-tip get ours, on our timers; anything else
        // goes on to Qt (the parent, or a view's own item tips).
        if (o->isWidgetType() && !static_cast<QWidget*>(o)->toolTip().isEmpty()) {
            e->accept();
            return true;
        }
        break;
    case QEvent::MouseMove:
        if (o->isWidgetType()) {
            auto* me = static_cast<QMouseEvent*>(e);
            const QPoint global = me->globalPosition().toPoint();
            // A move that a widget passes on to its parent is the same move.
            if (me->timestamp() == lastMoveStamp_ && global == lastMovePos_)
                break;
            lastMoveStamp_ = me->timestamp();
            lastMovePos_ = global;
            if (me->buttons() != Qt::NoButton)
                cancelHint();
            else
                mouseMovedOver(static_cast<QWidget*>(o), global);
        }
        break;
    case QEvent::Leave:
        if (target_ && o->isWidgetType() &&
            (o == target_ || static_cast<QWidget*>(o)->isAncestorOf(target_))) {
            showTimer_.stop();
            hideHint();
            target_ = nullptr;
        }
        break;
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::Wheel:
    case QEvent::WindowDeactivate:
        if (o->isWidgetType() && o->objectName() != QLatin1String("StyledHintWindow"))
            cancelHint();
        break;
    case QEvent::ApplicationFontChange:
    case QEvent::ApplicationPaletteChange:
        if (o == qApp)
            UpdateHintFont();
        break;
    case QEvent::Polish:
    case QEvent::Show:
    case QEvent::Hide:
        if (o->inherits("QTipLabel"))
            takeOverQtTip(o, e);
        break;
    default:
        break;
    }
    return false;
}

} // namespace zorv
