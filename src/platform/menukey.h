#pragma once
// Shift+F10 opens the focused control's context menu, as the Menu key does:
// many keyboards have no Menu key, and Qt sends its event only for that key.

namespace zorv {

// Idempotent; the windows call it when they are built.
void routeShiftF10ToContextMenu();

} // namespace zorv
