// The descriptor a live compare reads the working copy through, on its thread,
// while the window goes on saving and opening.

#include "editor/ui/livewatch.h"
#include "fixture.h"
#include "tempdir.h"
#include "userfile/userfile.h"
#include "userfile/workingcopy.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

using namespace zorvtest;
using namespace zorv;

namespace {

class CompareDescriptorTest : public ::testing::Test {
  protected:
    void SetUp() override {
        writeUserFile(userFile, plainUsers(3));
        wc.loadFrom(userFile);
    }
    TempDir dir;
    const std::string userFile = dir.file("zorvuser.dat");
    WorkingCopy wc{dir.file("zorvedit.dat")};
};

TEST_F(CompareDescriptorTest, LeavesTheWorkingCopyFreeToBeReopenedMeanwhile) {
    const int fd = compareDescriptorOf(wc);
    ASSERT_GE(fd, 0);
    // What Save File (closed around its questions) and opening another file
    // do while a compare still reads.
    wc.close();
    EXPECT_NO_THROW(wc.open());
    EXPECT_NO_THROW(wc.loadFrom(userFile));
    // Still the copy's file, read-only.
    Record r{};
    ASSERT_EQ(::pread(fd, r.data(), kRecordSize, kRecordSize), static_cast<ssize_t>(kRecordSize));
    EXPECT_EQ(r, plainUser("USER 1"));
    EXPECT_LT(::pwrite(fd, r.data(), kRecordSize, 0), 0);
    ::close(fd);
}

TEST_F(CompareDescriptorTest, NoneForAClosedCopyOrAnythingElseAtItsName) {
    const std::string name = wc.path();
    const std::string moved = dir.file("moved.dat");
    wc.close();
    EXPECT_EQ(compareDescriptorOf(wc), -1);
    wc.open();

    // Another file renamed over the copy's name, then a link to the copy's
    // own file, then a FIFO, which must not block.
    ASSERT_EQ(std::rename(name.c_str(), moved.c_str()), 0);
    writeFileBytes(name, std::string(kRecordSize, 'x'));
    EXPECT_EQ(compareDescriptorOf(wc), -1);
    ASSERT_EQ(::unlink(name.c_str()), 0);
    ASSERT_EQ(::symlink(moved.c_str(), name.c_str()), 0);
    EXPECT_EQ(compareDescriptorOf(wc), -1);
    ASSERT_EQ(::unlink(name.c_str()), 0);
    ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0);
    EXPECT_EQ(compareDescriptorOf(wc), -1);
}

} // namespace
