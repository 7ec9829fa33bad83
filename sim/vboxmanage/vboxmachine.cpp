#include "vboxmachine.h"

#include <QDateTime>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSet>

namespace {

struct OsType
{
    const char *id;
    const char *description;
    bool is64;
};

const OsType osTypes[] = {
    {"Other", "Other/Unknown", false},
    {"Other_64", "Other/Unknown (64-bit)", true},
    {"Linux", "Other Linux (32-bit)", false},
    {"Linux_64", "Other Linux (64-bit)", true},
    {"Linux22", "Linux 2.2 (32-bit)", false},
    {"Linux24", "Linux 2.4 (32-bit)", false},
    {"Linux24_64", "Linux 2.4 (64-bit)", true},
    {"Linux26", "Linux 2.6 / 3.x / 4.x / 5.x (32-bit)", false},
    {"Linux26_64", "Linux 2.6 / 3.x / 4.x / 5.x (64-bit)", true},
    {"ArchLinux", "Arch Linux (32-bit)", false},
    {"ArchLinux_64", "Arch Linux (64-bit)", true},
    {"Debian", "Debian (32-bit)", false},
    {"Debian_64", "Debian (64-bit)", true},
    {"Fedora", "Fedora (32-bit)", false},
    {"Fedora_64", "Fedora (64-bit)", true},
    {"Ubuntu", "Ubuntu (32-bit)", false},
    {"Ubuntu_64", "Ubuntu (64-bit)", true},
    {"WindowsXP", "Windows XP (32-bit)", false},
    {"Windows7", "Windows 7 (32-bit)", false},
    {"Windows7_64", "Windows 7 (64-bit)", true},
    {"Windows10_64", "Windows 10 (64-bit)", true},
};

const OsType *findOs(const QString &id)
{
    for (const OsType &os : osTypes) {
        if (id.compare(QLatin1String(os.id), Qt::CaseInsensitive) == 0)
            return &os;
    }
    return nullptr;
}

// Keys printed as bare numbers by the machine-readable listing.
const QSet<QString> numericKeys = {QStringLiteral("memory"),
                                   QStringLiteral("vram"),
                                   QStringLiteral("cpuexecutioncap"),
                                   QStringLiteral("cpus"),
                                   QStringLiteral("cpuid-portability-level"),
                                   QStringLiteral("biossystemtimeoffset"),
                                   QStringLiteral("monitorcount")};

QString nowText()
{
    return QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz"));
}

class Lines
{
public:
    void str(const QString &key, const QString &value)
    {
        QString k = VBoxMachine::escape(key);
        if (k.contains(QLatin1Char('=')))
            k = QLatin1Char('"') + k + QLatin1Char('"');
        text += k + QStringLiteral("=\"") + VBoxMachine::escape(value) + QStringLiteral("\"\n");
    }
    void quotedKey(const QString &key, const QString &value)
    {
        text += QLatin1Char('"') + VBoxMachine::escape(key) + QStringLiteral("\"=\"") +
                VBoxMachine::escape(value) + QStringLiteral("\"\n");
    }
    void num(const QString &key, qint64 value)
    {
        text += key + QLatin1Char('=') + QString::number(value) + '\n';
    }
    QString text;
};

} // namespace

VBoxMachine VBoxMachine::createNew(const QString &name, const QString &uuid, const QString &settingsFile,
                                   const QString &osType, const QString &groups)
{
    VBoxMachine m;
    m.uuid = uuid;
    m.settingsFile = settingsFile;
    const OsType *os = findOs(osType);
    const bool is64 = os && os->is64;
    QJsonObject &s = m.settings;
    s.insert(QStringLiteral("name"), name);
    s.insert(QStringLiteral("groups"), groups.isEmpty() ? QStringLiteral("/") : groups);
    s.insert(QStringLiteral("ostype"),
             os ? QString::fromLatin1(os->id) : (osType.isEmpty() ? "Other" : osType));
    s.insert(QStringLiteral("hardwareuuid"), uuid);
    s.insert(QStringLiteral("memory"), 128);
    s.insert(QStringLiteral("vram"), 8);
    s.insert(QStringLiteral("cpuexecutioncap"), 100);
    s.insert(QStringLiteral("chipset"), QStringLiteral("piix3"));
    s.insert(QStringLiteral("firmware"), QStringLiteral("BIOS"));
    s.insert(QStringLiteral("cpus"), 1);
    s.insert(QStringLiteral("hpet"), QStringLiteral("off"));
    s.insert(QStringLiteral("pae"), QStringLiteral("on"));
    s.insert(QStringLiteral("longmode"), is64 ? QStringLiteral("on") : QStringLiteral("off"));
    s.insert(QStringLiteral("hwvirtex"), QStringLiteral("on"));
    s.insert(QStringLiteral("nestedpaging"), QStringLiteral("on"));
    s.insert(QStringLiteral("largepages"), QStringLiteral("on"));
    s.insert(QStringLiteral("vtxvpid"), QStringLiteral("on"));
    s.insert(QStringLiteral("vtxux"), QStringLiteral("on"));
    s.insert(QStringLiteral("boot1"), QStringLiteral("floppy"));
    s.insert(QStringLiteral("boot2"), QStringLiteral("dvd"));
    s.insert(QStringLiteral("boot3"), QStringLiteral("disk"));
    s.insert(QStringLiteral("boot4"), QStringLiteral("none"));
    s.insert(QStringLiteral("acpi"), QStringLiteral("on"));
    s.insert(QStringLiteral("ioapic"), is64 ? QStringLiteral("on") : QStringLiteral("off"));
    s.insert(QStringLiteral("biossystemtimeoffset"), 0);
    s.insert(QStringLiteral("rtcuseutc"), QStringLiteral("off"));
    s.insert(QStringLiteral("VMState"), QStringLiteral("poweroff"));
    s.insert(QStringLiteral("VMStateChangeTime"), nowText());
    s.insert(QStringLiteral("graphicscontroller"), QStringLiteral("vboxvga"));
    s.insert(QStringLiteral("monitorcount"), 1);
    s.insert(QStringLiteral("accelerate3d"), QStringLiteral("off"));
    s.insert(QStringLiteral("audioenabled"), QStringLiteral("off"));
    s.insert(QStringLiteral("audiodriver"), QStringLiteral("default"));
    s.insert(QStringLiteral("audiocontroller"), QStringLiteral("ac97"));
    s.insert(QStringLiteral("audio_out"), QStringLiteral("off"));
    s.insert(QStringLiteral("audio_in"), QStringLiteral("off"));
    s.insert(QStringLiteral("usb"), QStringLiteral("off"));
    s.insert(QStringLiteral("ehci"), QStringLiteral("off"));
    s.insert(QStringLiteral("xhci"), QStringLiteral("off"));
    for (int n = 1; n <= 8; ++n) {
        const QString i = QString::number(n);
        s.insert(QStringLiteral("nic") + i, n == 1 ? QStringLiteral("nat") : QStringLiteral("none"));
        s.insert(QStringLiteral("nictype") + i, QStringLiteral("82540EM"));
        s.insert(QStringLiteral("cableconnected") + i, QStringLiteral("on"));
        s.insert(QStringLiteral("macaddress") + i, randomMac());
        s.insert(QStringLiteral("nictrace") + i, QStringLiteral("off"));
    }
    return m;
}

void VBoxMachine::setState(const QString &state)
{
    settings.insert(QStringLiteral("VMState"), state);
    settings.insert(QStringLiteral("VMStateChangeTime"), nowText());
    if (!hasSession())
        settings.remove(QStringLiteral("SessionName"));
}

bool VBoxMachine::hasSession() const
{
    static const QSet<QString> sessionStates = {
        QStringLiteral("running"),          QStringLiteral("paused"),
        QStringLiteral("gurumeditation"),   QStringLiteral("starting"),
        QStringLiteral("stopping"),         QStringLiteral("saving"),
        QStringLiteral("restoring"),        QStringLiteral("teleporting"),
        QStringLiteral("livesnapshotting"), QStringLiteral("onlinesnapshotting"),
        QStringLiteral("settingup"),        QStringLiteral("stuck")};
    return sessionStates.contains(state());
}

QString VBoxMachine::machineDir() const
{
    return QFileInfo(settingsFile).absolutePath();
}

int VBoxMachine::nicCount() const
{
    return str(QStringLiteral("chipset")) == QLatin1String("ich9") ? 36 : 8;
}

QJsonObject VBoxMachine::toJson() const
{
    QJsonObject json;
    json.insert(QStringLiteral("uuid"), uuid);
    json.insert(QStringLiteral("settings"), settings);
    json.insert(QStringLiteral("storageControllers"), controllers);
    json.insert(QStringLiteral("attachments"), attachments);
    json.insert(QStringLiteral("sharedFolders"), sharedFolders);
    json.insert(QStringLiteral("natRules"), natRules);
    json.insert(QStringLiteral("guestProperties"), guestProperties);
    json.insert(QStringLiteral("extraData"), extraData);
    return json;
}

VBoxMachine VBoxMachine::fromJson(const QJsonObject &json)
{
    VBoxMachine m;
    m.uuid = json.value(QStringLiteral("uuid")).toString();
    m.settings = json.value(QStringLiteral("settings")).toObject();
    m.controllers = json.value(QStringLiteral("storageControllers")).toArray();
    m.attachments = json.value(QStringLiteral("attachments")).toArray();
    m.sharedFolders = json.value(QStringLiteral("sharedFolders")).toArray();
    m.natRules = json.value(QStringLiteral("natRules")).toObject();
    m.guestProperties = json.value(QStringLiteral("guestProperties")).toObject();
    m.extraData = json.value(QStringLiteral("extraData")).toObject();
    m.accessible = !m.uuid.isEmpty() && !m.name().isEmpty();
    return m;
}

QString VBoxMachine::machineReadable(const QHash<QString, QString> &mediumPaths) const
{
    Lines out;
    if (!accessible) {
        out.str(QStringLiteral("name"), QStringLiteral("<inaccessible>"));
        out.str(QStringLiteral("UUID"), uuid);
        return out.text;
    }
    auto s = [this](const char *key) { return str(QLatin1String(key)); };
    auto n = [this](const char *key) { return settings.value(QLatin1String(key)).toVariant().toLongLong(); };
    out.str(QStringLiteral("name"), name());
    out.str(QStringLiteral("encryption"), QStringLiteral("disabled"));
    out.str(QStringLiteral("platformArchitecture"), QStringLiteral("x86"));
    out.str(QStringLiteral("groups"), s("groups"));
    out.str(QStringLiteral("ostype"), osDescription(s("ostype")));
    out.str(QStringLiteral("UUID"), uuid);
    out.str(QStringLiteral("CfgFile"), settingsFile);
    out.str(QStringLiteral("SnapFldr"), machineDir() + QStringLiteral("/Snapshots"));
    out.str(QStringLiteral("LogFldr"), machineDir() + QStringLiteral("/Logs"));
    out.str(QStringLiteral("hardwareuuid"), s("hardwareuuid"));
    out.num(QStringLiteral("memory"), n("memory"));
    out.str(QStringLiteral("pagefusion"), QStringLiteral("off"));
    out.num(QStringLiteral("vram"), n("vram"));
    out.num(QStringLiteral("cpuexecutioncap"), n("cpuexecutioncap"));
    out.str(QStringLiteral("cpu-profile"), QStringLiteral("host"));
    out.str(QStringLiteral("chipset"), s("chipset"));
    out.str(QStringLiteral("firmware"), s("firmware"));
    out.num(QStringLiteral("cpus"), n("cpus"));
    out.str(QStringLiteral("hpet"), s("hpet"));
    out.str(QStringLiteral("pae"), s("pae"));
    out.str(QStringLiteral("longmode"), s("longmode"));
    out.str(QStringLiteral("triplefaultreset"), QStringLiteral("off"));
    out.str(QStringLiteral("apic"), QStringLiteral("on"));
    out.str(QStringLiteral("x2apic"), QStringLiteral("on"));
    out.str(QStringLiteral("nested-hw-virt"), QStringLiteral("off"));
    out.num(QStringLiteral("cpuid-portability-level"), 0);
    out.str(QStringLiteral("hwvirtex"), s("hwvirtex"));
    out.str(QStringLiteral("nestedpaging"), s("nestedpaging"));
    out.str(QStringLiteral("largepages"), s("largepages"));
    out.str(QStringLiteral("vtxvpid"), s("vtxvpid"));
    out.str(QStringLiteral("vtxux"), s("vtxux"));
    out.str(QStringLiteral("virtvmsavevmload"), QStringLiteral("on"));
    out.str(QStringLiteral("bootmenu"), QStringLiteral("messageandmenu"));
    for (int i = 1; i <= 4; ++i)
        out.str(QStringLiteral("boot%1").arg(i), str(QStringLiteral("boot%1").arg(i)));
    out.str(QStringLiteral("acpi"), s("acpi"));
    out.str(QStringLiteral("ioapic"), s("ioapic"));
    out.str(QStringLiteral("biosapic"), QStringLiteral("apic"));
    out.num(QStringLiteral("biossystemtimeoffset"), n("biossystemtimeoffset"));
    out.str(QStringLiteral("rtcuseutc"), s("rtcuseutc"));
    out.str(QStringLiteral("iommu"), QStringLiteral("none"));
    out.str(QStringLiteral("paravirtprovider"), QStringLiteral("default"));
    out.str(QStringLiteral("effparavirtprovider"), QStringLiteral("kvm"));
    out.str(QStringLiteral("VMState"), state());
    out.str(QStringLiteral("VMStateChangeTime"), s("VMStateChangeTime"));
    if (!s("VMStateFile").isEmpty())
        out.str(QStringLiteral("VMStateFile"), s("VMStateFile"));
    out.str(QStringLiteral("graphicscontroller"), s("graphicscontroller"));
    out.num(QStringLiteral("monitorcount"), n("monitorcount"));
    out.str(QStringLiteral("accelerate3d"), s("accelerate3d"));
    out.str(QStringLiteral("defaultfrontend"), QStringLiteral("default"));
    out.str(QStringLiteral("vmprocpriority"), QStringLiteral("default"));

    for (int i = 0; i < controllers.size(); ++i) {
        const QJsonObject c = controllers.at(i).toObject();
        const QString idx = QString::number(i);
        out.str(QStringLiteral("storagecontrollername") + idx, c.value("name").toString());
        out.str(QStringLiteral("storagecontrollertype") + idx, c.value("type").toString());
        out.str(QStringLiteral("storagecontrollerinstance") + idx,
                QString::number(c.value("instance").toInt()));
        out.str(QStringLiteral("storagecontrollermaxportcount") + idx,
                QString::number(c.value("maxPorts").toInt()));
        out.str(QStringLiteral("storagecontrollerportcount") + idx,
                QString::number(c.value("ports").toInt()));
        out.str(QStringLiteral("storagecontrollerbootable") + idx,
                c.value("bootable").toBool() ? QStringLiteral("on") : QStringLiteral("off"));
    }
    for (const QJsonValue &cv : controllers) {
        const QJsonObject c = cv.toObject();
        const QString ctl = c.value("name").toString();
        for (int port = 0; port < c.value("ports").toInt(); ++port) {
            for (int device = 0; device < c.value("devices").toInt(); ++device) {
                const QString slot = QStringLiteral("%1-%2").arg(port).arg(device);
                QJsonObject att;
                for (const QJsonValue &av : attachments) {
                    const QJsonObject a = av.toObject();
                    if (a.value("controller").toString() == ctl && a.value("port").toInt() == port &&
                        a.value("device").toInt() == device)
                        att = a;
                }
                if (att.isEmpty()) {
                    out.quotedKey(ctl + QLatin1Char('-') + slot, QStringLiteral("none"));
                    continue;
                }
                const bool dvd = att.value("type").toString() == QLatin1String("dvddrive");
                const QString medium = att.value("medium").toString();
                if (medium.isEmpty()) {
                    out.quotedKey(ctl + QLatin1Char('-') + slot, QStringLiteral("emptydrive"));
                    if (dvd)
                        out.quotedKey(ctl + QStringLiteral("-IsEjected-") + slot, QStringLiteral("off"));
                    continue;
                }
                out.quotedKey(ctl + QLatin1Char('-') + slot, mediumPaths.value(medium));
                out.quotedKey(ctl + QStringLiteral("-ImageUUID-") + slot, medium);
                if (dvd) {
                    out.quotedKey(ctl + QStringLiteral("-tempeject-") + slot, QStringLiteral("off"));
                    out.quotedKey(ctl + QStringLiteral("-IsEjected-") + slot, QStringLiteral("off"));
                }
                if (ctl == QLatin1String("SATA") || ctl == QLatin1String("USB"))
                    out.quotedKey(ctl + QStringLiteral("-hot-pluggable-") + slot, QStringLiteral("off"));
                out.quotedKey(ctl + QStringLiteral("-nonrotational-") + slot,
                              att.value("nonrotational").toBool() ? QStringLiteral("on")
                                                                  : QStringLiteral("off"));
                out.quotedKey(ctl + QStringLiteral("-discard-") + slot,
                              att.value("discard").toBool() ? QStringLiteral("on") : QStringLiteral("off"));
            }
        }
    }

    for (int i = 1; i <= nicCount(); ++i) {
        const QString idx = QString::number(i);
        const QString kind = str(QStringLiteral("nic") + idx);
        if (kind.isEmpty() || kind == QLatin1String("none")) {
            out.str(QStringLiteral("nic") + idx, QStringLiteral("none"));
            continue;
        }
        const QString attachName = str(QStringLiteral("attach") + idx);
        if (kind == QLatin1String("nat"))
            out.str(QStringLiteral("natnet") + idx,
                    attachName.isEmpty() ? QStringLiteral("nat") : attachName);
        else if (kind == QLatin1String("bridged"))
            out.str(QStringLiteral("bridgeadapter") + idx, attachName);
        else if (kind == QLatin1String("intnet"))
            out.str(QStringLiteral("intnet") + idx,
                    attachName.isEmpty() ? QStringLiteral("intnet") : attachName);
        else if (kind == QLatin1String("hostonly"))
            out.str(QStringLiteral("hostonlyadapter") + idx, attachName);
        else if (kind == QLatin1String("generic"))
            out.str(QStringLiteral("generic") + idx, attachName);
        else if (kind == QLatin1String("natnetwork"))
            out.str(QStringLiteral("nat-network") + idx, attachName);
        else if (kind == QLatin1String("cloud"))
            out.str(QStringLiteral("cloud-network") + idx, attachName);
        out.str(QStringLiteral("macaddress") + idx, str(QStringLiteral("macaddress") + idx));
        out.str(QStringLiteral("cableconnected") + idx, str(QStringLiteral("cableconnected") + idx));
        out.str(QStringLiteral("nic") + idx, kind == QLatin1String("generic") ? QStringLiteral("Generic")
                                             : kind == QLatin1String("cloud") ? QStringLiteral("cloudnetwork")
                                                                              : kind);
        out.str(QStringLiteral("nictype") + idx, str(QStringLiteral("nictype") + idx));
        out.str(QStringLiteral("nicspeed") + idx, QStringLiteral("0"));
        if (kind == QLatin1String("nat")) {
            out.str(QStringLiteral("mtu"), QStringLiteral("0"));
            out.str(QStringLiteral("sockSnd"), QStringLiteral("64"));
            out.str(QStringLiteral("sockRcv"), QStringLiteral("64"));
            out.str(QStringLiteral("tcpWndSnd"), QStringLiteral("64"));
            out.str(QStringLiteral("tcpWndRcv"), QStringLiteral("64"));
            const QJsonArray rules = natRules.value(idx).toArray();
            for (int r = 0; r < rules.size(); ++r) {
                const QJsonObject rule = rules.at(r).toObject();
                out.str(QStringLiteral("Forwarding(%1)").arg(r),
                        QStringLiteral("%1,%2,%3,%4,%5,%6")
                            .arg(rule.value("name").toString(), rule.value("proto").toString(),
                                 rule.value("hostIp").toString())
                            .arg(rule.value("hostPort").toInt())
                            .arg(rule.value("guestIp").toString())
                            .arg(rule.value("guestPort").toInt()));
            }
        }
    }

    out.str(QStringLiteral("hidpointing"), QStringLiteral("ps2mouse"));
    out.str(QStringLiteral("hidkeyboard"), QStringLiteral("ps2kbd"));
    out.str(QStringLiteral("audio"), s("audioenabled") == QLatin1String("on") ? s("audiodriver") : "none");
    out.str(QStringLiteral("audio_out"), s("audio_out"));
    out.str(QStringLiteral("audio_in"), s("audio_in"));
    out.str(QStringLiteral("clipboard"), QStringLiteral("disabled"));
    out.str(QStringLiteral("draganddrop"), QStringLiteral("disabled"));
    if (hasSession())
        out.str(QStringLiteral("SessionName"), s("SessionName"));
    out.str(QStringLiteral("vrde"), QStringLiteral("off"));
    out.str(QStringLiteral("usb"), s("usb"));
    out.str(QStringLiteral("ehci"), s("ehci"));
    out.str(QStringLiteral("xhci"), s("xhci"));
    // Permanent folders count from 1 in the machine's order; a running machine adds its transient ones.
    int permanent = 0, transient = 0;
    for (const QJsonValue &v : sharedFolders) {
        const QJsonObject f = v.toObject();
        const bool isTransient = f.value("transient").toBool();
        const QString kind = isTransient ? QStringLiteral("Transient") : QStringLiteral("Machine");
        const int k = isTransient ? ++transient : ++permanent;
        out.str(QStringLiteral("SharedFolderName%1Mapping%2").arg(kind).arg(k), f.value("name").toString());
        out.str(QStringLiteral("SharedFolderPath%1Mapping%2").arg(kind).arg(k),
                f.value("hostPath").toString());
    }
    if (settings.contains(QStringLiteral("description")))
        out.str(QStringLiteral("description"), s("description"));
    return out.text;
}

QString VBoxMachine::humanReadable(const QHash<QString, QString> &mediumPaths) const
{
    if (!accessible)
        return QStringLiteral(
                   "Name:                        <inaccessible!>\nUUID:                        %1\n")
            .arg(uuid);
    QString text;
    auto line = [&text](const QString &label, const QString &value) {
        text += (label + QLatin1Char(':')).leftJustified(29) + value + QLatin1Char('\n');
    };
    line(QStringLiteral("Name"), name());
    line(QStringLiteral("Groups"), str(QStringLiteral("groups")));
    line(QStringLiteral("Guest OS"), osDescription(str(QStringLiteral("ostype"))));
    line(QStringLiteral("UUID"), uuid);
    line(QStringLiteral("Config file"), settingsFile);
    line(QStringLiteral("Memory size"),
         QString::number(settings.value("memory").toInt()) + QStringLiteral("MB"));
    line(QStringLiteral("VRAM size"), QString::number(settings.value("vram").toInt()) + QStringLiteral("MB"));
    line(QStringLiteral("Number of CPUs"), QString::number(settings.value("cpus").toInt()));
    line(QStringLiteral("State"), stateLongName(state()));
    for (const QJsonValue &av : attachments) {
        const QJsonObject a = av.toObject();
        line(QStringLiteral("%1 (%2, %3)")
                 .arg(a.value("controller").toString())
                 .arg(a.value("port").toInt())
                 .arg(a.value("device").toInt()),
             mediumPaths.value(a.value("medium").toString(), QStringLiteral("Empty")));
    }
    return text;
}

bool VBoxMachine::knownOsType(const QString &id)
{
    return findOs(id) != nullptr;
}

QString VBoxMachine::osDescription(const QString &id)
{
    const OsType *os = findOs(id);
    return os ? QString::fromLatin1(os->description) : id;
}

QString VBoxMachine::randomMac()
{
    QString mac = QStringLiteral("080027");
    for (int i = 0; i < 6; ++i)
        mac += QString::number(QRandomGenerator::global()->bounded(16), 16).toUpper();
    return mac;
}

QString VBoxMachine::stateLongName(const QString &shortName)
{
    static const QHash<QString, QString> names = {
        {QStringLiteral("poweroff"), QStringLiteral("PoweredOff")},
        {QStringLiteral("saved"), QStringLiteral("Saved")},
        {QStringLiteral("aborted"), QStringLiteral("Aborted")},
        {QStringLiteral("aborted-saved"), QStringLiteral("AbortedSaved")},
        {QStringLiteral("running"), QStringLiteral("Running")},
        {QStringLiteral("paused"), QStringLiteral("Paused")},
        {QStringLiteral("gurumeditation"), QStringLiteral("Stuck")},
        {QStringLiteral("starting"), QStringLiteral("Starting")},
        {QStringLiteral("stopping"), QStringLiteral("Stopping")},
        {QStringLiteral("teleported"), QStringLiteral("Teleported")},
    };
    return names.value(shortName, shortName);
}

QString VBoxMachine::escape(const QString &text)
{
    QString result = text;
    result.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    result.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    return result;
}
