#include "settings/RegistryValueStr.h"

void RegistryValueStr::SetString(const std::string& text)
{
    SetRaw(text.c_str(), text.size() + 1);
}

std::string RegistryValueStr::GetString() const
{
    char buffer[kBufferSize] = {};
    try {
        GetRaw(buffer, sizeof buffer);
    } catch (const CRegistryError&) {
        return {};
    }
    buffer[kBufferSize - 1] = '\0';
    return buffer;
}

std::string SelectStartupLanguage(const std::function<bool(const std::string&)>& setLanguage)
{
    RegistryValueStr language(RegistryRoot::CurrentUser, kSettingsKey, "Language");
    if (!language.Exists()) {
        try {
            language.SetString("en");
        } catch (const CRegistryError&) {
            // An unwritable settings file must not stop the station: it
            // simply starts in English.
        }
    }
    std::string wanted = language.GetString();
    if (setLanguage && setLanguage(wanted))
        return wanted;
    if (setLanguage)
        setLanguage("en");
    return "en";
}
