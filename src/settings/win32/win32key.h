#pragma once
// The settings key in the Windows registry: HKEY_CURRENT_USER\Software\NV\zorvedit.

#include "settings/registry.h"

namespace zorv {

class Win32RegistryKey final : public RegistryKey {
  public:
    Win32RegistryKey() = default;
    ~Win32RegistryKey() override;
    Win32RegistryKey(const Win32RegistryKey&) = delete;
    Win32RegistryKey& operator=(const Win32RegistryKey&) = delete;

    bool open(bool create) override;
    void close() noexcept override;
    bool isOpen() const noexcept override { return handle_ != nullptr; }
    std::optional<RegValue> queryValue(const std::string& name) override;
    bool setValue(const std::string& name, std::uint32_t type, std::string_view data) override;

  private:
    void* handle_ = nullptr; // HKEY
};

} // namespace zorv
