#pragma once
// Enter on a focused button presses it, in windows that have no default
// button: there Qt would make the first auto-default button the default, and
// Enter anywhere (in a grid, for one) would press it.

class QPushButton;

namespace zorv {

// `b` takes Return and Enter while it has the focus; it is neither a default
// nor an auto-default button.
void enterPressesWhenFocused(QPushButton* b);

} // namespace zorv
