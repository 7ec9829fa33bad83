#pragma once

#include <QElapsedTimer>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QSysInfo>

#include <atomic>

class SharedSegment;
class TrayTool;

// Installation facts read from the installation key (machine-wide settings).
struct InstallInfo
{
    QString channelId;
    QString installDir;
    QString productVersion;
    QString vboxPath;
    QString ovaVersion;
};

// Whether the host runs a 64-bit system (the kernel's machine type, "x86_64" or "aarch64"), whatever
// this program was built for.
inline bool hostIs64Bit()
{
    return QSysInfo::currentCpuArchitecture().contains(QLatin1String("64"));
}

// Facts about the host, filled during start-up and shown in the system-information dialog.
struct SystemInfo
{
    QString driveRoot;
    QString productVersion;
    // Known from the start (the system-information dialog may be opened before start-up measures the
    // rest): whether the host's processor runs 64-bit programs.
    bool is64Bit = hostIs64Bit();
    bool vtSupported = false;
    bool optionalChecksPassed = false;
    bool startWithVt = false;
    QString installUuid;
    int memoryMB = 0;
    int hostCpuCount = 0;
    QString cpuName;
    QString openglVersion;
    QString renderer;
    QStringList adapters;
    QString renderMode;
    bool discreteGpu = false;
    QString windowsName;
    QString windowsBuild;
};

// Process-wide values of the emulator program. Each is written by the component that owns it, before
// its readers run, and read everywhere else without a lock.
class Global
{
public:
    // The name of this process's virtual machine (the `vm` option). Keys the instance segment, the
    // instance channel, the settings file, the database and every log line.
    static QString vmName;

    // The instance segment of this process (keyed by the VM name); it carries the status word.
    static SharedSegment &instanceSegment();

    // Start time.
    static QString startDate;        // "yyyy-MM-dd"
    static QElapsedTimer startClock; // invalid until initStartTime()

    static InstallInfo installInfo;
    static QString ovaFolder; // folder of the guest image disks
    static SystemInfo systemInfo;
    static int subPlatform; // report code of the host system, 0 when unknown

    // Host ports of the forwarded guest services (decimal texts).
    static QString openglPort;
    static QString vinputPort;
    static QString pavixPort;
    static QString adbPort;
    static QString yeltPort;
    // This process's id as decimal text, published with the guest properties.
    static QString vmPort;

    // Log root (the install folder) and the debug log file of the start day.
    static QString logRoot;
    static QString debugLogFile;

    static QString renderMode;    // "gl" or "dx"
    static QString streamMode;    // "pipe" or "speed"
    static QString lastErrorCode; // error text of the last failed VirtualBox tool run
    // Full path of the VirtualBox tool once it has been found (set by VBoxTool); the crash handler
    // passes it to the cleanup program. Empty while unknown.
    static QString vboxToolPath;

    // Key-map state of the package in the foreground.
    static QString currentPackage;
    static QHash<QString, bool> keyMapEnabledMap;
    static QHash<QString, int> keyMapOpacityMap;
    static QMutex keyMapMutex;

    // Shared-folder paths: <installDir>/share/<vm>/game, event, image, other.
    static QString gamePath;
    static QString eventPath;
    static QString imagePath;
    static QString otherPath;

    static TrayTool *tray;

    static void initStartTime();
    static void loadInstallInfo();
    static void initSystemInfo();
    static void setStatus(const QString &status);
    static void assignPorts(const QSet<int> &usedPorts);
    static bool isKeyMapEnabled();
};

// Fixed names and texts shared by several components.
namespace GlobalText {
constexpr const char *kInputHost = "0000";
constexpr const char *kManagerProgram = "OrvMultiPlayer";
constexpr const char *kReportRequestName = "REQUEST_DATA_REPORT";
} // namespace GlobalText

// The status words written to the instance segment and sent to the instance manager, which compares
// them as they stand.
namespace StatusWord {
constexpr const char *kStarting = "STARTING";
constexpr const char *kStartWaiting = "STARTWAITING"; // waiting for other instances to finish starting
constexpr const char *kRunning = "RUNNING";
constexpr const char *kError = "ERROR";
constexpr const char *kExiting = "EXITING";
constexpr const char *kStop = "STOP";
} // namespace StatusWord

// Set once when the quit sequence begins; workers and loops stop at their next look at it.
extern std::atomic_bool appQuittingFlag;
// Asked first whenever the global record starts another program (the instance manager with a status);
// true when it has taken the start over. The crash handler installs one that, while a crash is handled,
// starts without fork(); the global record itself knows nothing of crash handling.
using ProgramStartHook = bool (*)(const QString &name, const QStringList &args);
extern std::atomic<ProgramStartHook> programStartHook;
// Set by the settings window when the width, height or DPI changed during this run.
extern std::atomic_bool resolutionChangedFlag;
// Start-up progress in percent, shared by the start-up worker and the Android window.
extern std::atomic<double> startupProgress;
