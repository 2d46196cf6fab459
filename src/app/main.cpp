// zorvedit: the editor of the ZORV BBS user file.

#include "about/ui/taboutbox1.h"
#include "editor/ui/tqedit.h"
#include "platform/guard.h"
#include "platform/qtplatform.h"
#include "reports/ui/tstatform.h"
#include "reports/ui/tuserlist.h"
#include "resume/ui/tshowresume.h"
#include "session/editsession.h"
#include "settings/registry.h"

#include <QCursor>
#include <QIcon>
#include <QPushButton>
#include <QString>
#include <QTabWidget>
#include <QTimer>

#include <cstdio>
#include <cstring>

namespace {

const char* const kHelp =
    "Usage: zorvedit [--help] [--version]\n"
    "Edits the user file of a ZORV bulletin-board system (zorvuser.dat) one user at\n"
    "a time, through a working copy; the board's file changes only on Save File.\n"
    "\n"
    "The first start asks for the user file; later starts open the one remembered in\n"
    "$XDG_CONFIG_HOME/NV/zorvedit.reg (default ~/.config/NV/zorvedit.reg). The\n"
    "working copy lies beside the program, or in $XDG_STATE_HOME/zorvedit (default\n"
    "~/.local/state/zorvedit) for an installed program.\n"
    "\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "\n"
    "See also zorvtool(1), the same file's tool for scripts.\n";

// Answered before any window exists, so they work without a display. Returns
// the exit code, or -1 to go on.
int commandLine(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return 0;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("zorvedit %s\n", ZORV_VERSION);
            return 0;
        }
    }
    return -1;
}

} // namespace

int main(int argc, char** argv) {
    if (const int code = commandLine(argc, argv); code >= 0)
        return code;
    zorv::GuardedApplication app(argc, argv);
    // What Qt leaves of the command line: the program takes no arguments.
    if (app.arguments().size() > 1) {
        std::fprintf(stderr, "zorvedit: unknown argument '%s'\n%s",
                     qPrintable(app.arguments().at(1)), kHelp);
        return 2;
    }
    QApplication::setApplicationName(QStringLiteral("zorvedit"));
    QApplication::setApplicationVersion(QStringLiteral(ZORV_VERSION));
    // Matches the window to its desktop entry and icon.
    QGuiApplication::setDesktopFileName(QStringLiteral(ZORV_APP_ID));
    QIcon icon;
    for (const char* size : {"-16", "-48", ""})
        icon.addFile(QStringLiteral(":/icons/zorvedit%1.png").arg(QLatin1String(size)));
    QApplication::setWindowIcon(icon);
    // The application's title is kAppTitle, the title of its error boxes. It is
    // not set as Qt's display name: X11 would append it to every window caption.

    zorv::QtPlatform platform;
    app.setPlatform(&platform);

    const std::unique_ptr<zorv::RegistryKey> settings = zorv::makeRegistryKey();
    settings->setProblemReporter(
        [&platform](const std::string& text) { zorv::showErrorBox(platform, text.c_str()); });

    zorv::EditSession session;
    // The windows in their order; those of later work join here.
    zorv::Tqedit qedit(session, platform, *settings);
    // Owned by the main window, which shows them modally; made in the order
    // the program has always made them.
    qedit.aboutbox1 = new zorv::Taboutbox1(platform, &qedit);
    qedit.statform = new zorv::Tstatform(qedit.reportContext());
    qedit.showresume = new zorv::Tshowresume(session, platform, *settings, qedit.fileopen, &qedit);
    qedit.userlist = new zorv::Tuserlist(qedit.reportContext());
    // For screenshots of each tab (scripts/screenshot.sh).
    if (qEnvironmentVariableIsSet("ZORVEDIT_START_TAB"))
        qedit.PageControl1->setCurrentIndex(qEnvironmentVariableIntValue("ZORVEDIT_START_TAB"));
    qedit.show();
    // For screenshots of the secondary windows: "resume:N" opens user N's
    // resume, "about" the about box, "hint" rests the mouse on "About", once
    // the start-up has run.
    const QString showOnStart = qEnvironmentVariable("ZORVEDIT_SHOW");
    if (!showOnStart.isEmpty()) {
        QTimer::singleShot(300, &qedit, [&qedit, showOnStart] {
            if (!qedit.started())
                return;
            if (showOnStart.startsWith(QLatin1String("resume:"))) {
                const int n = showOnStart.mid(7).toInt();
                if (n < 0 || n >= qedit.session().workingCopy().recordCount())
                    return;
                qedit.session().setCurrentIndex(n);
                qedit.updatePosition();
                qedit.resumebt->click();
            } else if (showOnStart == QLatin1String("about")) {
                qedit.about->click();
            } else if (showOnStart == QLatin1String("hint")) {
                QCursor::setPos(qedit.about->mapToGlobal(qedit.about->rect().center()));
            }
        });
    }
    return app.exec();
}
