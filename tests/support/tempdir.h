#pragma once
// A fresh folder per test, removed with everything in it afterwards, and small
// byte-level file helpers.

#include "userfile/record.h"

#include <string>
#include <string_view>
#include <vector>

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
// Overwrites bytes in place at `offset`, as another program writing into a
// file would; throws std::runtime_error.
void writeBytesAt(const std::string& path, long long offset, std::string_view bytes);
// The board writing user `index` in place, as it does while the editor runs.
void boardWrites(const std::string& path, int index, const zorv::Record& r);
bool fileExists(const std::string& path);
// Records back to back, as a user file holds them.
std::string bytesOf(const std::vector<zorv::Record>& records);

} // namespace zorvtest
