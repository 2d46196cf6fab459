#pragma once
// A settings key held in memory, for tests of the windows: script the stored values,
// make the key missing or writes fail, and look at what a step did.

#include "settings/registry.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace zorv {

class MemoryRegistryKey final : public RegistryKey {
  public:
    bool open(bool create) override;
    void close() noexcept override;
    bool isOpen() const noexcept override { return open_; }
    std::optional<RegValue> queryValue(const std::string& name) override;
    bool setValue(const std::string& name, std::uint32_t type, std::string_view data) override;

    // Script and inspect. Names compare without regard to ASCII case, as the registry's.
    bool keyExists = false;
    std::set<std::string> refusedWrites; // writes of these names fail
    int opens = 0;                       // successful opens
    int closes = 0;                      // closes of an open key
    std::vector<std::string> writeLog;   // names in the order written

    void put(const std::string& name, std::uint32_t type, std::string data);
    void putText(const std::string& name, std::string text) { put(name, kRegSz, std::move(text)); }
    void putInteger(const std::string& name, std::int32_t value);
    void erase(const std::string& name);
    std::optional<RegValue> get(const std::string& name) const;

  private:
    struct Less {
        bool operator()(const std::string& a, const std::string& b) const;
    };
    bool open_ = false;
    std::map<std::string, RegValue, Less> values_;
};

} // namespace zorv
