#include "settings/Settings.h"

#include "settings/SettingsFile.h"

#include <QFileInfo>

#include <limits>
#include <memory>
#include <unistd.h>

namespace {

template <typename Int>
void ReadInteger(const QVariant& stored, const SettingDescriptor& d, Int* field)
{
    const std::optional<int64_t> number = settingsfile::ToInteger(stored);
    if (!number)
        return;  // missing or not a number: the default stays
    if (*number < d.minValue || *number > d.maxValue)
        return;
    if (*number < std::numeric_limits<Int>::min() || *number > std::numeric_limits<Int>::max())
        return;
    if (d.accepts && !d.accepts(*number))
        return;
    *field = static_cast<Int>(*number);
}

void ReadValue(const QSettings& file, const SettingDescriptor& d, SettingsValues& values)
{
    const QVariant stored = file.value(QString::fromStdString(d.name));
    std::visit(
        [&](auto* field) {
            using Field = std::remove_pointer_t<decltype(field)>;
            if constexpr (std::is_same_v<Field, std::string>) {
                if (std::optional<std::string> text = settingsfile::ToText(stored))
                    *field = std::move(*text);
            } else {
                ReadInteger(stored, d, field);
            }
        },
        d.field(values));
}

void WriteValue(QSettings& file, const SettingDescriptor& d, SettingsValues& values)
{
    std::visit(
        [&](auto* field) {
            using Field = std::remove_pointer_t<decltype(field)>;
            if constexpr (std::is_same_v<Field, std::string>)
                file.setValue(QString::fromStdString(d.name), QString::fromStdString(*field));
            else
                file.setValue(QString::fromStdString(d.name), static_cast<int>(*field));
        },
        d.field(values));
}

std::unique_ptr<QSettings> OpenForWriting()
{
    auto file = settingsfile::Open(settingsfile::FilePath(), true);
    file->beginGroup(QString::fromLatin1(settingsfile::kGroup));
    return file;
}

bool Finish(QSettings& file)
{
    file.endGroup();
    return settingsfile::Sync(file);
}

}  // namespace

bool CSettings::Load()
{
    values = SettingsValues{};
    const QString path = settingsfile::FilePath();
    if (QFileInfo(path).isFile()) {
        auto file = settingsfile::Open(path, false);
        file->beginGroup(QString::fromLatin1(settingsfile::kGroup));
        for (const SettingDescriptor& d : SettingsTable())
            ReadValue(*file, d, values);
    }
    if (values.DatabasePath.empty())
        values.DatabasePath = DefaultDatabasePath();
    return true;
}

bool CSettings::Save()
{
    auto file = OpenForWriting();
    for (const SettingDescriptor& d : SettingsTable()) {
        if (d.saved)
            WriteValue(*file, d, values);
    }
    return Finish(*file);
}

bool CSettings::SaveLastOperator(const std::string& name)
{
    values.LastOperator = name;
    auto file = OpenForWriting();
    file->setValue(QStringLiteral("LastOperator"), QString::fromStdString(name));
    return Finish(*file);
}

int CSettings::EditSettings(CSettingsSheet& sheet)
{
    SettingsValues edited = values;
    if (!sheet.Run(edited))
        return 0;
    const int flags = SettingsChangeFlags(values, edited);
    values = std::move(edited);
    Save();
    return flags;
}

std::string CSettings::DefaultDatabasePath()
{
    std::unique_ptr<char, decltype(&free)> cwd(getcwd(nullptr, 0), &free);
    if (!cwd)
        return {};
    return WithTrailingSeparator(cwd.get());
}

std::string CSettings::WithTrailingSeparator(std::string folder)
{
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}
