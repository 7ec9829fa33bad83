// Guest properties, extradata and shared folders.

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
