#include "platform/linklabel.h"

#include "platform/accessible.h"

#include <QKeyEvent>
#include <QStyleOptionFocusRect>
#include <QStylePainter>

namespace zorv {

LinkLabel::LinkLabel(const QString& text, QWidget* parent) : QLabel(text, parent) {
    installAccessibleNames();
    setFocusPolicy(Qt::StrongFocus);
}

void LinkLabel::keyPressEvent(QKeyEvent* e) {
    switch (e->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        if (e->modifiers() & ~Qt::KeypadModifier)
            break;
        e->accept();
        emit activated();
        return;
    default:
        break;
    }
    QLabel::keyPressEvent(e);
}

void LinkLabel::paintEvent(QPaintEvent* e) {
    QLabel::paintEvent(e);
    if (!hasFocus())
        return;
    // Labels draw no focus: without a frame the keyboard user cannot see it.
    QStylePainter p(this);
    QStyleOptionFocusRect o;
    o.initFrom(this);
    o.rect = contentsRect();
    o.backgroundColor = palette().color(backgroundRole());
    p.drawPrimitive(QStyle::PE_FrameFocusRect, o);
}

void LinkLabel::focusInEvent(QFocusEvent* e) {
    QLabel::focusInEvent(e);
    update();
}

void LinkLabel::focusOutEvent(QFocusEvent* e) {
    QLabel::focusOutEvent(e);
    update();
}

} // namespace zorv
