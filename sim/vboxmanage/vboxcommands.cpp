#include "vboxcommands.h"

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

namespace {

const char *const fileMisc = "VBoxManageMisc.cpp";
const char *const fileInfo = "VBoxManageInfo.cpp";
const char *const fileModify = "VBoxManageModifyVM.cpp";
const char *const fileStorage = "VBoxManageStorageController.cpp";
const char *const fileDisk = "VBoxManageDisk.cpp";
const char *const fileControl = "VBoxManageControlVM.cpp";
const char *const fileGuestProp = "VBoxManageGuestProp.cpp";
const char *const fileAppliance = "VBoxManageAppliance.cpp";

struct UsageEntry
{
    const char *command;
    const char *description;
    const char *synopsis;
};

const UsageEntry usages[] = {
    {"list", "List information about the system",
     "VBoxManage list [--long] [--multiple] [--sorted] [ hostinfo | hdds | runningvms | systemproperties | "
     "vms ]"},
    {"showvminfo", "Show configuration information or log file contents for a virtual machine",
     "VBoxManage showvminfo <uuid|vmname> [--details] [--machinereadable] [--password-id=id] "
     "[--password=file|-]\nVBoxManage showvminfo <uuid|vmname> <--log=index> [--password-id=id] "
     "[--password=file|-]"},
    {"createvm", "Create a new virtual machine",
     "VBoxManage createvm <--name=name> [--basefolder=basefolder] [--default] [--groups=group-ID[,...]] "
     "[--ostype=ostype] [--register] [--uuid=uuid] [--cipher=cipher] [--password-id=password-id] "
     "[--password=file]"},
    {"modifyvm", "Change settings for a virtual machine that is stopped",
     "VBoxManage modifyvm <uuid|vmname> [--name=name] [--groups=group [,group...]] "
     "[--description=description]\n"
     "    [--os-type=OS-type] [--memory=size-in-MB] [--vram=size-in-MB] [--cpus=CPU-count]\n"
     "    [--cpu-execution-cap=number] [--acpi=on | off] [--ioapic=on | off] [--hpet=on | off]\n"
     "    [--chipset=piix3 | ich9] [--firmware=bios | efi | efi32 | efi64]\n"
     "    [--x86-pae=on | off] [--x86-long-mode=on | off] [--x86-large-pages=on | off]\n"
     "    [--x86-hwvirtex=on | off] [--nested-paging=on | off] [--vtx-vpid=on | off] [--vtx-ux=on | off]\n"
     "    [--rtc-use-utc=on | off] [--bios-system-time-offset=msec]\n"
     "    [--boot1=disk | dvd | floppy | net | none] [--boot2=...] [--boot3=...] [--boot4=...]\n"
     "    [--graphicscontroller=none | vboxvga | vmsvga | vboxsvga] [--monitor-count=number]\n"
     "    [--nicN=none | null | nat | bridged | intnet | hostonly | generic | natnetwork]\n"
     "    [--nic-typeN=Am79C970A | Am79C973 | Am79C960 | 82540EM | 82543GC | 82545EM | virtio]\n"
     "    [--cable-connectedN=on | off] [--nic-traceN=on | off] [--mac-addressN=auto | MAC-address]\n"
     "    [--bridge-adapterN=none | device-name] [--intnetN=network-name]\n"
     "    [--nat-pfN=[rulename],tcp | udp,[host-IP],hostport,[guest-IP],guestport]\n"
     "    [--nat-pfN=delete=rulename]\n"
     "    [--audio-controller=ac97 | hda | sb16] [--audio-driver=none | default | null | oss | alsa | "
     "pulse]\n"
     "    [--audio-enabled=on | off] [--audio-in=on | off] [--audio-out=on | off]\n"
     "    [--usb-ohci=on | off] [--usb-ehci=on | off] [--usb-xhci=on | off]"},
    {"storagectl", "Manage a storage controller",
     "VBoxManage storagectl <uuid|vmname> --name=controller-name [--add=floppy | ide | pcie | sas | sata | "
     "scsi | "
     "usb | virtio] [--controller=BusLogic | I82078 | ICH6 | IntelAhci | LSILogic | LSILogicSAS | NVMe | "
     "PIIX3 | "
     "PIIX4 | USB | VirtIO] [--bootable=on | off] [--hostiocache=on | off] [--portcount=count] [--remove] "
     "[--rename=new-controller-name]"},
    {"storageattach", "Attach, remove, and modify storage media used by a virtual machine",
     "VBoxManage storageattach <uuid|vmname> --storagectl=name [--bandwidthgroup= name | none] "
     "[--comment=text] [--device=number] [--discard= on | off] [--encodedlun=lun] [--forceunmount] "
     "[--hotpluggable= on | off] [--initiator=initiator] [--intnet] [--lun=lun] [--medium= none | emptydrive "
     "| "
     "additions | uuid | filename | host:drive | iscsi] [--mtype= normal | writethrough | immutable | "
     "shareable | "
     "readonly | multiattach] [--nonrotational= on | off] [--passthrough= on | off] [--port=number] "
     "[--tempeject= on | off] [--type= dvddrive | fdd | hdd]"},
    {"closemedium", "Remove a hard disk, DVD, or floppy image from the media registry",
     "VBoxManage closemedium [disk | dvd | floppy] <uuid | filename> [--delete]"},
    {"showhdinfo", "Show information about a medium",
     "VBoxManage showmediuminfo [disk | dvd | floppy] <uuid | filename>"},
    {"guestproperty", "Manage virtual machine guest properties",
     "VBoxManage guestproperty get <uuid | vmname> <property-name> [--verbose]\n"
     "VBoxManage guestproperty enumerate <uuid | vmname> [--no-timestamp] [--no-flags] [--relative] "
     "[--old-format] [pattern...]\n"
     "VBoxManage guestproperty set <uuid | vmname> <property-name> [property-value [--flags=flags]]\n"
     "VBoxManage guestproperty unset <uuid | vmname> <property-name>\n"
     "VBoxManage guestproperty wait <uuid | vmname> <patterns> [--timeout=msec] [--fail-on-timeout]"},
    {"setextradata", "Set a keyword value that is associated with a virtual machine or configuration",
     "VBoxManage setextradata <global | uuid | vmname> <keyword> [value]"},
    {"getextradata", "View keyword values that are associated with a virtual machine or configuration",
     "VBoxManage getextradata <global | uuid | vmname> <keyword | enumerate>"},
    {"sharedfolder", "Add and remove shared folders",
     "VBoxManage sharedfolder add <uuid | vmname> <--name=name> <--hostpath=hostpath> [--readonly] "
     "[--transient] [--automount] [--auto-mount-point=path]\n"
     "VBoxManage sharedfolder remove <uuid | vmname> <--name=name> [--transient]"},
    {"startvm", "Start a virtual machine",
     "VBoxManage startvm <uuid | vmname...> [--putenv=name[=value]] [--type= [gui | headless | sdl | "
     "separate] ]"},
    {"controlvm", "Change state and settings for a running virtual machine",
     "VBoxManage controlvm <uuid | vmname> pause\nVBoxManage controlvm <uuid | vmname> resume\n"
     "VBoxManage controlvm <uuid | vmname> reset\nVBoxManage controlvm <uuid | vmname> poweroff\n"
     "VBoxManage controlvm <uuid | vmname> savestate\nVBoxManage controlvm <uuid | vmname> acpipowerbutton"},
    {"discardstate", "Discard the saved state of a virtual machine",
     "VBoxManage discardstate <uuid | vmname>"},
    {"registervm", "Register a virtual machine", "VBoxManage registervm <filename> [--password file]"},
    {"unregistervm", "Unregister a virtual machine",
     "VBoxManage unregistervm <uuid | vmname> [--delete] [--delete-all]"},
    {"setproperty", "Change global settings",
     "VBoxManage setproperty machinefolder < default | foldername >"},
    {"clonevm", "Create a clone of an existing virtual machine",
     "VBoxManage clonevm <vmname|uuid> [--basefolder=basefolder] [--groups=group,...] [--mode=machine | "
     "machinechildren | all] [--name=name] [--options=option,...] [--register] [--snapshot=snapshot-name] "
     "[--uuid=uuid]"},
    {"import", "Import a virtual appliance in OVF format or from a cloud service and create virtual machines",
     "VBoxManage import <ovfname | ovaname> [--dry-run] [--options= keepallmacs | keepnatmacs | importtovdi] "
     "[--vsys=n] [--ostype=ostype] [--vmname=name] [--settingsfile=file] [--basefolder=folder] "
     "[--group=group] "
     "[--memory=MB] [--cpus=n] [--description=text] [--eula= show | accept] [--unit=n] [--ignore] "
     "[--disk=path]"},
    {"export", "Export one or more virtual machines to a virtual appliance or to a cloud service",
     "VBoxManage export <machines> <--output=name> [--legacy09 | --ovf09 | --ovf10 | --ovf20] [--manifest] "
     "[--options= manifest | iso | nomacs | nomacsbutnat...] [--vsys=n] [--vmname=name] [--product=product] "
     "[--description=description]"},
    {"internalcommands", "Internal commands",
     "Usage: VBoxManage internalcommands <command> [command arguments]\n\nCommands:\n\n"
     "  sethduuid <filepath> [<uuid>]\n"
     "       Assigns a new UUID to the given image file. This way, multiple copies\n"
     "       of a container can be registered."},
};

// on/off as the tool reads it; false when the word is neither.
bool parseOnOff(const QString &word, QString *canonical)
{
    if (word.compare(QLatin1String("on"), Qt::CaseInsensitive) == 0)
        *canonical = QStringLiteral("on");
    else if (word.compare(QLatin1String("off"), Qt::CaseInsensitive) == 0)
        *canonical = QStringLiteral("off");
    else
        return false;
    return true;
}

bool parseNumber(const QString &text, qint64 *value)
{
    bool ok = false;
    const QString t = text.trimmed();
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        *value = t.mid(2).toLongLong(&ok, 16);
    else
        *value = t.toLongLong(&ok, 10);
    return ok;
}

// RTStrToUInt16-like: leading digits, anything else ignored; no digits gives 0.
int lenientPort(const QString &text)
{
    const QString t = text.trimmed();
    int end = 0;
    while (end < t.size() && t.at(end).isDigit())
        ++end;
    return t.left(end).toInt() & 0xffff;
}

QString nowNanoseconds()
{
    return QString::number(QDateTime::currentMSecsSinceEpoch() * 1000000LL);
}

QString storageFormat(const QString &path)
{
    const QString suffix = QFileInfo(path).suffix().toUpper();
    if (suffix == QLatin1String("VDI") || suffix == QLatin1String("VMDK") || suffix == QLatin1String("VHD"))
        return suffix;
    if (suffix == QLatin1String("ISO"))
        return QStringLiteral("RAW");
    return QStringLiteral("VDI");
}

} // namespace

VBoxCommands::VBoxCommands(VBoxStore &store, const VBoxHost &host, ToolOutput &out)
    : m_store(store), m_host(host), m_out(out)
{
}

CommandUsage VBoxCommands::usage(const QString &command)
{
    for (const UsageEntry &entry : usages) {
        if (command == QLatin1String(entry.command)) {
            return {QString::fromLatin1(entry.description),
                    QString::fromLatin1(entry.synopsis).split(QLatin1Char('\n'))};
        }
    }
    return {QStringLiteral("VirtualBox command-line interface"),
            {QStringLiteral("VBoxManage <command> [options]")}};
}

QString VBoxCommands::sanitiseName(const QString &name)
{
    QString result = name;
    for (int i = 0; i < result.size(); ++i) {
        const ushort c = result.at(i).unicode();
        const bool allowed = c == ' ' || c == '(' || c == ')' || c == '-' || c == '.' || c == '_' ||
                             (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                             (c >= 0xA0 && c <= 0xD7AF);
        if (!allowed)
            result[i] = QLatin1Char('_');
    }
    if (!result.isEmpty() && (result.at(0) == QLatin1Char('.') || result.at(0) == QLatin1Char('-') ||
                              result.at(0) == QLatin1Char(' ')))
        result[0] = QLatin1Char('_');
    if (!result.isEmpty() && (result.endsWith(QLatin1Char('.')) || result.endsWith(QLatin1Char(' '))))
        result[result.size() - 1] = QLatin1Char('_');
    return result;
}

int VBoxCommands::run(const QStringList &args)
{
    int i = 0;
    for (; i < args.size(); ++i) {
        const QString &a = args.at(i);
        if (a == QLatin1String("-q") || a == QLatin1String("--nologo")) {
            m_out.setNoLogo(true);
        } else if (a == QLatin1String("-V") || a == QLatin1String("-v") || a == QLatin1String("--version") ||
                   a == QLatin1String("-version")) {
            m_out.print(m_host.toolVersion() + QLatin1Char('\n'));
            return ToolOutput::Success;
        } else if (a == QLatin1String("-d") || a == QLatin1String("--detailed-progress")) {
            continue;
        } else {
            break;
        }
    }
    if (i >= args.size()) {
        m_out.logo(true);
        m_out.print(QStringLiteral("Usage:\n\n"));
        for (const UsageEntry &entry : usages)
            m_out.print(QString::fromLatin1(entry.synopsis) + QStringLiteral("\n\n"));
        return ToolOutput::Success;
    }
    m_command = args.at(i);
    const QStringList rest = args.mid(i + 1);
    using Handler = int (VBoxCommands::*)(const QStringList &);
    static const QMap<QString, Handler> handlers = {
        {QStringLiteral("list"), &VBoxCommands::list},
        {QStringLiteral("showvminfo"), &VBoxCommands::showVmInfo},
        {QStringLiteral("createvm"), &VBoxCommands::createVm},
        {QStringLiteral("modifyvm"), &VBoxCommands::modifyVm},
        {QStringLiteral("storagectl"), &VBoxCommands::storageCtl},
        {QStringLiteral("storageattach"), &VBoxCommands::storageAttach},
        {QStringLiteral("internalcommands"), &VBoxCommands::internalCommands},
        {QStringLiteral("closemedium"), &VBoxCommands::closeMedium},
        {QStringLiteral("showhdinfo"), &VBoxCommands::showHdInfo},
        {QStringLiteral("showmediuminfo"), &VBoxCommands::showHdInfo},
        {QStringLiteral("showvdiinfo"), &VBoxCommands::showHdInfo},
        {QStringLiteral("guestproperty"), &VBoxCommands::guestProperty},
        {QStringLiteral("setextradata"), &VBoxCommands::setExtraData},
        {QStringLiteral("getextradata"), &VBoxCommands::getExtraData},
        {QStringLiteral("sharedfolder"), &VBoxCommands::sharedFolder},
        {QStringLiteral("startvm"), &VBoxCommands::startVm},
        {QStringLiteral("controlvm"), &VBoxCommands::controlVm},
        {QStringLiteral("discardstate"), &VBoxCommands::discardState},
        {QStringLiteral("registervm"), &VBoxCommands::registerVm},
        {QStringLiteral("unregistervm"), &VBoxCommands::unregisterVm},
        {QStringLiteral("setproperty"), &VBoxCommands::setProperty},
        {QStringLiteral("clonevm"), &VBoxCommands::cloneVm},
        {QStringLiteral("export"), &VBoxCommands::exportAppliance},
        {QStringLiteral("import"), &VBoxCommands::importAppliance},
    };
    if (m_command == QLatin1String("commands")) {
        m_out.print(QStringLiteral("commands:\n"));
        for (auto it = handlers.cbegin(); it != handlers.cend(); ++it)
            m_out.print(QStringLiteral("    ") + it.key() + QLatin1Char('\n'));
        return ToolOutput::Success;
    }
    const auto handler = handlers.constFind(m_command);
    if (handler == handlers.cend())
        return m_out.syntaxError(usage(QString()), QStringLiteral("Invalid command '%1'").arg(m_command));
    if (m_command == QLatin1String("showmediuminfo") || m_command == QLatin1String("showvdiinfo"))
        m_command = QStringLiteral("showhdinfo");
    if (rest.isEmpty())
        return m_out.usageOnly(usage(m_command));
    return (this->*handler.value())(rest);
}

// ---- shared steps -------------------------------------------------------------------------------------

int VBoxCommands::findMachine(const QString &nameOrUuid, const QString &sourceFile)
{
    const int index = m_store.findMachine(nameOrUuid);
    if (index >= 0)
        return index;
    const QString text =
        SimDisk::isUuid(nameOrUuid)
            ? QStringLiteral("Could not find a registered machine with UUID {%1}")
                  .arg(SimDisk::normalisedUuid(nameOrUuid))
            : QStringLiteral("Could not find a registered machine named '%1'").arg(nameOrUuid);
    m_out.apiError(text, "VBOX_E_OBJECT_NOT_FOUND", "VirtualBoxWrap", "IVirtualBox",
                   QStringLiteral("FindMachine(Bstr(VMNameOrUuid).raw(), machine.asOutParam())"), sourceFile);
    return -1;
}

int VBoxCommands::notRunning(const QString &typed)
{
    m_out.error(QStringLiteral("Machine '%1' is not currently running.").arg(typed));
    return ToolOutput::Failure;
}

int VBoxCommands::lockedForSession(const VBoxMachine &m, const QString &sourceFile)
{
    return m_out.apiError(
        QStringLiteral("The machine '%1' is already locked for a session (or being unlocked)").arg(m.name()),
        "VBOX_E_INVALID_OBJECT_STATE", "MachineWrap", "IMachine",
        QStringLiteral("LockMachine(a->session, LockType_Write)"), sourceFile);
}

bool VBoxCommands::saveMachine(const VBoxMachine &machine)
{
    // Registered media used by a machine are recorded in its settings file, as the real service does.
    VBoxMachine m = machine;
    QJsonObject locations;
    for (const QJsonValue &v : m.attachments) {
        const QString uuid = v.toObject().value("medium").toString();
        if (!uuid.isEmpty())
            locations.insert(uuid, mediumPath(uuid));
    }
    m.settings.insert("mediaLocations", locations);
    QString error;
    if (!m_store.writeMachine(m, &error)) {
        m_out.error(QStringLiteral("Could not save the settings file '%1' (%2)").arg(m.settingsFile, error));
        return false;
    }
    return true;
}

bool VBoxCommands::saveStore()
{
    QString error;
    if (!m_store.save(&error)) {
        m_out.error(QStringLiteral("Could not save the global settings (%1)").arg(error));
        return false;
    }
    return true;
}

int VBoxCommands::storeFailure()
{
    return ToolOutput::Failure;
}

QString VBoxCommands::absolutePath(const QString &path) const
{
    return QDir::current().absoluteFilePath(path);
}

QString VBoxCommands::mediumPath(const QString &uuid) const
{
    const int i = m_store.findMedium(uuid);
    return i >= 0 ? m_store.media.at(i).location : QString();
}

// Opens a medium as the service does: a registered one by identifier or path, else the file is read and
// registered. Prints the OpenMedium error block on failure.
int VBoxCommands::openMedium(const QString &fileOrUuid, const QString &type, bool lastLine, QString *uuid)
{
    const int known = m_store.findMedium(fileOrUuid);
    if (known >= 0) {
        *uuid = m_store.media.at(known).uuid;
        return ToolOutput::Success;
    }
    const QString context =
        QStringLiteral("OpenMedium(Bstr(pszFilenameOrUuid).raw(), enmDevType, enmAccessMode, "
                       "fForceNewUuidOnOpen, pMedium.asOutParam())");
    if (SimDisk::isUuid(fileOrUuid)) {
        m_out.apiError(QStringLiteral("Could not find an opened hard disk with UUID {%1}")
                           .arg(SimDisk::normalisedUuid(fileOrUuid)),
                       "VBOX_E_OBJECT_NOT_FOUND", "VirtualBoxWrap", "IVirtualBox", context, fileDisk);
        if (lastLine)
            m_out.error(QStringLiteral("Invalid UUID or filename \"%1\"").arg(fileOrUuid));
        return ToolOutput::Failure;
    }
    const QString path = absolutePath(fileOrUuid);
    if (!QFileInfo(path).isFile()) {
        m_out.apiError(
            QStringLiteral("Could not find file for the medium '%1' (VERR_FILE_NOT_FOUND)").arg(path),
            "VBOX_E_FILE_ERROR", "MediumWrap", "IMedium", context, fileDisk);
        if (lastLine)
            m_out.error(QStringLiteral("Invalid UUID or filename \"%1\"").arg(fileOrUuid));
        return ToolOutput::Failure;
    }
    const QString fileUuid = SimDisk::uuidOf(path);
    const int clash = m_store.findMedium(fileUuid);
    if (clash >= 0) {
        m_out.apiError(
            QStringLiteral("Cannot register the hard disk '%1' {%2} because a hard disk '%3' with UUID "
                           "{%2} already exists")
                .arg(path, fileUuid, m_store.media.at(clash).location),
            "NS_ERROR_INVALID_ARG", "VirtualBoxWrap", "IVirtualBox", context, fileDisk);
        if (lastLine)
            m_out.error(QStringLiteral("Invalid UUID or filename \"%1\"").arg(fileOrUuid));
        return ToolOutput::Failure;
    }
    m_store.media.append({fileUuid, path, type});
    *uuid = fileUuid;
    return ToolOutput::Success;
}

void VBoxCommands::writeVmLog(const VBoxMachine &m)
{
    // The VM process writes Logs/VBox.log and keeps three older ones.
    const QDir logs(m.machineDir() + QStringLiteral("/Logs"));
    QDir().mkpath(logs.path());
    QFile::remove(logs.filePath("VBox.log.3"));
    for (int i = 2; i >= 1; --i)
        QFile::rename(logs.filePath(QStringLiteral("VBox.log.%1").arg(i)),
                      logs.filePath(QStringLiteral("VBox.log.%1").arg(i + 1)));
    QFile::rename(logs.filePath("VBox.log"), logs.filePath("VBox.log.1"));
    QFile log(logs.filePath("VBox.log"));
    if (log.open(QIODevice::WriteOnly))
        log.write(QStringLiteral("VirtualBox VM %1 starting, machine '%2' {%3}\n")
                      .arg(m_host.toolVersion(), m.name(), m.uuid)
                      .toUtf8());
}

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

// ---- modifyvm -----------------------------------------------------------------------------------------

namespace {

enum ModifyOption
{
    MName = 1,
    MGroups,
    MDescription,
    MOsType,
    MMemory,
    MVram,
    MCpus,
    MExecCap,
    MAcpi,
    MIoApic,
    MHpet,
    MPae,
    MLongMode,
    MLargePages,
    MHwVirtEx,
    MNestedPaging,
    MVtxVpid,
    MVtxUx,
    MRtcUseUtc,
    MTimeOffset,
    MChipset,
    MFirmware,
    MBoot,
    MGraphics,
    MMonitors,
    MAccelerate3d,
    MNic,
    MNicType,
    MCable,
    MMac,
    MTrace,
    MNatPf,
    MBridge,
    MIntnet,
    MHostOnly,
    MNatNetwork,
    MAudioController,
    MAudio,
    MAudioDriver,
    MAudioEnabled,
    MAudioIn,
    MAudioOut,
    MUsbOhci,
    MUsbEhci,
    MUsbXhci
};

QList<OptionDef> modifyOptions()
{
    return {
        {MName, {"--name"}, true},
        {MGroups, {"--groups"}, true},
        {MDescription, {"--description"}, true},
        {MOsType, {"--ostype", "--os-type"}, true},
        {MMemory, {"--memory"}, true},
        {MVram, {"--vram"}, true},
        {MCpus, {"--cpus"}, true},
        {MExecCap, {"--cpuexecutioncap", "--cpu-execution-cap"}, true},
        {MAcpi, {"--acpi"}, true},
        {MIoApic, {"--ioapic"}, true},
        {MHpet, {"--hpet", "--x86-hpet"}, true},
        {MPae, {"--pae", "--x86-pae"}, true},
        {MLongMode, {"--long-mode", "--longmode", "--x86-long-mode"}, true},
        {MLargePages, {"--large-pages", "--largepages", "--x86-large-pages"}, true},
        {MHwVirtEx, {"--hwvirtex", "--x86-hwvirtex"}, true},
        {MNestedPaging, {"--nested-paging", "--nestedpaging", "--x86-nested-paging"}, true},
        {MVtxVpid, {"--vtx-vpid", "--vtxvpid", "--x86-vtx-vpid"}, true},
        {MVtxUx, {"--vtx-ux", "--vtxux", "--x86-vtx-ux"}, true},
        {MRtcUseUtc, {"--rtc-use-utc", "--rtcuseutc"}, true},
        {MTimeOffset,
         {"--bios-system-time-offset", "--biossystemtimeoffset", "--firmware-system-time-offset"},
         true},
        {MChipset, {"--chipset"}, true},
        {MFirmware, {"--firmware"}, true},
        {MBoot, {"--boot"}, true, true},
        {MGraphics, {"--graphicscontroller", "--graphics-controller"}, true},
        {MMonitors, {"--monitorcount", "--monitor-count"}, true},
        {MAccelerate3d, {"--accelerate3d", "--accelerate-3d"}, true},
        {MNicType, {"--nic-type", "--nictype"}, true, true},
        {MTrace, {"--nic-trace", "--nictrace"}, true, true},
        {MNic, {"--nic"}, true, true},
        {MCable, {"--cable-connected", "--cableconnected"}, true, true},
        {MMac, {"--mac-address", "--macaddress"}, true, true},
        {MNatPf, {"--nat-pf", "--natpf"}, true, true},
        {MBridge, {"--bridge-adapter", "--bridgeadapter"}, true, true},
        {MIntnet, {"--intnet"}, true, true},
        {MHostOnly, {"--host-only-adapter", "--hostonlyadapter"}, true, true},
        {MNatNetwork, {"--nat-network", "--natnetwork"}, true, true},
        {MAudioController, {"--audio-controller", "--audiocontroller"}, true},
        {MAudioDriver, {"--audio-driver", "--audiodriver"}, true},
        {MAudioEnabled, {"--audio-enabled", "--audioenabled"}, true},
        {MAudioIn, {"--audio-in", "--audioin"}, true},
        {MAudioOut, {"--audio-out", "--audioout"}, true},
        {MAudio, {"--audio"}, true},
        {MUsbOhci, {"--usb-ohci", "--usbohci", "--usb"}, true},
        {MUsbEhci, {"--usb-ehci", "--usbehci"}, true},
        {MUsbXhci, {"--usb-xhci", "--usbxhci"}, true},
    };
}

// Plain on/off settings: option id -> settings key.
const QHash<int, QString> onOffKeys = {
    {MAcpi, "acpi"},
    {MIoApic, "ioapic"},
    {MHpet, "hpet"},
    {MPae, "pae"},
    {MLongMode, "longmode"},
    {MLargePages, "largepages"},
    {MHwVirtEx, "hwvirtex"},
    {MNestedPaging, "nestedpaging"},
    {MVtxVpid, "vtxvpid"},
    {MVtxUx, "vtxux"},
    {MRtcUseUtc, "rtcuseutc"},
    {MAccelerate3d, "accelerate3d"},
    {MAudioEnabled, "audioenabled"},
    {MAudioIn, "audio_in"},
    {MAudioOut, "audio_out"},
    {MUsbOhci, "usb"},
    {MUsbEhci, "ehci"},
    {MUsbXhci, "xhci"},
};

const QStringList linuxAudioDrivers = {"none", "null", "oss", "alsa", "pulse", "default"};

} // namespace

// Applies one modifyvm option to m. Returns 0 when applied (or skipped), 1 for a failure, 2 for an error that
// ends the command at once with exit code 2. consumed counts the positional arguments the option used.
int VBoxCommands::applyModifyOption(VBoxMachine &m, int id, const QString &typed, const QString &value,
                                    int index, const QStringList &rest, int *consumed)
{
    const CommandUsage use = usage("modifyvm");
    const QString ctx = QStringLiteral("COMSETTER(%1)(ValueUnion.u32)");
    auto invalidArg = [&](const QString &text, const QString &setter) {
        return m_out.apiError(text, "NS_ERROR_INVALID_ARG", "SessionMachine", "IMachine", ctx.arg(setter),
                              fileModify);
    };
    if (m.state() == QLatin1String("saved") && id != MName && id != MDescription && id != MGroups) {
        return m_out.apiError(QStringLiteral("The machine is not mutable (state is Saved)"),
                              "VBOX_E_INVALID_VM_STATE", "SessionMachine", "IMachine",
                              QStringLiteral("COMSETTER(Setting)(value)"), fileModify);
    }
    const bool perNic = id == MNic || id == MNicType || id == MCable || id == MMac || id == MTrace ||
                        id == MNatPf || id == MBridge || id == MIntnet || id == MHostOnly ||
                        id == MNatNetwork;
    if (perNic && (index < 1 || index > m.nicCount())) {
        m_out.error(QStringLiteral("Invalid NIC number %1").arg(index));
        if (id == MNatPf && value == QLatin1String("delete") && !rest.isEmpty())
            *consumed = 1;
        return 0;
    }
    const QString n = QString::number(index);
    if (onOffKeys.contains(id)) {
        QString word;
        if (!parseOnOff(value, &word))
            return m_out.syntaxError(use, QStringLiteral("Unknown option: %1").arg(value), true, 1);
        m.set(onOffKeys.value(id), word);
        return 0;
    }
    qint64 number = 0;
    switch (id) {
    case MName:
        if (SimDisk::isUuid(value))
            return invalidArg(QStringLiteral("A machine cannot have a UUID as its name"), "Name");
        m.set("name", value);
        return 0;
    case MGroups:
        m.set("groups", value);
        return 0;
    case MDescription:
        m.set("description", value);
        return 0;
    case MOsType:
        if (!VBoxMachine::knownOsType(value)) {
            m_out.error(QStringLiteral("Unknown or invalid guest OS type given."));
            return 1;
        }
        m.set("ostype", value);
        return 0;
    case MMemory:
    case MVram:
    case MCpus:
    case MExecCap:
    case MMonitors:
    case MTimeOffset:
        if (!parseNumber(value, &number))
            return m_out.syntaxError(use, QStringLiteral("Invalid argument format: %1").arg(value), true, 1);
        if (id == MMemory && (number < 4 || number > 2097152))
            return invalidArg(
                QStringLiteral("Invalid RAM size: %1 MB (must be in range [4, 2097152] MB)").arg(number),
                "MemorySize");
        if (id == MVram && (number < 0 || number > 256))
            return invalidArg(
                QStringLiteral("Invalid VRAM size: %1 MB (must be in range [0, 256] MB)").arg(number),
                "VRAMSize");
        if (id == MCpus && (number < 1 || number > 64))
            return invalidArg(
                QStringLiteral("Invalid virtual CPU count: %1 (must be in range [1, 64])").arg(number),
                "CPUCount");
        if (id == MExecCap && (number < 1 || number > 100))
            return invalidArg(
                QStringLiteral("Invalid CPU execution cap value: %1 (must be in range [1, 100])").arg(number),
                "CPUExecutionCap");
        m.settings.insert(id == MMemory     ? "memory"
                          : id == MVram     ? "vram"
                          : id == MCpus     ? "cpus"
                          : id == MExecCap  ? "cpuexecutioncap"
                          : id == MMonitors ? "monitorcount"
                                            : "biossystemtimeoffset",
                          number);
        return 0;
    case MChipset:
        if (value.compare("piix3", Qt::CaseInsensitive) != 0 &&
            value.compare("ich9", Qt::CaseInsensitive) != 0) {
            m_out.error(QStringLiteral("Invalid --chipset argument '%1'").arg(value));
            return 1;
        }
        m.set("chipset", value.toLower());
        for (int i = 9; i <= m.nicCount(); ++i) {
            const QString k = QString::number(i);
            if (!m.settings.contains("nic" + k)) {
                m.set("nic" + k, "none");
                m.set("nictype" + k, "82540EM");
                m.set("cableconnected" + k, "on");
                m.set("macaddress" + k, VBoxMachine::randomMac());
            }
        }
        return 0;
    case MFirmware: {
        static const QStringList firmwares = {"BIOS", "EFI", "EFI32", "EFI64", "EFIDUAL"};
        if (!firmwares.contains(value.toUpper())) {
            m_out.error(QStringLiteral("Invalid --firmware argument '%1'").arg(value));
            return 1;
        }
        m.set("firmware", value.toUpper());
        return 0;
    }
    case MBoot: {
        if (index < 1 || index > 4)
            return m_out.syntaxError(
                use, QStringLiteral("Invalid boot position: %1 (must be in range [1, 4])").arg(index), false,
                1);
        static const QStringList devices = {"none", "floppy", "dvd", "disk", "net"};
        if (!devices.contains(value.toLower()))
            return m_out.syntaxError(use, QStringLiteral("Invalid boot device '%1'").arg(value), false, 2);
        m.set("boot" + n, value.toLower());
        return 0;
    }
    case MGraphics: {
        static const QStringList controllers = {"none", "vboxvga", "vmsvga", "vboxsvga", "qemuramfb"};
        if (!controllers.contains(value.toLower())) {
            m_out.error(QStringLiteral("Invalid --graphicscontroller argument '%1'").arg(value));
            return 1;
        }
        m.set("graphicscontroller", value.toLower());
        return 0;
    }
    case MNic: {
        QString kind = value.toLower();
        if (kind == QLatin1String("hostif"))
            kind = "bridged";
        static const QStringList kinds = {"none",     "null",    "nat",        "bridged", "intnet",
                                          "hostonly", "generic", "natnetwork", "cloud"};
        if (!kinds.contains(kind)) {
            m_out.error(QStringLiteral("Invalid type '%1' specfied for NIC %2").arg(value).arg(index));
            return 1;
        }
        m.set("nic" + n, kind);
        return 0;
    }
    case MNicType: {
        static const QStringList types = {"Am79C970A", "Am79C973", "Am79C960", "82540EM", "82543GC",
                                          "82545EM",   "virtio",   "NE1000",   "NE2000",  "WD8003",
                                          "WD8013",    "3C503",    "3C501"};
        for (const QString &t : types) {
            if (t.compare(value, Qt::CaseInsensitive) == 0) {
                m.set("nictype" + n, t);
                return 0;
            }
        }
        m_out.error(QStringLiteral("Invalid NIC type '%1' specified for NIC %2").arg(value).arg(index));
        return 1;
    }
    case MCable:
    case MTrace: {
        QString word;
        if (!parseOnOff(value, &word))
            return m_out.syntaxError(use, QStringLiteral("Unknown option: %1").arg(value), true, 1);
        m.set((id == MCable ? "cableconnected" : "nictrace") + n, word);
        return 0;
    }
    case MMac: {
        if (value.compare("auto", Qt::CaseInsensitive) == 0) {
            m.set("macaddress" + n, VBoxMachine::randomMac());
            return 0;
        }
        static const QRegularExpression hex("^[0-9A-Fa-f]{12}$");
        if (!hex.match(value).hasMatch() || (QString(value.at(1)).toInt(nullptr, 16) & 1)) {
            return m_out.apiError(QStringLiteral("Invalid MAC address format"), "NS_ERROR_INVALID_ARG",
                                  "NetworkAdapterWrap", "INetworkAdapter",
                                  QStringLiteral("COMSETTER(MACAddress)(Bstr(ValueUnion.psz).raw())"),
                                  fileModify);
        }
        m.set("macaddress" + n, value.toUpper());
        return 0;
    }
    case MBridge:
    case MIntnet:
    case MHostOnly:
    case MNatNetwork:
        m.set("attach" + n, value);
        return 0;
    case MNatPf: {
        QJsonArray rules = m.natRules.value(n).toArray();
        const QString natCtx = QStringLiteral(
            "AddRedirect(Bstr(strName).raw(), proto, Bstr(strHostIp).raw(), RTStrToUInt16(strHostPort), "
            "Bstr(strGuestIp).raw(), RTStrToUInt16(strGuestPort))");
        if (value == QLatin1String("delete")) {
            if (rest.isEmpty())
                return m_out.syntaxError(use, QStringLiteral("Not enough parameters"), false, 2);
            *consumed = 1;
            const QString name = rest.first();
            for (int i = 0; i < rules.size(); ++i) {
                if (rules.at(i).toObject().value("name").toString() == name) {
                    rules.removeAt(i);
                    m.natRules.insert(n, rules);
                    return 0;
                }
            }
            return m_out.apiErrorNoInfo("NS_ERROR_INVALID_ARG",
                                        QStringLiteral("RemoveRedirect(Bstr(ValueUnion.psz).raw())"),
                                        fileModify);
        }
        const QStringList fields = value.split(QLatin1Char(','));
        if (fields.size() < 6)
            return m_out.syntaxError(use, QStringLiteral("Missing or invalid argument to '%1'").arg(typed),
                                     false, 2);
        const QString proto = fields.at(1).trimmed().toLower();
        if (proto != QLatin1String("tcp") && proto != QLatin1String("udp")) {
            m_out.error(QStringLiteral("Invalid proto '%1' specfied for NIC %2").arg(value).arg(index));
            return 1;
        }
        QJsonObject rule;
        const int hostPort = lenientPort(fields.at(3));
        const int guestPort = lenientPort(fields.at(5));
        QString name = fields.at(0).trimmed();
        if (name.isEmpty())
            name = QStringLiteral("%1_%2_%3").arg(proto).arg(hostPort).arg(guestPort);
        rule.insert("name", name);
        rule.insert("proto", proto);
        rule.insert("hostIp", fields.at(2).trimmed());
        rule.insert("hostPort", hostPort);
        rule.insert("guestIp", fields.at(4).trimmed());
        rule.insert("guestPort", guestPort);
        for (const QJsonValue &v : rules) {
            const QJsonObject other = v.toObject();
            if (other.value("name").toString() == name)
                return m_out.apiError(QStringLiteral("A NAT rule of this name already exists"),
                                      "NS_ERROR_INVALID_ARG", "NATEngineWrap", "INATEngine", natCtx,
                                      fileModify);
            if (other.value("proto").toString() == proto && other.value("hostIp") == rule.value("hostIp") &&
                other.value("hostPort").toInt() == hostPort)
                return m_out.apiError(
                    QStringLiteral("A NAT rule for this host port and this host IP already exists"),
                    "NS_ERROR_INVALID_ARG", "NATEngineWrap", "INATEngine", natCtx, fileModify);
        }
        // The NAT engine keeps its rules sorted by name (byte order).
        int pos = 0;
        while (pos < rules.size() &&
               rules.at(pos).toObject().value("name").toString().toUtf8() < name.toUtf8())
            ++pos;
        rules.insert(pos, rule);
        m.natRules.insert(n, rules);
        return 0;
    }
    case MAudioController: {
        const QString c = value.toLower();
        if (c != QLatin1String("ac97") && c != QLatin1String("hda") && c != QLatin1String("sb16")) {
            m_out.error(QStringLiteral("Invalid --audiocontroller argument '%1'").arg(value));
            return 1;
        }
        m.set("audiocontroller", c);
        return 0;
    }
    case MAudio:
    case MAudioDriver: {
        if (id == MAudio)
            m_out.printErr(QStringLiteral("Warning: --audio is deprecated and will be removed soon. Use "
                                          "--audio-driver instead!\n"));
        // Only the drivers of a Linux host exist here: dsound, winmm, was and coreaudio are refused.
        const QString drv = value.toLower();
        if (!linuxAudioDrivers.contains(drv)) {
            m_out.error(QStringLiteral("Invalid %1 argument '%2'").arg(typed, value));
            return 1;
        }
        m.set("audiodriver", drv == QLatin1String("none") ? "null" : drv);
        if (id == MAudio)
            m.set("audioenabled", drv == QLatin1String("none") ? "off" : "on");
        return 0;
    }
    default:
        return 0;
    }
}

int VBoxCommands::modifyVm(const QStringList &a)
{
    const CommandUsage use = usage("modifyvm");
    if (a.size() < 2)
        return m_out.syntaxError(use, QStringLiteral("Not enough parameters"));
    const int index = findMachine(a.first(), fileModify);
    if (index < 0)
        return ToolOutput::Failure;
    VBoxMachine m = m_store.machines.at(index);
    if (m.hasSession())
        return lockedForSession(m, fileModify);
    ParseFailure failure;
    const QList<ParsedOption> items = OptionParser(modifyOptions()).parse(a.mid(1), &failure);
    const QString oldName = m.name();
    for (int i = 0; i < items.size(); ++i) {
        const ParsedOption &o = items.at(i);
        if (o.id == 0)
            return m_out.syntaxError(use, QStringLiteral("Invalid parameter '%1'").arg(o.value), true, 1);
        QStringList rest;
        if (i + 1 < items.size() && items.at(i + 1).id == 0)
            rest.append(items.at(i + 1).value);
        int consumed = 0;
        const int result = applyModifyOption(m, o.id, o.typed, o.value, o.index, rest, &consumed);
        if (result != 0)
            return result;
        i += consumed;
    }
    if (failure.kind != ParseFailure::None)
        return m_out.syntaxError(use, failure.message(), true, 1);

    // A new name moves the machine folder and settings file when they carry the old name.
    if (m.name() != oldName) {
        const QFileInfo file(m.settingsFile);
        const QString oldDir = file.absolutePath();
        const QString oldBase = sanitiseName(oldName);
        const QString newBase = sanitiseName(m.name());
        QString dir = oldDir;
        if (QFileInfo(oldDir).fileName() == oldBase) {
            dir = QFileInfo(oldDir).absolutePath() + QLatin1Char('/') + newBase;
            if (QFileInfo::exists(dir)) {
                return m_out.apiError(
                    QStringLiteral("Could not rename the directory '%1' to '%2' to save the settings "
                                   "file (VERR_ALREADY_EXISTS)")
                        .arg(oldDir, dir),
                    "NS_ERROR_FAILURE", "SessionMachine", "IMachine", QStringLiteral("SaveSettings()"),
                    fileModify);
            }
            QDir().rename(oldDir, dir);
            for (VBoxMedium &medium : m_store.media) {
                if (medium.location.startsWith(oldDir + QLatin1Char('/')))
                    medium.location = dir + medium.location.mid(oldDir.size());
            }
        }
        QString fileName = file.fileName();
        if (file.completeBaseName() == oldBase) {
            fileName = newBase + QStringLiteral(".vbox");
            QFile::rename(dir + "/" + file.fileName(), dir + "/" + fileName);
            QFile::rename(dir + "/" + file.fileName() + "-prev", dir + "/" + fileName + "-prev");
            QFile::rename(dir + "/" + oldBase + ".nvram", dir + "/" + newBase + ".nvram");
        }
        m.settingsFile = dir + QLatin1Char('/') + fileName;
    }
    if (!saveMachine(m))
        return ToolOutput::Failure;
    m_store.machines[index] = m;
    return saveStore() ? ToolOutput::Success : ToolOutput::Failure;
}

// ---- storage and media --------------------------------------------------------------------------------

int VBoxCommands::storageCtl(const QStringList &a)
{
    const CommandUsage use = usage("storagectl");
    if (a.size() < 4)
        return m_out.syntaxError(use, QStringLiteral("Too few parameters"));
    enum
    {
        Name = 1,
        Add,
        Controller,
        PortCount,
        HostIoCache,
        Bootable,
        Rename,
        Remove
    };
    ParseFailure failure;
    const QList<ParsedOption> items = OptionParser({{Name, {"--name", "-name"}, true},
                                                    {Add, {"--add", "-add"}, true},
                                                    {Controller, {"--controller", "-controller"}, true},
                                                    {PortCount, {"--portcount", "-portcount"}, true},
                                                    {HostIoCache, {"--hostiocache", "-hostiocache"}, true},
                                                    {Bootable, {"--bootable", "-bootable"}, true},
                                                    {Rename, {"--rename"}, true},
                                                    {Remove, {"--remove", "-remove"}}})
                                          .parse(a.mid(1), &failure);
    const int index = findMachine(a.first(), fileStorage);
    if (index < 0)
        return ToolOutput::Failure;
    VBoxMachine m = m_store.machines.at(index);
    if (m.hasSession())
        return lockedForSession(m, fileStorage);
    if (failure.kind != ParseFailure::None)
        return m_out.syntaxError(use, failure.message(), true);
    QString name, add, controller, portCount, hostIoCache, bootable, rename;
    bool remove = false;
    for (const ParsedOption &o : items) {
        switch (o.id) {
        case 0:
            return m_out.syntaxError(use, QStringLiteral("Invalid parameter '%1'").arg(o.value), true);
        case Name:
            name = o.value;
            break;
        case Add:
            add = o.value;
            break;
        case Controller:
            controller = o.value;
            break;
        case PortCount:
            portCount = o.value;
            break;
        case HostIoCache:
            hostIoCache = o.value;
            break;
        case Bootable:
            bootable = o.value;
            break;
        case Rename:
            rename = o.value;
            break;
        case Remove:
            remove = true;
            break;
        }
    }
    if (name.isEmpty())
        return m_out.syntaxError(use, QStringLiteral("Storage controller name not specified"));
    int ctl = -1;
    for (int i = 0; i < m.controllers.size(); ++i) {
        if (m.controllers.at(i).toObject().value("name").toString() == name)
            ctl = i;
    }
    if (remove) {
        if (ctl < 0) {
            return m_out.apiError(QStringLiteral("Could not find a storage controller named '%1'").arg(name),
                                  "VBOX_E_OBJECT_NOT_FOUND", "SessionMachine", "IMachine",
                                  QStringLiteral("RemoveStorageController(Bstr(pszCtl).raw())"), fileStorage);
        }
        QJsonArray kept;
        for (const QJsonValue &v : m.attachments) {
            if (v.toObject().value("controller").toString() != name)
                kept.append(v);
        }
        m.attachments = kept;
        m.controllers.removeAt(ctl);
    } else {
        if (!add.isEmpty()) {
            struct Bus
            {
                const char *word, *bus, *type;
                int ports, maxPorts, devices;
            };
            static const Bus buses[] = {
                {"ide", "IDE", "PIIX4", 2, 2, 2},
                {"sata", "SATA", "IntelAhci", 30, 30, 1},
                {"scsi", "SCSI", "LsiLogic", 16, 16, 1},
                {"floppy", "Floppy", "I82078", 1, 1, 2},
                {"sas", "SAS", "LsiLogicSas", 8, 255, 1},
                {"usb", "USB", "USB", 8, 8, 1},
                {"pcie", "PCIe", "NVMe", 1, 255, 1},
                {"virtio-scsi", "VirtioSCSI", "VirtioSCSI", 1, 256, 1},
                {"virtio", "VirtioSCSI", "VirtioSCSI", 1, 256, 1},
            };
            const Bus *bus = nullptr;
            for (const Bus &b : buses) {
                if (add.compare(QLatin1String(b.word), Qt::CaseInsensitive) == 0)
                    bus = &b;
            }
            if (!bus) {
                m_out.error(QStringLiteral("Invalid --add argument '%1'").arg(add));
                return ToolOutput::Failure;
            }
            if (ctl >= 0) {
                return m_out.apiError(
                    QStringLiteral("Storage controller named '%1' already exists").arg(name),
                    "VBOX_E_OBJECT_IN_USE", "SessionMachine", "IMachine",
                    QStringLiteral("AddStorageController(Bstr(pszCtl).raw(), StorageBus_%1, "
                                   "ctl.asOutParam())")
                        .arg(QLatin1String(bus->bus)),
                    fileStorage);
            }
            int sameBus = 0;
            for (const QJsonValue &v : m.controllers) {
                if (v.toObject().value("bus").toString() == QLatin1String(bus->bus))
                    ++sameBus;
            }
            m.controllers.append(QJsonObject{{"name", name},
                                             {"bus", bus->bus},
                                             {"type", bus->type},
                                             {"ports", bus->ports},
                                             {"maxPorts", bus->maxPorts},
                                             {"devices", bus->devices},
                                             {"instance", sameBus},
                                             {"bootable", sameBus == 0}});
            ctl = m.controllers.size() - 1;
        }
        if (ctl < 0) {
            m_out.error(QStringLiteral("Couldn't find the controller with the name: '%1'").arg(name));
            return ToolOutput::Failure;
        }
        QJsonObject c = m.controllers.at(ctl).toObject();
        if (!portCount.isEmpty()) {
            const int ports = portCount.toInt();
            if (ports < 1 || ports > c.value("maxPorts").toInt()) {
                return m_out.apiError(QStringLiteral("Invalid port count: %1 (must be in range [1, %2])")
                                          .arg(ports)
                                          .arg(c.value("maxPorts").toInt()),
                                      "NS_ERROR_INVALID_ARG", "StorageControllerWrap", "IStorageController",
                                      QStringLiteral("COMSETTER(PortCount)(portcount)"), fileStorage);
            }
            c.insert("ports", ports);
        }
        if (!bootable.isEmpty()) {
            QString word;
            if (!parseOnOff(bootable, &word)) {
                m_out.error(QStringLiteral("Invalid --bootable argument '%1'").arg(bootable));
                return ToolOutput::Failure;
            }
            c.insert("bootable", word == QLatin1String("on"));
        }
        if (!controller.isEmpty())
            c.insert("type", controller);
        if (!rename.isEmpty()) {
            for (int i = 0; i < m.attachments.size(); ++i) {
                QJsonObject att = m.attachments.at(i).toObject();
                if (att.value("controller").toString() == name) {
                    att.insert("controller", rename);
                    m.attachments[i] = att;
                }
            }
            c.insert("name", rename);
        }
        Q_UNUSED(hostIoCache)
        m.controllers[ctl] = c;
    }
    if (!saveMachine(m))
        return ToolOutput::Failure;
    m_store.machines[index] = m;
    return saveStore() ? ToolOutput::Success : ToolOutput::Failure;
}

int VBoxCommands::storageAttach(const QStringList &a)
{
    const CommandUsage use = usage("storageattach");
    enum
    {
        Ctl = 1,
        Port,
        Device,
        Type,
        Medium,
        MType,
        Comment,
        SetUuid,
        SetParent,
        Passthrough,
        TempEject,
        NonRotational,
        Discard,
        HotPluggable,
        Bandwidth,
        ForceUnmount
    };
    ParseFailure failure;
    const QList<ParsedOption> items = OptionParser({{Ctl, {"--storagectl"}, true},
                                                    {Port, {"--port"}, true},
                                                    {Device, {"--device"}, true},
                                                    {Type, {"--type"}, true},
                                                    {Medium, {"--medium"}, true},
                                                    {MType, {"--mtype"}, true},
                                                    {Comment, {"--comment"}, true},
                                                    {SetUuid, {"--setuuid"}, true},
                                                    {SetParent, {"--setparentuuid"}, true},
                                                    {Passthrough, {"--passthrough"}, true},
                                                    {TempEject, {"--tempeject"}, true},
                                                    {NonRotational, {"--nonrotational"}, true},
                                                    {Discard, {"--discard"}, true},
                                                    {HotPluggable, {"--hotpluggable"}, true},
                                                    {Bandwidth, {"--bandwidthgroup"}, true},
                                                    {ForceUnmount, {"--forceunmount"}}})
                                          .parse(a.mid(1), &failure);
    if (failure.kind != ParseFailure::None)
        return m_out.syntaxError(use, failure.message(), true);
    QString ctlName, type, medium, portText, deviceText;
    QHash<int, QString> flags;
    for (const ParsedOption &o : items) {
        switch (o.id) {
        case 0:
            return m_out.syntaxError(use, QStringLiteral("Invalid parameter '%1'").arg(o.value), true);
        case Ctl:
            ctlName = o.value;
            break;
        case Port:
            portText = o.value;
            break;
        case Device:
            deviceText = o.value;
            break;
        case Medium:
            medium = o.value;
            break;
        case Type:
            type = o.value.toLower();
            if (type != QLatin1String("hdd") && type != QLatin1String("dvddrive") &&
                type != QLatin1String("fdd"))
                return m_out.syntaxError(use, QStringLiteral("Invalid --type argument '%1'").arg(o.value));
            break;
        case NonRotational:
        case Discard:
        case TempEject:
        case HotPluggable:
        case Passthrough:
            flags.insert(o.id, o.value);
            break;
        default:
            break;
        }
    }
    if (ctlName.isEmpty())
        return m_out.syntaxError(use, QStringLiteral("Storage controller name not specified"));
    const int index = findMachine(a.first(), fileStorage);
    if (index < 0)
        return ToolOutput::Failure;
    VBoxMachine m = m_store.machines.at(index);
    QJsonObject ctl;
    for (const QJsonValue &v : m.controllers) {
        if (v.toObject().value("name").toString() == ctlName)
            ctl = v.toObject();
    }
    if (ctl.isEmpty()) {
        return m_out.apiError(
            QStringLiteral("Could not find a controller named '%1'").arg(ctlName), "VBOX_E_OBJECT_NOT_FOUND",
            "SessionMachine", "IMachine",
            QStringLiteral("GetStorageControllerByName(Bstr(pszCtl).raw(), storageCtl.asOutParam())"),
            fileStorage);
    }
    const int ports = ctl.value("ports").toInt();
    const int devices = ctl.value("devices").toInt();
    if (portText.isEmpty() && ports > 1)
        return m_out.syntaxError(use, QStringLiteral("Port not specified"));
    if (deviceText.isEmpty() && devices > 1)
        return m_out.syntaxError(use, QStringLiteral("Device not specified"));
    const int port = portText.toInt();
    const int device = deviceText.toInt();
    if (port < 0 || port >= ports || device < 0 || device >= devices) {
        return m_out.apiError(
            QStringLiteral("The port and/or device parameter are out of range: port=%1 (must be in "
                           "range [0, %2]), device=%3 (must be in range [0, %4])")
                .arg(port)
                .arg(ports - 1)
                .arg(device)
                .arg(devices - 1),
            "NS_ERROR_INVALID_ARG", "SessionMachine", "IMachine",
            QStringLiteral("AttachDevice(Bstr(pszCtl).raw(), port, device, DeviceType_HardDisk, "
                           "pMedium2Mount)"),
            fileStorage);
    }
    int slot = -1;
    for (int i = 0; i < m.attachments.size(); ++i) {
        const QJsonObject att = m.attachments.at(i).toObject();
        if (att.value("controller").toString() == ctlName && att.value("port").toInt() == port &&
            att.value("device").toInt() == device)
            slot = i;
    }
    if (medium.compare("none", Qt::CaseInsensitive) == 0) {
        if (slot < 0) {
            return m_out.apiError(QStringLiteral("No storage device attached to device slot %1 on port %2 of "
                                                 "controller '%3'")
                                      .arg(device)
                                      .arg(port)
                                      .arg(ctlName),
                                  "VBOX_E_OBJECT_NOT_FOUND", "SessionMachine", "IMachine",
                                  QStringLiteral("DetachDevice(Bstr(pszCtl).raw(), port, device)"),
                                  fileStorage);
        }
        m.attachments.removeAt(slot);
    } else {
        if (type.isEmpty()) {
            if (slot < 0) {
                m_out.error(QStringLiteral("Argument --type must be specified"));
                return ToolOutput::Failure;
            }
            type = m.attachments.at(slot).toObject().value("type").toString();
        }
        QJsonObject att = slot >= 0 ? m.attachments.at(slot).toObject() : QJsonObject();
        if (medium.isEmpty() && slot < 0 && type == QLatin1String("hdd")) {
            m_out.error(QStringLiteral("Missing --medium argument"));
            return ToolOutput::Failure;
        }
        if (!medium.isEmpty()) {
            QString uuid;
            if (medium.compare("emptydrive", Qt::CaseInsensitive) != 0) {
                const QString kind = type == QLatin1String("hdd")        ? "HardDisk"
                                     : type == QLatin1String("dvddrive") ? "DVD"
                                                                         : "Floppy";
                if (openMedium(medium, kind, true, &uuid) != ToolOutput::Success)
                    return ToolOutput::Failure;
                for (int i = 0; i < m.attachments.size(); ++i) {
                    if (i != slot && m.attachments.at(i).toObject().value("medium").toString() == uuid) {
                        return m_out.apiError(
                            QStringLiteral("Medium '%1' is already attached to this virtual machine")
                                .arg(mediumPath(uuid)),
                            "VBOX_E_OBJECT_IN_USE", "SessionMachine", "IMachine",
                            QStringLiteral("AttachDevice(Bstr(pszCtl).raw(), port, device, "
                                           "DeviceType_HardDisk, pMedium2Mount)"),
                            fileStorage);
                    }
                }
            }
            att = QJsonObject{{"controller", ctlName},
                              {"port", port},
                              {"device", device},
                              {"type", type},
                              {"medium", uuid}};
        }
        const QHash<int, QString> flagKeys = {{NonRotational, "nonrotational"},
                                              {Discard, "discard"},
                                              {TempEject, "tempeject"},
                                              {HotPluggable, "hotpluggable"},
                                              {Passthrough, "passthrough"}};
        for (auto it = flags.cbegin(); it != flags.cend(); ++it) {
            QString word;
            if (!parseOnOff(it.value(), &word)) {
                m_out.error(QStringLiteral("Invalid %1 argument '%2'")
                                .arg("--" + flagKeys.value(it.key()), it.value()));
                return ToolOutput::Failure;
            }
            att.insert(flagKeys.value(it.key()), word == QLatin1String("on"));
        }
        if (slot >= 0)
            m.attachments[slot] = att;
        else
            m.attachments.append(att);
    }
    if (!saveMachine(m))
        return ToolOutput::Failure;
    m_store.machines[index] = m;
    return saveStore() ? ToolOutput::Success : ToolOutput::Failure;
}

int VBoxCommands::internalCommands(const QStringList &a)
{
    auto oldSyntax = [this](const QString &message) {
        m_out.logo(false);
        m_out.printErr(usage("internalcommands").synopsis.join('\n') + QStringLiteral("\n\nSyntax error: ") +
                       message + QLatin1Char('\n'));
        return int(ToolOutput::Syntax);
    };
    if (a.first() != QLatin1String("sethduuid"))
        return oldSyntax(QStringLiteral("Invalid command '%1'").arg(a.first()));
    if (a.size() < 2 || a.size() > 3)
        return oldSyntax(QStringLiteral("Not enough parameters"));
    QString uuid;
    if (a.size() == 3) {
        if (!SimDisk::isUuid(a.at(2)))
            return oldSyntax(QStringLiteral("Invalid UUID parameter"));
        uuid = SimDisk::normalisedUuid(a.at(2));
    } else {
        uuid = SimDisk::newUuid();
    }
    const QString path = absolutePath(a.at(1));
    if (!QFileInfo(path).isFile()) {
        m_out.error(QStringLiteral("Format autodetect failed: VERR_FILE_NOT_FOUND"));
        return ToolOutput::Failure;
    }
    if (!SimDisk::setUuid(path, uuid)) {
        m_out.error(QStringLiteral("Cannot open the image: VERR_ACCESS_DENIED"));
        return ToolOutput::Failure;
    }
    m_out.print(QStringLiteral("UUID changed to: %1\n").arg(uuid));
    return ToolOutput::Success;
}

QString VBoxCommands::hdInfoText(const VBoxMedium &medium) const
{
    const qint64 size = QFileInfo(medium.location).size();
    QString text;
    auto line = [&text](const QString &label, const QString &value) {
        text += (label + QLatin1Char(':')).leftJustified(16) + value + QLatin1Char('\n');
    };
    line("UUID", medium.uuid);
    line("Parent UUID", "base");
    line("State", QFileInfo(medium.location).isFile() ? "created" : "inaccessible");
    line("Type", "normal (base)");
    line("Location", medium.location);
    line("Storage format", storageFormat(medium.location));
    line("Format variant", "dynamic default");
    line("Capacity", QStringLiteral("%1 MBytes").arg(size / (1024 * 1024)));
    line("Size on disk", QStringLiteral("%1 MBytes").arg(size / (1024 * 1024)));
    line("Encryption", "disabled");
    bool first = true;
    for (const VBoxMachine &m : m_store.machines) {
        for (const QJsonValue &v : m.attachments) {
            if (v.toObject().value("medium").toString() == medium.uuid) {
                const QString entry = QStringLiteral("%1 (UUID: %2)").arg(m.name(), m.uuid);
                if (first)
                    line("In use by VMs", entry);
                else
                    text += QString(16, QLatin1Char(' ')) + entry + QLatin1Char('\n');
                first = false;
                break;
            }
        }
    }
    return text;
}

int VBoxCommands::showHdInfo(const QStringList &a)
{
    QStringList args = a;
    QString kind = "HardDisk";
    if (args.first() == QLatin1String("disk") || args.first() == QLatin1String("dvd") ||
        args.first() == QLatin1String("floppy")) {
        kind = args.first() == QLatin1String("disk")  ? "HardDisk"
               : args.first() == QLatin1String("dvd") ? "DVD"
                                                      : "Floppy";
        args.removeFirst();
    }
    if (args.isEmpty())
        return m_out.syntaxError(usage("showhdinfo"), QStringLiteral("Medium name or UUID required"));
    if (args.size() > 1)
        return m_out.syntaxError(usage("showhdinfo"),
                                 QStringLiteral("Invalid parameter '%1'").arg(args.at(1)));
    QString uuid;
    if (openMedium(args.first(), kind, false, &uuid) != ToolOutput::Success)
        return ToolOutput::Failure;
    m_out.print(hdInfoText(m_store.media.at(m_store.findMedium(uuid))));
    return saveStore() ? ToolOutput::Success : ToolOutput::Failure;
}

int VBoxCommands::closeMedium(const QStringList &a)
{
    const CommandUsage use = usage("closemedium");
    QString kind = "HardDisk", target;
    bool del = false;
    for (int i = 0; i < a.size(); ++i) {
        const QString &arg = a.at(i);
        if (arg == QLatin1String("--delete") || arg == QLatin1String("-delete")) {
            del = true;
        } else if (arg.startsWith(QLatin1Char('-'))) {
            return m_out.syntaxError(use, QStringLiteral("unknown option: %1").arg(arg));
        } else if (i == 0 && (arg == QLatin1String("disk") || arg == QLatin1String("dvd") ||
                              arg == QLatin1String("floppy"))) {
            kind = arg == QLatin1String("disk") ? "HardDisk" : arg == QLatin1String("dvd") ? "DVD" : "Floppy";
        } else if (target.isEmpty()) {
            target = arg;
        } else {
            return m_out.syntaxError(use, QStringLiteral("Invalid parameter '%1'").arg(arg));
        }
    }
    if (target.isEmpty())
        return m_out.syntaxError(use, QStringLiteral("Medium name or UUID required"));
    QString uuid;
    if (openMedium(target, kind, false, &uuid) != ToolOutput::Success)
        return ToolOutput::Failure;
    const int mi = m_store.findMedium(uuid);
    const QString path = m_store.media.at(mi).location;
    const QStringList users = m_store.machinesUsing(uuid);
    if (!users.isEmpty()) {
        if (del) {
            m_out.apiError(
                QStringLiteral("Cannot delete storage: medium '%1' is still attached to the following %2 "
                               "virtual machine(s): %3")
                    .arg(path)
                    .arg(users.size())
                    .arg(users.join(QLatin1Char(' '))),
                "VBOX_E_OBJECT_IN_USE", "MediumWrap", "IMedium",
                QStringLiteral("DeleteStorage(pProgress.asOutParam())"), fileDisk);
            m_out.error(QStringLiteral("Failed to delete medium. Error code VBOX_E_OBJECT_IN_USE"));
        }
        return m_out.apiError(
            QStringLiteral("Medium '%1' cannot be closed because it is still attached to %2 virtual "
                           "machines")
                .arg(path)
                .arg(users.size()),
            "VBOX_E_OBJECT_IN_USE", "MediumWrap", "IMedium", QStringLiteral("Close()"), fileDisk);
    }
    if (del) {
        if (!QFile::remove(path)) {
            m_out.progress(0, "VBOX_E_FILE_ERROR");
            m_out.error(QStringLiteral("Failed to delete medium. Error code VBOX_E_FILE_ERROR"));
            return ToolOutput::Failure;
        }
        m_out.progress();
    }
    m_store.media.removeAt(mi);
    return saveStore() ? ToolOutput::Success : ToolOutput::Failure;
}

// ---- guest properties and extradata -------------------------------------------------------------------

int VBoxCommands::guestProperty(const QStringList &a)
{
    const CommandUsage use = usage("guestproperty");
    const QString sub = a.first();
    const QStringList args = a.mid(1);
    if (sub == QLatin1String("get")) {
        const bool verbose = args.size() == 3 && (args.at(2) == QLatin1String("--verbose") ||
                                                  args.at(2) == QLatin1String("-verbose"));
        if (args.size() != 2 && !verbose)
            return m_out.syntaxError(use, QStringLiteral("Incorrect parameters"), false, 2, true);
        const int index = findMachine(args.at(0), fileGuestProp);
        if (index < 0)
            return ToolOutput::Failure;
        const QJsonObject prop = m_store.machines.at(index).guestProperties.value(args.at(1)).toObject();
        const QString value = prop.value("value").toString();
        if (value.isEmpty()) {
            m_out.print(QStringLiteral("No value set!\n"));
        } else {
            m_out.print(QStringLiteral("Value: %1\n").arg(value));
            if (verbose) {
                m_out.print(QStringLiteral("Timestamp: %1\n").arg(prop.value("timestamp").toString()));
                m_out.print(QStringLiteral("Flags: %1\n").arg(prop.value("flags").toString()));
            }
        }
        return ToolOutput::Success;
    }
    if (sub == QLatin1String("set") || sub == QLatin1String("unset") || sub == QLatin1String("delete")) {
        const bool set = sub == QLatin1String("set");
        QString flags;
        bool countOk = set ? (args.size() == 2 || args.size() == 3) : args.size() == 2;
        if (set && args.size() == 5 &&
            (args.at(3) == QLatin1String("--flags") || args.at(3) == QLatin1String("-flags"))) {
            flags = args.at(4);
            countOk = true;
        }
        if (!countOk)
            return m_out.syntaxError(use, QStringLiteral("Incorrect parameters"), false, 2, true);
        const int index = findMachine(args.at(0), fileGuestProp);
        if (index < 0)
            return ToolOutput::Failure;
        VBoxMachine m = m_store.machines.at(index);
        const QString name = args.at(1);
        const QString context =
            set ? QStringLiteral("SetGuestProperty(Bstr(pszName).raw(), Bstr(pszValue).raw(), "
                                 "Bstr(pszFlags).raw())")
                : QStringLiteral("DeleteGuestProperty(Bstr(pszName).raw())");
        if (name.contains(QRegularExpression("[*?|]"))) {
            return m_out.apiError(QStringLiteral("Invalid guest property name '%1'").arg(name),
                                  "NS_ERROR_INVALID_ARG", "SessionMachine", "IMachine", context,
                                  fileGuestProp);
        }
        static const QStringList knownFlags = {"NONE",        "TRANSIENT",  "TRANSRESET",
                                               "RDONLYGUEST", "RDONLYHOST", "READONLY"};
        for (const QString &flag : flags.split(QRegularExpression("[,\\s]+"), Qt::SkipEmptyParts)) {
            if (!knownFlags.contains(flag.toUpper())) {
                return m_out.apiError(QStringLiteral("Invalid guest property flag values: '%1'").arg(flags),
                                      "NS_ERROR_INVALID_ARG", "SessionMachine", "IMachine", context,
                                      fileGuestProp);
            }
        }
        const QString oldFlags = m.guestProperties.value(name).toObject().value("flags").toString().toUpper();
        if (oldFlags.contains("RDONLYHOST") || oldFlags.contains("READONLY")) {
            return m_out.apiError(QStringLiteral("The property '%1' cannot be changed by the host").arg(name),
                                  "E_ACCESSDENIED", "SessionMachine", "IMachine", context, fileGuestProp);
        }
        if (set) {
            m.guestProperties.insert(name, QJsonObject{{"value", args.size() >= 3 ? args.at(2) : QString()},
                                                       {"timestamp", nowNanoseconds()},
                                                       {"flags", flags.toUpper()}});
        } else {
            m.guestProperties.remove(name);
        }
        if (!saveMachine(m))
            return ToolOutput::Failure;
        m_store.machines[index] = m;
        return ToolOutput::Success;
    }
    if (sub == QLatin1String("enumerate") || sub == QLatin1String("enum")) {
        bool oldFormat = m_host.toolVersion().startsWith(QLatin1String("6.")), timestamps = true,
             showFlags = true, relative = false;
        QString vm;
        QStringList patterns;
        for (int i = 0; i < args.size(); ++i) {
            const QString &arg = args.at(i);
            if (arg == QLatin1String("--old-format"))
                oldFormat = true;
            else if (arg == QLatin1String("--no-timestamp"))
                timestamps = false;
            else if (arg == QLatin1String("--timestamp") || arg == QLatin1String("--absolute"))
                timestamps = true, relative = arg == QLatin1String("--absolute") ? false : relative;
            else if (arg == QLatin1String("--relative"))
                relative = true;
            else if (arg == QLatin1String("--no-flags"))
                showFlags = false;
            else if (arg == QLatin1String("--flags") || arg == QLatin1String("--sort") ||
                     arg == QLatin1String("--unsort"))
                continue;
            else if ((arg == QLatin1String("--patterns") || arg == QLatin1String("-patterns")) &&
                     i + 1 < args.size())
                patterns += args.at(++i).split(QLatin1Char('|'));
            else if (arg.startsWith(QLatin1Char('-')))
                return m_out.syntaxError(use, QStringLiteral("Unknown option: %1").arg(arg), true, 2, true);
            else if (vm.isEmpty())
                vm = arg;
            else
                patterns += arg.split(QLatin1Char('|'));
        }
        if (vm.isEmpty())
            return m_out.syntaxError(use, QStringLiteral("No VM name or UUID was specified"), false, 2, true);
        const int index = findMachine(vm, fileGuestProp);
        if (index < 0)
            return ToolOutput::Failure;
        const QJsonObject props = m_store.machines.at(index).guestProperties;
        QStringList names;
        for (auto it = props.constBegin(); it != props.constEnd(); ++it) {
            bool match = patterns.isEmpty();
            for (const QString &p : patterns)
                match = match || VBoxFaults::wildcardMatch(p, it.key());
            if (match)
                names.append(it.key());
        }
        std::sort(names.begin(), names.end());
        if (names.isEmpty()) {
            m_out.print(QStringLiteral("No properties found.\n"));
            return ToolOutput::Success;
        }
        int width = 1, valueWidth = 1;
        for (const QString &name : names) {
            width = qMax(width, qMin(48, int(name.size())));
            valueWidth = qMax(valueWidth,
                              qMin(28, int(props.value(name).toObject().value("value").toString().size())));
        }
        const qint64 nowMs = QDateTime::currentMSecsSinceEpoch();
        for (const QString &name : names) {
            const QJsonObject p = props.value(name).toObject();
            const QString value = p.value("value").toString();
            const QString stamp = p.value("timestamp").toString();
            const QString propFlags = p.value("flags").toString();
            if (oldFormat) {
                m_out.print(QStringLiteral("Name: %1, value: %2, timestamp: %3, flags: %4\n")
                                .arg(name, value, stamp, propFlags));
                continue;
            }
            QString line = name.leftJustified(width) + QStringLiteral(" = '") + value + QLatin1Char('\'');
            if (timestamps || (showFlags && !propFlags.isEmpty())) {
                // The timestamp column follows the longest value, with at least one blank before it.
                const int column = width + valueWidth + 6;
                if (line.size() < column)
                    line = line.leftJustified(column);
                else
                    line += QLatin1Char(' ');
                if (timestamps) {
                    const qint64 ms = stamp.toLongLong() / 1000000;
                    line += QStringLiteral("@ ") +
                            (relative ? QStringLiteral("%1ms ago").arg(nowMs - ms)
                                      : QDateTime::fromMSecsSinceEpoch(ms, Qt::UTC)
                                                .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")) +
                                            QLatin1Char('Z'));
                }
                if (showFlags && !propFlags.isEmpty())
                    line += (timestamps ? QStringLiteral(" ") : QString()) + propFlags;
            }
            m_out.print(line + QLatin1Char('\n'));
        }
        return ToolOutput::Success;
    }
    if (sub == QLatin1String("wait")) {
        m_out.error(QStringLiteral("Time out or interruption while waiting for a notification."));
        return ToolOutput::Failure;
    }
    return m_out.syntaxError(use, QStringLiteral("Unknown subcommand: %1").arg(sub), false, 2, true);
}

int VBoxCommands::setExtraData(const QStringList &a)
{
    const CommandUsage use = usage("setextradata");
    if (a.size() < 2)
        return m_out.syntaxError(use, QStringLiteral("Not enough parameters"));
    const bool global = a.first() == QLatin1String("global");
    int index = -1;
    if (!global) {
        index = findMachine(a.first(), fileMisc);
        if (index < 0)
            return ToolOutput::Failure;
    }
    if (a.size() > 3)
        return m_out.syntaxError(use, QStringLiteral("Too many parameters"));
    const QString value = a.size() == 3 ? a.at(2) : QString();
    if (global) {
        if (value.isEmpty())
            m_store.globalExtraData.remove(a.at(1));
        else
            m_store.globalExtraData.insert(a.at(1), value);
        return saveStore() ? ToolOutput::Success : ToolOutput::Failure;
    }
    VBoxMachine m = m_store.machines.at(index);
    if (value.isEmpty())
        m.extraData.remove(a.at(1));
    else
        m.extraData.insert(a.at(1), value);
    if (!saveMachine(m))
        return ToolOutput::Failure;
    m_store.machines[index] = m;
    return ToolOutput::Success;
}

int VBoxCommands::getExtraData(const QStringList &a)
{
    if (a.size() > 2)
        return m_out.syntaxError(usage("getextradata"), QStringLiteral("Incorrect number of parameters"));
    QJsonObject data;
    if (a.first() == QLatin1String("global")) {
        data = m_store.globalExtraData;
    } else {
        const int index = findMachine(a.first(), fileMisc);
        if (index < 0)
            return ToolOutput::Failure;
        data = m_store.machines.at(index).extraData;
    }
    if (a.size() == 1 || a.at(1) == QLatin1String("enumerate")) {
        QStringList keys = data.keys();
        std::sort(keys.begin(), keys.end(),
                  [](const QString &x, const QString &y) { return x.toUtf8() < y.toUtf8(); });
        for (const QString &key : keys)
            m_out.print(QStringLiteral("Key: %1, Value: %2\n").arg(key, data.value(key).toString()));
        return ToolOutput::Success;
    }
    const QString value = data.value(a.at(1)).toString();
    m_out.print(value.isEmpty() ? QStringLiteral("No value set!\n")
                                : QStringLiteral("Value: %1\n").arg(value));
    return ToolOutput::Success;
}

// ---- shared folders -----------------------------------------------------------------------------------

int VBoxCommands::sharedFolder(const QStringList &a)
{
    const CommandUsage use = usage("sharedfolder");
    const QString sub = a.first();
    const bool add = sub == QLatin1String("add");
    if (!add && sub != QLatin1String("remove"))
        return m_out.syntaxError(use, QStringLiteral("Unknown subcommand: %1").arg(sub), false, 2, true);
    enum
    {
        Name = 1,
        HostPath,
        ReadOnly,
        Transient,
        AutoMount,
        MountPoint
    };
    QList<OptionDef> defs = {{Name, {"--name", "-name"}, true}, {Transient, {"--transient", "-transient"}}};
    if (add) {
        defs += {{HostPath, {"--hostpath", "-hostpath"}, true},
                 {ReadOnly, {"--readonly", "-readonly"}},
                 {AutoMount, {"--automount", "-automount"}},
                 {MountPoint, {"--auto-mount-point"}, true}};
    }
    ParseFailure failure;
    const QList<ParsedOption> items = OptionParser(defs).parse(a.mid(1), &failure);
    if (failure.kind != ParseFailure::None)
        return m_out.syntaxError(use, failure.message(), true, 2, true);
    QString vm, name, hostPath, mountPoint;
    bool readOnly = false, transient = false, autoMount = false;
    for (const ParsedOption &o : items) {
        switch (o.id) {
        case 0:
            if (!vm.isEmpty()) {
                m_out.error(QStringLiteral("Machine name is given more than once: first '%1', then '%2'")
                                .arg(vm, o.value));
                return ToolOutput::Syntax;
            }
            vm = o.value;
            break;
        case Name:
            name = o.value;
            break;
        case HostPath:
            hostPath = o.value;
            break;
        case ReadOnly:
            readOnly = true;
            break;
        case Transient:
            transient = true;
            break;
        case AutoMount:
            autoMount = true;
            break;
        case MountPoint:
            mountPoint = o.value;
            break;
        }
    }
    if (vm.isEmpty())
        return m_out.syntaxError(use, QStringLiteral("No machine was specified"), false, 2, true);
    if (name.isEmpty())
        return m_out.syntaxError(use, QStringLiteral("No shared folder name (--name) was given"), false, 2,
                                 true);
    if (name.contains(QLatin1Char(' ')))
        return m_out.syntaxError(
            use, QStringLiteral("Invalid shared folder name '%1': contains space").arg(name), false, 2, true);
    if (name.contains(QLatin1Char('\t')))
        return m_out.syntaxError(
            use, QStringLiteral("Invalid shared folder name '%1': contains tabs").arg(name), false, 2, true);
    if (name.contains(QLatin1Char('\n')) || name.contains(QLatin1Char('\r')))
        return m_out.syntaxError(
            use, QStringLiteral("Invalid shared folder name '%1': contains newline").arg(name), false, 2,
            true);
    if (add && hostPath.isEmpty())
        return m_out.syntaxError(use, QStringLiteral("No host path (--hostpath) was given"), false, 2, true);
    QString absHost = add ? absolutePath(hostPath) : QString();
    while (absHost.size() > 1 && absHost.endsWith(QLatin1Char('/')))
        absHost.chop(1);
    const int index = findMachine(vm, fileMisc);
    if (index < 0)
        return ToolOutput::Failure;
    VBoxMachine m = m_store.machines.at(index);
    if (transient && !m.hasSession())
        return notRunning(vm);
    if (!transient && m.hasSession())
        return lockedForSession(m, fileMisc);
    int existing = -1;
    for (int i = 0; i < m.sharedFolders.size(); ++i) {
        const QJsonObject f = m.sharedFolders.at(i).toObject();
        if (f.value("name").toString() == name && f.value("transient").toBool() == transient)
            existing = i;
    }
    if (add) {
        const QString ctx =
            QStringLiteral("CreateSharedFolder(Bstr(pszName).raw(), Bstr(szAbsHostPath).raw(), "
                           "fWritable, fAutoMount, Bstr(pszAutoMountPoint).raw())");
        if (existing >= 0) {
            return m_out.apiError(QStringLiteral("Shared folder named '%1' already exists").arg(name),
                                  "VBOX_E_OBJECT_IN_USE", "SessionMachine", "IMachine", ctx, fileMisc);
        }
        const QFileInfo info(absHost);
        if (!info.exists()) {
            return m_out.apiError(
                QStringLiteral("RTPathQueryInfo failed on shared folder path '%1': VERR_FILE_NOT_FOUND")
                    .arg(absHost),
                "NS_ERROR_INVALID_ARG", "SessionMachine", "IMachine", ctx, fileMisc);
        }
        if (!info.isDir()) {
            return m_out.apiError(QStringLiteral("Shared folder path '%1' is not a directory").arg(absHost),
                                  "NS_ERROR_INVALID_ARG", "SessionMachine", "IMachine", ctx, fileMisc);
        }
        m.sharedFolders.append(QJsonObject{{"name", name},
                                           {"hostPath", absHost},
                                           {"writable", !readOnly},
                                           {"autoMount", autoMount},
                                           {"mountPoint", mountPoint},
                                           {"transient", transient}});
    } else {
        if (existing < 0) {
            return m_out.apiError(QStringLiteral("Could not find a shared folder named '%1'").arg(name),
                                  "VBOX_E_OBJECT_NOT_FOUND", "SessionMachine", "IMachine",
                                  QStringLiteral("RemoveSharedFolder(Bstr(pszName).raw())"), fileMisc);
        }
        m.sharedFolders.removeAt(existing);
    }
    if (!saveMachine(m))
        return ToolOutput::Failure;
    m_store.machines[index] = m;
    return ToolOutput::Success;
}

// ---- power --------------------------------------------------------------------------------------------

int VBoxCommands::startVm(const QStringList &a)
{
    const CommandUsage use = usage("startvm");
    QString type = QStringLiteral("gui");
    QStringList vms;
    for (int i = 0; i < a.size(); ++i) {
        const QString &arg = a.at(i);
        if (arg == QLatin1String("--type") || arg == QLatin1String("-type") ||
            arg == QLatin1String("--putenv") || arg == QLatin1String("-E")) {
            if (i + 1 >= a.size())
                return m_out.syntaxError(
                    use, arg + QStringLiteral(": RTGetOpt: Command line option needs argument."), true);
            if (arg.endsWith(QLatin1String("type")))
                type = a.at(i + 1);
            ++i;
        } else if (arg.startsWith(QLatin1String("--type=")) || arg.startsWith(QLatin1String("--type:"))) {
            type = arg.mid(7);
        } else if (arg.startsWith(QLatin1Char('-'))) {
            return m_out.syntaxError(use, QStringLiteral("unknown option: %1").arg(arg));
        } else {
            vms.append(arg);
        }
    }
    if (vms.isEmpty())
        return m_out.syntaxError(use, QStringLiteral("at least one VM name or uuid required"));
    static const QStringList caseless = {"gui", "headless", "sdl", "capture"};
    if (caseless.contains(type.toLower()))
        type = type.toLower();
    const QString launchCtx = QStringLiteral("LaunchVMProcess(a->session, sessionType.raw(), "
                                             "ComSafeArrayAsInParam(aBstrEnv), progress.asOutParam())");
    int result = ToolOutput::Success;
    for (const QString &vm : vms) {
        const int index = findMachine(vm, fileMisc);
        if (index < 0) {
            result = ToolOutput::Failure;
            continue;
        }
        VBoxMachine m = m_store.machines.at(index);
        if (type == QLatin1String("emergencystop")) {
            if (!m.hasSession()) {
                m_out.apiError(QStringLiteral("The machine '%1' is not locked by a session").arg(m.name()),
                               "VBOX_E_INVALID_OBJECT_STATE", "MachineWrap", "IMachine", launchCtx, fileMisc);
                result = ToolOutput::Failure;
                continue;
            }
            m.setState("aborted");
        } else {
            if (!caseless.contains(type) && type != QLatin1String("separate")) {
                m_out.apiError(QStringLiteral("Invalid frontend name: '%1'").arg(type),
                               "NS_ERROR_INVALID_ARG", "MachineWrap", "IMachine", launchCtx, fileMisc);
                result = ToolOutput::Failure;
                continue;
            }
            if (m.hasSession()) {
                m_out.apiError(
                    QStringLiteral("The machine '%1' is already locked by a session (or being locked or "
                                   "unlocked)")
                        .arg(m.name()),
                    "VBOX_E_INVALID_OBJECT_STATE", "MachineWrap", "IMachine", launchCtx, fileMisc);
                result = ToolOutput::Failure;
                continue;
            }
            m_out.print(QStringLiteral("Waiting for VM \"%1\" to power on...\n").arg(vm));
            QString missing;
            for (const QJsonValue &v : m.attachments) {
                const QString uuid = v.toObject().value("medium").toString();
                if (!uuid.isEmpty() && !QFileInfo(mediumPath(uuid)).isFile())
                    missing = mediumPath(uuid);
            }
            if (!missing.isEmpty()) {
                m_out.apiError(
                    QStringLiteral("Could not open the medium '%1'.\nVD: error VERR_FILE_NOT_FOUND opening "
                                   "image file '%1' (VERR_FILE_NOT_FOUND)")
                        .arg(missing),
                    "VBOX_E_FILE_ERROR", "MediumWrap", "IMedium", QString(), fileMisc);
                result = ToolOutput::Failure;
                continue;
            }
            if (!m.str("VMStateFile").isEmpty()) {
                QFile::remove(m.str("VMStateFile"));
                m.settings.remove("VMStateFile");
            }
            m.setState("running");
            m.set("SessionName", type);
            writeVmLog(m);
            m_out.print(QStringLiteral("VM \"%1\" has been successfully started.\n").arg(vm));
        }
        if (!saveMachine(m))
            return ToolOutput::Failure;
        m_store.machines[index] = m;
    }
    return result;
}

int VBoxCommands::controlVm(const QStringList &a)
{
    if (a.size() < 2)
        return m_out.syntaxError(usage("controlvm"), QStringLiteral("Not enough parameters."));
    const int index = findMachine(a.first(), fileControl);
    if (index < 0)
        return ToolOutput::Failure;
    VBoxMachine m = m_store.machines.at(index);
    if (!m.hasSession())
        return notRunning(a.first());
    const QString sub = a.at(1);
    if (sub == QLatin1String("poweroff") || sub == QLatin1String("acpipowerbutton")) {
        if (sub == QLatin1String("poweroff"))
            m_out.progress();
        m.setState("poweroff");
        QJsonArray kept;
        for (const QJsonValue &v : m.sharedFolders) {
            if (!v.toObject().value("transient").toBool())
                kept.append(v);
        }
        m.sharedFolders = kept;
    } else if (sub == QLatin1String("pause")) {
        m.setState("paused");
    } else if (sub == QLatin1String("resume")) {
        m.setState("running");
    } else if (sub == QLatin1String("reset")) {
        writeVmLog(m);
    } else if (sub == QLatin1String("savestate")) {
        m_out.progress();
        const QString snapshots = m.machineDir() + QStringLiteral("/Snapshots");
        QDir().mkpath(snapshots);
        const QString file =
            snapshots + QLatin1Char('/') +
            QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddTHH-mm-ss-zzzZ")) +
            QStringLiteral(".sav");
        QFile sav(file);
        if (sav.open(QIODevice::WriteOnly))
            sav.write("saved state\n");
        m.set("VMStateFile", file);
        m.setState("saved");
    } else {
        return m_out.syntaxError(usage("controlvm"), QStringLiteral("Invalid parameter '%1'.").arg(sub),
                                 false, 1);
    }
    if (!saveMachine(m))
        return ToolOutput::Failure;
    m_store.machines[index] = m;
    return ToolOutput::Success;
}

int VBoxCommands::discardState(const QStringList &a)
{
    if (a.size() != 1)
        return m_out.syntaxError(usage("discardstate"), QStringLiteral("Incorrect number of parameters"));
    const int index = findMachine(a.first(), fileMisc);
    if (index < 0)
        return ToolOutput::Failure;
    VBoxMachine m = m_store.machines.at(index);
    if (m.hasSession())
        return lockedForSession(m, fileMisc);
    if (m.state() != QLatin1String("saved") && m.state() != QLatin1String("aborted-saved")) {
        return m_out.apiError(
            QStringLiteral("Cannot discard the saved state as the machine is not in the Saved or "
                           "Aborted-Saved state (machine state: %1)")
                .arg(VBoxMachine::stateLongName(m.state())),
            "VBOX_E_INVALID_VM_STATE", "SessionMachine", "IMachine",
            QStringLiteral("DiscardSavedState(true /* fDeleteFile */)"), fileMisc);
    }
    if (!m.str("VMStateFile").isEmpty())
        QFile::remove(m.str("VMStateFile"));
    m.settings.remove("VMStateFile");
    m.setState("poweroff");
    if (!saveMachine(m))
        return ToolOutput::Failure;
    m_store.machines[index] = m;
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

// ---- clone, export, import ----------------------------------------------------------------------------

int VBoxCommands::cloneVm(const QStringList &a)
{
    const CommandUsage use = usage("clonevm");
    enum
    {
        Name = 1,
        Register,
        BaseFolder,
        Groups,
        Mode,
        Options,
        Snapshot,
        Uuid
    };
    ParseFailure failure;
    const QList<ParsedOption> items = OptionParser({{Name, {"--name", "-name"}, true},
                                                    {Register, {"--register", "-register"}},
                                                    {BaseFolder, {"--basefolder", "-basefolder"}, true},
                                                    {Groups, {"--groups"}, true},
                                                    {Mode, {"--mode", "-mode"}, true},
                                                    {Options, {"--options", "-options"}, true},
                                                    {Snapshot, {"--snapshot", "-snapshot"}, true},
                                                    {Uuid, {"--uuid", "-uuid"}, true}})
                                          .parse(a, &failure);
    if (failure.kind != ParseFailure::None)
        return m_out.syntaxError(use, failure.message(), true);
    QString vm, name, base, uuid;
    QStringList options;
    bool doRegister = false;
    for (const ParsedOption &o : items) {
        switch (o.id) {
        case 0:
            if (!vm.isEmpty())
                return m_out.syntaxError(use, QStringLiteral("Invalid parameter '%1'").arg(o.value));
            vm = o.value;
            break;
        case Name:
            name = o.value;
            break;
        case Register:
            doRegister = true;
            break;
        case BaseFolder:
            base = o.value;
            break;
        case Uuid:
            uuid = SimDisk::normalisedUuid(o.value);
            break;
        case Mode:
            if (!QStringList{"machine", "machineandchildren", "all"}.contains(o.value.toLower())) {
                m_out.error(QStringLiteral("Invalid clone mode '%1'").arg(o.value));
                return ToolOutput::Syntax;
            }
            break;
        case Options:
            options = o.value.toLower().split(QLatin1Char(','), Qt::SkipEmptyParts);
            for (const QString &opt : options) {
                if (!QStringList{"link", "keepallmacs", "keepnatmacs", "keepdisknames", "keephwuuids"}
                         .contains(opt)) {
                    m_out.error(QStringLiteral("Invalid clone options '%1'").arg(o.value));
                    return ToolOutput::Syntax;
                }
            }
            break;
        default:
            break;
        }
    }
    if (vm.isEmpty())
        return m_out.syntaxError(use, QStringLiteral("VM name required"));
    const int index = findMachine(vm, fileMisc);
    if (index < 0)
        return ToolOutput::Failure;
    const VBoxMachine source = m_store.machines.at(index);
    if (name.isEmpty())
        name = vm + QStringLiteral(" Clone");
    const QString fileName = sanitiseName(name);
    const QString dir =
        QDir::cleanPath((base.isEmpty() ? m_store.machineFolder : absolutePath(base)) + "/" + fileName);
    const QString settingsFile = dir + QLatin1Char('/') + fileName + QStringLiteral(".vbox");
    if (QFile::exists(settingsFile)) {
        return m_out.apiError(
            QStringLiteral("Machine settings file '%1' already exists").arg(settingsFile),
            "VBOX_E_FILE_ERROR", "MachineWrap", "IMachine",
            QStringLiteral("CreateMachine(Bstr(strSettingsFile).raw(), Bstr(pszTrgName).raw(), "
                           "enmPlatformArch, ComSafeArrayAsInParam(groups), NULL, "
                           "Bstr(strCreateFlags).raw(), NULL, NULL, NULL, trgMachine.asOutParam())"),
            fileMisc);
    }
    VBoxMachine clone = source;
    clone.uuid = uuid.isEmpty() ? SimDisk::newUuid() : uuid;
    clone.settingsFile = settingsFile;
    clone.accessible = true;
    clone.set("name", name);
    if (!options.contains("keephwuuids"))
        clone.set("hardwareuuid", clone.uuid);
    clone.settings.remove("VMStateFile");
    clone.setState("poweroff");
    for (int n = 1; n <= clone.nicCount(); ++n) {
        const bool nat = clone.str(QStringLiteral("nic%1").arg(n)) == QLatin1String("nat");
        if (!options.contains("keepallmacs") && !(nat && options.contains("keepnatmacs")))
            clone.set(QStringLiteral("macaddress%1").arg(n), VBoxMachine::randomMac());
    }
    QDir().mkpath(dir);
    int diskNumber = 0;
    QList<VBoxMedium> newMedia;
    for (int i = 0; i < clone.attachments.size(); ++i) {
        QJsonObject att = clone.attachments.at(i).toObject();
        if (att.value("type").toString() != QLatin1String("hdd") || att.value("medium").toString().isEmpty())
            continue;
        const QString srcPath = mediumPath(att.value("medium").toString());
        const QFileInfo src(srcPath);
        const QString newUuid = SimDisk::newUuid();
        QString target;
        if (options.contains("keepdisknames"))
            target = src.fileName();
        else if (src.completeBaseName() == source.name())
            target = name + "." + src.suffix();
        else if (SimDisk::isUuid(src.completeBaseName()))
            target = "{" + newUuid + "}." + src.suffix();
        else
            target = QStringLiteral("%1-disk%2.%3").arg(name).arg(++diskNumber).arg(src.suffix());
        target = dir + QLatin1Char('/') + target;
        if (!SimDisk::copyWithUuid(srcPath, target, newUuid)) {
            m_out.progress(0, "VBOX_E_FILE_ERROR");
            m_out.error(QStringLiteral("Clone VM failed"));
            return m_out.apiError(
                QStringLiteral("Could not copy the medium '%1' to '%2' (VERR_FILE_NOT_FOUND)")
                    .arg(srcPath, target),
                "VBOX_E_FILE_ERROR", "MediumWrap", "IMedium",
                QStringLiteral("RTEXITCODE handleCloneVM(HandlerArg*)"), fileMisc);
        }
        att.insert("medium", newUuid);
        clone.attachments[i] = att;
        newMedia.append({newUuid, target, QStringLiteral("HardDisk")});
    }
    m_out.progress();
    m_store.media += newMedia; // so the clone's settings file records its disks' locations
    const bool saved = saveMachine(clone);
    if (!doRegister)
        m_store.media = m_store.media.mid(0, m_store.media.size() - newMedia.size());
    if (!saved)
        return ToolOutput::Failure;
    if (doRegister) {
        m_store.machines.append(clone);
        if (!saveStore())
            return ToolOutput::Failure;
    }
    m_out.print(QStringLiteral("Machine has been successfully cloned as \"%1\"\n").arg(name));
    return ToolOutput::Success;
}

int VBoxCommands::exportAppliance(const QStringList &a)
{
    const CommandUsage use = usage("export");
    QStringList vms;
    QString output;
    static const QStringList flagOptions = {"--ovf09", "--legacy09", "--ovf10", "--ovf20",
                                            "--opc10", "--manifest", "--iso",   "--dry-run"};
    static const QStringList valueOptions = {"--options",     "--vsys",   "--vmname",    "--product",
                                             "--producturl",  "--vendor", "--vendorurl", "--version",
                                             "--description", "--eula",   "--eulafile"};
    for (int i = 0; i < a.size(); ++i) {
        const QString &arg = a.at(i);
        if (arg == QLatin1String("--output") || arg == QLatin1String("-o")) {
            if (i + 1 >= a.size())
                return m_out.syntaxError(
                    use, arg + QStringLiteral(": RTGetOpt: Command line option needs argument."), true);
            if (!output.isEmpty())
                return m_out.syntaxError(use, QStringLiteral("You can only specify --output once."));
            output = a.at(++i);
        } else if (flagOptions.contains(arg)) {
            continue;
        } else if (valueOptions.contains(arg)) {
            ++i;
        } else if (arg.startsWith(QLatin1Char('-'))) {
            return m_out.syntaxError(use, QStringLiteral("unknown option: %1").arg(arg));
        } else {
            vms.append(arg);
        }
    }
    if (vms.isEmpty())
        return m_out.syntaxError(
            use, QStringLiteral("At least one machine must be specified with the export command."));
    if (output.isEmpty())
        return m_out.syntaxError(use, QStringLiteral("Missing --output argument with export command."));
    QList<int> indexes;
    for (const QString &vm : vms) {
        const int index = findMachine(vm, fileAppliance);
        if (index < 0)
            return ToolOutput::Failure;
        indexes.append(index);
    }
    const QString path = absolutePath(output);
    const QString suffix = QFileInfo(path).suffix().toLower();
    const QString writeCtx = QStringLiteral("Write(Bstr(strOvfFormat).raw(), ComSafeArrayAsInParam(options), "
                                            "Bstr(strOutputFile).raw(), progress.asOutParam())");
    if (suffix != QLatin1String("ova") && suffix != QLatin1String("ovf")) {
        return m_out.apiError(QStringLiteral("Appliance file must have .ovf or .ova extension"),
                              "VBOX_E_FILE_ERROR", "ApplianceWrap", "IAppliance", writeCtx, fileAppliance);
    }
    if (QFileInfo::exists(path)) {
        m_out.progress(0, "VBOX_E_FILE_ERROR");
        m_out.error(QStringLiteral("Appliance write failed"));
        return m_out.apiError(
            QStringLiteral("Failed to open '%1' for writing (VERR_ALREADY_EXISTS)").arg(path),
            "VBOX_E_FILE_ERROR", "ApplianceWrap", "IAppliance",
            QStringLiteral("RTEXITCODE handleExportAppliance(HandlerArg*)"), fileAppliance);
    }
    // The descriptor is this stand-in's own JSON form of the machines; the disks follow as separate entries.
    const QString baseName = QFileInfo(path).completeBaseName();
    QList<TarArchive::Entry> entries;
    QJsonArray systems;
    int diskNumber = 0;
    for (int index : indexes) {
        const VBoxMachine &m = m_store.machines.at(index);
        QJsonObject system = m.toJson();
        QJsonArray disks;
        for (const QJsonValue &v : m.attachments) {
            const QJsonObject att = v.toObject();
            if (att.value("type").toString() != QLatin1String("hdd") ||
                att.value("medium").toString().isEmpty())
                continue;
            QFile disk(mediumPath(att.value("medium").toString()));
            if (!disk.open(QIODevice::ReadOnly)) {
                m_out.progress(0, "VBOX_E_FILE_ERROR");
                m_out.error(QStringLiteral("Appliance write failed"));
                return m_out.apiError(QStringLiteral("Could not open the medium '%1'").arg(disk.fileName()),
                                      "VBOX_E_FILE_ERROR", "ApplianceWrap", "IAppliance",
                                      QStringLiteral("RTEXITCODE handleExportAppliance(HandlerArg*)"),
                                      fileAppliance);
            }
            const QString file =
                QStringLiteral("%1-disk%2.vmdk").arg(baseName).arg(++diskNumber, 3, 10, QLatin1Char('0'));
            entries.append({file, disk.readAll()});
            QJsonObject d = att;
            d.insert("file", file);
            disks.append(d);
        }
        system.insert("disks", disks);
        systems.append(system);
    }
    entries.prepend({baseName + ".ovf", QJsonDocument(QJsonObject{{"virtualSystems", systems}}).toJson()});
    bool ok = true;
    if (suffix == QLatin1String("ova")) {
        ok = TarArchive::write(path, entries);
    } else {
        const QDir dir = QFileInfo(path).absoluteDir();
        for (const TarArchive::Entry &entry : entries) {
            QFile f(dir.filePath(entry.name));
            ok = ok && f.open(QIODevice::WriteOnly) && f.write(entry.data) == entry.data.size();
        }
    }
    if (!ok) {
        m_out.progress(0, "VBOX_E_FILE_ERROR");
        m_out.error(QStringLiteral("Appliance write failed"));
        return m_out.apiError(
            QStringLiteral("Failed to open '%1' for writing (VERR_ACCESS_DENIED)").arg(path),
            "VBOX_E_FILE_ERROR", "ApplianceWrap", "IAppliance",
            QStringLiteral("RTEXITCODE handleExportAppliance(HandlerArg*)"), fileAppliance);
    }
    m_out.progress();
    m_out.print(QStringLiteral("Successfully exported %1 machine(s).\n").arg(indexes.size()));
    return ToolOutput::Success;
}

int VBoxCommands::importAppliance(const QStringList &a)
{
    const CommandUsage use = usage("import");
    QString file, vmName, osType, baseFolder, cpus, memory;
    bool dryRun = false, haveVsys = false;
    int vsys = 0;
    static const QStringList perSystem = {
        "--vmname", "-vmname",  "--ostype", "-ostype",       "--basefolder", "--group", "--settingsfile",
        "--cpus",   "--memory", "-memory",  "--description", "--eula",       "-eula"};
    for (int i = 0; i < a.size(); ++i) {
        const QString &arg = a.at(i);
        if (arg == QLatin1String("--dry-run") || arg == QLatin1String("-dry-run") ||
            arg == QLatin1String("--dryrun") || arg == QLatin1String("-n")) {
            dryRun = true;
        } else if (arg == QLatin1String("--vsys") || arg == QLatin1String("-vsys") ||
                   arg == QLatin1String("--options") || perSystem.contains(arg) ||
                   arg == QLatin1String("--unit") || arg == QLatin1String("-unit") ||
                   arg == QLatin1String("--disk")) {
            if (i + 1 >= a.size())
                return m_out.syntaxError(
                    use, arg + QStringLiteral(": RTGetOpt: Command line option needs argument."), true);
            const QString value = a.at(++i);
            if (arg.endsWith(QLatin1String("vsys"))) {
                haveVsys = true;
                vsys = value.toInt();
            } else if (arg == QLatin1String("--options")) {
                continue;
            } else if (!haveVsys) {
                const bool unit = arg.endsWith(QLatin1String("unit")) || arg == QLatin1String("--disk");
                return m_out.syntaxError(
                    use, unit ? QStringLiteral("Option \"%1\" requires preceding --vsys option.").arg(arg)
                              : QStringLiteral("Option \"%1\" requires preceding --vsys or --cloud "
                                               "option.")
                                    .arg(arg));
            } else if (arg.endsWith(QLatin1String("vmname"))) {
                vmName = value;
            } else if (arg.endsWith(QLatin1String("ostype"))) {
                osType = value;
            } else if (arg == QLatin1String("--basefolder")) {
                baseFolder = value;
            } else if (arg == QLatin1String("--cpus")) {
                cpus = value;
            } else if (arg.endsWith(QLatin1String("memory"))) {
                memory = value;
            }
        } else if (arg == QLatin1String("--ignore") || arg == QLatin1String("-ignore")) {
            if (!haveVsys)
                return m_out.syntaxError(
                    use, QStringLiteral("Option \"%1\" requires preceding --vsys option.").arg(arg));
        } else if (arg.startsWith(QLatin1Char('-'))) {
            return m_out.syntaxError(use, QStringLiteral("unknown option: %1").arg(arg));
        } else if (file.isEmpty()) {
            file = arg;
        } else {
            return m_out.syntaxError(use, QStringLiteral("Invalid parameter '%1'").arg(arg));
        }
    }
    if (file.isEmpty())
        return m_out.syntaxError(use, QStringLiteral("Not enough arguments for \"import\" command."));
    const QString path = absolutePath(file);
    QList<TarArchive::Entry> entries;
    bool readOk = false;
    if (QFileInfo(path).suffix().toLower() == QLatin1String("ova")) {
        readOk = TarArchive::read(path, &entries);
    } else {
        QFile ovf(path);
        readOk = ovf.open(QIODevice::ReadOnly);
        if (readOk) {
            entries.append({QFileInfo(path).fileName(), ovf.readAll()});
            const QJsonArray systems =
                QJsonDocument::fromJson(entries.first().data).object().value("virtualSystems").toArray();
            for (const QJsonValue &s : systems) {
                for (const QJsonValue &d : s.toObject().value("disks").toArray()) {
                    QFile disk(QFileInfo(path).absoluteDir().filePath(d.toObject().value("file").toString()));
                    readOk = readOk && disk.open(QIODevice::ReadOnly);
                    entries.append({QFileInfo(disk.fileName()).fileName(), disk.readAll()});
                }
            }
        }
    }
    QJsonArray systems;
    if (readOk && !entries.isEmpty())
        systems = QJsonDocument::fromJson(entries.first().data).object().value("virtualSystems").toArray();
    if (!readOk || systems.isEmpty()) {
        m_out.progress(0, "VBOX_E_FILE_ERROR");
        m_out.error(QStringLiteral("Appliance read failed"));
        return m_out.apiError(
            QStringLiteral("Could not read OVF file '%1' (%2)")
                .arg(path, QFileInfo::exists(path) ? "VERR_INVALID_PARAMETER" : "VERR_FILE_NOT_FOUND"),
            "VBOX_E_FILE_ERROR", "ApplianceWrap", "IAppliance",
            QStringLiteral("RTEXITCODE handleImportAppliance(HandlerArg*)"), fileAppliance);
    }
    if (vsys < 0 || vsys >= systems.size()) {
        return m_out.syntaxError(
            use, QStringLiteral("Invalid index %1 with -vsys option; the OVF contains only %2 virtual "
                                "system(s).")
                     .arg(vsys)
                     .arg(systems.size()));
    }
    m_out.progress();
    m_out.printErr(QStringLiteral("Interpreting %1...\nOK.\n").arg(path));

    QHash<QString, QByteArray> files;
    for (const TarArchive::Entry &entry : entries)
        files.insert(entry.name, entry.data);
    QString importCtx = QStringLiteral("RTEXITCODE handleImportAppliance(HandlerArg*)");
    QStringList imported;
    for (int s = 0; s < systems.size(); ++s) {
        VBoxMachine m = VBoxMachine::fromJson(systems.at(s).toObject());
        const QJsonArray disks = systems.at(s).toObject().value("disks").toArray();
        QString name = s == vsys && !vmName.isEmpty() ? vmName : m.name();
        if (s != vsys || vmName.isEmpty()) {
            const QString suggested = name;
            for (int k = 1; m_store.findMachine(name) >= 0; ++k)
                name = QStringLiteral("%1 %2").arg(suggested).arg(k);
        }
        const QString base =
            s == vsys && !baseFolder.isEmpty() ? absolutePath(baseFolder) : m_store.machineFolder;
        const QString dir = base + QLatin1Char('/') + sanitiseName(name);
        const QString settingsFile = dir + QLatin1Char('/') + sanitiseName(name) + QStringLiteral(".vbox");
        if (s == 0) {
            m_out.print(QStringLiteral("Disks:\n"));
            for (const QJsonValue &d : disks) {
                const QString f = d.toObject().value("file").toString();
                m_out.print(
                    QStringLiteral("  vmdisk%1\t%2\t-1\thttp://www.vmware.com/interfaces/specifications/"
                                   "vmdk.html#streamOptimized\t%3\t-1\t<NULL>\t\n")
                        .arg(f.right(5).left(1))
                        .arg(files.value(f).size())
                        .arg(f));
            }
            m_out.print(QStringLiteral("\n"));
        }
        m_out.print(QStringLiteral("Virtual system %1:\n").arg(s));
        m_out.print(QStringLiteral(
                        " 0: Suggested OS type: \"%1\"\n    (change with \"--vsys %2 --ostype <type>\"; use "
                        "\"list ostypes\" to list all possible values)\n")
                        .arg(osType.isEmpty() || s != vsys ? m.str("ostype") : osType)
                        .arg(s));
        if (s == vsys && !vmName.isEmpty())
            m_out.print(QStringLiteral(" 1: VM name specified with --vmname: \"%1\"\n").arg(name));
        else
            m_out.print(QStringLiteral(
                            " 1: Suggested VM name \"%1\"\n    (change with \"--vsys %2 --vmname <name>\")\n")
                            .arg(name)
                            .arg(s));
        m_out.print(
            QStringLiteral(" 2: Number of CPUs: %1\n    (change with \"--vsys %2 --cpus <n>\")\n")
                .arg(cpus.isEmpty() || s != vsys ? QString::number(m.settings.value("cpus").toInt()) : cpus)
                .arg(s));
        m_out.print(QStringLiteral(" 3: Guest memory: %1 MB\n    (change with \"--vsys %2 --memory <MB>\")\n")
                        .arg(memory.isEmpty() || s != vsys
                                 ? QString::number(m.settings.value("memory").toInt())
                                 : memory)
                        .arg(s));
        if (dryRun)
            continue;
        if (QFile::exists(settingsFile)) {
            m_out.progress(0, "VBOX_E_FILE_ERROR");
            m_out.error(QStringLiteral("Appliance import failed"));
            return m_out.apiError(
                QStringLiteral("Machine settings file '%1' already exists").arg(settingsFile),
                "VBOX_E_FILE_ERROR", "ApplianceWrap", "IAppliance", importCtx, fileAppliance);
        }
        m.uuid = SimDisk::newUuid();
        m.settingsFile = settingsFile;
        m.accessible = true;
        m.set("name", name);
        m.set("hardwareuuid", m.uuid);
        if (s == vsys && !osType.isEmpty())
            m.set("ostype", osType);
        if (s == vsys && !cpus.isEmpty())
            m.settings.insert("cpus", cpus.toInt());
        if (s == vsys && !memory.isEmpty())
            m.settings.insert("memory", memory.toInt());
        m.settings.remove("VMStateFile");
        m.setState("poweroff");
        QDir().mkpath(dir);
        QJsonArray attachments;
        for (const QJsonValue &v : m.attachments) {
            const QJsonObject att = v.toObject();
            if (att.value("type").toString() == QLatin1String("hdd") &&
                !att.value("medium").toString().isEmpty())
                continue;
            attachments.append(att);
        }
        for (const QJsonValue &d : disks) {
            QJsonObject att = d.toObject();
            const QString name0 = att.take("file").toString();
            QString target = dir + QLatin1Char('/') + name0;
            for (int k = 1; QFileInfo::exists(target) || m_store.findMedium(target) >= 0; ++k)
                target = dir + QLatin1Char('/') + QFileInfo(name0).completeBaseName() +
                         QStringLiteral("_%1.").arg(k) + QFileInfo(name0).suffix();
            const QString diskUuid = SimDisk::newUuid();
            const QString temp = target + QStringLiteral(".import");
            QFile out(temp);
            if (!out.open(QIODevice::WriteOnly) ||
                out.write(files.value(name0)) != files.value(name0).size()) {
                m_out.progress(0, "VBOX_E_FILE_ERROR");
                m_out.error(QStringLiteral("Appliance import failed"));
                return m_out.apiError(QStringLiteral("Could not create the imported medium '%1'").arg(target),
                                      "VBOX_E_FILE_ERROR", "ApplianceWrap", "IAppliance", importCtx,
                                      fileAppliance);
            }
            out.close();
            SimDisk::copyWithUuid(temp, target, diskUuid);
            QFile::remove(temp);
            att.insert("medium", diskUuid);
            attachments.append(att);
            m_store.media.append({diskUuid, target, QStringLiteral("HardDisk")});
        }
        m.attachments = attachments;
        if (!saveMachine(m))
            return ToolOutput::Failure;
        m_store.machines.append(m);
        imported.append(name);
    }
    if (dryRun)
        return ToolOutput::Success;
    m_out.progress();
    if (!saveStore())
        return ToolOutput::Failure;
    m_out.print(QStringLiteral("Successfully imported the appliance.\n"));
    return ToolOutput::Success;
}
