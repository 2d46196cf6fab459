// Message lines as the OEM font showed them.

#include "resume/oemtext.h"

#include <gtest/gtest.h>

TEST(OemText, NordicLettersAndPlainText) {
    // cp865: 0x86 å, 0x91 æ, 0x9B ø, 0x8F Å, 0x92 Æ, 0x9D Ø
    EXPECT_EQ(zorv::oemLineToUtf8("bl\x86"
                                  "b\x91r p\x9B"
                                  " \x8F\x92\x9D"),
              "blåbær pø ÅÆØ");
    EXPECT_EQ(zorv::oemLineToUtf8(""), "");
}

TEST(OemText, ControlBytesAsTheFontsSymbolsTabKept) {
    EXPECT_EQ(zorv::oemLineToUtf8("\x01\x03\x06\x0E\x1A"), "☺♥♠♫→");
    EXPECT_EQ(zorv::oemLineToUtf8("a\tb"), "a\tb");
    // Line breaks inside a record stay on its memo line.
    EXPECT_EQ(zorv::oemLineToUtf8("a\rb\nc"), "a♪b◙c");
    EXPECT_EQ(zorv::oemLineToUtf8("\x7F"), "⌂");
    for (int b = 1; b < 0x20; ++b) {
        if (b == '\t')
            continue;
        EXPECT_GE(zorv::oemGlyph(static_cast<unsigned char>(b)), 0xA0u) << b;
    }
}
