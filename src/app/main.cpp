// zorvedit: the editor of the ZORV BBS user file.

#include "about/ui/taboutbox1.h"
#include "editor/ui/tqedit.h"
#include "platform/guard.h"
#include "platform/qtplatform.h"
#include "resume/ui/tshowresume.h"
#include "settings/registry.h"
#include "userfile/workingcopy.h"

#include <QCursor>
#include <QPushButton>
#include <QString>
#include <QTabWidget>
#include <QTimer>

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
    // Owned by the main window, which shows them modally.
    qedit.aboutbox1 = new zorv::Taboutbox1(platform, &qedit);
    qedit.showresume = new zorv::Tshowresume(session, platform, *settings, qedit.fileopen, &qedit);
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
                if (n < 0 || n >= qedit.session().workingCopy.recordCount())
                    return;
                qedit.session().currentIndex = n;
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
