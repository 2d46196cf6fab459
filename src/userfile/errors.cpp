#include "userfile/errors.h"

#include <cerrno>

namespace zorv {

std::string ioErrorText(int code) {
    switch (code) {
    case kFileNotFound:
        return "File not found";
    case kInvalidFilename:
        return "Invalid filename";
    case kTooManyOpenFiles:
        return "Too many open files";
    case kFileAccessDenied:
        return "File access denied";
    case kReadBeyondEnd:
        return "Read beyond end of file";
    case kDiskFull:
        return "Disk full";
    default:
        return "I/O error " + std::to_string(code);
    }
}

IoError::IoError(int code) : std::runtime_error(ioErrorText(code)), code_(code) {}

IoError::IoError(int code, const std::string& text) : std::runtime_error(text), code_(code) {}

int ioErrorCodeFromErrno(int err) {
    switch (err) {
    case ENOENT:
        return kFileNotFound;
    case ENAMETOOLONG:
    case EINVAL:
    case ENOTDIR:
        return kInvalidFilename;
    case EMFILE:
    case ENFILE:
        return kTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
        return kFileAccessDenied;
    case ENOSPC:
#ifdef EDQUOT
    case EDQUOT:
#endif
        return kDiskFull;
    default:
        // Kept clear of the numbers above so that, say, EIO (5) never reads as
        // "File access denied".
        return kErrnoBase + err;
    }
}

IoError ioErrorFromErrno(int err) {
    if (err == EROFS)
        return accessDenied("read-only file system");
    if (err == EISDIR)
        return accessDenied("a folder");
#ifdef _WIN32
    if (err == os::kInUse) // the board's open without sharing, not a busy device
        return IoError(kFileAccessDenied, "File access denied: " + os::errorText(err));
#endif
    return IoError(ioErrorCodeFromErrno(err));
}

std::string kindOf(const os::FileInfo& st) {
    switch (st.kind) {
    case os::Kind::Folder:
        return "a folder";
    case os::Kind::Fifo:
        return "a FIFO";
    case os::Kind::Device:
        return "a device";
    case os::Kind::Socket:
        return "a socket";
    case os::Kind::Link:
        return "a symbolic link";
    default:
        return "a file";
    }
}

IoError accessDenied(const std::string& what) {
    return IoError(kFileAccessDenied, ioErrorText(kFileAccessDenied) + " (" + what + ")");
}

IoError accessDenied(const os::FileInfo& st) {
    return accessDenied(kindOf(st));
}

ConvertError::ConvertError(const std::string& text)
    : std::runtime_error("'" + text + "' is not a valid integer value") {}

} // namespace zorv
