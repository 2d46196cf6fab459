#pragma once
// The main window under test: each test gets a folder of its own holding the
// board's user file (board/zorvuser.dat), the program's path (prog/zorvedit, so
// the working copy is prog/zorvedit.dat), the settings file and the state
// folder; dialogs are answered by a ScriptedPlatform.
//
//     TEST_F(EditorTest, Something) {
//         writeUsers(demoUsers(20));
//         rememberUserFile();          // "Filename" stored: no open dialog
//         ASSERT_NO_FATAL_FAILURE(start()); // shows the window, runs the start-up
//         QTest::keyClicks(window->limit, "7");
//         ...
//     }

#include "editor/ui/tqedit.h"
#include "scripted_platform.h"
#include "session/editsession.h"
#include "settings/regfile.h"
#include "tempdir.h"
#include "userfile/record.h"

#include <QString>
#include <Qt>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

class QLineEdit;
class QWidget;

void PrintTo(const QString& s, std::ostream* os);

namespace zorvtest {

// Demo users from the project's generator (same bytes on every run).
std::vector<zorv::Record> demoUsers(int n);
// A plain record: name, every code with an item, no uninterpreted bits.
zorv::Record plainUser(const std::string& name);
// n plain users named "USER 0" to "USER n-1".
std::vector<zorv::Record> plainUsers(int n);

class EditorTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;

    std::string userFile() const { return dir.file("board/zorvuser.dat"); }
    std::string workingCopy() const { return dir.file("prog/zorvedit.dat"); }
    std::string settingsFile() const { return dir.file("config/NV/zorvedit.reg"); }

    void writeUsers(const std::vector<zorv::Record>& users);
    void rememberUserFile(const std::string& path);
    void rememberUserFile() { rememberUserFile(userFile()); }
    // A value in the settings file, or nullopt when missing.
    std::optional<std::string> storedText(const std::string& name);
    std::optional<int> storedInteger(const std::string& name);
    void storeInteger(const std::string& name, int value);
    void storeText(const std::string& name, const std::string& value);

    // Creates and shows the window; returns once the start-up has run. A
    // start-up that never runs is a fatal failure: call it as
    // ASSERT_NO_FATAL_FAILURE(start()) so that the test stops there.
    void start();
    // The rest of start() for a window the test created itself.
    void showAndRunStartUp();
    // Writes the users, remembers the file and starts; fails unless started.
    void startWith(const std::vector<zorv::Record>& users);

    // Replaces the field's text as typed (an empty text deletes it).
    void type(QLineEdit* e, const QString& text);
    void press(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods = Qt::ControlModifier);
    void saveUser(); // the Save User button

    zorv::Record workingRecord(int index) const;
    zorv::Record userFileRecord(int index) const;
    std::string userFileBytes() const;
    std::string workingCopyBytes() const;

    // The messages shown so far, and whether one with this text was among them.
    bool shown(const QString& text) const;

    TempDir dir;
    ScriptedPlatform platform;
    std::unique_ptr<zorv::RegFileKey> settings;
    zorv::EditSession edit;                        // the open user file the window shows
    zorv::UserFileSession& session = edit.state(); // its state, for setting cases up
    std::unique_ptr<zorv::Tqedit> window;          // last: goes first
};

} // namespace zorvtest
