// The grid on screen with clipboard texts no cell was made for: a 2 MB text
// pasted into one cell of a one-row grid, and a line of 200,000 tabs, each
// pasted with Ctrl+V and painted, at 1x. Median of five runs each (or RUNS).
//
//   zorvgridviewbench [CELL_BYTES [TABS [RUNS]]]     (QT_QPA_PLATFORM=offscreen)

#include "components/ui/gridview.h"
#include "platform/clipboard.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Run {
    double paste = 0, paint = 0;
};

// A shown window with a header row and one data row, like a report window.
Run pasteAndPaint(const std::string& text) {
    QWidget window;
    window.resize(640, 400);
    auto* view = new zorv::SortGridView(&window);
    view->setGeometry(8, 8, 620, 380);
    zorv::SortGrid& g = view->grid();
    g.SetColCount(5);
    g.SetRowCount(2);
    for (int c = 0; c < 5; ++c)
        g.SetCell(c, 0, "Column " + std::to_string(c));
    g.EnhTextSize = true;
    g.SetSortShow(true);
    g.Navigation.AllowClipboardShortCuts = true;
    view->refresh();
    window.show();
    view->setFocus();
    g.SetCol(0);
    g.SetRow(1);
    view->refresh();
    QApplication::processEvents();
    zorv::setClipboardText(text);

    Run r;
    QElapsedTimer t;
    t.start();
    QTest::keyClick(view, Qt::Key_V, Qt::ControlModifier);
    r.paste = static_cast<double>(t.nsecsElapsed()) / 1e9;
    t.restart();
    view->viewport()->repaint();
    view->horizontalHeader()->viewport()->repaint();
    QApplication::processEvents();
    r.paint = static_cast<double>(t.nsecsElapsed()) / 1e9;
    if (g.Cell(0, 1).size() + static_cast<std::size_t>(g.ColCount()) < text.size())
        std::fprintf(stderr, "the paste did not arrive\n");
    return r;
}

int runCount = 5;

void report(const char* what, const std::string& text, double goal) {
    std::vector<Run> runs;
    for (int k = 0; k < runCount; ++k)
        runs.push_back(pasteAndPaint(text));
    auto median = [&](double Run::*field) {
        std::vector<double> v;
        for (const Run& r : runs)
            v.push_back(r.*field);
        std::sort(v.begin(), v.end());
        return v[v.size() / 2];
    };
    const double paste = median(&Run::paste), paint = median(&Run::paint);
    std::printf("%-34s paste %7.3f s  paint %7.3f s  together %7.3f s  (goal < %.1f s)\n", what,
                paste, paint, paste + paint, goal);
}

} // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const long cellBytes = argc > 1 ? std::atol(argv[1]) : 2L << 20;
    const long tabs = argc > 2 ? std::atol(argv[2]) : 200000;
    runCount = std::max(argc > 3 ? std::atoi(argv[3]) : 5, 1);
    std::printf("Qt %s, platform %s, scale 1x, median of %d\n", qVersion(),
                qPrintable(QGuiApplication::platformName()), runCount);
    std::string cell;
    cell.reserve(static_cast<std::size_t>(cellBytes));
    for (long k = 0; k < cellBytes; ++k)
        cell += static_cast<char>('a' + k % 26);
    const std::string what1 = std::to_string(cellBytes) + " bytes in one cell";
    report(what1.c_str(), cell, 1.0);
    const std::string line(static_cast<std::size_t>(tabs), '\t');
    const std::string what2 = std::to_string(tabs) + " tabs on one line";
    report(what2.c_str(), line, 1.0);
    return 0;
}
