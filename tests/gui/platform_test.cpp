// The real platform's dialogs, answered from a timer, and the error guard.

#include "platform/guard.h"
#include "platform/qtplatform.h"
#include "reports/exportform.h"
#include "scripted_platform.h"
#include "tempdir.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

using namespace zorv;
using zorvtest::ScriptedPlatform;

namespace {

// Runs `answer` on the modal dialog that the next call opens, once it is the
// active window as the operator meets it: before that its name field has no
// focus yet, and a dialog answers some calls differently. A dialog that never
// comes or never becomes active, or that the answer leaves open, fails the
// test and is closed, so that the test ends instead of hanging.
void whenModal(std::function<void(QWidget*)> answer) {
    auto* timer = new QTimer(qApp);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, answer, tries = 0]() mutable {
        QWidget* w = QApplication::activeModalWidget();
        const bool active = w && QApplication::activeWindow() == w;
        if (!active && ++tries < 200)
            return;
        timer->stop();
        timer->deleteLater();
        if (!w) {
            ADD_FAILURE() << "no modal dialog appeared";
            return;
        }
        QPointer<QWidget> dialog(w);
        if (active)
            answer(w);
        else
            ADD_FAILURE() << "the dialog never became the active window";
        if (dialog && dialog->isVisible()) {
            if (active)
                ADD_FAILURE() << "the answer left the dialog open";
            if (auto* d = qobject_cast<QDialog*>(dialog.data()))
                d->reject();
            else
                dialog->close();
        }
    });
    timer->start();
}

} // namespace

TEST(QtNameFilters, TurnsTheWindowsFilterTextIntoQtFilters) {
    EXPECT_EQ(
        qtNameFilters("ZORV user records (zorvuser.dat)|zorvuser.dat|.dat files |*.dat|"
                      "All files (*.*)|*.*"),
        QStringList({"ZORV user records (zorvuser.dat)", ".dat files (*.dat)", "All files (*)"}));
    EXPECT_EQ(qtNameFilters("Conference files.(*.hdr)|*.hdr"),
              QStringList({"Conference files.(*.hdr)"}));
    EXPECT_EQ(qtNameFilters("Text|*.txt;*.tab"), QStringList({"Text (*.txt *.tab)"}));
    EXPECT_EQ(qtNameFilters(""), QStringList());
    EXPECT_EQ(qtNameFilters("Dangling"), QStringList());
}

TEST(QtPlatformTest, OpenDialogShowsTheFiltersAndReturnsTheChosenFile) {
    zorvtest::TempDir dir;
    zorvtest::writeFileBytes(dir.file("zorvuser.dat"), std::string(273, '\0'));
    zorvtest::writeFileBytes(dir.file("other.dat"), "");
    QtPlatform platform;
    FileDialog d;
    d.filter = "ZORV user records (zorvuser.dat)|zorvuser.dat|.dat files |*.dat|"
               "All files (*.*)|*.*";
    d.defaultExt = "dat";
    d.initialDir = QString::fromStdString(dir.path());
    QStringList filtersSeen;
    QString selectedFilter;
    whenModal([&](QWidget* w) {
        auto* fd = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(fd, nullptr);
        filtersSeen = fd->nameFilters();
        selectedFilter = fd->selectedNameFilter();
        EXPECT_EQ(fd->fileMode(), QFileDialog::ExistingFile);
        EXPECT_EQ(fd->defaultSuffix(), "dat");
        // Typed, as the operator does: selectFile() leaves the name field
        // alone while it has the focus.
        auto* name = fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        name->setText(QString::fromStdString(dir.file("zorvuser.dat")));
        static_cast<QDialog*>(fd)->accept();
    });
    ASSERT_TRUE(platform.openFile(nullptr, d));
    EXPECT_EQ(d.fileName, QString::fromStdString(dir.file("zorvuser.dat")));
    EXPECT_EQ(filtersSeen.size(), 3);
    EXPECT_EQ(selectedFilter, "ZORV user records (zorvuser.dat)");
    EXPECT_EQ(d.filterIndex, 1);

    const FileDialog before = d;
    whenModal([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
    EXPECT_FALSE(platform.openFile(nullptr, d));
    EXPECT_EQ(d.fileName, before.fileName) << "a cancel leaves the dialog's name alone";
}

TEST(QtPlatformTest, OpenDialogWithAPresetFileOpensItOnEnter) {
    zorvtest::TempDir dir;
    zorvtest::writeFileBytes(dir.file("zorvuser.dat"), std::string(273, '\0'));
    QtPlatform platform;
    FileDialog d;
    d.filter = "ZORV user records (zorvuser.dat)|zorvuser.dat|All files (*.*)|*.*";
    d.fileName = QString::fromStdString(dir.file("zorvuser.dat"));
    QString named;
    whenModal([&](QWidget* w) {
        auto* name = w->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        ASSERT_NE(name, nullptr);
        named = name->text();
        ASSERT_NE(QApplication::focusWidget(), nullptr);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    });
    ASSERT_TRUE(platform.openFile(nullptr, d));
    EXPECT_EQ(named, "zorvuser.dat");
    EXPECT_EQ(d.fileName, QString::fromStdString(dir.file("zorvuser.dat")));
}

TEST(QtPlatformTest, SaveDialogRenamesByTypeAndGivesABareNameTheTypesExtension) {
    zorvtest::TempDir dir;
    QtPlatform platform;
    FileDialog d;
    d.filter = QString::fromLatin1(kExportFilter);
    d.fileName = QStringLiteral("userlist.txt");
    d.initialDir = QString::fromStdString(dir.path());
    for (int i = 1; i <= kExportTypes; ++i)
        d.typeExtensions << QString::fromLatin1(typeExtension(i));
    QStringList names, suffixes;
    whenModal([&](QWidget* w) {
        auto* fd = qobject_cast<QFileDialog*>(w);
        ASSERT_NE(fd, nullptr);
        auto* name = fd->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        auto* types = fd->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(name, nullptr);
        ASSERT_NE(types, nullptr);
        names << name->text();
        suffixes << fd->defaultSuffix();
        // Down the list of types by key and back up, as the operator picks them.
        for (Qt::Key key :
             {Qt::Key_Down, Qt::Key_Down, Qt::Key_Down, Qt::Key_Up, Qt::Key_Up, Qt::Key_Up}) {
            QTest::keyClick(types, key);
            names << name->text();
            suffixes << fd->defaultSuffix();
        }
        name->setText(QStringLiteral("list.dat"));
        QTest::keyClick(types, Qt::Key_Down); // CSV
        names << name->text();
        name->setText(QStringLiteral("bare"));
        static_cast<QDialog*>(fd)->accept();
    });
    ASSERT_TRUE(platform.saveFile(nullptr, d));
    EXPECT_EQ(names, QStringList({"userlist.txt", "userlist.csv", "userlist.html", "userlist.html",
                                  "userlist.html", "userlist.csv", "userlist.txt", "list.csv"}));
    EXPECT_EQ(suffixes, QStringList({"txt", "csv", "html", "", "html", "csv", "txt"}));
    EXPECT_EQ(d.fileName, QString::fromStdString(dir.file("bare.csv")));
    EXPECT_EQ(d.filterIndex, 2);
}

TEST(QtPlatformTest, OpenDialogSaysWhatItAsksForAndFitsItsColumns) {
    zorvtest::TempDir dir;
    // 250 users: the size column reads "66.7 KiB", which a narrow dialog cuts.
    zorvtest::writeFileBytes(dir.file("zorvuser.dat"), std::string(250 * 273, '\0'));
    QtPlatform platform;
    FileDialog d;
    d.filter = "ZORV user records (zorvuser.dat)|zorvuser.dat";
    d.initialDir = QString::fromStdString(dir.path());
    d.title = "Open the board's user file (zorvuser.dat)";
    QString title;
    whenModal([&](QWidget* w) {
        title = w->windowTitle();
        auto* view = w->findChild<QTreeView*>();
        ASSERT_NE(view, nullptr);
        for (int i = 0; i < 200 && view->model()->rowCount(view->rootIndex()) == 0; ++i)
            QTest::qWait(10);
        ASSERT_GT(view->model()->rowCount(view->rootIndex()), 0);
        QTest::qWait(50); // the columns are fitted once the folder is read
        QHeaderView* h = view->header();
        const QAbstractItemModel* m = view->model();
        for (int c = 1; c < h->count(); ++c) { // size, type, date: the name takes the rest
            int widest = 0;
            for (int r = 0; r < m->rowCount(view->rootIndex()); ++r) {
                const QString text = m->index(r, c, view->rootIndex()).data().toString();
                widest = std::max(widest, view->fontMetrics().horizontalAdvance(text));
            }
            EXPECT_GE(h->sectionSize(c), widest + 6) << "column " << c << " cut";
        }
        EXPECT_LE(h->length(), view->viewport()->width()) << "no column beyond the view";
        static_cast<QDialog*>(w)->reject();
    });
    EXPECT_FALSE(platform.openFile(nullptr, d));
    EXPECT_EQ(title, "Open the board's user file (zorvuser.dat)");
}

TEST(QtPlatformTest, BoxesStandOverTheWindowThatRaisedThem) {
    QtPlatform platform;
    QWidget window;
    window.setGeometry(30, 40, 600, 420);
    auto* field = new QLineEdit(&window);
    window.show();
    QApplication::processEvents();
    QPoint boxCentre;
    whenModal([&](QWidget* w) {
        boxCentre = w->frameGeometry().center();
        static_cast<QDialog*>(w)->accept();
    });
    platform.message(field, "ZORV user editor", "'abc' is not a valid integer value.",
                     MessageIcon::Stop);
    EXPECT_LE((boxCentre - window.frameGeometry().center()).manhattanLength(), 4);

    whenModal([&](QWidget* w) {
        boxCentre = w->frameGeometry().center();
        static_cast<QMessageBox*>(w)->button(QMessageBox::Cancel)->click();
    });
    EXPECT_EQ(platform.confirmOrCancel(field, "Save the changes?"), Answer::Cancel);
    EXPECT_LE((boxCentre - window.frameGeometry().center()).manhattanLength(), 4);

    // The error guard hands its box the handler's window.
    ScriptedPlatform scripted;
    guarded(scripted, field, [] { throw std::runtime_error("File not found"); });
    ASSERT_EQ(scripted.messages.size(), 1u);
    EXPECT_EQ(scripted.messages[0].parent, &window);
}

TEST(QtPlatformTest, ConfirmOrCancelMapsItsThreeButtonsAndEscape) {
    QtPlatform platform;
    whenModal([](QWidget* w) { static_cast<QMessageBox*>(w)->button(QMessageBox::Yes)->click(); });
    EXPECT_EQ(platform.confirmOrCancel(nullptr, "q"), Answer::Yes);
    whenModal([](QWidget* w) { static_cast<QMessageBox*>(w)->button(QMessageBox::No)->click(); });
    EXPECT_EQ(platform.confirmOrCancel(nullptr, "q"), Answer::No);
    QString title;
    whenModal([&](QWidget* w) {
        title = w->windowTitle();
        QTest::keyClick(w, Qt::Key_Escape);
    });
    EXPECT_EQ(platform.confirmOrCancel(nullptr, "q"), Answer::Cancel);
    EXPECT_EQ(title, "Confirm");
}

TEST(QtPlatformTest, InputBoxCancelGivesTheDefault) {
    QtPlatform platform;
    int maxLength = 0;
    QString title;
    whenModal([&](QWidget* w) {
        title = w->windowTitle();
        auto* edit = w->findChild<QLineEdit*>();
        ASSERT_NE(edit, nullptr);
        maxLength = edit->maxLength();
        EXPECT_EQ(edit->text(), "12");
        static_cast<QDialog*>(w)->reject();
    });
    EXPECT_EQ(platform.inputBox(nullptr, "Goto new user..", "Please enter a user number:", "12"),
              "12");
    EXPECT_EQ(title, "Goto new user..");
    EXPECT_EQ(maxLength, 255);

    whenModal([](QWidget* w) {
        auto* edit = w->findChild<QLineEdit*>();
        edit->setText("40");
        static_cast<QDialog*>(w)->accept();
    });
    EXPECT_EQ(platform.inputBox(nullptr, "t", "p", "12"), "40");
}

TEST(QtPlatformTest, ConfirmAndMessageBoxes) {
    QtPlatform platform;
    QString title;
    whenModal([&](QWidget* w) {
        auto* box = qobject_cast<QMessageBox*>(w);
        ASSERT_NE(box, nullptr);
        title = box->windowTitle();
        EXPECT_EQ(box->text(), "Save zorvuser.dat file?");
        box->button(QMessageBox::No)->click();
    });
    EXPECT_FALSE(platform.confirm(nullptr, "Save zorvuser.dat file?"));
    EXPECT_EQ(title, "Confirm");
    whenModal([](QWidget* w) { static_cast<QMessageBox*>(w)->button(QMessageBox::Yes)->click(); });
    EXPECT_TRUE(platform.confirm(nullptr, "Sure?"));

    QMessageBox::Icon icon = QMessageBox::NoIcon;
    whenModal([&](QWidget* w) {
        auto* box = static_cast<QMessageBox*>(w);
        icon = box->icon();
        title = box->windowTitle();
        box->accept();
    });
    platform.message(nullptr, "ZORV user editor", "File not found.", MessageIcon::Stop);
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(title, "ZORV user editor");
}

// Both questions guard unsaved changes: only a press of Yes or No answers
// them, never Escape or the close button, which would otherwise count as No.
TEST(QtPlatformTest, ConfirmIsAnsweredOnlyByItsButtons) {
    QtPlatform platform;
    bool stillOpen = false;
    whenModal([&](QWidget* w) {
        QTest::keyClick(w, Qt::Key_Escape);
        w->close();
        QApplication::processEvents();
        stillOpen = w->isVisible();
        if (auto* box = qobject_cast<QMessageBox*>(w); box && stillOpen)
            box->button(QMessageBox::Yes)->click();
    });
    EXPECT_TRUE(platform.confirm(nullptr, "Save zorvuser.dat file?"));
    EXPECT_TRUE(stillOpen);
}

TEST(QtPlatformTest, ProgramPathCanBeReplaced) {
    QtPlatform platform;
    EXPECT_EQ(platform.programPath(), QCoreApplication::applicationFilePath());
    platform.setProgramPath("/opt/zorv/zorvedit.exe");
    EXPECT_EQ(platform.programPath(), "/opt/zorv/zorvedit.exe");
    EXPECT_TRUE(platform.stateDir().endsWith("/zorvedit"));
    const Date today = platform.today();
    EXPECT_GE(today.year, 2024);
    EXPECT_TRUE(today.month >= 1 && today.month <= 12);
}

TEST(PlatformPromptsTest, MapsTheUserFileQuestionsOntoThePlatform) {
    ScriptedPlatform platform;
    PlatformPrompts prompts(platform, nullptr);
    prompts.message("Error", "Finner ikke filen...");
    prompts.warning("Unable to save userfile");
    platform.confirmAnswers = {true, false};
    EXPECT_TRUE(prompts.confirm("Save zorvuser.dat file?"));
    EXPECT_FALSE(prompts.confirm("Save old user file?"));
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[0].title, "Error");
    EXPECT_EQ(platform.messages[0].icon, MessageIcon::None);
    EXPECT_EQ(platform.messages[1].title, "Warning");
    EXPECT_EQ(platform.messages[1].icon, MessageIcon::Warning);
    EXPECT_EQ(platform.questions.size(), 2u);
}

TEST(PlatformPromptsTest, WorkingCopyLiesBesideTheProgram) {
    zorvtest::TempDir dir;
    ScriptedPlatform platform;
    platform.programPathValue = QString::fromStdString(dir.file("zorvedit.exe"));
    platform.stateDirValue = QString::fromStdString(dir.file("state"));
    EXPECT_EQ(workingCopyPathFor(platform), dir.file("zorvedit.dat"));
    platform.programPathValue = QString::fromStdString(dir.file("zorvedit"));
    EXPECT_EQ(workingCopyPathFor(platform), dir.file("zorvedit.dat"));
}

namespace {

class Thrower : public QObject {
  public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User)
            throw std::runtime_error("File access denied");
        if (e->type() == QEvent::User + 1)
            throw 42;
        return QObject::event(e);
    }
};

} // namespace

TEST(GuardTest, AnErrorInAHandlerBecomesTheErrorBoxAndTheProgramGoesOn) {
    ScriptedPlatform platform;
    auto* app = static_cast<GuardedApplication*>(qApp);
    app->setPlatform(&platform);
    Thrower t;
    QCoreApplication::postEvent(&t, new QEvent(QEvent::User));
    QCoreApplication::postEvent(&t, new QEvent(QEvent::Type(QEvent::User + 1)));
    QCoreApplication::sendPostedEvents(&t);
    app->setPlatform(nullptr);
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[0].title, "ZORV user editor");
    EXPECT_EQ(platform.messages[0].text, "File access denied.");
    EXPECT_EQ(platform.messages[0].icon, MessageIcon::Stop);
    EXPECT_EQ(platform.messages[1].text, "Unknown error.");
}

TEST(GuardTest, GuardedRunsReportTextsInEitherEncoding) {
    ScriptedPlatform platform;
    bool after = false;
    guarded(platform, [] { throw std::runtime_error("'\xC3\xA6' is not a valid integer value"); });
    guarded(platform, [] { throw std::runtime_error("'\xE6' is not a valid integer value"); });
    guarded(platform, [&] { after = true; });
    EXPECT_TRUE(after);
    ASSERT_EQ(platform.messages.size(), 2u);
    EXPECT_EQ(platform.messages[0].text, QString::fromUtf8("'æ' is not a valid integer value."));
    EXPECT_EQ(platform.messages[1].text, QString::fromUtf8("'æ' is not a valid integer value."));
}
