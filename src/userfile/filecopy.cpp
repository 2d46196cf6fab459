#include "userfile/filecopy.h"

#include "userfile/errors.h"

#include <cerrno>
#include <vector>

namespace zorv {

void writeAllAt(os::Handle fd, const char* data, std::size_t size, os::Offset offset) {
    if (!os::writeAt(fd, data, size, offset))
        throw ioErrorFromErrno(errno);
}

// Large blocks of whole records, each block filled before it is written, so
// `seen` gets whole records straight from the buffer.
os::Offset copyContent(os::Handle in, os::Handle out, const RecordsSeen& seen) {
    constexpr std::size_t kBlock = 3840 * kRecordSize; // about 1 MB
    std::vector<char> buf(kBlock);
    os::Offset total = 0;
    for (;;) {
        const long long n = os::readAt(in, buf.data(), buf.size(), total);
        if (n < 0)
            throw ioErrorFromErrno(errno);
        const auto filled = static_cast<std::size_t>(n);
        if (filled == 0)
            return total;
        writeAllAt(out, buf.data(), filled, total);
        total += static_cast<os::Offset>(filled);
        if (seen && filled >= kRecordSize)
            seen(reinterpret_cast<const Record*>(buf.data()), filled / kRecordSize);
        if (filled < buf.size())
            return total;
    }
}

} // namespace zorv
