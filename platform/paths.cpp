#include "paths.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
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

static bool fail(QString *problem, const QString &text)
{
    if (problem)
        *problem = text;
    return false;
}

// Makes sure `dir` is a folder of this user that nobody else can write into, creating it when missing.
static bool ensurePrivateFolder(const QString &dir, QString *problem)
{
    const QByteArray path = QFile::encodeName(dir);
    struct stat info;
    if (::lstat(path.constData(), &info) != 0) {
        if (errno != ENOENT)
            return fail(problem, QStringLiteral("cannot read the runtime folder %1: %2")
                                     .arg(dir, QString::fromLocal8Bit(strerror(errno))));
        if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
            return fail(problem, QStringLiteral("cannot create the runtime folder %1: %2")
                                     .arg(dir, QString::fromLocal8Bit(strerror(errno))));
        if (::lstat(path.constData(), &info) != 0)
            return fail(problem, QStringLiteral("cannot read the runtime folder %1: %2")
                                     .arg(dir, QString::fromLocal8Bit(strerror(errno))));
    }
    if (!S_ISDIR(info.st_mode))
        return fail(problem, QStringLiteral("the runtime folder %1 is not a folder").arg(dir));
    if (info.st_uid != ::geteuid())
        return fail(problem, QStringLiteral("the runtime folder %1 belongs to another user (uid %2)")
                                 .arg(dir)
                                 .arg(info.st_uid));
    if (info.st_mode & (S_IWGRP | S_IWOTH))
        return fail(problem, QStringLiteral("the runtime folder %1 can be written by other users").arg(dir));
    if ((info.st_mode & 07777) != 0700 && ::chmod(path.constData(), 0700) != 0)
        return fail(problem, QStringLiteral("cannot make the runtime folder %1 private: %2")
                                 .arg(dir, QString::fromLocal8Bit(strerror(errno))));
    return true;
}

QString privateRuntimeDir(QString *problem)
{
    const QString xdg = envPath("XDG_RUNTIME_DIR");
    const QString dir = xdg.isEmpty() ? QDir::cleanPath(QDir::tempPath()) + QStringLiteral("/orvanta-") +
                                            QString::number(::geteuid())
                                      : xdg + QStringLiteral("/orvanta");
    if (!xdg.isEmpty() && !QFileInfo(xdg).isDir()) {
        fail(problem, QStringLiteral("XDG_RUNTIME_DIR %1 is not a folder").arg(xdg));
        return QString();
    }
    return ensurePrivateFolder(dir, problem) ? dir : QString();
}

} // namespace Platform

void Platform::usePrivateFileModes()
{
    ::umask(S_IRWXG | S_IRWXO);
}

void Platform::makePrivateTree(const QString &root)
{
    const auto tighten = [](const QString &path) {
        const QByteArray name = QFile::encodeName(path);
        struct stat info;
        if (::lstat(name.constData(), &info) != 0 || S_ISLNK(info.st_mode) || info.st_uid != ::geteuid())
            return;
        if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0)
            ::chmod(name.constData(), info.st_mode & 07700);
    };
    if (root.isEmpty() || !QFileInfo(root).isDir() || QFileInfo(root).isSymLink())
        return;
    tighten(root);
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext())
        tighten(it.next());
}
