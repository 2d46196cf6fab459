// The file layer's backend: what the core relies on of each call.

#include "os/file.h"
#include "tempdir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

using namespace zorv;

namespace {

std::string make(const std::string& path, const std::string& bytes) {
    const os::Handle h = os::open(path, os::kReadWrite | os::kCreate | os::kExclusive);
    EXPECT_TRUE(os::isOpen(h)) << path;
    EXPECT_TRUE(os::writeAt(h, bytes.data(), bytes.size(), 0));
    os::close(h);
    return path;
}

std::string contentOf(const std::string& path) {
    std::string out;
    const os::Handle h = os::open(path, os::kRead);
    EXPECT_TRUE(os::isOpen(h) && os::readAll(h, out)) << path;
    os::close(h);
    return out;
}

} // namespace

TEST(OsFileTest, ReadsAtAnOffsetStopAtTheEndAndWritesGrowTheFile) {
    zorvtest::TempDir tmp;
    const std::string path = make(tmp.file("f"), "abcdef");
    const os::Handle h = os::open(path, os::kReadWrite);
    ASSERT_TRUE(os::isOpen(h));
    char buf[8] = {};
    EXPECT_EQ(os::readAt(h, buf, sizeof buf, 4), 2);
    EXPECT_EQ(std::string(buf, 2), "ef");
    EXPECT_EQ(os::readAt(h, buf, sizeof buf, 6), 0);
    ASSERT_TRUE(os::writeAt(h, "XY", 2, 8)); // past the end: a hole of zeros
    os::FileInfo info;
    ASSERT_TRUE(os::info(h, info));
    EXPECT_EQ(info.size, 10);
    EXPECT_EQ(info.kind, os::Kind::Regular);
    ASSERT_TRUE(os::truncate(h, 3));
    os::close(h);
    EXPECT_EQ(contentOf(path), "abc");
}

TEST(OsFileTest, OpensRefuseWhatTheirFlagsForbid) {
    zorvtest::TempDir tmp;
    const std::string path = make(tmp.file("f"), "x");
    errno = 0;
    EXPECT_FALSE(os::isOpen(os::open(path, os::kReadWrite | os::kCreate | os::kExclusive)));
    EXPECT_EQ(errno, EEXIST);
    ASSERT_EQ(::symlink(path.c_str(), tmp.file("link").c_str()), 0);
    errno = 0;
    EXPECT_FALSE(os::isOpen(os::open(tmp.file("link"), os::kRead | os::kNoFollow)));
    EXPECT_EQ(errno, ELOOP);
    // Looked at, a link is a link; followed, it is its file.
    os::FileInfo at, followed, file;
    ASSERT_TRUE(os::linkInfoOf(tmp.file("link"), at));
    ASSERT_TRUE(os::infoOf(tmp.file("link"), followed));
    ASSERT_TRUE(os::infoOf(path, file));
    EXPECT_EQ(at.kind, os::Kind::Link);
    EXPECT_TRUE(os::sameFile(followed, file));
    EXPECT_FALSE(os::sameFile(at, file));
    EXPECT_EQ(os::realPath(tmp.file("link")), os::realPath(path));
    EXPECT_FALSE(os::realPath(tmp.file("nothing")).has_value());
}

TEST(OsFileTest, ARenameIntoAFreeNameNeverReplaces) {
    zorvtest::TempDir tmp;
    make(tmp.file("a"), "new");
    make(tmp.file("b"), "old");
    errno = 0;
    EXPECT_FALSE(os::renameIntoFreeName(tmp.file("a"), tmp.file("b")));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_EQ(contentOf(tmp.file("b")), "old");
    EXPECT_EQ(contentOf(tmp.file("a")), "new");
    EXPECT_TRUE(os::renameIntoFreeName(tmp.file("a"), tmp.file("c")));
    EXPECT_FALSE(os::exists(tmp.file("a")));
    EXPECT_TRUE(os::rename(tmp.file("c"), tmp.file("b"))); // this one does replace
    EXPECT_EQ(contentOf(tmp.file("b")), "new");
}

TEST(OsFileTest, LocksBelongToTheHandleAndTheWritersLockLeavesRecordLocksAlone) {
    zorvtest::TempDir tmp;
    const std::string path = make(tmp.file("f"), std::string(600, 'u'));
    const os::Handle a = os::open(path, os::kReadWrite);
    const os::Handle b = os::open(path, os::kReadWrite);
    ASSERT_TRUE(os::isOpen(a) && os::isOpen(b));
    ASSERT_EQ(os::lockRange(a, 273, 273, true), os::Lock::Held);
    EXPECT_EQ(os::lockRange(b, 273, 273, false), os::Lock::Busy) << "two handles, one process";
    EXPECT_EQ(os::lockRange(b, 0, 273, true), os::Lock::Held) << "the record before is free";
    os::unlockRange(a, 273, 273);
    EXPECT_EQ(os::lockRange(b, 273, 273, false), os::Lock::Held);

    // The writers' lock on a handle that holds record locks, and on another.
    EXPECT_EQ(os::lockWriters(b), os::Lock::Held);
    EXPECT_EQ(os::lockWriters(a), os::Lock::Busy);
    os::unlockWriters(b);
    EXPECT_EQ(os::lockWriters(a), os::Lock::Held);
    os::close(a);
    os::close(b);
}

TEST(OsFileTest, TempsAndFolderListings) {
    zorvtest::TempDir tmp;
    std::string path;
    const os::Handle h = os::createTemp(tmp.file(".t-name."), path);
    ASSERT_TRUE(os::isOpen(h));
    EXPECT_EQ(path.size(), tmp.file(".t-name.").size() + 6);
    EXPECT_TRUE(os::pathNames(path, h));
    os::FileInfo info;
    ASSERT_TRUE(os::info(h, info));
    EXPECT_EQ(info.mode & 077, 0u) << "a temp is its user's alone";
    EXPECT_TRUE(os::ownedByMe(info));
    ASSERT_TRUE(os::makeFolder(tmp.file("sub")));
    EXPECT_TRUE(os::makeFolder(tmp.file("sub"))) << "an existing folder is no failure";
    std::vector<std::string> names;
    ASSERT_TRUE(os::listFolder(tmp.path(), names));
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{path.substr(tmp.path().size() + 1), "sub"}));
    EXPECT_TRUE(os::remove(path));
    EXPECT_FALSE(os::pathNames(path, h));
    os::close(h);
    EXPECT_FALSE(os::listFolder(tmp.file("none"), names));
}
