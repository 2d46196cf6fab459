#include "reports/columnwidths.h"

#include <cstdint>
#include <string>

namespace zorv {

namespace {

bool keepsWidths(const SortGrid& grid) {
    const TColumnSize& s = grid.ColumnSize;
    return s.Save && !s.Key.empty() && !s.Section.empty();
}

} // namespace

void loadColumnWidths(SortGrid& grid, RegistryKey& key) {
    if (!keepsWidths(grid) || !key.open(false))
        return;
    KeyCloser closer(key);
    for (int c = 0; c < grid.ColCount(); ++c) {
        const auto v = key.queryValue("col" + std::to_string(c));
        if (!v || (v->type != kRegSz && v->type != kRegExpandSz))
            continue;
        std::string text = v->data;
        if (const auto zero = text.find('\0'); zero != std::string::npos)
            text.resize(zero);
        std::int32_t width = 0;
        if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos ||
            !gridTextToInt(text, width))
            continue;
        grid.SetColWidth(c, width);
    }
}

void saveColumnWidths(const SortGrid& grid, RegistryKey& key) {
    if (!keepsWidths(grid) || !key.open(true))
        return;
    KeyCloser closer(key);
    for (int c = 0; c < grid.ColCount(); ++c)
        key.writeText("col" + std::to_string(c), std::to_string(grid.ColWidth(c)));
}

} // namespace zorv
