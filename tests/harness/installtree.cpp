#include "installtree.h"
#include "calllogs.h"
#include "testports.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSettings>

#include <csignal>
#include <unistd.h>

InstallTree::InstallTree() : m_ports(std::make_unique<TestPortBlock>())
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
    declareHost(HostWithVirtualisation);
}

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace

void InstallTree::declareHost(Host host)
{
    const bool vt = host == HostWithVirtualisation;
    // The processor as the kernel lists it: one Intel core, its flags with or without VT-x.
    const QByteArray flags =
        "fpu vme de pse tsc msr pae mce cx8 apic sep mtrr pge mca cmov pat pse36 clflush "
        "mmx fxsr sse sse2 ht syscall nx lm constant_tsc pni ssse3 cx16 sse4_1 sse4_2 "
        "popcnt hypervisor lahf_lm" +
        QByteArray(vt ? " vmx ept vpid" : "");
    QByteArray cpuinfo;
    for (int cpu = 0; cpu < 4; ++cpu)
        cpuinfo += "processor\t: " + QByteArray::number(cpu) +
                   "\nvendor_id\t: GenuineIntel\ncpu family\t: 6\nmodel\t\t: 158\n"
                   "model name\t: Intel(R) Core(TM) i5-8400 CPU @ 2.80GHz\ncpu MHz\t\t: 2808.000\n"
                   "cpu cores\t: 4\nflags\t\t: " +
                   flags + "\n\n";
    writeFile(hostRoot() + QStringLiteral("/proc/cpuinfo"), cpuinfo);
    // No hypervisor of the kernel's or of another product holds the processor.
    writeFile(hostRoot() + QStringLiteral("/proc/modules"),
              "snd_hda_intel 57344 0 - Live 0x0000000000000000\n");
    // 8 GiB, a quarter of it in use: the memory check has nothing to complain about.
    writeFile(hostRoot() + QStringLiteral("/proc/meminfo"),
              "MemTotal:        8388608 kB\nMemFree:         4194304 kB\nMemAvailable:    6291456 kB\n");
    // One VGA controller on the PCI bus.
    const QString vga = hostRoot() + QStringLiteral("/sys/bus/pci/devices/0000:00:02.0");
    writeFile(vga + QStringLiteral("/class"), "0x030000\n");
    writeFile(vga + QStringLiteral("/vendor"), "0x8086\n");
    writeFile(vga + QStringLiteral("/device"), "0x3e92\n");
    // The kernel's hypervisor device exists exactly when the processor offers virtualisation.
    const QString kvm = hostRoot() + QStringLiteral("/dev/kvm");
    QDir().mkpath(hostRoot() + QStringLiteral("/dev"));
    if (vt)
        writeFile(kvm, QByteArray());
    else
        QFile::remove(kvm);

    // The simulated tool answers for the same host.
    const QByteArray yesNo = vt ? "yes" : "no";
    writeFile(root() + QStringLiteral("/vbox-state/host.ini"),
              "[host]\nprocessorDescription=Intel(R) Core(TM) i5-8400 CPU @ 2.80GHz\n"
              "processorOnlineCount=4\nprocessorCount=4\nprocessorCoreCount=4\nprocessorSpeed=2808\n"
              "memorySize=8192\nmemoryAvailable=6144\n"
              "supportsHWvirtualization=" +
                  yesNo + "\nsupportsnestedpaging=" + yesNo + "\nsupportsunrestrictedguest=" + yesNo +
                  "\nsupportsnestedHWvirtualization=no\n");
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
        if (m_savedPortOffset.isNull())
            qunsetenv("ORV_PORT_OFFSET");
        else
            qputenv("ORV_PORT_OFFSET", m_savedPortOffset);
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
        m_savedPortOffset =
            qEnvironmentVariableIsSet("ORV_PORT_OFFSET") ? qgetenv("ORV_PORT_OFFSET") : QByteArray();
    }
    m_tempDirInUse = true;
    qputenv("TMPDIR", QFile::encodeName(tempDir()));
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(xdgRuntimeDir()));
    qputenv("ORV_PORT_OFFSET", QByteArray::number(portOffset()));
}

int InstallTree::portOffset() const
{
    return m_ports && m_ports->isValid() ? m_ports->productOffset() : 0;
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
    if (!copyFile(stagedPlayerDir() + QLatin1Char('/') + name, playerDir() + QLatin1Char('/') + name))
        return false;
    // The emulator's virtual-location module and OpenGL probe lie beside it, as installed (when the
    // build made them).
    if (name == QLatin1String("Orvanta")) {
        for (const QString &companion : {QStringLiteral("libOrvLocation.so"), QStringLiteral("OrvGlProbe")}) {
            const QString staged = stagedPlayerDir() + QLatin1Char('/') + companion;
            if (QFileInfo::exists(staged) && !copyFile(staged, playerDir() + QLatin1Char('/') + companion))
                return false;
        }
    }
    return true;
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
    env.insert(QStringLiteral("ORV_PORT_OFFSET"), QString::number(portOffset()));
    // The declared host's hardware, never this machine's.
    env.insert(QStringLiteral("ORV_HOST_PROC_ROOT"), hostRoot() + QStringLiteral("/proc"));
    env.insert(QStringLiteral("ORV_DEV_ROOT"), hostRoot() + QStringLiteral("/dev"));
    env.insert(QStringLiteral("ORV_SYS_ROOT"), hostRoot() + QStringLiteral("/sys"));
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
