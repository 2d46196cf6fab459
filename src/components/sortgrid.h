#pragma once
// The report windows' string grid, without a window: cells, the current cell
// and selection, comparison styles, sorting, typed cells and row operations.
// Cells are single-byte (cp1252) texts. The Qt view in components/ui/ draws
// it; the exports in components/gridexport.h write it.

#include "components/datepattern.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace zorv {

enum TSortStyle : int { ssText = 1, ssNumber = 2, ssDateTime = 3 };
enum TSortDirection : int { sdAscending = 0, sdDescending = 1 };
enum TAlignment : int { taLeftJustify = 0, taRightJustify = 1, taCenter = 2 };

// "Cell does not contain integer value"
class ESortGridError : public std::runtime_error {
  public:
    explicit ESortGridError(const std::string& text) : std::runtime_error(text) {}
};

// "Floating point overflow" and "'%s' is not a valid date and time"
class SortCompareError : public std::runtime_error {
  public:
    explicit SortCompareError(const std::string& text) : std::runtime_error(text) {}
};

struct TGridRect {
    int Left = 0, Top = 0, Right = 0, Bottom = 0;
    friend bool operator==(const TGridRect&, const TGridRect&) = default;
};

struct TNavigation {
    bool AllowInsertRow = false;
    bool AllowDeleteRow = false;
    bool AdvanceOnEnter = false;
    bool AdvanceInsert = false;
    bool AllowClipboardShortCuts = false;
};

struct TColumnSize {
    bool Save = false;
    std::string Key;     // below the current user's root
    std::string Section; // sub-key
};

enum TPrintPosition : int {
    ppNone,
    ppTopLeft,
    ppTopRight,
    ppTopCenter,
    ppBottomLeft,
    ppBottomRight,
    ppBottomCenter
};
enum TPrintBorders : int { pbNone, pbSingle, pbDouble };

// Stored with the grid; nothing prints.
struct TPrintsettings {
    int FooterSize = 0, HeaderSize = 0, LeftSize = 0, RightSize = 0, ColumnSpacing = 0;
    TPrintPosition Time = ppNone, Date = ppNone, PageNr = ppNone, Title = ppNone;
    std::string TitleText;
    std::string Font;
    TPrintBorders Borders = pbNone;
    bool Centered = false, RepeatHeaders = false;
};

class SortGrid {
  public:
    // The rows' storage, opaque outside the grid.
    class RowData;
    class RowMaker;

    SortGrid(int colCount = 5, int rowCount = 5);
    SortGrid(const SortGrid&) = delete;
    SortGrid& operator=(const SortGrid&) = delete;
    ~SortGrid();

    // --- cells and shape ---------------------------------------------------
    int RowCount() const;
    void SetRowCount(int n); // new rows are empty; current row and selection clamp
    int ColCount() const;
    void SetColCount(int n);
    int FixedRows = 1;
    int FixedCols = 0;

    std::string_view Cell(int col, int row) const; // valid until the grid changes
    // Every cell of `row` (ColCount() of them) in one walk along it.
    void RowTexts(int row, std::vector<std::string_view>& out) const;
    // Whether match(text) holds for a cell of `row`: one walk along the row
    // that stops at the first such cell.
    template <class Match> bool AnyCell(int row, const Match& match) const {
        return anyCell(row, &match, [](const void* m, std::string_view text) {
            return (*static_cast<const Match*>(m))(text);
        });
    }
    void SetCell(int col, int row, std::string_view text);
    void CopyRow(int from, int to); // every cell of row `from` onto row `to`
    // A hint that `row` is read soon: after a sort, rows lie scattered in
    // memory, and a pass in grid order waits on each one otherwise.
    void PrefetchRow(int row) const noexcept;
    // Replaces every data row at once: rows[i] becomes row FixedRows + i,
    // each a vector of ColCount() cells. RowCount becomes FixedRows + rows.
    void SetDataRows(std::vector<std::vector<std::string>>&& rows);
    // Replaces every cell of `row` with `cells` (missing ones empty), for
    // builders that fill a million rows: the row is written once, after the
    // row made before it.
    void SetRowCells(int row, const std::vector<std::string>& cells);
    // Cells (col, row), (col + 1, row), ... become `texts`, in one pass over
    // the row however many cells it has; the columns must exist.
    void SetCells(int col, int row, const std::vector<std::string_view>& texts);
    void ReserveRows(int n);
    // Moves, without copying, the data rows whose `keep` entry (one per data
    // row) is 0 to the end of `rest`, in their order; the others stay, in
    // theirs. Both grids have the same column count.
    void PartitionRows(const std::vector<char>& keep, SortGrid& rest);
    // Moves every data row of `other` in among this grid's, merged by rank:
    // `ranks` holds one per data row of this grid, `otherRanks` one per data
    // row of `other`, each ascending. `other` keeps only its fixed rows.
    void MergeRowsFrom(SortGrid& other, const std::vector<int>& ranks,
                       const std::vector<int>& otherRanks);
    // Bytes the cells and their bookkeeping take on the heap (an estimate of
    // the allocator's blocks), for the memory benchmark.
    std::size_t MemoryBytes() const;

    // --- current cell, selection ------------------------------------------
    int Col() const;
    int Row() const;
    void SetCol(int c); // collapses the selection to the current cell
    void SetRow(int r); // likewise
    TGridRect Selection() const;
    void SetSelection(TGridRect r); // the current cell moves to (Left, Top)

    // --- column widths (pixels; the view measures) ------------------------
    int DefaultColWidth = 64;
    int DefaultRowHeight = 24;
    int ColWidth(int col) const;
    void SetColWidth(int col, int width);

    // --- published properties ---------------------------------------------
    bool AutoSize() const { return autoSize_; }
    void SetAutoSize(bool on); // true: SizeColumnsToText(10) with Measure, when set
    bool EnhTextSize = false;
    bool SortFixedCols = false;
    bool SizeWithForm = false;
    bool Multilinecells = false;
    TSortDirection SortDirection = sdAscending;
    bool SortShow() const { return sortShow_; }
    void SetSortShow(bool on);
    int SortColumn() const { return sortColumn_; }
    void SetSortColumn(int col);        // does not sort
    std::uint32_t HintColor = 0x00FFFF; // clYellow (red in the lowest byte)
    TPrintsettings PrintSettings;
    TNavigation Navigation;
    TColumnSize ColumnSize; // kept by reports/columnwidths.h
    // The pattern of SetCellDate and of ssDateTime comparisons.
    DatePattern DateFormat;

    // --- callbacks (all optional) ------------------------------------------
    std::function<void(int col, TSortStyle& style)> OnGetFormat;
    std::function<void(int row, int col, TAlignment& alignment)> OnGetAlignment;
    // Colours as 0x00BBGGRR; a callback that leaves a colour alone keeps it.
    std::function<void(int row, int col, int state, std::uint32_t& brush, std::uint32_t& font)>
        OnGetCellColor;
    std::function<void(int col)> OnClickSort;
    std::function<void(int col, bool& dosort)> OnCanSort;
    std::function<void(int row, int col)> OnClickCell;
    std::function<void(int row, int col)> OnDblClickCell;
    std::function<void(int row, int col, bool& canedit)> OnCanEditCell;
    std::function<void(int row)> OnAutoInsertRow;
    std::function<void(int row)> OnAutoDeleteRow;
    std::function<void(int row, int col, std::string& hint)> OnGridHint;
    std::function<void()> OnPrintPage; // never fired
    // Told after any change of cells, shape, current cell or selection, so
    // that a view can refresh.
    std::function<void()> OnChanged;
    // Steps that can take seconds at a million rows (SortRows here, column
    // sizing in the view) call OnProgress now and then on the calling
    // thread: `done` units of `total`, first 0, last `total`. A window can
    // show a progress box once a step outlasts half a second and let events
    // through meanwhile; a sort has moved no row yet, so painting is safe,
    // but the handler must not change the grid. An error it raises ends the
    // step as a sort error does.
    std::function<void(std::int64_t done, std::int64_t total)> OnProgress;

    // A run of changes with one OnChanged at its end (pastes, bulk fills).
    // Calls nest; the outermost EndUpdate tells OnChanged when anything
    // changed.
    void BeginUpdate();
    void EndUpdate();

    // --- sorting -------------------------------------------------------------
    // The header-press rule without pixels: c, r of the pressed cell, with
    // `nearBorder` true for a press within 4 pixels of the cell's left or
    // right edge. Returns whether it sorted. Errors of SortRows propagate.
    // OnClickCell is the view's to call: it fires for every press.
    bool HeaderPress(int col, int row, bool nearBorder);
    // Sorts the data rows by SortColumn and SortDirection, all or nothing:
    // on an error every row stays where it was and the error propagates.
    // A call made from OnProgress while a sort runs is ignored.
    void SortRows();
    // Threads a sort may use; the order of the rows (and the error a bad cell
    // raises) is the same with one as with more.
    int SortThreads = 2;
    bool Sorting() const { return sorting_; }
    // Puts the data rows `rows` (no repeats) back in order by SortColumn and
    // SortDirection among the others, which must stand in that order already:
    // a sort of a few changed rows without a sort of all. Rows that tie keep
    // their previous relative order. Returns each entry's new row. Calls
    // OnProgress as SortRows does; on an error no row moves. The current row
    // stays with its data and the selection collapses to it.
    std::vector<int> ResortRows(const std::vector<int>& rows);
    // +1, 0 or -1 as the ascending order of rows a and b on column `col`,
    // with the tie-break on the following columns.
    int CompareRows(int col, int a, int b) const;

    // --- typed cells ---------------------------------------------------------
    std::int32_t GetCellInt(int col, int row) const; // ESortGridError
    void SetCellInt(int col, int row, std::int32_t value);
    void SetCellDate(int col, int row, CivilDate date);

    // --- row operations and lookups -----------------------------------------
    int FindRowByPrefix(std::string_view prefix) const; // -1 when not found
    // Typed-ahead search: the same key column and scan, but a-z and the
    // Nordic letters match in either case (the Find tab's upper-casing).
    int FindRowByTypedPrefix(std::string_view prefix) const;
    void InsertRowsAt(int row, int n);
    void DeleteRowsAt(int row, int n);
    void ClearRowsAt(int row, int n);

    // --- text fitting and column sizing (widths measured by the view) ---------
    using TextWidthFn = std::function<int(std::string_view text)>;
    std::string FitTextToWidth(std::string_view text, int width, const TextWidthFn& measure) const;
    void SizeColumnToText(int col, const TextWidthFn& measure);
    void SizeColumnsToText(int extra, const TextWidthFn& measure);
    // The view hands its measure in once, for AutoSize.
    TextWidthFn Measure;

  private:
    bool anyCell(int row, const void* match, bool (*test)(const void*, std::string_view)) const;
    void changed();
    void clampCurrent();
    int styleOf(int col) const;

    struct Impl;
    Impl* d_;
    int updating_ = 0;
    bool changedWhileUpdating_ = false;
    bool sorting_ = false;
    bool autoSize_ = false;
    bool sortShow_ = false;
    int sortColumn_ = 0;
};

// The number syntax of ssNumber (spaces, sign, digits, ".", exponent), to a
// value with the grid's 40-bit mantissa. Returns false for a non-number;
// throws SortCompareError("Floating point overflow") where the grid would.
bool gridTextToNumber(std::string_view text, long double& value);

// GetCellInt's syntax; false for anything else.
bool gridTextToInt(std::string_view text, std::int32_t& value);

// A cell's text as the screen shows it and the files carry it: "&&" is one
// "&", a single "&" stays itself. The stored bytes (and the clipboard) keep
// both, so that a paste reads back what was copied.
std::string shownCellText(std::string_view cell);
void appendShownCellText(std::string& out, std::string_view cell);

} // namespace zorv
