// zorvedit: the editor of the ZORV BBS user file.

#include "editor/ui/tqedit.h"
#include "platform/guard.h"
#include "platform/qtplatform.h"
#include "reports/ui/tstatform.h"
#include "reports/ui/tuserlist.h"
#include "settings/registry.h"
#include "userfile/workingcopy.h"

#include <QString>
#include <QTabWidget>

int main(int argc, char** argv) {
    zorv::GuardedApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zorvedit"));
    // The application's title is kAppTitle, the title of its error boxes. It is
    // not set as Qt's display name: X11 would append it to every window caption.

    zorv::QtPlatform platform;
    app.setPlatform(&platform);

    const std::unique_ptr<zorv::RegistryKey> settings = zorv::makeRegistryKey();
    settings->setProblemReporter(
        [&platform](const std::string& text) { zorv::showErrorBox(platform, text.c_str()); });

    zorv::UserFileSession session;
    // The windows in their order; those of later work join here.
    zorv::Tqedit qedit(session, platform, *settings);
    new zorv::Tstatform(qedit); // owned by the main window
    new zorv::Tuserlist(qedit);
    // For screenshots of each tab (scripts/screenshot.sh).
    if (qEnvironmentVariableIsSet("ZORVEDIT_START_TAB"))
        qedit.PageControl1->setCurrentIndex(qEnvironmentVariableIntValue("ZORVEDIT_START_TAB"));
    qedit.show();
    return app.exec();
}
