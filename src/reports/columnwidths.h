#pragma once
// The report windows' column widths in the settings store, kept only when
// the grid's ColumnSize asks for it (Save, and both names given): one value
// per column, "col0", "col1", ..., holding the width as decimal text. `key`
// names ColumnSize.Key\ColumnSize.Section.

#include "components/sortgrid.h"
#include "settings/registry.h"

namespace zorv {

// A missing value, or one that is not a plain width, leaves its column as it is.
void loadColumnWidths(SortGrid& grid, RegistryKey& key);
void saveColumnWidths(const SortGrid& grid, RegistryKey& key);

} // namespace zorv
