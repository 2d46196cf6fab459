#include "platform/menukey.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

namespace zorv {

namespace {

class ShiftF10 : public QObject {
  public:
    using QObject::QObject;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::KeyPress)
            return false;
        auto* ke = static_cast<QKeyEvent*>(event);
        if (ke->key() != Qt::Key_F10 ||
            (ke->modifiers() & ~Qt::KeypadModifier) != Qt::ShiftModifier)
            return false;
        auto* fw = qobject_cast<QWidget*>(watched);
        if (!fw || !fw->isEnabled() || QApplication::activePopupWidget())
            return false;
        // Where the Menu key's event points: the text cursor, or the middle
        // of a control without one.
        const QPoint pos = fw->inputMethodQuery(Qt::ImCursorRectangle).toRect().center();
        QContextMenuEvent menu(QContextMenuEvent::Keyboard, pos, fw->mapToGlobal(pos),
                               ke->modifiers());
        QCoreApplication::sendEvent(fw, &menu);
        return true;
    }
};

} // namespace

void routeShiftF10ToContextMenu() {
    static QPointer<ShiftF10> filter;
    if (filter || !qApp)
        return;
    filter = new ShiftF10(qApp);
    qApp->installEventFilter(filter);
}

} // namespace zorv
