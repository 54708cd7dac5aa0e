#include "settings/RegistryValue.h"

#include "core/TextLookup.h"
#include "settings/SettingsFile.h"

#include <QFileInfo>

#include <cstring>
#include <limits>
#include <vector>

namespace {

std::vector<std::string> SplitKey(const std::string& path)
{
    std::vector<std::string> parts;
    std::string part;
    for (char c : path) {
        if (c == '\\') {
            if (!part.empty())
                parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    if (!part.empty())
        parts.push_back(part);
    return parts;
}

}  // namespace

RegistryValue::RegistryValue(RegistryRoot rootKey, std::string keyPath, std::string valueName, RegistryType valueType)
    : root(rootKey), key(std::move(keyPath)), name(std::move(valueName)), type(valueType)
{
}

bool RegistryValue::ParseKey(std::string& organisation, std::string& application, std::string& group) const
{
    if (root != RegistryRoot::CurrentUser)
        return false;
    const std::vector<std::string> parts = SplitKey(key);
    if (parts.size() < 3 || parts[0] != "Software")
        return false;
    organisation = parts[1];
    application = parts[2];
    group.clear();
    for (std::size_t i = 3; i < parts.size(); ++i) {
        if (!group.empty())
            group += '/';
        group += parts[i];
    }
    return !name.empty();
}

std::string RegistryValue::FilePathOrEmpty() const
{
    std::string organisation, application, group;
    if (!ParseKey(organisation, application, group))
        return {};
    return settingsfile::FilePath(QString::fromStdString(organisation), QString::fromStdString(application))
        .toStdString();
}

bool RegistryValue::Exists() const
{
    std::string organisation, application, group;
    if (!ParseKey(organisation, application, group))
        return false;
    const QString path = QString::fromStdString(FilePathOrEmpty());
    if (!QFileInfo(path).isFile())
        return false;
    auto settings = settingsfile::Open(path, false);
    if (!group.empty())
        settings->beginGroup(QString::fromStdString(group));
    return settings->contains(QString::fromStdString(name));
}

void RegistryValue::SetRaw(const void* bytes, std::size_t size)
{
    std::string organisation, application, group;
    if (!ParseKey(organisation, application, group) || (bytes == nullptr && size > 0))
        throw CRegistryError(LookupText("IDS_REGISTRYVALUE_MSG_1"));

    QVariant value;
    if (type == RegistryType::String) {
        const char* text = static_cast<const char*>(bytes);
        const std::size_t length = text ? strnlen(text, size) : 0;
        value = QString::fromUtf8(text, static_cast<qsizetype>(length));
    } else {
        int32_t number = 0;
        std::memcpy(&number, bytes, std::min<std::size_t>(size, sizeof number));
        value = static_cast<int>(number);
    }

    auto settings = settingsfile::Open(QString::fromStdString(FilePathOrEmpty()), true);
    if (!group.empty())
        settings->beginGroup(QString::fromStdString(group));
    settings->setValue(QString::fromStdString(name), value);
    if (!group.empty())
        settings->endGroup();
    if (!settingsfile::Sync(*settings))
        throw CRegistryError(LookupText("IDS_REGISTRYVALUE_MSG_1"));
}

std::size_t RegistryValue::GetRaw(void* buffer, std::size_t size) const
{
    std::string organisation, application, group;
    const QString path = QString::fromStdString(FilePathOrEmpty());
    if (!ParseKey(organisation, application, group) || !QFileInfo(path).isFile())
        throw CRegistryError(LookupText("IDS_REGISTRYVALUE_MSG_2"));

    auto settings = settingsfile::Open(path, false);
    if (settings->status() != QSettings::NoError)
        throw CRegistryError(LookupText("IDS_REGISTRYVALUE_MSG_2"));
    if (!group.empty())
        settings->beginGroup(QString::fromStdString(group));
    const QVariant stored = settings->value(QString::fromStdString(name));
    if (!stored.isValid())
        throw CRegistryError(LookupText("IDS_REGISTRYVALUE_MSG_4"));

    if (type == RegistryType::String) {
        const std::optional<std::string> text = settingsfile::ToText(stored);
        if (!text)
            throw CRegistryError(LookupText("IDS_REGISTRYVALUE_MSG_3"));
        const std::size_t needed = text->size() + 1;
        if (buffer == nullptr || needed > size)
            throw CRegistryError(LookupText("IDS_REGISTRYVALUE_MSG_4"));
        std::memcpy(buffer, text->c_str(), needed);
        return needed;
    }

    const std::optional<int64_t> number = settingsfile::ToInteger(stored);
    if (!number || *number < std::numeric_limits<int32_t>::min() || *number > std::numeric_limits<uint32_t>::max())
        throw CRegistryError(LookupText("IDS_REGISTRYVALUE_MSG_3"));
    if (buffer == nullptr || size < sizeof(int32_t))
        throw CRegistryError(LookupText("IDS_REGISTRYVALUE_MSG_4"));
    const int32_t value = static_cast<int32_t>(*number);
    std::memcpy(buffer, &value, sizeof value);
    return sizeof value;
}
