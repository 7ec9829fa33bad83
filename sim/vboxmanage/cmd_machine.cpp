// Machines: list, showvminfo, createvm, registervm, unregistervm, setproperty.

#include "vboxcommands.h"

#include "commandsupport.h"
#include "optionparser.h"
#include "simdisk.h"
#include "tararchive.h"
#include "vboxfaults.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

using namespace VBoxCommandSupport;

// ---- list, showvminfo, createvm -----------------------------------------------------------------------

int VBoxCommands::list(const QStringList &a)
{
    enum
    {
        Long = 1,
        Sorted,
        Multiple
    };
    ParseFailure failure;
    const QList<ParsedOption> items =
        OptionParser(
            {{Long, {"--long", "-l"}}, {Sorted, {"--sorted", "-s"}}, {Multiple, {"--multiple", "-m"}}})
            .parse(a, &failure);
    if (failure.kind != ParseFailure::None)
        return m_out.syntaxError(usage("list"), failure.message(), true);
    bool longForm = false, sorted = false, multiple = false;
    QStringList kinds;
    for (const ParsedOption &o : items) {
        if (o.id == Long)
            longForm = true;
        else if (o.id == Sorted)
            sorted = true;
        else if (o.id == Multiple)
            multiple = true;
        else
            kinds.append(o.value);
    }
    if (kinds.isEmpty())
        return m_out.usageOnly(usage("list"));
    if (kinds.size() > 1 && !multiple)
        return m_out.syntaxError(usage("list"), QStringLiteral("Too many parameters"));
    static const QStringList known = {"vms", "runningvms", "hostinfo", "hdds", "systemproperties"};
    for (const QString &kind : kinds) {
        if (!known.contains(kind))
            return m_out.syntaxError(usage("list"), QStringLiteral("Unknown subcommand \"%1\".").arg(kind));
    }
    const QHash<QString, QString> paths = m_store.mediumPaths();
    for (const QString &kind : kinds) {
        if (multiple)
            m_out.print(QStringLiteral("[%1]\n").arg(kind));
        if (kind == QLatin1String("vms") || kind == QLatin1String("runningvms")) {
            QList<VBoxMachine> machines = m_store.machines;
            if (sorted) {
                std::stable_sort(
                    machines.begin(), machines.end(),
                    [](const VBoxMachine &x, const VBoxMachine &y) { return x.name() < y.name(); });
            }
            for (const VBoxMachine &m : machines) {
                if (kind == QLatin1String("runningvms") && (!m.accessible || !m.hasSession()))
                    continue;
                if (longForm)
                    m_out.print(m.humanReadable(paths) + QLatin1Char('\n'));
                else
                    m_out.print(QStringLiteral("\"%1\" {%2}\n")
                                    .arg(m.accessible ? m.name() : QStringLiteral("<inaccessible>"), m.uuid));
            }
        } else if (kind == QLatin1String("hostinfo")) {
            m_out.print(m_host.hostInfoText());
        } else if (kind == QLatin1String("hdds")) {
            for (const VBoxMedium &medium : m_store.media) {
                if (medium.type == QLatin1String("HardDisk"))
                    m_out.print(hdInfoText(medium) + QLatin1Char('\n'));
            }
        } else {
            m_out.print(QStringLiteral("Default machine folder:          %1\n").arg(m_store.machineFolder));
        }
    }
    return ToolOutput::Success;
}

int VBoxCommands::showVmInfo(const QStringList &a)
{
    enum
    {
        Details = 1,
        Machine,
        Log,
        PasswordId,
        Password
    };
    ParseFailure failure;
    const QList<ParsedOption> items = OptionParser({{Details, {"--details", "-details"}},
                                                    {Machine, {"--machinereadable", "-machinereadable"}},
                                                    {Log, {"--log"}, true},
                                                    {PasswordId, {"--password-id"}, true},
                                                    {Password, {"--password"}, true}})
                                          .parse(a, &failure);
    if (failure.kind != ParseFailure::None)
        return m_out.syntaxError(usage("showvminfo"), failure.message(), true);
    QString vm;
    bool machineReadable = false, details = false, log = false;
    QString logIndex;
    for (const ParsedOption &o : items) {
        if (o.id == 0) {
            if (!vm.isEmpty())
                return m_out.syntaxError(usage("showvminfo"),
                                         QStringLiteral("Invalid parameter '%1'").arg(o.value));
            vm = o.value;
        } else if (o.id == Machine) {
            machineReadable = true;
        } else if (o.id == Details) {
            details = true;
        } else if (o.id == Log) {
            log = true;
            logIndex = o.value;
        }
    }
    if (vm.isEmpty())
        return m_out.syntaxError(usage("showvminfo"), QStringLiteral("VM name or UUID required"));
    if (log && (machineReadable || details))
        return m_out.syntaxError(usage("showvminfo"), QStringLiteral("Option --log is exclusive"));
    const int index = findMachine(vm, fileInfo);
    if (index < 0)
        return ToolOutput::Failure;
    const VBoxMachine &m = m_store.machines.at(index);
    if (log) {
        const int n = logIndex.toInt();
        QFile file(m.machineDir() + QStringLiteral("/Logs/VBox.log") +
                   (n > 0 ? "." + QString::number(n) : ""));
        if (file.open(QIODevice::ReadOnly))
            m_out.print(QString::fromUtf8(file.readAll()));
        return ToolOutput::Success;
    }
    m_out.print(machineReadable ? m.machineReadable(m_store.mediumPaths())
                                : m.humanReadable(m_store.mediumPaths()));
    return ToolOutput::Success;
}

int VBoxCommands::createVm(const QStringList &a)
{
    enum
    {
        Name = 1,
        OsType,
        Register,
        BaseFolder,
        Groups,
        Uuid,
        Default,
        Arch,
        Cipher,
        PasswordId,
        Password
    };
    ParseFailure failure;
    const QList<ParsedOption> items =
        OptionParser({{Name, {"--name", "-name"}, true},
                      {OsType, {"--ostype", "-ostype"}, true},
                      {Register, {"--register", "-register"}},
                      {BaseFolder, {"--basefolder", "-basefolder"}, true},
                      {Groups, {"--groups"}, true},
                      {Uuid, {"--uuid", "-uuid"}, true},
                      {Default, {"--default", "-default"}},
                      {Arch, {"--platform-architecture", "--platform-arch"}, true},
                      {Cipher, {"--cipher"}, true},
                      {PasswordId, {"--password-id"}, true},
                      {Password, {"--password"}, true}})
            .parse(a, &failure);
    if (failure.kind != ParseFailure::None)
        return m_out.syntaxError(usage("createvm"), failure.message(), true);
    QString name, osType, baseFolder, groups, uuid;
    bool doRegister = false;
    for (const ParsedOption &o : items) {
        switch (o.id) {
        case 0:
            return m_out.syntaxError(usage("createvm"),
                                     QStringLiteral("Invalid parameter '%1'").arg(o.value));
        case Name:
            name = o.value;
            break;
        case OsType:
            osType = o.value;
            break;
        case Register:
            doRegister = true;
            break;
        case BaseFolder:
            baseFolder = o.value;
            break;
        case Groups:
            groups = o.value;
            break;
        case Uuid:
            if (!SimDisk::isUuid(o.value))
                return m_out.syntaxError(usage("createvm"),
                                         QStringLiteral("Invalid UUID format %1").arg(o.value));
            uuid = SimDisk::normalisedUuid(o.value);
            break;
        default:
            break;
        }
    }
    if (name.isEmpty())
        return m_out.syntaxError(usage("createvm"), QStringLiteral("Parameter --name is required"));
    if (!osType.isEmpty() && !VBoxMachine::knownOsType(osType)) {
        m_out.error(QStringLiteral("Unknown or invalid guest OS type given."));
        return ToolOutput::Failure;
    }
    // <base>/<first group>/<file name>/<file name>.vbox; a relative base folder is taken from the home.
    QString base =
        baseFolder.isEmpty() ? m_store.machineFolder : QDir(m_store.stateDir()).absoluteFilePath(baseFolder);
    const QString firstGroup = groups.section(QLatin1Char(','), 0, 0);
    if (!firstGroup.isEmpty() && firstGroup != QLatin1String("/"))
        base += firstGroup;
    const QString fileName = sanitiseName(name);
    const QString dir = QDir::cleanPath(base + QLatin1Char('/') + fileName);
    const QString settingsFile = dir + QLatin1Char('/') + fileName + QStringLiteral(".vbox");
    if (QFile::exists(settingsFile)) {
        return m_out.apiError(
            QStringLiteral("Machine settings file '%1' already exists").arg(settingsFile),
            "VBOX_E_FILE_ERROR", "MachineWrap", "IMachine",
            QStringLiteral("CreateMachine(bstrSettingsFile.raw(), Bstr(name).raw(), enmPlatformArch, "
                           "ComSafeArrayAsInParam(groups), Bstr(osTypeId).raw(), "
                           "createFlags.raw(), bstrCipher.raw(), bstrPasswordId.raw(), "
                           "Bstr(password).raw(), machine.asOutParam())"),
            fileMisc);
    }
    if (uuid.isEmpty())
        uuid = SimDisk::newUuid();
    if (doRegister && m_store.findMachine(uuid) >= 0) {
        return m_out.apiError(
            QStringLiteral("Cannot register machine '%1' {%2}, because a machine with the same "
                           "UUID is already registered")
                .arg(name, uuid),
            "VBOX_E_OBJECT_IN_USE", "VirtualBoxWrap", "IVirtualBox",
            QStringLiteral("RegisterMachine(machine)"), fileMisc);
    }
    QDir().mkpath(dir);
    QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const VBoxMachine m =
        VBoxMachine::createNew(name, uuid, settingsFile, osType.isEmpty() ? "Other" : osType, groups);
    if (!saveMachine(m))
        return ToolOutput::Failure;
    if (doRegister) {
        m_store.machines.append(m);
        if (!saveStore())
            return ToolOutput::Failure;
    }
    m_out.print(QStringLiteral("Virtual machine '%1' is created%2.\n")
                    .arg(name, doRegister ? " and registered" : ""));
    m_out.print(QStringLiteral("UUID: %1\n").arg(uuid));
    m_out.print(QStringLiteral("Settings file: '%1'\n").arg(settingsFile));
    return ToolOutput::Success;
}

int VBoxCommands::registerVm(const QStringList &a)
{
    const CommandUsage use = usage("registervm");
    QString file;
    for (const QString &arg : a) {
        if (arg.startsWith(QLatin1Char('-')))
            return m_out.syntaxError(use, QStringLiteral("unknown option: %1").arg(arg));
        if (!file.isEmpty())
            return m_out.syntaxError(use, QStringLiteral("Invalid parameter '%1'").arg(arg));
        file = arg;
    }
    const QString path = absolutePath(file);
    const QString context =
        QStringLiteral("OpenMachine(Bstr(a->argv[0]).raw(), Bstr().raw(), machine.asOutParam())");
    QFile settings(path);
    if (!settings.open(QIODevice::ReadOnly)) {
        return m_out.apiError(
            QStringLiteral("Could not open the settings file '%1' (VERR_FILE_NOT_FOUND)").arg(path),
            "VBOX_E_FILE_ERROR", "MachineWrap", "IMachine", context, fileMisc);
    }
    const QJsonDocument doc = QJsonDocument::fromJson(settings.readAll());
    VBoxMachine m = VBoxMachine::fromJson(doc.object());
    if (!m.accessible) {
        return m_out.apiError(QStringLiteral("Could not load the settings file '%1'").arg(path),
                              "VBOX_E_FILE_ERROR", "MachineWrap", "IMachine", context, fileMisc);
    }
    m.settingsFile = path;
    if (m_store.findMachine(m.uuid) >= 0) {
        return m_out.apiError(
            QStringLiteral("Cannot register machine '%1' {%2}, because a machine with the same "
                           "UUID is already registered")
                .arg(m.name(), m.uuid),
            "VBOX_E_OBJECT_IN_USE", "VirtualBoxWrap", "IVirtualBox",
            QStringLiteral("RegisterMachine(machine)"), fileMisc);
    }
    for (const QJsonValue &v : m.attachments) {
        const QString uuid = v.toObject().value("medium").toString();
        if (uuid.isEmpty() || m_store.findMedium(uuid) >= 0)
            continue;
        const QString location = m.settings.value("mediaLocations").toObject().value(uuid).toString();
        if (!location.isEmpty())
            m_store.media.append({uuid, location, QStringLiteral("HardDisk")});
    }
    m_store.machines.append(m);
    return saveStore() ? ToolOutput::Success : ToolOutput::Failure;
}

int VBoxCommands::unregisterVm(const QStringList &a)
{
    const CommandUsage use = usage("unregistervm");
    QString vm;
    bool del = false, delAll = false;
    for (const QString &arg : a) {
        if (arg == QLatin1String("--delete") || arg == QLatin1String("-delete"))
            del = true;
        else if (arg == QLatin1String("--delete-all") || arg == QLatin1String("-delete-all"))
            del = delAll = true;
        else if (arg.startsWith(QLatin1Char('-')))
            return m_out.syntaxError(use, QStringLiteral("unknown option: %1").arg(arg));
        else if (vm.isEmpty())
            vm = arg;
        else
            return m_out.syntaxError(use, QStringLiteral("Invalid parameter '%1'").arg(arg));
    }
    if (vm.isEmpty())
        return m_out.syntaxError(use, QStringLiteral("VM name required"));
    const int index = findMachine(vm, fileMisc);
    if (index < 0)
        return ToolOutput::Failure;
    const VBoxMachine m = m_store.machines.at(index);
    if (m.accessible && m.hasSession()) {
        return m_out.apiError(
            QStringLiteral("Cannot unregister the machine '%1' while it is locked").arg(m.name()),
            "VBOX_E_INVALID_OBJECT_STATE", "MachineWrap", "IMachine",
            QStringLiteral("Unregister(CleanupMode_DetachAllReturnHardDisksOnly, "
                           "ComSafeArrayAsOutParam(aMedia))"),
            fileMisc);
    }
    m_store.machines.removeAt(index);
    // Hard disks are detached and closed (unless another machine uses them); with --delete their files go
    // too.
    QStringList filesToDelete;
    for (const QJsonValue &v : m.attachments) {
        const QJsonObject att = v.toObject();
        const QString uuid = att.value("medium").toString();
        const int mi = m_store.findMedium(uuid);
        if (uuid.isEmpty() || mi < 0 || !m_store.machinesUsing(uuid).isEmpty())
            continue;
        const bool hdd = att.value("type").toString() == QLatin1String("hdd");
        if (hdd || delAll) {
            if (del)
                filesToDelete.append(m_store.media.at(mi).location);
            if (hdd)
                m_store.media.removeAt(mi);
        }
    }
    if (del) {
        const QDir dir(m.machineDir());
        const QString base = QFileInfo(m.settingsFile).completeBaseName();
        if (!m.str("VMStateFile").isEmpty())
            filesToDelete.append(m.str("VMStateFile"));
        filesToDelete << m.settingsFile << m.settingsFile + "-prev" << m.settingsFile + "-tmp"
                      << dir.filePath(base + ".nvram") << dir.filePath("Logs/VBox.log")
                      << dir.filePath("Logs/VBoxUI.log");
        for (int i = 1; i <= 3; ++i)
            filesToDelete << dir.filePath(QStringLiteral("Logs/VBox.log.%1").arg(i));
        for (const QString &png : QDir(dir.filePath("Logs")).entryList({"VBox.png*"}, QDir::Files))
            filesToDelete << dir.filePath("Logs/" + png);
        for (const QString &file : filesToDelete)
            QFile::remove(file);
        QDir().rmdir(dir.filePath("Logs"));
        QDir().rmdir(dir.filePath("Snapshots"));
        QDir().rmdir(dir.path());
        m_out.progress();
    }
    return saveStore() ? ToolOutput::Success : ToolOutput::Failure;
}

int VBoxCommands::setProperty(const QStringList &a)
{
    const CommandUsage use = usage("setproperty");
    if (a.size() != 2)
        return m_out.syntaxError(use, QStringLiteral("Incorrect number of parameters"));
    if (a.first() != QLatin1String("machinefolder"))
        return m_out.syntaxError(use, QStringLiteral("Invalid parameter '%1'").arg(a.first()));
    const QString value = a.at(1);
    if (value == QLatin1String("default") || value == QLatin1String("Machines")) {
        m_store.machineFolder = m_store.defaultMachineFolder();
    } else if (!QDir::isAbsolutePath(value)) {
        return m_out.apiError(
            QStringLiteral("Given default machine folder '%1' is not fully qualified").arg(value),
            "NS_ERROR_INVALID_ARG", "SystemPropertiesWrap", "ISystemProperties",
            QStringLiteral("COMSETTER(DefaultMachineFolder)(Bstr(a->argv[1]).raw())"), fileMisc);
    } else {
        m_store.machineFolder = value;
    }
    return saveStore() ? ToolOutput::Success : ToolOutput::Failure;
}
