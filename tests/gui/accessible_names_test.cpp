// What a screen reader finds in each window: every control it can reach is
// named for what it is, never by what it holds.

#include "eventually.h"
#include "fixture.h"

#include "about/ui/taboutbox1.h"
#include "platform/linklabel.h"
#include "platform/qtplatform.h"
#include "reports/ui/tstatform.h"
#include "reports/ui/tuserlist.h"
#include "resume/ui/tshowresume.h"

#include <QAbstractItemView>
#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

using namespace zorvtest;

namespace {

using Names = std::vector<std::pair<std::string, QString>>; // control, name

bool interactive(QAccessible::Role r) {
    switch (r) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::ComboBox:
    case QAccessible::EditableText:
    case QAccessible::Slider:
    case QAccessible::SpinBox:
    case QAccessible::PageTab: // the tab list itself is named by its raised tab
    case QAccessible::Link:
    case QAccessible::Table:
    case QAccessible::ButtonMenu:
    case QAccessible::ButtonDropDown:
        return true;
    default:
        return false;
    }
}

// A control by its object name; one without (Qt's own parts) by its class,
// a page tab as "tab".
std::string keyOf(QAccessibleInterface* iface) {
    QObject* o = iface->object();
    if (!o)
        return iface->role() == QAccessible::PageTab ? "tab" : "?";
    if (!o->objectName().isEmpty())
        return o->objectName().toStdString();
    return o->metaObject()->className();
}

struct Walk {
    Names names;
    std::vector<std::string> problems; // empty names, names that are values
};

// Every control of the window that a reader reaches, pages not raised
// included (the tree holds them all); controls hidden on purpose are not.
void walk(QAccessibleInterface* iface, Walk& out) {
    for (int i = 0; i < iface->childCount(); ++i) {
        QAccessibleInterface* child = iface->child(i);
        if (!child)
            continue;
        auto* w = qobject_cast<QWidget*>(child->object());
        if (w && w->isWindow())
            continue;
        const QAccessible::Role role = child->role();
        // A page not raised is hidden, its controls are not.
        if (interactive(role) && !(w && w->isHidden())) {
            const std::string key = keyOf(child);
            const QString name = child->text(QAccessible::Name);
            // Qt answers a grid's name for its value too.
            const QString value =
                role == QAccessible::Table ? QString() : child->text(QAccessible::Value);
            out.names.emplace_back(key, name);
            if (name.trimmed().isEmpty())
                out.problems.push_back(key + " has no name");
            else if (!value.isEmpty() && name == value)
                out.problems.push_back(key + " is named by its value \"" + value.toStdString() +
                                       "\"");
        }
        // A list's items and a grid's cells are contents, not controls.
        if (role == QAccessible::ComboBox || role == QAccessible::Table ||
            role == QAccessible::List)
            continue;
        walk(child, out);
    }
}

void expectNames(QWidget* window, Names expected) {
    Walk found;
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(window);
    ASSERT_NE(root, nullptr);
    walk(root, found);
    for (const std::string& p : found.problems)
        ADD_FAILURE() << window->objectName().toStdString() << ": " << p;
    std::sort(found.names.begin(), found.names.end());
    std::sort(expected.begin(), expected.end());
    for (const auto& e : expected)
        if (!std::binary_search(found.names.begin(), found.names.end(), e))
            ADD_FAILURE() << "expected " << e.first << " named \"" << e.second.toStdString()
                          << "\"";
    for (const auto& f : found.names)
        if (!std::binary_search(expected.begin(), expected.end(), f))
            ADD_FAILURE() << "found " << f.first << " named \"" << f.second.toStdString() << "\"";
}

class AccessibleNamesTest : public EditorTest {
  protected:
    void SetUp() override {
        EditorTest::SetUp();
        writeUsers(demoUsers(12));
        rememberUserFile();
    }
};

} // namespace

TEST_F(AccessibleNamesTest, MainWindow) {
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(window->started());
    window->bar->setValue(3); // a user with values in the lists and fields
    ASSERT_FALSE(window->ttype->currentText().isEmpty());
    // The page control is a container that takes the focus for its tabs.
    EXPECT_EQ(QAccessible::queryAccessibleInterface(window->PageControl1)->text(QAccessible::Name),
              "User details");
    expectNames(window.get(), {
                                  {"Name", "User name"},
                                  {"address", "Street address"},
                                  {"postnr", "City/state"},
                                  {"Tlf", "Telephone number"},
                                  {"birth", "Date of birth"},
                                  {"status", "Status"},
                                  {"bar", "User number"},
                                  {"save", "Save User"},
                                  {"exit", "Exit"},
                                  {"prev", "Previous user"},
                                  {"next", "Next user"},
                                  {"listbt", "List"},
                                  {"statbt", "Stats"},
                                  {"about", "About"},
                                  {"savefilebt", "Save File"},
                                  {"fname1", "User file"},
                                  {"open", "Open user file"},
                                  {"tab", "General"},
                                  {"tab", "Statistics"},
                                  {"tab", "Misc"},
                                  {"tab", "Find"},
                                  {"tab", "BBS Statistics"},
                                  // General
                                  {"ttype", "Terminal type"},
                                  {"pagel", "Page Length"},
                                  {"charset", "Character set"},
                                  {"editor", "Message editor"},
                                  {"menulev", "Menu level"},
                                  {"lang", "Language"},
                                  {"readmode", "Message read mode"},
                                  {"grab", "Grab format"},
                                  {"prot", "Default protocol"},
                                  {"packing", "Preffered packing"},
                                  {"nodeflt", "Nodemessage filter"},
                                  {"Colors", "Colors"},
                                  {"Confst", "Conf status at login"},
                                  {"Aquote", "Auto Quote"},
                                  {"return", "Return with enter-key"},
                                  {"autoft", "Auto file transfer"},
                                  {"Silent", "Silent mode"},
                                  {"Review", "Review own msgs"},
                                  {"flash", "Flash own name"},
                                  {"vt100", "VT100 key emulation"},
                                  // Statistics: the field captioned "Access" is the sysop level
                                  {"sysop", "Sysop level"},
                                  {"access", "File access"},
                                  {"limit", "Limits"},
                                  {"msgleft", "Msg left"},
                                  {"msgread", "Msg read"},
                                  {"msgdumped", "Msg dumped"},
                                  {"logins", "Times on"},
                                  {"resume", "Resume"},
                                  {"timebank", "Timebank"},
                                  {"timelimit", "Timelimit"},
                                  {"tleft", "Time left"},
                                  {"upf", "Files uploaded"},
                                  {"downf", "Files downloaded"},
                                  {"kbup", "Kb uploaded"},
                                  {"kbdown", "Kb downloaded"},
                                  // Misc
                                  {"lastcall", "Last called"},
                                  {"firstcall", "First called"},
                                  {"daysl", "Days since last call"},
                                  {"daysf", "Days since first call"},
                                  {"Insertck", "Insert mode"},
                                  {"indentck", "Indent mode"},
                                  {"xydispck", "XY display"},
                                  {"resume1", "Resume number"},
                                  {"resumebt", "Read resume"},
                                  {"changeresbt", "Change  resume conference"},
                                  // Find
                                  {"findstr", "Search text"},
                                  {"findbtn", "Find"},
                                  {"FindNextbt", "Find next"},
                                  {"namecb", "Name"},
                                  {"addresscb", "Address"},
                                  {"citycb", "City/state"},
                                  {"phonecb", "Phone"},
                                  {"birthcb", "Birth"},
                                  {"limitcb", "Limit"},
                                  {"statcb", "Status to look for"},
                                  // BBS Statistics
                                  {"tuser", "Number of Users"},
                                  {"tlogins", "Number of Logins"},
                                  {"tres", "Written resumes"},
                                  {"twmsg", "Written messages"},
                                  {"trmsg", "Read Messages"},
                                  {"tdmsg", "Dumped messages"},
                                  {"tfup", "Files Uploaded"},
                                  {"tfdown", "Files downloaded"},
                                  {"tbup", "Kb Uploaded"},
                                  {"tbdown", "Kb Downloaded"},
                              });
}

TEST_F(AccessibleNamesTest, DropDownsKeepTheirItemAsValue) {
    ASSERT_NO_FATAL_FAILURE(start());
    QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(window->ttype);
    ASSERT_NE(iface, nullptr);
    EXPECT_EQ(iface->role(), QAccessible::ComboBox);
    EXPECT_EQ(iface->text(QAccessible::Value), window->ttype->currentText());
    ASSERT_EQ(iface->childCount(), 1); // the list of items, as readers expect
    EXPECT_EQ(iface->child(0)->object(), window->ttype->view());
    EXPECT_EQ(iface->indexOfChild(iface->child(0)), 0);
    // A reader opens the list by the combo box's action.
    ASSERT_NE(iface->actionInterface(), nullptr);
    iface->actionInterface()->doAction(QAccessibleActionInterface::showMenuAction());
    ASSERT_TRUE(eventually([&] { return window->ttype->view()->isVisible(); }));
    window->ttype->hidePopup();
}

TEST_F(AccessibleNamesTest, FindDialog) {
    ASSERT_NO_FATAL_FAILURE(start());
    window->findClick();
    ASSERT_NE(window->FindDialog, nullptr);
    ASSERT_TRUE(eventually([&] { return window->FindDialog->isVisible(); }));
    expectNames(window->FindDialog,
                {{"FindText", "Find what"}, {"FindNext", "Find Next"}, {"Cancel", "Cancel"}});
    window->FindDialog->hide();
}

TEST_F(AccessibleNamesTest, ReportWindows) {
    window = std::make_unique<zorv::Tqedit>(edit, platform, *settings);
    auto* stats = window->statform = new zorv::Tstatform(window->reportContext());
    auto* list = window->userlist = new zorv::Tuserlist(window->reportContext());
    ASSERT_NO_FATAL_FAILURE(showAndRunStartUp());
    list->show();
    QApplication::processEvents();
    QTest::keyClicks(list->filteredit, "O"); // the clear button shows with a text
    expectNames(list, {{"filteredit", "Filter"},
                       {"QLineEditIconButton", "Clear the filter"},
                       {"sg2", "User list"},
                       {"OKBtn", "Close"},
                       {"clip", "Copy to clipboard"},
                       {"save", "Save to file"}});
    list->accept();
    stats->show();
    QApplication::processEvents();
    expectNames(stats, {{"SG2", "Statistics"}, {"closebt", "Close"}});
    stats->accept();
}

TEST_F(AccessibleNamesTest, ResumeWindowAndAboutBox) {
    ASSERT_NO_FATAL_FAILURE(start());
    auto* resume = new zorv::Tshowresume(edit, platform, *settings, window->fileopen, window.get());
    expectNames(resume, {{"Memo1", "Resume"}, {"Button1", "Close"}});

    auto* about = new zorv::Taboutbox1(platform, window.get());
    expectNames(about, {{"l2", "Write to the author"}, {"Button1", "OK"}});
    QAccessibleInterface* link = QAccessible::queryAccessibleInterface(about->l2);
    ASSERT_NE(link, nullptr);
    EXPECT_EQ(link->role(), QAccessible::Link);
    EXPECT_EQ(link->text(QAccessible::Description), QString::fromLatin1(zorv::kContactAddress));
    // Pressed through the reader, the link does what a click does.
    ASSERT_NE(link->actionInterface(), nullptr);
    link->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    ASSERT_TRUE(eventually([&] { return !platform.messages.empty(); }));
    EXPECT_TRUE(platform.messages.back().text.startsWith("No mail program is set up"));
}

TEST(GotoBox, NamedAndWideEnoughForItsTitle) {
    const QString title = QStringLiteral("Goto new user..");
    bool ran = false;
    QTimer::singleShot(0, [&] {
        auto* dlg = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
        if (!dlg) {
            ADD_FAILURE() << "no input box";
            return;
        }
        ran = true;
        dlg->setObjectName("Goto");
        expectNames(dlg, {{"QLineEdit", "Please enter a user number"},
                          {"QPushButton", "OK"},
                          {"QPushButton", "Cancel"}});
        QFont bold = dlg->font();
        bold.setBold(true);
        EXPECT_GT(dlg->width(), QFontMetrics(bold).horizontalAdvance(title) * 3 / 2);
        dlg->reject();
    });
    zorv::QtPlatform qt;
    EXPECT_EQ(qt.inputBox(nullptr, title, QStringLiteral("Please enter a user number:"), "4"), "4");
    EXPECT_TRUE(ran);
}
