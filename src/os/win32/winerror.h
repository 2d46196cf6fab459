#pragma once
// Between the wide, GetLastError() world of Windows and the UTF-8, errno
// world of the file layer.

#include <string>

namespace zorv::os {

// UTF-8 to UTF-16 (false with EINVAL for bytes that are no UTF-8).
bool widePath(const std::string& path, std::wstring& out);
std::string narrowPath(const std::wstring& path);
// errno from a Windows error code: the values the core words.
void setErrnoFromError(unsigned long error);
void setErrnoFromLastError();

} // namespace zorv::os
