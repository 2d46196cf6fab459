#include "os/win32/winerror.h"

#include "os/file.h"

#include <windows.h>

#include <cerrno>
#include <cstring>

#ifndef ERROR_STOPPED_ON_SYMLINK
#define ERROR_STOPPED_ON_SYMLINK 681L
#endif

namespace zorv::os {

bool widePath(const std::string& path, std::wstring& out) {
    out.clear();
    if (path.empty()) {
        errno = ENOENT;
        return false;
    }
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(),
                                      static_cast<int>(path.size()), nullptr, 0);
    if (n <= 0 || path.find('\0') != std::string::npos) {
        errno = EINVAL;
        return false;
    }
    out.resize(static_cast<std::size_t>(n));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(), static_cast<int>(path.size()),
                        out.data(), n);
    return true;
}

std::string narrowPath(const std::wstring& path) {
    if (path.empty())
        return {};
    const int n = WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
    WideCharToMultiByte(CP_UTF8, 0, path.data(), static_cast<int>(path.size()), out.data(), n,
                        nullptr, nullptr);
    return out;
}

void setErrnoFromError(unsigned long error) {
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        errno = ENOENT;
        break;
    case ERROR_ACCESS_DENIED:
    case ERROR_PRIVILEGE_NOT_HELD:
        errno = EACCES;
        break;
    case ERROR_SHARING_VIOLATION:
        errno = kInUse;
        break;
    case ERROR_LOCK_VIOLATION:
        errno = EAGAIN;
        break;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        errno = EEXIST;
        break;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        errno = ENOSPC;
        break;
    case ERROR_TOO_MANY_OPEN_FILES:
        errno = EMFILE;
        break;
    case ERROR_WRITE_PROTECT:
        errno = EROFS;
        break;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_PARAMETER:
        errno = EINVAL;
        break;
    case ERROR_FILENAME_EXCED_RANGE:
        errno = ENAMETOOLONG;
        break;
    case ERROR_DIRECTORY:
        errno = ENOTDIR;
        break;
    case ERROR_DIR_NOT_EMPTY:
        errno = ENOTEMPTY;
        break;
    case ERROR_CANT_RESOLVE_FILENAME:
    case ERROR_STOPPED_ON_SYMLINK:
        errno = ELOOP;
        break;
    case ERROR_BROKEN_PIPE:
    case ERROR_NO_DATA:
    case ERROR_PIPE_NOT_CONNECTED: // what wine gives for a Unix pipe's reader gone
        errno = EPIPE;
        break;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        errno = ENOMEM;
        break;
    default:
        errno = EIO;
        break;
    }
}

void setErrnoFromLastError() {
    setErrnoFromError(GetLastError());
}

std::string errorText(int err) {
    if (err == kInUse)
        return "another program has the file open and shares it with no one";
    return std::strerror(err);
}

} // namespace zorv::os
