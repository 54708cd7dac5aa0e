#pragma once
// A text value of the settings store. GetString never raises: any failure
// reads as an empty text.

#include "settings/RegistryValue.h"

#include <functional>
#include <string>

class RegistryValueStr : public RegistryValue {
public:
    static constexpr std::size_t kBufferSize = 100;

    RegistryValueStr(RegistryRoot rootKey, std::string keyPath, std::string valueName)
        : RegistryValue(rootKey, std::move(keyPath), std::move(valueName), RegistryType::String)
    {
    }

    // Writes the text with its terminating zero; raises CRegistryError.
    void SetString(const std::string& text);
    // The stored text (at most 99 characters), or empty on any error.
    std::string GetString() const;
};

// The user-interface language at start-up: the "Language" value of the
// settings key, created as "en" when missing, handed to setLanguage; when that
// rejects it, English. Returns the language finally chosen.
std::string SelectStartupLanguage(const std::function<bool(const std::string&)>& setLanguage);
