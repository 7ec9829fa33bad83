#include "global.h"

#include "commandline.h"
#include "logtags.h"
#include "programs.h"
#include "sharedsegment.h"

#include <QDate>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStorageInfo>
#include <QSysInfo>
#include <QThread>

QString Global::vmName;
QString Global::startDate;
QElapsedTimer Global::startClock;
InstallInfo Global::installInfo;
QString Global::ovaFolder;
SystemInfo Global::systemInfo;
int Global::subPlatform = 0;
QString Global::openglPort;
QString Global::vinputPort;
QString Global::pavixPort;
QString Global::adbPort;
QString Global::yeltPort;
QString Global::vmPort;
QString Global::logRoot;
QString Global::debugLogFile;
QString Global::renderMode;
QString Global::streamMode;
QString Global::lastErrorCode;
QString Global::vboxToolPath;
QString Global::currentPackage;
QHash<QString, bool> Global::keyMapEnabledMap;
QHash<QString, int> Global::keyMapOpacityMap;
QMutex Global::keyMapMutex;
QString Global::gamePath;
QString Global::eventPath;
QString Global::imagePath;
QString Global::otherPath;
TrayTool *Global::tray = nullptr;

std::atomic_bool appQuittingFlag{false};
std::atomic<ProgramStartHook> programStartHook{nullptr};
std::atomic_bool resolutionChangedFlag{false};
std::atomic<double> startupProgress{0.0};

SharedSegment &Global::instanceSegment()
{
    static SharedSegment segment;
    return segment;
}

void Global::initStartTime()
{
    startDate = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    startClock.start();
}

void Global::loadInstallInfo()
{
    QSettings key(QSettings::NativeFormat, QSettings::SystemScope, QStringLiteral("Halvora"),
                  QStringLiteral("Orvanta"));
    if (key.status() != QSettings::NoError)
        qWarning() << ORV_LOG_GLOBAL "installation key unreadable" << key.fileName();
    else if (key.allKeys().isEmpty())
        qWarning() << ORV_LOG_GLOBAL "installation key missing or empty" << key.fileName();

    auto text = [&key](const char *name, const QString &fallback = QString()) {
        return key.value(QLatin1String(name), fallback).toString().trimmed();
    };
    installInfo.channelId = text("Channelid", QStringLiteral("1208"));
    installInfo.installDir = text("Installdir");
    installInfo.productVersion = text("ProductVersion");
    installInfo.vboxPath = text("VBoxPath");
    installInfo.ovaVersion = text("ModuleInfo/ova", QStringLiteral("1.0.0"));
    systemInfo.productVersion = installInfo.productVersion;

    // The current folder is <install folder>/<product version>.
    if (installInfo.installDir.isEmpty()) {
        QDir current = QDir::current();
        current.cdUp();
        installInfo.installDir = current.absolutePath();
        qInfo() << ORV_LOG_GLOBAL "no Installdir in the installation key, using" << installInfo.installDir;
    }
    installInfo.installDir = QDir::cleanPath(QDir::fromNativeSeparators(installInfo.installDir));

    if (installInfo.productVersion.isEmpty())
        ovaFolder = QDir::currentPath() + QStringLiteral("/ova");
    else
        ovaFolder =
            installInfo.installDir + QLatin1Char('/') + installInfo.productVersion + QStringLiteral("/ova");
    qInfo() << ORV_LOG_GLOBAL "installDir" << installInfo.installDir << "productVersion"
            << installInfo.productVersion << "channel" << installInfo.channelId << "ova"
            << installInfo.ovaVersion;
}

// The stable identifier of this machine: the systemd/D-Bus machine id (32 hex digits), shown in the
// usual 8-4-4-4-12 grouping. $ORV_MACHINE_ID_FILE points at another file (tests feed a fixture).
static QString readMachineId()
{
    QStringList candidates;
    const QString fromEnv = qEnvironmentVariable("ORV_MACHINE_ID_FILE");
    if (!fromEnv.isEmpty())
        candidates << fromEnv;
    else
        candidates << QStringLiteral("/etc/machine-id") << QStringLiteral("/var/lib/dbus/machine-id");
    for (const QString &path : qAsConst(candidates)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QString id = QString::fromLatin1(file.readAll()).trimmed().toLower();
        static const QRegularExpression hex32(QStringLiteral("^[0-9a-f]{32}$"));
        if (hex32.match(id).hasMatch()) {
            return id.mid(0, 8) + QLatin1Char('-') + id.mid(8, 4) + QLatin1Char('-') + id.mid(12, 4) +
                   QLatin1Char('-') + id.mid(16, 4) + QLatin1Char('-') + id.mid(20);
        }
        if (!id.isEmpty())
            return id;
    }
    return QString();
}

void Global::initSystemInfo()
{
    systemInfo.is64Bit = hostIs64Bit();

    systemInfo.installUuid = readMachineId();
    if (systemInfo.installUuid.isEmpty())
        qWarning() << ORV_LOG_GLOBAL "no machine identifier found";

    // The root of the file system (mount point) that holds the current folder.
    const QStorageInfo storage(QDir::currentPath());
    const QString root = storage.isValid() ? storage.rootPath() : QStringLiteral("/");
    systemInfo.driveRoot = QFileInfo(root).canonicalFilePath();
    if (systemInfo.driveRoot.isEmpty())
        systemInfo.driveRoot = QStringLiteral("/");

    // No report code exists for this host system, so subPlatform stays 0; the name and build say what
    // the host is (distribution name and kernel release).
    systemInfo.windowsName = QSysInfo::prettyProductName();
    systemInfo.windowsBuild = QSysInfo::kernelVersion();
    qInfo() << ORV_LOG_GLOBAL "system" << systemInfo.windowsName << systemInfo.windowsBuild
            << QSysInfo::currentCpuArchitecture() << "uuid" << systemInfo.installUuid << "driveRoot"
            << systemInfo.driveRoot;
}

namespace {

// Guards the order of the published words: once EXITING is out, no word of an earlier phase may follow
// (a start-up worker still on its way would publish STARTING over it). The quit sequence's own wait for
// other instances still reports STARTWAITING from the thread that published EXITING.
QMutex g_statusOrderMutex;
bool g_exitingPublished = false;
Qt::HANDLE g_exitingThread = nullptr;

bool belongsBeforeExiting(const QString &status)
{
    return status == QLatin1String(StatusWord::kStarting) || status == QLatin1String(StatusWord::kRunning) ||
           status == QLatin1String(StatusWord::kStartWaiting);
}

void writeStatusWord(const QString &status)
{
    SharedSegment &segment = Global::instanceSegment();
    if (!segment.isAttached() || !segment.writeText(status))
        qWarning() << ORV_LOG_GLOBAL "no instance segment attached, status not written:" << status;
}

} // namespace

void Global::setStatus(const QString &status)
{
    if (status == QLatin1String(StatusWord::kError)) {
        // ERROR may follow any word; it is written without the order lock, which a crashed thread may
        // be holding.
        writeStatusWord(status);
    } else {
        QMutexLocker locker(&g_statusOrderMutex);
        if (status == QLatin1String(StatusWord::kExiting)) {
            g_exitingPublished = true;
            g_exitingThread = QThread::currentThreadId();
        } else if (g_exitingPublished && belongsBeforeExiting(status) &&
                   !(status == QLatin1String(StatusWord::kStartWaiting) &&
                     g_exitingThread == QThread::currentThreadId())) {
            qDebug() << ORV_LOG_GLOBAL "status after EXITING not written:" << status;
            return;
        }
        writeStatusWord(status);
    }

    const QStringList args{QStringLiteral("-vm=") + vmName, QStringLiteral("-status=") + status};
    const ProgramStartHook hook = programStartHook.load();
    if (!hook || !hook(QLatin1String(GlobalText::kManagerProgram), args))
        Platform::startDetachedProgram(QLatin1String(GlobalText::kManagerProgram), args);
}

void Global::assignPorts(const QSet<int> &usedPorts)
{
    struct PortRule
    {
        QString *value;
        int guestPort;
        int base;
        const char *logText;
    };
    const PortRule rules[] = {
        {&openglPort, 22468, 20000, ORV_LOG_GLOBAL "openglPort "},
        {&vinputPort, 22469, 25000, ORV_LOG_GLOBAL "vinputPort "},
        {&pavixPort, 27000, 30000, ORV_LOG_GLOBAL "pavixPort "},
        {&adbPort, 5555, 35000, ORV_LOG_GLOBAL "adbPort "},
        {&yeltPort, 12121, 40000, ORV_LOG_GLOBAL "yeltPort "},
    };
    // Installations for tests move every base by ORV_PORT_OFFSET (below the 5000 between two bases), so
    // that test runs side by side on one machine start their searches apart.
    bool offsetSet = false;
    const int offset = qEnvironmentVariableIntValue("ORV_PORT_OFFSET", &offsetSet);
    const int shift = offsetSet && offset > 0 && offset < 5000 ? offset : 0;
    for (const PortRule &rule : rules) {
        if (CommandLine::tcp) {
            *rule.value = QString::number(rule.guestPort);
            continue;
        }
        int port = rule.base + shift;
        while (usedPorts.contains(port) && port < 65535)
            ++port;
        *rule.value = QString::number(port);
        qDebug() << rule.logText << *rule.value;
    }
}

bool Global::isKeyMapEnabled()
{
    return keyMapEnabledMap.value(currentPackage, false);
}
