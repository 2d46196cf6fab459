#include "filecopy.h"

#include "errors.h"
#include "fd.h"

#include <cerrno>
#include <unistd.h>
#include <vector>

namespace zorv {

void writeAllAt(int fd, const char* data, std::size_t size, off_t offset) {
    if (!writeFully(fd, data, size, offset))
        throw ioErrorFromErrno(errno);
}

// Large blocks of whole records, each block filled before it is written, so
// `seen` gets whole records straight from the buffer.
off_t copyContent(int in, int out, const RecordsSeen& seen) {
    constexpr std::size_t kBlock = 3840 * kRecordSize; // about 1 MB
    std::vector<char> buf(kBlock);
    off_t total = 0;
    for (;;) {
        std::size_t filled = 0;
        while (filled < buf.size()) {
            const ssize_t n = ::read(in, buf.data() + filled, buf.size() - filled);
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                throw ioErrorFromErrno(errno);
            }
            if (n == 0)
                break;
            filled += static_cast<std::size_t>(n);
        }
        if (filled == 0)
            return total;
        writeAllAt(out, buf.data(), filled, total);
        total += static_cast<off_t>(filled);
        if (seen && filled >= kRecordSize)
            seen(reinterpret_cast<const Record*>(buf.data()), filled / kRecordSize);
        if (filled < buf.size())
            return total;
    }
}

} // namespace zorv
