#pragma once
// The settings key HKEY_CURRENT_USER\Software\NV\zorvedit and its typed values.
//
// RegistryKey is one handle that a step opens, uses and closes again:
//
//     auto key = zorv::makeRegistryKey();          // the platform's backend
//     if (key->open(/*create=*/false)) {           // false: the key is missing
//         if (key->exists("m.left")) { int top = key->readInteger("m.top"); ... }
//     }
//     key->close();                                // always, also after an error
//
// Value failures throw SettingsError with the system's texts. Problems of the store
// itself (a settings file that cannot be parsed, a lock that never comes free, a folder
// that cannot be created) are not value failures: open() then returns false, as for a
// missing key, and the text goes to the problem reporter (stderr unless the program
// installs its error box with setProblemReporter). An unparseable file is reported only
// once per program run and is never written.
//
// The typed rules live here, once for every backend; a backend only supplies open,
// close and raw query/set of (type, bytes) as the ANSI registry calls see them.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zorv {

// Value types with the registry's numbers.
enum RegType : std::uint32_t {
    kRegNone = 0,
    kRegSz = 1,
    kRegExpandSz = 2,
    kRegBinary = 3,
    kRegDword = 4,
    kRegMultiSz = 7,
};

// A value as the ANSI registry calls give it: texts are single-byte (Windows code
// page 1252) and carry no terminating zero unless one was stored.
struct RegValue {
    std::uint32_t type = kRegNone;
    std::string data;
    bool operator==(const RegValue&) const = default;
};

class SettingsError : public std::runtime_error {
  public:
    enum class Kind {
        GetData,  // "Failed to get data for '%s'"
        DataType, // "Invalid data type for '%s'"
        SetData,  // "Failed to set data for '%s'"
    };
    SettingsError(Kind kind, const std::string& valueName);
    // The same with a second line saying why.
    SettingsError(Kind kind, const std::string& valueName, const std::string& cause);
    Kind kind() const noexcept { return kind_; }
    const std::string& valueName() const noexcept { return name_; }

  private:
    Kind kind_;
    std::string name_;
};

using ProblemReporter = std::function<void(const std::string& text)>;

class RegistryKey {
  public:
    virtual ~RegistryKey();

    // Opens the key, creating it first when `create` is set. False: the key is missing
    // (and not created) or the store cannot be used (reported). Opening an open key
    // closes it first.
    virtual bool open(bool create) = 0;
    // Never throws; harmless when not open.
    virtual void close() noexcept = 0;
    virtual bool isOpen() const noexcept = 0;

    // Raw access for the typed operations below (and for tests that need values of
    // other types). queryValue: nullopt when the value cannot be queried (missing, or
    // the key is not open). setValue: false when the store refuses the write.
    virtual std::optional<RegValue> queryValue(const std::string& name) = 0;
    virtual bool setValue(const std::string& name, std::uint32_t type, std::string_view data) = 0;

    // Yes when a value of that name can be queried, whatever its type.
    bool exists(const std::string& name);
    // The text up to its first zero byte. Missing or empty data gives "". Throws
    // DataType when the value holds data but is neither REG_SZ nor REG_EXPAND_SZ.
    std::string readText(const std::string& name);
    // Throws GetData when the value is missing or holds more than four bytes, DataType
    // when it fits in four bytes but is not REG_DWORD.
    std::int32_t readInteger(const std::string& name);
    // REG_SZ with the text's length, no terminating zero; REG_DWORD. Throw SetData.
    void writeText(const std::string& name, std::string_view text);
    void writeInteger(const std::string& name, std::int32_t value);

    void setProblemReporter(ProblemReporter reporter);

  protected:
    void reportProblem(const std::string& text) const;

  private:
    ProblemReporter reporter_;
};

// Closes the key when the step ends, whichever way it ends.
class KeyCloser {
  public:
    explicit KeyCloser(RegistryKey& key) : key_(key) {}
    ~KeyCloser() { key_.close(); }
    KeyCloser(const KeyCloser&) = delete;
    KeyCloser& operator=(const KeyCloser&) = delete;

  private:
    RegistryKey& key_;
};

// Windows: the registry key HKEY_CURRENT_USER\Software\NV\zorvedit. Elsewhere: the
// .reg file at defaultSettingsFilePath().
std::unique_ptr<RegistryKey> makeRegistryKey();

// $XDG_CONFIG_HOME/NV/zorvedit.reg, or ~/.config/NV/zorvedit.reg when XDG_CONFIG_HOME
// is unset, empty or relative.
std::string defaultSettingsFilePath();

inline constexpr const char* kSettingsKeyPath = "Software\\NV\\zorvedit";

} // namespace zorv
