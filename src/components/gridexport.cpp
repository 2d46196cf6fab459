#include "components/gridexport.h"

#include "userfile/errors.h"
#include "userfile/fd.h"
#include "userfile/pathparts.h"
#include "userfile/userfile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <stdexcept>
#include <vector>

namespace zorv {

namespace {

// How far ahead the row passes ask for rows: enough to cover a memory miss.
constexpr int kPrefetchRows = 16;

constexpr std::string_view kCrLf = "\r\n";
// What a colour callback leaves in place when it has no colour to give.
constexpr std::uint32_t kNoColor = 0x1FFFFFFF;

// Callers type these texts; a browser must show them, not run them.
void appendHtmlText(std::string& out, std::string_view cell) {
    if (cell.empty()) {
        out += "<br>";
        return;
    }
    std::string shown;
    if (cell.find('&') != std::string_view::npos) {
        shown = shownCellText(cell);
        cell = shown;
    }
    for (const char ch : cell) {
        switch (ch) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += ch;
        }
    }
}

std::string colorToHtmlHex(std::uint32_t color) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (int shift : {0, 8, 16}) { // red is the lowest byte
        const unsigned byte = (color >> shift) & 0xFF;
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
    }
    return out;
}

std::string_view alignmentAttribute(const SortGrid& grid, int col, int row) {
    if (!grid.OnGetAlignment || grid.Cell(col, row).empty())
        return {};
    TAlignment a = taLeftJustify;
    grid.OnGetAlignment(row, col, a);
    switch (a) {
    case taRightJustify:
        return " align=\"right\"";
    case taCenter:
        return " align=\"center\"";
    default:
        return {};
    }
}

// The clipboard's form keeps the stored bytes; the files' carry what the
// grid shows.
void appendJoined(std::string& out, const SortGrid& grid, int row, int left, int right, char sep,
                  bool shown) {
    for (int c = left; c <= right; ++c) {
        if (c > left)
            out += sep;
        if (shown)
            appendShownCellText(out, grid.Cell(c, row));
        else
            out += grid.Cell(c, row);
    }
}

void appendShownCsvCell(std::string& out, std::string_view cell) {
    if (cell.find('&') == std::string_view::npos) {
        appendCsvCell(out, cell);
        return;
    }
    appendCsvCell(out, shownCellText(cell));
}

int writeWhole(os::Handle fd, std::string_view bytes) {
    if (!os::writeAt(fd, bytes.data(), bytes.size(), 0))
        return errno;
    if (!os::truncate(fd, static_cast<os::Offset>(bytes.size())))
        return errno;
    return os::flush(fd) ? 0 : errno;
}

// A folder we may not add files to, holding a target we may change: the
// file is rewritten where it is, and put back as it was when that fails.
// False when this is not such a case.
bool writeInPlace(const std::string& path, std::string_view bytes) {
    // A link's target is what gets replaced, so its folder is the one that counts.
    const std::string real = os::realPath(path).value_or(path);
    if (os::writable(dirOf(real)))
        return false;
    const os::Handle fd = os::open(path, os::kReadWrite | os::kNoWait);
    if (!os::isOpen(fd))
        return false;
    os::FileInfo st;
    std::string old;
    if (!os::info(fd, st) || st.kind != os::Kind::Regular || !os::readAll(fd, old)) {
        os::close(fd);
        return false;
    }
    const int err = writeWhole(fd, bytes);
    if (err != 0)
        (void)writeWhole(fd, old);
    os::close(fd);
    if (err != 0)
        throw ioErrorFromErrno(err);
    return true;
}

enum class Form { Plain, Html };

// Collects the text and hands it on in pieces of about 64 KB, so a million
// rows never stand in memory a second time.
class Chunker {
  public:
    explicit Chunker(const TextSink& sink) : sink_(sink) { buf_.reserve(kChunk + 1024); }
    std::string& out() { return buf_; }
    void rowDone() {
        if (buf_.size() >= kChunk)
            flush();
    }
    void flush() {
        if (!buf_.empty())
            sink_(buf_);
        buf_.clear();
    }

  private:
    static constexpr std::size_t kChunk = 1 << 16;
    const TextSink& sink_;
    std::string buf_;
};

std::string collect(const std::function<void(const TextSink&)>& produce) {
    std::string all;
    produce([&](std::string_view piece) { all += piece; });
    return all;
}

void writeExport(const std::string& path, std::string_view bytes, Form form) {
    try {
        try {
            writeFileAtomically(path, bytes);
        } catch (const IoError& e) {
            if (e.code() != kFileAccessDenied || !writeInPlace(path, bytes))
                throw;
        }
    } catch (const IoError& e) {
        const int code = e.code();
        const bool notCreated =
            code == kFileAccessDenied || code == kFileNotFound || code == kInvalidFilename;
        if (form == Form::Html && notCreated)
            throw IoError(code, "Cannot create file " + path);
        throw IoError(code, ioErrorText(code) + ": " + path);
    }
}

} // namespace

// A cell other programs would split or merge is quoted, quotes doubled.
void appendCsvCell(std::string& out, std::string_view cell) {
    // A plain loop: find_first_of searches the four characters once a byte.
    bool quote = false;
    for (const char ch : cell)
        quote |= ch == ',' || ch == '"' || ch == '\r' || ch == '\n';
    if (!quote) {
        out += cell;
        return;
    }
    out += '"';
    for (const char ch : cell) {
        if (ch == '"')
            out += '"';
        out += ch;
    }
    out += '"';
}

void tabbedText(const SortGrid& grid, const TextSink& sink) {
    Chunker ch(sink);
    std::string& out = ch.out();
    for (int r = 1; r < grid.RowCount(); ++r) {
        grid.PrefetchRow(r + kPrefetchRows);
        appendJoined(out, grid, r, 0, grid.ColCount() - 1, '\t', true);
        out += kCrLf;
        ch.rowDone();
    }
    ch.flush();
}

std::string tabbedText(const SortGrid& grid) {
    return collect([&](const TextSink& sink) { tabbedText(grid, sink); });
}

void csvText(const SortGrid& grid, const TextSink& sink) {
    Chunker ch(sink);
    std::string& out = ch.out();
    for (int r = 0; r < grid.RowCount(); ++r) {
        grid.PrefetchRow(r + kPrefetchRows);
        for (int c = 0; c < grid.ColCount(); ++c) {
            if (c > 0)
                out += ',';
            appendShownCsvCell(out, grid.Cell(c, r));
        }
        out += kCrLf;
        ch.rowDone();
    }
    ch.flush();
}

std::string csvText(const SortGrid& grid) {
    return collect([&](const TextSink& sink) { csvText(grid, sink); });
}

void htmlText(const SortGrid& grid, std::string_view borderColor, const TextSink& sink) {
    const std::string fixedBackground = " BGCOLOR=\"#" + std::string(borderColor) + "\"";
    Chunker ch(sink);
    std::string& out = ch.out();
    out += "<table border=1>\r\n";
    int first = 0;
    if (grid.FixedRows > 0) {
        out += "<tr>\r\n";
        for (int c = 0; c < grid.ColCount(); ++c) {
            out += "<td nowrap";
            out += alignmentAttribute(grid, c, 0);
            out += fixedBackground;
            out += "><B>";
            appendHtmlText(out, grid.Cell(c, 0));
            out += "</B></td>\r\n";
        }
        out += "</tr>\r\n";
        first = 1;
    }
    for (int r = first; r < grid.RowCount(); ++r) {
        out += "<tr>\r\n";
        for (int c = 0; c < grid.ColCount(); ++c) {
            out += "<td nowrap";
            out += alignmentAttribute(grid, c, r);
            std::string_view fontEnd;
            if (c < grid.FixedCols || r < grid.FixedRows) {
                out += fixedBackground;
                out += '>';
            } else if (grid.OnGetCellColor) {
                std::uint32_t brush = kNoColor, font = kNoColor;
                grid.OnGetCellColor(r, c, 0, brush, font);
                if (brush != kNoColor)
                    out += " BGCOLOR=\"#" + colorToHtmlHex(brush) + "\"";
                out += '>';
                if (font != kNoColor) {
                    out += "<font color=\"#" + colorToHtmlHex(font) + "\">";
                    fontEnd = "</font>";
                }
            } else {
                out += '>';
            }
            appendHtmlText(out, grid.Cell(c, r));
            out += fontEnd;
            out += "</td>\r\n";
        }
        out += "</tr>\r\n";
        ch.rowDone();
    }
    out += "</table><p>\r\n";
    ch.flush();
}

std::string htmlText(const SortGrid& grid, std::string_view borderColor) {
    return collect([&](const TextSink& sink) { htmlText(grid, borderColor, sink); });
}

void rangeText(const SortGrid& grid, TGridRect range, const TextSink& sink) {
    Chunker ch(sink);
    std::string& out = ch.out();
    for (int r = range.Top; r <= range.Bottom; ++r) {
        if (r > range.Top)
            out += kCrLf;
        appendJoined(out, grid, r, range.Left, range.Right, '\t', false);
        ch.rowDone();
    }
    ch.flush();
}

std::string selectionText(const SortGrid& grid) {
    return collect([&](const TextSink& sink) { rangeText(grid, grid.Selection(), sink); });
}

std::string cutSelection(SortGrid& grid) {
    std::string text = selectionText(grid);
    const TGridRect s = grid.Selection();
    for (int r = s.Top; r <= s.Bottom; ++r)
        for (int c = s.Left; c <= s.Right; ++c)
            grid.SetCell(c, r, {});
    return text;
}

void pasteText(SortGrid& grid, std::string_view text, int col, int row) {
    if (col < 0 || row < 0 || row >= grid.RowCount())
        return;
    if (const auto nul = text.find('\0'); nul != std::string_view::npos)
        text = text.substr(0, nul);
    // A final line break ends the last line; it does not start an empty one.
    if (text.ends_with(kCrLf))
        text.remove_suffix(2);
    // The lines and their pieces first, so that the grid grows once to its
    // final shape and each row is rewritten once: a line of 200,000 tabs
    // must not grow the grid one column at a time.
    std::vector<std::vector<std::string_view>> lines;
    std::size_t widest = 0;
    for (std::size_t at = 0;;) {
        const std::size_t cr = text.find('\r', at);
        const std::string_view line =
            text.substr(at, cr == std::string_view::npos ? std::string_view::npos : cr - at);
        // Pieces are taken whole, however long.
        std::vector<std::string_view> pieces;
        for (std::size_t p = 0;;) {
            const std::size_t tab = line.find('\t', p);
            pieces.push_back(line.substr(p, tab == std::string_view::npos ? tab : tab - p));
            if (tab == std::string_view::npos)
                break;
            p = tab + 1;
        }
        widest = std::max(widest, pieces.size());
        lines.push_back(std::move(pieces));
        if (cr == std::string_view::npos || cr + 1 == text.size())
            break; // the text's end, or a CR that is its last character
        at = cr + 1;
        if (text[at] == '\n')
            ++at; // only a line feed belongs to the break
    }
    struct Batch {
        SortGrid& g;
        explicit Batch(SortGrid& grid) : g(grid) { g.BeginUpdate(); }
        ~Batch() { g.EndUpdate(); }
    } batch(grid);
    const auto cols = static_cast<std::size_t>(col) + widest;
    const auto rows = static_cast<std::size_t>(row) + lines.size();
    if (cols > static_cast<std::size_t>(INT_MAX) || rows > static_cast<std::size_t>(INT_MAX))
        throw std::length_error("the pasted text is too large for the grid");
    grid.SetColCount(std::max(grid.ColCount(), static_cast<int>(cols)));
    grid.SetRowCount(std::max(grid.RowCount(), static_cast<int>(rows)));
    for (std::size_t k = 0; k < lines.size(); ++k)
        grid.SetCells(col, row + static_cast<int>(k), lines[k]);
}

void WriteTabbedFile(const SortGrid& grid, const std::string& path) {
    writeExport(path, tabbedText(grid), Form::Plain);
}

void WriteCsvFile(const SortGrid& grid, const std::string& path) {
    writeExport(path, csvText(grid), Form::Plain);
}

void WriteHtmlFile(const SortGrid& grid, const std::string& path, std::string_view borderColor) {
    writeExport(path, htmlText(grid, borderColor), Form::Html);
}

} // namespace zorv
