#include "components/sortgrid.h"

#include "components/gridvalues.h"
#include "components/rangepool.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <utility>

namespace zorv {

// --- row storage ---------------------------------------------------------------
//
// A row is its cells in column order, each a length (one byte, or 0xFF and
// four bytes for 255 and more) followed by the text. Missing trailing cells
// are empty. Rows are written one after another into blocks of a quarter
// megabyte, as they are made: a build of a million rows costs a few hundred
// allocations, not a million, and its rows lie in memory in the order they
// were built, which every later pass over them reads fastest. A changed row
// is written anew; a block goes with the last row that lies in it. Rows
// only read on other threads (a sort, the filter): blocks are counted on the
// grid's own thread.

namespace {

constexpr unsigned char kLongCell = 0xFF;
constexpr std::size_t kBlockBytes = 256 * 1024;

struct RowBlock {
    std::size_t live = 0; // rows in it, and one while it takes new rows
    std::size_t used = 0;
    std::size_t capacity = 0;
    char* bytes() { return reinterpret_cast<char*>(this + 1); }
};

void release(RowBlock* b) noexcept {
    if (b && --b->live == 0)
        ::operator delete(b);
}

RowBlock* newBlock(std::size_t capacity) {
    auto* b = static_cast<RowBlock*>(::operator new(sizeof(RowBlock) + capacity));
    return new (b) RowBlock{0, 0, capacity};
}

} // namespace

class SortGrid::RowData {
  public:
    RowData() = default;
    RowData(RowData&& o) noexcept : data_(o.data_), block_(o.block_), size_(o.size_) { o.clear(); }
    RowData& operator=(RowData&& o) noexcept {
        if (this != &o) {
            release(block_);
            data_ = o.data_;
            block_ = o.block_;
            size_ = o.size_;
            o.clear();
        }
        return *this;
    }
    RowData(const RowData&) = delete;
    RowData& operator=(const RowData&) = delete;
    ~RowData() { release(block_); }

    std::string_view bytes() const { return {data_, size_}; }
    const RowBlock* block() const { return block_; }
    // Cells cut off at the end need no new bytes.
    void shrink(std::size_t size) { size_ = size; }
    void reset() {
        release(block_);
        clear();
    }

  private:
    friend class SortGrid::RowMaker;
    void clear() {
        data_ = nullptr;
        block_ = nullptr;
        size_ = 0;
    }
    const char* data_ = nullptr;
    RowBlock* block_ = nullptr;
    std::size_t size_ = 0;
};

// Where a grid writes its new rows. A row too large to share a block well
// gets one of its own.
class SortGrid::RowMaker {
  public:
    RowMaker() = default;
    RowMaker(const RowMaker&) = delete;
    RowMaker& operator=(const RowMaker&) = delete;
    ~RowMaker() { release(open_); }

    // A row of `size` bytes, to be written at `out` before anything else
    // is made.
    RowData make(std::size_t size, char*& out) {
        RowData row;
        if (size == 0) {
            out = nullptr;
            return row;
        }
        RowBlock* b = nullptr;
        if (size > kBlockBytes / 8) {
            b = newBlock(size);
        } else {
            if (!open_ || open_->capacity - open_->used < size) {
                release(open_);
                open_ = nullptr;
                open_ = newBlock(kBlockBytes);
                open_->live = 1;
            }
            b = open_;
        }
        out = b->bytes() + b->used;
        b->used += size;
        ++b->live;
        row.data_ = out;
        row.block_ = b;
        row.size_ = size;
        return row;
    }

    RowData copyOf(std::string_view bytes) {
        char* out = nullptr;
        RowData row = make(bytes.size(), out);
        if (!bytes.empty())
            std::memcpy(out, bytes.data(), bytes.size());
        return row;
    }

  private:
    RowBlock* open_ = nullptr;
};

namespace {

using RowData = SortGrid::RowData;

struct CellSpan {
    std::size_t head; // where the length starts
    std::size_t text; // where the text starts
    std::size_t size; // text bytes
};

std::size_t readLength(std::string_view row, std::size_t at, std::size_t& text) {
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
bool findCell(std::string_view row, int col, CellSpan& span, int& skipped) {
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

std::size_t cellBytes(std::string_view text) {
    return text.size() + (text.size() < kLongCell ? 1 : 5);
}

// Writes the cell at `out` and returns the end.
char* writeCell(char* out, std::string_view text) {
    if (text.size() < kLongCell) {
        *out++ = static_cast<char>(text.size());
    } else {
        const auto n = static_cast<std::uint32_t>(text.size());
        *out++ = static_cast<char>(kLongCell);
        for (int k = 0; k < 4; ++k)
            *out++ = static_cast<char>((n >> (8 * k)) & 0xFF);
    }
    if (!text.empty())
        std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

void appendCell(std::string& row, std::string_view text) {
    const std::size_t at = row.size();
    row.resize(at + cellBytes(text));
    writeCell(row.data() + at, text);
}

void prefetchRow(const RowData& row) noexcept {
#if defined(__GNUC__)
    const std::string_view b = row.bytes();
    __builtin_prefetch(b.data());
    if (b.size() > 64)
        __builtin_prefetch(b.data() + 64);
#else
    (void)row;
#endif
}

std::string_view cellOf(std::string_view row, int col) {
    CellSpan s;
    int skipped = 0;
    if (col < 0 || !findCell(row, col, s, skipped))
        return {};
    return row.substr(s.text, s.size);
}

// The row's bytes with cell `col` holding `text`.
std::string withCell(std::string_view row, int col, std::string_view text) {
    CellSpan s;
    int skipped = 0;
    std::string out;
    if (findCell(row, col, s, skipped)) {
        out.reserve(row.size() - (s.text + s.size - s.head) + cellBytes(text));
        out.append(row.substr(0, s.head));
        appendCell(out, text);
        out.append(row.substr(s.text + s.size));
        return out;
    }
    out.reserve(row.size() + static_cast<std::size_t>(col - skipped) + cellBytes(text));
    out.append(row);
    out.append(static_cast<std::size_t>(col - skipped), '\0');
    appendCell(out, text);
    return out;
}

// Drops cells from `cols` on.
void truncateCells(RowData& row, int cols) {
    CellSpan s;
    int skipped = 0;
    if (findCell(row.bytes(), cols, s, skipped))
        row.shrink(s.head);
}

template <class Cells> RowData encodeRow(SortGrid::RowMaker& maker, const Cells& cells, int cols) {
    std::size_t last = std::min(cells.size(), static_cast<std::size_t>(cols));
    while (last > 0 && cells[last - 1].empty())
        --last;
    std::size_t bytes = 0;
    for (std::size_t c = 0; c < last; ++c)
        bytes += cellBytes(cells[c]);
    char* out = nullptr;
    RowData row = maker.make(bytes, out);
    for (std::size_t c = 0; c < last; ++c)
        out = writeCell(out, cells[c]);
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
    ColumnReader(const std::vector<RowData>& rows, int first, int colCount)
        : rows_(rows), first_(static_cast<std::size_t>(first)), colCount_(colCount) {}

    std::string_view text(int c, std::size_t r) const {
        return c < colCount_ ? cellOf(rows_[first_ + r].bytes(), c) : std::string_view();
    }

    // Thrown by a build that `stop` called off.
    struct Stopped {};

    void build(int c, ColumnKeys& out, const DatePattern& dates,
               const std::atomic<bool>* stop = nullptr) {
        const std::size_t n = rows_.size() - first_;
        // Rows read in grid order lie scattered after a sort: each is asked
        // for a few rows ahead, or the pass waits on every one in turn.
        const auto textAt = [&](std::size_t r) {
            if (first_ + r + kAhead < rows_.size())
                prefetchRow(rows_[first_ + r + kAhead]);
            if (stop && (r & 0xFFF) == 0 && stop->load(std::memory_order_relaxed))
                throw Stopped{};
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
    const std::vector<RowData>& rows_;
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
    RowMaker maker;
    std::vector<RowData> rows;
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
        for (RowData& r : d_->rows)
            truncateCells(r, n);
    d_->colCount = n;
    d_->widths.resize(static_cast<std::size_t>(n), -1);
    clampCurrent();
    changed();
}

std::string_view SortGrid::Cell(int col, int row) const {
    if (row < 0 || row >= RowCount() || col < 0 || col >= ColCount())
        return {};
    return cellOf(d_->rows[static_cast<std::size_t>(row)].bytes(), col);
}

void SortGrid::RowTexts(int row, std::vector<std::string_view>& out) const {
    out.assign(static_cast<std::size_t>(ColCount()), std::string_view());
    if (row < 0 || row >= RowCount())
        return;
    const std::string_view r = d_->rows[static_cast<std::size_t>(row)].bytes();
    std::size_t at = 0;
    for (std::size_t c = 0; c < out.size() && at < r.size(); ++c) {
        std::size_t text = 0;
        const std::size_t n = readLength(r, at, text);
        out[c] = r.substr(text, n);
        at = text + n;
    }
}

bool SortGrid::anyCell(int row, const void* match,
                       bool (*test)(const void*, std::string_view)) const {
    if (row < 0 || row >= RowCount())
        return false;
    const std::string_view r = d_->rows[static_cast<std::size_t>(row)].bytes();
    std::size_t at = 0;
    for (int c = 0; c < ColCount(); ++c) {
        std::string_view cell;
        if (at < r.size()) {
            std::size_t text = 0;
            const std::size_t n = readLength(r, at, text);
            cell = r.substr(text, n);
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
    RowData& r = d_->rows[static_cast<std::size_t>(row)];
    CellSpan s;
    int skipped = 0;
    // Missing cells are empty already.
    if (!text.empty() || findCell(r.bytes(), col, s, skipped))
        r = d_->maker.copyOf(withCell(r.bytes(), col, text));
    changed();
}

void SortGrid::CopyRow(int from, int to) {
    if (from < 0 || from >= RowCount() || to < 0 || to >= RowCount())
        throw std::out_of_range("grid row outside the grid");
    if (from == to)
        return;
    d_->rows[static_cast<std::size_t>(to)] =
        d_->maker.copyOf(d_->rows[static_cast<std::size_t>(from)].bytes());
    changed();
}

void SortGrid::SetDataRows(std::vector<std::vector<std::string>>&& rows) {
    const auto fixed = static_cast<std::size_t>(std::max(FixedRows, 0));
    std::vector<RowData> all;
    all.reserve(fixed + rows.size());
    for (std::size_t r = 0; r < fixed; ++r)
        all.push_back(r < d_->rows.size() ? std::move(d_->rows[r]) : RowData());
    for (auto& cells : rows) {
        all.push_back(encodeRow(d_->maker, cells, d_->colCount));
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
    d_->rows[static_cast<std::size_t>(row)] = encodeRow(d_->maker, cells, d_->colCount);
    changed();
}

void SortGrid::PartitionRows(const std::vector<char>& keep, SortGrid& rest) {
    const auto fixed = static_cast<std::size_t>(std::clamp(FixedRows, 0, RowCount()));
    if (&rest == this || rest.ColCount() != ColCount() || keep.size() != d_->rows.size() - fixed)
        throw std::invalid_argument("a partition needs another grid of the same columns and a "
                                    "choice for every data row");
    std::vector<RowData> stay;
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
    std::vector<RowData> all;
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
    const std::string_view old = d_->rows[static_cast<std::size_t>(row)].bytes();
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
        out.append(old.substr(at, text + len - at));
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
        out.append(old.substr(at));
    d_->rows[static_cast<std::size_t>(row)] = d_->maker.copyOf(out);
    changed();
}

void SortGrid::ReserveRows(int n) {
    d_->rows.reserve(static_cast<std::size_t>(std::max(n, 0)));
}

std::size_t SortGrid::MemoryBytes() const {
    std::size_t bytes =
        sizeof(Impl) + d_->rows.capacity() * sizeof(RowData) + d_->widths.capacity() * sizeof(int);
    std::vector<const RowBlock*> blocks;
    for (const RowData& r : d_->rows)
        if (r.block() && (blocks.empty() || blocks.back() != r.block()))
            blocks.push_back(r.block());
    std::sort(blocks.begin(), blocks.end());
    blocks.erase(std::unique(blocks.begin(), blocks.end()), blocks.end());
    for (const RowBlock* b : blocks)
        bytes += sizeof(RowBlock) + b->capacity;
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

// The comparison keys of one sort: the sort column's, one per data row, in
// the array the quicksort moves (the keys carry their rows), and the
// tie-break columns', built once each when enough rows reach them, by
// whichever thread first needs them. compare() gives what CompareRows gives.
class SortKeys {
  public:
    // What one thread counts on its own: tie compares per column before the
    // column's keys exist.
    using Counts = std::vector<std::size_t>;

    SortKeys(const std::vector<RowData>& rows, int first, int colCount, int sortCol,
             const std::vector<int>& styles, const DatePattern& dates)
        : reader_(rows, first, colCount), dates_(dates),
          firstRow_(static_cast<std::uint32_t>(first)), colCount_(colCount), sortCol_(sortCol),
          tieColumns_(static_cast<int>(styles.size())), columns_(new ColumnKeys[styles.size()]),
          // A tie column is read whole once more than a few rows have reached
          // it; until then the rows' cells are compared as they are.
          fewRows_(std::max<std::size_t>(16, (rows.size() - static_cast<std::size_t>(first)) / 16)),
          tiesFrom_(sortCol) {
        for (std::size_t k = 0; k < styles.size(); ++k)
            columns_[k].style = styles[k];
    }

    ~SortKeys() { stopAhead(); }

    Counts counts() const { return Counts(static_cast<std::size_t>(tieColumns_), 0); }

    // The sort column's keys, in grid order.
    std::vector<Key> sortColumn() {
        startAhead();
        std::vector<Key> e = packedKeys();
        stopAhead();
        return e;
    }

    std::vector<Key> packedKeys() {
        std::vector<Key> e;
        ColumnKeys& k = column(sortCol_);
        if (!k.ranked) {
            e.swap(k.keys);
            return e;
        }
        // Texts that tie a lot (names, streets, cities): the ranks of the
        // text columns after them join the key, as many as 64 bits hold,
        // while the columns so far can still tie a lot. Those ties then
        // never leave the array; the few left go to the tie columns.
        const std::size_t count = k.rank.size();
        e.resize(count);
        for (std::size_t r = 0; r < count; ++r)
            e[r] = Key{k.rank[r], 0, firstRow_ + static_cast<std::uint32_t>(r)};
        std::vector<std::uint32_t>().swap(k.rank);
        const auto bitsFor = [](std::size_t distinct) {
            int b = 0;
            while (b < 64 && (std::uint64_t{1} << b) < distinct)
                ++b;
            return b;
        };
        // At least a sixteenth of the rows tie with another, for all these
        // columns can tell (their combinations, at best).
        const auto manyTies = [count](double combinations) {
            return std::min(combinations, static_cast<double>(count)) +
                       static_cast<double>(count / 16) <=
                   static_cast<double>(count);
        };
        int bits = bitsFor(k.distinct);
        double combinations = static_cast<double>(k.distinct);
        for (int c = sortCol_ + 1; c <= colCount_ - 2 && manyTies(combinations); ++c) {
            ColumnKeys& kc = keysOf(c);
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
            tiesFrom_ = c;
        }
        return e;
    }

    int compare(Counts& w, const Key& a, const Key& b) {
        const auto textOf = [this](const Key& k) {
            return reader_.text(sortCol_, k.row - firstRow_);
        };
        int r = compareKeys(columns_[0].style, a, b, textOf);
        if (r != 0)
            return r;
        const bool self = a.row == b.row;
        for (int c = tiesFrom_; r == 0 && c < colCount_ - 2;) {
            ++c;
            // A row against itself (the pivot's own row) ties on every
            // column; only a bad cell would still raise, and text never does.
            if (self && keysOf(c).style == ssText)
                continue;
            r = compareTie(w, c, a.row, b.row);
        }
        return r;
    }

  private:
    ColumnKeys& keysOf(int c) { return columns_[static_cast<std::size_t>(c - sortCol_)]; }

    // While this thread ranks the sort column, another ranks the text
    // columns after it, in order, which the key may take in or the ties
    // reach; called off once the key is made.
    void startAhead() {
        if (sortCol_ + 1 > colCount_ - 2 || keysOf(sortCol_ + 1).style != ssText)
            return;
        try {
            ahead_ = std::thread([this] { buildAhead(); });
        } catch (const std::system_error&) {
            // no thread to be had: this one builds them when it needs them
        }
    }

    void stopAhead() {
        stopAhead_.store(true, std::memory_order_relaxed);
        if (ahead_.joinable())
            ahead_.join();
    }

    void buildAhead() {
        for (int c = sortCol_ + 1; c <= colCount_ - 2; ++c) {
            ColumnKeys& k = keysOf(c);
            if (k.style != ssText || k.built.load(std::memory_order_acquire))
                break;
            {
                std::lock_guard<std::mutex> hold(aheadLock_);
                if (stopAhead_.load(std::memory_order_relaxed))
                    break;
                aheadAt_ = c;
            }
            bool done = false;
            try {
                ColumnKeys made;
                made.style = k.style;
                reader_.build(c, made, dates_, &stopAhead_);
                std::call_once(k.once, [&] {
                    k.ranked = made.ranked;
                    k.distinct = made.distinct;
                    k.rank.swap(made.rank);
                    k.keys.swap(made.keys);
                    k.built.store(true, std::memory_order_release);
                });
                done = true;
            } catch (...) {
                // called off, or out of memory: whoever needs the column builds it
            }
            {
                std::lock_guard<std::mutex> hold(aheadLock_);
                aheadAt_ = -1;
            }
            aheadDone_.notify_all();
            if (!done)
                break;
        }
    }

    ColumnKeys& column(int c) {
        ColumnKeys& k = keysOf(c);
        if (!k.built.load(std::memory_order_acquire)) {
            // Never built twice at once: a column the other thread builds is waited for.
            std::unique_lock<std::mutex> hold(aheadLock_);
            aheadDone_.wait(hold, [&] { return aheadAt_ != c; });
        }
        std::call_once(k.once, [&] {
            reader_.build(c, k, dates_);
            k.built.store(true, std::memory_order_release);
        });
        return k;
    }

    int compareTie(Counts& w, int c, std::uint32_t a, std::uint32_t b) {
        const auto textOf = [this, c](const Key& k) { return reader_.text(c, k.row - firstRow_); };
        ColumnKeys& k = keysOf(c);
        if (!k.built.load(std::memory_order_acquire)) {
            if (++w[static_cast<std::size_t>(c - sortCol_)] < fewRows_) {
                const std::string_view ta = reader_.text(c, a - firstRow_);
                const std::string_view tb = reader_.text(c, b - firstRow_);
                if (k.style == ssText)
                    return compareTexts(ta, tb);
                return compareKeys(k.style, makeKey(k.style, ta, a, dates_),
                                   makeKey(k.style, tb, b, dates_), textOf);
            }
            column(c);
        }
        if (k.ranked) {
            const std::uint32_t x = k.rank[a - firstRow_], y = k.rank[b - firstRow_];
            return x == y ? 0 : x < y ? -1 : 1;
        }
        return compareKeys(k.style, k.keys[a - firstRow_], k.keys[b - firstRow_], textOf);
    }

    ColumnReader reader_;
    const DatePattern& dates_;
    const std::uint32_t firstRow_;
    const int colCount_;
    const int sortCol_;
    const int tieColumns_;
    std::unique_ptr<ColumnKeys[]> columns_; // sortCol_ and the tie columns after it
    const std::size_t fewRows_;
    int tiesFrom_; // the tie loop goes on after this column
    std::thread ahead_;
    std::atomic<bool> stopAhead_{false};
    std::mutex aheadLock_;
    std::condition_variable aheadDone_;
    int aheadAt_ = -1; // the column the other thread builds now
};

// One range of the classic in-place quicksort through a middle pivot, in the
// order of its recursive form: the left part is done here, the right part
// pushed for later (by this thread or another).
template <class Compare>
void quicksortRange(std::vector<Key>& e, IndexRange r, int sign, Compare&& compare,
                    RangePool::Local& local) {
    int lo = r.lo, hi = r.hi;
    for (;;) {
        const Key pivot = e[static_cast<std::size_t>(lo + (hi - lo) / 2)];
        int i = lo, j = hi;
        do {
            while (compare(pivot, e[static_cast<std::size_t>(i)]) == sign)
                ++i;
            while (compare(e[static_cast<std::size_t>(j)], pivot) == sign)
                --j;
            if (i <= j) {
                if (i != j)
                    std::swap(e[static_cast<std::size_t>(i)], e[static_cast<std::size_t>(j)]);
                ++i;
                --j;
            }
        } while (i <= j);
        local.settle(std::max(i - j - 1, 0) + (j == lo ? 1 : 0) + (i == hi ? 1 : 0));
        if (i < hi)
            local.push(IndexRange{i, hi});
        local.tick();
        if (lo >= j)
            break;
        hi = j;
    }
}

// Data row k (row first + k) takes the row from(k) names; the rows before
// `first` stay. Each row is read once, a few ahead. Returns where row
// `follow` went.
template <class From>
int gatherRows(std::vector<RowData>& rows, std::size_t first, From&& from, int follow) {
    std::vector<RowData> out;
    out.reserve(rows.size());
    for (std::size_t r = 0; r < first; ++r)
        out.push_back(std::move(rows[r]));
    const std::size_t n = rows.size() - first;
    int followed = follow;
    for (std::size_t k = 0; k < n; ++k) {
#if defined(__GNUC__)
        if (k + 16 < n)
            __builtin_prefetch(&rows[from(k + 16)]);
#endif
        const std::size_t at = from(k);
        if (static_cast<int>(at) == follow)
            followed = static_cast<int>(out.size());
        out.push_back(std::move(rows[at]));
    }
    rows.swap(out);
    return followed;
}

// `Sorting()` for as long as a sort runs, whichever way it ends.
class SortingMark {
  public:
    explicit SortingMark(bool& flag) : flag_(flag) { flag_ = true; }
    ~SortingMark() { flag_ = false; }
    SortingMark(const SortingMark&) = delete;
    SortingMark& operator=(const SortingMark&) = delete;

  private:
    bool& flag_;
};

} // namespace

void SortGrid::SortRows() {
    const int first = std::max(FixedRows, 0);
    const int n = RowCount() - first;
    if (n < 2 || sorting_)
        return;
    const SortingMark mark(sorting_);

    // Keys a quarter of the work, the sort the rest; no row moves before the end.
    const std::int64_t total = 2 * static_cast<std::int64_t>(n);
    if (OnProgress)
        OnProgress(0, total);
    const int lastCol = std::max(sortColumn_, ColCount() - 2); // the last that breaks a tie
    // The windows answer the style per column, so it is asked once per sort.
    std::vector<int> styles;
    for (int c = sortColumn_; c <= lastCol; ++c)
        styles.push_back(styleOf(c));
    auto keys =
        std::make_unique<SortKeys>(d_->rows, first, ColCount(), sortColumn_, styles, DateFormat);
    std::vector<Key> e = keys->sortColumn();
    if (OnProgress)
        OnProgress(n / 2, total);

    RangePool::Report report;
    if (OnProgress)
        report = [this, n, total](std::int64_t settled) {
            OnProgress(n / 2 + settled * 3 / 2, total);
        };
    RangePool pool(kShareFrom, report);
    const int threads = n >= kThreadsFrom ? std::clamp(SortThreads, 1, 64) : 1;
    std::vector<SortKeys::Counts> counts(static_cast<std::size_t>(threads), keys->counts());
    const int sign = SortDirection == sdDescending ? -1 : 1;
    pool.run(IndexRange{0, n - 1}, threads, [&](IndexRange r, RangePool::Local& local) {
        SortKeys::Counts& w = counts[static_cast<std::size_t>(local.worker())];
        quicksortRange(
            e, r, sign, [&](const Key& a, const Key& b) { return keys->compare(w, a, b); }, local);
    });
    keys.reset(); // the tie columns' keys go before the rows are gathered
    if (OnProgress)
        OnProgress(total, total); // before a row moves: its error still leaves them

    d_->row = gatherRows(
        d_->rows, static_cast<std::size_t>(first), [&](std::size_t k) { return e[k].row; },
        d_->row);
    d_->sel = {d_->col, d_->row, d_->col, d_->row};
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
    const SortingMark mark(sorting_);

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

    // The new order: the staying rows with each mover after the at[k] before it.
    std::vector<int> order;
    order.reserve(static_cast<std::size_t>(n));
    std::size_t s = 0;
    for (std::size_t k = 0; k <= movers.size(); ++k) {
        const std::size_t upTo = k < movers.size() ? at[k] : stay.size();
        for (; s < upTo; ++s)
            order.push_back(stay[s]);
        if (k < movers.size())
            order.push_back(movers[k]);
    }
    std::vector<int> newRow(d_->rows.size(), -1);
    for (std::size_t k = 0; k < order.size(); ++k)
        newRow[static_cast<std::size_t>(order[k])] = first + static_cast<int>(k);
    d_->row = gatherRows(
        d_->rows, static_cast<std::size_t>(first),
        [&](std::size_t k) { return static_cast<std::size_t>(order[k]); }, d_->row);
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
    std::vector<RowData> empty(static_cast<std::size_t>(n));
    d_->rows.insert(d_->rows.begin() + row, std::make_move_iterator(empty.begin()),
                    std::make_move_iterator(empty.end()));
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
        d_->rows[static_cast<std::size_t>(r)].reset();
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

} // namespace zorv
