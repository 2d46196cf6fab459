#include "toolrun.h"

#include "command.h"

#include <cerrno>
#include <sstream>
#include <stdexcept>
#include <utility>
#ifdef _WIN32
#include <windows.h>
#else
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace zorvtest {

namespace {

class FlushHook : public std::stringbuf {
  public:
    explicit FlushHook(std::function<void()> action) : action_(std::move(action)) {}

  protected:
    int sync() override {
        if (action_)
            std::exchange(action_, nullptr)();
        return std::stringbuf::sync();
    }

  private:
    std::function<void()> action_;
};

} // namespace

ToolRun tool(const std::vector<std::string>& args) {
    return toolFlushing(args, nullptr);
}

ToolRun toolFlushing(const std::vector<std::string>& args,
                     const std::function<void()>& atFirstFlush) {
    FlushHook outBuf(atFirstFlush);
    std::ostream out(&outBuf);
    std::ostringstream err;
    const int code = zorvtool::dispatch(args, out, err);
    return {code, outBuf.str(), err.str()};
}

#ifdef _WIN32

namespace {

// One argument as CommandLineToArgvW reads it back.
std::wstring quoted(const std::string& utf8) {
    std::wstring w(static_cast<std::size_t>(MultiByteToWideChar(
                       CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0)),
                   L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), w.data(),
                        static_cast<int>(w.size()));
    std::wstring out = L"\"";
    std::size_t slashes = 0;
    for (wchar_t c : w) {
        if (c == L'\\') {
            ++slashes;
            continue;
        }
        out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
        slashes = 0;
        out += c;
    }
    out.append(slashes * 2, L'\\');
    return out + L"\"";
}

} // namespace

ToolProcess toolProcess(const std::vector<std::string>& args, zorv::os::Handle stdoutFd, bool) {
    SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE errRead = nullptr, errWrite = nullptr, out = nullptr;
    if (!CreatePipe(&errRead, &errWrite, &inherit, 0))
        throw std::runtime_error("CreatePipe");
    SetHandleInformation(errRead, HANDLE_FLAG_INHERIT, 0);
    DuplicateHandle(GetCurrentProcess(), stdoutFd, GetCurrentProcess(), &out, 0, TRUE,
                    DUPLICATE_SAME_ACCESS);
    std::wstring line = quoted(ZORVTOOL_PATH);
    for (const auto& a : args)
        line += L" " + quoted(a);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    si.hStdOutput = out;
    si.hStdError = errWrite;
    PROCESS_INFORMATION pi{};
    const BOOL started =
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(errWrite);
    CloseHandle(out);
    if (!started) {
        CloseHandle(errRead);
        throw std::runtime_error("CreateProcessW");
    }
    ToolProcess run{0, {}};
    char buf[4096];
    DWORD n = 0;
    while (ReadFile(errRead, buf, sizeof buf, &n, nullptr) && n > 0)
        run.err.append(buf, n);
    CloseHandle(errRead);
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    run.status = static_cast<int>(code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return run;
}

#else

ToolProcess toolProcess(const std::vector<std::string>& args, int stdoutFd, bool ignorePipe) {
    int errPipe[2];
    if (::pipe(errPipe) != 0)
        throw std::runtime_error("pipe");
    std::vector<char*> argv{const_cast<char*>(ZORVTOOL_PATH)};
    for (const auto& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork");
    if (pid == 0) {
        ::dup2(stdoutFd, STDOUT_FILENO);
        ::dup2(errPipe[1], STDERR_FILENO);
        ::close(errPipe[0]);
        ::close(errPipe[1]);
        if (ignorePipe)
            std::signal(SIGPIPE, SIG_IGN);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(errPipe[1]);
    ToolProcess run{0, {}};
    char buf[4096];
    for (ssize_t n; (n = ::read(errPipe[0], buf, sizeof buf)) != 0;) {
        if (n > 0)
            run.err.append(buf, static_cast<std::size_t>(n));
        else if (errno != EINTR)
            break;
    }
    ::close(errPipe[0]);
    while (::waitpid(pid, &run.status, 0) < 0 && errno == EINTR) {
    }
    return run;
}

#endif

} // namespace zorvtest
