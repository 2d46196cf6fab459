#pragma once
// An owned open file, closed when it goes.

#include "os/file.h"

#include <utility>

namespace zorv {

class Fd {
  public:
    explicit Fd(os::Handle fd = os::noHandle()) : fd_(fd) {}
    ~Fd() { reset(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    os::Handle get() const { return fd_; }
    bool isOpen() const { return os::isOpen(fd_); }
    os::Handle release() { return std::exchange(fd_, os::noHandle()); }
    void reset(os::Handle fd = os::noHandle()) {
        if (os::isOpen(fd_))
            os::close(fd_);
        fd_ = fd;
    }

  private:
    os::Handle fd_;
};

} // namespace zorv
