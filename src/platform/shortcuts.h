#pragma once
// The keyboard shortcuts of a window's popup menus, looked up the way the
// program's users expect: first in the popup menu of the control that has the
// focus, then in the window's own; and before the focused edit field's own
// keys (Ctrl+V saves the file instead of pasting; keys no menu claims, such as
// Ctrl+C, stay with the field).
//
// Qt's shortcut map cannot express this (a widget-level and a window-level
// shortcut on the same key are ambiguous, and edit fields claim standard keys
// through ShortcutOverride), so the dispatcher takes the keys itself: it
// accepts the ShortcutOverride of a key some menu claims, which keeps Qt's map
// out, and triggers the action on the KeyPress that follows.

#include <QKeySequence>
#include <QObject>

#include <map>

class QAction;
class QMenu;
class QWidget;

namespace zorv {

class ShortcutDispatcher : public QObject {
  public:
    ShortcutDispatcher(QWidget* window, QMenu* windowMenu);
    ~ShortcutDispatcher() override;

    void setControlMenu(QWidget* control, QMenu* menu);

    // The enabled action `key` means while `focus` has the focus, or nullptr.
    QAction* lookup(QWidget* focus, const QKeySequence& key) const;

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QWidget* window_;
    QMenu* windowMenu_;
    std::map<QWidget*, QMenu*> controlMenus_;
};

} // namespace zorv
