#pragma once
// The styled tool-tip's look and placement, free of any window code so that
// its rules can be checked on their own.

#include <string>
#include <string_view>

namespace zorv {

enum class HintStyle { hsFlat = 0, hsLifted = 1, hsClassic = 2 };

enum class HintFrame {
    WindowFrame, // all four sides in the window-frame colour
    Lifted,      // left and top light, bottom and right dark shadow
};

struct HintStyleInfo {
    int extraWidth;
    int extraHeight;
    HintFrame frame;
    int topOffset; // added below the cursor
    bool preferTahoma;
};

const HintStyleInfo& hintStyleInfo(HintStyle style);

// A rectangle with exclusive right and bottom edges.
struct HintRect {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int width() const { return right - left; }
    int height() const { return bottom - top; }
};

// Where the hint goes: its top-left corner at the cursor, below the cursor by
// `cursorOffset` (plus the style's offset), as large as the text and the
// style's extra room. A hint that would pass the right edge of the cursor's
// screen is moved left to end on it; nothing else is adjusted.
HintRect placeHint(HintStyle style, int cursorX, int cursorY, int cursorOffset, int textWidth,
                   int textHeight, int screenRight);

// The top of the text box inside a hint of client height `clientHeight`: the
// text is centred, the division truncating.
int hintTextTop(int clientHeight, int textHeight);

// How far below the cursor's hot spot a hint starts, for the desktop's cursor
// size in device pixels (XCURSOR_SIZE; 24 when unset or unusable).
int hintCursorOffset(std::string_view cursorSizeSetting, double devicePixelRatio);

// The hint font's family: the desktop's, except that the lifted style takes
// "Tahoma" in place of "MS Sans Serif" when it is installed.
std::string hintFontFamily(HintStyle style, const std::string& desktopFamily, bool tahomaInstalled);

// The application's hint timings, in milliseconds.
inline constexpr int kHintPause = 500;      // resting over a control before its hint shows
inline constexpr int kHintShortPause = 25;  // moving from a shown hint to a neighbour's
inline constexpr int kHintHidePause = 5000; // how long a hint stays

} // namespace zorv
