// The machine image check: the machine exists under the VM name, lives in the installation's machine
// folder, and has its three disks built from the shipped guest image attached.
#include "errorcodes.h"
#include "global.h"
#include "logtags.h"
#include "vboxoutput.h"
#include "vboxtool.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

constexpr int kToolTimeoutSeconds = 120;

// The three disks, in the order they are created and checked.
struct DiskSlot
{
    const char *word;        // "system", "data", "sdcard"
    const char *shippedFile; // file name in the image folder (with its leading "/")
    const char *slotKey;     // key of the slot in the machine information
    const char *port;
    const char *device;
};

constexpr DiskSlot kDisks[] = {
    {"system", "/android_system_disk.vmdk", "IDE-0-0", "0", "0"},
    {"data", "/android_data_disk.vmdk", "IDE-0-1", "0", "1"},
    {"sdcard", "/android_sdcard_disk.vmdk", "IDE-1-0", "1", "0"},
};

const DiskSlot *diskSlot(const QString &word)
{
    for (const DiskSlot &disk : kDisks) {
        if (word == QLatin1String(disk.word))
            return &disk;
    }
    return nullptr;
}

QString attachFailedText(const DiskSlot &disk)
{
    return QStringLiteral(ORV_LOG_VBOXTOOL "storagectl add android_%1_disk failed ")
        .arg(QLatin1String(disk.word));
}

QStringList attachArgs(const DiskSlot &disk, const QString &medium)
{
    return {QStringLiteral("storageattach"), Global::vmName,
            QStringLiteral("--storagectl"),  QStringLiteral("IDE"),
            QStringLiteral("--port"),        QLatin1String(disk.port),
            QStringLiteral("--device"),      QLatin1String(disk.device),
            QStringLiteral("--type"),        QStringLiteral("hdd"),
            QStringLiteral("--medium"),      medium};
}

} // namespace

int VBoxTool::checkOva()
{
    const QString &vm = Global::vmName;
    qInfo().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "check ova ");
    if (loadVmList() != ErrorCode::Success)
        return ErrorCode::VmListOrDiskCopyFailed;
    qDebug().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "list vms ") + vm;

    // The first instance was once called just "Orvanta"; it becomes Orvanta_0.
    const QString oldDefault = QStringLiteral("Orvanta");
    const QString newDefault = QStringLiteral("Orvanta_0");
    if (vm == newDefault && !m_vmNames.contains(newDefault) && m_vmNames.contains(oldDefault)) {
        if (exec({QStringLiteral("modifyvm"), oldDefault, QStringLiteral("--name"), newDefault}, nullptr,
                 nullptr, kToolTimeoutSeconds) == ErrorCode::Success) {
            m_vmNames.removeAll(oldDefault);
            m_vmNames.append(newDefault);
        }
    }

    // Only a whole machine information is ground for deleting anything below.
    const bool infoClean = initVmInfo() == ErrorCode::Success && m_vmInfoClean;

    // A machine registered from another folder (an earlier installation) is removed and created anew
    // here. The machine's folder is the one the tool keeps it in: the folder of its settings file (the
    // log folder's parent when the settings file is not named). The tool may have made that folder's
    // name from the machine name in its own way, so only its place is compared, never its name.
    if (m_vmNames.contains(vm)) {
        const QString settingsFile = m_vmInfo.value(QStringLiteral("CfgFile"));
        const QString logFolder = m_vmInfo.value(QStringLiteral("LogFldr"));
        if (!infoClean || (settingsFile.isEmpty() && logFolder.isEmpty())) {
            // Where the machine lives is unknown, and that is no ground for deleting anything.
            qWarning().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL
                                                   "machine folder unknown, folder test skipped");
        } else {
            QString folder;
            bool known = true;
            if (!settingsFile.isEmpty()) {
                folder = QDir::cleanPath(QFileInfo(settingsFile).absolutePath());
            } else {
                QDir parent(logFolder);
                known = parent.cdUp();
                folder = known ? QDir::cleanPath(parent.path()) : QDir::cleanPath(logFolder);
            }
            if (!known || QDir::cleanPath(QFileInfo(folder).path()) != QDir::cleanPath(m_machineFolder))
                clearOva(folder);
            else
                m_vmFolder = folder;
        }
    } else if (QFileInfo::exists(m_machineFolder + QLatin1Char('/') + vm)) {
        // Not in the list, but its folder is there: ask for the machine itself before building it anew.
        // A machine the tool still knows means the list was wrong, and nothing is rebuilt on it.
        if (exec({QStringLiteral("showvminfo"), vm, QStringLiteral("--machinereadable")}, nullptr, nullptr,
                 kToolTimeoutSeconds) == ErrorCode::Success &&
            lastRunClean()) {
            qCritical().noquote() << QStringLiteral(
                ORV_LOG_VBOXTOOL "machine missing from the machine list but registered, nothing rebuilt");
            return ErrorCode::VmListOrDiskCopyFailed;
        }
    }

    int result;
    if (!m_vmNames.contains(vm)) {
        result = setupVm();
    } else {
        qInfo().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "ova exist");
        result = checkOvaVersion();
    }
    if (result == ErrorCode::Success)
        qInfo().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "check ova ok");
    return result;
}

bool VBoxTool::isFolderFree(const QString &folder)
{
    // Each settings file in the folder is looked up as the tool does it: a registered machine is found by
    // the full path of its settings file too. Only a file the tool knows no machine of is a leftover.
    const QFileInfoList settingsFiles =
        QDir(folder).entryInfoList({QStringLiteral("*.vbox")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &file : settingsFiles) {
        const QString path = QDir::cleanPath(file.absoluteFilePath());
        QString out;
        const int result = exec({QStringLiteral("showvminfo"), path, QStringLiteral("--machinereadable")},
                                &out, nullptr, kToolTimeoutSeconds);
        if (result != ErrorCode::Success &&
            Global::lastErrorCode.contains(QLatin1String("Could not find a registered machine")) &&
            Global::lastErrorCode.contains(QLatin1String("VBOX_E_OBJECT_NOT_FOUND")))
            continue;
        if (result != ErrorCode::Success || !lastRunClean() || !VBoxOutput::isCompleteMachineInfo(out)) {
            qCritical().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL
                                                    "owner of the machine folder unknown, left alone ") +
                                         folder;
            return false;
        }
        const QHash<QString, QString> owner = VBoxOutput::parseMachineInfo(out).values;
        // Whoever the tool names, it is a registered machine that is not the one being built here (that
        // one is not registered yet), also when the name is the same: then the machine list was wrong.
        qCritical().noquote() << QStringLiteral(
                                     ORV_LOG_VBOXTOOL
                                     "machine folder %1 belongs to the registered machine '%2' {%3}, "
                                     "not '%4': left alone")
                                     .arg(folder, owner.value(QStringLiteral("name")),
                                          owner.value(QStringLiteral("UUID")), Global::vmName);
        return false;
    }
    return true;
}

bool VBoxTool::mayTakeFolder(const QString &folder)
{
    const QString &vm = Global::vmName;
    const QFileInfo info(folder);
    const auto refuse = [&](const QString &why) {
        qCritical().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL
                                                "machine folder %1 not used for '%2': %3; left alone")
                                     .arg(folder, vm, why);
        return false;
    };
    // Through a link the disks of whatever it leads to would be moved.
    if (info.isSymLink())
        return refuse(QStringLiteral("it is a link to %1").arg(info.symLinkTarget()));
    if (!info.isDir())
        return refuse(QStringLiteral("it is not a folder"));
    if (!isFolderFree(folder))
        return false;

    // The settings file says whose folder it is; a garbled one is read from its backup.
    const QFileInfoList settingsFiles =
        QDir(folder).entryInfoList({QStringLiteral("*.vbox")}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &file : settingsFiles) {
        QString owner;
        for (const QString &path :
             {file.absoluteFilePath(), file.absoluteFilePath() + QStringLiteral("-prev")}) {
            QFile settings(path);
            if (settings.open(QIODevice::ReadOnly))
                owner = VBoxOutput::settingsMachineName(settings.read(16 * 1024 * 1024));
            if (!owner.isEmpty())
                break;
        }
        if (owner.isEmpty())
            return refuse(QStringLiteral("its settings file %1 names no machine that can be read")
                              .arg(file.fileName()));
        if (owner != vm)
            return refuse(QStringLiteral("its settings file %1 belongs to the machine '%2'")
                              .arg(file.fileName(), owner));
    }

    // A disk in it that a registered machine uses stays that machine's.
    QString out;
    if (exec({QStringLiteral("list"), QStringLiteral("hdds")}, &out, nullptr, kToolTimeoutSeconds) !=
            ErrorCode::Success ||
        !lastRunClean())
        return refuse(QStringLiteral("the tool's list of disks could not be read"));
    bool complete = false;
    const QList<VBoxOutput::HardDisk> disks = VBoxOutput::parseHardDisks(out, &complete);
    if (!complete)
        return refuse(QStringLiteral("the tool's list of disks was cut off"));
    const QString canonicalFolder = QDir(folder).canonicalPath();
    for (const VBoxOutput::HardDisk &disk : disks) {
        if (disk.users.isEmpty())
            continue;
        const QFileInfo location(disk.location);
        const QString diskFolder = QDir(location.absolutePath()).canonicalPath();
        if (QDir::cleanPath(location.absolutePath()) != QDir::cleanPath(folder) &&
            (diskFolder.isEmpty() || diskFolder != canonicalFolder))
            continue;
        QStringList others = disk.users;
        others.removeAll(vm);
        if (!others.isEmpty())
            return refuse(QStringLiteral("its disk %1 is used by the registered machine '%2'")
                              .arg(location.fileName(), others.join(QStringLiteral("', '"))));
    }
    return true;
}

QString VBoxTool::moveFolderAside(const QString &folder)
{
    // A name no machine can have (it starts with "."), so the moved folder never meets a machine.
    const QFileInfo info(folder);
    QString aside = info.path() + QStringLiteral("/.") + info.fileName() + QStringLiteral("-moved-") +
                    QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    for (int n = 2; QFileInfo::exists(aside); ++n)
        aside = aside.section(QLatin1Char('~'), 0, 0) + QLatin1Char('~') + QString::number(n);
    if (!QDir().rename(folder, aside)) {
        qCritical().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL
                                                "cannot move the old machine folder aside ") +
                                     folder;
        return QString();
    }
    qWarning().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "old machine folder moved aside: ") + folder +
                                QStringLiteral(" -> ") + aside;
    return aside;
}

void VBoxTool::keepUserDisks(const QString &oldFolder, const QString &newFolder)
{
    // The data and sdcard disks hold the user's data: the newest of each kind goes into the new machine in
    // place of the fresh copy. Everything else stays in the old folder.
    for (const DiskSlot &disk : {kDisks[1], kDisks[2]}) {
        const QString shipped = QString::fromLatin1(disk.shippedFile).mid(1);
        const QFileInfoList candidates =
            QDir(oldFolder).entryInfoList({shipped, QLatin1String(disk.word) + QStringLiteral("_*.vmdk")},
                                          QDir::Files | QDir::NoSymLinks, QDir::Time);
        if (candidates.isEmpty())
            continue;
        const QString target = newFolder + QLatin1Char('/') + shipped;
        QFile::remove(target);
        if (QDir().rename(candidates.first().absoluteFilePath(), target))
            qWarning().noquote()
                << QStringLiteral(ORV_LOG_VBOXTOOL "%1 disk kept: ").arg(QLatin1String(disk.word)) +
                       candidates.first().absoluteFilePath() + QStringLiteral(" -> ") + target;
        else
            qCritical().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL
                                                    "%1 disk could not be kept, it stays in ")
                                             .arg(QLatin1String(disk.word)) +
                                         oldFolder;
    }
}

int VBoxTool::setupVm()
{
    const QString &vm = Global::vmName;
    qInfo().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "setup vm ") + vm;
    setMachineFolder();
    QDir().mkpath(m_machineFolder);

    const auto run = [this](const QStringList &args) {
        return exec(args, nullptr, nullptr, kToolTimeoutSeconds);
    };
    // An old folder of this name (a machine whose settings were lost, a half-built one) is never deleted:
    // it is moved aside and the user's disks in it are taken over.
    QStringList oldFolders;
    const QString expected = m_machineFolder + QLatin1Char('/') + vm;
    const QFileInfo expectedInfo(expected);
    if (expectedInfo.exists() || expectedInfo.isSymLink()) {
        if (!mayTakeFolder(expected))
            return ErrorCode::VmListOrDiskCopyFailed;
        const QString aside = moveFolderAside(expected);
        if (aside.isEmpty())
            return ErrorCode::VmListOrDiskCopyFailed;
        oldFolders << aside;
    }
    const QStringList create{
        QStringLiteral("createvm"),   QStringLiteral("--name"),   vm,
        QStringLiteral("--register"), QStringLiteral("--ostype"), QStringLiteral("Linux")};
    QString out;
    QString err;
    int created = exec(create, &out, &err, kToolTimeoutSeconds);
    // The tool names the folder in its own way; a leftover settings file there is moved aside too.
    const QString inTheWay = VBoxOutput::existingSettingsFile(err);
    if (created != ErrorCode::Success && !inTheWay.isEmpty() &&
        QDir::cleanPath(QFileInfo(QFileInfo(inTheWay).path()).path()) == QDir::cleanPath(m_machineFolder)) {
        // The tool made the same folder name of another name ("Work." and "Work_"): that folder may be
        // another machine's.
        if (!mayTakeFolder(QFileInfo(inTheWay).path()))
            return ErrorCode::VmListOrDiskCopyFailed;
        const QString aside = moveFolderAside(QFileInfo(inTheWay).path());
        if (!aside.isEmpty()) {
            oldFolders << aside;
            created = exec(create, &out, &err, kToolTimeoutSeconds);
        }
    }
    if (created != ErrorCode::Success) {
        qCritical().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "create ") + vm + QStringLiteral(" failed ");
        return ErrorCode::VmListOrDiskCopyFailed;
    }
    // The machine's folder is the one the tool made for it.
    const QString settingsFile = VBoxOutput::createdSettingsFile(out);
    if (settingsFile.isEmpty()) {
        qCritical().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "create ") + vm +
                                     QStringLiteral(" failed , no settings file named");
        return ErrorCode::VmListOrDiskCopyFailed;
    }
    const QString vmFolder = QDir::cleanPath(QFileInfo(settingsFile).absolutePath());
    m_vmFolder = vmFolder;
    if (!copyDir(Global::ovaFolder, vmFolder, true)) {
        qCritical().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "copy vmdk files failed ");
        return ErrorCode::VmListOrDiskCopyFailed;
    }
    for (const QString &old : qAsConst(oldFolders))
        keepUserDisks(old, vmFolder);

    if (run({QStringLiteral("modifyvm"), vm, QStringLiteral("--boot1"), QStringLiteral("disk"),
             QStringLiteral("--boot2"), QStringLiteral("none"), QStringLiteral("--boot3"),
             QStringLiteral("none"), QStringLiteral("--boot4"), QStringLiteral("none")}) !=
        ErrorCode::Success) {
        qCritical().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "modifyvm boot failed ");
        return ErrorCode::VmListOrDiskCopyFailed;
    }
    if (run({QStringLiteral("storagectl"), vm, QStringLiteral("--name"), QStringLiteral("IDE"),
             QStringLiteral("--add"), QStringLiteral("ide")}) != ErrorCode::Success) {
        qCritical().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "storagectl add ide failed ");
        return ErrorCode::VmListOrDiskCopyFailed;
    }
    for (const DiskSlot &disk : kDisks) {
        const QString file = vmFolder + QLatin1String(disk.shippedFile);
        // The copy carries the shipped disk's identifier, which the tool may know already.
        run({QStringLiteral("internalcommands"), QStringLiteral("sethduuid"), file});
        if (run(attachArgs(disk, file)) != ErrorCode::Success) {
            qCritical().noquote() << attachFailedText(disk);
            return ErrorCode::VmListOrDiskCopyFailed;
        }
    }
    run({QStringLiteral("guestproperty"), QStringLiteral("set"), vm, QStringLiteral("orvanta_ova_version"),
         Global::installInfo.ovaVersion});
    if (!m_vmNames.contains(vm))
        m_vmNames.append(vm);
    return ErrorCode::Success;
}

bool VBoxTool::copyDir(const QString &source, const QString &target, bool overwrite)
{
    const QDir sourceDir(source);
    if (!sourceDir.exists()) {
        // Nothing to copy is a failure: a machine built from an empty folder has no disks.
        qWarning().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "copy source missing ") + source;
        return false;
    }
    if (!QDir(target).exists() && !QDir().mkpath(target))
        return false;
    const QFileInfoList entries = sourceDir.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Unsorted);
    for (const QFileInfo &entry : entries) {
        const QString destination = target + QLatin1Char('/') + entry.fileName();
        if (entry.isDir()) {
            if (!copyDir(entry.absoluteFilePath(), destination, overwrite))
                return false;
            continue;
        }
        if (overwrite && QFileInfo::exists(destination))
            QFile::remove(destination);
        if (!QFile::copy(entry.absoluteFilePath(), destination))
            return false;
    }
    return true;
}

int VBoxTool::checkOvaVersion()
{
    const QString &vm = Global::vmName;
    const QString &shipped = Global::installInfo.ovaVersion;
    QString out;
    if (exec({QStringLiteral("guestproperty"), QStringLiteral("get"), vm,
              QStringLiteral("orvanta_ova_version")},
             &out, nullptr, kToolTimeoutSeconds) != ErrorCode::Success)
        return ErrorCode::OvaVersionFailed;
    // "Value: <version>"; "No value set!" keeps what was read before.
    if (out.contains(QLatin1Char(':')))
        m_installedOvaVersion = out.section(QLatin1Char(':'), 1, 1).trimmed();
    qDebug().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "ova the current version is ") +
                              m_installedOvaVersion + QStringLiteral(" and the last version is ") + shipped;

    // A slot is repaired when it is empty ("none") or names a file that is gone. A slot without any
    // value means the machine information was not read: the disks there are unknown and are left alone,
    // since the data and sdcard disks hold the user's data.
    enum class Slot
    {
        Unknown,
        Missing,
        Present
    };
    const auto slotState = [this](const DiskSlot &disk) {
        const QString value = m_vmInfo.value(QLatin1String(disk.slotKey));
        // A machine information that was cut off or came from a failed run may name slots wrongly.
        if (!m_vmInfoClean) {
            qWarning().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "%1 disk slot unknown, left alone")
                                        .arg(QLatin1String(disk.word));
            return Slot::Unknown;
        }
        if (value.isEmpty()) {
            qWarning().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "%1 disk slot %2 unknown, left alone")
                                        .arg(QLatin1String(disk.word), QLatin1String(disk.slotKey));
            return Slot::Unknown;
        }
        if (value == QLatin1String("none") || !QFileInfo::exists(value))
            return Slot::Missing;
        return Slot::Present;
    };

    int result = ErrorCode::Success;
    const auto repair = [&](const DiskSlot &disk) {
        qInfo().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "repaire %1 ide").arg(QLatin1String(disk.word));
        const int code = repairDisk(QLatin1String(disk.word));
        if (code != ErrorCode::Success && result == ErrorCode::Success)
            result = code;
    };

    const Slot system = slotState(kDisks[0]);
    if (system == Slot::Missing || (system == Slot::Present && m_installedOvaVersion < shipped))
        repair(kDisks[0]);
    for (const DiskSlot &disk : {kDisks[1], kDisks[2]}) {
        if (slotState(disk) == Slot::Missing)
            repair(disk);
    }
    return result;
}

int VBoxTool::repairDisk(const QString &word)
{
    const DiskSlot *disk = diskSlot(word);
    if (!disk)
        return ErrorCode::DiskRepairOrStartAnswerFailed;
    const QString &vm = Global::vmName;
    const QString &shipped = Global::installInfo.ovaVersion;
    qInfo().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "set ") + word;

    if (m_vmFolder.isEmpty()) {
        qCritical().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL
                                                "machine folder unknown, no disk made for ") +
                                     word;
        return ErrorCode::DiskRepairOrStartAnswerFailed;
    }
    const QString newFile =
        m_vmFolder + QLatin1Char('/') + word + QLatin1Char('_') + shipped + QStringLiteral(".vmdk");
    const QString current = m_vmInfo.value(QLatin1String(disk->slotKey));
    const QString source = Global::ovaFolder + QLatin1String(disk->shippedFile);
    const auto run = [this](const QStringList &args) {
        return exec(args, nullptr, nullptr, kToolTimeoutSeconds);
    };

    const bool attached = !current.isEmpty() && current != QLatin1String("none");
    if (attached) {
        const QString failed =
            QStringLiteral(ORV_LOG_VBOXTOOL "storagectl del ") + current + QStringLiteral(" failed ");
        if (run(attachArgs(*disk, QStringLiteral("none"))) != ErrorCode::Success) {
            qCritical().noquote() << failed;
            return ErrorCode::DiskRepairOrStartAnswerFailed;
        }
        if (run({QStringLiteral("closemedium"), QStringLiteral("disk"), current,
                 QStringLiteral("--delete")}) != ErrorCode::Success) {
            // The tool cannot delete a file that is already gone; then there is nothing to lose and the
            // new disk is attached all the same.
            if (QFileInfo::exists(current)) {
                qCritical().noquote() << failed;
                return ErrorCode::DiskRepairOrStartAnswerFailed;
            }
            qWarning().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "disk file already gone ") + current;
        }
        if (QFileInfo::exists(current))
            QFile::remove(current);
    }
    if (QFileInfo::exists(newFile))
        QFile::remove(newFile);
    QDir().mkpath(QFileInfo(newFile).absolutePath());
    if (!QFile::copy(source, newFile)) {
        qCritical().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "copy vmdk files failed ");
        return ErrorCode::DiskRepairOrStartAnswerFailed;
    }
    run({QStringLiteral("internalcommands"), QStringLiteral("sethduuid"), newFile});
    if (run(attachArgs(*disk, newFile)) != ErrorCode::Success) {
        qCritical().noquote() << attachFailedText(*disk);
        return ErrorCode::DiskRepairOrStartAnswerFailed;
    }
    if (word == QLatin1String("system"))
        run({QStringLiteral("guestproperty"), QStringLiteral("set"), vm,
             QStringLiteral("orvanta_ova_version"), shipped});
    return ErrorCode::Success;
}

int VBoxTool::clearOva(const QString &folder)
{
    const QString &vm = Global::vmName;
    qDebug().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "clear ova");
    if (m_vmNames.contains(vm))
        exec({QStringLiteral("unregistervm"), vm, QStringLiteral("--delete")}, nullptr, nullptr,
             kToolTimeoutSeconds);
    const QString target = folder.isEmpty() ? m_machineFolder + QLatin1Char('/') + vm : folder;
    if (QFileInfo::exists(target)) {
        // Only a folder that carries the machine's own name is the machine's folder; anything else (a
        // log folder whose parent was unreachable, a user's folder) is not ours to delete.
        if (QFileInfo(QDir::cleanPath(target)).fileName() == vm) {
            QDir(target).removeRecursively();
        } else {
            qWarning().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL
                                                   "folder not the machine's own, left alone ") +
                                        target;
        }
    }
    m_vmNames.removeAll(vm);
    return ErrorCode::Success;
}
