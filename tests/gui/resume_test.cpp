// The resume window: which number it reads, where the conference comes from,
// the not-found and error reports, and its geometry across runs.

#include "fixture.h"

#include "democonference.h"
#include "resume/ui/tshowresume.h"
#include "userfile/record.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <functional>

using namespace zorvtest;

namespace {

class ResumeTest : public EditorTest {
  protected:
    std::string conference() const { return dir.file("board/resume"); }

    // Users 0..2 with resume numbers 12, 99 (missing) and 0; a conference
    // holding 12 and 13 with Nordic letters in heading and lines.
    void SetUp() override {
        EditorTest::SetUp();
        std::vector<zorv::Record> users{plainUser("OLA"), plainUser("KARI"), plainUser("PER")};
        zorv::writeNumber(users[0], zorv::kResume, 12);
        zorv::writeNumber(users[1], zorv::kResume, 99);
        writeUsers(users);
        rememberUserFile();

        zorvtool::ConferenceBuilder conf;
        // cp865: 0x9D O-slash, 0x9B o-slash, 0x86 a-ring, 0x91 ae, 0x82 e-acute
        conf.addTextMessage(12, "OM MEG \x9D \x82t\x82", zorvtool::packDosDateTime(1997, 3, 5),
                            {"Hei, jeg heter Ola og bor p\x86 \x9Bya.", "",
                             "Bl\x86"
                             "b\x91r\x01"});
        conf.addTextMessage(13, "ANDRE", zorvtool::packDosDateTime(1998, 1, 2), {"Feil melding"});
        conf.write(conference());
    }

    void storeConference(const std::string& base) {
        zorv::RegFileKey key(settingsFile());
        ASSERT_TRUE(key.open(true));
        key.writeText("Resume", base);
        key.close();
    }

    void startWithResumeWindow() {
        ASSERT_NO_FATAL_FAILURE(start());
        window->showresume =
            new zorv::Tshowresume(edit, platform, *settings, window->fileopen, window.get());
    }

    zorv::Tshowresume* resumeWindow() { return window->showresume; }

    // Clicks "Read resume"; once the window has loaded, runs `check` and
    // closes the window with its button.
    void readResume(const std::function<void()>& check) {
        zorv::Tshowresume* w = resumeWindow();
        const int before = w->activations();
        bool ran = false;
        QTimer poll;
        poll.setInterval(5);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            if (!w->isVisible() || w->activations() == before)
                return;
            poll.stop();
            ran = true;
            check();
            w->Button1->click();
        });
        poll.start();
        QTimer::singleShot(5000, w, [w] {
            if (w->isVisible())
                w->reject();
        });
        window->resumebt->click();
        QApplication::processEvents();
        EXPECT_TRUE(ran) << "the resume window did not load";
        EXPECT_FALSE(w->isVisible());
    }

    QString memo() { return resumeWindow()->Memo1->toPlainText(); }
};

TEST_F(ResumeTest, ReadsTheStoredNumberNotAnUnsavedEdit) {
    storeConference(conference());
    startWithResumeWindow();
    ASSERT_TRUE(window->resumebt->isEnabled());
    window->resume1->selectAll();
    QTest::keyClicks(window->resume1, "13");
    readResume([&] {
        // The heading's letters are the memo's, not only the Nordic ones.
        EXPECT_EQ(resumeWindow()->lab1->text(), "#12 OM MEG Ø été 05.03.1997");
        EXPECT_EQ(memo(), "Hei, jeg heter Ola og bor på øya.\n\nBlåbær☺");
        EXPECT_TRUE(platform.messages.empty());
        // Enter in the memo closes nothing; on the focused Close it closes.
        resumeWindow()->Memo1->setFocus();
        QTest::keyClick(resumeWindow()->Memo1, Qt::Key_Return);
        EXPECT_TRUE(resumeWindow()->isVisible());
        resumeWindow()->Button1->setFocus();
        QTest::keyClick(resumeWindow()->Button1, Qt::Key_Return);
        EXPECT_FALSE(resumeWindow()->isVisible());
    });
    EXPECT_EQ(window->resume1->text(), "13"); // the edit is not undone by the reading
}

TEST_F(ResumeTest, NoConferenceStoredAsksInTheUserFilesFolder) {
    startWithResumeWindow();
    platform.openAnswers.push_back(QString::fromStdString(conference() + ".hdr"));
    readResume([&] { EXPECT_TRUE(memo().startsWith("Hei, jeg heter Ola")); });
    ASSERT_EQ(platform.openDialogs.size(), 1u);
    const zorv::FileDialog& d = platform.openDialogs[0];
    EXPECT_EQ(d.fileName, "*.hdr");
    EXPECT_EQ(d.filter, "Conference files.(*.hdr)|*.hdr");
    EXPECT_EQ(d.initialDir, QString::fromStdString(dir.file("board")));
    EXPECT_EQ(storedText("Resume"), conference());

    // Stored: the next opening asks no more.
    readResume([&] { EXPECT_FALSE(memo().isEmpty()); });
    EXPECT_EQ(platform.openDialogs.size(), 1u);
}

TEST_F(ResumeTest, CancelledConferenceChoiceKeepsWhatWasShown) {
    storeConference(conference());
    startWithResumeWindow();
    readResume([] {});
    const QString shown = memo();
    ASSERT_FALSE(shown.isEmpty());

    // The stored choice is gone (the settings were reset): the window asks.
    std::filesystem::remove(settingsFile());
    rememberUserFile();
    platform.openAnswers.push_back(std::nullopt);
    readResume([&] {
        EXPECT_EQ(memo(), shown);
        EXPECT_EQ(resumeWindow()->lab1->text(), "#12 OM MEG Ø été 05.03.1997");
    });
    EXPECT_TRUE(platform.messages.empty());
    EXPECT_EQ(storedText("Resume"), std::nullopt);
}

TEST_F(ResumeTest, NumberNotInTheConference) {
    storeConference(conference());
    startWithResumeWindow();
    readResume([] {}); // user 0 first, so that there is something to clear
    window->nextClick();
    readResume([&] {
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].title, "Error");
        EXPECT_EQ(platform.messages[0].text, "Resume not found!");
        EXPECT_EQ(platform.messages[0].icon, zorv::MessageIcon::Stop);
        EXPECT_EQ(resumeWindow()->lab1->text(), "");
        EXPECT_EQ(memo(), "");
        EXPECT_TRUE(resumeWindow()->isVisible());
    });
}

TEST_F(ResumeTest, MissingConferenceFileIsAnIoError) {
    storeConference(conference());
    startWithResumeWindow();
    readResume([] {});
    ASSERT_FALSE(memo().isEmpty());
    // The conference goes away: nothing of the last reading may stay.
    storeConference(dir.file("board/nothere"));
    readResume([&] {
        ASSERT_EQ(platform.messages.size(), 1u);
        EXPECT_EQ(platform.messages[0].title, "ZORV user editor");
        EXPECT_EQ(platform.messages[0].text, "File not found.");
        EXPECT_EQ(memo(), "");
        EXPECT_EQ(resumeWindow()->lab1->text(), "");
        EXPECT_TRUE(resumeWindow()->isVisible());
    });
}

TEST_F(ResumeTest, ResumeNumberZeroDisablesTheButton) {
    startWithResumeWindow();
    window->Last1Click();
    EXPECT_FALSE(window->resumebt->isEnabled());
    window->First1Click();
    EXPECT_TRUE(window->resumebt->isEnabled());
}

TEST_F(ResumeTest, ChangeConferenceOffersTheStoredOneAndStoresTheChoice) {
    startWithResumeWindow();
    // Nothing stored: "*.hdr" in the user file's folder.
    platform.openAnswers.push_back(QString::fromStdString(dir.file("board/other.hdr")));
    window->changeresbt->click();
    ASSERT_EQ(platform.openDialogs.size(), 1u);
    EXPECT_EQ(platform.openDialogs[0].fileName, "*.hdr");
    EXPECT_EQ(platform.openDialogs[0].initialDir, QString::fromStdString(dir.file("board")));
    EXPECT_EQ(platform.openDialogs[0].filter, "Conference files.(*.hdr)|*.hdr");
    EXPECT_EQ(storedText("Resume"), dir.file("board/other"));

    // Stored: offered as the file name. Cancel changes nothing.
    platform.openAnswers.push_back(std::nullopt);
    window->changeresbt->click();
    ASSERT_EQ(platform.openDialogs.size(), 2u);
    EXPECT_EQ(platform.openDialogs[1].fileName,
              QString::fromStdString(dir.file("board/other.hdr")));
    EXPECT_EQ(storedText("Resume"), dir.file("board/other"));
    // The conference filter stays on the shared dialog.
    EXPECT_EQ(window->fileopen.filter, "Conference files.(*.hdr)|*.hdr");
}

TEST_F(ResumeTest, GeometryComesBackAfterARestart) {
    storeConference(conference());
    startWithResumeWindow();
    QRect outer;
    readResume([&] {
        resumeWindow()->move(120, 90);
        resumeWindow()->resize(600, 420);
        outer = resumeWindow()->frameGeometry();
    });
    // The outer size, frame included.
    EXPECT_EQ(outer.topLeft(), QPoint(120, 90));
    EXPECT_GE(outer.width(), 600);
    EXPECT_EQ(storedInteger("r.left"), 120);
    EXPECT_EQ(storedInteger("r.top"), 90);
    EXPECT_EQ(storedInteger("r.width"), outer.width());
    EXPECT_EQ(storedInteger("r.height"), outer.height());

    window.reset();
    startWithResumeWindow();
    readResume([&] {
        EXPECT_EQ(resumeWindow()->frameGeometry(), outer);
        // The layout follows the size: the memo and the button keep their margins.
        const QRect memoBox = resumeWindow()->Memo1->geometry();
        const QRect button = resumeWindow()->Button1->geometry();
        EXPECT_LT(memoBox.right(), resumeWindow()->width());
        EXPECT_GT(button.top(), memoBox.bottom());
        EXPECT_LT(button.bottom(), resumeWindow()->height());
        EXPECT_GT(memoBox.width(), 500);
    });
}

} // namespace
