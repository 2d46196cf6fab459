// The GUI tests run headless: offscreen platform, a private runtime folder, and
// QStandardPaths in test mode so that nothing touches the real home.

#include "platform/guard.h"

#include <QDir>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

static void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& msg) {
    if (msg.contains(QLatin1String("propagateSizeHints")))
        return;
    if (type != QtDebugMsg)
        std::fprintf(stderr, "%s\n", qPrintable(msg));
}

int main(int argc, char** argv) {
    if (!std::getenv("QT_QPA_PLATFORM"))
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QTemporaryDir runtime(QDir::tempPath() + QStringLiteral("/zorvgui-XXXXXX"));
    if (runtime.isValid()) {
        QFile::setPermissions(runtime.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner);
        ::setenv("XDG_RUNTIME_DIR", runtime.path().toLocal8Bit().constData(), 1);
    }
    qInstallMessageHandler(quietHandler);
    QStandardPaths::setTestModeEnabled(true);
    zorv::GuardedApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
