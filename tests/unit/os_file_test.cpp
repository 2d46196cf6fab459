// The file layer's backend: what the core relies on of each call.

#include "os/file.h"
#include "tempdir.h"
#include "userfile/errors.h"
#include "userfile/privatefile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

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
    std::error_code linkFailed;
    std::filesystem::create_symlink(path, tmp.file("link"), linkFailed);
#ifdef _WIN32
    if (linkFailed)
        GTEST_SKIP() << "making a symbolic link takes a privilege this account lacks";
#endif
    ASSERT_FALSE(linkFailed) << linkFailed.message();
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
#ifndef _WIN32 // Windows keeps the name until the last handle goes
    EXPECT_FALSE(os::pathNames(path, h));
#endif
    os::close(h);
    EXPECT_FALSE(os::exists(path));
    EXPECT_FALSE(os::listFolder(tmp.file("none"), names));
}

// The save journal's life: made as a locked temp, renamed into its name while
// open, removed by that name while still open and locked.
TEST(OsFileTest, AnOpenLockedFileRenamedIntoAFreeNameIsRemovedByIt) {
    zorvtest::TempDir tmp;
    std::string temp;
    const os::Handle h = os::createTemp(tmp.file(".t-j."), temp);
    ASSERT_TRUE(os::isOpen(h));
    ASSERT_EQ(os::lockWriters(h, true), os::Lock::Held);
    ASSERT_TRUE(os::writeAt(h, "journal", 7, 0));
    ASSERT_TRUE(os::flush(h));
    const std::string journal = tmp.file("u.dat.journal");
    ASSERT_TRUE(os::renameIntoFreeName(temp, journal));
    os::FileInfo a, b;
    ASSERT_TRUE(os::info(h, a));
    ASSERT_TRUE(os::linkInfoOf(journal, b));
    EXPECT_TRUE(os::sameFile(a, b));
    EXPECT_TRUE(os::remove(journal)) << os::errorText(errno);
    os::close(h);
    EXPECT_FALSE(os::exists(journal));
    std::vector<std::string> names;
    ASSERT_TRUE(os::listFolder(tmp.path(), names));
    EXPECT_TRUE(names.empty());
}

TEST(OsFileTest, ReadsOfARefusedRangeFailAsALockedRangeDoes) {
    zorvtest::TempDir tmp;
    const std::string path = make(tmp.file("f"), std::string(1000, 'r'));
    const os::Handle h = os::open(path, os::kRead);
    ASSERT_TRUE(os::isOpen(h));
    char buf[300];
    os::refuseReadsForTesting(path, 273, 273, 2);
    EXPECT_EQ(os::readAt(h, buf, 273, 0), 273) << "the record before is free";
    errno = 0;
    EXPECT_EQ(os::readAt(h, buf, 300, 0), -1) << "a read that reaches into the range";
    EXPECT_EQ(errno, EAGAIN);
    EXPECT_EQ(os::readAt(h, buf, 273, 273), -1);
    EXPECT_EQ(os::readAt(h, buf, 273, 273), 273) << "both refusals used up";
    os::refuseReadsForTesting(path, 0, 273);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(os::readAt(h, buf, 1, 10), -1) << "refused until cleared";
    os::refuseReadsForTesting(path, 0, 0);
    EXPECT_EQ(os::readAt(h, buf, 1, 10), 1);
    os::close(h);
}

#ifdef _WIN32

// What the board does on Windows: its own handle, its own sharing and locks.
HANDLE boardOpens(const std::string& path, DWORD share) {
    const std::wstring w(path.begin(), path.end());
    return CreateFileW(w.c_str(), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

TEST(OsFileWindowsTest, ABoardThatSharesNoWritingRefusesOpensAndReplacesWithItsOwnWords) {
    zorvtest::TempDir tmp;
    const std::string path = make(tmp.file("zorvuser.dat"), std::string(546, 'u'));
    const std::string other = make(tmp.file("new"), "n");
    const HANDLE board = boardOpens(path, FILE_SHARE_READ);
    ASSERT_NE(board, INVALID_HANDLE_VALUE);
    errno = 0;
    EXPECT_FALSE(os::isOpen(os::open(path, os::kReadWrite)));
    EXPECT_EQ(errno, os::kInUse);
    EXPECT_NE(os::errorText(errno).find("another program"), std::string::npos);
    EXPECT_FALSE(os::rename(other, path));
    EXPECT_TRUE(os::exists(other)) << "the new file stays where it was";
    CloseHandle(board);
    EXPECT_EQ(contentOf(path), std::string(546, 'u')) << "the board's file untouched";
    EXPECT_TRUE(os::rename(other, path)) << "once the board lets go";
    EXPECT_EQ(contentOf(path), "n");
}

TEST(OsFileWindowsTest, RecordLocksOfTheBoardRefuseOurReadsOfThoseRecordsOnly) {
    zorvtest::TempDir tmp;
    const std::string path = make(tmp.file("zorvuser.dat"), std::string(819, 'u'));
    const HANDLE board = boardOpens(path, FILE_SHARE_READ | FILE_SHARE_WRITE);
    ASSERT_NE(board, INVALID_HANDLE_VALUE);
    OVERLAPPED second{};
    second.Offset = 273;
    ASSERT_TRUE(LockFileEx(board, LOCKFILE_EXCLUSIVE_LOCK, 0, 273, 0, &second));
    const os::Handle h = os::open(path, os::kReadWrite);
    ASSERT_TRUE(os::isOpen(h));
    EXPECT_EQ(os::lockRange(h, 273, 273, true), os::Lock::Busy);
    EXPECT_EQ(os::lockRange(h, 0, 273, true), os::Lock::Held);
    EXPECT_EQ(os::lockWriters(h), os::Lock::Held) << "the writers' byte lies past every record";
    char buf[273];
    EXPECT_EQ(os::readAt(h, buf, 273, 546), 273);
    UnlockFileEx(board, 0, 273, 0, &second);
    CloseHandle(board);
    os::close(h);
}

// A private folder is its owner's alone, as its DACL tells.
TEST(OsFileWindowsTest, PrivacyIsReadFromTheFoldersDacl) {
    zorvtest::TempDir tmp;
    ASSERT_TRUE(os::makeFolder(tmp.file("mine")));
    os::FileInfo st;
    ASSERT_TRUE(os::infoOf(tmp.file("mine"), st));
    EXPECT_EQ(st.kind, os::Kind::Folder);
    EXPECT_EQ(st.mode & 022, 0u) << "a private folder has no writers but its owner";
    EXPECT_TRUE(os::ownedByMe(st));

    // A folder open to every user is refused: tests/tool/windows_parity_test.sh
    // makes one (chmod 0777, which wine gives an Everyone entry) for the tool.
    EXPECT_NO_THROW(checkPrivateFolder(tmp.file("mine")));
}

#endif
