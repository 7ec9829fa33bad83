#include "installtree.h"
#include "calllogs.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSettings>

#include <csignal>
#include <unistd.h>

InstallTree::InstallTree()
{
    if (!m_dir.isValid())
        return;
    for (const QString &dir : {playerDir(), binDir(), recordDir(), appDataDir(), localAppDataDir(),
                               systemConfigDir(), userConfigDir(), tempDir(), root() + "/data",
                               root() + "/home", root() + "/desktop", root() + "/vbox-state"})
        QDir().mkpath(dir);
    // XDG_RUNTIME_DIR is private to its user, as a login session's is.
    QDir().mkpath(xdgRuntimeDir());
    QFile::setPermissions(xdgRuntimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    writeInstallKey();
    // The product ships its device plug-in beside its programs; a machine start needs it.
    copyFile(stagedPlayerDir() + QStringLiteral("/OrvSpeed-x64.so"),
             playerDir() + QStringLiteral("/OrvSpeed-x64.so"));
    // The simulated tool answers for a host with hardware virtualisation, whatever machine runs the
    // tests; a test of a host without it says so in the same file.
    QFile host(root() + QStringLiteral("/vbox-state/host.ini"));
    if (host.open(QIODevice::WriteOnly))
        host.write("[host]\nsupportsHWvirtualization=yes\n");
}

InstallTree::~InstallTree()
{
    if (!isValid())
        return;
    if (m_tempDirInUse) {
        qputenv("TMPDIR", m_savedTempDir);
        if (m_savedRuntimeDir.isNull())
            qunsetenv("XDG_RUNTIME_DIR");
        else
            qputenv("XDG_RUNTIME_DIR", m_savedRuntimeDir);
    }

    // Programs started from the tree and still running would outlive the test and its files.
    const QString treePrefix = root() + QLatin1Char('/');
    const QStringList pids = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs);
    for (const QString &pid : pids) {
        bool isNumber = false;
        const int id = pid.toInt(&isNumber);
        if (!isNumber || id == getpid())
            continue;
        const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/") + pid + QStringLiteral("/exe"));
        if (exe.startsWith(treePrefix))
            ::kill(id, SIGKILL);
    }
}

void InstallTree::useTempDirHere()
{
    if (!m_tempDirInUse) {
        m_savedTempDir = qgetenv("TMPDIR");
        m_savedRuntimeDir =
            qEnvironmentVariableIsSet("XDG_RUNTIME_DIR") ? qgetenv("XDG_RUNTIME_DIR") : QByteArray();
    }
    m_tempDirInUse = true;
    qputenv("TMPDIR", QFile::encodeName(tempDir()));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(xdgRuntimeDir()));
}

QString InstallTree::productVersion()
{
    return QStringLiteral(ORV_PRODUCT_VERSION);
}

QString InstallTree::stagedPlayerDir()
{
    return QStringLiteral(ORV_PLAYER_DIR);
}

QString InstallTree::simBinDir()
{
    return QStringLiteral(ORV_SIM_BIN_DIR);
}

bool InstallTree::copyFile(const QString &source, const QString &destination)
{
    QFile::remove(destination);
    QDir().mkpath(QFileInfo(destination).absolutePath());
    // A hard link is cheapest; the program then still sees its own path as `destination`.
    if (::link(QFile::encodeName(source).constData(), QFile::encodeName(destination).constData()) == 0)
        return true;
    if (!QFile::copy(source, destination))
        return false;
    return QFile::setPermissions(destination, QFile(source).permissions());
}

bool InstallTree::addProgram(const QString &name)
{
    return copyFile(stagedPlayerDir() + QLatin1Char('/') + name, playerDir() + QLatin1Char('/') + name);
}

bool InstallTree::addRecorder(const QString &name, const QString &dir)
{
    const QString target = (dir.isEmpty() ? binDir() : dir) + QLatin1Char('/') + name;
    return copyFile(simBinDir() + QStringLiteral("/orv-recorder"), target);
}

QString InstallTree::stagedVersionDir()
{
    return QFileInfo(stagedPlayerDir() + QStringLiteral("/..")).absoluteFilePath();
}

// Copies every file of a staged folder (one level) into `target`.
static bool copyFolderFiles(const QString &source, const QString &target)
{
    const QFileInfoList files = QDir(source).entryInfoList(QDir::Files, QDir::Name);
    if (files.isEmpty())
        return false;
    for (const QFileInfo &file : files) {
        if (!InstallTree::copyFile(file.absoluteFilePath(), target + QLatin1Char('/') + file.fileName()))
            return false;
    }
    return true;
}

bool InstallTree::addVirtualBox()
{
    return copyFolderFiles(stagedVersionDir() + QStringLiteral("/VirtualBox"), vboxDir());
}

bool InstallTree::addGuestImage()
{
    // Real copies, not links: the product copies and deletes these files, and a link would let a
    // test change the staged image.
    const QFileInfoList files =
        QDir(stagedVersionDir() + QStringLiteral("/ova")).entryInfoList(QDir::Files, QDir::Name);
    if (files.isEmpty() || !QDir().mkpath(ovaDir()))
        return false;
    for (const QFileInfo &file : files) {
        const QString target = ovaDir() + QLatin1Char('/') + file.fileName();
        QFile::remove(target);
        if (!QFile::copy(file.absoluteFilePath(), target))
            return false;
    }
    return true;
}

QString InstallTree::installKeyPath() const
{
    return systemConfigDir() + QStringLiteral("/Halvora/Orvanta.conf");
}

void InstallTree::writeInstallKey(const QMap<QString, QString> &extra)
{
    QMap<QString, QString> values{
        {QStringLiteral("Channelid"), QStringLiteral("1208")},
        {QStringLiteral("Installdir"), installDir()},
        {QStringLiteral("ProductVersion"), productVersion()},
        {QStringLiteral("VBoxPath"), versionDir() + QStringLiteral("/VirtualBox")},
        {QStringLiteral("ModuleInfo/ova"), QStringLiteral("1.0.0")},
    };
    for (auto it = extra.cbegin(); it != extra.cend(); ++it)
        values.insert(it.key(), it.value());
    QFile::remove(installKeyPath());
    QSettings key(installKeyPath(), QSettings::IniFormat);
    for (auto it = values.cbegin(); it != values.cend(); ++it) {
        if (!it.value().isNull())
            key.setValue(it.key(), it.value());
    }
    key.sync();
}

QProcessEnvironment InstallTree::environment() const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("APPDATA"), appDataDir());
    env.insert(QStringLiteral("LOCALAPPDATA"), localAppDataDir());
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), userConfigDir());
    env.insert(QStringLiteral("XDG_CONFIG_DIRS"), systemConfigDir());
    env.insert(QStringLiteral("XDG_DATA_HOME"), root() + QStringLiteral("/data"));
    env.insert(QStringLiteral("XDG_DESKTOP_DIR"), root() + QStringLiteral("/desktop"));
    env.insert(QStringLiteral("HOME"), root() + QStringLiteral("/home"));
    env.insert(QStringLiteral("TMPDIR"), tempDir());
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), xdgRuntimeDir());
    env.insert(QStringLiteral("PATH"), binDir() + QLatin1Char(':') + env.value(QStringLiteral("PATH")));
    env.insert(QStringLiteral("ORV_RECORD_DIR"), recordDir());
    env.insert(QStringLiteral("ORV_VBOX_STATE"), root() + QStringLiteral("/vbox-state"));
    if (!env.contains(QStringLiteral("DISPLAY")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    for (auto it = m_extraEnv.cbegin(); it != m_extraEnv.cend(); ++it)
        env.insert(it.key(), it.value());
    return env;
}

QList<QStringList> InstallTree::calls(const QString &name) const
{
    return readRecordedCalls(recordDir() + QLatin1Char('/') + name + QStringLiteral(".calls"));
}

QString InstallTree::logText() const
{
    QString text;
    const QFileInfoList files =
        QDir(logDir()).entryInfoList({QStringLiteral("*.log")}, QDir::Files, QDir::Name);
    for (const QFileInfo &info : files) {
        QFile file(info.absoluteFilePath());
        if (file.open(QIODevice::ReadOnly))
            text += QString::fromUtf8(file.readAll());
    }
    return text;
}
