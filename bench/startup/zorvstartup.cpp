// The editor's start-up timed as a whole process, for scripts/bench/speed.sh.
//
//   zorvstartup --empty      an empty Qt window: shown, painted, gone (the yardstick)
//   zorvstartup [--save N]   the main window on the user file its settings name,
//                            until the first user and the totals are shown; with
//                            --save, then N presses of "Save User", their mean
//                            time printed in milliseconds.
//
// Run it with QT_QPA_PLATFORM=offscreen and XDG_CONFIG_HOME naming a settings
// file whose Filename is the user file.

#include "editor/ui/tqedit.h"
#include "platform/guard.h"
#include "platform/qtplatform.h"
#include "session/editsession.h"
#include "settings/registry.h"

#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>

namespace {

// Runs `then` once the start-up handler has run (it is queued by the first show).
void whenStarted(zorv::Tqedit& w, std::function<void()> then) {
    QTimer::singleShot(0, &w, [&w, then] {
        if (!w.activationDone())
            whenStarted(w, then);
        else
            then();
    });
}

} // namespace

int main(int argc, char** argv) {
    bool empty = false;
    int saves = 0;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--empty") == 0)
            empty = true;
        else if (std::strcmp(argv[i], "--save") == 0 && i + 1 < argc)
            saves = std::atoi(argv[++i]);
    }
    zorv::GuardedApplication app(argc, argv);
    if (empty) {
        QWidget w;
        w.resize(640, 480);
        w.show();
        QTimer::singleShot(0, &w, [&w] {
            w.repaint();
            QApplication::quit();
        });
        return app.exec();
    }

    zorv::QtPlatform platform;
    app.setPlatform(&platform);
    const std::unique_ptr<zorv::RegistryKey> settings = zorv::makeRegistryKey();
    zorv::EditSession edit;
    zorv::Tqedit qedit(edit, platform, *settings);
    qedit.show();
    whenStarted(qedit, [&] {
        if (!qedit.started()) {
            std::fprintf(stderr, "zorvstartup: the user file did not load\n");
            std::_Exit(1);
        }
        qedit.repaint();
        if (saves > 0) {
            const auto t0 = std::chrono::steady_clock::now();
            for (int i = 0; i < saves; ++i)
                qedit.save->click();
            const std::chrono::duration<double, std::milli> spent =
                std::chrono::steady_clock::now() - t0;
            std::printf("%.3f\n", spent.count() / saves);
            std::fflush(stdout);
            // Not closed: closing would ask whether to save the user file.
            std::_Exit(0);
        }
        QApplication::quit();
    });
    return app.exec();
}
