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

namespace {

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
     "VBoxManage controlvm <uuid | vmname> savestate\nVBoxManage controlvm <uuid | vmname> acpipowerbutton\n"
     "VBoxManage controlvm <uuid | vmname> natpf<1-N> "
     "[<rulename>],tcp|udp,[<hostip>],<hostport>,[<guestip>],<guestport>\n"
     "VBoxManage controlvm <uuid | vmname> natpf<1-N> delete <rulename>"},
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
