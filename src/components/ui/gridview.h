#pragma once
// The report windows' grid on screen: a QTableView over the core SortGrid.
// The grid is the one truth for cells, current cell, selection and sorting;
// the view draws it, hands presses and keys to it and keeps Qt's own habits
// (column selection on a header press, keyboard search, Copy) out of the way.
// Only row 0 is fixed (it is drawn as the header); there is no fixed column.

#include "components/sortgrid.h"

#include <QAbstractTableModel>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QSize>
#include <QTableView>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace zorv {

// cp1252 bytes to a QString, one character per byte.
QString cp1252ToQString(std::string_view bytes);

class SortGridView;

// The data rows of a SortGrid as a table model; row 0 of the grid is the
// header. No object per cell: every call reads the grid.
class SortGridModel : public QAbstractTableModel {
  public:
    SortGridModel(SortGrid& grid, QObject* parent);
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;
    // Tells the view about a new shape (rows or columns).
    void reset();

  private:
    SortGrid& grid_;
};

class SortGridHeader : public QHeaderView {
  public:
    explicit SortGridHeader(SortGridView* view);
    QSize sizeHint() const override;

  protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;

  private:
    SortGridView* view_;
};

class SortGridView : public QTableView {
  public:
    explicit SortGridView(QWidget* parent = nullptr);
    ~SortGridView() override;

    SortGrid& grid() { return grid_; }
    const SortGrid& grid() const { return grid_; }

    // Brings the view up to date with the grid: shape, widths, current cell,
    // selection. The grid's OnChanged calls it; call it after changing the
    // grid in ways it does not announce (column widths, properties).
    void refresh();

    // Sorts by the current cell's column as a press on its header does (the
    // same checks, callbacks and error handling); again on the same column,
    // the other way round. Ctrl+R; the windows' popup menus call it too.
    void sortByCurrentColumn();
    // Opens the popup menu at the current cell, through the context-menu
    // event a window handles (Shift+F10 and the Menu key).
    void popupAtCurrentCell();

    // Where errors of a header-press sort go; unset, they propagate to the
    // application's error box.
    std::function<void(const char* message)> OnError;
    // Called after the current cell or selection changed by mouse or key (the
    // windows' plain click handler).
    std::function<void()> OnClick;
    // Around a header press or sortByCurrentColumn that may sort: before the
    // grid's rule runs, and after it sorted, declined or failed (OnError first).
    std::function<void()> BeforeHeaderSort;
    std::function<void()> AfterHeaderSort;

    // Text width in the grid's font, as the model's measures want it.
    int textWidth(std::string_view cp1252) const;
    SortGrid::TextWidthFn measure() const;
    // Row height: at least 15 pixels and never less than the font needs.
    int rowHeight() const;
    // The width that shows every column whole at the view's present height:
    // frame, columns and the vertical scroll bar when the rows need one.
    int widthForAllColumns() const;

    // Column sizing in the grid's font; widths go to the view at once. It
    // reads every row, telling grid().OnProgress as a sort does.
    void SizeColumnToText(int col);
    void SizeColumnsToText(int extra);
    void SetAutoSize(bool on);

    // SizeWithForm: the window size the resize rule last applied. Windows
    // call rememberWindowSize() once they have their design size.
    void rememberWindowSize();
    QSize rememberedWindowSize() const { return windowSize_; }

    // The saved text of the current cell (what Escape writes back).
    const std::string& savedText() const { return savedText_; }
    // The last hint cell, (-1, -1) when none.
    QPoint lastHintCell() const { return lastHint_; }

    // The pixel rectangle of cell (col, row) in viewport coordinates for data
    // rows and header coordinates for row 0; the width excludes the grid line.
    QRect cellRect(int col, int row) const;
    // Cell under a viewport point: (col, row) or (-1, -1).
    QPoint cellAt(const QPoint& viewportPos) const;

    // A cell's text as the screen shows it: "&&" is one "&", a single "&"
    // stays itself (cells are never mnemonics). The stored bytes keep both.
    static std::string shownForm(std::string_view cell);
    // The single-line text drawn in a cell `width` pixels wide: shownForm,
    // shortened, with room for the indicator in the sorted column's header.
    std::string shownText(int col, int row, int width) const;
    // Draws one cell's text, the indicator included, into `rect`.
    void drawCell(QPainter* p, const QRect& rect, int col, int row, bool selected) const;

    // For tests: how far apart typed keys may come and still extend one
    // prefix of the letter jump.
    struct Timing {
        int letterJumpMs = 1000;
    };
    void setTiming(const Timing& t) { timing_ = t; }

  protected:
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    bool viewportEvent(QEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;
    void keyboardSearch(const QString&) override {} // the letter jump replaces it
    void changeEvent(QEvent* e) override;
    bool event(QEvent* e) override;

  private:
    friend class SortGridHeader;
    void headerPress(QMouseEvent* e);
    void press(int col, int row, int x, int left, int right);
    bool sortPress(int col, int row, bool nearBorder);
    void fromQt();
    void applyRowHeight();
    void applyWidths();
    void cellBecameCurrent();
    bool clipboardKey(QKeyEvent* e);
    void letterJump(QKeyEvent* e);
    void drawIndicator(QPainter* p, const QRect& cell, int textWidth, TAlignment a) const;
    void windowResized();
    void reportError(const std::exception& e);

    struct Advances;
    const Advances& advances() const;
    std::vector<int> widestTexts(int first, int last) const;
    int fittedWidth(int col, int widest) const;

    SortGrid grid_;
    mutable std::unique_ptr<Advances> advances_;
    SortGridModel* model_;
    SortGridHeader* header_;
    bool syncing_ = false;
    int rows_ = -1, cols_ = -1;
    int lastCol_ = -1, lastRow_ = -1;
    TGridRect lastSel_{-1, -1, -1, -1};
    std::string savedText_;
    bool inplaceEditing_ = false;
    QPoint lastHint_{-1, -1};
    std::string typed_; // the letter jump's prefix, typed within a second
    QElapsedTimer typedAt_;
    Timing timing_;
    bool ownContextMenu_ = false;
    QWidget* window_ = nullptr;
    QSize windowSize_;
};

} // namespace zorv
