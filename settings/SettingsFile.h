#pragma once
// The per-user settings file that stands in for the registry key
// Software\Tervin\ORVA\Settings: $XDG_CONFIG_HOME/Tervin/ORVA.conf (default
// ~/.config/Tervin/ORVA.conf), an INI file in QSettings' native format with
// the values in the group "Settings". It holds the SIM PIN, so it is created
// readable by its owner only (mode 0600).

#include <QSettings>
#include <QString>
#include <QVariant>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace settingsfile {

inline constexpr const char* kOrganisation = "Tervin";
inline constexpr const char* kApplication = "ORVA";
inline constexpr const char* kGroup = "Settings";

// Path of the file for an organisation and application, read from the
// environment at each call.
QString FilePath(const QString& organisation = kOrganisation, const QString& application = kApplication);

// Opens the file for reading and writing. With createFile the folder (0700)
// and an empty file (0600) are created first when missing; without it nothing
// is created on disk.
std::unique_ptr<QSettings> Open(const QString& path, bool createFile);

// Writes pending changes to disk and keeps the file at mode 0600. False when
// the file could not be written.
bool Sync(QSettings& settings);

// A stored value as an integer: a number in decimal text (the file is edited
// by hand too) or a numeric value. Anything else reads as absent.
std::optional<int64_t> ToInteger(const QVariant& value);

// A stored value as UTF-8 text. An unquoted text with commas reads back as a
// list; it is joined again so that a hand-edited "Lift 3, Main Street" is kept.
std::optional<std::string> ToText(const QVariant& value);

}  // namespace settingsfile
