// The Windows side of the program's own process.
#include "os/process.h"
#include "os/loops.h"
#include "os/win32/winerror.h"

#include <windows.h>

#include <shellapi.h>

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <stdio.h>

namespace zorv::os {

void prepareStandardStreams() {
    // The same bytes as on any other system: no CR before each LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // A console shows UTF-8 only when told; a pipe or a file gets the bytes.
    DWORD mode = 0;
    if (GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode))
        SetConsoleOutputCP(CP_UTF8);
}

std::vector<std::string> arguments(int argc, char** argv) {
    // argv is in the ANSI code page; the wide command line has every character.
    int n = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &n);
    if (!wide)
        return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
    std::vector<std::string> args;
    for (int i = 1; i < n; ++i)
        args.push_back(narrowPath(wide[i]));
    LocalFree(wide);
    return args;
}

Handle standardOutput() {
    return GetStdHandle(STD_OUTPUT_HANDLE);
}

bool writeStream(Handle h, const void* data, std::size_t size) {
    return detail::writeFully(data, size, [h](const char* p, std::size_t left, std::size_t) {
        DWORD put = 0;
        if (WriteFile(h, p, static_cast<DWORD>(left < (1u << 30) ? left : (1u << 30)), &put,
                      nullptr))
            return static_cast<long long>(put);
        setErrnoFromLastError(); // ERROR_NO_DATA, ERROR_BROKEN_PIPE: EPIPE
        return -1LL;
    });
}

bool closeStream(Handle h) {
    // A file's lost write shows in its flush; a pipe or console has none.
    if (GetFileType(h) == FILE_TYPE_DISK && !FlushFileBuffers(h)) {
        setErrnoFromLastError();
        CloseHandle(h);
        return false;
    }
    if (CloseHandle(h))
        return true;
    setErrnoFromLastError();
    return false;
}

} // namespace zorv::os
