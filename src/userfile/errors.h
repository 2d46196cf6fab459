#pragma once
// The typed errors of the user-file layer. what() is the text the operator sees
// (the application's error box appends the final ".").

#include <stdexcept>
#include <string>

#include "os/file.h"

namespace zorv {

// File failures, numbered like the DOS/Windows run-time errors the texts come from.
enum IoErrorCode : int {
    kFileNotFound = 2,
    kInvalidFilename = 3,
    kTooManyOpenFiles = 4,
    kFileAccessDenied = 5,
    kReadBeyondEnd = 100,
    kDiskFull = 101,
    kFileNotOpen = 103,
    // Other errno values are reported as "I/O error <kErrnoBase + errno>".
    kErrnoBase = 1000,
};

// "File not found", "Invalid filename", ..., otherwise "I/O error %d".
std::string ioErrorText(int code);

class IoError : public std::runtime_error {
  public:
    explicit IoError(int code);
    IoError(int code, const std::string& text); // a text of our own for a known code
    int code() const noexcept { return code_; }

  private:
    int code_;
};

// Maps an errno value (from open/read/write/rename/...) to the I/O error.
// A folder and a read-only file system say so after "File access denied".
int ioErrorCodeFromErrno(int err);
IoError ioErrorFromErrno(int err);

// What an object is, as messages name it: "a folder", "a FIFO", "a device",
// "a socket", "a symbolic link", "a file".
std::string kindOf(const os::FileInfo& st);
// "File access denied (<what>)": the one form of that error that tells why,
// as in "(a folder)", "(a FIFO)", "(read-only file system)".
IoError accessDenied(const std::string& what);
// The same for an object that is no plain file: its kind.
IoError accessDenied(const os::FileInfo& st);

// "'%s' is not a valid integer value"
class ConvertError : public std::runtime_error {
  public:
    explicit ConvertError(const std::string& text);
};

} // namespace zorv
