#pragma once
// Shared by the settings tests: a private folder for settings files and byte-exact
// file access.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace zorv::settingstest {

class TempDir {
  public:
    TempDir() {
        std::string tmpl =
            (std::filesystem::temp_directory_path() / "zorv-settings-XXXXXX").string();
        if (char* made = ::mkdtemp(tmpl.data()))
            path_ = made;
    }
    ~TempDir() {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string regPath() const { return path_ + "/NV/zorvedit.reg"; }

  private:
    std::string path_;
};

inline std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeBytes(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

inline constexpr const char* kHead =
    "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\NV\\zorvedit]\n";

} // namespace zorv::settingstest
