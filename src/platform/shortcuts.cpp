#include "platform/shortcuts.h"

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QWidget>

namespace zorv {

ShortcutDispatcher::ShortcutDispatcher(QWidget* window, QMenu* windowMenu)
    : QObject(window), window_(window), windowMenu_(windowMenu) {
    qApp->installEventFilter(this);
}

ShortcutDispatcher::~ShortcutDispatcher() {
    if (qApp)
        qApp->removeEventFilter(this);
}

void ShortcutDispatcher::setControlMenu(QWidget* control, QMenu* menu) {
    controlMenus_[control] = menu;
}

static QAction* findIn(const QMenu* menu, const QKeySequence& key) {
    if (!menu)
        return nullptr;
    for (QAction* a : menu->actions()) {
        if (a->menu()) {
            if (QAction* sub = findIn(a->menu(), key))
                return sub;
            continue;
        }
        if (!a->shortcut().isEmpty() && a->shortcut().matches(key) == QKeySequence::ExactMatch)
            return a->isEnabled() && a->isVisible() ? a : nullptr;
    }
    return nullptr;
}

QAction* ShortcutDispatcher::lookup(QWidget* focus, const QKeySequence& key) const {
    for (QWidget* w = focus; w && w != window_; w = w->parentWidget()) {
        const auto it = controlMenus_.find(w);
        if (it != controlMenus_.end()) {
            if (QAction* a = findIn(it->second, key))
                return a;
            break; // only the focused control's own menu, then the window's
        }
    }
    return findIn(windowMenu_, key);
}

bool ShortcutDispatcher::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::ShortcutOverride && type != QEvent::KeyPress)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != window_ || !window_->isEnabled())
        return false;
    auto* ke = static_cast<QKeyEvent*>(event);
    const Qt::KeyboardModifiers mods = ke->modifiers() & ~Qt::KeypadModifier;
    if (ke->key() == 0 || ke->key() == Qt::Key_unknown || mods == Qt::NoModifier)
        return false;
    QAction* action = lookup(widget, QKeySequence(QKeyCombination(mods, Qt::Key(ke->key()))));
    if (!action)
        return false;
    if (type == QEvent::ShortcutOverride) {
        event->accept(); // the key is ours: Qt's shortcut map stays out
        return true;
    }
    action->trigger();
    return true;
}

} // namespace zorv
