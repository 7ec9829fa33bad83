// Power: startvm, controlvm, discardstate.

#include "vboxcommands.h"

#include "commandsupport.h"
#include "optionparser.h"
#include "simdisk.h"
#include "simguest.h"
#include "tararchive.h"
#include "vboxfaults.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

using namespace VBoxCommandSupport;

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
            SimGuest::stop(SimGuest::folder(m_store.stateDir(), m.name()));
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
            // What the VM process finds while it powers on: hardware virtualisation the host does not
            // offer, a device plug-in file that is not there.
            if (m.str("hwvirtex") == QLatin1String("on") && !m_host.supportsHardwareVirtualization()) {
                m_out.apiError(m_host.isAmdProcessor()
                                   ? QStringLiteral("AMD-V is not available (VERR_SVM_NO_SVM)")
                                   : QStringLiteral("VT-x is not available (VERR_VMX_NO_VMX)"),
                               "NS_ERROR_FAILURE", "ConsoleWrap", "IConsole", QString(), fileMisc);
                result = ToolOutput::Failure;
                continue;
            }
            QString plugInFailure;
            static const QRegularExpression plugInKey(
                QStringLiteral("^VBoxInternal/PDM/Devices/([^/]+)/Path$"));
            for (auto it = m.extraData.constBegin(); it != m.extraData.constEnd(); ++it) {
                const QRegularExpressionMatch match = plugInKey.match(it.key());
                const QString path = it.value().toString();
                if (match.hasMatch() && !path.isEmpty() && !QFileInfo(path).isFile()) {
                    plugInFailure = QStringLiteral("Unable to load R3 module %1 (%2): VERR_FILE_NOT_FOUND")
                                        .arg(path, match.captured(1));
                }
            }
            if (!plugInFailure.isEmpty()) {
                m_out.apiError(plugInFailure, "NS_ERROR_FAILURE", "ConsoleWrap", "IConsole", QString(),
                               fileMisc);
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
        // The guest system comes up with its machine and reads the machine as just saved.
        if (m.state() == QLatin1String("running"))
            SimGuest::start(m.settingsFile, SimGuest::folder(m_store.stateDir(), m.name()), m.name(), m.uuid);
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
    } else if (sub.startsWith(QLatin1String("natpf")) && sub.mid(5).toInt() >= 1 && sub.mid(5).toInt() <= 8) {
        const int result = controlNatRule(m, sub.mid(5), a.mid(2));
        if (result != ToolOutput::Success)
            return result;
    } else {
        return m_out.syntaxError(usage("controlvm"), QStringLiteral("Invalid parameter '%1'.").arg(sub),
                                 false, 1);
    }
    if (!saveMachine(m))
        return ToolOutput::Failure;
    m_store.machines[index] = m;
    // A machine that no longer runs has no guest system.
    if (!m.hasSession())
        SimGuest::stop(SimGuest::folder(m_store.stateDir(), m.name()));
    return ToolOutput::Success;
}

int VBoxCommands::controlNatRule(VBoxMachine &m, const QString &nic, const QStringList &a)
{
    // "natpf<n> delete <name>" or "natpf<n> [<name>],tcp|udp,[<host ip>],<host port>,[<guest ip>],<guest
    // port>" on the running machine: the NAT engine moves its host end at once.
    const CommandUsage use = usage("controlvm");
    if (a.isEmpty())
        return m_out.syntaxError(use, QStringLiteral("Not enough parameters"), false, 1);
    QJsonArray rules = m.natRules.value(nic).toArray();
    const QString natCtx = QStringLiteral(
        "AddRedirect(Bstr(strName).raw(), proto, Bstr(strHostIp).raw(), RTStrToUInt16(strHostPort), "
        "Bstr(strGuestIp).raw(), RTStrToUInt16(strGuestPort))");
    if (a.first() == QLatin1String("delete")) {
        if (a.size() < 2)
            return m_out.syntaxError(use, QStringLiteral("Not enough parameters"), false, 1);
        for (int i = 0; i < rules.size(); ++i) {
            if (rules.at(i).toObject().value("name").toString() == a.at(1)) {
                rules.removeAt(i);
                m.natRules.insert(nic, rules);
                return ToolOutput::Success;
            }
        }
        return m_out.apiError(QStringLiteral("A NAT rule of this name does not exist"),
                              "NS_ERROR_INVALID_ARG", "NATEngineWrap", "INATEngine",
                              QStringLiteral("RemoveRedirect(Bstr(a->argv[3]).raw())"), fileControl);
    }
    const QStringList fields = a.first().split(QLatin1Char(','));
    bool hostOk = false;
    bool guestOk = false;
    const int hostPort = fields.value(3).toInt(&hostOk);
    const int guestPort = fields.value(5).toInt(&guestOk);
    const QString proto = fields.value(1).trimmed().toLower();
    if (fields.size() != 6 || !hostOk || !guestOk ||
        (proto != QLatin1String("tcp") && proto != QLatin1String("udp")))
        return m_out.syntaxError(use, QStringLiteral("Invalid NAT rule '%1'").arg(a.first()), false, 1);
    QJsonObject rule;
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
                                  "NS_ERROR_INVALID_ARG", "NATEngineWrap", "INATEngine", natCtx, fileControl);
        if (other.value("proto").toString() == proto && other.value("hostIp") == rule.value("hostIp") &&
            other.value("hostPort").toInt() == hostPort)
            return m_out.apiError(
                QStringLiteral("A NAT rule for this host port and this host IP already exists"),
                "NS_ERROR_INVALID_ARG", "NATEngineWrap", "INATEngine", natCtx, fileControl);
    }
    int pos = 0;
    while (pos < rules.size() && rules.at(pos).toObject().value("name").toString().toUtf8() < name.toUtf8())
        ++pos;
    rules.insert(pos, rule);
    m.natRules.insert(nic, rules);
    if (nic == QLatin1String("1"))
        SimGuest::movePorts(SimGuest::folder(m_store.stateDir(), m.name()),
                            name == QLatin1String("vinput") ? hostPort : 0,
                            name == QLatin1String("pavix") ? hostPort : 0);
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
