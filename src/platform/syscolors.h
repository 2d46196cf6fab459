#pragma once
// System colours the toolkit does not name.

#include <string>

namespace zorv {

// The colour of active window borders as six upper-case hex digits (red,
// green, blue), for the header cells of an HTML export. Only Windows has
// such a colour; elsewhere its default there, B4B4B4.
std::string activeBorderHtmlColor();

} // namespace zorv
