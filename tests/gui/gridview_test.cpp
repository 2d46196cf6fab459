// The grid on screen: header presses, the indicator's pixels, shortening,
// keys, hints and the resize rule, offscreen.

#include "components/ui/gridview.h"
#include "eventually.h"
#include "platform/clipboard.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QHelpEvent>
#include <QImage>
#include <QScrollBar>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using zorv::SortGrid;
using zorv::SortGridView;
using zorv::TGridRect;

namespace {

using Rows = std::vector<std::vector<std::string>>;

// A shown window holding one grid at (8, 8), 400 x 200, header row first.
struct GridWindow {
    std::unique_ptr<QWidget> window = std::make_unique<QWidget>();
    SortGridView* view = new SortGridView(window.get());

    explicit GridWindow(const Rows& rows) {
        window->resize(420, 240);
        view->setGeometry(8, 8, 400, 200);
        SortGrid& g = view->grid();
        g.SetColCount(static_cast<int>(rows[0].size()));
        g.SetRowCount(static_cast<int>(rows.size()));
        for (int r = 0; r < static_cast<int>(rows.size()); ++r)
            for (int c = 0; c < static_cast<int>(rows[r].size()); ++c)
                g.SetCell(c, r, rows[r][c]);
        g.SetSortShow(true);
        g.EnhTextSize = true;
        for (int c = 0; c < g.ColCount(); ++c)
            g.SetColWidth(c, 100);
        view->refresh();
        window->show();
        view->setFocus();
        QApplication::processEvents();
    }
    SortGrid& grid() { return view->grid(); }
    QHeaderView* header() { return view->horizontalHeader(); }
    std::vector<std::string> column(int c) {
        std::vector<std::string> v;
        for (int r = 1; r < grid().RowCount(); ++r)
            v.emplace_back(grid().Cell(c, r));
        return v;
    }
    // A press on the header at x pixels from column c's left edge.
    void pressHeader(int c, int dx) {
        const int x = header()->sectionViewportPosition(c) + dx;
        QTest::mousePress(header()->viewport(), Qt::LeftButton, {}, QPoint(x, 5));
        QTest::mouseRelease(header()->viewport(), Qt::LeftButton, {}, QPoint(x, 5));
    }
    void pressCell(int c, int row) {
        const QRect r = view->cellRect(c, row);
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
    }
};

const Rows kFruit = {
    {"Name", "Count", "Note"},
    {"pear", "3", "x"},
    {"Apple", "10", "y"},
    {"fig", "2", "z"},
};

TEST(GridViewHeader, PressSortsAwayFromBordersAndFlipsOnTheSameColumn) {
    GridWindow w(kFruit);
    std::vector<std::pair<int, int>> clicks;
    std::vector<int> sorts;
    w.grid().OnClickCell = [&](int row, int col) { clicks.emplace_back(row, col); };
    w.grid().OnClickSort = [&](int col) { sorts.push_back(col); };

    w.pressHeader(0, 3);  // within 4 pixels of the left border
    w.pressHeader(0, 97); // within 4 pixels of the right border (width 100)
    EXPECT_EQ(w.column(0), (std::vector<std::string>{"pear", "Apple", "fig"}));
    EXPECT_TRUE(sorts.empty());

    // Column 0 is already the sort column: the first press flips it.
    w.pressHeader(0, 4);
    EXPECT_EQ(w.column(0), (std::vector<std::string>{"pear", "fig", "Apple"}));
    EXPECT_EQ(w.grid().SortDirection, zorv::sdDescending);
    w.pressHeader(0, 50);
    EXPECT_EQ(w.column(0), (std::vector<std::string>{"Apple", "fig", "pear"}));
    w.grid().SortDirection = zorv::sdDescending;
    w.pressHeader(2, 50); // another column starts ascending
    EXPECT_EQ(w.grid().SortColumn(), 2);
    EXPECT_EQ(w.grid().SortDirection, zorv::sdAscending);
    EXPECT_EQ(w.column(2), (std::vector<std::string>{"x", "y", "z"}));

    EXPECT_EQ(sorts, (std::vector<int>{0, 0, 2}));
    ASSERT_EQ(clicks.size(), 5u); // every press reaches OnClickCell
    for (auto [row, col] : clicks)
        EXPECT_EQ(row, 0);
}

TEST(GridViewHeader, OneDataRowOrAVetoNeverSorts) {
    GridWindow w({{"Name", "Count"}, {"pear", "3"}});
    w.pressHeader(0, 50);
    w.pressHeader(0, 50);
    EXPECT_EQ(w.grid().SortDirection, zorv::sdAscending) << "one data row: not even a flip";

    GridWindow v(kFruit);
    v.grid().OnCanSort = [](int, bool& dosort) { dosort = false; };
    v.pressHeader(1, 50);
    EXPECT_EQ(v.grid().SortColumn(), 0);
    EXPECT_EQ(v.column(0), (std::vector<std::string>{"pear", "Apple", "fig"}));
}

TEST(GridViewHeader, PressNeverSelectsAColumnNorMovesTheSelection) {
    GridWindow w(kFruit);
    w.grid().SetSelection(TGridRect{1, 2, 2, 3});
    w.view->refresh();
    w.pressHeader(0, 2); // no sort: nothing may change
    EXPECT_EQ(w.grid().Selection(), (TGridRect{1, 2, 2, 3}));
    EXPECT_EQ(w.view->selectionModel()->selectedIndexes().size(), 4);
    EXPECT_FALSE(w.view->selectionModel()->isColumnSelected(0, {}));

    // A sort keeps the current row's data current, selection collapsed to it.
    w.grid().SetCol(0);
    w.grid().SetRow(3); // "fig"
    w.view->refresh();
    w.pressHeader(0, 50);
    EXPECT_EQ(w.grid().Cell(0, w.grid().Row()), "fig");
    const QModelIndexList sel = w.view->selectionModel()->selectedIndexes();
    ASSERT_EQ(sel.size(), 1);
    EXPECT_EQ(sel[0].row() + 1, w.grid().Row());
    EXPECT_EQ(w.view->currentIndex().row() + 1, w.grid().Row());
}

TEST(GridViewPress, DataCellsReportTheirCellAndNeverSort) {
    GridWindow w(kFruit);
    std::vector<std::pair<int, int>> clicks, doubles;
    w.grid().OnClickCell = [&](int row, int col) { clicks.emplace_back(row, col); };
    w.grid().OnDblClickCell = [&](int row, int col) { doubles.emplace_back(row, col); };
    int plain = 0;
    w.view->OnClick = [&] { ++plain; };
    w.pressCell(1, 2);
    EXPECT_EQ(w.grid().Col(), 1);
    EXPECT_EQ(w.grid().Row(), 2);
    EXPECT_GE(plain, 1);
    QTest::mouseDClick(w.view->viewport(), Qt::LeftButton, {}, w.view->cellRect(2, 3).center());
    EXPECT_EQ(w.column(0), (std::vector<std::string>{"pear", "Apple", "fig"}));
    ASSERT_FALSE(clicks.empty());
    EXPECT_EQ(clicks.front(), std::make_pair(2, 1));
    ASSERT_EQ(doubles.size(), 1u);
    EXPECT_EQ(doubles[0], std::make_pair(3, 2));
    // Below the last row there is no cell.
    QTest::mouseClick(w.view->viewport(), Qt::LeftButton, {}, QPoint(50, 190));
    EXPECT_EQ(clicks.back(), std::make_pair(-1, -1));
}

// --- the indicator ------------------------------------------------------------

struct Probe {
    QImage img;
    QRect cell;
    QColor at(int x, int y) const { return img.pixelColor(x, y); }
};

Probe grabHeader(GridWindow& w, int col) {
    QApplication::processEvents();
    Probe p;
    p.img = w.header()->viewport()->grab().toImage();
    p.cell = w.view->cellRect(col, 0);
    return p;
}

const QColor kWhite(255, 255, 255), kGrey(128, 128, 128);

TEST(GridViewIndicator, FollowsALeftHeaderTextPointingUpThenDown) {
    GridWindow w(kFruit);
    const int tw = w.view->textWidth("Name");
    Probe p = grabHeader(w, 0);
    const int x = p.cell.left() + tw + 10, y = p.cell.top() + p.cell.height() / 2;
    // Ascending: white base and right side, grey left side, end points open.
    EXPECT_EQ(p.at(x - 4, y + 4), kWhite);
    EXPECT_EQ(p.at(x + 3, y + 4), kWhite);
    EXPECT_EQ(p.at(x + 4, y + 4), kWhite); // start of the second white line
    EXPECT_EQ(p.at(x, y - 4), kGrey);
    EXPECT_EQ(p.at(x - 2, y), kGrey);
    EXPECT_NE(p.at(x, y + 5), kWhite);
    // Not in another column's header.
    Probe q = grabHeader(w, 1);
    EXPECT_NE(q.at(q.cell.left() + w.view->textWidth("Count") + 10 - 4,
                   q.cell.top() + q.cell.height() / 2 + 4),
              kWhite);

    w.grid().SortDirection = zorv::sdDescending;
    w.header()->viewport()->update();
    p = grabHeader(w, 0);
    EXPECT_EQ(p.at(x + 4, y - 4), kWhite);
    EXPECT_EQ(p.at(x + 2, y), kWhite);
    EXPECT_EQ(p.at(x, y + 4), kGrey);
    EXPECT_EQ(p.at(x - 4, y - 4), kGrey);
    EXPECT_EQ(p.at(x, y - 4), kGrey);
}

TEST(GridViewIndicator, StandsLeftOfARightAlignedTextAndAtTheLeftOfACentredOne) {
    GridWindow w(kFruit);
    zorv::TAlignment align = zorv::taRightJustify;
    w.grid().OnGetAlignment = [&](int, int, zorv::TAlignment& a) { a = align; };
    w.grid().SetSortColumn(1);
    Probe p = grabHeader(w, 1);
    const int right = p.cell.left() + p.cell.width();
    int x = right - w.view->textWidth("Count") - 14, y = p.cell.top() + p.cell.height() / 2;
    EXPECT_EQ(p.at(x - 4, y + 4), kWhite);
    EXPECT_EQ(p.at(x, y - 4), kGrey);

    align = zorv::taCenter;
    w.header()->viewport()->update();
    p = grabHeader(w, 1);
    x = p.cell.left() + 8;
    EXPECT_EQ(p.at(x - 4, y + 4), kWhite);
    EXPECT_EQ(p.at(x, y - 4), kGrey);
}

// --- shortening ------------------------------------------------------------------

TEST(GridViewText, ShortensWithRoomForTheIndicatorAndDrawsNothingWhenNothingFits) {
    GridWindow w({{"Membership", "Membership"}, {"a", "b"}, {"c", "d"}});
    const int full = w.view->textWidth("Membership");
    const int width = full + 4 + 7; // fits, but not beside the indicator
    EXPECT_EQ(w.view->shownText(1, 0, width), "Membership");
    const std::string sorted = w.view->shownText(0, 0, width);
    ASSERT_GE(sorted.size(), 4u);
    EXPECT_EQ(sorted.substr(sorted.size() - 3), "...");
    EXPECT_LE(w.view->textWidth(sorted), width - 4 - 14);

    w.grid().EnhTextSize = false;
    EXPECT_EQ(w.view->shownText(0, 0, width), "Membership");
    w.grid().EnhTextSize = true;

    // Not even "M..." fits: the header cell stays blank.
    const int narrow = w.view->textWidth("M...") + 4 - 1;
    EXPECT_EQ(w.view->shownText(1, 0, narrow), "");
    w.grid().SetSortShow(false);
    w.grid().SetColWidth(1, narrow + 1);
    w.view->refresh();
    Probe p = grabHeader(w, 1);
    const QColor face = p.at(p.cell.left() + 1, p.cell.top() + 1);
    int marks = 0;
    for (int y = p.cell.top(); y <= p.cell.bottom(); ++y)
        for (int x = p.cell.left(); x <= p.cell.right(); ++x)
            marks += p.at(x, y) != face;
    EXPECT_EQ(marks, 0);
}

TEST(GridViewText, AmpersandPairDrawsAsOneAndTheRowFitsTheFont) {
    GridWindow w({{"Up&&Down", "UpDown"}, {"a", "b"}, {"c", "d"}});
    w.grid().SetSortShow(false);
    w.view->refresh();
    // "Up&&Down" shows as "Up&Down": wider than "UpDown" by one "&" only.
    Probe p = grabHeader(w, 0);
    auto inkRight = [&](const QRect& cell) {
        const QColor face = p.at(cell.left() + 1, cell.top() + 1);
        int last = -1;
        for (int x = cell.left(); x <= cell.right(); ++x)
            for (int y = cell.top(); y <= cell.bottom(); ++y)
                if (p.at(x, y) != face)
                    last = x - cell.left();
        return last;
    };
    const int amp = w.view->textWidth("&");
    EXPECT_NEAR(inkRight(w.view->cellRect(0, 0)) - inkRight(w.view->cellRect(1, 0)), amp, 2);

    QFont big = w.view->font();
    big.setPixelSize(30);
    w.view->setFont(big);
    EXPECT_GE(w.view->rowHeight(), QFontMetrics(big).height() + 2);
    EXPECT_EQ(w.view->verticalHeader()->defaultSectionSize(), w.view->rowHeight());
    EXPECT_GE(GridWindow(kFruit).view->rowHeight(), 15);
}

TEST(GridViewText, ASingleAmpersandIsDrawnAsItselfAndUnderlinesNothing) {
    GridWindow w({{"AT&T vei 3", "AT&&T vei 3", "ATT vei 3"}, {"a", "b", "c"}, {"d", "e", "f"}});
    w.grid().SetSortShow(false);
    w.view->refresh();
    Probe p = grabHeader(w, 0);
    const auto cell = [&](int c) {
        return p.img.copy(w.view->cellRect(c, 0).adjusted(0, 0, -1, 0));
    };
    EXPECT_EQ(cell(0), cell(1)); // "&&" shows as the "&" a single one shows
    EXPECT_NE(cell(0), cell(2)); // and that "&" is drawn, not eaten
    EXPECT_EQ(w.view->shownText(0, 0, 400), "AT&T vei 3");
    EXPECT_EQ(w.view->shownText(1, 0, 400), "AT&T vei 3");
    EXPECT_EQ(w.grid().Cell(1, 0), "AT&&T vei 3"); // the stored bytes stay
    EXPECT_EQ(SortGridView::shownForm("a&&&b&"), "a&&b&");
}

// --- keys --------------------------------------------------------------------------

TEST(GridViewKeys, ClipboardKeysOnlyWhenAllowedAndQtCopyNeverRuns) {
    GridWindow w(kFruit);
    w.grid().SetSelection(TGridRect{0, 1, 1, 2});
    w.view->refresh();
    zorv::setClipboardText("sentinel");
    QTest::keyClick(w.view, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(zorv::clipboardText(), "sentinel");

    w.grid().Navigation.AllowClipboardShortCuts = true;
    QTest::keyClick(w.view, Qt::Key_Insert, Qt::ControlModifier);
    EXPECT_EQ(zorv::clipboardText(), "pear\t3\r\nApple\t10");

    QTest::keyClick(w.view, Qt::Key_Delete, Qt::ShiftModifier); // cut
    EXPECT_EQ(zorv::clipboardText(), "pear\t3\r\nApple\t10");
    EXPECT_EQ(w.grid().Cell(0, 1), "");
    EXPECT_EQ(w.grid().Cell(1, 2), "");
    EXPECT_EQ(w.grid().RowCount(), 4);

    zorv::setClipboardText("kiwi");
    w.grid().SetCol(0);
    w.grid().SetRow(3);
    w.view->refresh();
    QTest::keyClick(w.view, Qt::Key_Insert, Qt::ShiftModifier);
    EXPECT_EQ(w.grid().Cell(0, 3), "kiwi");
}

TEST(GridViewKeys, LetterJumpTakesPrefixesInEitherCaseWithinASecond) {
    GridWindow w({{"Name", "Town"},
                  {"beta", "Oslo"},
                  {"Apple", "Bergen"},
                  {"avocado", "Alta"},
                  {"\xE6rlig", "Moss"},
                  {"\xD8ystein", "Alta"}});
    // Long enough that two keys in a row come within it on a busy machine.
    const SortGridView::Timing timing{300};
    w.view->setTiming(timing);
    const int pause = timing.letterJumpMs + 50;
    w.grid().SetRow(1);
    w.view->refresh();
    QTest::keyClick(w.view, Qt::Key_A);
    EXPECT_EQ(w.grid().Row(), 2);
    QTest::keyClick(w.view, Qt::Key_V); // "AV" within the second
    EXPECT_EQ(w.grid().Row(), 3);
    EXPECT_EQ(w.view->currentIndex().row(), 2);
    QTest::keyClick(w.view, Qt::Key_X); // "AVX" matches nothing: the row stays
    EXPECT_EQ(w.grid().Row(), 3);
    QTest::qWait(pause);                            // a pause starts a new prefix
    QTest::keyClicks(w.view, QString(QChar(0xC6))); // Æ finds æ
    EXPECT_EQ(w.grid().Row(), 4);
    QTest::qWait(pause);
    QTest::keyClicks(w.view, QString(QChar(0xF8))); // ø finds Ø
    EXPECT_EQ(w.grid().Row(), 5);
    QTest::qWait(pause);
    w.grid().SetSortColumn(1);
    QTest::keyClick(w.view, Qt::Key_B);
    EXPECT_EQ(w.grid().Row(), 2);
    w.grid().SetSortShow(false); // the key column is then column 1
    QTest::qWait(pause);
    QTest::keyClick(w.view, Qt::Key_M);
    EXPECT_EQ(w.grid().Row(), 4);
}

TEST(GridViewKeys, TheFoundRowStandsInTheMiddleOfTheView) {
    Rows rows = {{"Name", "N"}};
    for (int k = 0; k < 300; ++k)
        rows.push_back({(k == 250 ? "Q" : "P") + std::to_string(k), std::to_string(k)});
    GridWindow w(rows);
    QTest::keyClick(w.view, Qt::Key_Q);
    ASSERT_EQ(w.grid().Row(), 251);
    // Scrolling goes by whole rows: within a row and a half of the middle
    // (scrolled merely into view, it would stand at the bottom).
    const QRect r = w.view->visualRect(w.view->currentIndex());
    EXPECT_NEAR(r.center().y(), w.view->viewport()->height() / 2, w.view->rowHeight() * 3 / 2);
}

// A window that opens its popup menu on the context-menu event, as the
// report windows do.
struct MenuWindow : QWidget {
    std::vector<QPoint> opened; // in the grid's coordinates
    QWidget* grid = nullptr;
    void contextMenuEvent(QContextMenuEvent* e) override {
        opened.push_back(grid->mapFrom(this, e->pos()));
    }
};

TEST(GridViewKeys, ShiftF10AndTheMenuKeyOpenThePopupOnceAtTheCurrentCell) {
    auto* window = new MenuWindow;
    std::unique_ptr<QWidget> owner(window);
    auto* view = new SortGridView(window);
    window->grid = view;
    window->resize(420, 240);
    view->setGeometry(8, 8, 400, 200);
    view->grid().SetColCount(3);
    view->grid().SetRowCount(40);
    for (int c = 0; c < 3; ++c)
        view->grid().SetColWidth(c, 100);
    window->show();
    view->setFocus();
    view->grid().SetCol(1);
    view->grid().SetRow(30); // below the fold: it is scrolled to first
    view->refresh();
    QApplication::processEvents();

    QTest::keyClick(view, Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_EQ(window->opened.size(), 1u);
    const auto cellAt = [&](QPoint p) { return view->cellAt(view->viewport()->mapFrom(view, p)); };
    EXPECT_EQ(cellAt(window->opened[0] - QPoint(0, 1)), QPoint(1, 30));

    // The platform's event for the Menu key, wherever it points; the key
    // press that comes with it opens nothing of its own.
    QTest::keyClick(view, Qt::Key_Menu);
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(2, 2),
                              view->mapToGlobal(QPoint(2, 2)));
    QApplication::sendEvent(view, &menuKey);
    ASSERT_EQ(window->opened.size(), 2u);
    EXPECT_EQ(window->opened[1], window->opened[0]);

    // A menu set on the grid itself is the one that opens.
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    std::vector<QPoint> custom;
    QObject::connect(view, &QWidget::customContextMenuRequested,
                     [&](const QPoint& p) { custom.push_back(p); });
    QTest::keyClick(view, Qt::Key_F10, Qt::ShiftModifier);
    ASSERT_EQ(custom.size(), 1u);
    EXPECT_EQ(custom[0], window->opened[0]);
    EXPECT_EQ(window->opened.size(), 2u);
}

TEST(GridViewKeys, CtrlRSortsByTheCurrentColumnThenReversesAsAHeaderPressDoes) {
    GridWindow w(kFruit);
    std::vector<int> sorts;
    w.grid().OnClickSort = [&](int c) { sorts.push_back(c); };
    w.grid().OnGetFormat = [](int col, zorv::TSortStyle& s) {
        if (col == 1)
            s = zorv::ssNumber;
    };
    w.grid().SetCol(1);
    w.grid().SetRow(2); // Apple, 10
    w.view->refresh();
    QTest::keyClick(w.view, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(w.column(1), (std::vector<std::string>{"2", "3", "10"}));
    EXPECT_EQ(w.grid().Cell(0, w.grid().Row()), "Apple"); // the current row kept its data
    QTest::keyClick(w.view, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(w.column(1), (std::vector<std::string>{"10", "3", "2"}));
    EXPECT_EQ(w.grid().SortDirection, zorv::sdDescending);
    EXPECT_EQ(sorts, (std::vector<int>{1, 1}));
    // The same veto as a press, and the hint over the header says so.
    w.grid().OnCanSort = [](int, bool& dosort) { dosort = false; };
    w.view->sortByCurrentColumn();
    EXPECT_EQ(sorts.size(), 2u);
    EXPECT_TRUE(w.view->model()
                    ->headerData(0, Qt::Horizontal, Qt::ToolTipRole)
                    .toString()
                    .contains("Ctrl+R"));
}

TEST(GridViewKeys, InsertDeleteFollowNavigationAndEscapeRestores) {
    GridWindow w(kFruit);
    w.grid().SetRow(2);
    w.view->refresh();
    QTest::keyClick(w.view, Qt::Key_Insert);
    QTest::keyClick(w.view, Qt::Key_Delete);
    EXPECT_EQ(w.grid().RowCount(), 4) << "both off";

    std::vector<int> inserted, deleted;
    w.grid().OnAutoInsertRow = [&](int r) { inserted.push_back(r); };
    w.grid().OnAutoDeleteRow = [&](int r) { deleted.push_back(r); };
    w.grid().Navigation.AllowInsertRow = true;
    w.grid().Navigation.AllowDeleteRow = true;
    QTest::keyClick(w.view, Qt::Key_Insert);
    EXPECT_EQ(w.grid().RowCount(), 5);
    EXPECT_EQ(w.column(0), (std::vector<std::string>{"pear", "", "Apple", "fig"}));
    EXPECT_EQ(w.view->model()->rowCount(), 4);
    QTest::keyClick(w.view, Qt::Key_Delete);
    EXPECT_EQ(w.column(0), (std::vector<std::string>{"pear", "Apple", "fig"}));
    EXPECT_EQ(inserted, std::vector<int>{2});
    EXPECT_EQ(deleted, std::vector<int>{2});

    // Escape writes back what the cell held when it became current.
    w.grid().SetCol(1);
    w.grid().SetRow(1);
    w.view->refresh();
    w.grid().SetCell(1, 1, "changed");
    QTest::keyClick(w.view, Qt::Key_Escape);
    EXPECT_EQ(w.grid().Cell(1, 1), "3");
}

TEST(GridViewKeys, EnterAdvancesAndAppendsWhenAsked) {
    GridWindow w({{"A", "B"}, {"1", "2"}});
    w.grid().Navigation.AdvanceOnEnter = true;
    w.grid().SetCol(0);
    w.grid().SetRow(1);
    w.view->refresh();
    QTest::keyClick(w.view, Qt::Key_Return);
    EXPECT_EQ(w.grid().Col(), 1);
    QTest::keyClick(w.view, Qt::Key_Return); // last cell, no AdvanceInsert
    EXPECT_EQ(w.grid().RowCount(), 2);
    w.grid().Navigation.AdvanceInsert = true;
    QTest::keyClick(w.view, Qt::Key_Return);
    EXPECT_EQ(w.grid().RowCount(), 3);
    EXPECT_EQ(w.grid().Row(), 2);
    EXPECT_EQ(w.grid().Col(), 0);
}

// --- growing with the window ----------------------------------------------------------

TEST(GridViewResize, KeepsItsDistancesAndSkipsSizesWithNoRoom) {
    GridWindow w(kFruit);
    w.grid().SizeWithForm = true;
    w.view->rememberWindowSize();
    w.window->resize(440, 270);
    EXPECT_EQ(w.view->size(), QSize(420, 230));
    w.window->resize(30, 30); // would leave the grid with no width
    EXPECT_EQ(w.view->size(), QSize(420, 230));
    w.window->resize(300, 30); // width back, still no height
    EXPECT_EQ(w.view->size(), QSize(420, 230));
    w.window->resize(300, 100); // the difference kept counting
    EXPECT_EQ(w.view->size(), QSize(280, 60));

    w.grid().SizeWithForm = false;
    w.window->resize(500, 300);
    EXPECT_EQ(w.view->size(), QSize(280, 60));
}

TEST(GridViewResize, ScrollThumbFollowsTheVisiblePart) {
    Rows rows{{"N"}};
    for (int i = 0; i < 1000; ++i)
        rows.push_back({std::to_string(i)});
    GridWindow w(rows);
    QScrollBar* bar = w.view->verticalScrollBar();
    const int visible = w.view->viewport()->height() / w.view->rowHeight();
    EXPECT_NEAR(bar->pageStep(), visible, 1);
    EXPECT_EQ(bar->maximum() + bar->pageStep(), 1000);
}

TEST(GridViewText, SizesColumnsInTheGridsFont) {
    GridWindow w({{"Name", ""}, {"Bartholomew", ""}, {"Al", ""}});
    w.view->SizeColumnToText(0);
    EXPECT_EQ(w.header()->sectionSize(0),
              w.view->textWidth("Bartholomew") + w.view->textWidth("x"));
    w.view->SetAutoSize(true);
    EXPECT_EQ(w.header()->sectionSize(1), w.view->textWidth("x") + 10);
    // An operator's drag reaches the grid.
    w.header()->resizeSection(0, 77);
    EXPECT_EQ(w.grid().ColWidth(0), 77);
}

} // namespace

namespace {

TEST(GridViewHeader, ASortErrorReachesTheErrorHandlerAndMovesNoRow) {
    GridWindow w({{"When", "N"}, {"2024-01-02", "1"}, {"nonsense", "2"}, {"2023-01-01", "3"}});
    w.grid().OnGetFormat = [](int col, zorv::TSortStyle& s) {
        if (col == 0)
            s = zorv::ssDateTime;
    };
    std::vector<std::string> errors;
    w.view->OnError = [&](const char* m) { errors.emplace_back(m); };
    bool clickSort = false;
    w.grid().OnClickSort = [&](int) { clickSort = true; };
    w.pressHeader(0, 50);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "'nonsense' is not a valid date and time");
    EXPECT_EQ(w.column(0), (std::vector<std::string>{"2024-01-02", "nonsense", "2023-01-01"}));
    EXPECT_EQ(w.view->model()->rowCount(), 3);
    EXPECT_FALSE(clickSort);
}

} // namespace

namespace {

// The pruned sizing must give what measuring every text gives.
TEST(GridViewText, PrunedSizingEqualsMeasuringEveryText) {
    const std::string letters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ abcdefghijklmnopqrstuvwxyz"
                                "\xC5\xC6\xD8\xE5\xE6\xF8\xAB\xBB.,'-&WVAT0123456789";
    Rows rows{{"", "", ""}};
    unsigned seed = 12345;
    auto next = [&seed] { return seed = seed * 1103515245u + 12345u, (seed >> 16) & 0x7FFF; };
    for (int r = 0; r < 3000; ++r) {
        std::vector<std::string> row;
        for (int c = 0; c < 3; ++c) {
            std::string t;
            const unsigned len = next() % (c == 0 ? 4 : c == 1 ? 16 : 40);
            for (unsigned i = 0; i < len; ++i)
                t += letters[next() % letters.size()];
            row.push_back(t);
        }
        rows.push_back(row);
    }
    GridWindow w(rows);
    w.grid().SetSortShow(false);
    for (int c = 0; c < 3; ++c) {
        w.view->SizeColumnToText(c);
        const int pruned = w.grid().ColWidth(c);
        w.grid().SizeColumnToText(c, w.view->measure());
        EXPECT_EQ(pruned, w.grid().ColWidth(c)) << "column " << c;
    }
}

} // namespace

namespace {

TEST(GridViewHints, ACellHintStandsUnderItsCellAndGoesWhenTheMouseLeavesIt) {
    GridWindow w(kFruit);
    std::vector<std::pair<int, int>> asked;
    w.grid().OnGridHint = [&](int row, int col, std::string& hint) {
        asked.emplace_back(row, col);
        hint = "row " + std::to_string(row);
    };
    const QRect cell = w.view->cellRect(1, 2);
    QHelpEvent help(QEvent::ToolTip, cell.center(), w.view->viewport()->mapToGlobal(cell.center()));
    QApplication::sendEvent(w.view->viewport(), &help);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], std::make_pair(2, 1));
    EXPECT_EQ(w.view->lastHintCell(), QPoint(1, 2));
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), "row 2");

    QTest::mouseMove(w.view->viewport(), cell.center() + QPoint(1, 0)); // same cell
    EXPECT_EQ(w.view->lastHintCell(), QPoint(1, 2));
    QTest::mouseMove(w.view->viewport(), w.view->cellRect(1, 3).center());
    EXPECT_EQ(w.view->lastHintCell(), QPoint(-1, -1));
    ASSERT_TRUE(zorvtest::eventually([] { return !QToolTip::isVisible(); }));
}

} // namespace
