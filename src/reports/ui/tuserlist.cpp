#include "reports/ui/tuserlist.h"

#include "components/gridexport.h"
#include "platform/accessible.h"
#include "platform/clipboard.h"
#include "platform/desktopdate.h"
#include "platform/syscolors.h"
#include "reports/exportform.h"
#include "userfile/blockreader.h"
#include "userfile/codepage.h"
#include "userfile/codetables.h"

#include <QApplication>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSignalBlocker>
#include <QToolButton>

#include <QScrollBar>

#include <algorithm>
#include <climits>
#include <functional>
#include <unordered_map>
#include <vector>

namespace zorv {

namespace {

// The filter's row above the grid: a field and a gap, in design pixels.
constexpr int kFilterRow = 29;

QPushButton* button(QWidget* parent, const char* name, const char* caption, const char* hint) {
    auto* b = new QPushButton(QString::fromLatin1(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setToolTip(QString::fromLatin1(hint));
    // Beside the default "Close", a focused button takes Enter itself.
    b->setAutoDefault(true);
    return b;
}

QAction* entry(QMenu* menu, const char* name, const char* caption, QKeySequence key = {}) {
    QAction* a = menu->addAction(QString::fromLatin1(caption));
    a->setObjectName(QString::fromLatin1(name));
    a->setShortcut(key);
    return a;
}

} // namespace

Tuserlist::Tuserlist(const ReportContext& context)
    : ReportWindow(context, BoundsWindow::UserList, SortWindow::UserList,
                   QSize(585, 334 + kFilterRow), "userlist"),
      file_(context.session) {
    setWindowTitle(QStringLiteral("Userlist"));

    filterlabel = new QLabel(QStringLiteral("Filter:"), this);
    filterlabel->setObjectName(QStringLiteral("filterlabel"));
    filteredit = new QLineEdit(this);
    filteredit->setObjectName(QStringLiteral("filteredit"));
    filteredit->setToolTip(QStringLiteral("Show only the users with this text in a column"));
    filteredit->setClearButtonEnabled(true);
    filteredit->installEventFilter(this);
    filterlabel->setBuddy(filteredit);
    nameBuddy(filterlabel);
    // Its clear button is a picture without a word of its own.
    if (auto* clear = filteredit->findChild<QToolButton*>())
        clear->setAccessibleName(QStringLiteral("Clear the filter"));
    filtercount = new QLabel(this);
    filtercount->setObjectName(QStringLiteral("filtercount"));
    const int labelWidth =
        std::max(px(36), filterlabel->fontMetrics().horizontalAdvance(filterlabel->text()) + 4);
    filterlabel->setGeometry(px(8), px(8), labelWidth, px(21));
    filteredit->setGeometry(px(8) + labelWidth, px(8), px(225), px(21));
    const int countLeft = filteredit->geometry().right() + px(9);
    filtercount->setGeometry(countLeft, px(8), px(569) - countLeft, px(21));

    sg2 = new SortGridView(this);
    sg2->setObjectName(QStringLiteral("sg2"));
    sg2->setAccessibleName(QStringLiteral("User list"));
    sg2->setGeometry(px(8), px(8 + kFilterRow), px(561), px(281));
    SortGrid& g = sg2->grid();
    g.DefaultColWidth = 108;
    g.DefaultRowHeight = 15;
    g.FixedCols = 0;
    g.SetColCount(5);
    g.SetRowCount(14);
    g.EnhTextSize = true;
    g.SortFixedCols = false;
    g.SizeWithForm = true;
    g.Multilinecells = false;
    g.SortDirection = sdAscending;
    g.SetSortShow(true);
    g.SetSortColumn(-1); // until a showing applies the stored sort
    g.ColumnSize = TColumnSize{false, "Software\\NV\\zorvedit", "Userlist"};
    g.DateFormat = DatePattern(desktopDatePattern());
    g.OnGetFormat = [this](int col, TSortStyle& style) { sg2GetFormat(col, style); };
    aside_.DateFormat = g.DateFormat;
    aside_.OnGetFormat = g.OnGetFormat;
    aside_.SetRowCount(1);
    sg2->refresh();

    OKBtn = button(this, "OKBtn", "Close", "Close this list");
    OKBtn->setDefault(true); // Enter closes the list
    clip = button(this, "clip", "Copy to clipboard", "Copy selected parts to the clipboard");
    save = button(this, "save", "Save to file", "Save the list to file");
    OKBtn->setGeometry(px(16), px(304 + kFilterRow), px(89), px(25));
    clip->setGeometry(px(112), px(304 + kFilterRow), px(97), px(25));
    save->setGeometry(px(216), px(304 + kFilterRow), px(97), px(25));

    SGpop1 = new QMenu(this);
    SGpop1->setObjectName(QStringLiteral("SGpop1"));
    cTOc = entry(SGpop1, "cTOc", "Copy To ClipBoard", QKeySequence(Qt::CTRL | Qt::Key_C));
    Savetofile1 = entry(SGpop1, "Savetofile1", "Save to file", QKeySequence(Qt::CTRL | Qt::Key_S));
    close1 = entry(SGpop1, "close1", "Close", QKeySequence(Qt::CTRL | Qt::Key_X));
    setup1 = SGpop1->addMenu(QStringLiteral("Options"));
    setup1->setObjectName(QStringLiteral("setup1"));
    UserNumber1 = entry(setup1, "UserNumber1", "User Number");
    Name1 = entry(setup1, "Name1", "Name");
    Address1 = entry(setup1, "Address1", "Address");
    Citystate1 = entry(setup1, "Citystate1", "City/State");
    Phone1 = entry(setup1, "Phone1", "Phone");
    Birth1 = entry(setup1, "Birth1", "Birth");
    Limit1 = entry(setup1, "Limit1", "Limit");
    Updownstat1 = entry(setup1, "Updownstat1", "Up&&Down stat");
    Loginstat1 = entry(setup1, "Loginstat1", "Login stat");
    LastCall1 = entry(setup1, "LastCall1", "Last Call");
    Splittnames1 =
        entry(SGpop1, "Splittnames1", "Splitt names?", QKeySequence(Qt::CTRL | Qt::Key_T));
    KillUser1 = entry(SGpop1, "KillUser1", "Toggle Status", QKeySequence(Qt::CTRL | Qt::Key_K));
    options_ = {UserNumber1, Name1,       Address1,   Citystate1, Phone1,      Birth1,
                Limit1,      Updownstat1, Loginstat1, LastCall1,  Splittnames1};
    for (int p = 0; p < static_cast<int>(options_.size()); ++p) {
        options_[p]->setCheckable(true);
        connect(options_[p], &QAction::triggered, this,
                [this, p] { run([this, p] { optionClick(p); }); });
    }

    SD1.fileName = QStringLiteral("userlist.txt");
    SD1.filter = QString::fromLatin1(kExportFilter);
    SD1.filterIndex = 1;
    // The dialog's own change of type puts the new type's extension in the
    // name; a bare name gets it at the end.
    for (int i = 1; i <= kExportTypes; ++i)
        SD1.typeExtensions << QString::fromLatin1(typeExtension(i));

    auto on = [this](auto* sender, auto signal, void (Tuserlist::*handler)()) {
        connect(sender, signal, this,
                [this, handler] { run([this, handler] { (this->*handler)(); }); });
    };
    on(OKBtn, &QPushButton::clicked, &Tuserlist::OKBtnClick);
    on(close1, &QAction::triggered, &Tuserlist::OKBtnClick);
    on(clip, &QPushButton::clicked, &Tuserlist::clipClick);
    on(cTOc, &QAction::triggered, &Tuserlist::clipClick);
    on(save, &QPushButton::clicked, &Tuserlist::saveClick);
    on(Savetofile1, &QAction::triggered, &Tuserlist::saveClick);
    on(KillUser1, &QAction::triggered, &Tuserlist::KillUser1Click);
    on(filteredit, &QLineEdit::textChanged, &Tuserlist::filtereditChange);

    finishCreate(sg2, SGpop1);
    setTabOrder(filteredit, sg2);
    setTabOrder(sg2, OKBtn);
    setTabOrder(OKBtn, clip);
    setTabOrder(clip, save);
    FormResize();
}

void Tuserlist::applyListOptions(const std::string& options) {
    const ListOptions o{options};
    for (int p = 0; p < static_cast<int>(options_.size()); ++p)
        options_[p]->setChecked(o.isOn(p));
}

void Tuserlist::resizeEvent(QResizeEvent* e) {
    ReportWindow::resizeEvent(e);
    FormResize();
}

void Tuserlist::FormResize() {
    const int top = height() - px(30);
    for (QPushButton* b : {OKBtn, clip, save})
        b->move(b->x(), top);
}

bool Tuserlist::eventFilter(QObject* watched, QEvent* e) {
    if (watched == filteredit && e->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(e)->key();
        // Escape empties the filter; only an empty one lets the window close.
        if (key == Qt::Key_Escape && !filteredit->text().isEmpty()) {
            filteredit->clear();
            return true;
        }
        // Enter ends the typing and goes to the rows found; the default
        // button must not close the list under it.
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            sg2->setFocus(Qt::ShortcutFocusReason);
            return true;
        }
    }
    return ReportWindow::eventFilter(watched, e);
}

void Tuserlist::FormActivate() {
    // A new showing starts with every user listed.
    {
        const QSignalBlocker quiet(filteredit);
        filteredit->clear();
    }
    filter_ = RowFilter("");
    rowPicked_ = true;
    withProgress(session_.workingCopy().recordCount(),
                 [&](Progress& progress) { rebuild(progress, true); });
    selectUser(host_.currentUser());
}

void Tuserlist::BuildList() {
    const int keep = selectedUser();
    withProgress(session_.workingCopy().recordCount(),
                 [&](Progress& progress) { rebuild(progress, false); });
    if (!selectUser(keep))
        selectUser(host_.currentUser());
}

void Tuserlist::rebuild(Progress& progress, bool autoSize) {
    showAll();
    buildRows(progress);
    // Sized before the sort, while the rows lie in memory in the order they
    // are read: the widths are the same in any order.
    progress.phase(QStringLiteral("Sizing the columns..."), 70);
    if (autoSize)
        sg2->SetAutoSize(true);
    else
        sg2->SizeColumnsToText(0); // each column to its text, in one pass
    progress.phase(QStringLiteral("Sorting..."), 95);
    // Rows in record order under a column's mark would say what is not so.
    applyStoredSort();
    if (!filter_.empty()) {
        progress.phase(QStringLiteral("Filtering..."), 100);
        applyFilter(FilterChange::Any);
    }
    showCount();
}

void Tuserlist::buildRows(Progress& progress) {
    const UserListColumns columns(shownOptions());
    progress.phase(QStringLiteral("Reading the users..."), 60);
    BlockReader reader(session_.workingCopy());
    buildUserList(sg2->grid(), columns, reader, progress.counter());
    if (columns.lastCallColumn >= 0)
        lastCallColumn = static_cast<std::uint8_t>(columns.lastCallColumn);
}

void Tuserlist::SaveOption(int position, bool on) {
    saveOption(settings_, position, on);
}

void Tuserlist::optionClick(int position) {
    QAction* item = options_[static_cast<std::size_t>(position)];
    SaveOption(position, item->isChecked());
    try {
        BuildList();
    } catch (const Cancelled&) {
        // The option as it was, and no half-built list: it closes, as a
        // cancelled opening does.
        item->setChecked(!item->isChecked());
        SaveOption(position, item->isChecked());
        SortGrid& g = sg2->grid();
        g.SetRowCount(std::max(g.FixedRows, 0));
        sg2->refresh();
        reject();
        throw;
    }
}

void Tuserlist::OKBtnClick() {
    accept();
}

void Tuserlist::clipClick() {
    setClipboardText(selectionText(sg2->grid()));
}

void Tuserlist::saveClick() {
    // The last export's folder, else the user file's.
    if (lastExportDir_.isEmpty())
        SD1.initialDir = fromPath(directoryPart(session_.userFileName()));
    else
        SD1.initialDir = lastExportDir_;
    if (!platform_.saveFile(this, SD1))
        return;
    // The dialog asked about replacing the name typed; a name the type's
    // extension made is asked about here.
    const QString typed = SD1.fileName;
    SD1.fileName = fromPath(withTypeExtension(toPath(typed), SD1.filterIndex));
    const bool exists = QFileInfo::exists(SD1.fileName);
    if (SD1.fileName != typed && exists &&
        platform_.choose(this, QStringLiteral("Confirm"),
                         SD1.fileName +
                             QStringLiteral(" already exists.\nDo you want to replace it?"),
                         {QStringLiteral("Yes"), QStringLiteral("No")}) != 0)
        return;
    if (!exists &&
        !platform_.confirm(
            this, SD1.fileName + QStringLiteral("\nThis file does not exist.\nCreate the file?")))
        return;
    const std::string path = toPath(SD1.fileName);
    switch (exportForm(path, SD1.filterIndex)) {
    case ExportForm::Csv:
        WriteCsvFile(sg2->grid(), path);
        break;
    case ExportForm::Html:
        WriteHtmlFile(sg2->grid(), path, activeBorderHtmlColor());
        break;
    case ExportForm::Tabbed:
        WriteTabbedFile(sg2->grid(), path);
        break;
    }
    lastExportDir_ = QFileInfo(SD1.fileName).absolutePath();
}

void Tuserlist::sg2Click() {
    rowChosen();
}

void Tuserlist::rowChosen() {
    rowPicked_ = true;
    showSelectedUser();
}

void Tuserlist::sg2GetFormat(int col, TSortStyle& style) {
    if (col == 0 && UserNumber1->isChecked())
        style = ssNumber;
    if (LastCall1->isChecked() && col == lastCallColumn)
        style = ssDateTime;
}

namespace {

// Many cells changed with one repaint at the end, not one per cell.
class QuietGrid {
  public:
    explicit QuietGrid(SortGrid& g) : g_(g), keep_(std::move(g.OnChanged)) {
        g_.OnChanged = nullptr;
    }
    ~QuietGrid() { g_.OnChanged = std::move(keep_); }
    QuietGrid(const QuietGrid&) = delete;
    QuietGrid& operator=(const QuietGrid&) = delete;

  private:
    SortGrid& g_;
    std::function<void()> keep_;
};

} // namespace

ListOptions Tuserlist::shownOptions() const {
    std::string text;
    for (QAction* a : options_)
        text += a->isChecked() ? '1' : '0';
    return ListOptions{text};
}

void Tuserlist::KillUser1Click() {
    if (!UserNumber1->isChecked() || !rowPicked_)
        return;
    SortGrid& g = sg2->grid();
    if (g.RowCount() <= g.FixedRows) // no user listed
        return;
    const TGridRect sel = g.Selection();
    const int first = g.GetCellInt(0, sel.Top);
    const int topUser = userInRow(sg2->rowAt(0) + g.FixedRows);
    const bool changedBefore = session_.changed();
    std::vector<Toggle> done;
    bool placing = false; // restatus runs: it tidies up after itself
    const int count = sel.Bottom - sel.Top + 1;
    done.reserve(static_cast<std::size_t>(count));
    try {
        withProgress(count, [&](Progress& progress) {
            progress.phase(QStringLiteral("Toggling the status..."), 50);
            for (int r = sel.Top; r <= sel.Bottom; ++r) {
                if (((r - sel.Top) & 0xFFF) == 0)
                    progress.at(r - sel.Top, count);
                const StatusToggle t = file_.toggleStatus(g.GetCellInt(0, r));
                done.push_back(Toggle{r, t.index, t.was, t.now});
                host_.userStatusChanged(t.index, t.now);
            }
            progress.phase(QStringLiteral("Sorting..."), 100);
            placing = true;
            restatus(done);
        });
    } catch (const Cancelled&) {
        // Every record back as it was, the latest first.
        for (auto t = done.rbegin(); t != done.rend(); ++t)
            if (file_.undoToggle(StatusToggle{t->index, t->was, t->now}))
                host_.userStatusChanged(t->index, t->was);
        file_.restoreChanged(changedBefore);
        throw;
    } catch (...) {
        // What was written before the error is what the list must show.
        if (!done.empty() && !placing) {
            try {
                sg2->grid().SetSortColumn(-1); // the rows may be out of order now
                restatus(done);
            } catch (...) {
            }
            sg2->refresh();
        }
        throw;
    }
    reselect(done, sel, first, topUser);
}

int Tuserlist::userInRow(int row) const {
    const SortGrid& g = sg2->grid();
    std::int32_t v = -1;
    if (row < g.FixedRows || row >= g.RowCount() || !gridTextToInt(g.Cell(0, row), v))
        return -1;
    return v;
}

// The toggled users stay selected, in one block when they still stand
// together, else the first of them alone; the user of the top row stays
// on top while the list shows it.
void Tuserlist::reselect(const std::vector<Toggle>& done, TGridRect before, int first,
                         int topUser) {
    SortGrid& g = sg2->grid();
    std::unordered_map<int, int> rowOf; // user -> grid row
    rowOf.reserve(done.size() + 1);
    for (const Toggle& t : done)
        rowOf.emplace(t.index, -1);
    rowOf.emplace(topUser, -1);
    std::size_t left = rowOf.size();
    for (int r = g.FixedRows; r < g.RowCount() && left > 0; ++r) {
        const auto at = rowOf.find(userInRow(r));
        if (at != rowOf.end() && at->second < 0) {
            at->second = r;
            --left;
        }
    }
    int lo = INT_MAX, hi = -1;
    bool allShown = !done.empty();
    for (const Toggle& t : done) {
        const int r = rowOf[t.index];
        allShown = allShown && r >= 0;
        lo = std::min(lo, r);
        hi = std::max(hi, r);
    }
    const int firstRow = rowOf[first];
    if (allShown && hi - lo + 1 == static_cast<int>(done.size()))
        g.SetSelection(TGridRect{before.Left, lo, before.Right, hi});
    else if (firstRow >= 0)
        g.SetSelection(TGridRect{before.Left, firstRow, before.Right, firstRow});
    // The next Ctrl+K acts on the same users' first, never on a row that
    // merely stayed highlighted.
    rowPicked_ = firstRow >= 0;
    sg2->refresh();
    const int topRow = rowOf[topUser];
    if (topUser >= 0 && topRow >= 0)
        sg2->verticalScrollBar()->setValue(topRow - g.FixedRows);
    else if (firstRow >= 0)
        sg2->scrollTo(sg2->model()->index(firstRow - g.FixedRows, std::max(before.Left, 0)));
}

// The status cells of the toggled rows change, and where the sort compares
// the status only those rows move, among the others already in order.
void Tuserlist::restatus(const std::vector<Toggle>& done) {
    const UserListColumns columns(shownOptions());
    const auto at = std::find(columns.cells.begin(), columns.cells.end(), ListCell::LoginStat);
    if (at == columns.cells.end() || done.empty())
        return; // no cell shows a status
    const int statCol = static_cast<int>(at - columns.cells.begin());
    SortGrid& g = sg2->grid();
    const int sortCol = g.SortColumn();
    const bool moves =
        sortCol >= 0 && statCol >= sortCol && statCol <= std::max(sortCol, g.ColCount() - 2);
    // While filtered, the rows are placed in the whole list and filtered again.
    std::vector<int> rows;
    rows.reserve(done.size());
    for (const Toggle& t : done)
        rows.push_back(filtering_
                           ? shownRank_[static_cast<std::size_t>(t.row - g.FixedRows)] + g.FixedRows
                           : t.row);
    const bool refilter = filtering_;
    showAll();
    const QuietGrid quiet(g);
    const auto setCells = [&](bool now) {
        for (std::size_t k = 0; k < done.size(); ++k)
            g.SetCell(statCol, rows[k], loginStatText(now ? done[k].now : done[k].was));
    };
    setCells(true);
    if (moves) {
        try {
            g.ResortRows(rows);
        } catch (const Cancelled&) {
            setCells(false);
            if (refilter)
                applyFilter(FilterChange::Any);
            throw;
        } catch (...) {
            // The records are toggled, so are their cells; the rows could
            // not be placed, so no column claims an order.
            g.SetSortColumn(-1);
            if (refilter)
                applyFilter(FilterChange::Any);
            throw;
        }
    }
    // Wider only: a column that jumps narrower under the operator's eyes
    // at each toggle helps nobody.
    int widest = g.ColWidth(statCol);
    for (const unsigned st : {0u, 2u}) {
        const std::string text = loginStatText(st);
        widest = std::max(widest, sg2->textWidth(text) + sg2->textWidth("x"));
    }
    if (widest > g.ColWidth(statCol))
        g.SetColWidth(statCol, widest);
    if (refilter)
        applyFilter(FilterChange::Any); // a status text may match the filter now, or no longer
    showCount();
}

// --- filter ----------------------------------------------------------------------

int Tuserlist::listedUsers() const {
    const SortGrid& g = sg2->grid();
    const int shown = std::max(g.RowCount() - std::max(g.FixedRows, 0), 0);
    return shown + (filtering_ ? static_cast<int>(hiddenRank_.size()) : 0);
}

void Tuserlist::showCount() {
    const SortGrid& g = sg2->grid();
    filtercount->setText(QStringLiteral("%1 of %2 users")
                             .arg(std::max(g.RowCount() - g.FixedRows, 0))
                             .arg(listedUsers()));
}

void Tuserlist::showAll() {
    if (!filtering_)
        return;
    sg2->grid().MergeRowsFrom(aside_, shownRank_, hiddenRank_);
    shownRank_.clear();
    hiddenRank_.clear();
    filtering_ = false;
}

namespace {

// The data rows of `from` whose `stay` entry is 0 move into `to`, each to
// its place by rank; `fromRanks` and `toRanks` (ascending, one per data row
// of their grid) follow them.
void moveRowsByRank(SortGrid& from, std::vector<int>& fromRanks, const std::vector<char>& stay,
                    SortGrid& to, std::vector<int>& toRanks) {
    std::vector<int> staying, moving;
    staying.reserve(fromRanks.size());
    for (std::size_t i = 0; i < stay.size(); ++i)
        (stay[i] ? staying : moving).push_back(fromRanks[i]);
    SortGrid movers(from.ColCount(), std::max(from.FixedRows, 0));
    movers.FixedRows = from.FixedRows;
    from.PartitionRows(stay, movers);
    std::vector<int> merged;
    merged.reserve(toRanks.size() + moving.size());
    std::merge(toRanks.begin(), toRanks.end(), moving.begin(), moving.end(),
               std::back_inserter(merged));
    to.MergeRowsFrom(movers, toRanks, moving);
    toRanks = std::move(merged);
    fromRanks = std::move(staying);
}

std::vector<int> firstRanks(int n) {
    std::vector<int> r(static_cast<std::size_t>(std::max(n, 0)));
    for (std::size_t i = 0; i < r.size(); ++i)
        r[i] = static_cast<int>(i);
    return r;
}

} // namespace

// The rows the filter hides wait aside, moved, not copied; each row's rank
// is its place in the whole list, so that they come back where they were.
void Tuserlist::applyFilter(FilterChange change) {
    SortGrid& g = sg2->grid();
    if (filter_.empty()) {
        showAll();
        return;
    }
    // One repaint for the whole change, after it: a million rows come and go.
    const QuietGrid quiet(g), quietAside(aside_);
    if (filtering_ && change == FilterChange::Wider) {
        // Only the hidden rows can match a shorter text: those that do come
        // back to their places, and every row shown stays.
        std::vector<char> stay = filter_.matchFlags(aside_);
        for (char& f : stay)
            f = !f;
        moveRowsByRank(aside_, hiddenRank_, stay, g, shownRank_);
        return;
    }
    if (filtering_ && change != FilterChange::Narrower) {
        g.MergeRowsFrom(aside_, shownRank_, hiddenRank_);
        filtering_ = false;
    }
    if (!filtering_) {
        aside_.SetColCount(g.ColCount());
        aside_.FixedRows = g.FixedRows;
        aside_.SetRowCount(std::max(g.FixedRows, 0));
        shownRank_ = firstRanks(g.RowCount() - std::max(g.FixedRows, 0));
        hiddenRank_.clear();
        filtering_ = true;
    }
    // Only the rows shown can match a longer text.
    moveRowsByRank(g, shownRank_, filter_.matchFlags(g), aside_, hiddenRank_);
}

void Tuserlist::filtereditChange() {
    const RowFilter next(utf8ToCp1252(filteredit->text().toStdString()));
    FilterChange change = FilterChange::Any;
    if (filtering_ && next.narrows(filter_))
        change = FilterChange::Narrower;
    else if (filtering_ && filter_.narrows(next))
        change = FilterChange::Wider;
    const int keep = selectedUser();
    SortGrid& g = sg2->grid();
    filter_ = next;
    applyFilter(change);
    showCount();
    sg2->refresh();
    if (!selectUser(keep) && !selectUser(host_.currentUser()) && g.RowCount() > g.FixedRows) {
        g.SetRow(g.FixedRows);
        sg2->refresh();
    }
    rowPicked_ = true; // what is highlighted now is in plain view
}

// A sort while filtered sorts every row, so that the next filter shows the
// order too: the hidden rows join the shown ones for the sort, and a sort
// that fails or is cancelled leaves them in their order as well.
void Tuserlist::beforeHeaderSort() {
    if (!filtering_)
        return;
    keepForSort_ = selectedUser();
    SortGrid& g = sg2->grid();
    const QuietGrid quiet(g), quietAside(aside_);
    showAll();
    refilterAfterSort_ = true;
}

void Tuserlist::afterHeaderSort() {
    if (!refilterAfterSort_)
        return;
    refilterAfterSort_ = false;
    withProgress(listedUsers(), [&](Progress& progress) {
        progress.phase(QStringLiteral("Filtering..."), 100);
        applyFilter(FilterChange::Any);
    });
    showCount();
    sg2->refresh();
    selectUser(keepForSort_);
}

} // namespace zorv
