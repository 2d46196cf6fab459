#include "tempdir.h"

#include "os/file.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace zorvtest {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    const std::string prefix = std::string(base && *base ? base : "/tmp") + "/zorvtest.";
#ifdef _WIN32
    // A fresh name from the file layer's temp files; the folder beside it is
    // made only where nothing lies.
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
        std::string name;
        const zorv::os::Handle h = zorv::os::createTemp(prefix, name);
        if (!zorv::os::isOpen(h))
            break;
        zorv::os::close(h);
        if (zorv::os::makeSharedFolder(name + ".d"))
            path_ = name + ".d";
        zorv::os::remove(name);
    }
#else
    std::string tmpl = prefix + "XXXXXX";
    if (::mkdtemp(tmpl.data()))
        path_ = tmpl;
#endif
    if (path_.empty())
        throw std::runtime_error("cannot make a temporary folder under " + prefix);
}

TempDir::~TempDir() {
    std::error_code ec;
    // A test may have left a folder read-only.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (it->is_directory(ec))
            std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                         std::filesystem::perm_options::add, ec);
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string readFileBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFileBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

void writeBytesAt(const std::string& path, long long offset, std::string_view bytes) {
    std::fstream out(path, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(offset);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.flush();
    if (!out)
        throw std::runtime_error("cannot write into " + path);
}

void boardWrites(const std::string& path, int index, const zorv::Record& r) {
    writeBytesAt(path, static_cast<long long>(index) * zorv::kRecordSize,
                 std::string_view(reinterpret_cast<const char*>(r.data()), zorv::kRecordSize));
}

bool fileExists(const std::string& path) {
    zorv::os::FileInfo st;
    return zorv::os::infoOf(path, st);
}

std::string bytesOf(const std::vector<zorv::Record>& records) {
    std::string out;
    out.reserve(records.size() * zorv::kRecordSize);
    for (const zorv::Record& r : records)
        out.append(reinterpret_cast<const char*>(r.data()), r.size());
    return out;
}

} // namespace zorvtest
