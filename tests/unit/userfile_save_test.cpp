// Saving into a user file the board keeps writing: merge, questions, journal,
// crash recovery and backups.

#include "scripted_prompts.h"
#include "tempdir.h"
#include "userfile/errors.h"
#include "userfile/recordlock.h"
#include "userfile/usersave.h"
#include "userfile/workingcopy.h"

#include <gtest/gtest.h>

#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <vector>

using namespace zorv;
using zorvtest::readFileBytes;
using zorvtest::ScriptedPrompts;
using zorvtest::TempDir;
using zorvtest::writeFileBytes;

using zorvtest::bytesOf;

namespace {

Record user(int i, char salt = 'a') {
    Record r{};
    for (std::size_t k = 0; k < kRecordSize; ++k)
        r[k] = static_cast<std::uint8_t>(salt + i * 7 + static_cast<int>(k));
    r[0] = static_cast<std::uint8_t>('A' + i % 26); // a readable name
    r[1] = 0;
    return r;
}

std::vector<Record> usersOf(int n, char salt = 'a') {
    std::vector<Record> v;
    for (int i = 0; i < n; ++i)
        v.push_back(user(i, salt));
    return v;
}

// What another program (the board) does: write one record in place.
void boardWrites(const std::string& path, int index, const Record& r) {
    zorvtest::writeBytesAt(path, static_cast<long long>(index) * kRecordSize,
                           std::string_view(reinterpret_cast<const char*>(r.data()), kRecordSize));
}

void boardAppends(const std::string& path, const Record& r) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, r.data(), kRecordSize), static_cast<ssize_t>(kRecordSize));
    ::close(fd);
}

ino_t inodeOf(const std::string& path) {
    struct stat st {};
    ::stat(path.c_str(), &st);
    return st.st_ino;
}

std::vector<std::string> listDir(const std::string& dir) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.' ||
                (std::string(e->d_name) != "." && std::string(e->d_name) != ".."))
                names.push_back(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// One editor: its own working copy of the shared user file.
struct Editor {
    UserFileSession s;
    ScriptedPrompts prompts;
    Editor(const std::string& userFile, const std::string& copyPath) {
        s.userFileName = userFile;
        s.workingCopy.setPath(copyPath);
        s.backups = 0;
        EXPECT_TRUE(loadUserFile(s, prompts));
    }
    // Save User: the record as the operator left it.
    void edit(int index, const Record& r) {
        s.userFileChanged = true;
        s.workingCopy.writeRecord(index, r);
    }
    Record shown(int index) {
        Record r{};
        s.workingCopy.readRecord(index, r);
        return r;
    }
};

struct SaveTest : ::testing::Test {
    TempDir tmp;
    std::string userFile = tmp.file("zorvuser.dat");
    std::string copyA = tmp.file("a/zorvedit.dat");
    std::string copyB = tmp.file("b/zorvedit.dat");

    void SetUp() override {
        ::mkdir(tmp.file("a").c_str(), 0755);
        ::mkdir(tmp.file("b").c_str(), 0755);
        writeFileBytes(userFile, bytesOf(usersOf(8)));
        // A record a test holds locked costs this, not the board's seconds.
        setRecordLockWaitForTesting(100);
    }
    void TearDown() override { setRecordLockWaitForTesting(kRecordLockWaitMs); }
    std::vector<Record> onDisk() {
        const std::string b = readFileBytes(userFile);
        std::vector<Record> out(b.size() / kRecordSize);
        for (std::size_t i = 0; i < out.size(); ++i)
            std::copy_n(b.begin() + static_cast<std::ptrdiff_t>(i * kRecordSize), kRecordSize,
                        out[i].begin());
        return out;
    }
};

} // namespace

TEST_F(SaveTest, BoardChangesAndAppendedUsersSurviveTheSave) {
    Editor ed(userFile, copyA);
    const ino_t inode = inodeOf(userFile);
    boardWrites(userFile, 5, user(5, 'x'));
    boardAppends(userFile, user(8, 'n'));
    ed.edit(0, user(0, 'e'));

    EXPECT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Saved);
    EXPECT_TRUE(ed.prompts.shown.empty());
    std::vector<Record> want = usersOf(8);
    want[0] = user(0, 'e');
    want[5] = user(5, 'x');
    want.push_back(user(8, 'n'));
    EXPECT_EQ(onDisk(), want);
    EXPECT_EQ(inodeOf(userFile), inode) << "written in place: the board's open file is the file";
    EXPECT_FALSE(ed.s.userFileChanged);
    // The editor now shows the board's work, and the next save starts from it.
    EXPECT_EQ(ed.s.workingCopy.recordCount(), 9);
    EXPECT_EQ(ed.shown(5), user(5, 'x'));
    EXPECT_TRUE(ed.s.workingCopy.loadedBytes().empty());
    EXPECT_EQ(listDir(tmp.path()), (std::vector<std::string>{"a", "b", "zorvuser.dat"}));
    EXPECT_EQ(listDir(tmp.file("a")), std::vector<std::string>{"zorvedit.dat"}) << "no journal";
}

TEST_F(SaveTest, RecordsStoredUnchangedRaiseNoQuestion) {
    // Save User without edits (or toggling a status back) writes the loaded
    // bytes again: no change of the operator's, so the board's change stays.
    Editor ed(userFile, copyA);
    ed.edit(3, user(3));
    ed.edit(4, user(4, 'e'));
    ed.edit(4, user(4));
    boardWrites(userFile, 3, user(3, 'x'));
    boardWrites(userFile, 4, user(4, 'y'));
    EXPECT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Saved);
    EXPECT_TRUE(ed.prompts.shown.empty());
    EXPECT_EQ(onDisk()[3], user(3, 'x'));
    EXPECT_EQ(onDisk()[4], user(4, 'y'));
}

TEST_F(SaveTest, TwoEditorsOnDifferentUsersKeepBoth) {
    Editor a(userFile, copyA);
    Editor b(userFile, copyB);
    a.edit(0, user(0, 'A'));
    b.edit(1, user(1, 'B'));
    EXPECT_EQ(saveToUserFile(a.s, a.prompts), SaveOutcome::Saved);
    EXPECT_EQ(saveToUserFile(b.s, b.prompts), SaveOutcome::Saved);
    EXPECT_TRUE(a.prompts.shown.empty());
    EXPECT_TRUE(b.prompts.shown.empty());
    EXPECT_EQ(onDisk()[0], user(0, 'A'));
    EXPECT_EQ(onDisk()[1], user(1, 'B'));
    EXPECT_EQ(b.shown(0), user(0, 'A')) << "B now shows A's change";
}

TEST_F(SaveTest, TwoEditorsOnTheSameUserAsk) {
    struct Case {
        int answer;
        SaveOutcome outcome;
        char onDisk;
        bool stillChanged;
    };
    for (const Case c :
         {Case{0, SaveOutcome::Saved, 'B', false}, Case{1, SaveOutcome::Saved, 'A', false},
          Case{2, SaveOutcome::Cancelled, 'A', true}}) {
        SCOPED_TRACE(c.answer);
        writeFileBytes(userFile, bytesOf(usersOf(8)));
        auto a = std::make_unique<Editor>(userFile, copyA);
        auto b = std::make_unique<Editor>(userFile, copyB);
        a->edit(0, user(0, 'A'));
        b->edit(0, user(0, 'B'));
        b->edit(2, user(2, 'B')); // not disputed: written unless cancelled
        ASSERT_EQ(saveToUserFile(a->s, a->prompts), SaveOutcome::Saved);

        b->prompts.choices = {c.answer};
        EXPECT_EQ(saveToUserFile(b->s, b->prompts), c.outcome);
        ASSERT_EQ(b->prompts.shown.size(), 1u);
        EXPECT_EQ(b->prompts.shown[0].kind, "choose");
        EXPECT_NE(b->prompts.shown[0].text.find("  0  A\n"), std::string::npos)
            << "lists the user by number and name: " << b->prompts.shown[0].text;
        EXPECT_EQ(b->prompts.shown[0].text.find("  2"), std::string::npos);
        EXPECT_EQ(onDisk()[0], user(0, c.onDisk));
        EXPECT_EQ(onDisk()[2], c.outcome == SaveOutcome::Saved ? user(2, 'B') : user(2));
        EXPECT_EQ(b->s.userFileChanged, c.stillChanged);
        if (c.outcome == SaveOutcome::Saved)
            EXPECT_EQ(b->shown(0), user(0, c.onDisk));
        else
            EXPECT_EQ(b->shown(0), user(0, 'B')) << "cancel keeps the operator's work";
    }
}

TEST_F(SaveTest, ReplacedOrShortenedFileIsNotMerged) {
    for (bool replaced : {true, false}) {
        SCOPED_TRACE(replaced ? "replaced" : "shortened");
        writeFileBytes(userFile, bytesOf(usersOf(8)));
        Editor ed(userFile, copyA);
        ed.edit(6, user(6, 'e'));
        const auto boards = usersOf(replaced ? 9 : 5, 'p'); // a purge renumbered users
        if (replaced) {
            writeFileBytes(tmp.file("new"), bytesOf(boards));
            ASSERT_EQ(::rename(tmp.file("new").c_str(), userFile.c_str()), 0);
        } else {
            writeFileBytes(userFile, bytesOf(boards));
        }

        ed.prompts.choices = {1}; // cancel
        EXPECT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Cancelled);
        ASSERT_EQ(ed.prompts.shown.size(), 1u);
        EXPECT_NE(ed.prompts.shown[0].text.find(replaced ? "replaced" : "shorter"),
                  std::string::npos)
            << ed.prompts.shown[0].text;
        EXPECT_EQ(onDisk(), boards);
        EXPECT_TRUE(ed.s.userFileChanged);

        ed.prompts.choices = {0}; // overwrite with the editor's copy
        EXPECT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Saved);
        std::vector<Record> mine = usersOf(8);
        mine[6] = user(6, 'e');
        EXPECT_EQ(onDisk(), mine);
        EXPECT_FALSE(ed.s.userFileChanged);
        EXPECT_EQ(ed.s.workingCopy.source().inode, inodeOf(userFile));
    }
}

TEST_F(SaveTest, BackupsKeepTheFileAsItWasBeforeEachRunsFirstWrite) {
    for (int run = 1; run <= 4; ++run) {
        Editor ed(userFile, copyA);
        ed.s.backups = 3;
        const std::string before = readFileBytes(userFile);
        ed.edit(run, user(run, 'r'));
        ASSERT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Saved);
        EXPECT_EQ(readFileBytes(userFile + ".bak"), before);
        // A second save in the same run keeps the first backup.
        ed.edit(7, user(7, static_cast<char>('0' + run)));
        ASSERT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Saved);
        EXPECT_EQ(readFileBytes(userFile + ".bak"), before);
    }
    EXPECT_EQ(listDir(tmp.path()),
              (std::vector<std::string>{"a", "b", "zorvuser.dat", "zorvuser.dat.bak",
                                        "zorvuser.dat.bak.2", "zorvuser.dat.bak.3"}));
    // The oldest kept is from before the second run.
    const auto third = readFileBytes(userFile + ".bak.3");
    EXPECT_EQ(third.substr(kRecordSize, kRecordSize), bytesOf({user(1, 'r')}))
        << "run 1's change is in it";
    EXPECT_EQ(third.substr(2 * kRecordSize, kRecordSize), bytesOf({user(2)}));
}

// ---------------------------------------------------------------- crashes

namespace {

SaveStep killAt;
int killAfterRecords;

void killHook(SaveStep s, int) {
    if (s != killAt)
        return;
    if (s == SaveStep::RecordWritten && --killAfterRecords > 0)
        return;
    ::raise(SIGKILL);
}

} // namespace

TEST_F(SaveTest, CrashAtEachStepIsRolledBackAtTheNextStart) {
    struct Case {
        SaveStep step;
        int records;
    };
    for (const Case c : {Case{SaveStep::JournalWritten, 0}, Case{SaveStep::RecordWritten, 1},
                         Case{SaveStep::RecordWritten, 2}, Case{SaveStep::RecordsFlushed, 0}}) {
        SCOPED_TRACE(static_cast<int>(c.step) * 10 + c.records);
        writeFileBytes(userFile, bytesOf(usersOf(8)));
        const std::string old = readFileBytes(userFile);
        const pid_t pid = ::fork();
        if (pid == 0) {
            Editor ed(userFile, copyA);
            ed.edit(1, user(1, 'e'));
            ed.edit(4, user(4, 'e'));
            ed.edit(6, user(6, 'e'));
            killAt = c.step;
            killAfterRecords = c.records;
            setSaveHookForTesting(killHook);
            saveToUserFile(ed.s, ed.prompts);
            _exit(3);
        }
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the hook was reached";
        const std::string journal = journalPathFor(copyA);
        ASSERT_TRUE(zorvtest::fileExists(journal));

        // Meanwhile the board writes a user the save was writing, and one it was not.
        boardWrites(userFile, 6, user(6, 'x'));
        boardWrites(userFile, 2, user(2, 'x'));

        ScriptedPrompts prompts;
        EXPECT_TRUE(rollBackInterruptedSave(journal, prompts));
        ASSERT_EQ(prompts.shown.size(), 1u);
        EXPECT_NE(prompts.shown[0].text.find("interrupted"), std::string::npos);
        std::vector<Record> want = usersOf(8);
        want[6] = user(6, 'x');
        want[2] = user(2, 'x');
        EXPECT_EQ(onDisk(), want);
        EXPECT_FALSE(zorvtest::fileExists(journal));
        EXPECT_FALSE(rollBackInterruptedSave(journal, prompts)) << "told once";
        EXPECT_EQ(prompts.shown.size(), 1u);
    }
}

TEST_F(SaveTest, TornRecordIsRolledBackAndAReplacedFileLeftAlone) {
    // A kill inside a record's write leaves part of it new.
    writeFileBytes(userFile, bytesOf(usersOf(8)));
    {
        const pid_t pid = ::fork();
        if (pid == 0) {
            Editor ed(userFile, copyA);
            ed.edit(3, user(3, 'e'));
            killAt = SaveStep::RecordsFlushed;
            setSaveHookForTesting(killHook);
            saveToUserFile(ed.s, ed.prompts);
            _exit(3);
        }
        ASSERT_EQ(::waitpid(pid, nullptr, 0), pid);
    }
    Record torn = user(3);
    const Record mine = user(3, 'e');
    std::copy_n(mine.begin(), 100, torn.begin());
    boardWrites(userFile, 3, torn);
    ScriptedPrompts prompts;
    EXPECT_TRUE(rollBackInterruptedSave(journalPathFor(copyA), prompts));
    EXPECT_EQ(onDisk()[3], user(3));

    // The same crash, then the file replaced by another: the journal is dropped.
    {
        const pid_t pid = ::fork();
        if (pid == 0) {
            Editor ed(userFile, copyA);
            ed.edit(3, user(3, 'e'));
            killAt = SaveStep::RecordsFlushed;
            setSaveHookForTesting(killHook);
            saveToUserFile(ed.s, ed.prompts);
            _exit(3);
        }
        ASSERT_EQ(::waitpid(pid, nullptr, 0), pid);
    }
    const std::string other = bytesOf(usersOf(4, 'z'));
    writeFileBytes(tmp.file("other"), other);
    ASSERT_EQ(::rename(tmp.file("other").c_str(), userFile.c_str()), 0);
    prompts.shown.clear();
    EXPECT_TRUE(rollBackInterruptedSave(journalPathFor(copyA), prompts));
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_NE(prompts.shown[0].text.find("replaced"), std::string::npos);
    EXPECT_EQ(readFileBytes(userFile), other);
    EXPECT_FALSE(zorvtest::fileExists(journalPathFor(copyA)));
}

TEST_F(SaveTest, AJournalCutShortMeansNothingWasWritten) {
    writeFileBytes(journalPathFor(copyA), "ZORVJNL1 and then the power went");
    ScriptedPrompts prompts;
    EXPECT_FALSE(rollBackInterruptedSave(journalPathFor(copyA), prompts));
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_FALSE(zorvtest::fileExists(journalPathFor(copyA)));
    EXPECT_EQ(onDisk(), usersOf(8));
}

TEST_F(SaveTest, ALeftJournalIsRolledBackBeforeTheNextSave) {
    {
        const pid_t pid = ::fork();
        if (pid == 0) {
            Editor ed(userFile, copyA);
            ed.edit(5, user(5, 'e'));
            killAt = SaveStep::RecordsFlushed;
            setSaveHookForTesting(killHook);
            saveToUserFile(ed.s, ed.prompts);
            _exit(3);
        }
        ASSERT_EQ(::waitpid(pid, nullptr, 0), pid);
    }
    // This run started without looking (a second editor in the same folder
    // would not): its own save undoes the dead one's first.
    Editor ed(userFile, copyA);
    ed.edit(1, user(1, 'n'));
    EXPECT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Saved);
    ASSERT_EQ(ed.prompts.shown.size(), 1u);
    EXPECT_NE(ed.prompts.shown[0].text.find("interrupted"), std::string::npos);
    std::vector<Record> want = usersOf(8);
    want[1] = user(1, 'n');
    EXPECT_EQ(onDisk(), want);
}

TEST_F(SaveTest, ASaveStillRunningIsNotTakenForADeadOne) {
    // Another editor of the same working copy starts while a save is under
    // way (it will find the copy held): its start-up must leave that save alone.
    const pid_t pid = ::fork();
    if (pid == 0) {
        Editor ed(userFile, copyA);
        ed.edit(2, user(2, 'e'));
        setSaveHookForTesting([](SaveStep s, int) {
            if (s == SaveStep::RecordWritten)
                ::raise(SIGSTOP);
        });
        saveToUserFile(ed.s, ed.prompts);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, WUNTRACED), pid);
    ASSERT_TRUE(WIFSTOPPED(status));
    ScriptedPrompts prompts;
    EXPECT_FALSE(rollBackInterruptedSave(journalPathFor(copyA), prompts));
    EXPECT_TRUE(prompts.shown.empty());
    EXPECT_EQ(onDisk()[2], user(2, 'e')) << "the running save's write stays";

    ::kill(pid, SIGKILL);
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(rollBackInterruptedSave(journalPathFor(copyA), prompts));
    EXPECT_EQ(onDisk(), usersOf(8));
}

// ------------------------------------------------- the board moves mid-save

TEST_F(SaveTest, ABoardWriteDuringTheQuestionIsNeverOverwritten) {
    // User 2 is disputed; while the operator reads the question the board
    // writes user 3, which the save had planned to write.
    for (int secondAnswer : {0, 1}) {
        SCOPED_TRACE(secondAnswer);
        writeFileBytes(userFile, bytesOf(usersOf(8)));
        Editor ed(userFile, copyA);
        ed.edit(2, user(2, 'e'));
        ed.edit(3, user(3, 'e'));
        ed.edit(5, user(5, 'e'));
        boardWrites(userFile, 2, user(2, 'x'));
        ed.prompts.whileAsking = [&] {
            if (ed.prompts.shown.size() == 1)
                boardWrites(userFile, 3, user(3, 'y'));
        };
        ed.prompts.choices = {1, secondAnswer}; // the board's for user 2, then ...
        EXPECT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Saved);
        ASSERT_EQ(ed.prompts.shown.size(), 2u);
        EXPECT_NE(ed.prompts.shown[1].text.find("  3  D\n"), std::string::npos)
            << "only the user that moved: " << ed.prompts.shown[1].text;
        EXPECT_EQ(ed.prompts.shown[1].text.find("  5"), std::string::npos);
        EXPECT_EQ(onDisk()[2], user(2, 'x'));
        EXPECT_EQ(onDisk()[3], secondAnswer == 0 ? user(3, 'e') : user(3, 'y'));
        EXPECT_EQ(onDisk()[5], user(5, 'e'));
        EXPECT_FALSE(ed.s.userFileChanged);
    }
}

TEST_F(SaveTest, ARecordThatMovesTwiceOrStaysLockedIsNotSavedAndOfferedAgain) {
    Editor ed(userFile, copyA);
    ed.edit(1, user(1, 'e'));
    ed.edit(4, user(4, 'e'));
    ed.edit(6, user(6, 'e'));
    // The board holds user 6 (an online caller) longer than the save waits.
    const int board = ::open(userFile.c_str(), O_RDWR);
    ASSERT_GE(board, 0);
    struct flock fl {};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = 6 * static_cast<off_t>(kRecordSize);
    fl.l_len = kRecordSize;
    ASSERT_EQ(::fcntl(board, F_OFD_SETLK, &fl), 0);
    // User 1 moves between the decision and its write, and again while asked.
    static std::string path;
    path = userFile;
    setSaveHookForTesting([](SaveStep step, int) {
        if (step == SaveStep::JournalWritten)
            boardWrites(path, 1, user(1, 'x'));
    });
    ed.prompts.whileAsking = [&] { boardWrites(userFile, 1, user(1, 'y')); };
    ed.prompts.choices = {0}; // keep mine for user 1
    EXPECT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Partial);
    setSaveHookForTesting(nullptr);
    ::close(board);

    EXPECT_EQ(onDisk()[1], user(1, 'y')) << "the board's last write stays";
    EXPECT_EQ(onDisk()[4], user(4, 'e'));
    EXPECT_EQ(onDisk()[6], user(6)) << "never written without its lock";
    ASSERT_EQ(ed.prompts.shown.size(), 2u);
    EXPECT_EQ(ed.prompts.shown[1].kind, "warning");
    EXPECT_NE(ed.prompts.shown[1].text.find("  1  B\n  6  G\n"), std::string::npos)
        << ed.prompts.shown[1].text;
    EXPECT_TRUE(ed.s.userFileChanged);
    EXPECT_EQ(ed.shown(1), user(1, 'e')) << "the operator's bytes stay in the copy";
    EXPECT_EQ(ed.shown(6), user(6, 'e'));
    EXPECT_EQ(ed.shown(4), user(4, 'e'));

    // The next save offers user 1 again, as a clash, and writes user 6 now
    // that its lock is free.
    ed.prompts.shown.clear();
    ed.prompts.whileAsking = nullptr;
    ed.prompts.choices = {0};
    EXPECT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Saved);
    ASSERT_EQ(ed.prompts.shown.size(), 1u);
    EXPECT_NE(ed.prompts.shown[0].text.find("  1  B\n"), std::string::npos);
    EXPECT_EQ(onDisk()[1], user(1, 'e'));
    EXPECT_EQ(onDisk()[6], user(6, 'e'));
    EXPECT_FALSE(ed.s.userFileChanged);
}

TEST_F(SaveTest, AFileCutOrReplacedDuringTheSaveIsNeverWrittenInto) {
    enum When { WhileAsking, BetweenWrites };
    for (const bool replace : {false, true})
        for (const When when : {WhileAsking, BetweenWrites}) {
            SCOPED_TRACE(std::string(replace ? "replaced " : "cut ") +
                         (when == WhileAsking ? "while asking" : "between writes"));
            writeFileBytes(userFile, bytesOf(usersOf(8)));
            ::unlink(tmp.file("old").c_str());
            Editor ed(userFile, copyA);
            ed.edit(0, user(0, 'e'));
            ed.edit(7, user(7, 'e'));
            boardWrites(userFile, 0, user(0, 'x')); // asks about user 0
            const auto fresh = usersOf(replace ? 9 : 2, 'p');
            static std::function<void()> board;
            board = [&] {
                if (replace) {
                    ::link(userFile.c_str(), tmp.file("old").c_str()); // to look at it later
                    writeFileBytes(tmp.file("new"), bytesOf(fresh));
                    ::rename(tmp.file("new").c_str(), userFile.c_str());
                } else {
                    ::truncate(userFile.c_str(), 2 * static_cast<off_t>(kRecordSize));
                    writeFileBytes(userFile, bytesOf(fresh));
                }
            };
            if (when == WhileAsking)
                ed.prompts.whileAsking = [&] {
                    if (ed.prompts.shown.size() == 1)
                        board();
                };
            else
                setSaveHookForTesting([](SaveStep s, int) {
                    if (s == SaveStep::RecordWritten && board)
                        std::exchange(board, nullptr)();
                });
            ed.prompts.choices = {0, 1}; // keep mine; then no overwrite
            EXPECT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Cancelled);
            setSaveHookForTesting(nullptr);
            EXPECT_EQ(onDisk(), fresh) << "not regrown, not merged into";
            if (replace) {
                std::vector<Record> old = usersOf(8);
                old[0] = user(0, 'x');
                const std::string kept = readFileBytes(tmp.file("old"));
                EXPECT_EQ(kept, bytesOf(old)) << "what went into the old file was taken back";
            }
            EXPECT_NE(ed.prompts.shown.back().text.find(replace ? "replaced" : "short"),
                      std::string::npos)
                << ed.prompts.shown.back().text;
            EXPECT_TRUE(ed.s.userFileChanged);
            EXPECT_EQ(ed.shown(7), user(7, 'e'));
            EXPECT_FALSE(zorvtest::fileExists(journalPathFor(copyA)));
        }
}

// ------------------------------------------------------- private copies

namespace {

mode_t modeOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

} // namespace

TEST_F(SaveTest, CopiesOfTheUserFileArePrivateAndPlantedNamesAreNotFollowed) {
    ASSERT_EQ(::chmod(userFile.c_str(), 0640), 0);
    const std::string secret = tmp.file("secret");
    writeFileBytes(secret, "root only");
    // Planted by another user: a working copy, a journal link, a backup.
    writeFileBytes(copyA, "planted");
    ::chmod(copyA.c_str(), 0666);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(copyA.c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(::symlink(secret.c_str(), journalPathFor(copyA).c_str()), 0);
    writeFileBytes(userFile + ".bak", "planted");
    ::chmod((userFile + ".bak").c_str(), 0666);

    Editor ed(userFile, copyA);
    ed.s.backups = 1;
    if (root) {
        struct stat st {};
        ASSERT_EQ(::stat(copyA.c_str(), &st), 0);
        EXPECT_EQ(st.st_uid, 0u) << "the planted working copy is not used";
    }
    EXPECT_EQ(modeOf(copyA), 0600u);
    ed.edit(3, user(3, 'e'));
    ASSERT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Saved);
    EXPECT_EQ(readFileBytes(secret), "root only");
    EXPECT_EQ(modeOf(userFile + ".bak"), 0640u) << "the user file's mode, not the planted one";
    EXPECT_EQ(readFileBytes(userFile + ".bak"), bytesOf(usersOf(8)));

    // Deleted and written again: it comes back as it was loaded.
    ::unlink(userFile.c_str());
    ed.edit(4, user(4, 'e'));
    ed.prompts.choices = {0};
    ASSERT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Saved);
    EXPECT_EQ(modeOf(userFile), 0640u);

    // A folder anyone may rename files in holds no copy.
    ::chmod(tmp.file("b").c_str(), 0777);
    UserFileSession other;
    other.userFileName = userFile;
    other.workingCopy.setPath(copyB);
    ScriptedPrompts prompts;
    try {
        loadUserFile(other, prompts);
        ADD_FAILURE() << "loaded into a folder writable by all";
    } catch (const IoError& e) {
        EXPECT_NE(std::string(e.what()).find(tmp.file("b") + " (mode 0777)"), std::string::npos)
            << e.what();
    }
    EXPECT_FALSE(zorvtest::fileExists(copyB));
}
