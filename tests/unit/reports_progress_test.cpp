// The builders' progress reports: what the windows' progress bar moves by.

#include "demodata.h"
#include "reports/reportrows.h"
#include "tempdir.h"
#include "userfile/blockreader.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

TEST(BuildProgress, BothBuildersReportNowAndThenAndFillTheSameRows) {
    zorvtest::TempDir dir;
    const std::string path = zorvtool::writeDemoUserFile(dir.path(), 33000, 3);
    for (int which = 0; which < 2; ++which) {
        std::vector<std::pair<int, int>> told;
        auto progress = [&told](int done, int total) { told.emplace_back(done, total); };
        zorv::SortGrid quiet(1, 1), reported(1, 1);
        zorv::BlockReader a(path), b(path);
        if (which == 0) {
            const zorv::UserListColumns cols(zorv::ListOptions{});
            zorv::buildUserList(quiet, cols, a);
            zorv::buildUserList(reported, cols, b, progress);
        } else {
            zorv::buildStatistics(quiet, a);
            zorv::buildStatistics(reported, b, progress);
        }
        // Rarely enough to cost nothing, often enough to move a bar.
        EXPECT_EQ(told,
                  (std::vector<std::pair<int, int>>{{0, 33000}, {16384, 33000}, {32768, 33000}}));
        ASSERT_EQ(reported.RowCount(), 33001);
        for (int r : {0, 1, 20000, 33000})
            for (int c = 0; c < reported.ColCount(); ++c)
                EXPECT_EQ(reported.Cell(c, r), quiet.Cell(c, r));
    }
}

} // namespace
