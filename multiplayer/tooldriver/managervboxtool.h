#pragma once

#include "vmrecord.h"

#include <QHash>
#include <QMap>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

namespace OrvMulti {

// The manager's driver of the VirtualBox command-line tool: lists the machines, keeps the manager's
// record of every instance and its list file, creates, clones, exports, imports, stops and deletes
// machines and keeps the base machine current. One process-wide object, used from the GUI thread, the
// creation worker and pool tasks.
//
// The last error is kept per calling thread: it always belongs to the operation that thread ran last.
class VBoxTool : public QObject
{
    Q_OBJECT

public:
    // Results; callers test for Success or their step's failure code.
    enum Result : int
    {
        ErrorOutput = 0,
        Success = 1,
        TimedOutTwice = 2,
        NoImageFolder = 0x1001,
        CreateFailed = 0x1003,
        CloneIncomplete = 0x1005,
        CopyImageFailed = 0x1006,
        BootOrderFailed = 0x1007,
        DiskAttachFailed = 0x1008,
        DeleteFailed = 0x1009,
        ImportFailed = 0x100A,
        ExportFailed = 0x100B,
        NoDiskSpace = 0x2000,
    };

    // Time-outs of the tool's runs in production (a test may scale them down).
    static constexpr int kToolTimeoutMs = 120000;
    static constexpr int kCloneTimeoutMs = 1800000;
    static constexpr int kApplianceTimeoutMs = 3600000;
    // Room left beside a clone's copy.
    static constexpr quint64 kCloneSpareBytes = 20000000;

    static VBoxTool &instance();

    int init();
    int refreshVms(VmRecordMap *out);
    int clone(const QString &source, const QString &title, QString *newName = nullptr);
    int deleteVm(const QString &vm, const QString &title, bool forget);
    int importVm(const QString &ovaFile, const QString &vm);
    int exportVm(const QString &ovaFile, const QString &vm);
    // True when the tool can import `ovaFile` as `vm` (a dry run of the import); otherwise the
    // tool's error is the last error. `diskCount` gets the number of disk images the appliance names.
    bool checkAppliance(const QString &ovaFile, const QString &vm, int *diskCount = nullptr);
    // Replaces the machine of `vm` by the one in the backup `ovaFile`. The file is checked first
    // (ImportFailed when the tool cannot import it, nothing changed). The machine is unregistered and its
    // folder kept aside while the import runs; only an imported machine that has every disk its backup
    // names, each with content, counts as restored, and then the old folder goes. Otherwise the old machine
    // is put back, the result is ImportFailed and the last error says in words what the user has now.
    // DeleteFailed when the old machine could not be set aside (nothing changed).
    int restoreVm(const QString &ovaFile, const QString &vm, const QString &title);
    void renameTitle(const QString &newTitle, const QString &oldTitle);
    QString findVmByTitle(const QString &title) const;
    QString vmName() const;
    // The error text of the calling thread's last operation.
    QString lastError() const;

    int exec(const QStringList &args, QString *out, QString *err, int timeoutMs = kToolTimeoutMs);

    // Facts for callers and tests.
    QString toolPath() const;
    QString machineFolder() const;
    QString dataFolder() const;
    QString xmlPath() const;
    QStringList vmNames() const;
    int highestNumber() const;
    VmRecordMap records() const;

    // The tool's file name of a product version (the emulator follows the same rule).
    static QString toolFileName(const QString &productVersion);
    // The service program started after a hung run: always "VBoxSVC" from the VirtualBox folder, also
    // when the tool is OrvvmManage (unlike the emulator, which starts the service matching its tool).
    static QString serviceFileName();
    // True when `err` holds an error line of the tool (not just its progress line).
    static bool hasToolError(const QString &err);

    // Machine list file, read and written by refreshVms, clone, deleteVm and renameTitle.
    // Reads titles into the records; false when the file exists but could not be read (the caller
    // must not rewrite it then).
    bool initVmsFromXml();
    bool appendVmsToXml();

private:
    VBoxTool() = default;

    int listVmsFromVBox();
    using MachineInfo = QHash<QString, QString>;
    bool initVmInfo(const QString &vm, MachineInfo *info);
    void initVmsStatus();
    void powerofByName(const QString &vm, const QString &state, const MachineInfo &info);
    int addVMByName(const QString &vm);
    bool checkDisks(const QString &vm);
    // True when `vm` is registered, every file attached to it holds data, and at least `expected` are
    // attached (the disks its backup named).
    bool hasDisksWithContent(const QString &vm, int expected);
    bool removeVmFiles(const QString &vm);
    void checkOrvantaBase();
    void handleAlreadyExists(const QString &newName, int n);
    void setLastError(const QString &text);
    bool isRegistered(const QString &vm) const;
    QString defaultTitle(const QString &vm) const;

    static bool copyFolder(const QString &source, const QString &target, bool overwrite);
    static qint64 folderSize(const QString &path);
    // Free bytes on the volume of `path` (or of its nearest existing parent); 0 when unknown.
    static quint64 freeSpace(const QString &path, QString *volumeRoot);

    // Paths, set by init() in the GUI thread before any worker runs; read-only afterwards.
    QString m_installDir;
    QString m_ovaFolder;
    QString m_dataFolder;
    QString m_machineFolder;
    QString m_ovaVersion;
    QString m_vboxPath;
    QString m_productVersion;
    QString m_toolPath;
    QString m_xmlPath;

    // Guards m_records, m_vmNames, m_highestNumber and m_titleMap. Never held while the tool runs.
    mutable QMutex m_stateMutex;
    VmRecordMap m_records;
    QStringList m_vmNames;
    int m_highestNumber = 0;
    QMap<QString, QString> m_titleMap;

    // Serialises writes of the machine list file.
    QMutex m_fileMutex;
};

} // namespace OrvMulti
