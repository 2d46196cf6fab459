#include "reports/ui/tstatform.h"

#include "components/gridexport.h"
#include "platform/clipboard.h"
#include "platform/enterkey.h"
#include "userfile/blockreader.h"

#include <QMenu>
#include <QPushButton>

namespace zorv {

Tstatform::Tstatform(const ReportContext& context)
    : ReportWindow(context, BoundsWindow::Stats, SortWindow::Stats, QSize(577, 352), "statform") {
    setWindowTitle(QStringLiteral("Statistics"));

    SG2 = new SortGridView(this);
    SG2->setObjectName(QStringLiteral("SG2"));
    SG2->setAccessibleName(QStringLiteral("Statistics"));
    SG2->setGeometry(px(8), px(8), px(561), px(297));
    SortGrid& g = SG2->grid();
    g.DefaultColWidth = 108;
    g.DefaultRowHeight = 15;
    g.FixedCols = 0;
    g.SetColCount(5);
    g.SetRowCount(16);
    g.EnhTextSize = true;
    g.SortFixedCols = false;
    g.SizeWithForm = true;
    g.Multilinecells = false;
    g.SortDirection = sdAscending;
    g.SetSortShow(true);
    g.SetSortColumn(-1); // until a showing applies the stored sort
    g.Navigation.AllowClipboardShortCuts = true;
    g.ColumnSize = TColumnSize{false, "Software\\NV\\zorvedit", "Userlist"};
    g.OnGetFormat = [](int col, TSortStyle& style) { style = statisticsSortStyle(col); };
    g.OnGetAlignment = [](int, int col, TAlignment& a) { a = statisticsAlignment(col); };
    SG2->SetAutoSize(true); // the still empty columns; the design widths follow
    const int design[] = {46, 33, 29, 59, 210};
    for (int c = 0; c < 5; ++c)
        g.SetColWidth(c, design[c]);
    SG2->refresh();

    closebt = new QPushButton(QStringLiteral("Close"), this);
    closebt->setObjectName(QStringLiteral("closebt"));
    enterPressesWhenFocused(closebt); // no default button: Enter in the grid is the grid's
    closebt->setGeometry(px(8), px(312), px(75), px(25));

    statpop = new QMenu(this);
    statpop->setObjectName(QStringLiteral("statpop"));
    CopytoClipboard1 = statpop->addAction(QStringLiteral("Copy to Clipboard"));
    CopytoClipboard1->setObjectName(QStringLiteral("CopytoClipboard1"));
    CopytoClipboard1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    close1 = statpop->addAction(QStringLiteral("Close"));
    close1->setObjectName(QStringLiteral("close1"));
    close1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_X));

    connect(closebt, &QPushButton::clicked, this, [this] { run([this] { closebtClick(); }); });
    connect(close1, &QAction::triggered, this, [this] { run([this] { closebtClick(); }); });
    connect(CopytoClipboard1, &QAction::triggered, this,
            [this] { run([this] { clipbtClick(); }); });

    finishCreate(SG2, statpop);
    FormResize();
}

void Tstatform::resizeEvent(QResizeEvent* e) {
    ReportWindow::resizeEvent(e);
    FormResize();
}

void Tstatform::FormResize() {
    closebt->move(closebt->x(), height() - px(40));
}

void Tstatform::FormActivate() {
    const int records = session_.workingCopy().recordCount();
    withProgress(records, [&](Progress& progress) {
        progress.phase(QStringLiteral("Reading the users..."), 70);
        BlockReader reader(session_.workingCopy());
        buildStatistics(SG2->grid(), reader, progress.counter());
        // Sized while the rows lie in memory in the order they are read.
        progress.phase(QStringLiteral("Sizing the columns..."), 80);
        SG2->SizeColumnsToText(0); // each column to its text, in one pass
        progress.phase(QStringLiteral("Sorting..."), 100);
        applyStoredSort();
    });
    selectUser(host_.currentUser());
}

void Tstatform::closebtClick() {
    accept();
}

void Tstatform::clipbtClick() {
    setClipboardText(selectionText(SG2->grid()));
}

void Tstatform::SG2Click() {
    rowChosen();
}

} // namespace zorv
