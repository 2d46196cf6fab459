#pragma once
// The main window's one-line help texts: what the status bar shows when the
// mouse moves over a control or a control takes the focus, and the tool-tips.

#include <span>

namespace zorv {

enum class HintEvent {
    MouseMove, // every movement of the mouse over the control
    Focus,     // the control receives the keyboard focus (drop-downs, track bar)
    Clear,     // mouse move over a container: the bar is emptied
};

struct FieldHint {
    const char* control; // objectName
    HintEvent event;
    const char* status;  // "" for Clear
    const char* toolTip; // nullptr: the control shows none
};

// Every control with a text, then the containers that empty the bar. Controls
// not listed (labels among them) leave the bar alone.
std::span<const FieldHint> fieldHints();

// The entry for a control, or nullptr.
const FieldHint* fieldHint(const char* control);

} // namespace zorv
