#pragma once

#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>

// The emulator's driver of VirtualBox for the one machine this process serves (Global::vmName). It talks to
// VirtualBox only by running the VirtualBox command-line tool and reading its text output. One process-wide
// object (instance()); it has no lock of its own and blocks the calling thread while the tool runs.
class VBoxTool : public QObject
{
    Q_OBJECT

public:
    explicit VBoxTool(QObject *parent = nullptr);
    static VBoxTool &instance();

    // The version rule: product versions from "1.4.0" on (plain text order) use the Orvvm names.
    static bool usesOrvvmNames(const QString &productVersion);
    static QString toolFileName(const QString &productVersion);    // "OrvvmManage" or "VBoxManage"
    static QString serviceFileName(const QString &productVersion); // "OrvvmSVC" or "VBoxSVC"
    static QString errorPattern(const QString &productVersion);    // "<tool>: error"

    // The tool runner.
    void initVBoxPath();
    // Takes the paths that the last initVBoxPath of any object found (they are published under a lock),
    // so that a second object can run the tool on another thread while the process-wide one is busy
    // there: the quit powers the machine off while the start-up worker may still be in a tool run.
    // Returns false (and changes nothing) when no path was found yet.
    bool adoptPublishedPaths();
    int checkVBoxPath();
    int exec(const QStringList &args, QString *out = nullptr, QString *err = nullptr,
             int timeoutSeconds = 120);
    int execForOutput(const QString &program, const QStringList &args, QString *out = nullptr,
                      QString *err = nullptr);
    void hostMemorySize(int *limit, bool large);

    // Machine list, machine information, other instances, power.
    void init();
    int loadVmList();
    int listOrvantaVms(QStringList *names);
    int initVmInfo();
    void setMachineFolder();
    static bool isOtherInstanceBusy(QStringList names);
    // The state word of a machine that runs (running, paused, stuck).
    static bool isRunningState(const QString &state);
    bool checkOtherOrvStatus();
    // Brings the machine to powered off from the cached state; the result of the last command run
    // (1 when none was needed).
    int stopVM();
    // The quit's stop: reads the machine's state afresh (one tool run, no second wait), brings it to
    // powered off from that state, or powers it off anyway when the answer was empty, cut off or garbled,
    // and reads again to confirm. True only when a whole answer says "poweroff" or the tool knows no such
    // machine; false (with a critical log line) otherwise, also when the tool does not answer.
    bool stopVMForQuit();

    // Host, guest-property and extradata listings.
    int initHostInfo();
    int initGuestInfo();
    int initExtradataInfo();

    // Host ports and NAT port forwarding.
    void scanUsedPorts();
    int initPort();
    int setPortForward(const QString &name, const QString &rule);
    // Moves the running machine's forwarding rule `name` (to guest port `guestPort`) to a host port
    // that nothing on this machine uses, above `fromPort`: the rule is deleted and added again through
    // "controlvm <vm> natpf1". The new port, or 0 when none was found or the tool refused.
    int moveRunningForward(const QString &name, int guestPort, int fromPort);
    // The text of one forwarding rule on the loopback address to the guest's NAT address.
    static QString forwardRule(const QString &name, const QString &hostPort, int guestPort);
    // The host ports of forwarding rules ("name,tcp,host ip,host port,guest ip,guest port"); rules
    // without a readable host port add nothing.
    static QSet<int> ruleHostPorts(const QStringList &rules);
    // Name of the lock under which the user's emulators choose their host ports one at a time. Each
    // leaves its choice as "<pid> <ports...>" in <runtime folder>/ports/<vm>.ports for the next ones.
    static constexpr const char *kPortLockName = "orvanta-ports";
    // The host ports in the forwarding rules of every other registered machine.
    QSet<int> otherMachinesPorts();
    // The ports that live emulators of other machines have chosen, from the files in `folder`.
    static QSet<int> reservedPorts(const QString &folder, const QString &ownVm);

    // Machine image check, creation from the shipped image, and disk repair.
    int checkOva();
    int setupVm();
    int checkOvaVersion();
    int repairDisk(const QString &disk);
    int clearOva(const QString &folder);
    static bool copyDir(const QString &source, const QString &target, bool overwrite);

    // Machine start with its loader-mismatch retries and the fallback without hardware virtualisation.
    int startVM();

    // Hardware configuration; each step writes only what differs from the machine as last read.
    void applyVmSettings();
    int initNetwork();
    void setHwVirtEx(bool withVt);
    void setAudio();
    void setVideoAndAcpi();
    void disableUsb();
    void setCpuFeatures();
    int checkCpu(bool withVt);
    int checkMemory(bool withVt);
    int setMemory(int megabytes);
    int setResolutionAndDpi();

    // Guest properties and the device plug-in registration.
    void setChannelProperty();
    void setUuidProperty();
    void setYeltPortProperty();
    void setGuestFeatures();
    void setRenderModeProperty();
    void setFirstRunProperty();
    int setSpeedDevice();
    int setStreamMode();
    void clearEmuId();
    // Full path of the device plug-in beside the player programs.
    static QString speedDevicePath();

    // The four shared folders under <install>/share/<vm>/.
    void setShareFolders();

    QString uuid() const { return m_vmInfo.value(QStringLiteral("UUID")); }
    QString toolPath() const { return m_toolPath; }
    QString vmInfoText() const { return m_vmInfoText; }
    QString vboxDir() const { return m_vboxDir; }
    QString machineFolder() const { return m_machineFolder; }
    QStringList vmNames() const { return m_vmNames; }
    QHash<QString, QString> vmInfo() const { return m_vmInfo; }
    QStringList forwardRules() const { return m_forwardRules; }
    QStringList forwardRuleNames() const { return m_forwardRuleNames; }
    QHash<QString, QString> guestProperties() const { return m_guestProperties; }
    QHash<QString, QString> hostInfo() const { return m_hostInfo; }
    QHash<QString, QString> extraData() const { return m_extraData; }
    QSet<int> usedPorts() const { return m_usedPorts; }
    QString installedOvaVersion() const { return m_installedOvaVersion; }
    // The machine's folder as the tool reports it (the folder of its settings file); empty until a
    // whole machine information or the machine's creation told it.
    QString vmFolder() const { return m_vmFolder; }

    // Where a system-information value ("cpu") goes for the usage report; set by whoever wires the
    // report engine in. Without a sink the value is only logged.
    using SystemMessageSink = std::function<void(const QString &key, const QString &value)>;
    static void setSystemMessageSink(SystemMessageSink sink);

private:
    // True when the last tool run ended by itself with exit code 0. The results above never depend on
    // it; only decisions that delete or unregister something do.
    bool lastRunClean() const { return m_lastRunClean; }
    // exec without the service restart and second wait after a time-out.
    int execOnce(const QStringList &args, QString *out, QString *err);
    int execTool(const QStringList &args, QString *out, QString *err, int timeoutSeconds,
                 bool retryWithService);
    // Takes a whole machine information as the current one.
    void takeVmInfo(const QString &text);
    enum class QuitReading
    {
        Whole,         // a complete answer about this machine with its state (now in vmInfo)
        NotRegistered, // the tool knows no machine of this name
        Doubtful,      // empty, cut off, garbled, killed, or another error
        NoAnswer,      // the tool did not finish in time
    };
    QuitReading readStateForQuit();
    // True when neither "list vms" nor "list runningvms" names this machine, each read whole.
    bool isGoneByTheLists();
    // True when no registered machine keeps its settings in `folder`, so that it may be moved aside; false
    // (with a critical log line) when one does or when the tool's answer leaves that open.
    bool isFolderFree(const QString &folder);
    // True when `folder` may be moved aside and its disks taken over by this machine: it is a real folder
    // (not a link), no registered machine keeps its settings there, every settings file in it (or its
    // backup, when the file itself cannot be read) names this machine, and no registered machine uses a
    // disk in it ("list hdds"). Otherwise false, with a critical log line that says why; nothing is moved.
    bool mayTakeFolder(const QString &folder);
    // Moves a machine folder that stands in the way aside (never deletes it); the new path, or empty
    // when it could not be moved.
    QString moveFolderAside(const QString &folder);
    // Puts the user's data and sdcard disks of an old machine folder into the new machine's folder.
    void keepUserDisks(const QString &oldFolder, const QString &newFolder);

    QString m_vboxDir;
    QString m_toolPath;
    QString m_machineFolder;
    QStringList m_vmNames;
    QHash<QString, QString> m_vmInfo;
    QStringList m_forwardRules;
    QStringList m_forwardRuleNames;
    QHash<QString, QString> m_guestProperties;
    QHash<QString, QString> m_hostInfo;
    QHash<QString, QString> m_extraData;
    QString m_installedOvaVersion;
    QString m_vmInfoText;
    QSet<int> m_usedPorts;
    QString m_vmFolder;
    bool m_lastRunClean = false;
    bool m_lastRunTimedOut = false;
    bool m_vmInfoClean = false; // the last machine information read was whole and from a clean run
};
