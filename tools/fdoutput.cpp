#include "fdoutput.h"

#include "os/process.h"

#include <cerrno>
#include <cstring>
#include <ostream>

namespace zorvtool {

FdOutput::~FdOutput() {
    if (zorv::os::isOpen(fd_))
        close();
}

bool FdOutput::writeOut(const char* data, std::size_t size) {
    if (error_ != 0)
        return false;
    if (zorv::os::writeStream(fd_, data, size))
        return true;
    error_ = errno ? errno : EIO;
    return false;
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
    if (!zorv::os::isOpen(fd_))
        return error_ == 0;
    drain();
    if (!zorv::os::closeStream(fd_) && error_ == 0)
        error_ = errno;
    fd_ = zorv::os::noHandle();
    return error_ == 0;
}

int checkedOutput(std::ostream& out, std::ostream& err, const std::string& command, int code) {
    out.flush();
    auto* fdOut = dynamic_cast<FdOutput*>(out.rdbuf());
    const int why = fdOut ? fdOut->error() : 0;
    if (out && why == 0)
        return code;
    if (why == EPIPE)
        return zorv::os::kReaderGoneExit;
    err << "zorvtool" << (command.empty() ? "" : " ") << command << ": cannot write the output";
    if (why != 0)
        err << ": " << zorv::os::errorText(why);
    err << '\n';
    return 2;
}

} // namespace zorvtool
