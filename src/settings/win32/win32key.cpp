#include "settings/win32/win32key.h"

#include <windows.h>

#include <climits>

namespace zorv {

namespace {

HKEY hkey(void* h) {
    return static_cast<HKEY>(h);
}

} // namespace

Win32RegistryKey::~Win32RegistryKey() {
    close();
}

bool Win32RegistryKey::open(bool create) {
    close();
    HKEY h = nullptr;
    LONG rc;
    if (create) {
        rc = RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, nullptr,
                             REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, &h, nullptr);
    } else {
        rc = RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKeyPath, 0, KEY_ALL_ACCESS, &h);
    }
    if (rc != ERROR_SUCCESS)
        return false;
    handle_ = h;
    return true;
}

void Win32RegistryKey::close() noexcept {
    if (handle_) {
        RegCloseKey(hkey(handle_));
        handle_ = nullptr;
    }
}

std::optional<RegValue> Win32RegistryKey::queryValue(const std::string& name) {
    if (!handle_)
        return std::nullopt;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(hkey(handle_), name.c_str(), nullptr, &type, nullptr, &size) !=
        ERROR_SUCCESS)
        return std::nullopt;
    // The size can grow between the two calls (another program writing): ask again.
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::string data(size, '\0');
        DWORD got = size;
        const LONG rc = RegQueryValueExA(hkey(handle_), name.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(data.data()), &got);
        if (rc == ERROR_SUCCESS) {
            data.resize(got);
            return RegValue{type, std::move(data)};
        }
        if (rc != ERROR_MORE_DATA)
            return std::nullopt;
        size = got;
    }
    return std::nullopt;
}

bool Win32RegistryKey::setValue(const std::string& name, std::uint32_t type,
                                std::string_view data) {
    if (!handle_ || data.size() > ULONG_MAX)
        return false;
    return RegSetValueExA(hkey(handle_), name.c_str(), 0, type,
                          reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size())) == ERROR_SUCCESS;
}

} // namespace zorv
