#pragma once
// The context menu of an edit field in a window whose own shortcuts take
// Ctrl+V, Ctrl+X and Ctrl+A: Qt's menu names the first key of each edit
// command, which there does something else, so this one names the keys that
// still edit (Shift+Insert, Shift+Delete, Ctrl+Insert) and none for Select
// All. A read-only field offers Copy only.

class QLineEdit;
class QMenu;
class QPoint;

namespace zorv {

// Every context-menu request of `e` (mouse, Menu key) opens editMenuFor(e).
void useEditMenu(QLineEdit* e);

// The menu itself, deleted when it closes; its entries act on `e`.
QMenu* editMenuFor(QLineEdit* e);

} // namespace zorv
