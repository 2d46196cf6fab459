#pragma once
// The user list's save: which file form a name gets, and the name once the
// type chosen in the save dialog has had its say. A typed extension that
// names a form wins over the type; the type gives a name without extension
// its own.

#include <optional>
#include <string>
#include <string_view>

namespace zorv {

enum class ExportForm { Tabbed, Csv, Html };

// The save dialog's types, filter indexes 1 to 4.
inline constexpr const char* kExportFilter = "Tabbed text files|*.txt|Comma separated text file|"
                                             "*.csv|HTML file|*.html;*.htm|All files (*.*)|*.*";
inline constexpr int kExportTypes = 4;

// The form that a name's extension names (txt or tsv, csv, htm or html, in
// any case); none for another extension or none at all.
std::optional<ExportForm> formOfName(std::string_view fileName);
// The extension that type `filterIndex` gives a name typed without one;
// empty for "All files" (and an index out of range).
std::string_view typeExtension(int filterIndex);
// What gets written: the form the name's extension names, else the type's
// ("All files": tab-separated text).
ExportForm exportForm(std::string_view fileName, int filterIndex);
// The name written: one whose last part has no "." gets the type's extension.
std::string withTypeExtension(std::string_view fileName, int filterIndex);

} // namespace zorv
