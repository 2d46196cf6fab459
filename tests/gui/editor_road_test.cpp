// The road of one edit: start, move to user 12 with the track bar, type a new
// limit, Save User, Save File; the bytes of the working copy and the user file.

#include "fixture.h"

#include "userfile/codepage.h"
#include "userfile/record.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

using namespace zorvtest;

TEST_F(EditorTest, RoadOfOneEdit) {
    const auto users = demoUsers(250);
    writeUsers(users);
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(window->started());
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(window->poss->text(), "0/249");
    EXPECT_EQ(window->tuser->text(), "250");
    EXPECT_EQ(window->fname1->text(), QString::fromStdString(userFile()));
    const std::string original = userFileBytes();
    EXPECT_EQ(workingCopyBytes(), original);

    // The operator drags the bar to user 12.
    window->bar->setFocus();
    window->bar->setSliderDown(true);
    window->bar->setSliderPosition(12);
    window->bar->setSliderDown(false);
    EXPECT_EQ(session.currentIndex, 12);
    EXPECT_EQ(window->poss->text(), "12/249");
    EXPECT_EQ(window->Name->text().toStdString(),
              zorv::cp1252ToUtf8(zorv::readText(users[12], zorv::kName)));

    window->limit->selectAll();
    QTest::keyClicks(window->limit, "4321");
    QTest::mouseClick(window->save, Qt::LeftButton);
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_TRUE(session.userFileChanged);

    // Only the limit changed: every code, flag, security bit and reserved byte
    // of the demo user (some without a list item) came back as it was.
    zorv::Record expected = users[12];
    zorv::writeNumber(expected, zorv::kLimit, 4321);
    EXPECT_EQ(workingRecord(12), expected);
    for (int i : {0, 11, 13, 249})
        EXPECT_EQ(workingRecord(i), users[static_cast<std::size_t>(i)]) << "record " << i;
    EXPECT_EQ(userFileBytes(), original) << "the user file waits for Save File";
    EXPECT_EQ(window->limit->text(), "4321");
    EXPECT_FALSE(window->limit->isModified());

    QTest::mouseClick(window->savefilebt, Qt::LeftButton);
    EXPECT_FALSE(session.userFileChanged);
    EXPECT_EQ(userFileBytes(), workingCopyBytes());
    EXPECT_EQ(userFileRecord(12), expected);
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(EditorTest, SaveFileWithoutChangesDoesNothing) {
    writeUsers(demoUsers(5));
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(start());
    // Something else replaces the board's file meanwhile; an idle Save File
    // must not put the editor's copy over it.
    auto other = demoUsers(6);
    writeUsers(other);
    const std::string theirs = userFileBytes();
    QTest::mouseClick(window->savefilebt, Qt::LeftButton);
    EXPECT_EQ(userFileBytes(), theirs);

    QTest::mouseClick(window->save, Qt::LeftButton);
    QTest::mouseClick(window->savefilebt, Qt::LeftButton);
    EXPECT_EQ(userFileBytes(), workingCopyBytes());
    writeUsers(other);
    QTest::mouseClick(window->savefilebt, Qt::LeftButton); // second: nothing to save
    EXPECT_EQ(userFileBytes(), theirs);
}

TEST_F(EditorTest, FailedSaveFileKeepsTheChangeMark) {
    writeUsers(demoUsers(3));
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(start());
    QTest::mouseClick(window->save, Qt::LeftButton);
    // The user file's place is taken by a folder: the copy back cannot replace it.
    std::filesystem::remove(userFile());
    std::filesystem::create_directory(userFile());
    QTest::mouseClick(window->savefilebt, Qt::LeftButton);
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].title, "Warning");
    EXPECT_EQ(platform.messages[0].text,
              QString::fromStdString("Unable to save userfile\nFile access denied (a folder): " +
                                     userFile()));
    EXPECT_TRUE(session.userFileChanged);
    // The working copy is still usable.
    QTest::mouseClick(window->next, Qt::LeftButton);
    EXPECT_EQ(window->poss->text(), "1/2");
    std::filesystem::remove(userFile());
}
