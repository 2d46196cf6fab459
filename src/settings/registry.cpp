#include "settings/registry.h"

#include "os/file.h"
#include "settings/regfile.h"

#ifdef _WIN32
#include "settings/win32/win32key.h"
#endif

#include <cstdlib>
#include <iostream>

namespace zorv {

namespace {

std::string errorText(SettingsError::Kind kind, const std::string& name) {
    switch (kind) {
    case SettingsError::Kind::GetData:
        return "Failed to get data for '" + name + "'";
    case SettingsError::Kind::DataType:
        return "Invalid data type for '" + name + "'";
    case SettingsError::Kind::SetData:
        break;
    }
    return "Failed to set data for '" + name + "'";
}

} // namespace

SettingsError::SettingsError(Kind kind, const std::string& valueName)
    : std::runtime_error(errorText(kind, valueName)), kind_(kind), name_(valueName) {}

SettingsError::SettingsError(Kind kind, const std::string& valueName, const std::string& cause)
    : std::runtime_error(errorText(kind, valueName) + "\n" + cause), kind_(kind), name_(valueName) {
}

RegistryKey::~RegistryKey() = default;

bool RegistryKey::exists(const std::string& name) {
    return queryValue(name).has_value();
}

std::string RegistryKey::readText(const std::string& name) {
    std::optional<RegValue> v = queryValue(name);
    if (!v || v->data.empty())
        return {};
    if (v->type != kRegSz && v->type != kRegExpandSz)
        throw SettingsError(SettingsError::Kind::DataType, name);
    std::string& d = v->data;
    const std::size_t zero = d.find('\0');
    if (zero != std::string::npos)
        d.resize(zero);
    return std::move(d);
}

std::int32_t RegistryKey::readInteger(const std::string& name) {
    std::optional<RegValue> v = queryValue(name);
    // The value is read into a four-byte buffer: missing or larger both fail the read.
    if (!v || v->data.size() > 4)
        throw SettingsError(SettingsError::Kind::GetData, name);
    if (v->type != kRegDword)
        throw SettingsError(SettingsError::Kind::DataType, name);
    std::uint32_t u = 0;
    for (std::size_t i = 0; i < v->data.size(); ++i)
        u |= static_cast<std::uint32_t>(static_cast<unsigned char>(v->data[i])) << (8 * i);
    return static_cast<std::int32_t>(u);
}

void RegistryKey::writeText(const std::string& name, std::string_view text) {
    if (!setValue(name, kRegSz, text))
        throw SettingsError(SettingsError::Kind::SetData, name);
}

void RegistryKey::writeInteger(const std::string& name, std::int32_t value) {
    const auto u = static_cast<std::uint32_t>(value);
    const char bytes[4] = {static_cast<char>(u & 0xFF), static_cast<char>((u >> 8) & 0xFF),
                           static_cast<char>((u >> 16) & 0xFF), static_cast<char>(u >> 24)};
    if (!setValue(name, kRegDword, std::string_view(bytes, 4)))
        throw SettingsError(SettingsError::Kind::SetData, name);
}

void RegistryKey::setProblemReporter(ProblemReporter reporter) {
    reporter_ = std::move(reporter);
}

void RegistryKey::reportProblem(const std::string& text) const {
    if (reporter_) {
        try {
            reporter_(text);
            return;
        } catch (...) {
            // A failing reporter must not turn a store problem into a crash.
        }
    }
    std::cerr << "zorvedit: " << text << ".\n";
}

std::string defaultSettingsFilePath() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    // The XDG rules ignore a relative path.
    if (xdg && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        std::string h = home ? home : "";
        if (h.empty())
            h = os::homeFolder();
        base = h + "/.config";
    }
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/NV/zorvedit.reg";
}

std::unique_ptr<RegistryKey> makeRegistryKey() {
#ifdef _WIN32
    return std::make_unique<Win32RegistryKey>();
#else
    return std::make_unique<RegFileKey>(defaultSettingsFilePath());
#endif
}

} // namespace zorv
