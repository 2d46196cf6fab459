#include "scripted_prompts.h"
#include "tempdir.h"
#include "userfile/errors.h"
#include "userfile/replacement.h"
#include "userfile/savefile.h"
#include "userfile/userfile.h"
#include "userfile/workingcopypath.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

using namespace zorv;
using zorvtest::readFileBytes;
using zorvtest::ScriptedPrompts;
using zorvtest::TempDir;
using zorvtest::writeFileBytes;

namespace {

// n records, record i filled with bytes i*3+k so every record and byte differs.
std::string recordsBytes(int n, int salt = 0) {
    std::string out;
    for (int i = 0; i < n; ++i)
        for (std::size_t k = 0; k < kRecordSize; ++k)
            out += static_cast<char>(i * 3 + static_cast<int>(k) + salt);
    return out;
}

Record recordFrom(const std::string& bytes, int index) {
    Record r{};
    std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(index * kRecordSize), kRecordSize,
                r.begin());
    return r;
}

int ioCode(const std::function<void()>& f) {
    try {
        f();
    } catch (const IoError& e) {
        return e.code();
    }
    return 0;
}

std::vector<std::string> listDir(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..")
                names.push_back(e->d_name);
        ::closedir(d);
    }
    return names;
}

ino_t inodeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_ino;
}

// Mounts that only exist for one test (root only). The process gets a mount
// namespace of its own where it can, so nothing leaks into the machine.
class ScopedMount {
  public:
    static std::optional<ScopedMount> tmpfs(const std::string& dir, const char* size) {
        ownNamespace();
        const std::string opts = std::string("size=") + size;
        if (::mount("tmpfs", dir.c_str(), "tmpfs", 0, opts.c_str()) != 0)
            return std::nullopt;
        return ScopedMount(dir);
    }
    static std::optional<ScopedMount> bind(const std::string& from, const std::string& onto) {
        ownNamespace();
        if (::mount(from.c_str(), onto.c_str(), nullptr, MS_BIND, nullptr) != 0)
            return std::nullopt;
        return ScopedMount(onto);
    }
    static std::optional<ScopedMount> readOnlyBind(const std::string& dir) {
        ownNamespace();
        if (::mount(dir.c_str(), dir.c_str(), nullptr, MS_BIND, nullptr) != 0)
            return std::nullopt;
        ScopedMount m(dir);
        if (::mount(nullptr, dir.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
            return std::nullopt; // m unmounts the plain bind
        return m;
    }
    ScopedMount(ScopedMount&& o) noexcept : dir_(std::exchange(o.dir_, {})) {}
    ScopedMount& operator=(ScopedMount&& o) noexcept {
        std::swap(dir_, o.dir_);
        return *this;
    }
    ~ScopedMount() {
        if (!dir_.empty())
            ::umount2(dir_.c_str(), MNT_DETACH);
    }

  private:
    explicit ScopedMount(std::string dir) : dir_(std::move(dir)) {}
    static void ownNamespace() {
        static const bool done = [] {
            if (::unshare(CLONE_NEWNS) != 0)
                return false;
            return ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
        }();
        (void)done;
    }
    std::string dir_;
};

// A folder where new files cannot be made: chmod for ordinary users, a
// read-only bind mount for root (who ignores permission bits).
struct ReadOnlyFolder {
    std::optional<ScopedMount> mount;
    bool ok = false;
    explicit ReadOnlyFolder(const std::string& dir) {
        if (::geteuid() != 0)
            ::chmod(dir.c_str(), 0555);
        else
            mount = ScopedMount::readOnlyBind(dir);
        const std::string probe = dir + "/probe";
        const int fd = ::open(probe.c_str(), O_CREAT | O_WRONLY, 0644);
        ok = fd < 0;
        if (fd >= 0) {
            ::close(fd);
            ::unlink(probe.c_str());
        }
    }
};

struct SessionTest : ::testing::Test {
    TempDir tmp;
    std::string userFile = tmp.file("zorvuser.dat");
    std::string copyPath = tmp.file("zorvedit.dat");
    ScriptedPrompts prompts;
    UserFileSession s;

    void SetUp() override {
        s.userFileName = userFile;
        s.workingCopy.setPath(copyPath);
        s.backups = 0; // backups have tests of their own
    }
    // Loads a user file of n records and marks a change in record 1.
    void loadAndChange(int n = 3) {
        writeFileBytes(userFile, recordsBytes(n));
        loadAndChangeLoaded();
    }
    // The same for the user file as it is.
    void loadAndChangeLoaded() {
        ASSERT_TRUE(loadUserFile(s, prompts));
        Record r{};
        s.workingCopy.readRecord(1, r);
        r[0] = 'Z';
        s.workingCopy.writeRecord(1, r);
        s.userFileChanged = true;
    }
};

} // namespace

TEST(WorkingCopyPath, ExtensionReplacedOrAppended) {
    TempDir tmp;
    EXPECT_EQ(workingCopyPath(tmp.file("zorvedit.exe"), tmp.file("state")),
              tmp.file("zorvedit.dat"));
    EXPECT_EQ(workingCopyPath(tmp.file("zorvedit"), tmp.file("state")), tmp.file("zorvedit.dat"));
    EXPECT_EQ(workingCopyPath(tmp.file("zorv.edit"), ""), tmp.file("zorv.edit.dat"));
    EXPECT_EQ(workingCopyPath(tmp.file("a.b/zorvedit"), ""), tmp.file("a.b/zorvedit.dat"));
    // Never the program file itself.
    EXPECT_EQ(workingCopyPath(tmp.file("odd.dat"), ""), tmp.file("odd.dat.dat"));
    EXPECT_FALSE(zorvtest::fileExists(tmp.file("state"))); // fallback not made when unused
}

TEST(WorkingCopyPath, UnwritableProgramFolderUsesTheStateFolder) {
    TempDir tmp;
    // /proc/self takes no new files, even from root.
    const std::string state = tmp.file("state/zorvedit");
    EXPECT_EQ(workingCopyPath("/proc/self/zorvedit", state), state + "/zorvedit.dat");
    EXPECT_TRUE(zorvtest::fileExists(state)); // created with its parents

    const std::string bin = tmp.file("bin");
    ::mkdir(bin.c_str(), 0755);
    ReadOnlyFolder ro(bin);
    if (!ro.ok)
        GTEST_SKIP() << "cannot make a read-only folder here";
    EXPECT_EQ(workingCopyPath(bin + "/zorvedit", state), state + "/zorvedit.dat");
}

// Root may write /usr/bin: an installed program is told by its desktop entry
// beside it, not by its folder's permissions.
TEST(WorkingCopyPath, InstalledProgramUsesTheStateFolder) {
    TempDir tmp;
    const std::string bin = tmp.file("usr/bin");
    const std::string state = tmp.file("state/zorvedit");
    std::filesystem::create_directories(bin);
    std::filesystem::create_directories(tmp.file("usr/share/applications"));
    const std::string program = bin + "/zorvedit";
    EXPECT_FALSE(installedProgram(program));
    EXPECT_EQ(workingCopyPath(program, state, installedProgram(program)), bin + "/zorvedit.dat");

    writeFileBytes(tmp.file("usr/share/applications/invalid.zorv_bbs.zorvedit.desktop"),
                   "[Desktop Entry]\n");
    EXPECT_TRUE(installedProgram(program));
    EXPECT_EQ(workingCopyPath(program, state, installedProgram(program)), state + "/zorvedit.dat");
    EXPECT_FALSE(installedProgram(tmp.file("usr/zorvedit"))) << "only beside its own prefix";
}

TEST_F(SessionTest, RecordsAreWholeAndTrailingBytesNeverTouched) {
    const std::string bytes = recordsBytes(5) + std::string(100, '\x7E');
    writeFileBytes(copyPath, bytes);
    s.workingCopy.open();
    EXPECT_EQ(s.workingCopy.recordCount(), 5);
    Record r{};
    s.workingCopy.readRecord(4, r);
    EXPECT_EQ(r, recordFrom(bytes, 4));
    EXPECT_EQ(ioCode([&] { s.workingCopy.readRecord(5, r); }), kReadBeyondEnd);
    EXPECT_EQ(ioCode([&] { s.workingCopy.readRecord(-1, r); }), kReadBeyondEnd);
    EXPECT_EQ(ioCode([&] { s.workingCopy.writeRecord(5, r); }), kReadBeyondEnd);
    EXPECT_EQ(ioCode([&] { s.workingCopy.writeRecord(-1, r); }), kReadBeyondEnd);

    r.fill(0xEE);
    s.workingCopy.writeRecord(2, r);
    s.workingCopy.flush();
    std::string expected = bytes;
    expected.replace(2 * kRecordSize, kRecordSize, std::string(kRecordSize, '\xEE'));
    EXPECT_EQ(readFileBytes(copyPath), expected);
    try {
        s.workingCopy.readRecord(7, r);
    } catch (const IoError& e) {
        EXPECT_STREQ(e.what(), "Read beyond end of file");
    }
}

TEST_F(SessionTest, ClosedCopyReportsItsOwnError) {
    Record r{};
    EXPECT_EQ(ioCode([&] { s.workingCopy.recordCount(); }), kFileNotOpen);
    EXPECT_EQ(ioCode([&] { s.workingCopy.readRecord(0, r); }), kFileNotOpen);
    EXPECT_EQ(ioCode([&] { s.workingCopy.open(); }), kFileNotFound); // no file yet
    EXPECT_FALSE(s.workingCopy.isOpen());
}

TEST_F(SessionTest, SecondEditorCannotTakeOverAHeldCopy) {
    loadAndChange();
    const std::string held = readFileBytes(copyPath);
    writeFileBytes(userFile, recordsBytes(2, 99));

    WorkingCopy other(copyPath); // a second open file description
    try {
        other.loadFrom(userFile);
        FAIL() << "took over the working copy";
    } catch (const IoError& e) {
        EXPECT_EQ(e.code(), kFileAccessDenied);
        EXPECT_NE(std::string(e.what()).find("another running editor"), std::string::npos);
    }
    EXPECT_FALSE(other.isOpen());
    EXPECT_EQ(readFileBytes(copyPath), held); // the first editor's changes are intact
    EXPECT_EQ(ioCode([&] { other.open(); }), kFileAccessDenied);

    // A second process is refused the same way.
    const pid_t pid = ::fork();
    if (pid == 0) {
        WorkingCopy wc(copyPath);
        _exit(ioCode([&] { wc.open(); }) == kFileAccessDenied ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    s.workingCopy.close();
    EXPECT_NO_THROW(other.open());
}

TEST_F(SessionTest, LoadReplacesTheCopyOfAnEarlierRun) {
    writeFileBytes(copyPath, recordsBytes(9, 50)); // stale, longer
    writeFileBytes(userFile, recordsBytes(3));
    s.currentIndex = 2;
    s.userFileChanged = true;
    ASSERT_TRUE(loadUserFile(s, prompts));
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(readFileBytes(copyPath), recordsBytes(3));
    EXPECT_EQ(s.currentIndex, 0);
    EXPECT_FALSE(s.userFileChanged);
    EXPECT_EQ(s.recordBuffer, recordFrom(recordsBytes(3), 0));
    EXPECT_EQ(s.workingCopy.recordCount(), 3);
}

TEST_F(SessionTest, MissingUserFileIsReportedAndNothingOpened) {
    writeFileBytes(copyPath, recordsBytes(2));
    EXPECT_FALSE(loadUserFile(s, prompts));
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].kind, "message");
    EXPECT_EQ(prompts.shown[0].title, "Error");
    EXPECT_EQ(prompts.shown[0].text, "Finner ikke filen...");
    EXPECT_FALSE(s.workingCopy.isOpen());
    EXPECT_EQ(readFileBytes(copyPath), recordsBytes(2));
}

TEST_F(SessionTest, ShortOrEmptyUserFileLoadsButRecordZeroIsBeyondTheEnd) {
    for (std::size_t size : {std::size_t{0}, std::size_t{100}, kRecordSize - 1}) {
        writeFileBytes(userFile, std::string(size, 'x'));
        EXPECT_EQ(ioCode([&] { loadUserFile(s, prompts); }), kReadBeyondEnd) << size;
        EXPECT_EQ(s.workingCopy.recordCount(), 0);
        EXPECT_EQ(readFileBytes(copyPath), std::string(size, 'x'));
    }
}

TEST_F(SessionTest, FailedCopyAtStartUpLeavesNoStaleCopyOpen) {
    // A stale copy from an earlier run, then a user file whose read fails.
    writeFileBytes(copyPath, recordsBytes(4));
    s.userFileName = "/proc/self/mem"; // exists, but reading offset 0 is an I/O error
    const int code = ioCode([&] { loadUserFile(s, prompts); });
    EXPECT_NE(code, 0);
    EXPECT_FALSE(s.workingCopy.isOpen());
    EXPECT_EQ(readFileBytes(copyPath), ""); // no half copy that looks like data
    Record r{};
    EXPECT_EQ(ioCode([&] { s.workingCopy.readRecord(0, r); }), kFileNotOpen);

    // A working copy folder that is gone.
    writeFileBytes(userFile, recordsBytes(2));
    s.userFileName = userFile;
    s.workingCopy.setPath(tmp.file("gone/zorvedit.dat"));
    EXPECT_EQ(ioCode([&] { loadUserFile(s, prompts); }), kFileNotFound);
    EXPECT_FALSE(s.workingCopy.isOpen());
}

TEST_F(SessionTest, FullDiskAtStartUpIsReported) {
    writeFileBytes(userFile, recordsBytes(2));
    // A device is no place for a copy of the user file, and stays as it is.
    s.workingCopy.setPath("/dev/full");
    EXPECT_EQ(ioCode([&] { loadUserFile(s, prompts); }), kFileAccessDenied);
    EXPECT_FALSE(s.workingCopy.isOpen());
    struct stat dev {};
    EXPECT_EQ(::stat("/dev/full", &dev), 0);
    EXPECT_TRUE(S_ISCHR(dev.st_mode));

    const std::string small = tmp.file("small");
    ::mkdir(small.c_str(), 0755);
    auto m = ScopedMount::tmpfs(small, "16k");
    if (!m)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    writeFileBytes(userFile, recordsBytes(80)); // 21840 bytes
    s.workingCopy.setPath(small + "/zorvedit.dat");
    EXPECT_EQ(ioCode([&] { loadUserFile(s, prompts); }), kDiskFull);
    EXPECT_FALSE(s.workingCopy.isOpen());
    EXPECT_EQ(readFileBytes(small + "/zorvedit.dat"), "");
}

TEST_F(SessionTest, SaveWithoutChangesDoesNothing) {
    writeFileBytes(userFile, recordsBytes(3));
    ASSERT_TRUE(loadUserFile(s, prompts));
    const ino_t before = inodeOf(userFile);
    saveToUserFile(s, prompts);
    EXPECT_EQ(inodeOf(userFile), before);
    EXPECT_TRUE(prompts.shown.empty());
}

TEST_F(SessionTest, SaveCopiesBackOnceKeepingPermissions) {
    loadAndChange();
    ::chmod(userFile.c_str(), 0640);
    s.currentIndex = 2;
    s.recordBuffer.fill(0);
    saveToUserFile(s, prompts);
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_FALSE(s.userFileChanged);
    EXPECT_EQ(readFileBytes(userFile), readFileBytes(copyPath));
    EXPECT_EQ(readFileBytes(userFile)[kRecordSize], 'Z');
    struct stat st {};
    ::stat(userFile.c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_TRUE(s.workingCopy.isOpen());
    EXPECT_EQ(s.recordBuffer, recordFrom(readFileBytes(copyPath), 2)); // re-read
    // Still held: no second editor slipped in during the copy.
    EXPECT_EQ(ioCode([&] { WorkingCopy(copyPath).open(); }), kFileAccessDenied);

    // A second save has nothing to do, even if the BBS changed the file since.
    writeFileBytes(userFile, "changed by the BBS");
    saveToUserFile(s, prompts);
    EXPECT_EQ(readFileBytes(userFile), "changed by the BBS");
    for (const auto& name : listDir(tmp.path())) // the writers' lock stays for good
        EXPECT_TRUE(name == "zorvuser.dat" || name == "zorvedit.dat" || name == "zorvuser.dat.lock")
            << name;
}

namespace {

// Checks the outcome of a copy back that could not be done.
void expectFailedSave(UserFileSession& s, ScriptedPrompts& prompts, int records = 3) {
    ASSERT_FALSE(prompts.shown.empty());
    const auto& last = prompts.shown.back();
    EXPECT_EQ(last.kind, "warning");
    // The second line says what failed, and where.
    EXPECT_EQ(last.text.rfind("Unable to save userfile\n", 0), 0u);
    EXPECT_NE(last.text.find(s.userFileName), std::string::npos) << last.text;
    EXPECT_TRUE(s.userFileChanged);
    EXPECT_TRUE(s.workingCopy.isOpen());
    EXPECT_EQ(s.workingCopy.recordCount(), records);
}

} // namespace

TEST_F(SessionTest, FailedSaveWarnsAndKeepsChangesMarked) {
    loadAndChange();
    // The user file's folder has gone away.
    s.userFileName = tmp.file("gone/zorvuser.dat");
    saveToUserFile(s, prompts);
    expectFailedSave(s, prompts);

    // A folder that refuses new files whatever the privileges (sysfs).
    prompts.shown.clear();
    if (zorvtest::fileExists("/sys/kernel")) {
        s.userFileName = "/sys/kernel/zorvuser.dat";
        prompts.choices = {0}; // gone: write it whole
        saveToUserFile(s, prompts);
        expectFailedSave(s, prompts);
        EXPECT_EQ(ioCode([&] { replaceFileAtomically(copyPath, s.userFileName); }),
                  kFileAccessDenied);
    }
}

TEST_F(SessionTest, ReadOnlyUserFileIsReportedWithItsCause) {
    loadAndChange();
    ::chmod(userFile.c_str(), 0444);
    std::optional<ScopedMount> ro;
    if (::geteuid() == 0)
        ro = ScopedMount::readOnlyBind(userFile);
    if (::access(userFile.c_str(), W_OK) == 0)
        GTEST_SKIP() << "cannot make a read-only file here";
    saveToUserFile(s, prompts);
    expectFailedSave(s, prompts);
    EXPECT_EQ(readFileBytes(userFile), recordsBytes(3));
    if (ro) { // the cause, beside the old text
        EXPECT_NE(prompts.shown.back().text.find("File access denied (read-only file system)"),
                  std::string::npos)
            << prompts.shown.back().text;
    }
}

TEST_F(SessionTest, WritableUserFileInAReadOnlyFolderIsSavedInPlace) {
    const std::string dir = tmp.file("bbs");
    ::mkdir(dir.c_str(), 0755);
    const std::string state = tmp.file("state/not/yet");
    userFile = s.userFileName = dir + "/zorvuser.dat";
    s.backups = 1;
    s.backupDir = state;
    writeFileBytes(userFile, recordsBytes(3));
    // Root ignores folder permissions: a read-only mount of the folder with a
    // writable file mounted onto the user file stands in for it.
    std::optional<ScopedMount> fileMount;
    if (::geteuid() == 0) {
        const std::string real = tmp.file("real.dat");
        writeFileBytes(real, recordsBytes(3));
        fileMount = ScopedMount::bind(real, userFile);
        if (!fileMount)
            GTEST_SKIP() << "cannot bind-mount here";
    }
    loadAndChangeLoaded();
    ReadOnlyFolder ro(dir);
    if (!ro.ok)
        GTEST_SKIP() << "cannot make a read-only folder here";
    std::optional<ScopedMount> fileMountAgain; // the file's own mount stays writable
    if (fileMount)
        fileMountAgain = ScopedMount::bind(tmp.file("real.dat"), userFile);
    if (::access(userFile.c_str(), W_OK) != 0)
        GTEST_SKIP() << "cannot keep the user file writable here";
    const ino_t inode = inodeOf(userFile);
    saveToUserFile(s, prompts);
    EXPECT_TRUE(prompts.shown.empty()) << prompts.shown[0].text;
    EXPECT_FALSE(s.userFileChanged);
    EXPECT_EQ(readFileBytes(userFile)[kRecordSize], 'Z');
    EXPECT_EQ(inodeOf(userFile), inode) << "written in place";
    // The backup went to the state folder.
    EXPECT_EQ(readFileBytes(state + "/zorvuser.dat.bak"), recordsBytes(3));
}

TEST_F(SessionTest, BackupOnAFullDiskStopsTheSaveBeforeAnyWrite) {
    const std::string dir = tmp.file("bbs");
    ::mkdir(dir.c_str(), 0755);
    auto m = ScopedMount::tmpfs(dir, "16k");
    if (!m)
        GTEST_SKIP() << "cannot mount a tmpfs here";
    userFile = s.userFileName = dir + "/zorvuser.dat";
    s.backups = 2;
    writeFileBytes(dir + "/filler", std::string(4096, 'x'));
    loadAndChange(30); // 8 KB: no room for a second copy
    saveToUserFile(s, prompts);
    expectFailedSave(s, prompts, 30);
    EXPECT_NE(prompts.shown[0].text.find("backup"), std::string::npos) << prompts.shown[0].text;
    EXPECT_EQ(readFileBytes(userFile), recordsBytes(30));
    for (const auto& name : listDir(dir)) // no temp file left
        EXPECT_TRUE(name == "zorvuser.dat" || name == "filler" || name == "zorvuser.dat.lock")
            << name;
}

TEST_F(SessionTest, ExitAsksOnlyWhenChanged) {
    writeFileBytes(userFile, recordsBytes(3));
    ASSERT_TRUE(loadUserFile(s, prompts));
    EXPECT_TRUE(copyBackOnExit(s, prompts));
    EXPECT_TRUE(prompts.shown.empty());

    loadAndChange();
    prompts.choices = {1}; // No
    EXPECT_TRUE(copyBackOnExit(s, prompts));
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].title, "Confirm");
    EXPECT_EQ(prompts.shown[0].text, "Save zorvuser.dat file?");
    EXPECT_EQ(prompts.shown[0].buttons, (std::vector<std::string>{"Yes", "No", "Cancel"}));
    EXPECT_EQ(readFileBytes(userFile), recordsBytes(3));

    // Cancel: the program stays, nothing copied, the changes still unsaved.
    prompts.choices = {2};
    EXPECT_FALSE(copyBackOnExit(s, prompts));
    EXPECT_EQ(readFileBytes(userFile), recordsBytes(3));
    EXPECT_TRUE(s.userFileChanged);

    prompts.choices = {0};
    EXPECT_TRUE(copyBackOnExit(s, prompts));
    EXPECT_EQ(readFileBytes(userFile), readFileBytes(copyPath));
    EXPECT_FALSE(s.userFileChanged);
}

TEST_F(SessionTest, FailedCopyAtExitIsReported) {
    loadAndChange();
    s.userFileName = tmp.file("gone/zorvuser.dat");
    prompts.choices = {0};
    EXPECT_FALSE(copyBackOnExit(s, prompts));
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[1].kind, "warning");
    EXPECT_EQ(prompts.shown[1].text, "Unable to save userfile\nFile not found: " + s.userFileName);
    EXPECT_TRUE(s.userFileChanged);
}

TEST(ReplaceFile, NewFileTakesTheSourcesPermissionsAndLinksStayLinks) {
    TempDir tmp;
    writeFileBytes(tmp.file("src"), "new");
    ::chmod(tmp.file("src").c_str(), 0604);
    replaceFileAtomically(tmp.file("src"), tmp.file("dst"));
    struct stat st {};
    ::stat(tmp.file("dst").c_str(), &st);
    EXPECT_EQ(st.st_mode & 07777, 0604u);

    writeFileBytes(tmp.file("target"), "old");
    ASSERT_EQ(::symlink("target", tmp.file("link").c_str()), 0);
    replaceFileAtomically(tmp.file("src"), tmp.file("link"));
    struct stat lst {};
    ::lstat(tmp.file("link").c_str(), &lst);
    EXPECT_TRUE(S_ISLNK(lst.st_mode));
    EXPECT_EQ(readFileBytes(tmp.file("target")), "new");
}

TEST(ReplaceFile, FailureJustBeforeTheRenameLeavesOldFileAndNoTemp) {
    TempDir tmp;
    writeFileBytes(tmp.file("src"), recordsBytes(4));
    writeFileBytes(tmp.file("dst"), recordsBytes(2));
    setReplaceHookForTesting([](const std::string&) { throw IoError(kDiskFull); });
    EXPECT_EQ(ioCode([&] { replaceFileAtomically(tmp.file("src"), tmp.file("dst")); }), kDiskFull);
    setReplaceHookForTesting(nullptr);
    EXPECT_EQ(readFileBytes(tmp.file("dst")), recordsBytes(2));
    EXPECT_EQ(listDir(tmp.path()).size(), 2u);
}

TEST(ReplaceFile, CrashBetweenWriteAndRenameLeavesTheOldFileWhole) {
    TempDir tmp;
    const std::string src = tmp.file("zorvedit.dat");
    const std::string dst = tmp.file("zorvuser.dat");
    writeFileBytes(src, recordsBytes(6, 1));
    writeFileBytes(dst, recordsBytes(3));

    const pid_t pid = ::fork();
    if (pid == 0) {
        setReplaceHookForTesting([](const std::string&) { ::raise(SIGKILL); });
        try {
            replaceFileAtomically(src, dst);
        } catch (...) {
        }
        _exit(3); // not reached when the hook ran
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    EXPECT_EQ(readFileBytes(dst), recordsBytes(3));
    // The new content exists only under a hidden temporary name.
    for (const auto& name : listDir(tmp.path()))
        if (name != "zorvuser.dat" && name != "zorvedit.dat") {
            EXPECT_EQ(name.rfind(".zorvedit-tmp-zorvuser.dat.", 0), 0u) << name;
        }

    // The next copy back works as usual and takes the dead writer's temp
    // away; a file of that shape still locked by a live writer stays.
    const std::string live = tmp.file(".zorvedit-tmp-zorvuser.dat.abcdef");
    writeFileBytes(live, "busy");
    const int liveFd = ::open(live.c_str(), O_RDONLY);
    ASSERT_EQ(::flock(liveFd, LOCK_EX), 0);
    const pid_t holder = ::fork(); // flock belongs to the open file, shared with the child
    if (holder == 0) {
        ::pause();
        _exit(0);
    }
    ::close(liveFd);
    writeFileBytes(tmp.file(".zorvedit-tmp-other.dat.abcdef"), "not ours to judge");
    writeFileBytes(tmp.file(".zorvuser.dat.abcdef"), "another program's");
    replaceFileAtomically(src, dst);
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    EXPECT_EQ(readFileBytes(dst), recordsBytes(6, 1));
    auto names = listDir(tmp.path());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{
                         ".zorvedit-tmp-other.dat.abcdef", ".zorvedit-tmp-zorvuser.dat.abcdef",
                         ".zorvuser.dat.abcdef", "zorvedit.dat", "zorvuser.dat"}));
}

TEST_F(SessionTest, AfterAFailedLoadNothingIsEverCopiedBack) {
    // A board file loaded, then a switch whose copy fails: the working copy is
    // left empty, and a later Save User only marks a change that never landed.
    loadAndChange();
    const std::string before = readFileBytes(userFile);
    EXPECT_NE(ioCode([&] { s.workingCopy.loadFrom("/proc/self/mem"); }), 0);
    EXPECT_EQ(readFileBytes(copyPath), "");
    s.userFileChanged = true;

    saveToUserFile(s, prompts);
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text,
              "Unable to save userfile\nThe working copy holds no loaded user file.");
    EXPECT_TRUE(s.userFileChanged);

    prompts.answers = {true};
    EXPECT_TRUE(copyBackOnExit(s, prompts)); // nothing to save, nothing asked
    EXPECT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(readFileBytes(userFile), before);
}

TEST_F(SessionTest, UserFileThatIsItsOwnWorkingCopyKeepsEverySave) {
    // The operator opened the working copy's own file (or a link to it): the
    // changes are already in the user file, and the held copy must stay it.
    userFile = s.userFileName = copyPath;
    loadAndChange();
    saveToUserFile(s, prompts);
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_FALSE(s.userFileChanged);

    Record r{};
    s.workingCopy.readRecord(2, r);
    r[0] = 'Y';
    s.workingCopy.writeRecord(2, r);
    s.userFileChanged = true;
    saveToUserFile(s, prompts);
    EXPECT_TRUE(prompts.shown.empty());
    const std::string saved = readFileBytes(userFile);
    ASSERT_EQ(saved.size(), 3 * kRecordSize);
    EXPECT_EQ(saved[kRecordSize], 'Z');
    EXPECT_EQ(saved[2 * kRecordSize], 'Y');
}

TEST(WriteUserFile, WritesWholeAndLeavesNeighboursAlone) {
    TempDir tmp;
    const std::string file = tmp.file("zorvuser.dat");
    // A file of the sysop's that merely has a name like a temporary one.
    writeFileBytes(file + ".new", "keep me");
    writeUserFile(file, {recordFrom(recordsBytes(2), 0), recordFrom(recordsBytes(2), 1)});
    EXPECT_EQ(readFileBytes(file), recordsBytes(2));
    EXPECT_EQ(readFileBytes(file + ".new"), "keep me");
    EXPECT_EQ(listDir(tmp.path()).size(), 2u);

    // A folder that is gone: the error, and nothing made.
    EXPECT_EQ(ioCode([&] { writeUserFile(tmp.file("gone/zorvuser.dat"), {Record{}}); }),
              kFileNotFound);
}

TEST_F(SessionTest, AFifoInPlaceOfTheUserFileIsRefusedNotWaitedOn) {
    // Nobody writes to the FIFO: opening it for reading would block forever.
    ASSERT_EQ(::mkfifo(userFile.c_str(), 0644), 0);
    EXPECT_EQ(ioCode([&] { loadUserFile(s, prompts); }), kFileAccessDenied);
    EXPECT_FALSE(s.workingCopy.isOpen());
    EXPECT_EQ(ioCode([&] { countRecords(userFile); }), kFileAccessDenied);
    try {
        countRecords(userFile);
    } catch (const IoError& e) {
        EXPECT_STREQ(e.what(), "File access denied (a FIFO)");
    }
}

TEST(ReplaceFile, ATempWhoseNameNeverHoldsItGivesUpAndLeavesNothing) {
    // A file system whose names never agree with the files open on them (or
    // a cleanup that keeps taking the temp): a few tries, then a message.
    TempDir tmp;
    writeFileBytes(tmp.file("dst"), "old");
    static int tries;
    tries = 0;
    setTempHookForTesting([](const std::string& temp) {
        ++tries;
        ::unlink(temp.c_str());
        writeFileBytes(temp, "someone else's"); // same name, another file
    });
    try {
        replaceFileWithBytes(tmp.file("dst"), "new");
        ADD_FAILURE() << "written through a temp that was not ours";
    } catch (const IoError& e) {
        EXPECT_NE(std::string(e.what()).find("kept being removed or replaced"), std::string::npos)
            << e.what();
    }
    setTempHookForTesting(nullptr);
    EXPECT_GT(tries, 1);
    EXPECT_LT(tries, 10);
    EXPECT_EQ(readFileBytes(tmp.file("dst")), "old");
    EXPECT_EQ(listDir(tmp.path()), std::vector<std::string>{"dst"}) << "no temp left per try";
}

TEST_F(SessionTest, MessagesNameThePathAndTheReason) {
    // A user file name that names a folder.
    s.userFileName = tmp.path();
    EXPECT_FALSE(loadUserFile(s, prompts));
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].text,
              "Finner ikke filen...\n" + tmp.path() + " is a folder, not a user file.");

    // A working copy that cannot be made.
    writeFileBytes(userFile, recordsBytes(2));
    s.userFileName = userFile;
    s.workingCopy.setPath(tmp.file("gone/zorvedit.dat"));
    try {
        loadUserFile(s, prompts);
        ADD_FAILURE() << "no working copy, no load";
    } catch (const IoError& e) {
        EXPECT_EQ(e.code(), kFileNotFound);
        EXPECT_EQ(std::string(e.what()), "Cannot create the working copy " +
                                             tmp.file("gone/zorvedit.dat") +
                                             ": No such file or directory");
    }
}
