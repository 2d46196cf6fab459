// "Open new userfile.": the size test, the settings value, the question about
// the old file, and the record kept where possible.

#include "fixture.h"

#include "userfile/codepage.h"
#include "userfile/errors.h"
#include "userfile/record.h"
#include "userfile/userfile.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>
#include <QToolButton>

#include <filesystem>

using namespace zorvtest;

namespace {

class OpenTest : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        std::vector<zorv::Record> users;
        for (int i = 0; i < 10; ++i) {
            zorv::Record r = plainUser("OLD USER " + std::to_string(i));
            zorv::writeNumber(r, zorv::kLogins, 1);
            users.push_back(r);
        }
        writeUsers(users);
        rememberUserFile();
        std::filesystem::create_directories(dir.file("other"));
        ASSERT_NO_FATAL_FAILURE(start());
    }

    // A user file of n records named NEW USER 0.. with 5 logins each.
    std::string newFile(int n, const std::string& name = "new.dat") {
        std::vector<zorv::Record> users;
        for (int i = 0; i < n; ++i) {
            zorv::Record r = plainUser("NEW USER " + std::to_string(i));
            zorv::writeNumber(r, zorv::kLogins, 5);
            users.push_back(r);
        }
        const std::string path = dir.file("other/" + name);
        zorv::writeUserFile(path, users);
        return path;
    }
    std::string fileOfSize(std::size_t bytes, const std::string& name) {
        const std::string path = dir.file("other/" + name);
        writeFileBytes(path, std::string(bytes, '\x01'));
        return path;
    }

    static QString q(const std::string& s) { return QString::fromStdString(s); }

    void goTo(int index) {
        session.currentIndex = index;
        window->updatePosition();
    }
    void openWith(std::initializer_list<std::optional<std::string>> answers) {
        for (const auto& a : answers)
            platform.openAnswers.push_back(a ? std::optional<QString>(q(*a)) : std::nullopt);
        QTest::mouseClick(window->open_, Qt::LeftButton);
    }
    int errorMessages() const {
        int n = 0;
        for (const auto& m : platform.messages)
            n += m.text == "File probably not a zorv userfile..";
        return n;
    }

    // Unsaved work on the old file: a changed limit saved into the working copy.
    void changeUser(int index) {
        goTo(index);
        window->limit->selectAll();
        QTest::keyClicks(window->limit, "777");
        QTest::mouseClick(window->save, Qt::LeftButton);
        ASSERT_TRUE(session.userFileChanged);
    }
};

} // namespace

TEST_F(OpenTest, SwitchKeepsTheRecordNumberWherePossible) {
    goTo(7);
    const std::string path = newFile(3);
    openWith({path});
    ASSERT_EQ(platform.openDialogs.size(), 1u);
    EXPECT_EQ(platform.openDialogs[0].initialDir, q(dir.file("board")));
    EXPECT_TRUE(platform.messages.empty());

    EXPECT_EQ(session.userFileName, path);
    EXPECT_EQ(session.currentIndex, 2);
    EXPECT_EQ(window->Name->text(), "NEW USER 2");
    EXPECT_EQ(window->poss->text(), "2/2");
    EXPECT_EQ(window->bar->maximum(), 2);
    EXPECT_EQ(window->bar->value(), 2);
    EXPECT_EQ(window->tuser->text(), "3");
    EXPECT_EQ(window->tlogins->text(), "15");
    EXPECT_EQ(window->fname1->text(), q(path));
    EXPECT_EQ(storedText("Filename"), path);
    EXPECT_EQ(workingCopyBytes(), readFileBytes(path));
    EXPECT_FALSE(session.userFileChanged);

    // A bigger file keeps the record number as it is.
    goTo(1);
    const std::string bigger = newFile(12, "bigger.dat");
    openWith({bigger});
    EXPECT_EQ(platform.openDialogs.back().initialDir, q(dir.file("other")));
    EXPECT_EQ(session.currentIndex, 1);
    EXPECT_EQ(window->poss->text(), "1/11");
    EXPECT_EQ(window->bar->maximum(), 11);
}

TEST_F(OpenTest, SizesThatAreNoUserFileAreRefusedAndTheDialogComesAgain) {
    const std::string before = workingCopyBytes();
    openWith({fileOfSize(0, "empty.dat"), fileOfSize(272, "short.dat"), fileOfSize(547, "long.dat"),
              fileOfSize(546, "two.dat")});
    EXPECT_EQ(platform.openDialogs.size(), 4u);
    ASSERT_EQ(errorMessages(), 3);
    EXPECT_EQ(platform.messages[0].title, "Error:");
    EXPECT_EQ(platform.messages[0].icon, zorv::MessageIcon::None);
    EXPECT_EQ(platform.messages.size(), 3u);
    EXPECT_EQ(session.userFileName, dir.file("other/two.dat"));
    EXPECT_EQ(window->poss->text(), "0/1");
    EXPECT_NE(workingCopyBytes(), before);
}

TEST_F(OpenTest, CancelLeavesEverythingAsItWas) {
    goTo(4);
    const std::string before = workingCopyBytes();
    openWith({std::nullopt});
    openWith({fileOfSize(100, "junk.dat"), std::nullopt});
    EXPECT_EQ(errorMessages(), 1);
    openWith({std::string()}); // an empty name is a cancel too
    EXPECT_EQ(session.userFileName, userFile());
    EXPECT_EQ(storedText("Filename"), userFile());
    EXPECT_EQ(window->fname1->text(), q(userFile()));
    EXPECT_EQ(session.currentIndex, 4);
    EXPECT_EQ(workingCopyBytes(), before);
    EXPECT_EQ(window->Name->text(), "OLD USER 4");
}

TEST_F(OpenTest, FileThatCannotBeOpenedGivesTheIoErrorAndChangesNothing) {
    changeUser(3);
    const std::string before = workingCopyBytes();
    openWith({dir.file("other/vanished.dat")});
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].title, "ZORV user editor");
    EXPECT_EQ(platform.messages[0].text, "File not found.");
    EXPECT_EQ(platform.messages[0].icon, zorv::MessageIcon::Stop);
    EXPECT_TRUE(platform.questions.empty());
    EXPECT_EQ(session.userFileName, userFile());
    EXPECT_EQ(storedText("Filename"), userFile());
    EXPECT_EQ(workingCopyBytes(), before);
    EXPECT_TRUE(session.userFileChanged);
    // The window still works on the old file.
    QTest::mouseClick(window->next, Qt::LeftButton);
    EXPECT_EQ(window->Name->text(), "OLD USER 4");
}

TEST_F(OpenTest, UnsavedChangesAnsweredYesGoToTheOldFile) {
    changeUser(5);
    const std::string path = newFile(3);
    platform.choiceAnswers.push_back(zorv::Answer::Yes);
    openWith({path});
    ASSERT_EQ(platform.questions.size(), 1u);
    EXPECT_EQ(platform.questions[0], "Save old user file?");
    EXPECT_EQ(zorv::readNumber(userFileRecord(5), zorv::kLimit), 777);
    EXPECT_EQ(session.userFileName, path);
    EXPECT_EQ(workingCopyBytes(), readFileBytes(path));
    EXPECT_TRUE(session.userFileChanged); // left as it was
}

TEST_F(OpenTest, UnsavedChangesAnsweredNoAreDroppedAndExitAsksAgain) {
    changeUser(5);
    const std::string oldBytes = userFileBytes();
    const std::string path = newFile(3);
    platform.choiceAnswers.push_back(zorv::Answer::No);
    openWith({path});
    EXPECT_EQ(userFileBytes(), oldBytes);
    EXPECT_EQ(workingCopyBytes(), readFileBytes(path));
    EXPECT_TRUE(session.userFileChanged);
    EXPECT_EQ(session.currentIndex, 2);

    platform.choiceAnswers.push_back(zorv::Answer::No);
    window->close();
    ASSERT_EQ(platform.questions.size(), 2u);
    EXPECT_EQ(platform.questions[1], "Save zorvuser.dat file?");
}

TEST_F(OpenTest, FailedSaveOfTheOldFileIsReportedAndNothingSwitches) {
    changeUser(5);
    const std::string changed = workingCopyBytes();
    const std::string path = newFile(3);
    // The old file's folder is gone (a share that went away): the copy back fails.
    std::filesystem::remove_all(dir.file("board"));
    platform.choiceAnswers.push_back(zorv::Answer::Yes);
    openWith({path});
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].title, "Warning");
    EXPECT_TRUE(platform.messages[0].text.startsWith("Unable to save userfile\nFile not found"))
        << platform.messages[0].text.toStdString();
    EXPECT_EQ(session.userFileName, userFile());
    EXPECT_EQ(window->fname1->text(), q(userFile()));
    EXPECT_EQ(storedText("Filename"), userFile());
    EXPECT_EQ(workingCopyBytes(), changed);
    EXPECT_TRUE(session.userFileChanged);
    EXPECT_EQ(session.currentIndex, 5);
    // The changes are still there to be saved elsewhere or later.
    QTest::mouseClick(window->next, Qt::LeftButton);
    EXPECT_EQ(window->Name->text(), "OLD USER 6");
    EXPECT_EQ(zorv::readNumber(workingRecord(5), zorv::kLimit), 777);
}

TEST_F(OpenTest, WithoutASettingsKeyTheFileIsStillTakenAndNamed) {
    std::filesystem::remove_all(dir.file("config"));
    const std::string path = newFile(3);
    openWith({path});
    EXPECT_EQ(session.userFileName, path);
    EXPECT_EQ(window->fname1->text(), q(path)); // names the file being edited
    EXPECT_FALSE(storedText("Filename"));
    EXPECT_EQ(window->tuser->text(), "3");
}

TEST_F(OpenTest, AWorkingCopyEmptiedByAFailedLoadIsNeverCopiedOverAUserFile) {
    // A load that failed half-way (here: a source that cannot be read) leaves
    // the working copy empty; a Save User afterwards only marks a change.
    const std::string before = userFileBytes();
    EXPECT_THROW(session.workingCopy.loadFrom("/proc/self/mem"), zorv::IoError);
    session.userFileChanged = true;

    const std::string path = newFile(3);
    openWith({path});                        // an unscripted question would fail the test
    EXPECT_TRUE(platform.questions.empty()); // nothing there to save
    EXPECT_EQ(userFileBytes(), before);
    EXPECT_EQ(session.userFileName, path);
    EXPECT_EQ(workingCopyBytes(), readFileBytes(path));
}
