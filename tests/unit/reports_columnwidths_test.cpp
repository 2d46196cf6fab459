// Column widths in the settings store, as the report windows keep them.

#include "reports/columnwidths.h"
#include "settings/memorykey.h"

#include <gtest/gtest.h>

namespace zorv {
namespace {

TEST(ReportColumnWidths, InTheSettingsStoreOnlyWhenAskedFor) {
    MemoryRegistryKey key;
    key.keyExists = true;
    key.putText("col0", "120");
    key.putText("col1", "wide");
    key.putInteger("col2", 50);
    SortGrid g(4, 2);
    loadColumnWidths(g, key);
    EXPECT_EQ(g.ColWidth(0), 64); // Save is off
    g.ColumnSize = {true, "Software\\NV\\zorvedit", "Userlist"};
    loadColumnWidths(g, key);
    EXPECT_EQ(g.ColWidth(0), 120);
    EXPECT_EQ(g.ColWidth(1), 64);
    EXPECT_EQ(g.ColWidth(2), 64);
    EXPECT_EQ(g.ColWidth(3), 64);
    EXPECT_FALSE(key.isOpen());
    g.SetColWidth(3, 33);
    saveColumnWidths(g, key);
    EXPECT_EQ(key.get("col3"), (RegValue{kRegSz, "33"}));
    EXPECT_EQ(key.get("col1"), (RegValue{kRegSz, "64"}));
    EXPECT_FALSE(key.isOpen());
}

} // namespace
} // namespace zorv
