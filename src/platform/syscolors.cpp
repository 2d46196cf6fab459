#include "platform/syscolors.h"

#ifdef _WIN32
#include <windows.h>

#include <cstdio>
#endif

namespace zorv {

std::string activeBorderHtmlColor() {
#ifdef _WIN32
    const DWORD c = ::GetSysColor(COLOR_ACTIVEBORDER); // 0x00BBGGRR
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02X%02X%02X", static_cast<unsigned>(GetRValue(c)),
                  static_cast<unsigned>(GetGValue(c)), static_cast<unsigned>(GetBValue(c)));
    return buf;
#else
    return "B4B4B4";
#endif
}

} // namespace zorv
