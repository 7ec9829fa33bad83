// Copies of machines: clonevm, export, import.

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
                    // A disk missing beside the descriptor is noticed by the import, not by the read.
                    QFile disk(QFileInfo(path).absoluteDir().filePath(d.toObject().value("file").toString()));
                    if (disk.open(QIODevice::ReadOnly))
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
        // Every disk the descriptor names must be in the appliance: nothing is registered and no empty
        // disk is made in the place of a missing one.
        for (int k = 0; s == 0 && k < systems.size(); ++k) {
            for (const QJsonValue &d : systems.at(k).toObject().value("disks").toArray()) {
                const QString f = d.toObject().value("file").toString();
                if (files.contains(f))
                    continue;
                m_out.progress(0, "VBOX_E_FILE_ERROR");
                m_out.error(QStringLiteral("Appliance import failed"));
                return m_out.apiError(
                    QStringLiteral(
                        "Could not find the disk image '%1' in the appliance '%2' (VERR_FILE_NOT_FOUND)")
                        .arg(f, path),
                    "VBOX_E_FILE_ERROR", "ApplianceWrap", "IAppliance", importCtx, fileAppliance);
            }
        }
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
