// The styled tool-tip's placement, margins and font rule.

#include "components/hintstyle.h"

#include <gtest/gtest.h>

using zorv::HintStyle;

TEST(HintPlacement, BelowTheCursorByTheOffsetAndTheStyle) {
    zorv::HintRect r = zorv::placeHint(HintStyle::hsClassic, 100, 200, 18, 50, 13, 1280);
    EXPECT_EQ(r.left, 100);
    EXPECT_EQ(r.top, 218);
    EXPECT_EQ(r.width(), 58);
    EXPECT_EQ(r.height(), 17);
    // The lifted style sits one pixel lower.
    r = zorv::placeHint(HintStyle::hsLifted, 100, 200, 18, 50, 13, 1280);
    EXPECT_EQ(r.top, 219);
    EXPECT_EQ(r.width(), 56);
    EXPECT_EQ(r.height(), 19);
}

TEST(HintPlacement, RightEdgeMovesLeftBottomStays) {
    // Would end at 1250 + 58 = 1308: moved to end exactly on the screen's edge.
    zorv::HintRect r = zorv::placeHint(HintStyle::hsClassic, 1250, 1010, 18, 50, 13, 1280);
    EXPECT_EQ(r.right, 1280);
    EXPECT_EQ(r.left, 1222);
    EXPECT_EQ(r.width(), 58);
    EXPECT_EQ(r.top, 1028); // below a 1024-pixel screen: not moved up
    // Ending right on the edge is not moved.
    r = zorv::placeHint(HintStyle::hsClassic, 1222, 0, 18, 50, 13, 1280);
    EXPECT_EQ(r.left, 1222);
    // A second screen to the right: its right edge counts.
    r = zorv::placeHint(HintStyle::hsFlat, 2555, 0, 18, 50, 13, 2560);
    EXPECT_EQ(r.right, 2560);
    EXPECT_EQ(r.left, 2504);
}

TEST(HintPlacement, MarginsAreHalfTheExtraRoom) {
    struct Case {
        HintStyle style;
        int side, top;
    };
    for (const Case c : {Case{HintStyle::hsFlat, 3, 2}, Case{HintStyle::hsLifted, 3, 3},
                         Case{HintStyle::hsClassic, 4, 2}}) {
        const zorv::HintStyleInfo& s = zorv::hintStyleInfo(c.style);
        EXPECT_EQ(s.extraWidth / 2, c.side);
        const int h = 26; // two lines of 13
        EXPECT_EQ(zorv::hintTextTop(h + s.extraHeight, h), c.top);
    }
    EXPECT_EQ(zorv::hintStyleInfo(HintStyle::hsFlat).frame, zorv::HintFrame::WindowFrame);
    EXPECT_EQ(zorv::hintStyleInfo(HintStyle::hsLifted).frame, zorv::HintFrame::Lifted);
    EXPECT_EQ(zorv::hintStyleInfo(HintStyle::hsClassic).frame, zorv::HintFrame::Lifted);
    // Truncating division: one spare pixel goes below the text.
    EXPECT_EQ(zorv::hintTextTop(18, 13), 2);
}

TEST(HintPlacement, CursorOffsetFromTheDesktopCursorSize) {
    EXPECT_EQ(zorv::hintCursorOffset("", 1.0), 18); // 24 when unset
    EXPECT_EQ(zorv::hintCursorOffset("32", 1.0), 24);
    EXPECT_EQ(zorv::hintCursorOffset("48", 2.0), 18); // device pixels at 2x
    EXPECT_EQ(zorv::hintCursorOffset("big", 1.0), 18);
    EXPECT_EQ(zorv::hintCursorOffset("24px", 1.0), 18);
    EXPECT_EQ(zorv::hintCursorOffset("0", 1.0), 18);
}

TEST(HintFont, TahomaOnlyForTheLiftedStyle) {
    EXPECT_EQ(zorv::hintFontFamily(HintStyle::hsLifted, "MS Sans Serif", true), "Tahoma");
    EXPECT_EQ(zorv::hintFontFamily(HintStyle::hsLifted, "MS Sans Serif", false), "MS Sans Serif");
    EXPECT_EQ(zorv::hintFontFamily(HintStyle::hsClassic, "MS Sans Serif", true), "MS Sans Serif");
    EXPECT_EQ(zorv::hintFontFamily(HintStyle::hsFlat, "MS Sans Serif", true), "MS Sans Serif");
    EXPECT_EQ(zorv::hintFontFamily(HintStyle::hsLifted, "DejaVu Sans", true), "DejaVu Sans");
}
