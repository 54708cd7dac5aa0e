#include "settings/SettingsFile.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace settingsfile {

namespace {

QString ConfigHome()
{
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/')
        return QString::fromLocal8Bit(xdg);
    const char* home = std::getenv("HOME");
    if (home && home[0] != '\0')
        return QString::fromLocal8Bit(home) + QStringLiteral("/.config");
    if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
        return QString::fromLocal8Bit(pw->pw_dir) + QStringLiteral("/.config");
    return QStringLiteral("/tmp/.config");
}

void CreateOwnerOnlyFile(const QString& path)
{
    const QString dir = QFileInfo(path).absolutePath();
    QDir().mkpath(dir);
    ::chmod(QFile::encodeName(dir).constData(), 0700);
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd >= 0)
        ::close(fd);
}

}  // namespace

QString FilePath(const QString& organisation, const QString& application)
{
    return ConfigHome() + QLatin1Char('/') + organisation + QLatin1Char('/') + application + QStringLiteral(".conf");
}

std::unique_ptr<QSettings> Open(const QString& path, bool createFile)
{
    if (createFile)
        CreateOwnerOnlyFile(path);
    auto settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    return settings;
}

bool Sync(QSettings& settings)
{
    CreateOwnerOnlyFile(settings.fileName());
    settings.sync();
    const QByteArray name = QFile::encodeName(settings.fileName());
    // The file is replaced on every write; make sure the copy on disk is
    // still readable by its owner only.
    ::chmod(name.constData(), 0600);
    return settings.status() == QSettings::NoError && ::access(name.constData(), W_OK) == 0;
}

std::optional<int64_t> ToInteger(const QVariant& value)
{
    if (!value.isValid())
        return std::nullopt;
    QVariant v = value;
    if (v.typeId() == QMetaType::QStringList) {
        const QStringList list = v.toStringList();
        if (list.size() != 1)
            return std::nullopt;
        v = list.front();
    }
    bool ok = false;
    qlonglong number = 0;
    switch (v.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
        number = v.toLongLong(&ok);
        break;
    case QMetaType::QString:
    case QMetaType::QByteArray:
        number = v.toString().trimmed().toLongLong(&ok, 10);
        break;
    default:
        break;
    }
    if (!ok)
        return std::nullopt;
    return static_cast<int64_t>(number);
}

std::optional<std::string> ToText(const QVariant& value)
{
    if (!value.isValid())
        return std::nullopt;
    switch (value.typeId()) {
    case QMetaType::QStringList:
        return value.toStringList().join(QStringLiteral(", ")).toStdString();
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return value.toString().toStdString();
    default:
        return std::nullopt;
    }
}

}  // namespace settingsfile
