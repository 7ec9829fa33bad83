#include "paths.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

#include <unistd.h>

namespace Platform {

static QString envPath(const char *name)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? QString() : QDir::cleanPath(value);
}

static QString xdgDataHome()
{
    const QString home = envPath("XDG_DATA_HOME");
    if (!home.isEmpty())
        return home;
    return QDir::homePath() + QStringLiteral("/.local/share");
}

QString appDataRoot()
{
    const QString root = envPath("APPDATA");
    return root.isEmpty() ? xdgDataHome() : root;
}

QString localAppDataRoot()
{
    const QString root = envPath("LOCALAPPDATA");
    return root.isEmpty() ? xdgDataHome() : root;
}

QString systemSettingsDir()
{
    const QStringList dirs =
        qEnvironmentVariable("XDG_CONFIG_DIRS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return dirs.isEmpty() ? QStringLiteral("/etc/xdg") : QDir::cleanPath(dirs.first());
}

static QString userSettingsDir()
{
    const QString home = envPath("XDG_CONFIG_HOME");
    return home.isEmpty() ? QDir::homePath() + QStringLiteral("/.config") : home;
}

void initSettingsPaths()
{
    QSettings::setPath(QSettings::NativeFormat, QSettings::SystemScope, systemSettingsDir());
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, systemSettingsDir());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, userSettingsDir());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, userSettingsDir());
}

QString runtimeDir()
{
    const QString dir = QDir::tempPath() + QStringLiteral("/orvanta-") + QString::number(getuid());
    QDir().mkpath(dir);
    return dir;
}

} // namespace Platform
