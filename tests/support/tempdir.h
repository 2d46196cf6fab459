#pragma once
// A fresh folder per test, removed with everything in it afterwards, and small
// byte-level file helpers.

#include <string>

namespace zorvtest {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};

std::string readFileBytes(const std::string& path); // throws std::runtime_error
void writeFileBytes(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);

} // namespace zorvtest
