#include "fdoutput.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ostream>
#include <unistd.h>

namespace zorvtool {

FdOutput::~FdOutput() {
    if (fd_ >= 0)
        close();
}

bool FdOutput::writeOut(const char* data, std::size_t size) {
    if (error_ != 0)
        return false;
    while (size > 0) {
        const ssize_t n = ::write(fd_, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            error_ = n < 0 ? errno : ENOSPC;
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

bool FdOutput::drain() {
    const auto pending = static_cast<std::size_t>(pptr() - pbase());
    setp(buf_.data(), buf_.data() + buf_.size());
    return writeOut(buf_.data(), pending);
}

FdOutput::int_type FdOutput::overflow(int_type ch) {
    if (!drain())
        return traits_type::eof();
    if (traits_type::eq_int_type(ch, traits_type::eof()))
        return traits_type::not_eof(ch);
    *pptr() = traits_type::to_char_type(ch);
    pbump(1);
    return ch;
}

std::streamsize FdOutput::xsputn(const char* s, std::streamsize n) {
    const auto room = epptr() - pptr();
    if (n <= room) {
        std::memcpy(pptr(), s, static_cast<std::size_t>(n));
        pbump(static_cast<int>(n));
        return n;
    }
    // Larger than what is left: out with the buffer, then the piece itself.
    if (!drain() || !writeOut(s, static_cast<std::size_t>(n)))
        return 0;
    return n;
}

int FdOutput::sync() {
    return drain() ? 0 : -1;
}

bool FdOutput::close() {
    if (fd_ < 0)
        return error_ == 0;
    drain();
    if (::close(fd_) != 0 && errno != EINTR && error_ == 0)
        error_ = errno;
    fd_ = -1;
    return error_ == 0;
}

int checkedOutput(std::ostream& out, std::ostream& err, const std::string& command, int code) {
    out.flush();
    auto* fdOut = dynamic_cast<FdOutput*>(out.rdbuf());
    const int why = fdOut ? fdOut->error() : 0;
    if (out && why == 0)
        return code;
    if (why == EPIPE)
        return 128 + SIGPIPE; // what a shell shows for a tool a closed pipe ended
    err << "zorvtool" << (command.empty() ? "" : " ") << command << ": cannot write the output";
    if (why != 0)
        err << ": " << std::strerror(why);
    err << '\n';
    return 2;
}

} // namespace zorvtool
