// Storage controllers and media: storagectl, storageattach, internalcommands, showhdinfo, closemedium.

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
    // A running machine joins the change through its session: only hot-pluggable buses take devices
    // on or off then (a DVD drive's medium may still be changed).
    static const QStringList hotplugBuses{"SATA", "USB", "PCIe", "VirtioSCSI"};
    const bool refuseHotplug = m.hasSession() && !hotplugBuses.contains(ctl.value("bus").toString());
    const QString hotplugRefusal =
        QStringLiteral("Controller '%1' does not support hot-plugging").arg(ctlName);
    if (medium.compare("none", Qt::CaseInsensitive) == 0) {
        if (slot >= 0 && refuseHotplug) {
            return m_out.apiError(hotplugRefusal, "VBOX_E_INVALID_VM_STATE", "SessionMachine", "IMachine",
                                  QStringLiteral("DetachDevice(Bstr(pszCtl).raw(), port, device)"),
                                  fileStorage);
        }
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
        if (refuseHotplug && !medium.isEmpty() && (slot < 0 || type == QLatin1String("hdd"))) {
            return m_out.apiError(hotplugRefusal, "VBOX_E_INVALID_VM_STATE", "SessionMachine", "IMachine",
                                  QStringLiteral("AttachDevice(Bstr(pszCtl).raw(), port, device, "
                                                 "DeviceType_HardDisk, pMedium2Mount)"),
                                  fileStorage);
        }
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
