#pragma once
// Direct access to one value of the per-user settings store, addressed like a
// registry value: root, key path ("Software\Tervin\ORVA\Settings"), value name
// and type. The first key levels after "Software" name the settings file
// (organisation, application); the rest is the group inside it. Errors are
// raised as CRegistryError carrying the operator text of the failure.

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

class QSettings;

enum class RegistryRoot { CurrentUser };

// Value types as the store keeps them: text, or a 32-bit integer.
enum class RegistryType { String, Integer };

inline constexpr const char* kSettingsKey = "Software\\Tervin\\ORVA\\Settings";

class CRegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class RegistryValue {
public:
    RegistryValue(RegistryRoot root, std::string keyPath, std::string valueName, RegistryType valueType);
    virtual ~RegistryValue() = default;

    // True when the key opens and holds the value.
    bool Exists() const;
    // Writes the value, creating the key when missing. A text value is the
    // bytes up to the first zero byte; an integer is 4 bytes, little-endian.
    void SetRaw(const void* bytes, std::size_t size);
    // Reads the value into the buffer (a text with its terminating zero) and
    // returns the number of bytes stored.
    std::size_t GetRaw(void* buffer, std::size_t size) const;

    const std::string& GetName() const { return name; }

private:
    bool ParseKey(std::string& organisation, std::string& application, std::string& group) const;
    // Path of the settings file the key path names, or empty when it names none.
    std::string FilePathOrEmpty() const;

    RegistryRoot root;
    std::string key;
    std::string name;
    RegistryType type;
};
