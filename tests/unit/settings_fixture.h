#pragma once
// Shared by the settings tests: a private folder for settings files and byte-exact
// file access.

#include "settings/registry.h"
#include "tempdir.h"

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace zorv::settingstest {

// The test-wide temp folder, plus where the settings file goes in it.
class TempDir : public zorvtest::TempDir {
  public:
    std::string regPath() const { return path() + "/NV/zorvedit.reg"; }
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

// The settings error a call raises, or "no error".
template <class F> std::string errorOf(F&& f) {
    try {
        f();
    } catch (const SettingsError& e) {
        return e.what();
    }
    return "no error";
}

inline constexpr const char* kHead =
    "Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\Software\\NV\\zorvedit]\n";

} // namespace zorv::settingstest
