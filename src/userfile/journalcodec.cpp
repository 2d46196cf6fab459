#include "userfile/journalcodec.h"

#include <cstdint>
#include <cstring>

namespace zorv {

namespace {

//
// "ZORVJNL1", device, inode (u64 each), path length (u32) and path, entry count
// (u32), entries of index (u32), old and new record bytes; then an FNV-1a
// checksum (u64) of everything before it. A journal without a valid checksum
// was cut short while being written, before any record was touched.

constexpr char kMagic[8] = {'Z', 'O', 'R', 'V', 'J', 'N', 'L', '1'};

std::uint64_t fnv1a(const std::string& bytes) {
    std::uint64_t h = 1469598103934665603ull;
    for (unsigned char c : bytes) {
        h ^= c;
        h *= 1099511628211ull;
    }
    return h;
}

template <typename T> void put(std::string& out, T v) {
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

template <typename T> bool take(const std::string& in, std::size_t& at, T& v) {
    if (in.size() - at < sizeof v)
        return false;
    std::memcpy(&v, in.data() + at, sizeof v);
    at += sizeof v;
    return true;
}

} // namespace

std::string encodeJournal(const Journal& j) {
    std::string out(kMagic, sizeof kMagic);
    put<std::uint64_t>(out, j.file.device);
    put<std::uint64_t>(out, j.file.inode);
    put<std::uint32_t>(out, static_cast<std::uint32_t>(j.path.size()));
    out += j.path;
    put<std::uint32_t>(out, static_cast<std::uint32_t>(j.entries.size()));
    for (const RecordWrite& e : j.entries) {
        put<std::uint32_t>(out, static_cast<std::uint32_t>(e.index));
        out.append(reinterpret_cast<const char*>(e.old.data()), kRecordSize);
        out.append(reinterpret_cast<const char*>(e.now.data()), kRecordSize);
    }
    put<std::uint64_t>(out, fnv1a(out));
    return out;
}

bool decodeJournal(const std::string& in, Journal& j) {
    if (in.size() < sizeof kMagic + 8 || std::memcmp(in.data(), kMagic, sizeof kMagic) != 0)
        return false;
    std::uint64_t sum = 0;
    std::memcpy(&sum, in.data() + in.size() - 8, 8);
    const std::string body = in.substr(0, in.size() - 8);
    if (fnv1a(body) != sum)
        return false;
    std::size_t at = sizeof kMagic;
    std::uint64_t dev = 0, ino = 0;
    std::uint32_t pathLen = 0, count = 0;
    if (!take(body, at, dev) || !take(body, at, ino) || !take(body, at, pathLen) ||
        body.size() - at < pathLen)
        return false;
    j.file = {dev, ino, true};
    j.path = body.substr(at, pathLen);
    at += pathLen;
    if (!take(body, at, count) || (body.size() - at) / (4 + 2 * kRecordSize) != count ||
        (body.size() - at) % (4 + 2 * kRecordSize) != 0)
        return false;
    j.entries.resize(count);
    for (RecordWrite& e : j.entries) {
        std::uint32_t index = 0;
        take(body, at, index);
        e.index = static_cast<int>(index);
        std::memcpy(e.old.data(), body.data() + at, kRecordSize);
        std::memcpy(e.now.data(), body.data() + at + kRecordSize, kRecordSize);
        at += 2 * kRecordSize;
    }
    return true;
}

} // namespace zorv
