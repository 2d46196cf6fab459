#include "platform/enterkey.h"

#include <QKeyEvent>
#include <QPushButton>

namespace zorv {

namespace {

class EnterPresses : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() != QEvent::KeyPress)
            return false;
        const auto* k = static_cast<QKeyEvent*>(e);
        if ((k->key() != Qt::Key_Return && k->key() != Qt::Key_Enter) ||
            (k->modifiers() & ~Qt::KeypadModifier))
            return false;
        auto* b = static_cast<QPushButton*>(watched);
        if (b->isEnabled())
            b->click();
        return true;
    }
};

} // namespace

void enterPressesWhenFocused(QPushButton* b) {
    b->setDefault(false);
    b->setAutoDefault(false);
    b->installEventFilter(new EnterPresses(b));
}

} // namespace zorv
