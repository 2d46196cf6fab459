// Start-up and exit: the first run, a missing or empty user file, the stored
// window position, and the question at exit.

#include "fixture.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTest>

#include <sys/stat.h>

using namespace zorvtest;
using namespace zorv;

TEST_F(EditorTest, FirstRunAsksForTheFileAndStoresIt) {
    writeUsers(demoUsers(42));
    ASSERT_FALSE(storedText("Filename"));
    platform.openAnswers = {QString::fromStdString(userFile())};
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_EQ(platform.openDialogs.size(), 1u);
    const FileDialog& d = platform.openDialogs[0];
    EXPECT_EQ(d.filter, "ZORV user records (zorvuser.dat)|zorvuser.dat|.dat files |*.dat|"
                        "All files (*.*)|*.*");
    EXPECT_EQ(d.filterIndex, 1);
    EXPECT_EQ(d.defaultExt, "dat");
    EXPECT_EQ(d.initialDir, "");
    EXPECT_TRUE(window->started());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(storedText("Filename"), userFile());
    EXPECT_EQ(storedText("Options"), "11111111001");
    EXPECT_EQ(window->listOptions, "11111111001");
    EXPECT_EQ(window->poss->text(), "0/41");
    EXPECT_EQ(window->fname1->text(), QString::fromStdString(userFile()));
    EXPECT_EQ(window->statcb->currentText(), "Don't care");
    EXPECT_EQ(window->ttype->count(), 4);
    EXPECT_EQ(window->statcb->count(), 5);
    EXPECT_EQ(workingCopyBytes(), userFileBytes());
    EXPECT_TRUE(platform.messages.empty());
}

TEST_F(EditorTest, FirstRunCancelledEndsTheProgram) {
    writeUsers(demoUsers(3));
    platform.openAnswers = {std::nullopt};
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_FALSE(window->started());
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(storedText("Filename"));
    EXPECT_FALSE(fileExists(workingCopy()));
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_TRUE(platform.questions.empty());
}

TEST_F(EditorTest, MissingUserFileEndsTheProgram) {
    rememberUserFile(dir.file("board/gone.dat"));
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].title, "Error");
    EXPECT_EQ(platform.messages[0].text, "Finner ikke filen...");
    EXPECT_EQ(platform.messages[0].icon, MessageIcon::None);
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(window->started());
    EXPECT_EQ(storedText("Filename"), dir.file("board/gone.dat")) << "value left alone";
    EXPECT_FALSE(fileExists(workingCopy()));
    EXPECT_TRUE(platform.questions.empty());
}

TEST_F(EditorTest, EarlierWorkingCopyIsReplacedAtStart) {
    writeUsers(demoUsers(4));
    writeFileBytes(workingCopy(), std::string(273 * 9, 'x'));
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(workingCopyBytes(), userFileBytes());
    EXPECT_EQ(window->poss->text(), "0/3");
}

TEST_F(EditorTest, SomethingPlantedAtTheWorkingCopyIsNamedAndNothingIsLoaded) {
    writeUsers(demoUsers(4));
    ASSERT_EQ(::mkfifo(workingCopy().c_str(), 0666), 0);
    rememberUserFile();
    start();
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].title, "ZORV user editor");
    const QString said = platform.messages[0].text;
    EXPECT_TRUE(said.contains(QString::fromStdString(workingCopy()) + " is a FIFO owned by "))
        << said.toStdString();
    EXPECT_TRUE(said.endsWith("No user file was loaded.")) << said.toStdString();
    EXPECT_FALSE(window->started());
    struct stat st {};
    ASSERT_EQ(::lstat(workingCopy().c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode)) << "left where it was";
}

TEST_F(EditorTest, EmptyUserFileWritesNothingAndKeepsTheWindow) {
    writeFileBytes(userFile(), "");
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_TRUE(window->isVisible());
    ASSERT_EQ(platform.messages.size(), 1u);
    EXPECT_EQ(platform.messages[0].title, "Warning");
    EXPECT_EQ(platform.messages[0].icon, MessageIcon::Warning);
    EXPECT_TRUE(platform.messages[0].text.startsWith("The user file holds no users"));
    EXPECT_EQ(window->tuser->text(), "0");
    EXPECT_EQ(window->tlogins->text(), "0");
    EXPECT_EQ(window->Name->text(), "");
    EXPECT_FALSE(window->bar->isEnabled());

    QTest::keyClicks(window->Name, "NOBODY");
    QTest::mouseClick(window->save, Qt::LeftButton);
    QTest::mouseClick(window->next, Qt::LeftButton);
    QTest::mouseClick(window->prev, Qt::LeftButton);
    window->Last1->trigger();
    window->First1->trigger();
    window->Goto1->trigger(); // no input box: there is nowhere to go
    QTest::mouseClick(window->savefilebt, Qt::LeftButton);
    EXPECT_EQ(platform.messages.size(), 1u) << "nothing else to report";
    EXPECT_FALSE(session.userFileChanged);
    EXPECT_EQ(workingCopyBytes(), "");
    EXPECT_EQ(userFileBytes(), "");
    window->close();
    EXPECT_TRUE(platform.questions.empty());
}

TEST_F(EditorTest, StoredPositionIsRestoredAndStoredAgainAtExit) {
    writeUsers(demoUsers(2));
    rememberUserFile();
    storeInteger("m.top", 120);
    storeInteger("m.left", 230);
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(window->pos(), QPoint(230, 120));
    window->move(40, 50);
    QTest::mouseClick(window->exit_, Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(storedInteger("m.top"), 50);
    EXPECT_EQ(storedInteger("m.left"), 40);
}

TEST_F(EditorTest, PositionNeedsTheLeftEdge) {
    writeUsers(demoUsers(2));
    rememberUserFile();
    storeInteger("m.top", 120);
    const QPoint before = QWidget().pos();
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(window->pos(), before);
}

TEST_F(EditorTest, ExitWithoutChangesAsksNothing) {
    writeUsers(demoUsers(3));
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(start());
    const std::string before = userFileBytes();
    window->Exit1->trigger();
    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(session.workingCopy.isOpen());
    EXPECT_TRUE(platform.questions.empty());
    EXPECT_EQ(userFileBytes(), before);
    EXPECT_TRUE(fileExists(workingCopy())) << "the working copy stays on disk";
}

TEST_F(EditorTest, ExitAsksAndCopiesBackOnYes) {
    writeUsers(demoUsers(3));
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(start());
    QTest::keyClicks(window->Tlf, "9");
    QTest::mouseClick(window->save, Qt::LeftButton);
    platform.choiceAnswers = {Answer::Yes};
    QTest::mouseClick(window->exit_, Qt::LeftButton);
    ASSERT_EQ(platform.questions.size(), 1u);
    EXPECT_EQ(platform.questions[0], "Save zorvuser.dat file?");
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(userFileBytes(), workingCopyBytes());
}

TEST_F(EditorTest, ExitAnsweredNoLeavesTheUserFile) {
    writeUsers(demoUsers(3));
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(start());
    const std::string before = userFileBytes();
    QTest::mouseClick(window->save, Qt::LeftButton);
    platform.choiceAnswers = {Answer::No};
    window->close(); // the title bar's close button
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(userFileBytes(), before);
    EXPECT_TRUE(storedInteger("m.left").has_value());
}

TEST_F(EditorTest, FailedCopyBackAtExitKeepsTheWindowAndTheChanges) {
    writeUsers(demoUsers(3));
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(start());
    QTest::keyClicks(window->Tlf, "9");
    QTest::mouseClick(window->save, Qt::LeftButton);
    const std::string edited = workingCopyBytes();
    std::filesystem::remove(userFile());
    std::filesystem::create_directory(userFile()); // cannot be replaced by a file

    platform.choiceAnswers = {Answer::Yes};
    QTest::mouseClick(window->exit_, Qt::LeftButton);
    EXPECT_TRUE(window->isVisible());
    ASSERT_FALSE(platform.messages.empty());
    EXPECT_TRUE(platform.messages.back().text.startsWith("Unable to save userfile\n"));
    EXPECT_TRUE(session.workingCopy.isOpen()) << "reopened after Exit closed it";
    EXPECT_TRUE(session.userFileChanged);
    EXPECT_EQ(workingCopyBytes(), edited);
    EXPECT_FALSE(storedInteger("m.left").has_value()) << "the window did not close";

    // Once the file can be written again, the changes still get there: the
    // file is gone, so the editor's copy is written whole when asked to.
    std::filesystem::remove(userFile());
    QTest::mouseClick(window->next, Qt::LeftButton);
    platform.choiceAnswers = {Answer::Yes};
    platform.chooseAnswers = {0};
    QTest::mouseClick(window->exit_, Qt::LeftButton);
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(userFileBytes(), edited);
}

TEST_F(EditorTest, BytesAfterTheLastWholeRecordAreCarriedButNeverShown) {
    writeUsers(demoUsers(5));
    std::string bytes = userFileBytes() + std::string(100, '\x7F');
    writeFileBytes(userFile(), bytes);
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(start());
    EXPECT_EQ(window->poss->text(), "0/4");
    EXPECT_EQ(window->tuser->text(), "5");
    window->Last1->trigger();
    QTest::keyClicks(window->postnr, "X");
    QTest::mouseClick(window->save, Qt::LeftButton);
    QTest::mouseClick(window->savefilebt, Qt::LeftButton);
    const std::string saved = userFileBytes();
    ASSERT_EQ(saved.size(), bytes.size());
    EXPECT_EQ(saved.substr(5 * 273), std::string(100, '\x7F'));
    EXPECT_EQ(saved.substr(0, 4 * 273), bytes.substr(0, 4 * 273));
    EXPECT_NE(saved.substr(4 * 273, 273), bytes.substr(4 * 273, 273));
}

TEST_F(EditorTest, StartUpRunsOnce) {
    writeUsers(demoUsers(3));
    platform.openAnswers = {QString::fromStdString(userFile())};
    ASSERT_NO_FATAL_FAILURE(start());
    window->Next1->trigger();
    window->hide();
    window->show();
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_EQ(platform.openDialogs.size(), 1u);
    EXPECT_EQ(session.currentIndex, 1) << "no second load";
    EXPECT_EQ(window->poss->text(), "1/2");
}
