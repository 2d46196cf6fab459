#include "components/sortgrid.h"

#include "components/gridvalues.h"
#include "settings/registry.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

namespace zorv {

// --- row storage ---------------------------------------------------------------
//
// A row is one string: its cells in column order, each a length (one byte, or
// 0xFF and four bytes for 255 and more) followed by the text. Missing trailing
// cells are empty. A million rows of ten cells cost one allocation each.

namespace {

constexpr unsigned char kLongCell = 0xFF;

struct CellSpan {
    std::size_t head; // where the length starts
    std::size_t text; // where the text starts
    std::size_t size; // text bytes
};

std::size_t readLength(const std::string& row, std::size_t at, std::size_t& text) {
    const auto b = static_cast<unsigned char>(row[at]);
    if (b != kLongCell) {
        text = at + 1;
        return b;
    }
    std::uint32_t n = 0;
    for (int k = 0; k < 4; ++k)
        n |= static_cast<std::uint32_t>(static_cast<unsigned char>(row[at + 1 + k])) << (8 * k);
    text = at + 5;
    return n;
}

// The span of cell `col`, or false when the row ends before it (`head` is
// then the row's end and `col - skipped` cells are missing).
bool findCell(const std::string& row, int col, CellSpan& span, int& skipped) {
    std::size_t at = 0;
    for (int k = 0;; ++k) {
        if (at >= row.size()) {
            span = {at, at, 0};
            skipped = k;
            return false;
        }
        std::size_t text = 0;
        const std::size_t n = readLength(row, at, text);
        if (k == col) {
            span = {at, text, n};
            return true;
        }
        at = text + n;
    }
}

void appendCell(std::string& row, std::string_view text) {
    if (text.size() < kLongCell) {
        row += static_cast<char>(text.size());
    } else {
        const auto n = static_cast<std::uint32_t>(text.size());
        row += static_cast<char>(kLongCell);
        for (int k = 0; k < 4; ++k)
            row += static_cast<char>((n >> (8 * k)) & 0xFF);
    }
    row.append(text);
}

void prefetchRow(const std::string& row) noexcept {
#if defined(__GNUC__)
    __builtin_prefetch(row.data());
    if (row.size() > 64)
        __builtin_prefetch(row.data() + 64);
#else
    (void)row;
#endif
}

std::string_view cellOf(const std::string& row, int col) {
    CellSpan s;
    int skipped = 0;
    if (col < 0 || !findCell(row, col, s, skipped))
        return {};
    return std::string_view(row).substr(s.text, s.size);
}

void setCellOf(std::string& row, int col, std::string_view text) {
    CellSpan s;
    int skipped = 0;
    if (findCell(row, col, s, skipped)) {
        std::string cell;
        appendCell(cell, text);
        row.replace(s.head, s.text + s.size - s.head, cell);
        return;
    }
    if (text.empty())
        return; // missing cells are empty already
    row.append(static_cast<std::size_t>(col - skipped), '\0');
    appendCell(row, text);
}

// Drops cells from `cols` on.
void truncateCells(std::string& row, int cols) {
    CellSpan s;
    int skipped = 0;
    if (findCell(row, cols, s, skipped)) {
        row.resize(s.head);
        row.shrink_to_fit();
    }
}

std::string encodeRow(const std::vector<std::string>& cells, int cols) {
    std::size_t last = std::min(cells.size(), static_cast<std::size_t>(cols));
    while (last > 0 && cells[last - 1].empty())
        --last;
    std::size_t bytes = 0;
    for (std::size_t c = 0; c < last; ++c)
        bytes += cells[c].size() + (cells[c].size() < kLongCell ? 1 : 5);
    std::string row;
    row.reserve(bytes);
    for (std::size_t c = 0; c < last; ++c)
        appendCell(row, cells[c]);
    return row;
}

// --- comparison keys -------------------------------------------------------------
//
// One key per row and column holds what a comparison of that cell needs, so
// a sort converts every cell once. Comparing two keys gives exactly what
// comparing the two texts gives, and a bad cell raises its error only when it
// is compared.

enum KeyStatus : std::uint32_t { kOk = 0, kNotANumber = 1, kBad = 2 };

// 16 bytes: a million of them are sorted. Texts that share their first 8
// bytes are read from their rows.
struct Key {
    std::uint64_t order; // text: first 8 bytes big-endian; number, date: ordered bits
    std::uint32_t info;  // text: length; number, date: KeyStatus
    std::uint32_t row;   // where the cell's text is
};

int normalStyle(int style) {
    return style == ssNumber || style == ssDateTime ? style : ssText;
}

std::uint64_t orderedBits(double v) {
    if (v == 0)
        v = 0; // -0 ties with 0
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    return (bits & 0x8000000000000000ull) ? ~bits : bits | 0x8000000000000000ull;
}

Key makeKey(int style, std::string_view text, std::uint32_t row, const DatePattern& dates) {
    Key k{0, 0, row};
    switch (style) {
    case ssNumber: {
        if (text.empty()) {
            k.order = orderedBits(0);
            break;
        }
        const GridNumber g = parseGridNumber(text);
        k.info = g.status == GridNumber::Number     ? kOk
                 : g.status == GridNumber::Overflow ? kBad
                                                    : kNotANumber;
        k.order = orderedBits(g.value);
        break;
    }
    case ssDateTime: {
        // An empty cell is a user who never called: before every date.
        std::int64_t seconds = 0;
        if (text.empty())
            k.order = 0;
        else if (dates.parse(text, seconds))
            k.order = static_cast<std::uint64_t>(seconds) + 1;
        else
            k.info = kBad;
        break;
    }
    default: {
        std::uint64_t prefix = 0;
        for (std::size_t i = 0; i < 8; ++i)
            prefix = (prefix << 8) | (i < text.size() ? static_cast<unsigned char>(text[i]) : 0u);
        k.order = prefix;
        k.info = static_cast<std::uint32_t>(text.size());
    }
    }
    return k;
}

// The ranks of a column of many distinct texts (phones, addresses). The
// texts are sorted on their first eight bytes, then each run that shares
// those on the next eight, and so on: a text is read once per eight bytes it
// shares with another, never once per comparison as a sort of the rows would.
template <class TextAt>
std::size_t rankManyTexts(std::size_t count, TextAt&& textAt, std::vector<std::uint32_t>& rank) {
    struct Entry {
        std::uint64_t chunk; // bytes [at, at + 8) big-endian, zeros past the end
        const char* text;
        std::uint32_t size;
        std::uint32_t row;
    };
    const auto load = [](Entry& x, std::size_t at) {
        std::uint64_t chunk = 0;
        for (std::size_t i = at; i < at + 8; ++i)
            chunk = (chunk << 8) | (i < x.size ? static_cast<unsigned char>(x.text[i]) : 0u);
        x.chunk = chunk;
    };
    std::vector<Entry> e(count);
    for (std::size_t r = 0; r < count; ++r) {
        const std::string_view t = textAt(r);
        e[r] =
            Entry{0, t.data(), static_cast<std::uint32_t>(t.size()), static_cast<std::uint32_t>(r)};
        load(e[r], 0);
    }
    // Equal chunks still differ where one text ends inside them ("AB" and
    // "AB\0"): bytes left after `at`, 9 standing for "more than eight".
    std::vector<char> starts(count, 0); // a text unlike the one before it
    struct Run {
        std::size_t lo, hi, at;
    };
    std::vector<Run> todo{Run{0, count, 0}};
    while (!todo.empty()) {
        const Run run = todo.back();
        todo.pop_back();
        const auto tail = [at = run.at](const Entry& x) {
            return std::min<std::size_t>(x.size - at, 9);
        };
        if (run.at > 0)
            for (std::size_t k = run.lo; k < run.hi; ++k)
                load(e[k], run.at);
        std::sort(e.begin() + static_cast<std::ptrdiff_t>(run.lo),
                  e.begin() + static_cast<std::ptrdiff_t>(run.hi),
                  [&](const Entry& a, const Entry& b) {
                      return a.chunk != b.chunk ? a.chunk < b.chunk : tail(a) < tail(b);
                  });
        std::size_t from = run.lo;
        for (std::size_t k = run.lo + 1; k <= run.hi; ++k) {
            if (k < run.hi && e[k].chunk == e[from].chunk && tail(e[k]) == tail(e[from]))
                continue;
            if (k < run.hi)
                starts[k] = 1;
            if (k - from > 1 && tail(e[from]) == 9)
                todo.push_back(Run{from, k, run.at + 8});
            from = k;
        }
    }
    rank.resize(count);
    std::uint32_t r = 0;
    for (std::size_t k = 0; k < count; ++k) {
        r += static_cast<std::uint32_t>(starts[k]);
        rank[e[k].row] = r;
    }
    return count == 0 ? 0 : std::size_t{r} + 1;
}

// Each text's rank among the column's texts becomes its key, so comparisons
// never reach the texts. Few distinct texts (names, limits, labels) are
// ranked through a hash table of them, many by rankManyTexts. Returns how
// many distinct texts there are.
template <class TextAt>
std::size_t rankTexts(std::size_t count, TextAt&& textAt, std::vector<std::uint32_t>& rank) {
    const std::size_t limit = std::max<std::size_t>(256, count / 16);
    std::size_t slots = 1;
    while (slots < 2 * limit)
        slots <<= 1;
    constexpr std::uint32_t kFree = 0xFFFFFFFFu;
    std::vector<std::uint32_t> table(slots, kFree); // index of a distinct text
    // The distinct texts back to back: a lookup compares with a copy close
    // to the others, not with a row anywhere in memory.
    std::string arena;
    std::vector<std::size_t> ends; // text k is arena[ends[k - 1], ends[k])
    const auto distinct = [&](std::uint32_t k) {
        const std::size_t from = k == 0 ? 0 : ends[k - 1];
        return std::string_view(arena).substr(from, ends[k] - from);
    };
    rank.resize(count);
    const std::hash<std::string_view> hash;
    for (std::size_t r = 0; r < count; ++r) {
        const std::string_view text = textAt(r);
        std::size_t slot = hash(text) & (slots - 1);
        while (table[slot] != kFree && distinct(table[slot]) != text)
            slot = (slot + 1) & (slots - 1);
        if (table[slot] == kFree) {
            if (ends.size() == limit) {
                std::vector<std::uint32_t>().swap(rank);
                std::vector<std::uint32_t>().swap(table);
                std::string().swap(arena);
                return rankManyTexts(count, textAt, rank);
            }
            table[slot] = static_cast<std::uint32_t>(ends.size());
            arena.append(text);
            ends.push_back(arena.size());
        }
        rank[r] = table[slot];
    }
    std::vector<std::uint32_t> order(ends.size());
    for (std::uint32_t k = 0; k < order.size(); ++k)
        order[k] = k;
    std::sort(order.begin(), order.end(), [&](std::uint32_t x, std::uint32_t y) {
        const std::string_view a = distinct(x), b = distinct(y);
        const int r = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
        return r != 0 ? r < 0 : a.size() < b.size();
    });
    std::vector<std::uint32_t> position(order.size());
    for (std::uint32_t k = 0; k < order.size(); ++k)
        position[order[k]] = k;
    for (auto& v : rank)
        v = position[v];
    return order.size();
}

// The keys of one column of the data rows, as a sort needs them: ranks for a
// text column, else one Key per row. Built once, by whichever sorting thread
// first needs them; read-only afterwards.
struct ColumnKeys {
    int style = ssText;
    std::once_flag once;
    std::atomic<bool> built{false};
    bool ranked = false;
    std::size_t distinct = 0; // texts, when ranked
    std::vector<std::uint32_t> rank;
    std::vector<Key> keys;
};

// Reads one column of the data rows straight from the rows, into the keys
// or ranks a sort compares.
class ColumnReader {
  public:
    ColumnReader(const std::vector<std::string>& rows, int first, int colCount)
        : rows_(rows), first_(static_cast<std::size_t>(first)), colCount_(colCount) {}

    std::string_view text(int c, std::size_t r) const {
        return c < colCount_ ? cellOf(rows_[first_ + r], c) : std::string_view();
    }

    void build(int c, ColumnKeys& out, const DatePattern& dates) {
        const std::size_t n = rows_.size() - first_;
        // Rows read in grid order lie scattered after a sort: each is asked
        // for a few rows ahead, or the pass waits on every one in turn.
        const auto textAt = [&](std::size_t r) {
            if (first_ + r + kAhead < rows_.size())
                prefetchRow(rows_[first_ + r + kAhead]);
            return text(c, r);
        };
        out.ranked = out.style == ssText;
        if (out.ranked) {
            out.distinct = rankTexts(n, textAt, out.rank);
            return;
        }
        out.keys.resize(n);
        for (std::size_t r = 0; r < n; ++r)
            out.keys[r] =
                makeKey(out.style, textAt(r), static_cast<std::uint32_t>(first_ + r), dates);
    }

  private:
    static constexpr std::size_t kAhead = 16;
    const std::vector<std::string>& rows_;
    std::size_t first_;
    int colCount_;
};

// What compareKeys gives for two texts.
int compareTexts(std::string_view a, std::string_view b) {
    const std::size_t n = std::min(a.size(), b.size());
    if (n > 0) {
        const int r = std::memcmp(a.data(), b.data(), n);
        if (r != 0)
            return r < 0 ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

[[noreturn]] void throwBadCell(int style, std::string_view text) {
    if (style == ssNumber)
        throw SortCompareError(kFloatOverflowText);
    throw SortCompareError("'" + std::string(text) + "' is not a valid date and time");
}

template <class TextOf> int compareKeys(int style, const Key& a, const Key& b, TextOf&& textOf) {
    if (style == ssText) {
        if (a.order != b.order)
            return a.order < b.order ? -1 : 1;
        const std::size_t n = std::min(a.info, b.info);
        const std::size_t from = std::min<std::size_t>(8, n);
        if (n > from) {
            const int r = std::memcmp(textOf(a).data() + from, textOf(b).data() + from, n - from);
            if (r != 0)
                return r < 0 ? -1 : 1;
        }
        return a.info == b.info ? 0 : a.info < b.info ? -1 : 1;
    }
    // Both texts are converted before they are compared: the first bad one wins.
    if (a.info == kBad)
        throwBadCell(style, textOf(a));
    if (b.info == kBad)
        throwBadCell(style, textOf(b));
    if (a.info != kOk || b.info != kOk)
        return 0;
    return a.order == b.order ? 0 : a.order < b.order ? -1 : 1;
}

} // namespace

// --- the grid ----------------------------------------------------------------------

struct SortGrid::Impl {
    std::vector<std::string> rows;
    int colCount = 0;
    std::vector<int> widths; // -1: DefaultColWidth
    int col = 0, row = 0;
    TGridRect sel;
};

SortGrid::SortGrid(int colCount, int rowCount) : d_(new Impl) {
    d_->colCount = std::max(colCount, 0);
    d_->widths.assign(static_cast<std::size_t>(d_->colCount), -1);
    d_->rows.resize(static_cast<std::size_t>(std::max(rowCount, 0)));
    d_->col = std::min(FixedCols, std::max(d_->colCount - 1, 0));
    d_->row = std::min(FixedRows, std::max(rowCount - 1, 0));
    d_->sel = {d_->col, d_->row, d_->col, d_->row};
}

SortGrid::~SortGrid() {
    delete d_;
}

void SortGrid::changed() {
    if (updating_ > 0)
        changedWhileUpdating_ = true;
    else if (OnChanged)
        OnChanged();
}

void SortGrid::BeginUpdate() {
    ++updating_;
}

void SortGrid::EndUpdate() {
    if (updating_ == 0 || --updating_ > 0 || !changedWhileUpdating_)
        return;
    changedWhileUpdating_ = false;
    changed();
}

int SortGrid::RowCount() const {
    return static_cast<int>(d_->rows.size());
}
int SortGrid::ColCount() const {
    return d_->colCount;
}

void SortGrid::clampCurrent() {
    const int maxRow = std::max(RowCount() - 1, 0);
    const int maxCol = std::max(ColCount() - 1, 0);
    d_->row = std::clamp(d_->row, 0, maxRow);
    d_->col = std::clamp(d_->col, 0, maxCol);
    TGridRect& s = d_->sel;
    s.Left = std::clamp(s.Left, 0, maxCol);
    s.Right = std::clamp(s.Right, 0, maxCol);
    s.Top = std::clamp(s.Top, 0, maxRow);
    s.Bottom = std::clamp(s.Bottom, 0, maxRow);
}

void SortGrid::SetRowCount(int n) {
    n = std::max(n, 0);
    if (n == RowCount())
        return;
    d_->rows.resize(static_cast<std::size_t>(n));
    clampCurrent();
    changed();
}

void SortGrid::SetColCount(int n) {
    n = std::max(n, 0);
    if (n == ColCount())
        return;
    if (n < d_->colCount)
        for (std::string& r : d_->rows)
            truncateCells(r, n);
    d_->colCount = n;
    d_->widths.resize(static_cast<std::size_t>(n), -1);
    clampCurrent();
    changed();
}

std::string_view SortGrid::Cell(int col, int row) const {
    if (row < 0 || row >= RowCount() || col < 0 || col >= ColCount())
        return {};
    return cellOf(d_->rows[static_cast<std::size_t>(row)], col);
}

void SortGrid::RowTexts(int row, std::vector<std::string_view>& out) const {
    out.assign(static_cast<std::size_t>(ColCount()), std::string_view());
    if (row < 0 || row >= RowCount())
        return;
    const std::string& r = d_->rows[static_cast<std::size_t>(row)];
    std::size_t at = 0;
    for (std::size_t c = 0; c < out.size() && at < r.size(); ++c) {
        std::size_t text = 0;
        const std::size_t n = readLength(r, at, text);
        out[c] = std::string_view(r).substr(text, n);
        at = text + n;
    }
}

bool SortGrid::anyCell(int row, const void* match,
                       bool (*test)(const void*, std::string_view)) const {
    if (row < 0 || row >= RowCount())
        return false;
    const std::string& r = d_->rows[static_cast<std::size_t>(row)];
    std::size_t at = 0;
    for (int c = 0; c < ColCount(); ++c) {
        std::string_view cell;
        if (at < r.size()) {
            std::size_t text = 0;
            const std::size_t n = readLength(r, at, text);
            cell = std::string_view(r).substr(text, n);
            at = text + n;
        }
        if (test(match, cell))
            return true;
    }
    return false;
}

void SortGrid::PrefetchRow(int row) const noexcept {
    if (row < 0 || row >= RowCount())
        return;
    prefetchRow(d_->rows[static_cast<std::size_t>(row)]);
}

void SortGrid::SetCell(int col, int row, std::string_view text) {
    if (row < 0 || row >= RowCount() || col < 0 || col >= ColCount())
        throw std::out_of_range("grid cell " + std::to_string(col) + ", " + std::to_string(row) +
                                " is outside the grid");
    setCellOf(d_->rows[static_cast<std::size_t>(row)], col, text);
    changed();
}

void SortGrid::CopyRow(int from, int to) {
    if (from < 0 || from >= RowCount() || to < 0 || to >= RowCount())
        throw std::out_of_range("grid row outside the grid");
    if (from == to)
        return;
    d_->rows[static_cast<std::size_t>(to)] = d_->rows[static_cast<std::size_t>(from)];
    changed();
}

void SortGrid::SetDataRows(std::vector<std::vector<std::string>>&& rows) {
    const auto fixed = static_cast<std::size_t>(std::max(FixedRows, 0));
    std::vector<std::string> all;
    all.reserve(fixed + rows.size());
    for (std::size_t r = 0; r < fixed; ++r)
        all.push_back(r < d_->rows.size() ? std::move(d_->rows[r]) : std::string());
    for (auto& cells : rows) {
        all.push_back(encodeRow(cells, d_->colCount));
        std::vector<std::string>().swap(cells); // free as we go: the input can be large
    }
    rows.clear();
    d_->rows = std::move(all);
    clampCurrent();
    changed();
}

void SortGrid::SetRowCells(int row, const std::vector<std::string>& cells) {
    if (row < 0 || row >= RowCount())
        throw std::out_of_range("grid row " + std::to_string(row) + " is outside the grid");
    d_->rows[static_cast<std::size_t>(row)] = encodeRow(cells, d_->colCount);
    changed();
}

void SortGrid::PartitionRows(const std::vector<char>& keep, SortGrid& rest) {
    const auto fixed = static_cast<std::size_t>(std::clamp(FixedRows, 0, RowCount()));
    if (&rest == this || rest.ColCount() != ColCount() || keep.size() != d_->rows.size() - fixed)
        throw std::invalid_argument("a partition needs another grid of the same columns and a "
                                    "choice for every data row");
    std::vector<std::string> stay;
    stay.reserve(d_->rows.size());
    for (std::size_t r = 0; r < fixed; ++r)
        stay.push_back(std::move(d_->rows[r]));
    for (std::size_t i = 0; i < keep.size(); ++i)
        (keep[i] ? stay : rest.d_->rows).push_back(std::move(d_->rows[fixed + i]));
    d_->rows = std::move(stay);
    clampCurrent();
    rest.clampCurrent();
    changed();
    rest.changed();
}

void SortGrid::MergeRowsFrom(SortGrid& other, const std::vector<int>& ranks,
                             const std::vector<int>& otherRanks) {
    const auto fixed = static_cast<std::size_t>(std::clamp(FixedRows, 0, RowCount()));
    const auto otherFixed =
        static_cast<std::size_t>(std::clamp(other.FixedRows, 0, other.RowCount()));
    const std::size_t na = d_->rows.size() - fixed, nb = other.d_->rows.size() - otherFixed;
    if (&other == this || other.ColCount() != ColCount() || ranks.size() != na ||
        otherRanks.size() != nb)
        throw std::invalid_argument("a merge needs another grid of the same columns and a rank "
                                    "for every data row");
    std::vector<std::string> all;
    all.reserve(fixed + na + nb);
    for (std::size_t r = 0; r < fixed; ++r)
        all.push_back(std::move(d_->rows[r]));
    std::size_t i = 0, j = 0;
    while (i < na || j < nb) {
        if (j == nb || (i < na && ranks[i] < otherRanks[j]))
            all.push_back(std::move(d_->rows[fixed + i++]));
        else
            all.push_back(std::move(other.d_->rows[otherFixed + j++]));
    }
    d_->rows = std::move(all);
    other.d_->rows.resize(otherFixed);
    clampCurrent();
    other.clampCurrent();
    changed();
    other.changed();
}

void SortGrid::SetCells(int col, int row, const std::vector<std::string_view>& texts) {
    if (row < 0 || row >= RowCount() || col < 0 ||
        static_cast<std::size_t>(col) + texts.size() > static_cast<std::size_t>(ColCount()))
        throw std::out_of_range("grid cells outside the grid");
    if (texts.empty())
        return;
    const std::string& old = d_->rows[static_cast<std::size_t>(row)];
    const std::size_t end = static_cast<std::size_t>(col) + texts.size();
    // The old row's cells before and after the run, read in one walk.
    std::string out;
    std::size_t at = 0;
    std::size_t k = 0;
    for (; k < static_cast<std::size_t>(col); ++k) {
        if (at >= old.size()) {
            out.append(static_cast<std::size_t>(col) - k, '\0'); // missing cells are empty
            k = static_cast<std::size_t>(col);
            break;
        }
        std::size_t text = 0;
        const std::size_t len = readLength(old, at, text);
        out.append(old, at, text + len - at);
        at = text + len;
    }
    for (std::string_view t : texts)
        appendCell(out, t);
    for (; k < end && at < old.size(); ++k) { // the replaced cells
        std::size_t text = 0;
        const std::size_t len = readLength(old, at, text);
        at = text + len;
    }
    if (at < old.size())
        out.append(old, at, std::string::npos);
    std::string& dest = d_->rows[static_cast<std::size_t>(row)];
    dest = std::move(out);
    changed();
}

std::vector<std::string> SortGrid::SetRowsAside(int count) {
    const auto fixed = static_cast<std::size_t>(std::clamp(FixedRows, 0, RowCount()));
    std::vector<std::string> aside;
    aside.reserve(d_->rows.size() - fixed);
    for (std::size_t r = fixed; r < d_->rows.size(); ++r)
        aside.push_back(std::move(d_->rows[r]));
    std::vector<std::string> fresh(fixed + static_cast<std::size_t>(std::max(count, 0)));
    for (std::size_t r = 0; r < fixed; ++r)
        fresh[r] = std::move(d_->rows[r]);
    d_->rows.swap(fresh);
    clampCurrent();
    changed();
    return aside;
}

void SortGrid::PutBackRows(std::vector<std::string>&& aside, int from) {
    const auto fixed = static_cast<std::size_t>(std::clamp(FixedRows, 0, RowCount()));
    for (auto k = static_cast<std::size_t>(std::max(from, 0));
         k < aside.size() && fixed + k < d_->rows.size(); ++k) {
        std::string& row = d_->rows[fixed + k];
        row = std::move(aside[k]);
        truncateCells(row, d_->colCount);
    }
    std::vector<std::string>().swap(aside);
    changed();
}

void SortGrid::ReserveRows(int n) {
    d_->rows.reserve(static_cast<std::size_t>(std::max(n, 0)));
}

std::size_t SortGrid::MemoryBytes() const {
    std::size_t bytes = sizeof(Impl) + d_->rows.capacity() * sizeof(std::string) +
                        d_->widths.capacity() * sizeof(int);
    for (const std::string& r : d_->rows)
        if (r.capacity() > 15) // beyond the string's own buffer: a heap block
            bytes += (r.capacity() + 1 + 8 + 15) / 16 * 16;
    return bytes;
}

// --- current cell, selection --------------------------------------------------

int SortGrid::Col() const {
    return d_->col;
}
int SortGrid::Row() const {
    return d_->row;
}

void SortGrid::SetCol(int c) {
    d_->col = c;
    d_->sel = {c, d_->row, c, d_->row};
    clampCurrent();
    changed();
}

void SortGrid::SetRow(int r) {
    d_->row = r;
    d_->sel = {d_->col, r, d_->col, r};
    clampCurrent();
    changed();
}

TGridRect SortGrid::Selection() const {
    return d_->sel;
}

void SortGrid::SetSelection(TGridRect r) {
    if (r.Left > r.Right)
        std::swap(r.Left, r.Right);
    if (r.Top > r.Bottom)
        std::swap(r.Top, r.Bottom);
    d_->sel = r;
    d_->col = r.Left;
    d_->row = r.Top;
    clampCurrent();
    changed();
}

// --- column widths ---------------------------------------------------------------

int SortGrid::ColWidth(int col) const {
    if (col < 0 || col >= ColCount())
        return DefaultColWidth;
    const int w = d_->widths[static_cast<std::size_t>(col)];
    return w < 0 ? DefaultColWidth : w;
}

void SortGrid::SetColWidth(int col, int width) {
    if (col < 0 || col >= ColCount())
        return;
    d_->widths[static_cast<std::size_t>(col)] = std::max(width, 0);
    changed();
}

// --- properties -------------------------------------------------------------------

void SortGrid::SetAutoSize(bool on) {
    autoSize_ = on;
    if (on && Measure)
        SizeColumnsToText(10, Measure);
}

void SortGrid::SetSortShow(bool on) {
    sortShow_ = on;
    changed();
}

void SortGrid::SetSortColumn(int col) {
    sortColumn_ = col;
    changed();
}

// --- sorting ------------------------------------------------------------------------

int SortGrid::styleOf(int col) const {
    TSortStyle style = ssText;
    if (OnGetFormat)
        OnGetFormat(col, style);
    return normalStyle(style);
}

int SortGrid::CompareRows(int col, int a, int b) const {
    for (int c = col;; ++c) {
        const int style = styleOf(c);
        const Key ka = makeKey(style, Cell(c, a), static_cast<std::uint32_t>(a), DateFormat);
        const Key kb = makeKey(style, Cell(c, b), static_cast<std::uint32_t>(b), DateFormat);
        const auto textOf = [this, c](const Key& k) { return Cell(c, static_cast<int>(k.row)); };
        const int r = compareKeys(style, ka, kb, textOf);
        if (r != 0 || c >= ColCount() - 2)
            return r;
    }
}

namespace {

// Ranges of the quicksort are independent once partitioned: threads may take
// them in any order and the rows end in the same order. A range goes to an
// idle thread only when it is worth the handing over; small sorts stay on
// the calling thread.
constexpr int kShareFrom = 4096;
constexpr int kThreadsFrom = 16384;

struct Range {
    int lo, hi;
};

} // namespace

void SortGrid::SortRows() {
    const int first = std::max(FixedRows, 0);
    const int n = RowCount() - first;
    if (n < 2 || sorting_)
        return;
    sorting_ = true;
    struct Unmark {
        bool& flag;
        ~Unmark() { flag = false; }
    } unmark{sorting_};

    const std::int64_t total = 2 * static_cast<std::int64_t>(n);
    if (OnProgress)
        OnProgress(0, total);
    const int sortCol = sortColumn_;
    const int lastCol = std::max(sortCol, ColCount() - 2); // the last that breaks a tie
    const int sign = SortDirection == sdDescending ? -1 : 1;
    const auto firstRow = static_cast<std::uint32_t>(first);
    const int tieColumns = lastCol - sortCol + 1;

    // The windows answer the style per column, so it is asked once per sort.
    std::unique_ptr<ColumnKeys[]> columns(new ColumnKeys[static_cast<std::size_t>(tieColumns)]);
    for (int c = sortCol; c <= lastCol; ++c)
        columns[static_cast<std::size_t>(c - sortCol)].style = styleOf(c);
    ColumnReader reader(d_->rows, first, ColCount());
    auto column = [&](int c) -> ColumnKeys& {
        ColumnKeys& k = columns[static_cast<std::size_t>(c - sortCol)];
        std::call_once(k.once, [&] {
            reader.build(c, k, DateFormat);
            k.built.store(true, std::memory_order_release);
        });
        return k;
    };

    // What one thread counts on its own.
    struct Worker {
        std::vector<std::size_t> compared; // tie compares per column before its keys exist
        std::int64_t settled = 0;          // rows in their final place, not yet told
    };
    // A tie column is read whole once more than a few rows have reached it;
    // until then the rows' cells are compared as they are.
    const std::size_t fewRows = std::max<std::size_t>(16, static_cast<std::size_t>(n) / 16);
    auto compareTie = [&](Worker& w, int c, std::uint32_t a, std::uint32_t b, auto& textOf) {
        ColumnKeys& k = columns[static_cast<std::size_t>(c - sortCol)];
        if (!k.built.load(std::memory_order_acquire)) {
            if (++w.compared[static_cast<std::size_t>(c - sortCol)] < fewRows) {
                const std::string_view ta = reader.text(c, a - firstRow);
                const std::string_view tb = reader.text(c, b - firstRow);
                if (k.style == ssText)
                    return compareTexts(ta, tb);
                return compareKeys(k.style, makeKey(k.style, ta, a, DateFormat),
                                   makeKey(k.style, tb, b, DateFormat), textOf);
            }
            column(c);
        }
        if (k.ranked) {
            const std::uint32_t x = k.rank[a - firstRow], y = k.rank[b - firstRow];
            return x == y ? 0 : x < y ? -1 : 1;
        }
        return compareKeys(k.style, k.keys[a - firstRow], k.keys[b - firstRow], textOf);
    };

    int tiesFrom = sortCol; // the tie loop goes on after this column
    const auto compare = [&](Worker& w, const Key& a, const Key& b) {
        int c = sortCol;
        auto textOf = [&](const Key& k) { return reader.text(c, k.row - firstRow); };
        int r = compareKeys(columns[0].style, a, b, textOf);
        const bool self = a.row == b.row;
        if (r == 0)
            c = tiesFrom;
        while (r == 0 && c < ColCount() - 2) {
            ++c;
            // A row against itself (the pivot's own row) ties on every
            // column; only a bad cell would still raise, and text never does.
            if (self && columns[static_cast<std::size_t>(c - sortCol)].style == ssText)
                continue;
            r = compareTie(w, c, a.row, b.row, textOf);
        }
        return r;
    };

    // The rows' order is that of the classic in-place quicksort through a
    // pivot row, done on the keys (which carry their rows); the rows move once
    // at the end, so an error leaves them untouched.
    std::vector<Key> e;
    {
        ColumnKeys& k = column(sortCol);
        if (k.ranked) {
            // Texts that tie a lot (names, streets, cities): the ranks of the
            // text columns after them join the key, as many as 64 bits hold,
            // while the columns so far can still tie a lot. Those ties then
            // never leave the array; the few left go to the tie columns.
            const auto count = static_cast<std::size_t>(n);
            e.resize(count);
            for (std::size_t r = 0; r < count; ++r)
                e[r] = Key{k.rank[r], 0, firstRow + static_cast<std::uint32_t>(r)};
            std::vector<std::uint32_t>().swap(k.rank);
            const auto bitsFor = [](std::size_t distinct) {
                int b = 0;
                while (b < 64 && (std::uint64_t{1} << b) < distinct)
                    ++b;
                return b;
            };
            // At least a sixteenth of the rows tie with another, for all
            // these columns can tell (their combinations, at best).
            const auto manyTies = [count](double combinations) {
                return std::min(combinations, static_cast<double>(count)) +
                           static_cast<double>(count / 16) <=
                       static_cast<double>(count);
            };
            int bits = bitsFor(k.distinct);
            double combinations = static_cast<double>(k.distinct);
            for (int c = sortCol + 1; c <= ColCount() - 2 && manyTies(combinations); ++c) {
                ColumnKeys& kc = columns[static_cast<std::size_t>(c - sortCol)];
                if (kc.style != ssText)
                    break;
                column(c);
                const int b = bitsFor(kc.distinct);
                if (bits + b > 64)
                    break;
                for (std::size_t r = 0; r < count; ++r)
                    e[r].order = e[r].order << b | kc.rank[r];
                std::vector<std::uint32_t>().swap(kc.rank);
                bits += b;
                combinations *= static_cast<double>(kc.distinct);
                tiesFrom = c;
            }
        } else {
            e.swap(k.keys);
        }
    }

    using Clock = std::chrono::steady_clock;
    constexpr auto kTell = std::chrono::milliseconds(50);
    auto told = Clock::now();
    if (OnProgress)
        OnProgress(n / 2, total); // the keys: a quarter of the work

    // The first error in the one-thread order wins: that is the leftmost
    // range that fails (a failed range has no parts, so failed ranges never
    // nest, and every range left of it runs in either order). Ranges right
    // of a known failure are skipped.
    std::mutex errorLock;
    std::exception_ptr error;
    int errorLo = INT_MAX;
    std::atomic<int> skipFrom{INT_MAX};
    auto fail = [&](int lo, std::exception_ptr ex) {
        std::lock_guard<std::mutex> hold(errorLock);
        if (lo < errorLo) {
            errorLo = lo;
            error = std::move(ex);
            skipFrom.store(lo + 1, std::memory_order_relaxed);
        }
    };

    std::atomic<std::int64_t> settled{0};
    // Only the calling thread tells; an error from the handler stops all.
    auto tell = [&](bool main) {
        if (!main || !OnProgress || Clock::now() - told < kTell)
            return;
        told = Clock::now();
        try {
            OnProgress(n / 2 + settled.load(std::memory_order_relaxed) * 3 / 2, total);
        } catch (...) {
            fail(-1, std::current_exception());
        }
    };

    std::mutex poolLock;
    std::condition_variable poolWake;
    std::deque<Range> pool{Range{0, n - 1}};
    int threads = 1, waiting = 0;
    bool finished = false;
    std::atomic<int> hungry{0};

    auto partitionAll = [&](Worker& w, Range r, std::deque<Range>& mine, bool main) {
        int lo = r.lo, hi = r.hi;
        unsigned rounds = 0;
        for (;;) {
            const Key pivot = e[static_cast<std::size_t>(lo + (hi - lo) / 2)];
            int i = lo, j = hi;
            do {
                while (compare(w, pivot, e[static_cast<std::size_t>(i)]) == sign)
                    ++i;
                while (compare(w, e[static_cast<std::size_t>(j)], pivot) == sign)
                    --j;
                if (i <= j) {
                    if (i != j)
                        std::swap(e[static_cast<std::size_t>(i)], e[static_cast<std::size_t>(j)]);
                    ++i;
                    --j;
                }
            } while (i <= j);
            w.settled += std::max(i - j - 1, 0) + (j == lo ? 1 : 0) + (i == hi ? 1 : 0);
            if (i < hi) {
                mine.push_back(Range{i, hi});
                // The largest waiting range goes to a thread that has none.
                if (hungry.load(std::memory_order_relaxed) > 0 &&
                    mine.front().hi - mine.front().lo >= kShareFrom) {
                    {
                        std::lock_guard<std::mutex> hold(poolLock);
                        pool.push_back(mine.front());
                    }
                    mine.pop_front();
                    poolWake.notify_one();
                }
            }
            if (main && ++rounds % 64 == 0)
                tell(true);
            if (lo >= j)
                break;
            hi = j;
        }
    };

    auto work = [&](Worker& w, bool main) {
        std::deque<Range> mine;
        for (;;) {
            Range r{};
            if (!mine.empty()) {
                r = mine.back();
                mine.pop_back();
            } else {
                std::unique_lock<std::mutex> hold(poolLock);
                while (pool.empty()) {
                    if (finished || ++waiting == threads) {
                        finished = true;
                        poolWake.notify_all();
                        return;
                    }
                    hungry.fetch_add(1, std::memory_order_relaxed);
                    if (main)
                        poolWake.wait_for(hold, kTell);
                    else
                        poolWake.wait(hold);
                    hungry.fetch_sub(1, std::memory_order_relaxed);
                    --waiting;
                    if (main && pool.empty() && !finished) {
                        hold.unlock();
                        tell(true);
                        hold.lock();
                    }
                }
                r = pool.back();
                pool.pop_back();
            }
            if (r.lo >= skipFrom.load(std::memory_order_relaxed))
                continue;
            try {
                partitionAll(w, r, mine, main);
            } catch (...) {
                fail(r.lo, std::current_exception());
            }
            if (w.settled >= 4096 || mine.empty()) {
                settled.fetch_add(w.settled, std::memory_order_relaxed);
                w.settled = 0;
            }
        }
    };

    const int wanted = n >= kThreadsFrom ? std::clamp(SortThreads, 1, 64) : 1;
    std::vector<Worker> workers(
        static_cast<std::size_t>(wanted),
        Worker{std::vector<std::size_t>(static_cast<std::size_t>(tieColumns), 0), 0});
    std::vector<std::thread> helpers;
    for (int t = 1; t < wanted; ++t) {
        try {
            {
                std::lock_guard<std::mutex> hold(poolLock);
                ++threads;
            }
            helpers.emplace_back([&, t] {
                try {
                    work(workers[static_cast<std::size_t>(t)], false);
                } catch (...) {
                    fail(-1, std::current_exception());
                    std::lock_guard<std::mutex> hold(poolLock);
                    finished = true;
                    poolWake.notify_all();
                }
            });
        } catch (const std::system_error&) {
            std::lock_guard<std::mutex> hold(poolLock);
            --threads; // no thread to be had: fewer do the work
            break;
        }
    }
    try {
        work(workers[0], true);
    } catch (...) {
        fail(-1, std::current_exception());
        std::lock_guard<std::mutex> hold(poolLock);
        finished = true;
        poolWake.notify_all();
    }
    for (std::thread& t : helpers)
        t.join();
    columns.reset();
    if (error)
        std::rethrow_exception(error);
    if (OnProgress)
        OnProgress(total, total); // before a row moves: its error still leaves them

    // Row first + k takes the row e[k] came from. The rows are gathered into
    // a new vector in their new order: each is read once, a few ahead.
    std::vector<std::string> sorted;
    sorted.reserve(d_->rows.size());
    for (int r = 0; r < first; ++r)
        sorted.push_back(std::move(d_->rows[static_cast<std::size_t>(r)]));
    int current = d_->row;
    for (std::size_t k = 0; k < e.size(); ++k) {
#if defined(__GNUC__)
        if (k + 16 < e.size())
            __builtin_prefetch(&d_->rows[e[k + 16].row]);
#endif
        if (static_cast<int>(e[k].row) == d_->row)
            current = first + static_cast<int>(k);
        sorted.push_back(std::move(d_->rows[e[k].row]));
    }
    d_->rows.swap(sorted);
    d_->row = current;
    d_->sel = {d_->col, current, d_->col, current};
    changed();
}

std::vector<int> SortGrid::ResortRows(const std::vector<int>& rows) {
    const int first = std::max(FixedRows, 0);
    const int n = RowCount() - first;
    for (int r : rows)
        if (r < first || r >= RowCount())
            throw std::out_of_range("grid row " + std::to_string(r) + " is outside the grid");
    if (rows.empty() || n < 2 || sorting_ || sortColumn_ < 0 || sortColumn_ >= ColCount())
        return rows;
    sorting_ = true;
    struct Unmark {
        bool& flag;
        ~Unmark() { flag = false; }
    } unmark{sorting_};

    std::vector<char> moving(static_cast<std::size_t>(n), 0);
    for (int r : rows) {
        char& m = moving[static_cast<std::size_t>(r - first)];
        if (m)
            throw std::invalid_argument("a row to sort again is named twice");
        m = 1;
    }
    const int sign = SortDirection == sdDescending ? -1 : 1;
    // Row a goes before row b: by the sort, then by where they stood.
    const auto before = [&](int a, int b) {
        const int c = sign * CompareRows(sortColumn_, a, b);
        return c != 0 ? c < 0 : a < b;
    };
    // A merge sort: cells that are no numbers tie with every number, which a
    // quicksort's unguarded loops must not meet.
    std::vector<int> movers(rows);
    std::stable_sort(movers.begin(), movers.end(), before);
    std::vector<int> stay;
    stay.reserve(static_cast<std::size_t>(n) - movers.size());
    for (int r = first; r < RowCount(); ++r)
        if (!moving[static_cast<std::size_t>(r - first)])
            stay.push_back(r);

    // at[k]: how many staying rows go before movers[k]. A few rows are placed
    // by halving; many by one walk along the rows.
    const std::int64_t total = static_cast<std::int64_t>(movers.size()) + n;
    if (OnProgress)
        OnProgress(0, total);
    std::vector<std::size_t> at(movers.size());
    std::size_t log2n = 1;
    while ((std::size_t{1} << log2n) < stay.size())
        ++log2n;
    using Clock = std::chrono::steady_clock;
    auto told = Clock::now();
    const auto tell = [&](std::int64_t done) {
        if (OnProgress && Clock::now() - told >= std::chrono::milliseconds(50)) {
            told = Clock::now();
            OnProgress(done, total);
        }
    };
    if (movers.size() * log2n < stay.size()) {
        std::size_t from = 0;
        for (std::size_t k = 0; k < movers.size(); ++k) {
            const auto it =
                std::partition_point(stay.begin() + static_cast<std::ptrdiff_t>(from), stay.end(),
                                     [&](int s) { return before(s, movers[k]); });
            at[k] = from = static_cast<std::size_t>(it - stay.begin());
        }
    } else {
        std::size_t s = 0;
        for (std::size_t k = 0; k < movers.size(); ++k) {
            while (s < stay.size() && before(stay[s], movers[k])) {
                ++s;
                if ((s & 0xFFF) == 0)
                    tell(static_cast<std::int64_t>(s + k));
            }
            at[k] = s;
        }
    }
    if (OnProgress)
        OnProgress(total, total); // before a row moves: its error still leaves them

    std::vector<std::string> sorted;
    sorted.reserve(d_->rows.size());
    for (int r = 0; r < first; ++r)
        sorted.push_back(std::move(d_->rows[static_cast<std::size_t>(r)]));
    std::vector<int> newRow(d_->rows.size(), -1);
    std::size_t s = 0;
    const auto place = [&](int from) {
        newRow[static_cast<std::size_t>(from)] = static_cast<int>(sorted.size());
        sorted.push_back(std::move(d_->rows[static_cast<std::size_t>(from)]));
    };
    for (std::size_t k = 0; k <= movers.size(); ++k) {
        const std::size_t upTo = k < movers.size() ? at[k] : stay.size();
        for (; s < upTo; ++s)
            place(stay[s]);
        if (k < movers.size())
            place(movers[k]);
    }
    d_->rows.swap(sorted);
    if (d_->row >= first && d_->row < RowCount())
        d_->row = newRow[static_cast<std::size_t>(d_->row)];
    d_->sel = {d_->col, d_->row, d_->col, d_->row};
    std::vector<int> result;
    result.reserve(rows.size());
    for (int r : rows)
        result.push_back(newRow[static_cast<std::size_t>(r)]);
    changed();
    return result;
}

bool SortGrid::HeaderPress(int col, int row, bool nearBorder) {
    if (col < 0 || row < 0 || nearBorder || sorting_)
        return false;
    if (col < FixedCols && !SortFixedCols)
        return false;
    bool dosort = true;
    if (OnCanSort)
        OnCanSort(col, dosort);
    if (row != 0 || FixedRows <= 0 || !sortShow_ || RowCount() - FixedRows < 2 || !dosort)
        return false;
    if (col == sortColumn_) {
        SortDirection = SortDirection == sdAscending ? sdDescending : sdAscending;
    } else {
        SortDirection = sdAscending;
        sortColumn_ = col;
    }
    changed();
    SortRows();
    if (OnClickSort)
        OnClickSort(sortColumn_);
    return true;
}

// --- typed cells ------------------------------------------------------------------

std::int32_t SortGrid::GetCellInt(int col, int row) const {
    std::int32_t v = 0;
    if (!gridTextToInt(Cell(col, row), v))
        throw ESortGridError(kNotIntegerText);
    return v;
}

void SortGrid::SetCellInt(int col, int row, std::int32_t value) {
    SetCell(col, row, std::to_string(value));
}

void SortGrid::SetCellDate(int col, int row, CivilDate date) {
    SetCell(col, row, DateFormat.format(date));
}

// --- row operations and lookups ----------------------------------------------------

int SortGrid::FindRowByPrefix(std::string_view prefix) const {
    const int keyCol = sortShow_ ? sortColumn_ : 1;
    for (int r = std::max(FixedRows, 0); r < RowCount(); ++r)
        if (Cell(keyCol, r).substr(0, prefix.size()) == prefix)
            return r;
    return -1;
}

namespace {
// a-z and the Nordic small letters to their capitals, as the Find tab does.
char typedUpper(char c) {
    switch (static_cast<unsigned char>(c)) {
    case 0xE5:
        return static_cast<char>(0xC5);
    case 0xE6:
        return static_cast<char>(0xC6);
    case 0xF8:
        return static_cast<char>(0xD8);
    default:
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    }
}
} // namespace

int SortGrid::FindRowByTypedPrefix(std::string_view prefix) const {
    const int keyCol = sortShow_ ? sortColumn_ : 1;
    std::string want(prefix);
    std::transform(want.begin(), want.end(), want.begin(), typedUpper);
    for (int r = std::max(FixedRows, 0); r < RowCount(); ++r) {
        const std::string_view t = Cell(keyCol, r);
        if (t.size() >= want.size() &&
            std::equal(want.begin(), want.end(), t.begin(),
                       [](char w, char c) { return w == typedUpper(c); }))
            return r;
    }
    return -1;
}

void SortGrid::InsertRowsAt(int row, int n) {
    if (n <= 0 || row < 0 || row > RowCount())
        return;
    d_->rows.insert(d_->rows.begin() + row, static_cast<std::size_t>(n), std::string());
    changed();
}

void SortGrid::DeleteRowsAt(int row, int n) {
    // Only rows that exist go: shrinking by more would drop rows above `row`.
    n = std::min(n, RowCount() - row);
    if (n <= 0 || row < 0)
        return;
    d_->rows.erase(d_->rows.begin() + row, d_->rows.begin() + row + n);
    clampCurrent();
    changed();
}

void SortGrid::ClearRowsAt(int row, int n) {
    const int end = std::min(row + std::max(n, 0), RowCount());
    for (int r = std::max(row, 0); r < end; ++r)
        std::string().swap(d_->rows[static_cast<std::size_t>(r)]);
    changed();
}

// --- text fitting and column sizing --------------------------------------------------

// A text's width never shrinks as it grows (no character has a negative
// advance), so the longest cut that fits with "..." is found by halving, and
// a prefix that is already too wide bounds it: a long text costs a few
// measures of about the cell's own length, never one per character.
std::string SortGrid::FitTextToWidth(std::string_view text, int width,
                                     const TextWidthFn& measure) const {
    if (!EnhTextSize || !measure)
        return std::string(text);
    const std::size_t n = text.size();
    std::size_t tooWide = n + 1; // a prefix length known not to fit, or n + 1
    for (std::size_t m = 32; m < n; m *= 2)
        if (measure(text.substr(0, m)) > width) {
            tooWide = m;
            break;
        }
    if (tooWide > n && measure(text) <= width)
        return std::string(text);
    const auto fits = [&](std::size_t k) {
        std::string cut(text.substr(0, k));
        cut += "...";
        return measure(cut) <= width;
    };
    // The longest k in [1, n - 1] (and below tooWide) whose cut fits.
    std::size_t lo = 0, hi = std::min(tooWide, n); // fits(lo) or lo = 0; !fits(hi) or hi = n
    while (hi - lo > 1) {
        const std::size_t mid = lo + (hi - lo) / 2;
        (fits(mid) ? lo : hi) = mid;
    }
    if (lo == 0)
        return {};
    std::string cut(text.substr(0, lo));
    cut += "...";
    return cut;
}

void SortGrid::SizeColumnToText(int col, const TextWidthFn& measure) {
    if (col < 0 || col >= ColCount() || !measure)
        return;
    int widest = 0;
    for (int r = 0; r < RowCount(); ++r) {
        const std::string_view t = Cell(col, r);
        if (!t.empty())
            widest = std::max(widest, measure(t));
    }
    SetColWidth(col, widest + measure("x"));
}

void SortGrid::SizeColumnsToText(int extra, const TextWidthFn& measure) {
    if (!measure)
        return;
    for (int c = std::max(FixedCols, 0); c < ColCount(); ++c) {
        SizeColumnToText(c, measure);
        SetColWidth(c, ColWidth(c) + extra);
    }
}

// --- column widths in the settings store ---------------------------------------------

bool SortGrid::columnSizeActive() const {
    return ColumnSize.Save && !ColumnSize.Key.empty() && !ColumnSize.Section.empty();
}

void SortGrid::LoadColumnWidths(RegistryKey& key) {
    if (!columnSizeActive() || !key.open(false))
        return;
    KeyCloser closer(key);
    for (int c = 0; c < ColCount(); ++c) {
        const auto v = key.queryValue("col" + std::to_string(c));
        if (!v || (v->type != kRegSz && v->type != kRegExpandSz))
            continue;
        std::string text = v->data;
        if (const auto zero = text.find('\0'); zero != std::string::npos)
            text.resize(zero);
        std::int32_t width = 0;
        // A value that is not a plain width leaves the column as it is.
        if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
            !gridTextToInt(text, width))
            continue;
        SetColWidth(c, width);
    }
}

void SortGrid::SaveColumnWidths(RegistryKey& key) const {
    if (!columnSizeActive() || !key.open(true))
        return;
    KeyCloser closer(key);
    for (int c = 0; c < ColCount(); ++c)
        key.writeText("col" + std::to_string(c), std::to_string(ColWidth(c)));
}

} // namespace zorv
