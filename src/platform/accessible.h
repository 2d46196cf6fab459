#pragma once
// What a screen reader hears of the program's controls.
//
// Qt names a drop-down on Linux by its current item, so a reader announces
// "ANSI" where the sysop needs "Terminal type"; installAccessibleNames() makes
// drop-downs answer with their accessible name (or their label's text) and
// keep the item as their value. LinkLabel is told as a link that can be pressed.

#include <QString>

class QLabel;
class QWidget;

namespace zorv {

// Idempotent; every window calls it when it is built.
void installAccessibleNames();

// A label's caption as a name: without the mnemonic mark and the closing colon.
QString nameFromCaption(const QString& caption);

// `label`'s buddy takes the label's caption as its accessible name, unless it
// has one already.
void nameBuddy(QLabel* label);

} // namespace zorv
