#include "toolrun.h"

#include "command.h"

#include <cerrno>
#include <csignal>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

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

} // namespace zorvtest
