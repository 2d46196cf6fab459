#pragma once
// zorvtool's standard output: a buffer over an open stream that keeps the
// reason of the first failed write, so a full disk is told apart from a reader
// that went away (`zorvtool find ... | head -1`).

#include "os/file.h"

#include <array>
#include <iosfwd>
#include <streambuf>
#include <string>

namespace zorvtool {

class FdOutput : public std::streambuf {
  public:
    explicit FdOutput(zorv::os::Handle fd) : fd_(fd) {
        setp(buf_.data(), buf_.data() + buf_.size());
    }
    ~FdOutput() override;
    FdOutput(const FdOutput&) = delete;
    FdOutput& operator=(const FdOutput&) = delete;

    // errno of the first write, flush or close that failed; 0 while none has.
    int error() const { return error_; }
    // Writes what is buffered and closes the stream: some file systems
    // report a lost write only there. False when anything failed.
    bool close();

  protected:
    int_type overflow(int_type ch) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

  private:
    bool drain();
    bool writeOut(const char* data, std::size_t size);
    zorv::os::Handle fd_;
    int error_ = 0;
    std::array<char, 1 << 16> buf_{};
};

// The one check every command's output passes after the command ran: the
// stream flushed, and nothing lost on the way. Returns `code` when all of it
// arrived; otherwise 2 with "zorvtool COMMAND: cannot write the output" on
// err, except when the reader went away (EPIPE): then os::kReaderGoneExit,
// quietly, as a shell reports a tool a closed pipe ended.
int checkedOutput(std::ostream& out, std::ostream& err, const std::string& command, int code);

} // namespace zorvtool
