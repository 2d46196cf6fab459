#include "components/hintstyle.h"

#include <charconv>
#include <cmath>

namespace zorv {

const HintStyleInfo& hintStyleInfo(HintStyle style) {
    static const HintStyleInfo flat{6, 4, HintFrame::WindowFrame, 0, false};
    static const HintStyleInfo lifted{6, 6, HintFrame::Lifted, 1, true};
    static const HintStyleInfo classic{8, 4, HintFrame::Lifted, 0, false};
    switch (style) {
    case HintStyle::hsFlat:
        return flat;
    case HintStyle::hsLifted:
        return lifted;
    case HintStyle::hsClassic:
        break;
    }
    return classic;
}

HintRect placeHint(HintStyle style, int cursorX, int cursorY, int cursorOffset, int textWidth,
                   int textHeight, int screenRight) {
    const HintStyleInfo& s = hintStyleInfo(style);
    HintRect r;
    r.left = cursorX;
    r.top = cursorY + cursorOffset + s.topOffset;
    r.right = r.left + textWidth + s.extraWidth;
    r.bottom = r.top + textHeight + s.extraHeight;
    if (r.right > screenRight) {
        const int shift = r.right - screenRight;
        r.left -= shift;
        r.right -= shift;
    }
    return r;
}

int hintTextTop(int clientHeight, int textHeight) {
    return (clientHeight - textHeight) / 2;
}

int hintCursorOffset(std::string_view setting, double devicePixelRatio) {
    int size = 24;
    int parsed = 0;
    const char* end = setting.data() + setting.size();
    const auto [ptr, ec] = std::from_chars(setting.data(), end, parsed);
    if (ec == std::errc() && ptr == end && parsed >= 8 && parsed <= 512)
        size = parsed;
    // The arrow of a cursor theme ends about three quarters down its square,
    // counted from a hot spot near the top.
    const double offset = size * 0.75 / (devicePixelRatio > 0 ? devicePixelRatio : 1.0);
    return static_cast<int>(std::lround(offset));
}

std::string hintFontFamily(HintStyle style, const std::string& desktopFamily,
                           bool tahomaInstalled) {
    if (hintStyleInfo(style).preferTahoma && desktopFamily == "MS Sans Serif" && tahomaInstalled)
        return "Tahoma";
    return desktopFamily;
}

} // namespace zorv
