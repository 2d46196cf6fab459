#include "platform/linklabel.h"

#include "platform/accessible.h"

#include <QKeyEvent>
#include <QPainter>
#include <QPen>

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
    // Labels draw no focus, and some styles draw a focus frame only after
    // certain keys: without one the keyboard user cannot see where it is.
    QPainter p(this);
    QPen pen(palette().color(QPalette::Highlight));
    pen.setStyle(Qt::DotLine);
    p.setPen(pen);
    p.drawRect(rect().adjusted(0, 0, -1, -1));
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
