// Saving into a user file the board keeps writing: merge, questions, journal,
// crash recovery and backups.

#include "plants.h"
#include "scripted_prompts.h"
#include "tempdir.h"
#include "userfile/backups.h"
#include "userfile/errors.h"
#include "userfile/journalfile.h"
#include "userfile/leftovers.h"
#include "userfile/recordlock.h"
#include "userfile/recordwriter.h"
#include "userfile/rollback.h"
#include "userfile/savefile.h"
#include "userfile/writerlock.h"

#include <gtest/gtest.h>

#include <climits>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

using namespace zorv;
using zorvtest::boardWrites;
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

Record withNumber(Record r, const NumField& f, int value) {
    writeNumber(r, f, value);
    return r;
}

Record withText(Record r, const TextField& f, const char* text) {
    writeText(r, f, text);
    return r;
}

std::vector<Record> usersOf(int n, char salt = 'a') {
    std::vector<Record> v;
    for (int i = 0; i < n; ++i)
        v.push_back(user(i, salt));
    return v;
}

// What another program (the board) does: write one record in place.
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

mode_t modeOf(const std::string& path) {
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mode & 07777;
}

// The journals kept beside `copy`'s journal because they could not be applied.
std::vector<std::string> unappliedJournals(const std::string& copy) {
    const std::string journal = journalPathFor(copy);
    const std::string dir = journal.substr(0, journal.rfind('/'));
    const std::string stem = journal.substr(dir.size() + 1) + ".unapplied-";
    std::vector<std::string> kept;
    for (const std::string& name : listDir(dir))
        if (name.rfind(stem, 0) == 0)
            kept.push_back(dir + "/" + name);
    return kept;
}

// Why a start-up load into `copy` was refused; a failure when it loaded.
std::string loadRefused(const std::string& userFile, const std::string& copy) {
    UserFileSession s;
    s.userFileName = userFile;
    s.workingCopy.setPath(copy);
    ScriptedPrompts prompts;
    try {
        loadUserFile(s, prompts);
    } catch (const IoError& e) {
        EXPECT_FALSE(s.workingCopy.holdsCopy());
        return e.what();
    }
    ADD_FAILURE() << "loaded into " << copy;
    return {};
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
    EXPECT_EQ(listDir(tmp.path()),
              (std::vector<std::string>{"a", "b", "zorvuser.dat", "zorvuser.dat.lock"}));
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
    // A changes user 0's limit and city, B its limit and street: only the
    // limit is disputed, B's street goes in whatever B answers but Cancel.
    const Record mineA = withText(withNumber(user(0), kLimit, 1), kPostnr, "A CITY");
    const Record mineB = withText(withNumber(user(0), kLimit, 2), kAddress, "B STREET");
    struct Case {
        int answer;
        SaveOutcome outcome;
        Record onDisk;
        bool stillChanged;
    };
    for (const Case& c : {Case{0, SaveOutcome::Saved,
                               withText(withNumber(mineA, kLimit, 2), kAddress, "B STREET"), false},
                          Case{1, SaveOutcome::Saved, withText(mineA, kAddress, "B STREET"), false},
                          Case{2, SaveOutcome::Cancelled, mineA, true}}) {
        SCOPED_TRACE(c.answer);
        writeFileBytes(userFile, bytesOf(usersOf(8)));
        auto a = std::make_unique<Editor>(userFile, copyA);
        auto b = std::make_unique<Editor>(userFile, copyB);
        a->edit(0, mineA);
        b->edit(0, mineB);
        b->edit(2, user(2, 'B')); // not disputed: written unless cancelled
        ASSERT_EQ(saveToUserFile(a->s, a->prompts), SaveOutcome::Saved);

        b->prompts.choices = {c.answer};
        EXPECT_EQ(saveToUserFile(b->s, b->prompts), c.outcome);
        ASSERT_EQ(b->prompts.shown.size(), 1u);
        EXPECT_EQ(b->prompts.shown[0].kind, "choose");
        EXPECT_NE(b->prompts.shown[0].text.find(
                      "  0  A\n      Limits (limit): yours 2, the board's 1\n\n"),
                  std::string::npos)
            << "lists the user by number and name, and the disputed field: "
            << b->prompts.shown[0].text;
        EXPECT_EQ(b->prompts.shown[0].buttons,
                  (std::vector<std::string>{"Keep mine", "Keep the board's", "Cancel"}));
        EXPECT_EQ(b->prompts.shown[0].text.find("  2"), std::string::npos);
        EXPECT_EQ(b->prompts.shown[0].text.find("Street address"), std::string::npos)
            << "only the disputed field";
        EXPECT_EQ(b->prompts.shown[0].text.find("City/state"), std::string::npos);
        EXPECT_EQ(onDisk()[0], c.onDisk);
        EXPECT_EQ(onDisk()[2], c.outcome == SaveOutcome::Saved ? user(2, 'B') : user(2));
        EXPECT_EQ(b->s.userFileChanged, c.stillChanged);
        if (c.outcome == SaveOutcome::Saved)
            EXPECT_EQ(b->shown(0), c.onDisk);
        else
            EXPECT_EQ(b->shown(0), mineB) << "cancel keeps the operator's work";
    }
}

// ------------------------------------------------------ field by field

TEST_F(SaveTest, TheOperatorsAndTheBoardsFieldsOfOneUserAreBothKept) {
    // User 5: the operator changes the limit; the board the city and the
    // logins, as a caller logging in does.
    Editor ed(userFile, copyA);
    ed.edit(5, withNumber(user(5), kLimit, 7));
    const Record board = withText(withNumber(user(5), kLogins, 42), kPostnr, "BERGEN");
    boardWrites(userFile, 5, board);
    EXPECT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Saved);
    EXPECT_TRUE(ed.prompts.shown.empty());
    EXPECT_EQ(onDisk()[5], withNumber(board, kLimit, 7));
    EXPECT_FALSE(ed.s.userFileChanged);
    EXPECT_EQ(ed.shown(5), onDisk()[5]);

    // Both set the same value: nothing to ask, nothing to write.
    ed.edit(5, withNumber(ed.shown(5), kKbup, 3));
    const Record same = withNumber(onDisk()[5], kKbup, 3);
    boardWrites(userFile, 5, withNumber(same, kTimebank, 11));
    EXPECT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Saved);
    EXPECT_TRUE(ed.prompts.shown.empty());
    EXPECT_EQ(onDisk()[5], withNumber(same, kTimebank, 11));
}

TEST_F(SaveTest, TheReportCountsWhatWasWrittenAndWhatTheBoardAlreadyHeld) {
    Editor ed(userFile, copyA);
    for (int i : {0, 1, 2, 3, 4})
        ed.edit(i, withNumber(user(i), kLimit, 10 + i));
    boardWrites(userFile, 3, withNumber(user(3), kLimit, 99)); // disputed: the board's kept
    boardWrites(userFile, 4, withNumber(user(4), kLimit, 14)); // already what the operator wants
    ed.edit(5, user(5));                                       // stored unchanged: no change
    ed.prompts.choices = {1};
    SaveReport r;
    r.written = 42; // a report is made afresh
    EXPECT_EQ(saveToUserFile(ed.s, ed.prompts, true, &r), SaveOutcome::Saved);
    EXPECT_EQ(r.changed, 5);
    EXPECT_EQ(r.written, 3);
    EXPECT_EQ(r.kept(), 2);
    EXPECT_EQ(r.notSaved, 0);
    EXPECT_FALSE(r.whole);

    // Nothing changed since: nothing to write.
    ed.s.userFileChanged = true;
    EXPECT_EQ(saveToUserFile(ed.s, ed.prompts, true, &r), SaveOutcome::Saved);
    EXPECT_EQ(r.changed, 0);
    EXPECT_EQ(r.written, 0);

    // A file replaced meanwhile is written whole when the operator says so.
    ed.edit(1, withNumber(user(1), kLimit, 7));
    const std::string other = tmp.file("other");
    writeFileBytes(other, bytesOf(usersOf(8, 'z')));
    ASSERT_EQ(::rename(other.c_str(), userFile.c_str()), 0);
    ed.prompts.choices = {0};
    EXPECT_EQ(saveToUserFile(ed.s, ed.prompts, true, &r), SaveOutcome::Saved);
    EXPECT_TRUE(r.whole);
    EXPECT_EQ(r.written, 1);

    // Cancelled: nothing written, and the report says so.
    ed.edit(2, withNumber(user(2), kLimit, 8));
    writeFileBytes(other, bytesOf(usersOf(8, 'y')));
    ASSERT_EQ(::rename(other.c_str(), userFile.c_str()), 0);
    ed.prompts.choices = {1};
    EXPECT_EQ(saveToUserFile(ed.s, ed.prompts, true, &r), SaveOutcome::Cancelled);
    EXPECT_EQ(r.written, 0);
    EXPECT_FALSE(r.whole);
}

TEST_F(SaveTest, AQuestionListsFifteenUsersAndCountsTheRest) {
    writeFileBytes(userFile, bytesOf(usersOf(20)));
    Editor ed(userFile, copyA);
    for (int i = 0; i < 20; ++i) {
        ed.edit(i, withText(user(i), kPostnr, "MINE"));
        boardWrites(userFile, i, withText(user(i), kPostnr, "BOARD"));
    }
    ed.prompts.choices = {1};
    EXPECT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Saved);
    ASSERT_EQ(ed.prompts.shown.size(), 1u);
    const std::string& text = ed.prompts.shown[0].text;
    EXPECT_NE(text.find("  14  O\n      City/state (postnr): yours \"MINE\", the board's "
                        "\"BOARD\"\n  ... and 5 more\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("  15  P"), std::string::npos) << text;
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(onDisk()[i], withText(user(i), kPostnr, "BOARD")) << i;
}

namespace {

// The board's write that lands while the save writes user 1, after the
// decision on every user was made.
Record duringTheWrite;
std::string boardFile;

void writeWhileUserOneIsChecked(SaveStep step, int record) {
    if (step == SaveStep::RecordChecked && record == 1)
        boardWrites(boardFile, 5, duringTheWrite);
}

} // namespace

TEST_F(SaveTest, ABoardWriteDuringTheSaveIsMergedAndOnlyAClashAsks) {
    boardFile = userFile;
    const Record mine = withText(withNumber(user(5), kLimit, 7), kAddress, "MINE 5");
    const Record city = withText(user(5), kPostnr, "BERGEN");
    const Record limit = withText(withNumber(user(5), kLimit, 9), kPostnr, "BERGEN");
    struct Case {
        const char* what;
        Record board;
        std::deque<int> answers;
        SaveOutcome outcome;
        Record onDisk;
    };
    const Case cases[] = {
        {"another field",
         city,
         {},
         SaveOutcome::Saved,
         withNumber(withText(city, kAddress, "MINE 5"), kLimit, 7)},
        {"keep mine",
         limit,
         {0},
         SaveOutcome::Saved,
         withNumber(withText(limit, kAddress, "MINE 5"), kLimit, 7)},
        {"keep the board's", limit, {1}, SaveOutcome::Saved, withText(limit, kAddress, "MINE 5")},
        {"cancel", limit, {2}, SaveOutcome::Partial, limit},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeFileBytes(userFile, bytesOf(usersOf(8)));
        Editor ed(userFile, copyA);
        ed.edit(1, withNumber(user(1), kLimit, 1));
        ed.edit(5, mine);
        duringTheWrite = c.board;
        setSaveHookForTesting(writeWhileUserOneIsChecked);
        ed.prompts.choices = c.answers;
        EXPECT_EQ(saveToUserFile(ed.s, ed.prompts), c.outcome);
        setSaveHookForTesting(nullptr);
        EXPECT_EQ(onDisk()[1], withNumber(user(1), kLimit, 1));
        EXPECT_EQ(onDisk()[5], c.onDisk);
        const auto& shown = ed.prompts.shown;
        if (c.answers.empty()) {
            EXPECT_TRUE(shown.empty());
            continue;
        }
        ASSERT_GE(shown.size(), 1u);
        EXPECT_NE(shown[0].text.find("while your changes were being saved"), std::string::npos);
        EXPECT_NE(shown[0].text.find("  5  F\n      Limits (limit): yours 7, the board's 9\n"),
                  std::string::npos)
            << shown[0].text;
        EXPECT_EQ(shown[0].buttons,
                  (std::vector<std::string>{"Keep mine", "Keep the board's", "Cancel"}));
        if (c.outcome != SaveOutcome::Partial) {
            EXPECT_EQ(shown.size(), 1u);
            EXPECT_FALSE(ed.s.userFileChanged);
            continue;
        }
        // Cancel: user 5 stays the operator's in the editor, user 1 is saved.
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_EQ(shown[1].kind, "warning");
        EXPECT_NE(shown[1].text.find("you left this user as the board wrote it"), std::string::npos)
            << shown[1].text;
        EXPECT_NE(shown[1].text.find("  5  F\n"), std::string::npos);
        EXPECT_EQ(shown[1].text.find("  1  B"), std::string::npos);
        EXPECT_TRUE(ed.s.userFileChanged);
        EXPECT_EQ(ed.shown(5), mine);
        EXPECT_EQ(ed.shown(1), onDisk()[1]);
        // Save File offers it again, as a clash with the board's record now.
        ed.prompts.shown.clear();
        ed.prompts.choices = {0};
        EXPECT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Saved);
        ASSERT_EQ(ed.prompts.shown.size(), 1u);
        EXPECT_NE(ed.prompts.shown[0].text.find("since the user file was loaded"),
                  std::string::npos);
        EXPECT_EQ(onDisk()[5], withNumber(withText(limit, kAddress, "MINE 5"), kLimit, 7));
    }
}

TEST_F(SaveTest, AnAnswerGivenIsNotAskedAgainWhenTheBoardWritesAnotherField) {
    // The board's limit is kept for user 5; then, during the write, the board
    // changes its city: merged over what was decided, without a question.
    boardFile = userFile;
    Editor ed(userFile, copyA);
    ed.edit(1, withNumber(user(1), kLimit, 1));
    ed.edit(5, withText(withNumber(user(5), kLimit, 7), kAddress, "MINE 5"));
    const Record board = withNumber(user(5), kLimit, 9);
    boardWrites(userFile, 5, board);
    duringTheWrite = withText(board, kPostnr, "BERGEN");
    setSaveHookForTesting(writeWhileUserOneIsChecked);
    ed.prompts.choices = {1};
    EXPECT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Saved);
    setSaveHookForTesting(nullptr);
    EXPECT_EQ(ed.prompts.shown.size(), 1u);
    EXPECT_EQ(onDisk()[5], withText(duringTheWrite, kAddress, "MINE 5"));
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
                                        "zorvuser.dat.bak.2", "zorvuser.dat.bak.3",
                                        "zorvuser.dat.lock"}));
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
    EXPECT_EQ(readFileBytes(userFile), other);
    // Kept, for whoever wants the bytes, under a name no save looks for.
    EXPECT_FALSE(zorvtest::fileExists(journalPathFor(copyA)));
    const auto kept = unappliedJournals(copyA);
    ASSERT_EQ(kept.size(), 1u) << prompts.shown[0].text;
    EXPECT_EQ(modeOf(kept[0]), 0600u);
    const std::string& said = prompts.shown[0].text;
    EXPECT_NE(said.find(userFile + " was interrupted"), std::string::npos) << said;
    EXPECT_NE(said.find("replaced"), std::string::npos) << said;
    EXPECT_NE(said.find("kept as " + kept[0]), std::string::npos) << said;
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
        for (int i : {2, 3, 5})
            ed.edit(i, withNumber(user(i), kLimit, 5));
        boardWrites(userFile, 2, withNumber(user(2), kLimit, 9));
        ed.prompts.whileAsking = [&] {
            if (ed.prompts.shown.size() == 1)
                boardWrites(userFile, 3, withNumber(user(3), kLimit, 8));
        };
        ed.prompts.choices = {1, secondAnswer}; // the board's for user 2, then ...
        EXPECT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Saved);
        ASSERT_EQ(ed.prompts.shown.size(), 2u);
        EXPECT_NE(ed.prompts.shown[1].text.find("  3  D\n"), std::string::npos)
            << "only the user that moved: " << ed.prompts.shown[1].text;
        EXPECT_EQ(ed.prompts.shown[1].text.find("  5"), std::string::npos);
        EXPECT_EQ(ed.prompts.shown[1].buttons,
                  (std::vector<std::string>{"Keep mine", "Keep the board's", "Cancel"}));
        EXPECT_EQ(onDisk()[2], withNumber(user(2), kLimit, 9));
        EXPECT_EQ(onDisk()[3], withNumber(user(3), kLimit, secondAnswer == 0 ? 5 : 8));
        EXPECT_EQ(onDisk()[5], withNumber(user(5), kLimit, 5));
        EXPECT_FALSE(ed.s.userFileChanged);
    }
}

TEST_F(SaveTest, ARecordThatMovesTwiceOrStaysLockedIsNotSavedAndOfferedAgain) {
    Editor ed(userFile, copyA);
    const Record mine1 = withNumber(user(1), kLimit, 5);
    ed.edit(1, mine1);
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
    EXPECT_EQ(ed.shown(1), mine1) << "the operator's bytes stay in the copy";
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
    EXPECT_EQ(onDisk()[1], withNumber(user(1, 'y'), kLimit, 5)) << "the board's other fields stay";
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

TEST_F(SaveTest, CopiesOfTheUserFileArePrivateAndPlantedNamesAreNotFollowed) {
    ASSERT_EQ(::chmod(userFile.c_str(), 0640), 0);
    const std::string secret = tmp.file("secret");
    writeFileBytes(secret, "root only");
    // An old working copy of ours anyone could read; planted by another
    // user: a journal link, a backup.
    writeFileBytes(copyA, "left open");
    ::chmod(copyA.c_str(), 0666);
    ASSERT_EQ(::symlink(secret.c_str(), journalPathFor(copyA).c_str()), 0);
    writeFileBytes(userFile + ".bak", "planted");
    ::chmod((userFile + ".bak").c_str(), 0666);

    Editor ed(userFile, copyA);
    ed.s.backups = 1;
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
    const std::string refused = loadRefused(userFile, copyB);
    EXPECT_NE(refused.find(tmp.file("b") + " (mode 0777)"), std::string::npos) << refused;
    EXPECT_FALSE(zorvtest::fileExists(copyB));
}

// ------------------------------------------------ where a journal leads

namespace {

// Runs the rest of a scope in another working folder.
struct InFolder {
    std::string was;
    explicit InFolder(const std::string& dir) {
        char buf[4096];
        was = ::getcwd(buf, sizeof buf) ? buf : "/";
        EXPECT_EQ(::chdir(dir.c_str()), 0);
    }
    ~InFolder() { (void)!::chdir(was.c_str()); }
};

// A save of user 3 killed after its write, in a child: the journal is left.
void killedSave(const std::string& userFile, const std::string& copy) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        Editor ed(userFile, copy);
        ed.edit(3, user(3, 'e'));
        setSaveHookForTesting([](SaveStep s, int) {
            if (s == SaveStep::RecordWritten)
                ::_exit(7);
        });
        saveToUserFile(ed.s, ed.prompts);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 7) << "the hook was reached";
}

} // namespace

TEST_F(SaveTest, ASaveStartedWithARelativePathIsUndoneFromAnyFolder) {
    {
        InFolder board(tmp.path());
        killedSave("zorvuser.dat", copyA);
    }
    ASSERT_EQ(onDisk()[3], user(3, 'e'));
    TempDir elsewhere;
    InFolder other(elsewhere.path());
    ScriptedPrompts prompts;
    EXPECT_TRUE(rollBackInterruptedSave(journalPathFor(copyA), prompts));
    EXPECT_EQ(onDisk(), usersOf(8));
    EXPECT_FALSE(zorvtest::fileExists(journalPathFor(copyA)));
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_NE(prompts.shown[0].text.find(userFile), std::string::npos) << prompts.shown[0].text;
}

TEST_F(SaveTest, JournalsThatCannotBeAppliedAreKeptFiveAtMost) {
    killedSave(userFile, copyA);
    const std::string journal = journalPathFor(copyA);
    const std::string bytes = readFileBytes(journal);
    writeFileBytes(tmp.file("new"), bytesOf(usersOf(8, 'p')));
    ASSERT_EQ(::rename(tmp.file("new").c_str(), userFile.c_str()), 0);
    ScriptedPrompts prompts;
    for (int run = 1; run <= 6; ++run) {
        if (run > 1)
            writeFileBytes(journal, bytes); // the same save, left again
        EXPECT_TRUE(rollBackInterruptedSave(journal, prompts));
    }
    EXPECT_EQ(onDisk(), usersOf(8, 'p'));
    const auto kept = unappliedJournals(copyA);
    ASSERT_EQ(kept.size(), 5u);
    for (const std::string& k : kept) {
        EXPECT_EQ(readFileBytes(k), bytes);
        EXPECT_EQ(modeOf(k), 0600u);
    }
    ASSERT_EQ(prompts.shown.size(), 6u);
    for (std::size_t i = 0; i < 5; ++i)
        EXPECT_EQ(prompts.shown[i].text.find("oldest"), std::string::npos);
    const std::string& last = prompts.shown[5].text;
    EXPECT_NE(last.find("oldest"), std::string::npos) << last;
    EXPECT_NE(last.find(journal + ".unapplied-"), std::string::npos) << last;
}

// ------------------------------------------------- one writer at a time

namespace {

bool lockFree(const std::string& lockPath) {
    const int fd = ::open(lockPath.c_str(), O_RDONLY | O_CLOEXEC);
    const bool free = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (fd >= 0)
        ::close(fd);
    return free;
}

std::string lockPath;
bool heldWhileWriting;

} // namespace

TEST_F(SaveTest, OneWritingRunAtATimeAndNoneWhileAQuestionIsOpen) {
    ASSERT_EQ(::chmod(userFile.c_str(), 0640), 0);
    Editor ed(userFile, copyA);
    ed.s.backups = 1;
    ed.s.writerLockTiming = {200, 10};
    ed.edit(3, user(3, 'e'));
    lockPath = writerLockPathFor(userFile);
    {
        const int other = ::open(lockPath.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
        ASSERT_EQ(::flock(other, LOCK_EX), 0);
        EXPECT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Failed);
        ::close(other);
    }
    ASSERT_EQ(ed.prompts.shown.size(), 1u);
    EXPECT_NE(ed.prompts.shown[0].text.find("Another run is writing " + userFile),
              std::string::npos)
        << ed.prompts.shown[0].text;
    EXPECT_EQ(onDisk(), usersOf(8));
    EXPECT_FALSE(zorvtest::fileExists(userFile + ".bak"));
    EXPECT_TRUE(ed.s.userFileChanged);
    ASSERT_EQ(ed.prompts.statuses.size(), 2u);
    EXPECT_EQ(ed.prompts.statuses[0].rfind("Waiting for another run writing", 0), 0u);
    EXPECT_EQ(ed.prompts.statuses[1], "") << "the note goes";

    // Alone, it writes holding the lock, and lets go while it asks.
    ASSERT_EQ(::unlink(lockPath.c_str()), 0);
    ed.prompts.shown.clear();
    ed.edit(5, user(5, 'e'));
    boardWrites(userFile, 5, user(5, 'x'));
    bool freeWhileAsking = false;
    ed.prompts.whileAsking = [&] { freeWhileAsking = lockFree(lockPath); };
    ed.prompts.choices = {0};
    heldWhileWriting = false;
    setSaveHookForTesting([](SaveStep s, int) {
        if (s == SaveStep::JournalWritten)
            heldWhileWriting = !lockFree(lockPath);
    });
    EXPECT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Saved);
    setSaveHookForTesting(nullptr);
    EXPECT_TRUE(freeWhileAsking);
    EXPECT_TRUE(heldWhileWriting);
    EXPECT_TRUE(lockFree(lockPath));
    EXPECT_EQ(onDisk()[3], user(3, 'e'));
    EXPECT_EQ(modeOf(lockPath), 0640u) << "the user file's mode, so every writer can take it";
}

TEST_F(SaveTest, ASaveRemovesOnlyTheJournalItWrote) {
    Editor ed(userFile, copyA);
    ed.edit(2, user(2, 'e'));
    static std::string journal;
    journal = journalPathFor(copyA);
    setSaveHookForTesting([](SaveStep s, int) {
        if (s != SaveStep::RecordsFlushed)
            return;
        writeFileBytes(journal + ".other", "another run's"); // takes the name meanwhile
        ::rename((journal + ".other").c_str(), journal.c_str());
    });
    EXPECT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Saved);
    setSaveHookForTesting(nullptr);
    EXPECT_EQ(readFileBytes(journal), "another run's");
}

// ------------------------------------------------------- planted names

TEST_F(SaveTest, OverwriteReplacesTheEntryLoadedNeverAPlantedLink) {
    const std::string secret = tmp.file("secret");
    writeFileBytes(secret, "not a user file");
    const auto refused = [&](Editor& ed, const std::string& says) {
        ed.prompts.choices = {0}; // Overwrite
        EXPECT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Failed);
        EXPECT_EQ(readFileBytes(secret), "not a user file");
        EXPECT_NE(ed.prompts.shown.back().text.find(says), std::string::npos)
            << ed.prompts.shown.back().text;
        EXPECT_TRUE(ed.s.userFileChanged);
    };
    {
        Editor ed(userFile, copyA);
        ed.edit(1, user(1, 'e'));
        ASSERT_EQ(::rename(userFile.c_str(), tmp.file("moved").c_str()), 0);
        ASSERT_EQ(::symlink(secret.c_str(), userFile.c_str()), 0);
        refused(ed, userFile + " is now a symbolic link to " + secret);
    }
    // A link at load that still points where it did: its file is replaced.
    ASSERT_EQ(::unlink(userFile.c_str()), 0);
    const std::string real = tmp.file("real.dat");
    ASSERT_EQ(::rename(tmp.file("moved").c_str(), real.c_str()), 0);
    ASSERT_EQ(::symlink("real.dat", userFile.c_str()), 0);
    {
        Editor ed(userFile, copyA);
        ed.edit(1, user(1, 'e'));
        writeFileBytes(tmp.file("new"), bytesOf(usersOf(5, 'p'))); // the board renumbers
        ASSERT_EQ(::rename(tmp.file("new").c_str(), real.c_str()), 0);
        ed.prompts.choices = {0};
        EXPECT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Saved);
        std::vector<Record> mine = usersOf(8);
        mine[1] = user(1, 'e');
        EXPECT_EQ(onDisk(), mine);
        struct stat st {};
        ASSERT_EQ(::lstat(userFile.c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays a link";
    }
    // One that points elsewhere now.
    {
        Editor ed(userFile, copyA);
        ed.edit(2, user(2, 'e'));
        ASSERT_EQ(::unlink(userFile.c_str()), 0);
        ASSERT_EQ(::symlink(secret.c_str(), userFile.c_str()), 0);
        refused(ed, userFile + " now points to " + secret);
    }
}

TEST_F(SaveTest, AnythingPlantedAtOurNamesIsNamedAndLeftAlone) {
    for (const zorvtest::Plant& p : zorvtest::plantsIn(tmp.path()))
        for (const std::string& at : {journalPathFor(copyA), writerLockPathFor(userFile)}) {
            SCOPED_TRACE(p.kind + " at " + at);
            writeFileBytes(userFile, bytesOf(usersOf(8)));
            Editor ed(userFile, copyA);
            ed.s.backups = 1;
            ed.edit(3, user(3, 'e'));
            zorvtest::uproot(at); // a lock file an earlier save made
            ASSERT_TRUE(p.put(at));
            const auto inode = zorvtest::inodeAt(at);
            EXPECT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Failed);
            const std::string& said = ed.prompts.shown.back().text;
            EXPECT_NE(said.find(at + " is " + p.said), std::string::npos) << said;
            EXPECT_NE(said.find("Remove it"), std::string::npos) << said;
            EXPECT_EQ(onDisk(), usersOf(8));
            EXPECT_FALSE(zorvtest::fileExists(userFile + ".bak")) << "no backup of a refused save";
            EXPECT_EQ(zorvtest::inodeAt(at), inode) << "left where it was";
            EXPECT_TRUE(ed.s.userFileChanged);
            zorvtest::uproot(at);
        }
    // At the working copy's name: nothing is loaded, and it stays.
    for (const zorvtest::Plant& p : zorvtest::plantsIn(tmp.path())) {
        SCOPED_TRACE(p.kind + " at the working copy");
        ASSERT_TRUE(p.put(copyB));
        const auto inode = zorvtest::inodeAt(copyB);
        const std::string refused = loadRefused(userFile, copyB);
        EXPECT_NE(refused.find(copyB + " is " + p.said), std::string::npos) << refused;
        EXPECT_NE(refused.find("No user file was loaded"), std::string::npos) << refused;
        EXPECT_EQ(zorvtest::inodeAt(copyB), inode);
        zorvtest::uproot(copyB);
    }
}

// ------------------------------------------- a purge that takes no lock

namespace {

std::string purged;
int purgeAfterChecking;
off_t purgeTo;

void purgeHook(SaveStep s, int record) {
    if (s == SaveStep::RecordChecked && record == purgeAfterChecking) {
        ASSERT_EQ(::truncate(purged.c_str(), purgeTo), 0);
    }
}

} // namespace

TEST_F(SaveTest, APurgeBetweenACheckAndItsWriteNeverRegrowsTheFile) {
    struct Case {
        int users;
        std::vector<int> changed;
        int cutAfter, cutTo;
        bool takenBack; // a change written before the cut, inside what is left
    };
    for (const Case& c : {Case{8, {7}, 7, 4, false},          // the changed user is the last
                          Case{8, {6}, 6, 5, false},          // only the user before it goes
                          Case{40, {2, 30}, 30, 10, true}}) { // a gap of whole blocks
        SCOPED_TRACE(c.cutAfter * 100 + c.cutTo);
        writeFileBytes(userFile, bytesOf(usersOf(c.users)));
        Editor ed(userFile, copyA);
        for (int i : c.changed)
            ed.edit(i, user(i, 'e'));
        purged = userFile;
        purgeAfterChecking = c.cutAfter;
        purgeTo = static_cast<off_t>(c.cutTo) * kRecordSize;
        setSaveHookForTesting(purgeHook);
        ed.prompts.choices = {1}; // then no overwrite
        EXPECT_EQ(saveToUserFile(ed.s, ed.prompts), SaveOutcome::Cancelled);
        setSaveHookForTesting(nullptr);
        EXPECT_EQ(onDisk(), usersOf(c.cutTo)) << "as the purge left it: no zeros, no user back";
        ASSERT_EQ(ed.prompts.shown.size(), 2u);
        const std::string& said = ed.prompts.shown[0].text;
        EXPECT_NE(said.find("was shortened"), std::string::npos) << said;
        EXPECT_NE(said.find("cut back to " + std::to_string(c.cutTo) + " users"), std::string::npos)
            << said;
        EXPECT_EQ(said.find("taken back") != std::string::npos, c.takenBack) << said;
        EXPECT_TRUE(ed.s.userFileChanged);
        EXPECT_FALSE(zorvtest::fileExists(journalPathFor(copyA)));
    }
}

// --------------------------------------------------------------- leftovers

TEST_F(SaveTest, LeftoversOfKilledCopiesGoTheToolsJournalTempsToo) {
    const std::string dead = tmp.file(".zorvedit-tmp-zorvuser.dat.journal.Ab12Cd");
    const std::string live = tmp.file(".zorvedit-tmp-zorvuser.dat.journal.Ef34Gh");
    writeFileBytes(dead, bytesOf(usersOf(2)));
    writeFileBytes(live, bytesOf(usersOf(2)));
    const int writer = ::open(live.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_EQ(::flock(writer, LOCK_EX), 0);
    removeSaveLeftovers(userFile, {}, journalPathFor(copyA));
    EXPECT_FALSE(zorvtest::fileExists(dead));
    EXPECT_TRUE(zorvtest::fileExists(live)) << "its writer still runs";
    ::close(writer);
}

TEST_F(SaveTest, ALargeBackupCountMovesOnlyTheBackupsThatExist) {
    // Each slot up to the count used to be tried: 2^31 - 1 took hours.
    for (char salt : {'1', '2', '3'}) {
        writeFileBytes(userFile, bytesOf(usersOf(2, salt)));
        keepBackup(userFile, INT_MAX, {});
    }
    EXPECT_EQ(readFileBytes(userFile + ".bak"), bytesOf(usersOf(2, '3')));
    EXPECT_EQ(readFileBytes(userFile + ".bak.2"), bytesOf(usersOf(2, '2')));
    EXPECT_EQ(readFileBytes(userFile + ".bak.3"), bytesOf(usersOf(2, '1')));
    EXPECT_FALSE(zorvtest::fileExists(userFile + ".bak.4"));
    // A full set drops the oldest.
    keepBackup(userFile, 3, {});
    EXPECT_EQ(readFileBytes(userFile + ".bak.3"), bytesOf(usersOf(2, '2')));
    EXPECT_FALSE(zorvtest::fileExists(userFile + ".bak.4"));
}
