#include "fixture.h"

#include "demodata.h"
#include "eventually.h"
#include "platform/guard.h"
#include "userfile/userfile.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cstdlib>
#include <filesystem>
#include <iostream>

void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}

namespace zorvtest {

std::vector<zorv::Record> demoUsers(int n) {
    return zorvtool::makeDemoUsers(n, zorvtool::kDefaultDemoSeed);
}

std::vector<zorv::Record> plainUsers(int n) {
    std::vector<zorv::Record> users;
    for (int i = 0; i < n; ++i)
        users.push_back(plainUser("USER " + std::to_string(i)));
    return users;
}

zorv::Record plainUser(const std::string& name) {
    zorv::Record r{};
    zorv::writeText(r, zorv::kName, name);
    zorv::writeText(r, zorv::kAddress, "Storgata 1");
    zorv::writeText(r, zorv::kPostnr, "0155 OSLO");
    zorv::writeText(r, zorv::kTlf, "22 00 00 00");
    zorv::writeText(r, zorv::kBirth, "01.01.1970");
    zorv::writeNumber(r, zorv::kPagel, 24);
    zorv::writeNumber(r, zorv::kLimit, 100);
    zorv::writeCode(r, zorv::kTtype, 1);
    zorv::writeSecurity(r, 10, 3);
    zorv::writeUserflags(r, zorv::kColors);
    // 14:05:08, 3 March 1999
    const std::uint32_t when = (19u << 25) | (3u << 21) | (3u << 16) | (14u << 11) | (5u << 5) | 4u;
    zorv::putU32(r, zorv::kLastcallOffset, when);
    zorv::putU32(r, zorv::kFirstcallOffset, when);
    return r;
}

void EditorTest::SetUp() {
    for (const char* sub : {"board", "prog", "config/NV", "state"})
        std::filesystem::create_directories(dir.file(sub));
    ::setenv("XDG_CONFIG_HOME", dir.file("config").c_str(), 1);
    platform.programPathValue = QString::fromStdString(dir.file("prog/zorvedit"));
    platform.stateDirValue = QString::fromStdString(dir.file("state"));
    settings = std::make_unique<zorv::RegFileKey>(settingsFile());
    static_cast<zorv::GuardedApplication*>(qApp)->setPlatform(&platform);
}

void EditorTest::TearDown() {
    // What the program said tells most about a failure.
    if (HasFailure()) {
        for (const auto& m : platform.messages)
            std::cerr << "  shown: " << m.title.toStdString() << ": " << m.text.toStdString()
                      << "\n";
        for (const QString& q : platform.questions)
            std::cerr << "  asked: " << q.toStdString() << "\n";
    }
    window.reset();
    static_cast<zorv::GuardedApplication*>(qApp)->setPlatform(nullptr);
    EXPECT_TRUE(platform.openAnswers.empty()) << "open dialog answers left over";
    EXPECT_TRUE(platform.confirmAnswers.empty()) << "confirm answers left over";
    EXPECT_TRUE(platform.choiceAnswers.empty()) << "Yes/No/Cancel answers left over";
    EXPECT_TRUE(platform.inputAnswers.empty()) << "input answers left over";
}

void EditorTest::writeUsers(const std::vector<zorv::Record>& users) {
    zorv::writeUserFile(userFile(), users);
}

void EditorTest::rememberUserFile(const std::string& path) {
    zorv::RegFileKey key(settingsFile());
    ASSERT_TRUE(key.open(true));
    key.writeText("Filename", path);
    key.close();
}

std::optional<std::string> EditorTest::storedText(const std::string& name) {
    zorv::RegFileKey key(settingsFile());
    std::optional<std::string> out;
    if (key.open(false) && key.exists(name))
        out = key.readText(name);
    key.close();
    return out;
}

std::optional<int> EditorTest::storedInteger(const std::string& name) {
    zorv::RegFileKey key(settingsFile());
    std::optional<int> out;
    if (key.open(false) && key.exists(name))
        out = key.readInteger(name);
    key.close();
    return out;
}

void EditorTest::storeInteger(const std::string& name, int value) {
    zorv::RegFileKey key(settingsFile());
    ASSERT_TRUE(key.open(true));
    key.writeInteger(name, value);
    key.close();
}

void EditorTest::storeText(const std::string& name, const std::string& value) {
    zorv::RegFileKey key(settingsFile());
    ASSERT_TRUE(key.open(true));
    key.writeText(name, value);
    key.close();
}

void EditorTest::start() {
    window = std::make_unique<zorv::Tqedit>(edit, platform, *settings);
    showAndRunStartUp();
}

void EditorTest::showAndRunStartUp() {
    window->show();
    ASSERT_TRUE(eventually([this] { return window->activationDone(); }));
    QApplication::processEvents();
}

void EditorTest::startWith(const std::vector<zorv::Record>& users) {
    writeUsers(users);
    ASSERT_NO_FATAL_FAILURE(rememberUserFile());
    ASSERT_NO_FATAL_FAILURE(start());
    ASSERT_TRUE(window->started());
}

void EditorTest::type(QLineEdit* e, const QString& text) {
    e->selectAll();
    if (text.isEmpty())
        QTest::keyClick(e, Qt::Key_Delete);
    else
        QTest::keyClicks(e, text);
}

void EditorTest::press(QWidget* w, Qt::Key key, Qt::KeyboardModifiers mods) {
    w->setFocus();
    QTest::keyClick(w, key, mods);
}

void EditorTest::saveUser() {
    QTest::mouseClick(window->save, Qt::LeftButton);
}

zorv::Record EditorTest::workingRecord(int index) const {
    return zorv::readRecordAt(workingCopy(), index);
}

zorv::Record EditorTest::userFileRecord(int index) const {
    return zorv::readRecordAt(userFile(), index);
}

std::string EditorTest::userFileBytes() const {
    return readFileBytes(userFile());
}

std::string EditorTest::workingCopyBytes() const {
    return readFileBytes(workingCopy());
}

bool EditorTest::shown(const QString& text) const {
    for (const auto& m : platform.messages)
        if (m.text == text)
            return true;
    return false;
}

} // namespace zorvtest
