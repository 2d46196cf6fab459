#include "settings/memorykey.h"

#include <algorithm>

namespace zorv {

namespace {

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

bool MemoryRegistryKey::Less::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(lowerAscii(x)) <
               static_cast<unsigned char>(lowerAscii(y));
    });
}

bool MemoryRegistryKey::open(bool create) {
    close();
    if (!keyExists && create)
        keyExists = true;
    if (!keyExists)
        return false;
    open_ = true;
    ++opens;
    return true;
}

void MemoryRegistryKey::close() noexcept {
    if (open_)
        ++closes;
    open_ = false;
}

std::optional<RegValue> MemoryRegistryKey::queryValue(const std::string& name) {
    if (!open_)
        return std::nullopt;
    return get(name);
}

bool MemoryRegistryKey::setValue(const std::string& name, std::uint32_t type,
                                 std::string_view data) {
    if (!open_ || refusedWrites.count(name))
        return false;
    put(name, type, std::string(data));
    writeLog.push_back(name);
    return true;
}

void MemoryRegistryKey::put(const std::string& name, std::uint32_t type, std::string data) {
    values_[name] = RegValue{type, std::move(data)};
}

void MemoryRegistryKey::putInteger(const std::string& name, std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    std::string d;
    for (int i = 0; i < 4; ++i)
        d.push_back(static_cast<char>((u >> (8 * i)) & 0xFF));
    put(name, kRegDword, std::move(d));
}

void MemoryRegistryKey::erase(const std::string& name) {
    values_.erase(name);
}

std::optional<RegValue> MemoryRegistryKey::get(const std::string& name) const {
    auto it = values_.find(name);
    if (it == values_.end())
        return std::nullopt;
    return it->second;
}

} // namespace zorv
