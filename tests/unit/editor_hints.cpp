#include "editor/hints.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace zorv;

TEST(FieldHints, EachControlHasOneEntryAndDropDownsReactToFocus) {
    std::set<std::string> seen;
    int focus = 0, clear = 0, tips = 0;
    for (const auto& h : fieldHints()) {
        EXPECT_TRUE(seen.insert(h.control).second) << h.control;
        if (h.event == HintEvent::Focus)
            ++focus;
        if (h.event == HintEvent::Clear) {
            ++clear;
            EXPECT_STREQ(h.status, "");
        } else {
            EXPECT_STRNE(h.status, "") << h.control;
        }
        if (h.toolTip)
            ++tips;
    }
    // 11 code drop-downs + statcb + the track bar take the focus event.
    EXPECT_EQ(focus, 13);
    EXPECT_EQ(clear, 10);
    EXPECT_EQ(tips, 9);
    EXPECT_EQ(fieldHint("bar")->event, HintEvent::Focus);
    EXPECT_EQ(fieldHint("statcb")->event, HintEvent::Focus);
    EXPECT_EQ(fieldHint("Name")->event, HintEvent::MouseMove);
}

TEST(FieldHints, SampleTextsAndToolTips) {
    EXPECT_STREQ(fieldHint("about")->status, "Display the about box...Check it out..");
    EXPECT_STREQ(fieldHint("about")->toolTip, "About this program");
    EXPECT_STREQ(fieldHint("open")->toolTip, "Open new userfile.");
    EXPECT_STREQ(fieldHint("resume")->status, fieldHint("resume1")->status);
    EXPECT_EQ(fieldHint("Name")->toolTip, nullptr);
    EXPECT_STREQ(fieldHint("packing")->status, "Select preffered packing.");
    EXPECT_EQ(fieldHint("TabSheet2")->event, HintEvent::Clear);
    EXPECT_EQ(fieldHint("Label1"), nullptr);
}
