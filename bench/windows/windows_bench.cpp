// The report windows on a large user file: opening the user list and the
// statistics window (the whole build and the column sizing), and sorting by
// a header press, each timed once, as an operator meets them.
//
//   zorvwinbench USERFILE      (QT_QPA_PLATFORM=offscreen)

#include "editor/ui/tqedit.h"
#include "platform/qtplatform.h"
#include "reports/ui/tstatform.h"
#include "reports/ui/tuserlist.h"
#include "settings/memorykey.h"
#include "settings/steps.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QTest>

#include <cstdio>
#include <filesystem>
#include <string>

namespace {

double seconds(QElapsedTimer& t) {
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

void report(const char* what, double s, double goal) {
    std::printf("%-44s %7.3f s   (goal < %.1f s)\n", what, s, goal);
}

void pressHeader(zorv::SortGridView* view, int col) {
    QHeaderView* h = view->horizontalHeader();
    const QPoint p(h->sectionViewportPosition(col) + h->sectionSize(col) / 2, 5);
    QTest::mousePress(h->viewport(), Qt::LeftButton, {}, p);
    QTest::mouseRelease(h->viewport(), Qt::LeftButton, {}, p);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: zorvwinbench USERFILE\n");
        return 2;
    }
    QApplication app(argc, argv);
    namespace fs = std::filesystem;
    const fs::path work = fs::temp_directory_path() / "zorvwinbench";
    fs::create_directories(work);

    zorv::QtPlatform platform;
    zorv::MemoryRegistryKey settings;
    zorv::UserFileSession session;
    zorv::Tqedit main(session, platform, settings);
    zorv::Tstatform* stats = new zorv::Tstatform(main);
    zorv::Tuserlist* list = new zorv::Tuserlist(main);
    // Every column, names whole: the widest list there is.
    list->applyListOptions("11111111110");

    session.userFileName = argv[1];
    session.workingCopy.setPath((work / "zorvedit.dat").string());
    zorv::PlatformPrompts prompts(platform, &main);
    if (!zorv::loadUserFile(session, prompts)) {
        std::fprintf(stderr, "cannot load %s\n", argv[1]);
        return 1;
    }
    const int n = session.workingCopy.recordCount();
    std::printf("%d users, Qt %s, platform %s\n", n, qVersion(),
                qPrintable(QGuiApplication::platformName()));

    QElapsedTimer t;
    t.start();
    list->show();
    QApplication::processEvents();
    report("user list: open (build, sizing, first paint)", seconds(t), 3);

    const zorv::SortGrid& g = list->sg2->grid();
    auto column = [&](const char* header) {
        for (int c = 0; c < g.ColCount(); ++c)
            if (g.Cell(c, 0) == header)
                return c;
        return -1;
    };
    for (const char* h : {"Name", "Limit", "Last Call"}) {
        t.restart();
        pressHeader(list->sg2, column(h));
        QApplication::processEvents();
        const std::string what = std::string("user list: header press, sort by ") + h;
        report(what.c_str(), seconds(t), 3);
    }
    t.restart();
    list->sg2->grid().SortRows();
    report("user list: the grid's SortRows alone (Last Call)", seconds(t), 3);
    t.restart();
    list->sg2->SizeColumnsToText(10);
    report("user list: size all columns to their texts", seconds(t), 3);
    // Every column once, as an operator trying them all meets them.
    for (int c = 0; c < g.ColCount(); ++c) {
        t.restart();
        pressHeader(list->sg2, c);
        QApplication::processEvents();
        const std::string what = "user list: sort by " + std::string(g.Cell(c, 0));
        report(what.c_str(), seconds(t), 1.5);
    }
    list->accept();

    t.restart();
    stats->show();
    QApplication::processEvents();
    report("statistics: open (build, sizing, first paint)", seconds(t), 3);
    t.restart();
    pressHeader(stats->SG2, 2);
    QApplication::processEvents();
    report("statistics: header press, sort by Logins", seconds(t), 3);
    for (int c = 0; c < stats->SG2->grid().ColCount(); ++c) {
        t.restart();
        pressHeader(stats->SG2, c);
        QApplication::processEvents();
        const std::string what =
            "statistics: sort by " + std::string(stats->SG2->grid().Cell(c, 0));
        report(what.c_str(), seconds(t), 1.5);
    }
    stats->accept();
    // The same sort again from record order, the grid alone, to tell the
    // view's share from the model's.
    stats->show();
    QApplication::processEvents();
    stats->SG2->grid().SetSortColumn(2);
    stats->SG2->grid().SortDirection = zorv::sdAscending;
    t.restart();
    stats->SG2->grid().SortRows();
    report("statistics: the grid's SortRows alone (Logins)", seconds(t), 3);
    stats->accept();

    session.workingCopy.close();
    fs::remove_all(work);
    return 0;
}
