#include "userfile/codetables.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace zorv;

TEST(CodeTables, TerminalTypeSkipsCodeTwoBothWays) {
    EXPECT_EQ(codeToItem(CodeListId::ttype, 0), 0);
    EXPECT_EQ(codeToItem(CodeListId::ttype, 1), 1);
    EXPECT_EQ(codeToItem(CodeListId::ttype, 2), -1);
    EXPECT_EQ(codeToItem(CodeListId::ttype, 3), 2);
    EXPECT_EQ(codeToItem(CodeListId::ttype, 4), 3);
    for (unsigned code = 5; code < 16; ++code)
        EXPECT_EQ(codeToItem(CodeListId::ttype, code), -1) << code;

    EXPECT_EQ(itemToCode(CodeListId::ttype, 0), 0u);
    EXPECT_EQ(itemToCode(CodeListId::ttype, 1), 1u);
    EXPECT_EQ(itemToCode(CodeListId::ttype, 2), 3u);
    EXPECT_EQ(itemToCode(CodeListId::ttype, 3), 4u);
    EXPECT_EQ(codeList(CodeListId::ttype).items[3], "RIP");
}

TEST(CodeTables, EveryItemRoundTripsThroughItsCode) {
    for (CodeListId id : codeListFillOrder()) {
        const auto& list = codeList(id);
        for (int item = 0; item < static_cast<int>(list.items.size()); ++item) {
            const unsigned code = itemToCode(id, item);
            if (id == CodeListId::statcb && item == 0) {
                EXPECT_EQ(code, kNoCode);
                continue;
            }
            ASSERT_NE(code, kNoCode) << list.control << ' ' << item;
            EXPECT_EQ(codeToItem(id, code), item) << list.control << ' ' << item;
        }
    }
}

TEST(CodeTables, CodesWithoutAnItemShowNoSelection) {
    EXPECT_EQ(codeToItem(CodeListId::charset, 10), 10);
    EXPECT_EQ(codeToItem(CodeListId::charset, 11), -1);
    EXPECT_EQ(codeToItem(CodeListId::editor, 4), -1);
    EXPECT_EQ(codeToItem(CodeListId::readmode, 3), -1);
    EXPECT_EQ(codeToItem(CodeListId::grab, 7), -1);
    EXPECT_EQ(codeToItem(CodeListId::prot, 9), -1);
    EXPECT_EQ(codeToItem(CodeListId::packing, 8), -1);
    EXPECT_EQ(codeToItem(CodeListId::status, 4), -1);
    EXPECT_EQ(codeToItem(CodeListId::status, 255), -1);
    // No selection (-1) or an index past the list has no code to store.
    EXPECT_EQ(itemToCode(CodeListId::charset, -1), kNoCode);
    EXPECT_EQ(itemToCode(CodeListId::charset, 11), kNoCode);
}

TEST(CodeTables, MenuLevelIsTheExpertBitAndStatusFilterIsShiftedByOne) {
    EXPECT_EQ(codeToItem(CodeListId::menulev, 1), 0); // Expert
    EXPECT_EQ(codeToItem(CodeListId::menulev, 0), 1); // Novice
    EXPECT_EQ(itemToCode(CodeListId::menulev, 0), 1u);
    EXPECT_EQ(itemToCode(CodeListId::menulev, 1), 0u);

    EXPECT_EQ(codeList(CodeListId::statcb).items[0], "Don't care");
    EXPECT_EQ(itemToCode(CodeListId::statcb, 3), 2u); // "Killed"
    EXPECT_EQ(codeToItem(CodeListId::statcb, 2), 3);
    EXPECT_EQ(codeToItem(CodeListId::statcb, 4), -1);
}

TEST(CodeTables, FillOrderNamesAndTextsAreTheWindowsOwn) {
    const char* expected[] = {"ttype", "charset", "editor",  "menulev", "lang",   "readmode",
                              "grab",  "prot",    "packing", "access",  "status", "statcb"};
    const auto& order = codeListFillOrder();
    std::set<CodeListId> seen;
    for (std::size_t i = 0; i < order.size(); ++i) {
        EXPECT_STREQ(codeList(order[i]).control, expected[i]);
        EXPECT_EQ(codeList(order[i]).id, order[i]);
        seen.insert(order[i]);
    }
    EXPECT_EQ(seen.size(), kCodeListCount);
    EXPECT_EQ(codeList(CodeListId::access).items[3], "Up & Down");
    EXPECT_EQ(codeList(CodeListId::packing).items.size(), 8u);
    EXPECT_EQ(codeList(CodeListId::prot).items[5], "Ymodem Batch");
    EXPECT_EQ(codeList(CodeListId::charset).items.size(), 11u);
}

TEST(CodeTables, ListsStoredInTheRecordNameTheirField) {
    EXPECT_EQ(codeFieldOf(CodeListId::ttype)->offset, 143u);
    EXPECT_EQ(codeFieldOf(CodeListId::editor)->shift, 4u);
    EXPECT_EQ(codeFieldOf(CodeListId::grab)->offset, 147u);
    EXPECT_EQ(codeFieldOf(CodeListId::prot)->offset, 149u);
    EXPECT_EQ(codeFieldOf(CodeListId::packing)->offset, 148u);
    EXPECT_EQ(codeFieldOf(CodeListId::status)->offset, 142u);
    EXPECT_EQ(codeFieldOf(CodeListId::menulev), nullptr);
    EXPECT_EQ(codeFieldOf(CodeListId::access), nullptr);
    EXPECT_EQ(codeFieldOf(CodeListId::statcb), nullptr);
}
