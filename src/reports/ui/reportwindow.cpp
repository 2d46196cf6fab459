#include "reports/ui/reportwindow.h"

#include "platform/accessible.h"
#include "platform/guard.h"
#include "platform/menukey.h"
#include "platform/shortcuts.h"

#include <QAction>
#include <QApplication>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QProgressDialog>
#include <QScreen>
#include <QShowEvent>
#include <QThread>
#include <QWindow>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace zorv {

ReportWindow::ReportWindow(const ReportContext& context, BoundsWindow bounds, SortWindow sortWindow,
                           QSize designClient, const char* name)
    : QDialog(context.parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                                  Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint),
      host_(context.host), session_(context.session), platform_(context.platform),
      settings_(context.settings), bounds_(bounds), sortWindow_(sortWindow), scale_(context.scale) {
    setObjectName(QString::fromLatin1(name));
    setModal(true);
    resize(px(designClient.width()), px(designClient.height()));
    installAccessibleNames();
    routeShiftF10ToContextMenu();
}

ReportWindow::~ReportWindow() = default;

int ReportWindow::px(int design) const {
    return static_cast<int>(std::lround(design * scale_));
}

void ReportWindow::run(const std::function<void()>& f) {
    guarded(platform_, [&] {
        try {
            f();
        } catch (const Cancelled&) {
            // the step has put back what it did
        }
    });
}

void ReportWindow::finishCreate(SortGridView* grid, QMenu* popup) {
    grid_ = grid;
    popup_ = popup;
    SortGrid& g = grid->grid();
    grid->OnError = [this](const char* text) {
        gridStep_.reset(); // a sort that failed tells no end
        if (cancelled_) {
            // The rows never moved: nor does the mark.
            cancelled_ = false;
            SortGrid& g = grid_->grid();
            g.SortDirection = sortDirectionBefore_;
            g.SetSortColumn(sortColumnBefore_);
            grid_->refresh();
            return;
        }
        showErrorBox(platform_, text);
    };
    grid->BeforeHeaderSort = [this] {
        const SortGrid& g = grid_->grid();
        sortColumnBefore_ = g.SortColumn();
        sortDirectionBefore_ = g.SortDirection;
        run([this] { beforeHeaderSort(); });
    };
    grid->AfterHeaderSort = [this] { run([this] { afterHeaderSort(); }); };
    g.OnProgress = [this](std::int64_t done, std::int64_t total) { gridProgress(done, total); };
    // A press on the current row changes nothing in the view, yet picks
    // that user too; moves by key or mouse come through OnClick.
    g.OnClickCell = [this](int row, int col) {
        const bool movedHere = movedTo_ == row;
        movedTo_ = -1;
        if (row >= grid_->grid().FixedRows && col >= 0 && !movedHere)
            run([this] { rowChosen(); });
    };
    // A press that moves the current cell comes here first, then to
    // OnClickCell: the row is picked once, and an error is told once.
    grid->OnClick = [this] {
        movedTo_ = grid_->grid().Row();
        run([this] { rowChosen(); });
    };
    g.OnClickSort = [this](int) {
        run([this] {
            storeSort();
            afterSort();
        });
    };

    popup->addSeparator();
    SortByColumn1 = popup->addAction(QStringLiteral("Sort by this column"));
    SortByColumn1->setObjectName(QStringLiteral("SortByColumn1"));
    SortByColumn1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    SortByColumn1->setToolTip(
        QStringLiteral("Sort by the current cell's column; press again to reverse"));
    popup->setToolTipsVisible(true);
    connect(SortByColumn1, &QAction::triggered, this,
            [this] { run([this] { SortByColumn1Click(); }); });

    // The grid keeps its distances to the design size's edges.
    grid->rememberWindowSize();
    // The popup's keys win over the grid's own (Ctrl+C, Ctrl+X).
    shortcuts_ = new ShortcutDispatcher(this, popup);
    run([this] { FormCreate(); });
}

void ReportWindow::FormCreate() {
    restoreWindowBounds(settings_, bounds_, [this](Edge e, std::int32_t v) {
        switch (e) {
        case Edge::Top:
            move(x(), v);
            break;
        case Edge::Left:
            move(v, y());
            break;
        case Edge::Width:
            resize(v, height());
            widthStored_ = true;
            break;
        case Edge::Height:
            resize(width(), v);
            break;
        }
    });
}

// Sizes are the client area's: a frame's size is unknown until the window
// is shown, and absent without a window manager.
void ReportWindow::FormClose() {
    saveWindowBounds(settings_, bounds_, WindowBounds{y(), x(), width(), height()});
}

void ReportWindow::done(int result) {
    run([this] { FormClose(); });
    QDialog::done(result);
}

void ReportWindow::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    // Each showing, not each activation: switching back to the window must
    // not read a million records again.
    if (!e->spontaneous()) {
        bool cancelled = false;
        run([&] {
            try {
                FormActivate();
            } catch (const Cancelled&) {
                cancelled = true;
            }
        });
        if (cancelled) {
            // Half a list is no list: the window closes once it is up.
            SortGrid& g = grid_->grid();
            g.SetRowCount(std::max(g.FixedRows, 0));
            grid_->refresh();
            QMetaObject::invokeMethod(
                this, [this] { reject(); }, Qt::QueuedConnection);
            return;
        }
        if (!widthStored_ && !widthFitted_) {
            widthFitted_ = true;
            fitWidthToColumns();
        }
        // Not the button used last time: keys go to the rows.
        grid_->setFocus(Qt::OtherFocusReason);
    }
}

void ReportWindow::fitWidthToColumns() {
    const int wanted = grid_->widthForAllColumns() + width() - grid_->width();
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (wanted <= width() || !screen)
        return;
    // Not mapped yet, the window has no frame of its own: the main window's
    // tells what the desktop adds.
    const QWidget* main = parentWidget() ? parentWidget()->window() : nullptr;
    const int frame = std::max(frameGeometry().width() - width(),
                               main ? main->frameGeometry().width() - main->width() : 0);
    const QRect avail = screen->availableGeometry();
    const int w = std::min(wanted, avail.width() - frame);
    if (w <= width())
        return;
    // Widened about its middle, where the dialog was placed, and kept on the screen.
    const int left =
        std::clamp(x() - (w - width()) / 2, avail.left(), avail.right() + 1 - w - frame);
    const bool placed = testAttribute(Qt::WA_Moved);
    move(left, y());
    setAttribute(Qt::WA_Moved, placed);
    resize(w, height());
}

void ReportWindow::contextMenuEvent(QContextMenuEvent* e) {
    if (popup_)
        popup_->exec(e->globalPos());
}

void ReportWindow::storeSort() {
    const SortGrid& g = grid_->grid();
    saveSort(settings_, sortWindow_, StoredSort{g.SortColumn(), g.SortDirection});
}

void ReportWindow::SortByColumn1Click() {
    grid_->sortByCurrentColumn();
}

void ReportWindow::applyStoredSort() {
    SortGrid& g = grid_->grid();
    const StoredSort s = loadSort(settings_, sortWindow_);
    if (s.column < 0 || s.column >= g.ColCount()) {
        g.SetSortColumn(-1); // no column claims an order the rows do not have
        return;
    }
    g.SortDirection = s.direction == 1 ? sdDescending : sdAscending;
    g.SetSortColumn(s.column);
    try {
        g.SortRows();
    } catch (...) {
        g.SetSortColumn(-1); // the rows stayed as they were: so does the mark
        throw;
    }
}

namespace {

// The user numbers are the grid's decimal texts of column 0.
int userOfText(std::string_view text) {
    std::int32_t v = 0;
    if (!gridTextToInt(text, v))
        return -1;
    return v;
}

} // namespace

bool ReportWindow::selectUser(int index) {
    SortGrid& g = grid_->grid();
    if (index < 0 || g.RowCount() <= g.FixedRows)
        return false;
    char digits[16];
    const auto end = std::to_chars(digits, digits + sizeof digits, index).ptr;
    const std::string_view wanted(digits, static_cast<std::size_t>(end - digits));
    int found = -1;
    for (int r = g.FixedRows; r < g.RowCount() && found < 0; ++r) {
        g.PrefetchRow(r + 16); // after a sort the rows lie all over memory
        if (g.Cell(0, r) == wanted)
            found = r;
    }
    if (found < 0)
        return false;
    movedTo_ = -1;
    g.SetCol(0);
    g.SetRow(found);
    grid_->refresh();
    grid_->scrollTo(grid_->model()->index(found - g.FixedRows, 0),
                    QAbstractItemView::PositionAtCenter);
    return true;
}

int ReportWindow::selectedUser() const {
    const SortGrid& g = grid_->grid();
    const int top = g.Selection().Top;
    if (top < g.FixedRows || top >= g.RowCount())
        return -1;
    return userOfText(g.Cell(0, top));
}

void ReportWindow::showSelectedUser() {
    const SortGrid& g = grid_->grid();
    std::int32_t probe = 0;
    if (g.RowCount() < 2 || !gridTextToInt(g.Cell(0, 1), probe))
        return;
    const int i = g.GetCellInt(0, g.Selection().Top);
    // One pick can come as a move and a press: the user is read once.
    if (i == host_.currentUser())
        return;
    host_.bringUser(i);
}

// --- progress -----------------------------------------------------------------

namespace {

// From this many users on a showing takes longer than half a second on a
// modest machine: the box comes at once rather than half-way through.
int boxAtOnce = 150000;

} // namespace

void ReportWindow::setBoxAtOnceForTesting(int records) {
    boxAtOnce = records;
}

ReportWindow::Progress::Progress(ReportWindow* window, int records, const QString& text)
    : box_(std::make_unique<QProgressDialog>(text, QStringLiteral("Cancel"), 0, 100, window)),
      delayMs_(records >= boxAtOnce ? 0 : 500) {
    box_->setWindowTitle(window->windowTitle());
    box_->setWindowModality(Qt::WindowModal);
    // Shown by showNow() only, never by the box's own timer: it would show
    // the box between two events, before its text is painted.
    box_->setMinimumDuration(std::numeric_limits<int>::max() / 2);
    box_->setAutoClose(false);
    box_->setAutoReset(false);
    since_.start();
    if (delayMs_ == 0)
        showNow();
}

ReportWindow::Progress::~Progress() = default;

// The step runs on in this thread: unless the box is mapped and painted
// now, it stays blank until the step ends.
void ReportWindow::Progress::showNow() {
    box_->show();
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
        const QWindow* w = box_->windowHandle();
        if ((w && w->isExposed()) || waited.elapsed() >= 500)
            break;
        QThread::msleep(2);
    }
    box_->repaint();
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

void ReportWindow::Progress::poll() {
    if (!box_->isVisible()) {
        if (since_.elapsed() < delayMs_)
            return;
        showNow();
    }
    // Input too: the box's Cancel. Being modal, it keeps all other input out.
    QApplication::processEvents();
    if (box_->wasCanceled())
        throw Cancelled();
}

void ReportWindow::Progress::phase(const QString& text, int endPercent) {
    from_ = std::max(box_->value(), 0);
    to_ = std::max(endPercent, from_);
    box_->setLabelText(text);
    box_->setValue(from_);
    // A phase that reports nothing (a sort) would otherwise run under the
    // text of the one before.
    if (box_->isVisible())
        box_->repaint();
    poll();
}

void ReportWindow::Progress::at(std::int64_t done, std::int64_t total) {
    if (total > 0)
        box_->setValue(from_ + static_cast<int>(std::clamp<std::int64_t>(done, 0, total) *
                                                (to_ - from_) / total));
    poll();
}

BuildProgress ReportWindow::Progress::counter() {
    return [this](int done, int total) { at(done, total); };
}

void ReportWindow::withProgress(int records, const std::function<void(Progress&)>& step) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool outer = !inStep_;
    inStep_ = true;
    Progress* outerStep = step_;
    try {
        Progress progress(this, records, QStringLiteral("Reading the users..."));
        step_ = &progress;
        step(progress);
        step_ = outerStep;
    } catch (...) {
        step_ = outerStep;
        inStep_ = !outer;
        QApplication::restoreOverrideCursor();
        grid_->refresh();
        throw;
    }
    inStep_ = !outer;
    QApplication::restoreOverrideCursor();
    grid_->refresh();
}

void ReportWindow::gridProgress(std::int64_t done, std::int64_t total) {
    if (inStep_) {
        if (step_)
            step_->at(done, total);
        return;
    }
    try {
        if (done == 0) {
            gridStep_.reset();
            gridStep_ = std::make_unique<Progress>(
                this, static_cast<int>(std::min<std::int64_t>(total, 1 << 30)),
                grid_->grid().Sorting() ? QStringLiteral("Sorting the users...")
                                        : QStringLiteral("Sizing the columns..."));
            gridStep_->phase(gridStep_->box()->labelText(), 100);
        }
        if (!gridStep_)
            return;
        gridStep_->at(done, total);
    } catch (const Cancelled&) {
        cancelled_ = true; // told through the view's OnError, which puts the mark back
        gridStep_.reset();
        throw;
    }
    if (done >= total)
        gridStep_.reset();
}

} // namespace zorv
