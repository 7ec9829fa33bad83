#include "managervboxtool.h"

#include "mpruntime.h"
#include "paths.h"
#include "processrunner.h"
#include "sharedsegment.h"
#include "timeoutscale.h"
#include "vboxoutput.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStorageInfo>

namespace OrvMulti {

namespace {

const char *const kBaseVm = "OrvantaBase";
const char *const kFirstVm = "Orvanta_0";
const char *const kUnnamedFirstVm = "Orvanta";
const char *const kInaccessible = "<inaccessible>";
const char *const kOrganisation = "Halvora";
const char *const kManagerFolder = "OrvMultiPlayer";
const char *const kProgressDone = "0%...10%...20%...30%...40%...50%...60%...70%...80%...90%...100%";

struct DiskSlot
{
    const char *file;
    const char *port;
    const char *device;
    const char *failure;
};
const DiskSlot kImageDisks[] = {
    {"android_system_disk.vmdk", "0", "0", "VBoxTool : storagectl add android_system_disk failed "},
    {"android_data_disk.vmdk", "0", "1", "VBoxTool : storagectl add android_data_disk failed "},
    {"android_sdcard_disk.vmdk", "1", "0", "VBoxTool : storagectl add android_sdcard_disk failed "},
};

// The error text of the operation this thread runs.
thread_local QString t_lastError;

QStringList outputLines(const QString &text)
{
    QString normalised = text;
    normalised.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return normalised.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// The tool's answer for a machine name it does not know.
QString notRegisteredText(const QString &vm)
{
    return QStringLiteral("Could not find a registered machine named '") + vm + QLatin1Char('\'');
}

bool alreadyExists(const QString &text)
{
    return text.contains(QLatin1String("already exists")) ||
           text.contains(QLatin1String("VERR_ALREADY_EXISTS"));
}

} // namespace

VBoxTool &VBoxTool::instance()
{
    static VBoxTool tool;
    return tool;
}

QString VBoxTool::toolFileName(const QString &productVersion)
{
    return productVersion >= QLatin1String("1.4.0") ? QStringLiteral("OrvvmManage")
                                                    : QStringLiteral("VBoxManage");
}

QString VBoxTool::serviceFileName()
{
    // The manager restarts the service under this name whichever tool it drives.
    return QStringLiteral("VBoxSVC");
}

bool VBoxTool::hasToolError(const QString &err)
{
    // "<program>: error: ..." at the start of a line; the program's own file name comes first.
    static const QRegularExpression line(QStringLiteral("^[^\\s:]+: error: "),
                                         QRegularExpression::MultilineOption);
    return line.match(err).hasMatch();
}

void VBoxTool::setLastError(const QString &text)
{
    t_lastError = text;
}

QString VBoxTool::lastError() const
{
    return t_lastError;
}

QString VBoxTool::toolPath() const
{
    return m_toolPath;
}
QString VBoxTool::machineFolder() const
{
    return m_machineFolder;
}
QString VBoxTool::dataFolder() const
{
    return m_dataFolder;
}
QString VBoxTool::xmlPath() const
{
    return m_xmlPath;
}

QStringList VBoxTool::vmNames() const
{
    QMutexLocker locker(&m_stateMutex);
    return m_vmNames;
}

int VBoxTool::highestNumber() const
{
    QMutexLocker locker(&m_stateMutex);
    return m_highestNumber;
}

VmRecordMap VBoxTool::records() const
{
    QMutexLocker locker(&m_stateMutex);
    return m_records;
}

bool VBoxTool::isRegistered(const QString &vm) const
{
    QMutexLocker locker(&m_stateMutex);
    return m_vmNames.contains(vm);
}

// ---- start-up ----

int VBoxTool::init()
{
    qInfo() << "VBoxTool : init";
    m_xmlPath = Platform::localAppDataRoot() + QLatin1Char('/') + QLatin1String(kManagerFolder) +
                QStringLiteral("/multiplayer.xml");
    m_dataFolder = Platform::appDataRoot() + QLatin1Char('/') + QLatin1String(kOrganisation);
    {
        QMutexLocker locker(&m_stateMutex);
        m_titleMap.clear();
    }

    QSettings settings(QSettings::NativeFormat, QSettings::UserScope, QLatin1String(kOrganisation),
                       QStringLiteral("Orvanta"));
    m_vboxPath = settings.value(QStringLiteral("VBoxPath")).toString();
    m_installDir = settings.value(QStringLiteral("Installdir")).toString();
    m_productVersion = settings.value(QStringLiteral("ProductVersion")).toString().trimmed();
    m_ovaVersion =
        settings.value(QStringLiteral("ModuleInfo/ova"), QStringLiteral("1.0.0")).toString().trimmed();

    // The fallbacks are taken from the program's own folder (<install>/<version>/player), never from
    // the folder the manager happened to be started in.
    const QString programDir = QCoreApplication::applicationDirPath();
    if (m_installDir.isEmpty())
        m_installDir = QDir::cleanPath(programDir + QStringLiteral("/../.."));
    m_ovaFolder = m_productVersion.isEmpty()
                      ? QDir::cleanPath(programDir + QStringLiteral("/../ova"))
                      : m_installDir + QLatin1Char('/') + m_productVersion + QStringLiteral("/ova");
    if (!QFileInfo(m_ovaFolder).isDir()) {
        qInfo().noquote() << QStringLiteral("VBoxTool : image folder missing ") + m_ovaFolder;
        return NoImageFolder;
    }
    m_toolPath = m_vboxPath + QLatin1Char('/') + toolFileName(m_productVersion);
    m_machineFolder = m_installDir + QStringLiteral("/vbox");
    qInfo() << "VBoxTool : init ok";
    return Success;
}

// ---- the tool runner ----

int VBoxTool::exec(const QStringList &args, QString *out, QString *err, int timeoutMs)
{
    qDebug().noquote() << QStringLiteral("VBoxTool : exec  ") + m_toolPath + QStringLiteral("   arg  ") +
                              args.join(QLatin1Char(' '));
    setLastError(QString());
    Platform::ProcessRequest request;
    request.program = m_toolPath;
    request.arguments = args;
    request.timeoutMs = TimeoutScale::ms(timeoutMs);

    Platform::ProcessOutcome outcome = Platform::runProcess(request);
    if (outcome.result == Platform::ProcessResult::TimedOut) {
        // A tool that hangs usually waits for a VirtualBox service that does not answer: start the
        // service (as a program path, so a folder with blanks works) and try once more.
        Platform::ProcessRequest service;
        service.program = m_vboxPath + QLatin1Char('/') + serviceFileName();
        Platform::startDetached(service);
        outcome = Platform::runProcess(request);
        if (outcome.result == Platform::ProcessResult::TimedOut) {
            qCritical().noquote() << QStringLiteral("VBoxTool : exec error  ") +
                                         QLatin1String(Platform::processResultName(outcome.result)) +
                                         QStringLiteral("   ") + QString::number(outcome.exitCode);
            setLastError(QLatin1String(Platform::processResultName(outcome.result)));
            return TimedOutTwice;
        }
    }
    if (outcome.result == Platform::ProcessResult::FailedToStart) {
        // A missing tool is not a hung one: report it at once.
        setLastError(outcome.errorText);
        qCritical().noquote() << QStringLiteral("VBoxTool : exec error ") + outcome.errorText;
        if (err)
            *err = outcome.errorText;
        return ErrorOutput;
    }
    const QString standardOutput = QString::fromLocal8Bit(outcome.standardOutput);
    QString standardError = QString::fromLocal8Bit(outcome.standardError);
    if (outcome.result == Platform::ProcessResult::Crashed && standardError.isEmpty())
        standardError = QStringLiteral("the tool ended by signal ") + QString::number(outcome.signal);
    if (out)
        *out = standardOutput;
    if (err)
        *err = standardError;
    if (!standardOutput.isEmpty())
        qDebug().noquote() << QStringLiteral("VBoxTool : exec return ") + standardOutput;
    if (!standardError.isEmpty()) {
        qCritical().noquote() << QStringLiteral("VBoxTool : exec error ") + standardError;
        setLastError(standardError);
        return ErrorOutput;
    }
    return Success;
}

// ---- listing ----

int VBoxTool::refreshVms(VmRecordMap *out)
{
    {
        QMutexLocker locker(&m_stateMutex);
        m_records.clear();
        m_vmNames.clear();
        m_highestNumber = 0;
    }
    const int listed = listVmsFromVBox();
    if (listed != Success)
        return ErrorOutput;
    // A list file that exists but cannot be read is left as it is until it can be read again.
    if (initVmsFromXml())
        appendVmsToXml();
    initVmsStatus();
    checkOrvantaBase();
    if (out) {
        QMutexLocker locker(&m_stateMutex);
        *out = m_records;
    }
    return Success;
}

int VBoxTool::listVmsFromVBox()
{
    qInfo() << "VBoxTool : listVmsFromVBox";
    QString out;
    const int result = exec({QStringLiteral("list"), QStringLiteral("vms")}, &out, nullptr);
    if (result != Success)
        return result;

    QStringList names;
    VmRecordMap records;
    int highest = 0;
    // The emulator reads this listing with the same reader.
    for (const VBoxOutput::VmListEntry &listed : VBoxOutput::parseVmList(out)) {
        const QString &name = listed.name;
        if (name == QLatin1String(kInaccessible)) {
            exec({QStringLiteral("unregistervm"), listed.uuid, QStringLiteral("--delete")}, nullptr, nullptr);
            continue;
        }
        names << name;
        int number = 0;
        if (isInstanceName(name, &number)) {
            VmRecord record;
            record.vm = name;
            records[name] = record;
            highest = qMax(highest, number);
        }
    }
    if (records.find(QLatin1String(kFirstVm)) == records.end() &&
        names.contains(QLatin1String(kUnnamedFirstVm))) {
        const int renamed = exec({QStringLiteral("modifyvm"), QLatin1String(kUnnamedFirstVm),
                                  QStringLiteral("--name"), QLatin1String(kFirstVm)},
                                 nullptr, nullptr);
        if (renamed == Success) {
            VmRecord record;
            record.vm = QLatin1String(kFirstVm);
            records[record.vm] = record;
            // The machine is known by its new name from now on.
            names.replaceInStrings(QRegularExpression(QStringLiteral("^Orvanta$")), QLatin1String(kFirstVm));
        }
    }
    QMutexLocker locker(&m_stateMutex);
    m_vmNames = names;
    m_records = records;
    m_highestNumber = highest;
    return Success;
}

bool VBoxTool::initVmInfo(const QString &vmIn, MachineInfo *info)
{
    const QString vm = vmIn.isEmpty() ? QLatin1String(kBaseVm) : vmIn;
    info->clear();
    qInfo().noquote() << QStringLiteral("VBoxTool : init ") + vm + QStringLiteral(" info");
    QString out;
    if (exec({QStringLiteral("showvminfo"), vm, QStringLiteral("--machinereadable")}, &out, nullptr) !=
        Success)
        return false;
    // Read with the emulator's reader of this output, which differs from a plain split at the first "="
    // with every double quote dropped: a quoted key is taken whole, and the escapes the tool writes
    // inside quotes (a backslash before a double quote or a backslash) are undone, so a value holding
    // those characters (a log folder path) is the true one. Port-forward lines are set aside; this tool
    // reads none of them.
    *info = VBoxOutput::parseMachineInfo(out).values;
    qInfo().noquote() << QStringLiteral("VBoxTool : init ") + vm + QStringLiteral(" info ok");
    return true;
}

void VBoxTool::initVmsStatus()
{
    qInfo() << "VBoxTool : initVmsStatus ok";
    QStringList names;
    {
        QMutexLocker locker(&m_stateMutex);
        for (const auto &entry : m_records)
            names << entry.first;
    }
    QMap<QString, QString> states;
    for (const QString &name : names) {
        SharedSegment segment(name);
        QString state = QStringLiteral("STOP");
        if (segment.attach()) {
            state = segment.readText();
            if (state == QLatin1String("STARTWAITING"))
                state = QStringLiteral("STARTING");
            else if (state == QLatin1String("EXITWAITING"))
                state = QStringLiteral("EXITING");
            segment.detach();
        }
        states.insert(name, state);
    }
    {
        QMutexLocker locker(&m_stateMutex);
        for (auto &entry : m_records) {
            if (states.contains(entry.first))
                entry.second.state = states.value(entry.first);
        }
    }
    qInfo() << "VBoxTool : initVmsStatus ok";
}

// ---- machines ----

void VBoxTool::powerofByName(const QString &vm, const QString &state, const MachineInfo &info)
{
    qInfo().noquote() << QStringLiteral("VBoxTool : powerofByName ") + vm;
    if (state.isEmpty())
        return;
    qInfo().noquote() << QStringLiteral("VBoxTool   : cur state is ") + state;
    if (state.contains(QLatin1String("saved"))) {
        qInfo() << "VBoxTool   : discardstate it";
        exec({QStringLiteral("discardstate"), vm}, nullptr, nullptr);
    } else if (state.contains(QLatin1String("aborted"))) {
        qInfo() << "VBoxTool   :  start vbox";
        exec({QStringLiteral("startvm"), vm, QStringLiteral("--type"), QStringLiteral("headless")}, nullptr,
             nullptr);
        qInfo() << "VBoxTool   : poweroff vbox";
        exec({QStringLiteral("controlvm"), vm, QStringLiteral("poweroff")}, nullptr, nullptr);
    } else if (state.contains(QLatin1String("running")) || state.contains(QLatin1String("paused")) ||
               state.contains(QLatin1String("stuck"))) {
        qInfo() << "VBoxTool   : poweroff vbox";
        exec({QStringLiteral("controlvm"), vm, QStringLiteral("poweroff")}, nullptr, nullptr);
    } else if (!info.value(QStringLiteral("VMState")).contains(QLatin1String("poweroff"))) {
        qInfo() << "VBoxTool   : poweroff vbox";
        exec({QStringLiteral("startvm"), vm, QStringLiteral("--type"), QStringLiteral("emergencystop")},
             nullptr, nullptr);
    }
}

int VBoxTool::addVMByName(const QString &vm)
{
    qInfo() << "VBoxTool : addVMByName";
    exec({QStringLiteral("setproperty"), QStringLiteral("machinefolder"), m_machineFolder}, nullptr, nullptr);
    if (exec({QStringLiteral("createvm"), QStringLiteral("--name"), vm, QStringLiteral("--register"),
              QStringLiteral("--ostype"), QStringLiteral("Linux")},
             nullptr, nullptr) != Success) {
        qCritical().noquote() << QStringLiteral("VBoxTool : create ") + vm + QStringLiteral(" failed ");
        return CreateFailed;
    }
    const QString folder = m_machineFolder + QLatin1Char('/') + vm;
    if (!copyFolder(m_ovaFolder, folder, true)) {
        qCritical() << "VBoxTool : copy vmdk files failed ";
        return CopyImageFailed;
    }
    if (exec({QStringLiteral("modifyvm"), vm, QStringLiteral("--boot1"), QStringLiteral("disk"),
              QStringLiteral("--boot2"), QStringLiteral("none"), QStringLiteral("--boot3"),
              QStringLiteral("none"), QStringLiteral("--boot4"), QStringLiteral("none")},
             nullptr, nullptr) != Success) {
        qCritical() << "VBoxTool : modifyvm boot failed ";
        return BootOrderFailed;
    }
    if (exec({QStringLiteral("storagectl"), vm, QStringLiteral("--name"), QStringLiteral("IDE"),
              QStringLiteral("--add"), QStringLiteral("ide")},
             nullptr, nullptr) != Success) {
        qCritical() << "VBoxTool : storagectl add ide failed ";
        return DiskAttachFailed;
    }
    for (const DiskSlot &disk : kImageDisks) {
        const QString path = folder + QLatin1Char('/') + QLatin1String(disk.file);
        exec({QStringLiteral("internalcommands"), QStringLiteral("sethduuid"), path}, nullptr, nullptr);
        if (exec({QStringLiteral("storageattach"), vm, QStringLiteral("--storagectl"), QStringLiteral("IDE"),
                  QStringLiteral("--port"), QLatin1String(disk.port), QStringLiteral("--device"),
                  QLatin1String(disk.device), QStringLiteral("--type"), QStringLiteral("hdd"),
                  QStringLiteral("--medium"), path},
                 nullptr, nullptr) != Success) {
            qCritical() << disk.failure;
            return DiskAttachFailed;
        }
    }
    exec({QStringLiteral("guestproperty"), QStringLiteral("set"), vm, QStringLiteral("orvanta_ova_version"),
          m_ovaVersion},
         nullptr, nullptr);
    qInfo() << "VBoxTool : addVMByName ok";
    return Success;
}

bool VBoxTool::checkDisks(const QString &vm)
{
    static const QRegularExpression inaccessible(QStringLiteral("\\bState:\\s+inaccessible\\b"));
    static const QRegularExpression inUse(QStringLiteral("\\bIn use by VMs:\\sOrvanta_\\d+\\b"));
    for (int i = 1; i <= 3; ++i) {
        const QString path = m_machineFolder + QLatin1Char('/') + vm + QLatin1Char('/') + vm +
                             QStringLiteral("-disk") + QString::number(i) + QStringLiteral(".vmdk");
        QString out;
        QString err;
        exec({QStringLiteral("showhdinfo"), path}, &out, &err);
        if (inaccessible.match(out).hasMatch() || !inUse.match(out).hasMatch() ||
            err.contains(QLatin1String("Could not find a registered machine")))
            return false;
    }
    return true;
}

bool VBoxTool::removeVmFiles(const QString &vm)
{
    if (isRegistered(vm)) {
        MachineInfo info;
        initVmInfo(vm, &info);
        exec({QStringLiteral("storagectl"), vm, QStringLiteral("--name"), QStringLiteral("IDE"),
              QStringLiteral("--remove")},
             nullptr, nullptr);
        exec({QStringLiteral("unregistervm"), vm}, nullptr, nullptr);
    }
    bool removed = false;
    QDir folder(m_machineFolder + QLatin1Char('/') + vm);
    if (!vm.isEmpty() && folder.exists()) {
        const QStringList disks = folder.entryList({QStringLiteral("*.vmdk")}, QDir::Files);
        for (const QString &disk : disks) {
            QString err;
            exec({QStringLiteral("closemedium"), QStringLiteral("disk"), folder.filePath(disk),
                  QStringLiteral("--delete")},
                 nullptr, &err);
            if (outputLines(err).contains(QLatin1String(kProgressDone)))
                removed = true;
        }
        if (!folder.removeRecursively())
            qInfo() << "VBoxTool : removeRecursively failed";
    }
    return removed;
}

void VBoxTool::handleAlreadyExists(const QString &newName, int n)
{
    const QString kept = lastError();
    if (!alreadyExists(kept))
        return;
    // Leftovers that belong to a machine are skipped over; leftovers that could be cleared free the number.
    if (checkDisks(newName) || !removeVmFiles(newName)) {
        QMutexLocker locker(&m_stateMutex);
        m_highestNumber = qMax(m_highestNumber, n);
    }
    setLastError(kept);
}

int VBoxTool::clone(const QString &source, const QString &title, QString *newName)
{
    int n = 0;
    {
        QMutexLocker locker(&m_stateMutex);
        n = m_highestNumber + 1;
    }
    const QString name = QStringLiteral("Orvanta_") + QString::number(n);
    const QString iniPath = m_dataFolder + QLatin1Char('/') + name + QStringLiteral(".ini");
    const QString dbPath = m_dataFolder + QLatin1Char('/') + name + QStringLiteral("_DB.db");
    removeVmFiles(name);

    const bool fromRegistered = isRegistered(source);
    const QString sourceFolder =
        m_machineFolder + QLatin1Char('/') + (fromRegistered ? source : QLatin1String(kBaseVm));
    QString volumeRoot;
    const quint64 free = freeSpace(m_machineFolder, &volumeRoot);
    const quint64 size = static_cast<quint64>(folderSize(sourceFolder));
    if (free != 0 && size + kCloneSpareBytes > free) {
        qInfo() << "VBoxTool : need more space";
        setLastError(tr("disk space not enough").arg(volumeRoot));
        return NoDiskSpace;
    }
    int from = -1;
    {
        int sourceNumber = 0;
        if (isInstanceName(source, &sourceNumber))
            from = sourceNumber;
    }

    // Files of an earlier instance of this name would otherwise survive into the new one.
    QFile::remove(iniPath);
    QFile::remove(dbPath);

    {
        QMutexLocker locker(&m_stateMutex);
        VmRecord record;
        record.vm = name;
        record.title = title;
        record.from = from;
        m_records[name] = record;
    }
    appendVmsToXml();

    auto fail = [&](int code) {
        {
            QMutexLocker locker(&m_stateMutex);
            m_records.erase(name);
        }
        const QString error = lastError();
        appendVmsToXml();
        QFile::remove(iniPath);
        QFile::remove(dbPath);
        setLastError(error);
        return code;
    };

    if (fromRegistered) {
        exec({QStringLiteral("setproperty"), QStringLiteral("machinefolder"), m_machineFolder}, nullptr,
             nullptr);
        QString out;
        QString err;
        const int result =
            exec({QStringLiteral("clonevm"), source, QStringLiteral("--name"), name, QStringLiteral("--mode"),
                  QStringLiteral("all"), QStringLiteral("--register")},
                 &out, &err, kCloneTimeoutMs);
        if (result == TimedOutTwice)
            return fail(TimedOutTwice);
        if (!out.contains(QLatin1String("successfully"))) {
            handleAlreadyExists(name, n);
            qCritical().noquote() << QStringLiteral("VBoxTool : clone ") + source +
                                         QStringLiteral(" failed ");
            return fail(CloneIncomplete);
        }
        exec({QStringLiteral("guestproperty"), QStringLiteral("unset"), name, QStringLiteral("is_first_run")},
             nullptr, nullptr);
        QFile::copy(m_dataFolder + QLatin1Char('/') + source + QStringLiteral(".ini"), iniPath);
        QFile::copy(m_dataFolder + QLatin1Char('/') + source + QStringLiteral("_DB.db"), dbPath);
    } else {
        const int result = addVMByName(name);
        if (result != Success) {
            handleAlreadyExists(name, n);
            return fail(result);
        }
    }

    {
        // The copy starts with modest performance settings and the default window place.
        QSettings settings(iniPath, QSettings::IniFormat);
        settings.setValue(QStringLiteral("Orvanta/Performance/Level"), 4);
        settings.setValue(QStringLiteral("Orvanta/Performance/CPUCoresCount"), 2);
        settings.setValue(QStringLiteral("Orvanta/Performance/RAMSize"), 1024);
        settings.remove(QStringLiteral("StartUp"));
        settings.sync();
    }
    {
        QMutexLocker locker(&m_stateMutex);
        m_highestNumber = qMax(m_highestNumber, n);
        m_vmNames << name;
        m_titleMap[title] = name;
    }
    if (newName)
        *newName = name;
    setLastError(QString());
    return Success;
}

int VBoxTool::deleteVm(const QString &vm, const QString &title, bool forget)
{
    if (!isRegistered(vm))
        return Success;
    // Only instances and the base machine are the manager's to delete.
    if (!isInstanceName(vm) && vm != QLatin1String(kBaseVm)) {
        setLastError(QStringLiteral("VBoxTool : ") + vm + QStringLiteral(" is not an instance"));
        qCritical().noquote() << lastError();
        return DeleteFailed;
    }
    MachineInfo info;
    initVmInfo(vm, &info);
    const QString state = info.value(QStringLiteral("VMState"));
    if (!state.isEmpty()) {
        qInfo().noquote() << QStringLiteral("VBoxTool   : cur state is ") + state;
        powerofByName(vm, state, info);
    }
    QString err;
    int result = exec({QStringLiteral("unregistervm"), vm, QStringLiteral("--delete")}, nullptr, &err);
    if (result == TimedOutTwice) {
        if (!removeVmFiles(vm))
            result = DeleteFailed;
    } else if (err.contains(notRegisteredText(vm))) {
        // The machine is gone already (an earlier restore deleted it and its import failed): that is
        // what the delete is for. Leftovers in its folder go below.
        qInfo().noquote() << QStringLiteral("VBoxTool : ") + vm + QStringLiteral(" was deleted already");
        result = Success;
    } else if (hasToolError(err)) {
        // The tool refused (a locked machine, a failed deletion): everything of the instance stays.
        result = DeleteFailed;
    } else if (result == ErrorOutput) {
        // Only the progress line of a completed deletion was written.
        result = Success;
    }
    if (result == DeleteFailed) {
        const QString error = lastError().isEmpty() ? err : lastError();
        qCritical().noquote() << QStringLiteral("VBoxTool : delete ") + vm + QStringLiteral(" failed ");
        setLastError(error);
        return DeleteFailed;
    }
    QDir folder(m_machineFolder + QLatin1Char('/') + vm);
    if (folder.exists())
        folder.removeRecursively();
    if (forget) {
        QFile::remove(m_dataFolder + QLatin1Char('/') + vm + QStringLiteral(".ini"));
        QFile::remove(m_dataFolder + QLatin1Char('/') + vm + QStringLiteral("_DB.db"));
        {
            QMutexLocker locker(&m_stateMutex);
            m_records.erase(vm);
            m_vmNames.removeAll(vm);
            m_titleMap.remove(title);
        }
        appendVmsToXml();
    }
    return result;
}

int VBoxTool::importVm(const QString &ovaFile, const QString &vm)
{
    MachineInfo info;
    initVmInfo(vm, &info);
    powerofByName(vm, info.value(QStringLiteral("VMState")), info);
    QString out;
    QString err;
    const int result = exec({QStringLiteral("import"), ovaFile, QStringLiteral("--vsys"), QStringLiteral("0"),
                             QStringLiteral("--vmname"), vm},
                            &out, &err, kApplianceTimeoutMs);
    if (result == TimedOutTwice)
        return ImportFailed;
    static const QRegularExpression error(QStringLiteral("([^\\s:]+: error:.*)"),
                                          QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = error.match(err);
    if (match.hasMatch()) {
        setLastError(match.captured(1));
        return ImportFailed;
    }
    exec({QStringLiteral("guestproperty"), QStringLiteral("unset"), vm, QStringLiteral("is_first_run")},
         nullptr, nullptr);
    return Success;
}

bool VBoxTool::checkAppliance(const QString &ovaFile, const QString &vm, int *diskCount)
{
    // A dry run reads and describes the appliance and stops before anything is imported or registered.
    QString out;
    QString err;
    const int result = exec({QStringLiteral("import"), ovaFile, QStringLiteral("--vsys"), QStringLiteral("0"),
                             QStringLiteral("--vmname"), vm, QStringLiteral("--dry-run")},
                            &out, &err, kApplianceTimeoutMs);
    if (result != TimedOutTwice && !hasToolError(err) && out.contains(QLatin1String("Virtual system 0:"))) {
        if (diskCount) {
            // "Disks:" and one indented line per disk image the appliance names, before the systems.
            *diskCount = 0;
            bool inDisks = false;
            for (const QString &line : outputLines(out)) {
                if (line == QLatin1String("Disks:")) {
                    inDisks = true;
                } else if (inDisks && line.startsWith(QLatin1Char(' '))) {
                    ++*diskCount;
                } else if (inDisks) {
                    break;
                }
            }
        }
        return true;
    }
    static const QRegularExpression error(QStringLiteral("([^\\s:]+: error:.*)"),
                                          QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = error.match(err);
    setLastError(match.hasMatch() ? match.captured(1) : lastError());
    qCritical().noquote() << QStringLiteral("VBoxTool : ") + ovaFile +
                                 QStringLiteral(" is not an appliance the tool can import");
    return false;
}

bool VBoxTool::hasDisksWithContent(const QString &vm, int expected)
{
    MachineInfo info;
    if (!initVmInfo(vm, &info))
        return false;
    // Every medium slot ("<controller>-<port>-<device>") that holds a file: the file is there with data.
    static const QRegularExpression slot(QStringLiteral("^[^-]+-\\d+-\\d+$"));
    int disks = 0;
    for (auto it = info.cbegin(); it != info.cend(); ++it) {
        if (!slot.match(it.key()).hasMatch() || it.value() == QLatin1String("none") ||
            it.value() == QLatin1String("emptydrive"))
            continue;
        const QFileInfo file(it.value());
        if (!file.isFile() || file.size() == 0) {
            qCritical().noquote() << QStringLiteral("VBoxTool : ") + vm + QStringLiteral(" has no data at ") +
                                         it.key() + QStringLiteral(" ") + it.value();
            return false;
        }
        ++disks;
    }
    if (disks < expected) {
        qCritical().noquote()
            << QStringLiteral("VBoxTool : ") + vm +
                   QStringLiteral(" has %1 of the %2 disks of its backup").arg(disks).arg(expected);
        return false;
    }
    return true;
}

int VBoxTool::restoreVm(const QString &ovaFile, const QString &vm, const QString &title)
{
    Q_UNUSED(title)
    // A file the tool cannot import never gets as far as touching the machine.
    int diskCount = 0;
    if (!checkAppliance(ovaFile, vm, &diskCount))
        return ImportFailed;
    if (!isInstanceName(vm)) {
        setLastError(QStringLiteral("VBoxTool : ") + vm + QStringLiteral(" is not an instance"));
        return DeleteFailed;
    }
    const QString folder = m_machineFolder + QLatin1Char('/') + vm;
    const QFileInfo folderInfo(folder);
    if (folderInfo.isSymLink() || (folderInfo.exists() && !folderInfo.isDir())) {
        setLastError(
            tr("The folder %1 of this instance is not a plain folder; nothing was changed.").arg(folder));
        qCritical().noquote() << lastError();
        return DeleteFailed;
    }

    // The machine and its disks are kept aside, never deleted, until the imported machine is there and
    // has its disks: a failed import puts them back as they were.
    MachineInfo info;
    const bool registered = initVmInfo(vm, &info);
    QString settingsFile;
    if (registered) {
        powerofByName(vm, info.value(QStringLiteral("VMState")), info);
        settingsFile = info.value(QStringLiteral("CfgFile"));
        if (QDir::cleanPath(QFileInfo(settingsFile).absolutePath()) != QDir::cleanPath(folder)) {
            setLastError(
                tr("The machine %1 does not live in its folder %2; nothing was changed.").arg(vm, folder));
            qCritical().noquote() << lastError();
            return DeleteFailed;
        }
        QString err;
        exec({QStringLiteral("unregistervm"), vm}, nullptr, &err);
        if (hasToolError(err)) {
            setLastError(err);
            qCritical().noquote() << QStringLiteral("VBoxTool : ") + vm +
                                         QStringLiteral(" cannot be unregistered");
            return DeleteFailed;
        }
    }
    QString aside;
    if (folderInfo.exists()) {
        // A name no machine can have (it starts with "."), so the tool never files a machine there.
        aside = m_machineFolder + QStringLiteral("/.") + vm + QStringLiteral("-before-restore-") +
                QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
        for (int n = 2; QFileInfo::exists(aside); ++n)
            aside = aside.section(QLatin1Char('~'), 0, 0) + QLatin1Char('~') + QString::number(n);
        if (!QDir().rename(folder, aside)) {
            if (registered)
                exec({QStringLiteral("registervm"), settingsFile}, nullptr, nullptr);
            setLastError(tr("The disks of %1 could not be set aside; nothing was changed.").arg(vm));
            qCritical().noquote() << lastError();
            return DeleteFailed;
        }
        qInfo().noquote() << QStringLiteral("VBoxTool : ") + folder + QStringLiteral(" kept aside as ") +
                                 aside;
    }

    int result = importVm(ovaFile, vm);
    QString error = lastError();
    if (result == Success && !hasDisksWithContent(vm, diskCount)) {
        result = ImportFailed;
        error = tr("The backup %1 did not give the instance its disks.").arg(ovaFile);
    }
    if (result == Success) {
        if (!aside.isEmpty() && !QDir(aside).removeRecursively())
            qInfo().noquote() << QStringLiteral("VBoxTool : the old disks stay in ") + aside;
        setLastError(QString());
        return Success;
    }

    qCritical().noquote() << QStringLiteral("VBoxTool : restore of ") + vm + QStringLiteral(" from ") +
                                 ovaFile + QStringLiteral(" failed, the file is kept");
    // Whatever the failed import left is removed; the instance's own machine goes back in its place.
    QString err;
    exec({QStringLiteral("showvminfo"), vm, QStringLiteral("--machinereadable")}, nullptr, &err);
    if (!err.contains(notRegisteredText(vm)))
        exec({QStringLiteral("unregistervm"), vm, QStringLiteral("--delete")}, nullptr, nullptr);
    QString words;
    if (!aside.isEmpty()) {
        if (QFileInfo::exists(folder))
            QDir(folder).removeRecursively();
        const bool back = QDir().rename(aside, folder);
        bool registeredAgain = !registered;
        if (back && registered) {
            QString registerErr;
            exec({QStringLiteral("registervm"), settingsFile}, nullptr, &registerErr);
            registeredAgain = !hasToolError(registerErr);
        }
        if (back && registeredAgain)
            words = tr("The instance was put back as it was before the restore; its data is unchanged.");
        else
            words = tr("The instance's own disks are kept in %1.").arg(back ? folder : aside);
    } else {
        words = tr("The instance had no machine to keep; the restore can be tried again.");
    }
    qCritical().noquote() << QStringLiteral("VBoxTool : ") + words;
    setLastError(error.isEmpty() ? words : error.trimmed() + QLatin1Char('\n') + words);
    return ImportFailed;
}

int VBoxTool::exportVm(const QString &ovaFile, const QString &vm)
{
    MachineInfo info;
    initVmInfo(vm, &info);
    powerofByName(vm, info.value(QStringLiteral("VMState")), info);
    QString out;
    QString err;
    const int result =
        exec({QStringLiteral("export"), vm, QStringLiteral("-o"), ovaFile}, &out, &err, kApplianceTimeoutMs);
    if (result == TimedOutTwice)
        return ExportFailed;
    static const QRegularExpression error(QStringLiteral("([^\\s:]+: error:.*)"),
                                          QRegularExpression::DotMatchesEverythingOption);
    const QRegularExpressionMatch match = error.match(err);
    if (match.hasMatch()) {
        setLastError(match.captured(1));
        return ExportFailed;
    }
    return Success;
}

void VBoxTool::checkOrvantaBase()
{
    qInfo() << "VBoxTool : check OrvantaBase";
    const QString base = QLatin1String(kBaseVm);
    if (isRegistered(base)) {
        MachineInfo info;
        initVmInfo(base, &info);
        const QString logFolder = info.value(QStringLiteral("LogFldr"));
        const QString expected = QDir::cleanPath(m_installDir + QStringLiteral("/vbox/") + base);
        // A base machine that lives in another installation's folder is not this installation's.
        const QString cleanLogFolder = QDir::cleanPath(logFolder);
        const QString parent = QFileInfo(cleanLogFolder).path();
        if (logFolder.isEmpty() || parent == cleanLogFolder || parent != expected)
            deleteVm(base, QString(), true);
    }
    if (!isRegistered(base)) {
        if (addVMByName(base) == Success)
            return;
    }
    QString out;
    if (exec({QStringLiteral("guestproperty"), QStringLiteral("get"), base,
              QStringLiteral("orvanta_ova_version")},
             &out, nullptr) != Success)
        return;
    const QStringList pieces = out.split(QLatin1Char(':'));
    const QString version = pieces.size() > 1 ? pieces.at(1).trimmed() : QString();
    if (version < m_ovaVersion) {
        deleteVm(base, QString(), true);
        if (addVMByName(base) == Success) {
            QMutexLocker locker(&m_stateMutex);
            m_vmNames << base;
            return;
        }
    }
    qInfo() << "VBoxTool : check OrvantaBase ok";
}

QString VBoxTool::findVmByTitle(const QString &title) const
{
    QMutexLocker locker(&m_stateMutex);
    return m_titleMap.value(title);
}

QString VBoxTool::vmName() const
{
    QMutexLocker locker(&m_stateMutex);
    return QStringLiteral("Orvanta_") + QString::number(m_highestNumber);
}

// ---- files and folders ----

bool VBoxTool::copyFolder(const QString &source, const QString &target, bool overwrite)
{
    QDir targetDir(target);
    if (!targetDir.exists() && !QDir().mkdir(QFileInfo(target).absoluteFilePath()))
        return false;
    QDir sourceDir(source);
    const QFileInfoList entries = sourceDir.entryInfoList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot,
                                                          QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &entry : entries) {
        const QString destination = targetDir.filePath(entry.fileName());
        if (entry.isDir()) {
            if (!copyFolder(entry.filePath(), destination, overwrite))
                return false;
            continue;
        }
        if (overwrite && QFileInfo::exists(destination))
            QFile::remove(destination);
        if (!QFile::copy(entry.filePath(), destination))
            return false;
    }
    return true;
}

qint64 VBoxTool::folderSize(const QString &path)
{
    QDir dir(path);
    qint64 total = 0;
    for (const QFileInfo &file : dir.entryInfoList(QDir::Files))
        total += file.size();
    for (const QString &sub : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        total += folderSize(dir.filePath(sub));
    return total;
}

quint64 VBoxTool::freeSpace(const QString &path, QString *volumeRoot)
{
    QFileInfo where(path);
    while (!where.exists() && !where.isRoot() && where.absoluteFilePath() != where.absolutePath())
        where = QFileInfo(where.absolutePath());
    const QStorageInfo storage(where.absoluteFilePath());
    if (!storage.isValid() || !storage.isReady()) {
        qInfo() << "ERROR: Call to GetDiskFreeSpaceEx() failed.";
        return 0;
    }
    if (volumeRoot)
        *volumeRoot = storage.rootPath();
    return static_cast<quint64>(storage.bytesFree());
}

} // namespace OrvMulti
