#include "reports/exportform.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace zorv {

namespace {

// Where the extension of the name's last part starts (after its "."), or npos.
std::size_t extensionAt(std::string_view name) {
    const std::size_t sep = name.find_last_of("/\\");
    const std::size_t dot = name.rfind('.');
    if (dot == std::string_view::npos || (sep != std::string_view::npos && dot < sep))
        return std::string_view::npos;
    return dot + 1;
}

bool sameLetters(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

} // namespace

std::optional<ExportForm> formOfName(std::string_view fileName) {
    const std::size_t at = extensionAt(fileName);
    if (at == std::string_view::npos)
        return std::nullopt;
    const std::string_view ext = fileName.substr(at);
    if (sameLetters(ext, "txt") || sameLetters(ext, "tsv"))
        return ExportForm::Tabbed;
    if (sameLetters(ext, "csv"))
        return ExportForm::Csv;
    if (sameLetters(ext, "htm") || sameLetters(ext, "html"))
        return ExportForm::Html;
    return std::nullopt;
}

std::string_view typeExtension(int filterIndex) {
    static constexpr std::array<std::string_view, kExportTypes> kExtensions{"txt", "csv", "html",
                                                                            ""};
    if (filterIndex < 1 || filterIndex > kExportTypes)
        return {};
    return kExtensions[static_cast<std::size_t>(filterIndex - 1)];
}

ExportForm exportForm(std::string_view fileName, int filterIndex) {
    if (const auto named = formOfName(fileName))
        return *named;
    switch (filterIndex) {
    case 2:
        return ExportForm::Csv;
    case 3:
        return ExportForm::Html;
    default:
        return ExportForm::Tabbed;
    }
}

std::string withTypeExtension(std::string_view fileName, int filterIndex) {
    std::string name(fileName);
    const std::string_view ext = typeExtension(filterIndex);
    const std::size_t sep = name.find_last_of("/\\");
    const std::string_view last =
        std::string_view(name).substr(sep == std::string::npos ? 0 : sep + 1);
    if (!ext.empty() && !last.empty() && last.find('.') == std::string_view::npos) {
        name += '.';
        name += ext;
    }
    return name;
}

} // namespace zorv
