#pragma once
// The settings key kept in a text file in the Windows .reg export format, for systems
// without a registry:
//
//     Windows Registry Editor Version 5.00
//
//     [HKEY_CURRENT_USER\Software\NV\zorvedit]
//     "Filename"="C:\\BBS\\zorvuser.dat"
//     "m.top"=dword:00000064
//
// The key is missing when the file or its section is. open() takes an exclusive lock
// (flock on "<file>.lock" beside it) that close() releases, so a step's read and writes
// are one unit against other running editors. Each write that changes something
// replaces the file at once (the working copy's ReplacementFile: a locked temporary
// file, then rename; the file keeps its mode), so a write that fails is reported at the
// value that failed. Lines the program does not change are written back
// byte for byte; other sections and comments are kept.

#include "settings/registry.h"

#include <string>

namespace zorv {

class RegFileKey final : public RegistryKey {
  public:
    explicit RegFileKey(std::string path);
    ~RegFileKey() override;

    bool open(bool create) override;
    void close() noexcept override;
    bool isOpen() const noexcept override;
    std::optional<RegValue> queryValue(const std::string& name) override;
    bool setValue(const std::string& name, std::uint32_t type, std::string_view data) override;

    const std::string& path() const noexcept { return path_; }
    // How long open() waits for another program's lock before giving up (reported).
    void setLockTimeoutMs(int ms) noexcept { lockTimeoutMs_ = ms; }

  private:
    // Replaces the file by the document (ReplacementFile); false with the
    // reason in `why` when it could not.
    bool writeBack(std::string& why);
    bool readOnlyFile() const; // it exists and this user may not write it

    struct State;
    std::string path_;
    int lockTimeoutMs_ = 5000;
    std::unique_ptr<State> state_;
};

} // namespace zorv
