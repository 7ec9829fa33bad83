// modifyvm: the settings of a stopped machine.

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

// What one option works on: the machine, the value as typed, and the place to report to.
struct ModifyInput
{
    ToolOutput &out;
    VBoxMachine &m;
    const CommandUsage &use;
    const QString &typed;
    const QString &value;
    int index;               // the NIC or boot position of an indexed option
    QString n;               // the same as text, appended to per-NIC settings keys
    const QStringList &rest; // the positional argument that follows, if any
    int *consumed;

    int invalidArg(const QString &text, const QString &setter) const
    {
        return out.apiError(text, "NS_ERROR_INVALID_ARG", "SessionMachine", "IMachine",
                            QStringLiteral("COMSETTER(%1)(ValueUnion.u32)").arg(setter), fileModify);
    }
    int unknownOption() const
    {
        return out.syntaxError(use, QStringLiteral("Unknown option: %1").arg(value), true, 1);
    }
};

struct ModifyRule;
// Applies one option. Returns 0 when applied (or skipped), 1 for a failure, 2 for an error that ends the
// command at once with exit code 2.
using ModifyHandler = int (*)(const ModifyInput &in, const ModifyRule &rule);

// One row of the modifyvm table: the spellings the parser accepts and what the option does.
struct ModifyRule
{
    ModifyOption id;
    QStringList names;
    bool indexed; // the number follows the name ("--nic1")
    ModifyHandler apply;
    const char *key;                 // settings key (per-NIC keys get the NIC number appended)
    bool perNic = false;             // an option of one network adapter: its number must exist
    bool whileSaved = false;         // allowed while the machine is in the saved state
    qint64 min = 0, max = 0;         // numbers: the range, checked when rangeText is set
    const char *rangeText = nullptr; // numbers: the message for a value out of range (%1: the value)
    const char *setter = nullptr;    // numbers: the interface setter named in the error
};

QString ruleKey(const ModifyInput &in, const ModifyRule &rule)
{
    return QLatin1String(rule.key) + (rule.perNic ? in.n : QString());
}

int setText(const ModifyInput &in, const ModifyRule &rule)
{
    in.m.set(ruleKey(in, rule), in.value);
    return 0;
}

int setName(const ModifyInput &in, const ModifyRule &rule)
{
    if (SimDisk::isUuid(in.value))
        return in.invalidArg(QStringLiteral("A machine cannot have a UUID as its name"), "Name");
    return setText(in, rule);
}

int setOnOff(const ModifyInput &in, const ModifyRule &rule)
{
    QString word;
    if (!parseOnOff(in.value, &word))
        return in.unknownOption();
    in.m.set(ruleKey(in, rule), word);
    return 0;
}

int setNumber(const ModifyInput &in, const ModifyRule &rule)
{
    qint64 number = 0;
    if (!parseNumber(in.value, &number))
        return in.out.syntaxError(in.use, QStringLiteral("Invalid argument format: %1").arg(in.value), true,
                                  1);
    if (rule.rangeText && (number < rule.min || number > rule.max))
        return in.invalidArg(QString::fromLatin1(rule.rangeText).arg(number), rule.setter);
    in.m.settings.insert(rule.key, number);
    return 0;
}

int setOsType(const ModifyInput &in, const ModifyRule &rule)
{
    if (!VBoxMachine::knownOsType(in.value)) {
        in.out.error(QStringLiteral("Unknown or invalid guest OS type given."));
        return 1;
    }
    return setText(in, rule);
}

int setChipset(const ModifyInput &in, const ModifyRule &)
{
    VBoxMachine &m = in.m;
    if (in.value.compare("piix3", Qt::CaseInsensitive) != 0 &&
        in.value.compare("ich9", Qt::CaseInsensitive) != 0) {
        in.out.error(QStringLiteral("Invalid --chipset argument '%1'").arg(in.value));
        return 1;
    }
    m.set("chipset", in.value.toLower());
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
}

int setFirmware(const ModifyInput &in, const ModifyRule &)
{
    static const QStringList firmwares = {"BIOS", "EFI", "EFI32", "EFI64", "EFIDUAL"};
    if (!firmwares.contains(in.value.toUpper())) {
        in.out.error(QStringLiteral("Invalid --firmware argument '%1'").arg(in.value));
        return 1;
    }
    in.m.set("firmware", in.value.toUpper());
    return 0;
}

int setBoot(const ModifyInput &in, const ModifyRule &)
{
    if (in.index < 1 || in.index > 4)
        return in.out.syntaxError(
            in.use, QStringLiteral("Invalid boot position: %1 (must be in range [1, 4])").arg(in.index),
            false, 1);
    static const QStringList devices = {"none", "floppy", "dvd", "disk", "net"};
    if (!devices.contains(in.value.toLower()))
        return in.out.syntaxError(in.use, QStringLiteral("Invalid boot device '%1'").arg(in.value), false, 2);
    in.m.set("boot" + in.n, in.value.toLower());
    return 0;
}

int setGraphics(const ModifyInput &in, const ModifyRule &)
{
    static const QStringList controllers = {"none", "vboxvga", "vmsvga", "vboxsvga", "qemuramfb"};
    if (!controllers.contains(in.value.toLower())) {
        in.out.error(QStringLiteral("Invalid --graphicscontroller argument '%1'").arg(in.value));
        return 1;
    }
    in.m.set("graphicscontroller", in.value.toLower());
    return 0;
}

int setNic(const ModifyInput &in, const ModifyRule &)
{
    QString kind = in.value.toLower();
    if (kind == QLatin1String("hostif"))
        kind = "bridged";
    static const QStringList kinds = {"none",     "null",    "nat",        "bridged", "intnet",
                                      "hostonly", "generic", "natnetwork", "cloud"};
    if (!kinds.contains(kind)) {
        // "specfied" is the real tool's own spelling; the stand-in answers in its exact words.
        in.out.error(QStringLiteral("Invalid type '%1' specfied for NIC %2").arg(in.value).arg(in.index));
        return 1;
    }
    in.m.set("nic" + in.n, kind);
    return 0;
}

int setNicType(const ModifyInput &in, const ModifyRule &)
{
    static const QStringList types = {"Am79C970A", "Am79C973", "Am79C960", "82540EM", "82543GC",
                                      "82545EM",   "virtio",   "NE1000",   "NE2000",  "WD8003",
                                      "WD8013",    "3C503",    "3C501"};
    for (const QString &t : types) {
        if (t.compare(in.value, Qt::CaseInsensitive) == 0) {
            in.m.set("nictype" + in.n, t);
            return 0;
        }
    }
    in.out.error(QStringLiteral("Invalid NIC type '%1' specified for NIC %2").arg(in.value).arg(in.index));
    return 1;
}

int setMac(const ModifyInput &in, const ModifyRule &)
{
    if (in.value.compare("auto", Qt::CaseInsensitive) == 0) {
        in.m.set("macaddress" + in.n, VBoxMachine::randomMac());
        return 0;
    }
    static const QRegularExpression hex("^[0-9A-Fa-f]{12}$");
    if (!hex.match(in.value).hasMatch() || (QString(in.value.at(1)).toInt(nullptr, 16) & 1)) {
        return in.out.apiError(QStringLiteral("Invalid MAC address format"), "NS_ERROR_INVALID_ARG",
                               "NetworkAdapterWrap", "INetworkAdapter",
                               QStringLiteral("COMSETTER(MACAddress)(Bstr(ValueUnion.psz).raw())"),
                               fileModify);
    }
    in.m.set("macaddress" + in.n, in.value.toUpper());
    return 0;
}

int setNatRule(const ModifyInput &in, const ModifyRule &)
{
    VBoxMachine &m = in.m;
    const QString &n = in.n;
    const QString &value = in.value;
    QJsonArray rules = m.natRules.value(n).toArray();
    const QString natCtx = QStringLiteral(
        "AddRedirect(Bstr(strName).raw(), proto, Bstr(strHostIp).raw(), RTStrToUInt16(strHostPort), "
        "Bstr(strGuestIp).raw(), RTStrToUInt16(strGuestPort))");
    if (value == QLatin1String("delete")) {
        if (in.rest.isEmpty())
            return in.out.syntaxError(in.use, QStringLiteral("Not enough parameters"), false, 2);
        *in.consumed = 1;
        const QString name = in.rest.first();
        for (int i = 0; i < rules.size(); ++i) {
            if (rules.at(i).toObject().value("name").toString() == name) {
                rules.removeAt(i);
                m.natRules.insert(n, rules);
                return 0;
            }
        }
        return in.out.apiErrorNoInfo(
            "NS_ERROR_INVALID_ARG", QStringLiteral("RemoveRedirect(Bstr(ValueUnion.psz).raw())"), fileModify);
    }
    const QStringList fields = value.split(QLatin1Char(','));
    if (fields.size() < 6)
        return in.out.syntaxError(in.use, QStringLiteral("Missing or invalid argument to '%1'").arg(in.typed),
                                  false, 2);
    const QString proto = fields.at(1).trimmed().toLower();
    if (proto != QLatin1String("tcp") && proto != QLatin1String("udp")) {
        in.out.error(QStringLiteral("Invalid proto '%1' specfied for NIC %2").arg(value).arg(in.index));
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
            return in.out.apiError(QStringLiteral("A NAT rule of this name already exists"),
                                   "NS_ERROR_INVALID_ARG", "NATEngineWrap", "INATEngine", natCtx, fileModify);
        if (other.value("proto").toString() == proto && other.value("hostIp") == rule.value("hostIp") &&
            other.value("hostPort").toInt() == hostPort)
            return in.out.apiError(
                QStringLiteral("A NAT rule for this host port and this host IP already exists"),
                "NS_ERROR_INVALID_ARG", "NATEngineWrap", "INATEngine", natCtx, fileModify);
    }
    // The NAT engine keeps its rules sorted by name (byte order).
    int pos = 0;
    while (pos < rules.size() && rules.at(pos).toObject().value("name").toString().toUtf8() < name.toUtf8())
        ++pos;
    rules.insert(pos, rule);
    m.natRules.insert(n, rules);
    return 0;
}

int setAudioController(const ModifyInput &in, const ModifyRule &)
{
    const QString c = in.value.toLower();
    if (c != QLatin1String("ac97") && c != QLatin1String("hda") && c != QLatin1String("sb16")) {
        in.out.error(QStringLiteral("Invalid --audiocontroller argument '%1'").arg(in.value));
        return 1;
    }
    in.m.set("audiocontroller", c);
    return 0;
}

int setAudioDriver(const ModifyInput &in, const ModifyRule &rule)
{
    const bool deprecated = rule.id == MAudio;
    if (deprecated)
        in.out.printErr(QStringLiteral("Warning: --audio is deprecated and will be removed soon. Use "
                                       "--audio-driver instead!\n"));
    // Only the drivers of a Linux host exist here: dsound, winmm, was and coreaudio are refused.
    static const QStringList linuxAudioDrivers = {"none", "null", "oss", "alsa", "pulse", "default"};
    const QString drv = in.value.toLower();
    if (!linuxAudioDrivers.contains(drv)) {
        in.out.error(QStringLiteral("Invalid %1 argument '%2'").arg(in.typed, in.value));
        return 1;
    }
    in.m.set("audiodriver", drv == QLatin1String("none") ? "null" : drv);
    if (deprecated)
        in.m.set("audioenabled", drv == QLatin1String("none") ? "off" : "on");
    return 0;
}

ModifyRule numberRule(ModifyOption id, const QStringList &names, const char *key, qint64 min, qint64 max,
                      const char *rangeText, const char *setter)
{
    ModifyRule rule{id, names, false, setNumber, key};
    rule.min = min;
    rule.max = max;
    rule.rangeText = rangeText;
    rule.setter = setter;
    return rule;
}

ModifyRule nicRule(ModifyOption id, const QStringList &names, ModifyHandler apply, const char *key = "")
{
    ModifyRule rule{id, names, true, apply, key};
    rule.perNic = true;
    return rule;
}

ModifyRule savedStateRule(ModifyOption id, const QStringList &names, ModifyHandler apply, const char *key)
{
    ModifyRule rule{id, names, false, apply, key};
    rule.whileSaved = true;
    return rule;
}

// The options in the parser's order: a longer spelling that starts like a shorter indexed one
// ("--nic-type1" against "--nic1") comes first.
const QList<ModifyRule> &modifyRules()
{
    static const QList<ModifyRule> rules = {
        savedStateRule(MName, {"--name"}, setName, "name"),
        savedStateRule(MGroups, {"--groups"}, setText, "groups"),
        savedStateRule(MDescription, {"--description"}, setText, "description"),
        {MOsType, {"--ostype", "--os-type"}, false, setOsType, "ostype"},
        numberRule(MMemory, {"--memory"}, "memory", 4, 2097152,
                   "Invalid RAM size: %1 MB (must be in range [4, 2097152] MB)", "MemorySize"),
        numberRule(MVram, {"--vram"}, "vram", 0, 256,
                   "Invalid VRAM size: %1 MB (must be in range [0, 256] MB)", "VRAMSize"),
        numberRule(MCpus, {"--cpus"}, "cpus", 1, 64,
                   "Invalid virtual CPU count: %1 (must be in range [1, 64])", "CPUCount"),
        numberRule(MExecCap, {"--cpuexecutioncap", "--cpu-execution-cap"}, "cpuexecutioncap", 1, 100,
                   "Invalid CPU execution cap value: %1 (must be in range [1, 100])", "CPUExecutionCap"),
        {MAcpi, {"--acpi"}, false, setOnOff, "acpi"},
        {MIoApic, {"--ioapic"}, false, setOnOff, "ioapic"},
        {MHpet, {"--hpet", "--x86-hpet"}, false, setOnOff, "hpet"},
        {MPae, {"--pae", "--x86-pae"}, false, setOnOff, "pae"},
        {MLongMode, {"--long-mode", "--longmode", "--x86-long-mode"}, false, setOnOff, "longmode"},
        {MLargePages, {"--large-pages", "--largepages", "--x86-large-pages"}, false, setOnOff, "largepages"},
        {MHwVirtEx, {"--hwvirtex", "--x86-hwvirtex"}, false, setOnOff, "hwvirtex"},
        {MNestedPaging,
         {"--nested-paging", "--nestedpaging", "--x86-nested-paging"},
         false,
         setOnOff,
         "nestedpaging"},
        {MVtxVpid, {"--vtx-vpid", "--vtxvpid", "--x86-vtx-vpid"}, false, setOnOff, "vtxvpid"},
        {MVtxUx, {"--vtx-ux", "--vtxux", "--x86-vtx-ux"}, false, setOnOff, "vtxux"},
        {MRtcUseUtc, {"--rtc-use-utc", "--rtcuseutc"}, false, setOnOff, "rtcuseutc"},
        numberRule(MTimeOffset,
                   {"--bios-system-time-offset", "--biossystemtimeoffset", "--firmware-system-time-offset"},
                   "biossystemtimeoffset", 0, 0, nullptr, nullptr),
        {MChipset, {"--chipset"}, false, setChipset, "chipset"},
        {MFirmware, {"--firmware"}, false, setFirmware, "firmware"},
        {MBoot, {"--boot"}, true, setBoot, "boot"},
        {MGraphics,
         {"--graphicscontroller", "--graphics-controller"},
         false,
         setGraphics,
         "graphicscontroller"},
        numberRule(MMonitors, {"--monitorcount", "--monitor-count"}, "monitorcount", 0, 0, nullptr, nullptr),
        {MAccelerate3d, {"--accelerate3d", "--accelerate-3d"}, false, setOnOff, "accelerate3d"},
        nicRule(MNicType, {"--nic-type", "--nictype"}, setNicType),
        nicRule(MTrace, {"--nic-trace", "--nictrace"}, setOnOff, "nictrace"),
        nicRule(MNic, {"--nic"}, setNic),
        nicRule(MCable, {"--cable-connected", "--cableconnected"}, setOnOff, "cableconnected"),
        nicRule(MMac, {"--mac-address", "--macaddress"}, setMac),
        nicRule(MNatPf, {"--nat-pf", "--natpf"}, setNatRule),
        nicRule(MBridge, {"--bridge-adapter", "--bridgeadapter"}, setText, "attach"),
        nicRule(MIntnet, {"--intnet"}, setText, "attach"),
        nicRule(MHostOnly, {"--host-only-adapter", "--hostonlyadapter"}, setText, "attach"),
        nicRule(MNatNetwork, {"--nat-network", "--natnetwork"}, setText, "attach"),
        {MAudioController, {"--audio-controller", "--audiocontroller"}, false, setAudioController, ""},
        {MAudioDriver, {"--audio-driver", "--audiodriver"}, false, setAudioDriver, ""},
        {MAudioEnabled, {"--audio-enabled", "--audioenabled"}, false, setOnOff, "audioenabled"},
        {MAudioIn, {"--audio-in", "--audioin"}, false, setOnOff, "audio_in"},
        {MAudioOut, {"--audio-out", "--audioout"}, false, setOnOff, "audio_out"},
        {MAudio, {"--audio"}, false, setAudioDriver, ""},
        {MUsbOhci, {"--usb-ohci", "--usbohci", "--usb"}, false, setOnOff, "usb"},
        {MUsbEhci, {"--usb-ehci", "--usbehci"}, false, setOnOff, "ehci"},
        {MUsbXhci, {"--usb-xhci", "--usbxhci"}, false, setOnOff, "xhci"},
    };
    return rules;
}

QList<OptionDef> modifyOptions()
{
    QList<OptionDef> defs;
    for (const ModifyRule &rule : modifyRules())
        defs.append({rule.id, rule.names, true, rule.indexed});
    return defs;
}

const ModifyRule *findRule(int id)
{
    for (const ModifyRule &rule : modifyRules()) {
        if (rule.id == id)
            return &rule;
    }
    return nullptr;
}

} // namespace

// Applies one modifyvm option to m through its row of the table. Returns 0 when applied (or skipped), 1 for
// a failure, 2 for an error that ends the command at once with exit code 2. consumed counts the positional
// arguments the option used.
int VBoxCommands::applyModifyOption(VBoxMachine &m, int id, const QString &typed, const QString &value,
                                    int index, const QStringList &rest, int *consumed)
{
    const ModifyRule *rule = findRule(id);
    if (!rule)
        return 0;
    if (m.state() == QLatin1String("saved") && !rule->whileSaved) {
        return m_out.apiError(QStringLiteral("The machine is not mutable (state is Saved)"),
                              "VBOX_E_INVALID_VM_STATE", "SessionMachine", "IMachine",
                              QStringLiteral("COMSETTER(Setting)(value)"), fileModify);
    }
    if (rule->perNic && (index < 1 || index > m.nicCount())) {
        m_out.error(QStringLiteral("Invalid NIC number %1").arg(index));
        if (id == MNatPf && value == QLatin1String("delete") && !rest.isEmpty())
            *consumed = 1;
        return 0;
    }
    const CommandUsage use = usage("modifyvm");
    const ModifyInput input{m_out, m, use, typed, value, index, QString::number(index), rest, consumed};
    return rule->apply(input, *rule);
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
