#include "components/ui/gridview.h"

#include "components/gridexport.h"
#include "platform/clipboard.h"
#include "userfile/codepage.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHelpEvent>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStyledItemDelegate>
#include <QToolTip>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace zorv {

QString cp1252ToQString(std::string_view bytes) {
    static const std::array<QChar, 256> table = [] {
        std::array<QChar, 256> t{};
        for (int b = 0; b < 256; ++b)
            t[b] = QChar(static_cast<char16_t>(cp1252ToUnicode(static_cast<std::uint8_t>(b))));
        return t;
    }();
    QString s(static_cast<qsizetype>(bytes.size()), Qt::Uninitialized);
    QChar* out = s.data();
    for (unsigned char c : bytes)
        *out++ = table[c];
    return s;
}

namespace {

// Colours cross the grid's callbacks as 0x00BBGGRR.
std::uint32_t toBgr(const QColor& c) {
    return static_cast<std::uint32_t>(c.red()) | static_cast<std::uint32_t>(c.green()) << 8 |
           static_cast<std::uint32_t>(c.blue()) << 16;
}
QColor fromBgr(std::uint32_t v) {
    return QColor(static_cast<int>(v & 0xFF), static_cast<int>(v >> 8 & 0xFF),
                  static_cast<int>(v >> 16 & 0xFF));
}

// The cell states handed to OnGetCellColor.
constexpr int kStateSelected = 1, kStateFocused = 2, kStateFixed = 4;

// A 1-pixel line from its start up to, not including, its end point, so that
// the indicator's corners are the exact pixels they are meant to be.
void plotLine(QPainter* p, int x0, int y0, int x1, int y1, const QColor& colour) {
    int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    while (x0 != x1 || y0 != y1) {
        p->fillRect(QRect(x0, y0, 1, 1), colour);
        int e2 = 2 * err;
        if (e2 >= dy) {
            err += dy;
            x0 += sx;
        }
        if (e2 <= dx) {
            err += dx;
            y0 += sy;
        }
    }
}

class CellDelegate : public QStyledItemDelegate {
  public:
    explicit CellDelegate(SortGridView* view) : QStyledItemDelegate(view), view_(view) {}
    void paint(QPainter* p, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const SortGrid& g = view_->grid();
        const int row = index.row() + g.FixedRows;
        const bool selected = option.state & QStyle::State_Selected;
        view_->drawCell(p, option.rect, index.column(), row, selected);
        if (option.state & QStyle::State_HasFocus && view_->hasFocus()) {
            QStyleOptionFocusRect f;
            f.QStyleOption::operator=(option);
            f.backgroundColor = option.palette.color(QPalette::Highlight);
            view_->style()->drawPrimitive(QStyle::PE_FrameFocusRect, &f, p, view_);
        }
    }

  private:
    SortGridView* view_;
};

} // namespace

// Sizing a column measures every text of it, up to a million rows. Shaped
// text is its characters' advances plus what each neighbouring pair gains
// or loses (kerning, rounding); a text whose sum of advances and pair gains
// cannot beat the widest so far is not measured. The widths are exactly
// those of measuring every text.
struct SortGridView::Advances {
    QFont font;
    std::array<double, 256> advance{};
    std::vector<float> pairGain = std::vector<float>(256 * 256, 0.0f); // [first * 256 + second]
    // In sixty-fourths of a pixel, rounded up: integer sums that never fall
    // below the ones above, so most texts are passed over without the pairs.
    std::array<std::int32_t, 256> advanceUp{};
    std::int32_t gainUp = 0;   // the largest pair gain, at least 0
    std::int32_t widestUp = 0; // the largest of advanceUp
};

// --- model ---------------------------------------------------------------

SortGridModel::SortGridModel(SortGrid& grid, QObject* parent)
    : QAbstractTableModel(parent), grid_(grid) {}

int SortGridModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : std::max(0, grid_.RowCount() - grid_.FixedRows);
}

int SortGridModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : grid_.ColCount();
}

QVariant SortGridModel::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid())
        return {};
    const int row = index.row() + grid_.FixedRows;
    if (row >= grid_.RowCount() || index.column() >= grid_.ColCount())
        return {};
    return cp1252ToQString(grid_.Cell(index.column(), row));
}

QVariant SortGridModel::headerData(int section, Qt::Orientation o, int role) const {
    if (role == Qt::ToolTipRole && o == Qt::Horizontal && grid_.SortShow() && grid_.FixedRows > 0 &&
        grid_.RowCount() - grid_.FixedRows >= 2)
        return QStringLiteral("Click a heading to sort by its column, again to reverse the order.\n"
                              "Ctrl+R: the same for the current cell's column.");
    if (role != Qt::DisplayRole || o != Qt::Horizontal || grid_.FixedRows < 1 ||
        section >= grid_.ColCount() || grid_.RowCount() < 1)
        return {};
    return cp1252ToQString(grid_.Cell(section, 0));
}

void SortGridModel::reset() {
    beginResetModel();
    endResetModel();
}

// --- header ----------------------------------------------------------------

SortGridHeader::SortGridHeader(SortGridView* view)
    : QHeaderView(Qt::Horizontal, view), view_(view) {
    // Not clickable: a press must never select a column; the grid decides.
    setSectionsClickable(false);
    setHighlightSections(false);
    setSectionsMovable(false);
    setSectionResizeMode(QHeaderView::Interactive);
    setMinimumSectionSize(0);
}

QSize SortGridHeader::sizeHint() const {
    QSize s = QHeaderView::sizeHint();
    s.setHeight(view_->rowHeight());
    return s;
}

void SortGridHeader::paintSection(QPainter* p, const QRect& rect, int logicalIndex) const {
    const QColor line = QColor::fromRgba(
        static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, nullptr, view_)));
    QRect cell = rect.adjusted(0, 0, -1, -1);
    view_->drawCell(p, cell, logicalIndex, 0, false);
    p->fillRect(QRect(rect.right(), rect.top(), 1, rect.height()), line);
    p->fillRect(QRect(rect.left(), rect.bottom(), rect.width(), 1), line);
}

void SortGridHeader::mousePressEvent(QMouseEvent* e) {
    QHeaderView::mousePressEvent(e); // column resizing only
    if (e->button() == Qt::LeftButton)
        view_->headerPress(e);
}

void SortGridHeader::mouseDoubleClickEvent(QMouseEvent* e) {
    // No resize-to-contents on a handle: sizing is the window's business.
    if (e->button() != Qt::LeftButton)
        return;
    view_->headerPress(e); // the second press of a double click is a press too
    const int col = logicalIndexAt(e->position().toPoint());
    if (view_->grid().OnDblClickCell)
        view_->grid().OnDblClickCell(col < 0 ? -1 : 0, col);
}

// --- view ------------------------------------------------------------------

SortGridView::SortGridView(QWidget* parent) : QTableView(parent) {
    model_ = new SortGridModel(grid_, this);
    header_ = new SortGridHeader(this);
    setHorizontalHeader(header_);
    setModel(model_);
    setItemDelegate(new CellDelegate(this));
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    setSelectionMode(QAbstractItemView::ContiguousSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    viewport()->setMouseTracking(true);

    grid_.Measure = measure();
    grid_.OnChanged = [this] { refresh(); };
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this] { fromQt(); });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] { fromQt(); });
    connect(header_, &QHeaderView::sectionResized, this, [this](int col, int, int size) {
        if (!syncing_ && col < grid_.ColCount())
            grid_.SetColWidth(col, size);
    });
    applyRowHeight();
    refresh();
}

SortGridView::~SortGridView() {
    grid_.OnChanged = nullptr;
    if (window_)
        window_->removeEventFilter(this);
}

int SortGridView::textWidth(std::string_view cp1252) const {
    return fontMetrics().horizontalAdvance(cp1252ToQString(cp1252));
}

SortGrid::TextWidthFn SortGridView::measure() const {
    return [this](std::string_view s) { return textWidth(s); };
}

int SortGridView::rowHeight() const {
    // The text box is one line high and centred; a row smaller than the
    // font would clip it.
    return std::max({15, grid_.DefaultRowHeight, fontMetrics().height() + 3});
}

void SortGridView::applyRowHeight() {
    const int h = rowHeight();
    verticalHeader()->setDefaultSectionSize(h);
    header_->setFixedHeight(h);
}

void SortGridView::changeEvent(QEvent* e) {
    QTableView::changeEvent(e);
    if (e->type() == QEvent::FontChange)
        applyRowHeight();
}

int SortGridView::widthForAllColumns() const {
    long long w = 2LL * frameWidth();
    for (int c = 0; c < grid_.ColCount(); ++c)
        w += std::max(grid_.ColWidth(c), 0);
    const long long rows = std::max(grid_.RowCount() - std::max(grid_.FixedRows, 0), 0);
    const int room = height() - 2 * frameWidth() - header_->height();
    if (verticalScrollBarPolicy() != Qt::ScrollBarAlwaysOff && rows * rowHeight() > room)
        w += verticalScrollBar()->sizeHint().width();
    return static_cast<int>(std::min<long long>(w, 1 << 24));
}

void SortGridView::applyWidths() {
    const int n = std::min(grid_.ColCount(), header_->count());
    for (int c = 0; c < n; ++c)
        if (header_->sectionSize(c) != grid_.ColWidth(c))
            header_->resizeSection(c, grid_.ColWidth(c));
}

void SortGridView::refresh() {
    if (syncing_)
        return;
    syncing_ = true;
    if (grid_.RowCount() != rows_ || grid_.ColCount() != cols_) {
        rows_ = grid_.RowCount();
        cols_ = grid_.ColCount();
        // New columns come at the grid's default width, so that only the
        // sized ones are resized: one resize per column of 200,000 pasted
        // ones would take minutes.
        header_->setDefaultSectionSize(std::max(grid_.DefaultColWidth, 0));
        model_->reset();
        lastSel_ = TGridRect{-1, -1, -1, -1};
        lastCol_ = lastRow_ = -1;
    }
    applyWidths();
    const int fixed = grid_.FixedRows;
    const bool moved = grid_.Col() != lastCol_ || grid_.Row() != lastRow_;
    if (moved) {
        lastCol_ = grid_.Col();
        lastRow_ = grid_.Row();
        const QModelIndex cur = model_->index(lastRow_ - fixed, lastCol_);
        selectionModel()->setCurrentIndex(cur, QItemSelectionModel::NoUpdate);
        if (cur.isValid())
            scrollTo(cur);
        cellBecameCurrent();
    }
    const TGridRect sel = grid_.Selection();
    if (!(sel == lastSel_)) {
        lastSel_ = sel;
        const QModelIndex tl = model_->index(sel.Top - fixed, sel.Left);
        const QModelIndex br = model_->index(sel.Bottom - fixed, sel.Right);
        if (tl.isValid() && br.isValid())
            selectionModel()->select(QItemSelection(tl, br), QItemSelectionModel::ClearAndSelect);
        else
            selectionModel()->clearSelection();
    }
    viewport()->update();
    header_->viewport()->update();
    syncing_ = false;
}

// Qt's current cell and selection moved (mouse, keys): the grid follows.
void SortGridView::fromQt() {
    if (syncing_)
        return;
    const QModelIndex cur = currentIndex();
    if (!cur.isValid())
        return;
    const int fixed = grid_.FixedRows;
    int left = cur.column(), right = left, top = cur.row(), bottom = top;
    const QItemSelection ranges = selectionModel()->selection();
    bool any = false;
    for (const QItemSelectionRange& r : ranges) {
        if (!any) {
            left = r.left(), right = r.right(), top = r.top(), bottom = r.bottom();
            any = true;
        } else {
            left = std::min(left, r.left()), right = std::max(right, r.right());
            top = std::min(top, r.top()), bottom = std::max(bottom, r.bottom());
        }
    }
    syncing_ = true;
    if (!any || (left == right && top == bottom)) {
        grid_.SetCol(cur.column());
        grid_.SetRow(cur.row() + fixed);
    } else {
        grid_.SetSelection(TGridRect{left, top + fixed, right, bottom + fixed});
    }
    syncing_ = false;
    lastSel_ = grid_.Selection();
    if (grid_.Col() != lastCol_ || grid_.Row() != lastRow_) {
        lastCol_ = grid_.Col();
        lastRow_ = grid_.Row();
        cellBecameCurrent();
    }
    viewport()->update();
    if (OnClick)
        OnClick();
}

void SortGridView::cellBecameCurrent() {
    const int c = grid_.Col(), r = grid_.Row();
    const bool inside = c >= 0 && c < grid_.ColCount() && r >= 0 && r < grid_.RowCount();
    savedText_ = inside ? std::string(grid_.Cell(c, r)) : std::string();
    if (inside && grid_.OnCanEditCell) {
        bool canEdit = true;
        grid_.OnCanEditCell(r, c, canEdit);
        inplaceEditing_ = canEdit;
    }
}

QRect SortGridView::cellRect(int col, int row) const {
    if (col < 0 || col >= grid_.ColCount())
        return {};
    const int x = row == 0 ? header_->sectionViewportPosition(col) : columnViewportPosition(col);
    const int w = columnWidth(col) - 1;
    if (row == 0)
        return QRect(x, 0, w, header_->height() - 1);
    const int y = rowViewportPosition(row - grid_.FixedRows);
    return QRect(x, y, w, rowHeight() - 1);
}

QPoint SortGridView::cellAt(const QPoint& pos) const {
    const QModelIndex i = indexAt(pos);
    if (!i.isValid())
        return {-1, -1};
    return {i.column(), i.row() + grid_.FixedRows};
}

// --- drawing ---------------------------------------------------------------

namespace {
bool isSortHeader(const SortGrid& g, int col, int row) {
    return g.SortShow() && row == 0 && col == g.SortColumn();
}
} // namespace

std::string SortGridView::shownText(int col, int row, int width) const {
    if (col < 0 || col >= grid_.ColCount() || row < 0 || row >= grid_.RowCount())
        return {};
    TAlignment align = taLeftJustify;
    if (grid_.OnGetAlignment)
        grid_.OnGetAlignment(row, col, align);
    const bool sortCell = isSortHeader(grid_, col, row);
    const int area = width - 4 - (align == taCenter && sortCell ? 10 : 0);
    return grid_.FitTextToWidth(shownForm(grid_.Cell(col, row)), area - (sortCell ? 14 : 0),
                                measure());
}

std::string SortGridView::shownForm(std::string_view cell) {
    return shownCellText(cell);
}

void SortGridView::drawCell(QPainter* p, const QRect& rect, int col, int row, bool selected) const {
    if (col < 0 || col >= grid_.ColCount() || row < 0 || row >= grid_.RowCount())
        return;
    const bool fixed = row < grid_.FixedRows || col < grid_.FixedCols;
    const QPalette& pal = palette();
    // The fixed row a shade darker than the button face, so that the
    // indicator's white and grey lines show on it.
    QColor brush = fixed      ? pal.color(QPalette::Button).darker(118)
                   : selected ? pal.color(QPalette::Highlight)
                              : pal.color(QPalette::Base);
    QColor ink = fixed      ? pal.color(QPalette::ButtonText)
                 : selected ? pal.color(QPalette::HighlightedText)
                            : pal.color(QPalette::Text);
    if (grid_.OnGetCellColor) {
        int state = (selected ? kStateSelected : 0) | (fixed ? kStateFixed : 0);
        if (col == grid_.Col() && row == grid_.Row() && hasFocus())
            state |= kStateFocused;
        std::uint32_t b = toBgr(brush), f = toBgr(ink);
        grid_.OnGetCellColor(row, col, state, b, f);
        brush = fromBgr(b);
        ink = fromBgr(f);
    }
    TAlignment align = taLeftJustify;
    if (grid_.OnGetAlignment)
        grid_.OnGetAlignment(row, col, align);
    p->fillRect(rect, brush);

    const bool sortCell = isSortHeader(grid_, col, row);
    const bool indicator =
        sortCell && grid_.FixedRows > 0 && (col >= grid_.FixedCols || grid_.SortFixedCols);
    const QFontMetrics fm = fontMetrics();
    const int h = fm.height();
    const int cellBottom = rect.top() + rect.height(); // one past the last pixel
    QRect area(rect.left() + 2, rect.top(), rect.width() - 4, rect.height());
    if (align == taCenter && sortCell)
        area.setLeft(area.left() + 10);
    const int hAlign = align == taRightJustify ? Qt::AlignRight
                       : align == taCenter     ? Qt::AlignHCenter
                                               : Qt::AlignLeft;
    // No mnemonics: an address "AT&T" is drawn as it is (shownForm made
    // "&&" one "&" already).
    const int flags = hAlign | Qt::AlignTop | Qt::TextSingleLine | Qt::TextExpandTabs;
    const SortGrid::TextWidthFn m = measure();
    const std::string_view text = grid_.Cell(col, row);
    p->save();
    p->setPen(ink);
    p->setFont(font());
    std::string drawn;
    if (grid_.Multilinecells && text.find('\r') != std::string_view::npos) {
        int top = rect.top() + 2;
        std::size_t start = 0;
        while (start <= text.size()) {
            std::size_t cr = text.find('\r', start);
            std::string_view line = text.substr(
                start, cr == std::string_view::npos ? std::string_view::npos : cr - start);
            QRect box(area.left(), top, area.width(), h);
            p->setClipRect(box.intersected(rect));
            p->drawText(box, flags,
                        cp1252ToQString(grid_.FitTextToWidth(shownForm(line), area.width(), m)));
            if (cr == std::string_view::npos)
                break;
            start = cr + 1;
            if (start < text.size() && text[start] == '\n')
                ++start;
            top += h + 2;
        }
        drawn = shownForm(text.substr(0, text.find('\r')));
    } else {
        const int boxTop = (rect.top() + cellBottom - h) / 2;
        drawn = grid_.FitTextToWidth(shownForm(text), area.width() - (sortCell ? 14 : 0), m);
        QRect box(area.left(), boxTop, area.width(), h);
        p->setClipRect(box.intersected(rect));
        p->drawText(box, flags, cp1252ToQString(drawn));
    }
    p->restore();
    if (indicator)
        drawIndicator(p, rect, textWidth(drawn), align);
}

void SortGridView::drawIndicator(QPainter* p, const QRect& cell, int tw, TAlignment a) const {
    const int right = cell.left() + cell.width();
    const int x = a == taRightJustify ? right - tw - 14
                  : a == taCenter     ? cell.left() + 8
                                      : cell.left() + tw + 10;
    const int y = cell.top() + cell.height() / 2;
    const QColor white(255, 255, 255), grey(128, 128, 128);
    p->save();
    p->setClipRect(cell);
    if (grid_.SortDirection == sdAscending) {
        plotLine(p, x - 4, y + 4, x + 4, y + 4, white);
        plotLine(p, x + 4, y + 4, x, y - 4, white);
        plotLine(p, x, y - 4, x - 4, y + 4, grey);
    } else {
        plotLine(p, x + 4, y - 4, x, y + 4, white);
        plotLine(p, x, y + 4, x - 4, y - 4, grey);
        plotLine(p, x - 4, y - 4, x + 4, y - 4, grey);
    }
    p->restore();
}

// --- presses -----------------------------------------------------------------

void SortGridView::reportError(const std::exception& e) {
    if (!OnError)
        throw;
    OnError(e.what());
}

void SortGridView::press(int col, int row, int x, int left, int right) {
    if (grid_.OnClickCell)
        grid_.OnClickCell(row, col);
    if (col < 0 || row < 0)
        return;
    sortPress(col, row, x - left < 4 || right - x < 4);
}

bool SortGridView::sortPress(int col, int row, bool nearBorder) {
    bool sorted = false;
    // A million rows take a moment to sort: the cursor says so.
    const bool busy = row == 0 && !nearBorder;
    if (busy && BeforeHeaderSort)
        BeforeHeaderSort();
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    try {
        sorted = grid_.HeaderPress(col, row, nearBorder);
        if (busy)
            QApplication::restoreOverrideCursor();
    } catch (const std::exception& e) {
        if (busy)
            QApplication::restoreOverrideCursor();
        refresh();
        header_->viewport()->update();
        try {
            reportError(e);
        } catch (...) {
            if (busy && AfterHeaderSort)
                AfterHeaderSort();
            throw;
        }
        if (busy && AfterHeaderSort)
            AfterHeaderSort();
        return false;
    }
    if (sorted) {
        refresh();
        header_->viewport()->update();
    }
    if (busy && AfterHeaderSort)
        AfterHeaderSort();
    return sorted;
}

void SortGridView::sortByCurrentColumn() {
    const int col = grid_.Col();
    if (col < 0 || col >= grid_.ColCount())
        return;
    // The current row stays with its data; a key must not lose it from view.
    if (sortPress(col, 0, false) && currentIndex().isValid())
        scrollTo(currentIndex());
}

void SortGridView::popupAtCurrentCell() {
    QPoint at(0, 0);
    const QModelIndex cur = currentIndex();
    if (cur.isValid()) {
        scrollTo(cur);
        // Below the cell's left end: the menu leaves its row in sight.
        const QRect r = visualRect(cur);
        at = viewport()->mapTo(this, QPoint(r.left() + std::min(r.width() / 2, 8), r.bottom()));
    } else {
        at = viewport()->mapTo(this, QPoint(0, 0));
    }
    QContextMenuEvent ev(QContextMenuEvent::Keyboard, at, mapToGlobal(at),
                         QApplication::keyboardModifiers());
    ownContextMenu_ = true;
    QCoreApplication::sendEvent(this, &ev);
    ownContextMenu_ = false;
}

bool SortGridView::event(QEvent* e) {
    // The Menu key's context-menu event stands wherever the platform put it;
    // it opens the menu at the current cell instead, and only once.
    if (e->type() == QEvent::ContextMenu && !ownContextMenu_ &&
        static_cast<QContextMenuEvent*>(e)->reason() == QContextMenuEvent::Keyboard) {
        e->accept();
        popupAtCurrentCell();
        return true;
    }
    return QTableView::event(e);
}

void SortGridView::headerPress(QMouseEvent* e) {
    const int x = e->position().toPoint().x();
    const int col = header_->logicalIndexAt(x);
    if (col < 0 || col >= grid_.ColCount() || grid_.FixedRows < 1) {
        press(-1, -1, x, 0, 0);
        return;
    }
    const int left = header_->sectionViewportPosition(col);
    press(col, 0, x, left, left + header_->sectionSize(col));
}

void SortGridView::mousePressEvent(QMouseEvent* e) {
    QTableView::mousePressEvent(e);
    if (e->button() != Qt::LeftButton)
        return;
    const QPoint pos = e->position().toPoint();
    const QPoint cell = cellAt(pos);
    if (cell.x() < 0) {
        press(-1, -1, pos.x(), 0, 0);
        return;
    }
    const int left = columnViewportPosition(cell.x());
    press(cell.x(), cell.y(), pos.x(), left, left + columnWidth(cell.x()));
}

void SortGridView::mouseDoubleClickEvent(QMouseEvent* e) {
    QTableView::mouseDoubleClickEvent(e);
    if (e->button() != Qt::LeftButton)
        return;
    const QPoint pos = e->position().toPoint();
    const QPoint cell = cellAt(pos);
    if (cell.x() >= 0) {
        const int left = columnViewportPosition(cell.x());
        press(cell.x(), cell.y(), pos.x(), left, left + columnWidth(cell.x()));
    } else {
        press(-1, -1, pos.x(), 0, 0);
    }
    if (grid_.OnDblClickCell)
        grid_.OnDblClickCell(cell.y(), cell.x());
}

// --- hints -------------------------------------------------------------------

bool SortGridView::viewportEvent(QEvent* e) {
    if (e->type() == QEvent::ToolTip) {
        auto* he = static_cast<QHelpEvent*>(e);
        const QPoint cell = cellAt(he->pos());
        lastHint_ = cell;
        std::string hint = utf8ToCp1252(toolTip().toStdString());
        if (cell.x() >= 0 && grid_.OnGridHint)
            grid_.OnGridHint(cell.y(), cell.x(), hint);
        if (hint.empty() || cell.x() < 0) {
            QToolTip::hideText();
            return true;
        }
        const QRect r = cellRect(cell.x(), cell.y());
        const QPalette old = QToolTip::palette();
        QPalette pal = old;
        pal.setColor(QPalette::ToolTipBase, fromBgr(grid_.HintColor));
        QToolTip::setPalette(pal);
        QToolTip::showText(viewport()->mapToGlobal(QPoint(r.left(), r.bottom() + 1 + 6)),
                           cp1252ToQString(hint), viewport(), r);
        QToolTip::setPalette(old);
        return true;
    }
    return QTableView::viewportEvent(e);
}

void SortGridView::mouseMoveEvent(QMouseEvent* e) {
    if (lastHint_.x() >= 0 || lastHint_.y() >= 0) {
        if (cellAt(e->position().toPoint()) != lastHint_) {
            QToolTip::hideText();
            lastHint_ = QPoint(-1, -1);
        }
    }
    QTableView::mouseMoveEvent(e);
}

// --- keys ----------------------------------------------------------------------

bool SortGridView::clipboardKey(QKeyEvent* e) {
    const auto mods = e->modifiers() & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier |
                                        Qt::MetaModifier);
    enum { None, Cut, Copy, Paste } op = None;
    if (mods == Qt::ControlModifier) {
        if (e->key() == Qt::Key_X)
            op = Cut;
        else if (e->key() == Qt::Key_V)
            op = Paste;
        else if (e->key() == Qt::Key_C || e->key() == Qt::Key_Insert)
            op = Copy;
    } else if (mods == Qt::ShiftModifier) {
        if (e->key() == Qt::Key_Insert)
            op = Paste;
        else if (e->key() == Qt::Key_Delete)
            op = Cut;
    }
    if (op == None)
        return false;
    // Qt's own Copy (the current cell's text) never runs: with the
    // shortcuts off these keys belong to the window.
    if (!grid_.Navigation.AllowClipboardShortCuts) {
        e->ignore();
        return true;
    }
    e->accept();
    if (op == Copy) {
        setClipboardText(selectionText(grid_));
    } else if (op == Cut) {
        setClipboardText(cutSelection(grid_));
    } else if (auto text = clipboardText()) {
        pasteText(grid_, *text, grid_.Col(), grid_.Row());
    }
    refresh();
    return true;
}

// Typed-ahead: what is typed within a second of the previous key extends
// the prefix; the first row of the key column that begins with it becomes
// current, in the middle of the view.
void SortGridView::letterJump(QKeyEvent* e) {
    if (inplaceEditing_ || e->modifiers() & (Qt::ControlModifier | Qt::AltModifier))
        return;
    const QString t = e->text();
    if (t.size() != 1 || !t[0].isPrint())
        return;
    const int byte = unicodeToCp1252(t[0].unicode());
    if (!typedAt_.isValid() || typedAt_.elapsed() > timing_.letterJumpMs)
        typed_.clear();
    if (byte < 0 || (byte == ' ' && typed_.empty()))
        return;
    typedAt_.start();
    typed_ += static_cast<char>(byte);
    e->accept();
    const int row = grid_.FindRowByTypedPrefix(typed_);
    if (row >= grid_.FixedRows) {
        grid_.SetRow(row);
        refresh();
        scrollTo(model_->index(row - grid_.FixedRows, std::max(grid_.Col(), 0)),
                 QAbstractItemView::PositionAtCenter);
        if (OnClick)
            OnClick();
    }
}

void SortGridView::keyPressEvent(QKeyEvent* e) {
    const auto mods = e->modifiers();
    const auto only =
        mods & (Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::MetaModifier);
    if (e->key() == Qt::Key_F10 && only == Qt::ShiftModifier) {
        e->accept();
        popupAtCurrentCell();
        return;
    }
    if (e->key() == Qt::Key_R && only == Qt::ControlModifier) {
        e->accept();
        sortByCurrentColumn();
        return;
    }
    if (clipboardKey(e))
        return;
    const bool ctrl = mods & Qt::ControlModifier, shift = mods & Qt::ShiftModifier;
    if (e->key() == Qt::Key_Escape) {
        // Puts back what the cell held when it became current; the window
        // still sees the key (Escape closes it).
        const int c = grid_.Col(), r = grid_.Row();
        if (c >= 0 && c < grid_.ColCount() && r >= grid_.FixedRows && r < grid_.RowCount())
            grid_.SetCell(c, r, savedText_);
        refresh();
        e->ignore();
        return;
    }
    if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) &&
        grid_.Navigation.AdvanceOnEnter) {
        e->accept();
        const int c = grid_.Col(), r = grid_.Row();
        if (c < grid_.ColCount() - 1) {
            grid_.SetCol(c + 1);
        } else if (r < grid_.RowCount() - 1) {
            grid_.SetCol(grid_.FixedCols);
            grid_.SetRow(r + 1);
        } else if (grid_.Navigation.AdvanceInsert) {
            grid_.SetRowCount(grid_.RowCount() + 1);
            grid_.SetCol(grid_.FixedCols);
            grid_.SetRow(grid_.RowCount() - 1);
            if (grid_.OnAutoInsertRow)
                grid_.OnAutoInsertRow(grid_.RowCount() - 1);
        }
        refresh();
        return;
    }
    QTableView::keyPressEvent(e);
    if (e->key() == Qt::Key_Insert && !ctrl && !shift && grid_.Navigation.AllowInsertRow) {
        e->accept();
        grid_.InsertRowsAt(grid_.Row(), 1);
        if (grid_.OnAutoInsertRow)
            grid_.OnAutoInsertRow(grid_.Row());
        refresh();
    } else if (e->key() == Qt::Key_Delete && grid_.Navigation.AllowDeleteRow) {
        e->accept();
        if (grid_.RowCount() - grid_.FixedRows == 1)
            grid_.ClearRowsAt(grid_.Row(), 1);
        else if (grid_.RowCount() - grid_.FixedRows > 1)
            grid_.DeleteRowsAt(grid_.Row(), 1);
        if (grid_.OnAutoDeleteRow)
            grid_.OnAutoDeleteRow(grid_.Row());
        refresh();
    } else {
        letterJump(e);
    }
}

// --- sizing ----------------------------------------------------------------------

const SortGridView::Advances& SortGridView::advances() const {
    if (!advances_ || advances_->font != font()) {
        auto a = std::make_unique<Advances>();
        a->font = font();
        const QFontMetricsF fm(font());
        std::array<QString, 256> ch;
        for (int b = 0; b < 256; ++b) {
            const char byte = static_cast<char>(b);
            ch[b] = cp1252ToQString(std::string_view(&byte, 1));
            a->advance[b] = fm.horizontalAdvance(ch[b]);
            a->advanceUp[b] = static_cast<std::int32_t>(std::ceil(a->advance[b] * 64));
            a->widestUp = std::max(a->widestUp, a->advanceUp[b]);
        }
        float most = 0;
        for (int x = 0; x < 256; ++x)
            for (int y = 0; y < 256; ++y) {
                const float g = static_cast<float>(fm.horizontalAdvance(ch[x] + ch[y]) -
                                                   a->advance[x] - a->advance[y]);
                a->pairGain[x * 256 + y] = g;
                most = std::max(most, g);
            }
        a->gainUp = static_cast<std::int32_t>(std::ceil(most * 64));
        advances_ = std::move(a);
    }
    return *advances_;
}

// Row by row, every asked column at once: after a sort the rows lie all
// over memory, and one visit per row is what keeps this quick.
std::vector<int> SortGridView::widestTexts(int first, int last) const {
    const Advances& a = advances();
    std::vector<int> widest(static_cast<std::size_t>(std::max(last - first + 1, 0)), 0);
    // A million rows take a while: the window may show its progress box.
    const std::int64_t total = grid_.RowCount();
    QElapsedTimer since;
    since.start();
    qint64 told = 0;
    if (grid_.OnProgress)
        grid_.OnProgress(0, total);
    std::vector<std::string_view> cells;
    for (int r = 0; r < grid_.RowCount(); ++r) {
        if ((r & 0x3FFF) == 0 && grid_.OnProgress && since.elapsed() - told >= 50) {
            told = since.elapsed();
            grid_.OnProgress(r, total);
        }
        grid_.PrefetchRow(r + 16);
        grid_.RowTexts(r, cells);
        for (int c = first; c <= last; ++c) {
            const std::string_view t = cells[static_cast<std::size_t>(c)];
            if (t.empty())
                continue;
            int& w = widest[static_cast<std::size_t>(c - first)];
            std::int64_t up = static_cast<std::int64_t>(t.size() - 1) * a.gainUp;
            // Not even as many of the widest characters beat it: no need to add them up.
            if (up + static_cast<std::int64_t>(t.size()) * a.widestUp + 32 + 2 <
                64 * (static_cast<std::int64_t>(w) + 1))
                continue;
            for (unsigned char ch : t)
                up += a.advanceUp[ch];
            // Rounded as below, with another sixty-fourth to spare.
            if (up + 32 + 2 < 64 * (static_cast<std::int64_t>(w) + 1))
                continue;
            double bound = 0;
            unsigned prev = 256;
            for (unsigned char ch : t) {
                bound += a.advance[ch];
                if (prev < 256)
                    bound += a.pairGain[prev * 256 + ch];
                prev = ch;
            }
            // The measure rounds the same sum to whole pixels; a sixty-fourth
            // of a pixel covers the float sums' own error. Ties are not measured.
            if (std::floor(bound + 0.5 + 1.0 / 64) <= w)
                continue;
            w = std::max(w, textWidth(t));
        }
    }
    if (grid_.OnProgress)
        grid_.OnProgress(total, total);
    return widest;
}

// A header sized to its text alone would lose its last letters to "..."
// as soon as its column is sorted: it gets the indicator's room too.
int SortGridView::fittedWidth(int col, int widest) const {
    int w = widest + textWidth("x");
    if (grid_.SortShow() && grid_.FixedRows > 0 && grid_.RowCount() > 0) {
        const std::string_view header = grid_.Cell(col, 0);
        if (!header.empty())
            w = std::max(w, textWidth(header) + 4 + 14 + 1);
    }
    return w;
}

void SortGridView::SizeColumnToText(int col) {
    if (col < 0 || col >= grid_.ColCount())
        return;
    grid_.SetColWidth(col, fittedWidth(col, widestTexts(col, col)[0]));
    applyWidths();
}

void SortGridView::SizeColumnsToText(int extra) {
    const int first = std::max(grid_.FixedCols, 0);
    const std::vector<int> widest = widestTexts(first, grid_.ColCount() - 1);
    for (int c = first; c < grid_.ColCount(); ++c)
        grid_.SetColWidth(c, fittedWidth(c, widest[static_cast<std::size_t>(c - first)]) + extra);
    applyWidths();
}

void SortGridView::SetAutoSize(bool on) {
    // The model would measure every text; the flag is all it needs to keep.
    SortGrid::TextWidthFn keep = std::move(grid_.Measure);
    grid_.Measure = nullptr;
    grid_.SetAutoSize(on);
    grid_.Measure = std::move(keep);
    if (on)
        SizeColumnsToText(10);
}

void SortGridView::rememberWindowSize() {
    QWidget* w = window();
    if (w == this)
        return;
    if (window_ != w) {
        if (window_)
            window_->removeEventFilter(this);
        window_ = w;
        window_->installEventFilter(this);
    }
    windowSize_ = window_->size();
}

bool SortGridView::eventFilter(QObject* watched, QEvent* e) {
    if (watched == window_ && e->type() == QEvent::Resize)
        windowResized();
    return QTableView::eventFilter(watched, e);
}

// The grid keeps its distances to the window's edges; a size that would
// leave it no room is skipped and the difference keeps counting.
void SortGridView::windowResized() {
    if (!grid_.SizeWithForm || !window_)
        return;
    const QSize now = window_->size();
    const int w = width() + now.width() - windowSize_.width();
    const int h = height() + now.height() - windowSize_.height();
    if (w > 0 && h > 0) {
        resize(w, h);
        windowSize_ = now;
    }
}

} // namespace zorv
