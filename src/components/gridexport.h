#pragma once
// The forms in which a grid's cells leave the program: tab-separated text,
// CSV, an HTML table and the clipboard text, and the paste of clipboard text.
// Texts are the grid's cp1252 bytes; lines end in CR LF. The three file
// forms carry each text as the grid shows it ("&&" one "&"); the clipboard
// text keeps the stored bytes, so that a paste gives them back.

#include "components/sortgrid.h"

#include <functional>
#include <string>
#include <string_view>

namespace zorv {

// Data rows only, cells joined by TAB, every line ending in CR LF.
std::string tabbedText(const SortGrid& grid);
// Every row, header first; cells holding , " CR or LF are quoted.
std::string csvText(const SortGrid& grid);
// The bare HTML table; `borderColor` is six upper-case hex digits.
std::string htmlText(const SortGrid& grid, std::string_view borderColor);

// One CSV cell as csvText writes it: quoted, quotes doubled, when it holds
// a comma, a quote, CR or LF; otherwise unchanged.
void appendCsvCell(std::string& out, std::string_view cell);

// The selection's cells: TAB between cells, CR LF between rows, none at the end.
std::string selectionText(const SortGrid& grid);
// selectionText, then every cell of the selection becomes empty.
std::string cutSelection(SortGrid& grid);
// Writes `text` at (col, row), growing ColCount and RowCount as needed.
void pasteText(SortGrid& grid, std::string_view text, int col, int row);

// The same texts handed to `sink` in pieces, in order, for output too large
// to hold a second time.
using TextSink = std::function<void(std::string_view piece)>;
void tabbedText(const SortGrid& grid, const TextSink& sink);
void csvText(const SortGrid& grid, const TextSink& sink);
void htmlText(const SortGrid& grid, std::string_view borderColor, const TextSink& sink);
// The clipboard form of any block of cells (selectionText is the selection's).
void rangeText(const SortGrid& grid, TGridRect range, const TextSink& sink);

// The file forms, written atomically; failures throw IoError naming `path`.
void WriteTabbedFile(const SortGrid& grid, const std::string& path);
void WriteCsvFile(const SortGrid& grid, const std::string& path);
void WriteHtmlFile(const SortGrid& grid, const std::string& path, std::string_view borderColor);

} // namespace zorv
