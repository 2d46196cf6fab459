#include "reports/ui/reportwindow.h"

#include "editor/ui/tqedit.h"
#include "platform/guard.h"
#include "platform/shortcuts.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QProgressDialog>
#include <QShowEvent>

#include <cmath>

namespace zorv {

ReportWindow::ReportWindow(Tqedit& main, BoundsWindow bounds, QSize designClient, const char* name)
    : QDialog(&main, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowCloseButtonHint | Qt::WindowMaximizeButtonHint),
      main_(main), bounds_(bounds) {
    setObjectName(QString::fromLatin1(name));
    setModal(true);
    resize(px(designClient.width()), px(designClient.height()));
}

ReportWindow::~ReportWindow() = default;

int ReportWindow::px(int design) const {
    return static_cast<int>(std::lround(design * main_.layoutScale()));
}

void ReportWindow::run(const std::function<void()>& f) {
    guarded(main_.platform(), f);
}

void ReportWindow::finishCreate(SortGridView* grid, QMenu* popup) {
    grid_ = grid;
    popup_ = popup;
    grid->OnError = [this](const char* text) { showErrorBox(main_.platform(), text); };
    // The grid keeps its distances to the design size's edges.
    grid->rememberWindowSize();
    // The popup's keys win over the grid's own (Ctrl+C, Ctrl+X).
    shortcuts_ = new ShortcutDispatcher(this, popup);
    run([this] { FormCreate(); });
}

void ReportWindow::FormCreate() {
    restoreWindowBounds(main_.settings(), bounds_, [this](Edge e, std::int32_t v) {
        switch (e) {
        case Edge::Top:
            move(x(), v);
            break;
        case Edge::Left:
            move(v, y());
            break;
        case Edge::Width:
            resize(v, height());
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
    saveWindowBounds(main_.settings(), bounds_, WindowBounds{y(), x(), width(), height()});
}

void ReportWindow::done(int result) {
    run([this] { FormClose(); });
    QDialog::done(result);
}

void ReportWindow::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    // Each showing, not each activation: switching back to the window must
    // not read a million records again.
    if (!e->spontaneous())
        run([this] { FormActivate(); });
}

void ReportWindow::contextMenuEvent(QContextMenuEvent* e) {
    if (popup_)
        popup_->exec(e->globalPos());
}

namespace {

// The build's progress box cannot be closed: the build goes on underneath,
// and the window must take no input until it ends.
class HoldOpen : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* e) override {
        return e->type() == QEvent::Close || (e->type() == QEvent::KeyPress &&
                                              static_cast<QKeyEvent*>(e)->key() == Qt::Key_Escape);
    }
};

} // namespace

void ReportWindow::withProgress(const std::function<void(const BuildProgress&)>& build) {
    QProgressDialog progress(QStringLiteral("Reading the users..."), QString(), 0, 100, this);
    progress.setWindowTitle(windowTitle());
    progress.setCancelButton(nullptr);
    progress.setWindowModality(Qt::WindowModal);
    // Shown once the build looks like taking more than half a second; being
    // modal, it keeps every other input out until the build ends.
    progress.setMinimumDuration(500);
    progress.setAutoClose(false);
    HoldOpen hold;
    progress.installEventFilter(&hold);
    progress.setValue(0);
    build([&progress](int done, int total) {
        if (total > 0)
            progress.setValue(static_cast<int>(static_cast<long long>(done) * 100 / total));
    });
}

void ReportWindow::showSelectedUser() {
    const SortGrid& g = grid_->grid();
    std::int32_t probe = 0;
    if (g.RowCount() < 2 || !gridTextToInt(g.Cell(0, 1), probe))
        return;
    const int i = g.GetCellInt(0, g.Selection().Top);
    // Read before it becomes current: a number that is no record (a limit
    // in column 0) must not leave the main window on a record it cannot show.
    Record probeRecord;
    main_.session().workingCopy.readRecord(i, probeRecord);
    main_.session().currentIndex = i;
    main_.updatePosition();
}

} // namespace zorv
