// The user list and statistics windows over a working copy, offscreen.

#include "components/gridexport.h"
#include "eventually.h"
#include "fixture.h"
#include "platform/clipboard.h"
#include "reports/ui/tstatform.h"
#include "reports/ui/tuserlist.h"
#include "userfile/codetables.h"
#include "userfile/record.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressDialog>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

using zorv::SortGrid;
using zorv::TGridRect;

namespace zorvtest {
namespace {

zorv::Record user(const std::string& name, int limit, unsigned status) {
    zorv::Record r = plainUser(name);
    zorv::writeNumber(r, zorv::kLimit, limit);
    zorv::writeCode(r, zorv::kStatus, status);
    return r;
}

std::string fileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

class ReportWindowsTest : public EditorTest {
  protected:
    // The windows are created before the main window starts, as at program start.
    void startWithWindows() {
        window = std::make_unique<zorv::Tqedit>(edit, platform, *settings);
        stats = window->statform = new zorv::Tstatform(window->reportContext());
        list = window->userlist = new zorv::Tuserlist(window->reportContext());
        showAndRunStartUp();
    }
    void showList() {
        list->show();
        QApplication::processEvents();
    }
    SortGrid& grid() { return list->sg2->grid(); }
    std::vector<std::string> row(int r) {
        std::vector<std::string> v;
        for (int c = 0; c < grid().ColCount(); ++c)
            v.emplace_back(grid().Cell(c, r));
        return v;
    }
    void pressHeader(zorv::SortGridView* view, int col) {
        QHeaderView* h = view->horizontalHeader();
        const QPoint p(h->sectionViewportPosition(col) + h->sectionSize(col) / 2, 5);
        QTest::mousePress(h->viewport(), Qt::LeftButton, {}, p);
        QTest::mouseRelease(h->viewport(), Qt::LeftButton, {}, p);
    }
    void clickRow(zorv::SortGridView* view, int r) {
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, view->cellRect(0, r).center());
    }
    int headerColumn(const char* text) {
        for (int c = 0; c < grid().ColCount(); ++c)
            if (grid().Cell(c, 0) == text)
                return c;
        return -1;
    }

    zorv::Tuserlist* list = nullptr;
    zorv::Tstatform* stats = nullptr;
};

TEST_F(ReportWindowsTest, DefaultColumnsSplitNamesAndTheOptionsWrittenBack) {
    writeUsers({user("OLA NORDMANN", 100, 0), user("SYSOP", 20, 0)});
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(startWithWindows());
    showList();
    EXPECT_EQ(row(0),
              (std::vector<std::string>{"User Number", "Forename", "Surname", "Address",
                                        "City/State", "Phone", "Birth", "Limit", "Up&&Down stat"}));
    EXPECT_EQ(row(1)[1], "OLA ");
    EXPECT_EQ(row(1)[2], "NORDMANN");
    EXPECT_EQ(row(2)[1], "");
    EXPECT_EQ(row(2)[2], "SYSOP");
    EXPECT_TRUE(list->Splittnames1->isChecked());
    EXPECT_FALSE(list->LastCall1->isChecked());

    list->Splittnames1->trigger(); // names whole again, written back at once
    EXPECT_EQ(storedText("Options"), "11111111000");
    EXPECT_EQ(row(0)[1], "Name");
    EXPECT_EQ(row(1)[1], "OLA NORDMANN");
    list->LastCall1->trigger();
    EXPECT_EQ(storedText("Options"), "11111111010");
    EXPECT_EQ(grid().Cell(grid().ColCount() - 1, 0), "Last Call");
    EXPECT_EQ(list->lastCallColumn, grid().ColCount() - 1);
    list->accept();
}

TEST_F(ReportWindowsTest, LimitSortsAsTextAndAClickPicksTheUserOfColumnZero) {
    writeUsers({user("ANNE", 100, 0), user("BO", 20, 0), user("CARL", 3, 0)});
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(startWithWindows());
    showList();
    const int limit = headerColumn("Limit");
    ASSERT_GE(limit, 0);
    pressHeader(list->sg2, limit);
    EXPECT_EQ(grid().Cell(limit, 1), "100");
    EXPECT_EQ(grid().Cell(limit, 2), "20");
    EXPECT_EQ(grid().Cell(limit, 3), "3");
    // The user numbers sort as numbers.
    pressHeader(list->sg2, 0); // column 0 becomes the sort column: ascending
    pressHeader(list->sg2, 0); // then descending
    EXPECT_EQ(grid().Cell(0, 1), "2");

    clickRow(list->sg2, 2); // user 1, wherever the sort put it
    EXPECT_EQ(session.currentIndex, 1);
    EXPECT_EQ(window->Name->text(), "BO");
    EXPECT_EQ(window->poss->text(), "1/2");
    EXPECT_EQ(window->bar->value(), 1);

    // With "User Number" off the limit in column 0 is taken as the index:
    // 3 is no record, so the main window stays where it was.
    list->UserNumber1->trigger();
    list->Name1->trigger();
    list->Splittnames1->trigger();
    ASSERT_EQ(grid().Cell(0, 0), "Address");
    list->Address1->trigger();
    list->Citystate1->trigger();
    list->Phone1->trigger();
    list->Birth1->trigger();
    ASSERT_EQ(grid().Cell(0, 0), "Limit");
    clickRow(list->sg2, 3); // limit 3: no such record
    EXPECT_EQ(session.currentIndex, 1);
    EXPECT_TRUE(shown("Read beyond end of file."));
    list->accept();
}

TEST_F(ReportWindowsTest, ToggleStatusSwapsActiveAndKilledAndTellsTheMainWindow) {
    writeUsers({user("ANNE", 1, 0), user("BO", 1, 1), user("CARL", 1, 2), user("DAG", 1, 0)});
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(startWithWindows());
    window->status->setCurrentIndex(zorv::codeToItem(zorv::CodeListId::status, 0));
    window->limit->setText("555"); // typed, not saved: must stay
    showList();
    grid().SetSelection(TGridRect{2, 1, 4, 3});
    list->sg2->refresh();
    list->KillUser1->trigger();
    EXPECT_EQ(zorv::readCode(workingRecord(0), zorv::kStatus), 2u);
    EXPECT_EQ(zorv::readCode(workingRecord(1), zorv::kStatus), 1u);
    EXPECT_EQ(zorv::readCode(workingRecord(2), zorv::kStatus), 0u);
    EXPECT_EQ(zorv::readCode(workingRecord(3), zorv::kStatus), 0u);
    EXPECT_TRUE(session.userFileChanged);
    EXPECT_EQ(window->status->currentIndex(), zorv::codeToItem(zorv::CodeListId::status, 2));
    EXPECT_EQ(window->limit->text(), "555");
    const int stat = headerColumn("Up&&Down stat");
    ASSERT_GE(stat, 0);

    // With "User Number" off nothing changes.
    list->UserNumber1->trigger();
    session.userFileChanged = false;
    list->KillUser1->trigger();
    EXPECT_EQ(zorv::readCode(workingRecord(0), zorv::kStatus), 2u);
    EXPECT_FALSE(session.userFileChanged);
    list->accept();
}

TEST_F(ReportWindowsTest, SaveTakesTheFormFromATypedExtensionAndElseFromTheType) {
    zorv::Record both = user("ANNE", 1, 0);
    zorv::writeSecurity(both, 10, 3); // file access "Up&&Down"
    writeUsers({both, user("BO, JR", 2, 0)});
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(startWithWindows());
    showList();
    EXPECT_EQ(list->SD1.fileName, "userlist.txt");
    EXPECT_EQ(list->SD1.filterIndex, 1);
    auto saveAs = [this](const std::string& name, int type) {
        list->SD1.filterIndex = type;
        platform.saveAnswers.push_back(QString::fromStdString(name));
        list->save->click();
    };

    // A typed extension names the form, whatever type is left selected.
    const std::string csvName = dir.file("list2.csv");
    platform.confirmAnswers.push_back(true); // create it
    saveAs(csvName, 1);
    EXPECT_EQ(fileText(csvName), zorv::csvText(grid()));
    EXPECT_EQ(fileText(csvName).rfind("User Number,Forename,", 0), 0u);
    EXPECT_EQ(platform.questions.size(), 1u);
    // The first dialog starts in the user file's folder, later ones in the last export's.
    EXPECT_EQ(platform.saveDialogs.back().initialDir,
              QString::fromStdString(std::filesystem::path(userFile()).parent_path().string()));
    const std::string htmName = dir.file("list.HTM");
    platform.confirmAnswers.push_back(true);
    saveAs(htmName, 2);
    EXPECT_EQ(platform.saveDialogs.back().initialDir,
              QString::fromStdString(dir.file("")).chopped(1));
    EXPECT_EQ(fileText(htmName).rfind("<table border=1>\r\n", 0), 0u);
    const std::string tsvName = dir.file("list.tsv");
    platform.confirmAnswers.push_back(true);
    saveAs(tsvName, 3);
    EXPECT_EQ(fileText(tsvName), zorv::tabbedText(grid()));
    platform.questions.clear();
    // An existing file: the dialog asked already; the form follows the name.
    saveAs(csvName, 4);
    EXPECT_EQ(fileText(csvName), zorv::csvText(grid()));
    EXPECT_TRUE(platform.questions.empty());
    EXPECT_EQ(platform.saveDialogs.back().fileName, QString::fromStdString(tsvName))
        << "the dialog offers the last name again";

    // An extension that names no form leaves the form to the type, and
    // "All files" writes tab-separated text.
    const std::string datName = dir.file("list.dat");
    platform.confirmAnswers.push_back(true);
    saveAs(datName, 2);
    EXPECT_EQ(fileText(datName), zorv::csvText(grid()));
    saveAs(datName, 4);
    EXPECT_EQ(fileText(datName), zorv::tabbedText(grid()));

    // Every text goes out with one "&"; the clipboard keeps the stored pair.
    const int access = headerColumn("Up&&Down stat");
    ASSERT_GE(access, 0);
    EXPECT_NE(fileText(csvName).find(",Up&Down stat\r\n"), std::string::npos);
    EXPECT_NE(fileText(datName).find("\tUp&Down\r\n"), std::string::npos);
    EXPECT_NE(fileText(htmName).find("<B>Up&amp;Down stat</B>"), std::string::npos);
    EXPECT_NE(fileText(htmName).find(">Up&amp;Down</td>"), std::string::npos);
    EXPECT_EQ(fileText(tsvName).find("&&"), std::string::npos);
    grid().SetSelection(TGridRect{access, 1, access, 1});
    list->sg2->refresh();
    list->clip->click();
    EXPECT_EQ(zorv::clipboardText(), "Up&&Down");
    list->accept();
}

TEST_F(ReportWindowsTest, ANameWithoutExtensionGetsTheTypesAndThatNameIsAsked) {
    writeUsers({user("ANNE", 1, 0), user("BO", 2, 0)});
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(startWithWindows());
    showList();
    auto saveAs = [this](const std::string& name, int type) {
        list->SD1.filterIndex = type;
        platform.saveAnswers.push_back(QString::fromStdString(name));
        list->save->click();
    };
    const std::string bare = dir.file("plain");
    const std::string csvName = bare + ".csv";
    platform.confirmAnswers.push_back(true); // create plain.csv
    saveAs(bare, 2);
    ASSERT_EQ(platform.questions.size(), 1u);
    EXPECT_EQ(platform.questions.back(),
              QString::fromStdString(csvName) + "\nThis file does not exist.\nCreate the file?");
    EXPECT_EQ(fileText(csvName), zorv::csvText(grid()));
    EXPECT_FALSE(std::filesystem::exists(bare));
    EXPECT_EQ(list->SD1.fileName, QString::fromStdString(csvName));

    // The name made exists now: the operator is asked before it is replaced.
    zorvtest::writeFileBytes(csvName, "keep me");
    platform.chooseAnswers.push_back(1); // No
    saveAs(bare, 2);
    ASSERT_EQ(platform.questions.size(), 2u);
    EXPECT_EQ(platform.questions.back(),
              QString::fromStdString(csvName) + " already exists.\nDo you want to replace it?");
    EXPECT_EQ(fileText(csvName), "keep me");
    platform.chooseAnswers.push_back(0); // Yes
    saveAs(bare, 2);
    EXPECT_EQ(fileText(csvName), zorv::csvText(grid()));

    const std::string htmlName = bare + ".html";
    platform.confirmAnswers.push_back(true);
    saveAs(bare, 3);
    EXPECT_EQ(fileText(htmlName).rfind("<table border=1>\r\n", 0), 0u);
    platform.confirmAnswers.push_back(true);
    saveAs(bare, 1);
    EXPECT_EQ(fileText(bare + ".txt"), zorv::tabbedText(grid()));
    // "All files" adds nothing and writes tab-separated text.
    platform.confirmAnswers.push_back(true);
    saveAs(bare, 4);
    EXPECT_EQ(fileText(bare), zorv::tabbedText(grid()));

    const std::string other = dir.file("other");
    platform.confirmAnswers.push_back(false); // do not create it
    saveAs(other, 2);
    EXPECT_FALSE(std::filesystem::exists(other + ".csv"));
    EXPECT_FALSE(std::filesystem::exists(other));

    // The real dialog gives a bare name the same extensions (platform_test).
    EXPECT_EQ(list->SD1.typeExtensions, QStringList({"txt", "csv", "html", ""}));
    list->accept();
}

TEST_F(ReportWindowsTest, AnEmptyWorkingCopyListsNothingAndClicksDoNothing) {
    writeUsers({});
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(startWithWindows());
    const auto before = platform.messages.size();
    showList();
    EXPECT_EQ(grid().RowCount(), 1);
    EXPECT_EQ(list->sg2->model()->rowCount(), 0);
    QTest::mouseClick(list->sg2->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
    list->KillUser1->trigger();
    EXPECT_FALSE(session.userFileChanged);
    list->accept();
    stats->show();
    QApplication::processEvents();
    EXPECT_EQ(stats->SG2->grid().RowCount(), 1);
    stats->accept();
    EXPECT_EQ(platform.messages.size(), before);
}

TEST_F(ReportWindowsTest, SortBySurnameToggleTwoCloseAndSaveTheFile) {
    std::vector<zorv::Record> users{user("OLA NORDMANN", 1, 0), user("KARI AAS", 2, 2),
                                    user("PER BERG", 3, 0), user("LIV ZAHL", 4, 1)};
    writeUsers(users);
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(startWithWindows());
    showList();
    const int surname = headerColumn("Surname");
    pressHeader(list->sg2, surname);
    EXPECT_EQ(grid().Cell(surname, 1), "AAS");
    EXPECT_EQ(grid().Cell(surname, 2), "BERG");
    grid().SetSelection(TGridRect{0, 1, 0, 2}); // AAS (user 1) and BERG (user 2)
    list->sg2->refresh();
    QTest::keyClick(list->sg2, Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(grid().Cell(surname, 1), "AAS") << "sorted again after the toggle";
    QTest::keyClick(list->sg2, Qt::Key_X, Qt::ControlModifier); // close1 wins over the grid
    EXPECT_FALSE(list->isVisible());
    window->savefilebt->click();

    zorv::writeCode(users[1], zorv::kStatus, 0);
    zorv::writeCode(users[2], zorv::kStatus, 2);
    std::string expected;
    for (const zorv::Record& r : users)
        expected.append(reinterpret_cast<const char*>(r.data()), r.size());
    EXPECT_EQ(userFileBytes(), expected);
    EXPECT_FALSE(session.userFileChanged);
}

TEST_F(ReportWindowsTest, StatisticsColumnsAlignmentSortingAndPopupKeys) {
    std::vector<zorv::Record> users{plainUser("CARL"), plainUser("ANNE"), plainUser("BO")};
    zorv::writeNumber(users[0], zorv::kLogins, 10);
    zorv::writeNumber(users[1], zorv::kLogins, 9);
    zorv::writeNumber(users[2], zorv::kLogins, -1);
    writeUsers(users);
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(startWithWindows());
    stats->show();
    QApplication::processEvents();
    SortGrid& g = stats->SG2->grid();
    ASSERT_EQ(g.ColCount(), 9);
    EXPECT_EQ(g.Cell(3, 0), "Msg read");
    EXPECT_EQ(g.Cell(2, 3), "-1");
    zorv::TAlignment a = zorv::taLeftJustify;
    g.OnGetAlignment(0, 0, a);
    EXPECT_EQ(a, zorv::taRightJustify);
    g.OnGetAlignment(0, 1, a);
    EXPECT_EQ(a, zorv::taLeftJustify);

    pressHeader(stats->SG2, 2); // Logins ascending, as numbers
    EXPECT_EQ(g.Cell(2, 1), "-1");
    EXPECT_EQ(g.Cell(2, 2), "9");
    EXPECT_EQ(g.Cell(2, 3), "10");
    pressHeader(stats->SG2, 0); // "User Number": ascending on the first click
    EXPECT_EQ(g.Cell(0, 1), "0");
    EXPECT_EQ(g.SortDirection, zorv::sdAscending);
    pressHeader(stats->SG2, 1);
    EXPECT_EQ(g.Cell(1, 1), "ANNE");
    EXPECT_EQ(g.Cell(1, 2), "BO");
    clickRow(stats->SG2, 2);
    EXPECT_EQ(session.currentIndex, 2);
    EXPECT_EQ(window->Name->text(), "BO");

    g.SetSelection(TGridRect{0, 1, 1, 1});
    stats->SG2->refresh();
    zorv::setClipboardText("none");
    QTest::keyClick(stats->SG2, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(zorv::clipboardText(), "1\tANNE");
    QTest::keyClick(stats->SG2, Qt::Key_X, Qt::ControlModifier); // close, not cut
    EXPECT_FALSE(stats->isVisible());
    EXPECT_EQ(g.Cell(1, 1), "ANNE");
}

TEST_F(ReportWindowsTest, EachShowingSortsAsStoredWithTheMainWindowsUserCurrent) {
    // Forenames in reverse of the user numbers, so that the sort moves every row.
    std::vector<zorv::Record> users;
    for (int i = 0; i < 8; ++i)
        users.push_back(user(std::string(1, static_cast<char>('Z' - i)) + " X", 1, 0));
    writeUsers(users);
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(startWithWindows());
    showList();
    EXPECT_EQ(grid().SortColumn(), -1) << "no sort stored: no column claims one";
    const int forename = headerColumn("Forename");
    pressHeader(list->sg2, forename);
    EXPECT_EQ(storedInteger("ListSortColumn"), forename);
    EXPECT_EQ(storedInteger("ListSortDirection"), 0);
    list->accept();

    session.currentIndex = 5;
    window->updatePosition();
    showList();
    EXPECT_EQ(grid().SortColumn(), forename);
    EXPECT_EQ(grid().Cell(forename, 1), "S ");
    EXPECT_EQ(grid().Cell(0, 1), "7");
    EXPECT_EQ(grid().Selection(), (TGridRect{0, 3, 0, 3})) << "user 5's row, alone";
    // Ctrl+K toggles the user the main window shows; after the rebuild and
    // re-sort that user is still the one picked, so Ctrl+K undoes it.
    QTest::keyClick(list->sg2, Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(zorv::readCode(workingRecord(5), zorv::kStatus), 2u);
    EXPECT_EQ(grid().Cell(0, grid().Selection().Top), "5");
    QTest::keyClick(list->sg2, Qt::Key_K, Qt::ControlModifier);
    for (int i = 0; i < 8; ++i) // user 5 back, nobody else touched
        EXPECT_EQ(zorv::readCode(workingRecord(i), zorv::kStatus), 0u) << i;

    // Toggling a range keeps its users selected; a click on the current row
    // brings its user into the main window.
    grid().SetSelection(TGridRect{0, 6, 0, 7}); // users 2 and 1
    list->sg2->refresh();
    QTest::keyClick(list->sg2, Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(grid().Selection(), (TGridRect{0, 6, 0, 7}));
    EXPECT_EQ(session.currentIndex, 5);
    clickRow(list->sg2, 6);
    EXPECT_EQ(session.currentIndex, 2);
    EXPECT_EQ(window->status->currentIndex(), zorv::codeToItem(zorv::CodeListId::status, 2));
    list->accept();

    // Statistics: a stored descending sort; values the window cannot use mean none.
    storeInteger("StatSortColumn", 1);
    storeInteger("StatSortDirection", 1);
    stats->show();
    QApplication::processEvents();
    SortGrid& sg = stats->SG2->grid();
    EXPECT_EQ(sg.SortColumn(), 1);
    EXPECT_EQ(sg.SortDirection, zorv::sdDescending);
    EXPECT_EQ(sg.Cell(1, 1), "Z X");
    EXPECT_EQ(sg.Cell(0, sg.Selection().Top), "2");
    stats->accept();
    for (auto [col, dir] : {std::pair{9, 0}, std::pair{1, 2}, std::pair{-7, 0}}) {
        storeInteger("StatSortColumn", col);
        storeInteger("StatSortDirection", dir);
        stats->show();
        QApplication::processEvents();
        EXPECT_EQ(sg.SortColumn(), -1) << col << " " << dir;
        EXPECT_EQ(sg.Cell(0, 1), "0") << "record order";
        stats->accept();
    }
}

TEST_F(ReportWindowsTest, EnterFocusAndTheKeyboardSort) {
    writeUsers({user("ANNE", 3, 0), user("BO", 1, 0), user("CARL", 2, 0)});
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(startWithWindows());
    showList();
    list->activateWindow();
    // Enter in the filter goes to the rows it found; the list stays open.
    list->filteredit->setFocus();
    QTest::keyClicks(list->filteredit, "carl");
    QTest::keyClick(list->filteredit, Qt::Key_Return);
    EXPECT_TRUE(list->isVisible()) << "Enter in the filter closed the list";
    EXPECT_EQ(QApplication::focusWidget(), list->sg2);
    EXPECT_EQ(list->filteredit->text(), "carl");
    list->filteredit->setFocus();
    QTest::keyClick(list->filteredit, Qt::Key_Enter, Qt::KeypadModifier);
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(QApplication::focusWidget(), list->sg2);
    list->filteredit->clear();
    // Enter on a focused "Save to file" saves; elsewhere the default closes.
    list->save->setFocus();
    platform.saveAnswers.push_back(std::nullopt);
    QTest::keyClick(list->save, Qt::Key_Return);
    EXPECT_EQ(platform.saveDialogs.size(), 1u);
    EXPECT_TRUE(list->isVisible());
    list->sg2->setFocus();
    QTest::keyClick(list->sg2, Qt::Key_Return);
    EXPECT_FALSE(list->isVisible());
    list->save->setFocus();
    showList();
    EXPECT_EQ(QApplication::focusWidget(), list->sg2) << "the grid, not the button used last";
    list->accept();

    stats->show();
    QApplication::processEvents();
    EXPECT_EQ(QApplication::focusWidget(), stats->SG2);
    QTest::keyClick(stats->SG2, Qt::Key_Return);
    EXPECT_TRUE(stats->isVisible()) << "Enter in the grid is the grid's";
    // Ctrl+R sorts by the current cell's column, and again reverses.
    SortGrid& g = stats->SG2->grid();
    g.SetCol(1);
    stats->SG2->refresh();
    QTest::keyClick(stats->SG2, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(g.SortColumn(), 1);
    EXPECT_EQ(g.Cell(1, 1), "ANNE");
    QTest::keyClick(stats->SG2, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(g.Cell(1, 1), "CARL");
    EXPECT_EQ(storedInteger("StatSortColumn"), 1);
    EXPECT_EQ(storedInteger("StatSortDirection"), 1);
    stats->closebt->setFocus();
    QTest::keyClick(stats->closebt, Qt::Key_Return);
    EXPECT_FALSE(stats->isVisible());
}

TEST_F(ReportWindowsTest, FilterShowsMatchingRowsAndTheActionsTakeOnlyThose) {
    writeUsers({user("OLA NORDMANN", 1, 0),
                user("KARI \x9B"
                     "STBY",
                     2, 0),
                user("PER OLSEN", 3, 0), user("LIV BERG", 4, 0), user("SYSOP", 5, 0)});
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(startWithWindows());
    showList();
    EXPECT_EQ(list->filtercount->text(), "5 of 5 users");
    // Any shown column, upper-cased as the Find tab does, Nordic letters too.
    QTest::keyClicks(list->filteredit, "ol");
    EXPECT_EQ(list->filtercount->text(), "2 of 5 users");
    EXPECT_EQ(grid().Cell(0, 1), "0");
    EXPECT_EQ(grid().Cell(0, 2), "2");
    QTest::keyClicks(list->filteredit, "s"); // narrows to OLSEN
    EXPECT_EQ(list->filtercount->text(), "1 of 5 users");
    list->filteredit->setText(QStringLiteral("østby"));
    ASSERT_EQ(grid().RowCount(), 2);
    EXPECT_EQ(grid().Cell(0, 1), "1");
    list->filteredit->setText(QStringLiteral("3")); // user 3, and user 2's limit
    ASSERT_EQ(grid().RowCount(), 3);
    EXPECT_EQ(grid().Cell(0, 1), "2");
    EXPECT_EQ(grid().Cell(0, 2), "3");

    // Toggle Status and Copy act on the selected rows shown; the export
    // takes all rows shown.
    list->filteredit->setText(QStringLiteral("er"));
    ASSERT_EQ(list->filtercount->text(), "2 of 5 users"); // PER OLSEN, LIV BERG
    grid().SetSelection(TGridRect{0, 1, 0, 2});
    list->sg2->refresh();
    QTest::keyClick(list->sg2, Qt::Key_K, Qt::ControlModifier);
    for (int i : {2, 3})
        EXPECT_EQ(zorv::readCode(workingRecord(i), zorv::kStatus), 2u) << i;
    for (int i : {0, 1, 4})
        EXPECT_EQ(zorv::readCode(workingRecord(i), zorv::kStatus), 0u) << i;
    EXPECT_EQ(list->filtercount->text(), "2 of 5 users");
    grid().SetSelection(TGridRect{0, 1, 0, 2});
    list->sg2->refresh();
    list->clip->click();
    EXPECT_EQ(zorv::clipboardText(), "2\r\n3");
    const std::string out = dir.file("shown.txt");
    platform.saveAnswers.push_back(QString::fromStdString(out));
    platform.confirmAnswers.push_back(true);
    list->save->click();
    const std::string written = fileText(out);
    EXPECT_EQ(written, zorv::tabbedText(grid()));
    EXPECT_EQ(std::count(written.begin(), written.end(), '\n'), 2);

    // A sort while filtered holds for every row once the filter goes.
    pressHeader(list->sg2, 0);
    pressHeader(list->sg2, 0); // descending
    EXPECT_EQ(grid().Cell(0, 1), "3");
    // A shorter text brings back the hidden rows it matches, each in its
    // place, as the same text typed afresh shows them.
    const int before = grid().RowCount();
    list->filteredit->setText(QStringLiteral("r")); // NORDMANN and KARI too, and more
    const std::string widened = zorv::tabbedText(grid());
    EXPECT_GT(grid().RowCount(), before + 1);
    list->filteredit->clear();
    list->filteredit->setText(QStringLiteral("r"));
    EXPECT_EQ(zorv::tabbedText(grid()), widened);
    // Escape empties the filter and leaves the window open; then it closes.
    QTest::keyClick(list->filteredit, Qt::Key_Escape);
    EXPECT_TRUE(list->isVisible());
    EXPECT_EQ(list->filteredit->text(), "");
    EXPECT_EQ(list->filtercount->text(), "5 of 5 users");
    EXPECT_EQ(row(1)[0], "4");
    EXPECT_EQ(row(5)[0], "0");
    QTest::keyClick(list->filteredit, Qt::Key_Escape);
    EXPECT_FALSE(list->isVisible());
    showList();
    EXPECT_EQ(list->filteredit->text(), "") << "the filter is not kept";
    list->accept();
}

TEST_F(ReportWindowsTest, BoundsRestoredAtCreationAndStoredByEveryClose) {
    writeUsers({plainUser("ANNE")});
    rememberUserFile();
    storeInteger("u.top", 40);
    storeInteger("u.left", 50);
    storeInteger("u.width", 640);
    storeInteger("u.height", 420);
    ASSERT_NO_FATAL_FAILURE(startWithWindows());
    EXPECT_EQ(list->size(), QSize(640, 420));
    showList();
    EXPECT_EQ(list->size(), QSize(640, 420)) << "a stored width is the operator's";
    // The grid kept its distances to the edges of the restored size; the
    // buttons stand at client height - 30.
    auto px = [this](int v) { return static_cast<int>(std::lround(v * window->layoutScale())); };
    EXPECT_EQ(list->width() - list->sg2->x() - list->sg2->width(), px(585) - px(8) - px(561));
    // The design grew by the filter's row (29 pixels) above the grid.
    EXPECT_EQ(list->height() - list->sg2->y() - list->sg2->height(), px(363) - px(37) - px(281));
    EXPECT_EQ(list->OKBtn->y(), list->height() - px(30));
    list->resize(700, 450);
    QTest::keyClick(list->sg2, Qt::Key_Escape);
    EXPECT_FALSE(list->isVisible());
    EXPECT_EQ(storedInteger("u.width"), 700);
    EXPECT_EQ(storedInteger("u.height"), 450);

    stats->show();
    stats->resize(600, 500);
    stats->close(); // the close box
    EXPECT_EQ(storedInteger("s.height"), 500);
}

TEST_F(ReportWindowsTest, WithoutStoredBoundsBothOpenWideEnoughForEveryColumn) {
    writeUsers(plainUsers(40));
    rememberUserFile();
    storeText("Options", "11111111110"); // every column, the name whole
    ASSERT_NO_FATAL_FAILURE(startWithWindows());
    const QRect avail = stats->screen()->availableGeometry();
    auto onScreen = [&avail](const QWidget* w) { return avail.contains(w->frameGeometry()); };
    // The statistics' columns take less than the screen: each shows whole.
    const int designWidth = stats->width();
    const int margins = designWidth - stats->SG2->width();
    stats->show();
    QApplication::processEvents();
    const int needed = stats->SG2->widthForAllColumns() + margins;
    ASSERT_GT(needed, designWidth) << "the case needs columns wider than the design";
    ASSERT_LT(needed, avail.width());
    EXPECT_EQ(stats->width(), needed);
    EXPECT_LE(stats->SG2->horizontalHeader()->length(), stats->SG2->viewport()->width());
    EXPECT_FALSE(stats->SG2->horizontalScrollBar()->isVisible());
    EXPECT_TRUE(onScreen(stats));
    // The operator's width stands from then on, within the run too.
    stats->resize(designWidth, stats->height());
    stats->accept();
    stats->show();
    QApplication::processEvents();
    EXPECT_EQ(stats->width(), designWidth);
    stats->accept();

    // The list with every column is wider than the screen: it takes the
    // screen's width and no more.
    showList();
    ASSERT_GT(list->sg2->widthForAllColumns(), avail.width());
    EXPECT_EQ(list->frameGeometry().width(), avail.width());
    EXPECT_TRUE(onScreen(list));
    list->accept();
}

TEST_F(ReportWindowsTest, TheGridsOwnLongStepsShowOneProgressBox) {
    writeUsers({user("OLA NORDMANN", 100, 0), user("SYSOP", 20, 0)});
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(startWithWindows());
    showList();
    auto boxes = [this] {
        int shown = 0;
        for (const QProgressDialog* d : list->findChildren<QProgressDialog*>())
            shown += d->isVisible();
        return shown;
    };
    ASSERT_EQ(boxes(), 0);
    // A header-press sort of a large list reports from the grid: the box
    // comes at once and goes with the last report.
    grid().OnProgress(0, 400000);
    grid().OnProgress(200000, 400000);
    EXPECT_EQ(boxes(), 1);
    grid().OnProgress(400000, 400000);
    QApplication::processEvents();
    EXPECT_EQ(boxes(), 0);
    // One that fails tells no end: the error takes the box away.
    grid().OnProgress(0, 400000);
    grid().OnProgress(100000, 400000);
    EXPECT_EQ(boxes(), 1);
    list->sg2->OnError("'x' is not a valid date and time");
    QApplication::processEvents();
    EXPECT_EQ(boxes(), 0);
    ASSERT_FALSE(platform.messages.empty());
}

// --- Toggle Status on a sorted list, progress boxes and their Cancel ---------------

// Boxes come at once however few the users, for the length of a test.
class BoxesAtOnce {
  public:
    BoxesAtOnce() { zorv::ReportWindow::setBoxAtOnceForTesting(0); }
    ~BoxesAtOnce() { zorv::ReportWindow::setBoxAtOnceForTesting(150000); }
    BoxesAtOnce(const BoxesAtOnce&) = delete;
    BoxesAtOnce& operator=(const BoxesAtOnce&) = delete;
};

// Presses Cancel of the window's visible progress box; false when there is none.
bool pressCancel(QWidget* window) {
    for (QProgressDialog* d : window->findChildren<QProgressDialog*>()) {
        if (!d->isVisible())
            continue;
        for (QPushButton* b : d->findChildren<QPushButton*>())
            if (b->text() == "Cancel") {
                b->click();
                return true;
            }
    }
    return false;
}

// The first paint of every progress box: its text then, and the list's
// row count then.
class FirstPaints : public QObject {
  public:
    explicit FirstPaints(const SortGrid& g) : g_(g) { qApp->installEventFilter(this); }
    ~FirstPaints() override { qApp->removeEventFilter(this); }
    bool eventFilter(QObject* o, QEvent* e) override {
        auto* box = qobject_cast<QProgressDialog*>(o);
        if (box && e->type() == QEvent::Paint && !seen_.contains(box)) {
            seen_.append(box);
            texts.push_back(box->labelText().toStdString());
            rows.push_back(g_.RowCount());
        }
        return false;
    }
    std::vector<std::string> texts;
    std::vector<int> rows;

  private:
    const SortGrid& g_;
    QList<QObject*> seen_;
};

class ReportProgressTest : public ReportWindowsTest {
  protected:
    // Users 0..n-1 named by their number, every third one killed: a list
    // sorted on "Login stat" (its last column, so ties stay ties).
    void startSortedByStatus(int n) {
        std::vector<zorv::Record> users;
        for (int i = 0; i < n; ++i)
            users.push_back(user("U" + std::to_string(1000 + (i * 7919) % n), i, i % 3 ? 0 : 2));
        writeUsers(users);
        rememberUserFile();
        ASSERT_NO_FATAL_FAILURE(startWithWindows());
        list->applyListOptions("11000010100");
        showList();
        status = headerColumn("Login stat");
        ASSERT_EQ(status, grid().ColCount() - 1);
        pressHeader(list->sg2, status);
        ASSERT_EQ(grid().SortColumn(), status);
    }
    std::vector<std::string> users() {
        std::vector<std::string> v;
        for (int r = 1; r < grid().RowCount(); ++r)
            v.emplace_back(grid().Cell(0, r));
        return v;
    }
    std::string topUser() {
        return std::string(grid().Cell(0, list->sg2->rowAt(0) + grid().FixedRows));
    }
    std::vector<std::vector<std::string>> rows() {
        std::vector<std::vector<std::string>> all;
        for (int r = 0; r < grid().RowCount(); ++r)
            all.push_back(row(r));
        return all;
    }
    int status = -1;
};

TEST_F(ReportProgressTest, ToggleMovesOnlyTheToggledRowsAndKeepsSelectionAndTopUser) {
    ASSERT_NO_FATAL_FAILURE(startSortedByStatus(200));
    // The order a stable sort by the new statuses gives: only the toggled
    // rows move, each after the tied rows that stood before it.
    std::vector<std::pair<std::string, std::string>> before; // status, user
    for (int r = 1; r < grid().RowCount(); ++r)
        before.emplace_back(grid().Cell(status, r), grid().Cell(0, r));
    // Two neighbours among the active users, above the top row: the rows
    // shown move up by two unless the view follows its top user.
    const int from = 100;
    ASSERT_EQ(before[from - 1].first, "Active");
    ASSERT_EQ(before[from].first, "Active");
    const std::string first = before[from - 1].second, second = before[from].second;
    grid().SetSelection(TGridRect{1, from, 2, from + 1});
    list->sg2->refresh();
    list->sg2->verticalScrollBar()->setValue(120);
    const std::string top = topUser();
    QTest::keyClick(list->sg2, Qt::Key_K, Qt::ControlModifier);

    EXPECT_EQ(zorv::readCode(workingRecord(std::stoi(first)), zorv::kStatus), 2u);
    EXPECT_EQ(zorv::readCode(workingRecord(std::stoi(second)), zorv::kStatus), 2u);
    before[from - 1].first = before[from].first = "Killed";
    std::stable_sort(before.begin(), before.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> expected;
    for (const auto& [st, u] : before)
        expected.push_back(u);
    EXPECT_EQ(users(), expected);
    const TGridRect sel = grid().Selection();
    EXPECT_EQ(grid().Cell(0, sel.Top), first);
    EXPECT_EQ(grid().Cell(0, sel.Bottom), second);
    EXPECT_EQ(sel.Bottom - sel.Top, 1);
    EXPECT_EQ(sel.Left, 1);
    EXPECT_EQ(sel.Right, 2);
    EXPECT_EQ(topUser(), top);

    // Again: the same users back to Active, back among the others.
    QTest::keyClick(list->sg2, Qt::Key_K, Qt::ControlModifier);
    EXPECT_EQ(zorv::readCode(workingRecord(std::stoi(first)), zorv::kStatus), 0u);
    EXPECT_EQ(grid().Cell(status, grid().Selection().Top), "Active");
    EXPECT_EQ(grid().Cell(0, grid().Selection().Top), first);
    EXPECT_EQ(topUser(), top);
    list->accept();
}

TEST_F(ReportProgressTest, CancelOfToggleStatusPutsBackEveryRecordAndTheList) {
    ASSERT_NO_FATAL_FAILURE(startSortedByStatus(60));
    const BoxesAtOnce atOnce;
    session.userFileChanged = false;
    std::vector<zorv::Record> records;
    for (int i = 0; i < 60; ++i)
        records.push_back(workingRecord(i));
    const auto shown = rows();
    grid().SetSelection(TGridRect{0, 10, 0, 30});
    list->sg2->refresh();
    const int firstUser = grid().GetCellInt(0, 10);
    session.currentIndex = firstUser;
    window->updatePosition();
    const std::size_t messages = platform.messages.size();
    // Cancel once every record is written, as the rows are placed again.
    bool pressed = false;
    auto own = grid().OnProgress;
    grid().OnProgress = [&](std::int64_t done, std::int64_t total) {
        if (!pressed)
            pressed = pressCancel(list);
        own(done, total);
    };
    list->KillUser1->trigger();
    grid().OnProgress = own;
    ASSERT_TRUE(pressed);
    for (int i = 0; i < 60; ++i)
        EXPECT_EQ(workingRecord(i), records[static_cast<std::size_t>(i)]) << "user " << i;
    EXPECT_FALSE(session.userFileChanged);
    EXPECT_EQ(window->status->currentIndex(),
              zorv::codeToItem(
                  zorv::CodeListId::status,
                  zorv::readCode(records[static_cast<std::size_t>(firstUser)], zorv::kStatus)));
    EXPECT_EQ(rows(), shown);
    EXPECT_EQ(platform.messages.size(), messages) << "a Cancel is no error";
    EXPECT_TRUE(list->isVisible());
    list->accept();
}

TEST_F(ReportProgressTest, CancelOfASortKeepsTheOrderAndTheMark) {
    ASSERT_NO_FATAL_FAILURE(startSortedByStatus(60));
    const BoxesAtOnce atOnce;
    const auto shown = rows();
    const std::size_t messages = platform.messages.size();
    const int name = headerColumn("Name");
    bool pressed = false;
    auto own = grid().OnProgress;
    grid().OnProgress = [&](std::int64_t done, std::int64_t total) {
        own(done, total);
        if (!pressed)
            pressed = pressCancel(list);
    };
    pressHeader(list->sg2, name);
    grid().OnProgress = own;
    ASSERT_TRUE(pressed);
    EXPECT_EQ(rows(), shown);
    EXPECT_EQ(grid().SortColumn(), status);
    EXPECT_EQ(grid().SortDirection, zorv::sdAscending);
    EXPECT_EQ(storedInteger("ListSortColumn"), status);
    EXPECT_EQ(platform.messages.size(), messages);
    pressHeader(list->sg2, name); // not cancelled: sorts
    EXPECT_EQ(grid().SortColumn(), name);
    EXPECT_NE(rows(), shown);

    // While filtered, a cancelled sort leaves the rows shown and hidden as
    // they were.
    list->filteredit->setText("Killed");
    const auto filtered = rows();
    pressed = false;
    grid().OnProgress = [&](std::int64_t done, std::int64_t total) {
        own(done, total);
        if (!pressed)
            pressed = pressCancel(list);
    };
    pressHeader(list->sg2, status);
    grid().OnProgress = own;
    ASSERT_TRUE(pressed);
    EXPECT_EQ(rows(), filtered);
    EXPECT_EQ(grid().SortColumn(), name);
    list->filteredit->clear();
    EXPECT_EQ(list->listedUsers(), 60);
    list->accept();
}

TEST_F(ReportProgressTest, OpeningPaintsItsTextFirstAndItsCancelLeavesTheWindowClosed) {
    writeUsers({user("OLA NORDMANN", 100, 0), user("SYSOP", 20, 0)});
    rememberUserFile();
    ASSERT_NO_FATAL_FAILURE(startWithWindows());
    const BoxesAtOnce atOnce;
    const std::size_t messages = platform.messages.size();
    {
        const FirstPaints paints(grid());
        showList();
        ASSERT_FALSE(paints.texts.empty());
        EXPECT_EQ(paints.texts[0], "Reading the users...");
        EXPECT_EQ(paints.rows[0], 14) << "painted before the users are read";
    }
    list->accept();

    for (zorv::ReportWindow* w : std::initializer_list<zorv::ReportWindow*>{list, stats}) {
        bool pressed = false;
        QTimer::singleShot(0, w, [&] { pressed = pressCancel(w); });
        w->show();
        ASSERT_TRUE(eventually([&] { return w->isHidden(); }, 3000))
            << w->objectName().toStdString();
        EXPECT_TRUE(pressed);
        EXPECT_EQ(platform.messages.size(), messages);
        // The next showing lists every user again.
        w->show();
        ASSERT_TRUE(eventually([&] { return w->isVisible(); }, 3000));
        QApplication::processEvents();
        auto* view = w->findChild<zorv::SortGridView*>();
        ASSERT_NE(view, nullptr);
        EXPECT_EQ(view->grid().RowCount(), 3);
        w->accept();
    }
}

} // namespace
} // namespace zorvtest
