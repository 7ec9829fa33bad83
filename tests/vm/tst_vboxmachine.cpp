// Machine preparation and start against the simulated VirtualBox tool of a temporary installation: the
// exact command lines that reach the tool (its call log) and the machine the tool keeps afterwards.
#include "calllogs.h"
#include "commandline.h"
#include "global.h"
#include "installtree.h"
#include "paths.h"
#include "settingmodel.h"
#include "vboxtool.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QtTest>

#include <memory>

namespace {

const QString kVm = QStringLiteral("Orvanta_1");
const QString kInstallUuid = QStringLiteral("0f1e2d3c-4b5a-6978-8796-a5b4c3d2e1f0");

using Calls = QList<QStringList>;

QStringList g_log;
void collectLog(QtMsgType, const QMessageLogContext &, const QString &message)
{
    g_log << message;
}

QByteArray fileHash(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha1);
}

} // namespace

class TestVBoxMachine : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void coldStartBuildsTheWholeMachine();
    void warmStartWritesOnlyWhatChanged();
    void systemDiskFollowsTheImageVersion_data();
    void systemDiskFollowsTheImageVersion();
    void missingUserDiskIsRebuilt_data();
    void missingUserDiskIsRebuilt();
    void foreignRegistrationIsRebuiltHere();
    void foreignFolderOfAnotherNameIsKept();
    void oldDefaultMachineIsRenamed();
    void unreadableMachineLeavesDisksAlone();
    void toolFaultsNeverCostTheDataDisk_data();
    void toolFaultsNeverCostTheDataDisk();
    void nameTheToolRewritesKeepsItsDisks_data();
    void nameTheToolRewritesKeepsItsDisks();
    void folderOfAnotherMachineIsNeverTaken_data();
    void folderOfAnotherMachineIsNeverTaken();
    void disksOfAnotherMachineAreNeverTaken_data();
    void disksOfAnotherMachineAreNeverTaken();
    void quitConfirmsTheStop_data();
    void quitConfirmsTheStop();
    void startErrors_data();
    void startErrors();
    void settingsFlowIntoCommandLines_data();
    void settingsFlowIntoCommandLines();
    void sharesAreMatchedByName();
    void guestPropertyRules_data();
    void guestPropertyRules();
    void forcedVtOffAndTcpMode();

private:
    QString stateDir() const { return m_tree->root() + QStringLiteral("/vbox-state"); }
    QString vmFolder() const { return m_tree->installDir() + QStringLiteral("/vbox/") + kVm; }
    void tool(const QStringList &args, QString *out = nullptr);
    Calls calls() const;
    Calls modifyingCalls() const;
    void clearCalls() const { QFile::remove(stateDir() + QStringLiteral("/calls.log")); }
    void setFaults(const QJsonArray &rules) const;
    void writeSettings(const QMap<QString, QVariant> &values);
    void writeHost(const QString &cpus, const QString &memory);
    // A new process's tool object (nothing read yet).
    void newTool();
    // The start-up worker's machine steps: image check, machine check and configuration, start.
    void prepare();
    void start();
    QString vmValue(const QString &key) { return vmValueOf(kVm, key); }
    QString vmValueOf(const QString &vm, const QString &key);
    QStringList runningVms();
    QHash<QString, QString> guestProperties();

    std::unique_ptr<InstallTree> m_tree;
    std::unique_ptr<VBoxTool> m_tool;
    QtMessageHandler m_previousHandler = nullptr;
};

void TestVBoxMachine::init()
{
    m_tree = std::make_unique<InstallTree>();
    QVERIFY(m_tree->isValid());
    QVERIFY(m_tree->addVirtualBox());
    QVERIFY(m_tree->addGuestImage());

    const QProcessEnvironment env = m_tree->environment();
    for (const char *name : {"TMPDIR", "PATH", "ORV_RECORD_DIR", "ORV_VBOX_STATE", "XDG_CONFIG_DIRS",
                             "XDG_CONFIG_HOME", "HOME", "APPDATA", "LOCALAPPDATA"})
        qputenv(name, env.value(QLatin1String(name)).toLocal8Bit());
    // Tool time-outs of six seconds: a hang costs that once, a slow start on a busy machine stays inside.
    qputenv("ORV_TIMEOUT_SCALE", "0.05");

    // Empty TCP tables: every first candidate port is free.
    const QString proc = m_tree->root() + QStringLiteral("/proc");
    QVERIFY(QDir().mkpath(proc + QStringLiteral("/net")));
    for (const char *table : {"/net/tcp", "/net/tcp6"}) {
        QFile file(proc + QLatin1String(table));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid\n");
    }
    qputenv("ORV_PROC_ROOT", proc.toLocal8Bit());
    // The machines' guests listen in this tree's own block of ports, apart from every other test's.
    qputenv("ORV_PORT_OFFSET", QByteArray::number(m_tree->portOffset()));

    writeHost(QStringLiteral("4"), QStringLiteral("8192"));
    Platform::initSettingsPaths();
    Global::loadInstallInfo();
    Global::vmName = kVm;
    Global::systemInfo.is64Bit = true;
    Global::systemInfo.installUuid = kInstallUuid;
    Global::streamMode = QStringLiteral("speed");
    CommandLine::tcp = false;
    CommandLine::vt_f = false;
    writeSettings({{"Orvanta/Performance/CPUCoresCount", 2},
                   {"Orvanta/Performance/RAMSize", 3000},
                   {"Orvanta/Performance/RenderMode", "dx"},
                   {"Orvanta/Resolution/width", 1280},
                   {"Orvanta/Resolution/height", 720},
                   {"Orvanta/Resolution/DPI", 240}});
    newTool();
    g_log.clear();
    m_previousHandler = qInstallMessageHandler(collectLog);
}

void TestVBoxMachine::cleanup()
{
    qInstallMessageHandler(m_previousHandler);
    CommandLine::tcp = false;
    CommandLine::vt_f = false;
    m_tool.reset();
    m_tree.reset();
}

void TestVBoxMachine::newTool()
{
    m_tool = std::make_unique<VBoxTool>();
    QCOMPARE(m_tool->checkVBoxPath(), 1);
}

void TestVBoxMachine::writeSettings(const QMap<QString, QVariant> &values)
{
    QSettings settings(SettingModel::filePath(), QSettings::IniFormat);
    for (auto it = values.cbegin(); it != values.cend(); ++it)
        settings.setValue(it.key(), it.value());
    settings.sync();
    SettingModel::instance()->load(true);
}

void TestVBoxMachine::writeHost(const QString &cpus, const QString &memory)
{
    QSettings host(stateDir() + QStringLiteral("/host.ini"), QSettings::IniFormat);
    host.setValue(QStringLiteral("host/processorOnlineCount"), cpus);
    host.setValue(QStringLiteral("host/memorySize"), memory);
    host.setValue(QStringLiteral("host/processorDescription"), QStringLiteral("Stand-in CPU"));
}

void TestVBoxMachine::tool(const QStringList &args, QString *out)
{
    QProcess process;
    process.start(m_tree->vboxDir() + QStringLiteral("/OrvvmManage"), args);
    QVERIFY(process.waitForFinished(10000));
    QVERIFY2(process.exitCode() == 0, qPrintable(args.join(' ') + ": " + process.readAllStandardError()));
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput());
}

Calls TestVBoxMachine::calls() const
{
    return readToolCalls(stateDir());
}

Calls TestVBoxMachine::modifyingCalls() const
{
    Calls result;
    for (const QStringList &args : calls()) {
        if (!isReadOnlyToolCall(args))
            result << args;
    }
    return result;
}

void TestVBoxMachine::setFaults(const QJsonArray &rules) const
{
    QFile file(stateDir() + QStringLiteral("/faults.json"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QJsonDocument(rules).toJson());
    QFile::remove(stateDir() + QStringLiteral("/faults.used.json"));
}

void TestVBoxMachine::prepare()
{
    QCOMPARE(m_tool->checkOva(), 1);
    m_tool->init();
    m_tool->applyVmSettings();
    QCOMPARE(m_tool->initNetwork(), 1);
    QCOMPARE(m_tool->checkCpu(true), 1);
    QCOMPARE(m_tool->checkMemory(true), 1);
    QCOMPARE(m_tool->setResolutionAndDpi(), 1);
}

void TestVBoxMachine::start()
{
    prepare();
    QCOMPARE(m_tool->startVM(), 1);
}

QString TestVBoxMachine::vmValueOf(const QString &vm, const QString &key)
{
    QString out;
    tool({"showvminfo", vm, "--machinereadable"}, &out);
    for (const QString &line : out.split(QLatin1Char('\n'))) {
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq > 0 && QString(line.left(eq)).remove(QLatin1Char('"')) == key)
            return line.mid(eq + 1).remove(QLatin1Char('"'));
    }
    return QStringLiteral("<absent>");
}

QStringList TestVBoxMachine::runningVms()
{
    QString out;
    tool({"list", "runningvms"}, &out);
    return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QHash<QString, QString> TestVBoxMachine::guestProperties()
{
    // One "get" per name keeps this independent of the listing format.
    QHash<QString, QString> result;
    for (const char *name : {"orvanta_ova_version", "orvanta_channel", "orvanta_uuid", "orvanta_yelt_port",
                             "hardware_opengl", "su_bypass", "vkeyboard_mode", "orvanta_render_mode",
                             "is_first_run", "emu_id", "stream_mode", "vbox_graph_mode", "vbox_dpi"}) {
        QString out;
        tool({"guestproperty", "get", kVm, name}, &out);
        result.insert(QLatin1String(name), out.startsWith(QLatin1String("Value: "))
                                               ? out.mid(7).trimmed()
                                               : QStringLiteral("<none>"));
    }
    return result;
}

void TestVBoxMachine::coldStartBuildsTheWholeMachine()
{
    const QString pid = QString::number(QCoreApplication::applicationPid());
    const QString install = m_tree->installDir();
    const QString share = install + QStringLiteral("/share/") + kVm;
    const QString folder = vmFolder();
    start();

    auto attach = [&](const char *port, const char *device, const QString &file) {
        return QStringList{"storageattach", kVm,    "--storagectl", "IDE", "--port",   port,
                           "--device",      device, "--type",       "hdd", "--medium", file};
    };
    auto property = [&](const char *name, const QString &value) {
        return QStringList{"guestproperty", "set", kVm, name, value};
    };
    auto shareAdd = [&](const char *name, const char *dir) {
        return QStringList{"sharedfolder",
                           "add",
                           kVm,
                           "--name",
                           name,
                           "--hostpath",
                           share + QLatin1Char('/') + QLatin1String(dir),
                           "--automount"};
    };
    auto rule = [&](const char *name, int host, int guest) {
        return QStringList{"modifyvm", kVm, "--natpf1",
                           QStringLiteral("%1,tcp,127.0.0.1,%2,10.0.2.15,%3")
                               .arg(name)
                               .arg(host + m_tree->portOffset())
                               .arg(guest)};
    };
    const Calls expected{
        // image check: nothing registered, so the machine is built from the image
        {"list", "vms"},
        {"setproperty", "machinefolder", install + "/vbox"},
        {"createvm", "--name", kVm, "--register", "--ostype", "Linux"},
        {"modifyvm", kVm, "--boot1", "disk", "--boot2", "none", "--boot3", "none", "--boot4", "none"},
        {"storagectl", kVm, "--name", "IDE", "--add", "ide"},
        {"internalcommands", "sethduuid", folder + "/android_system_disk.vmdk"},
        attach("0", "0", folder + "/android_system_disk.vmdk"),
        {"internalcommands", "sethduuid", folder + "/android_data_disk.vmdk"},
        attach("0", "1", folder + "/android_data_disk.vmdk"),
        {"internalcommands", "sethduuid", folder + "/android_sdcard_disk.vmdk"},
        attach("1", "0", folder + "/android_sdcard_disk.vmdk"),
        property("orvanta_ova_version", "1.0.0"),
        // machine check: the three listings and the machine information (powered off: no stop)
        {"list", "hostinfo"},
        {"showvminfo", kVm, "--machinereadable"},
        {"guestproperty", "enumerate", kVm},
        {"getextradata", kVm, "enumerate"},
        // the port choice reads the other machines' forwards (there are none)
        {"list", "vms"},
        // configuration
        shareAdd("event", "event"),
        shareAdd("game", "game"),
        shareAdd("picture", "image"),
        shareAdd("other", "other"),
        property("orvanta_channel", "1208"),
        property("orvanta_uuid", kInstallUuid),
        property("orvanta_yelt_port", QString::number(40000 + m_tree->portOffset())),
        {"modifyvm", kVm, "--audiocontroller", "ac97", "--audio", "pulse"},
        {"modifyvm", kVm, "--vram", "12", "--acpi", "on"},
        {"modifyvm", kVm, "--ioapic", "on", "--longmode", "on", "--pae", "on", "--largepages", "off",
         "--rtcuseutc", "on"},
        property("hardware_opengl", "1"),
        property("su_bypass", "1"),
        property("vkeyboard_mode", ""),
        property("orvanta_render_mode", "dx"),
        property("is_first_run", "true"),
        // network: adapter 1 of a new machine is already NAT on the wanted card
        {"modifyvm", kVm, "--nic2", "nat", "--cableconnected2", "on", "--macaddress2", "auto", "--nictype2",
         "82540EM", "--nictrace2", "off"},
        {"setextradata", kVm, "VBoxInternal/PDM/Devices/OrvSpeed/Path",
         m_tree->versionDir() + "/player/OrvSpeed-x64.so"},
        {"setextradata", kVm, "VBoxInternal/Devices/OrvSpeed/0/anything", "OrvSpeed"},
        {"setextradata", kVm, "VBoxInternal/Devices/OrvSpeed/0/Trusted", "1"},
        property("emu_id", pid),
        rule("opengl", 20000, 22468),
        rule("vinput", 25000, 22469),
        rule("pavix", 30000, 27000),
        rule("adb", 35000, 5555),
        rule("yelt", 40000, 12121),
        property("stream_mode", "speed"),
        {"modifyvm", kVm, "--cpus", "2"},
        {"modifyvm", kVm, "--memory", "3000"},
        property("vbox_graph_mode", "1280x720-16"),
        property("vbox_dpi", "240"),
        {"startvm", kVm, "--type", "headless"},
    };
    const Calls actual = calls();
    for (int i = 0; i < qMin(actual.size(), expected.size()); ++i)
        QCOMPARE(actual.at(i), expected.at(i));
    QCOMPARE(actual.size(), expected.size());

    // What the tool now keeps for the machine.
    const QList<QPair<QString, QString>> settings{
        {"VMState", "running"},
        {"boot1", "disk"},
        {"IDE-0-0", folder + "/android_system_disk.vmdk"},
        {"IDE-0-1", folder + "/android_data_disk.vmdk"},
        {"IDE-1-0", folder + "/android_sdcard_disk.vmdk"},
        {"cpus", "2"},
        {"memory", "3000"},
        {"hwvirtex", "on"},
        {"audio", "pulse"},
        {"vram", "12"},
        {"acpi", "on"},
        {"usb", "off"},
        {"ehci", "off"},
        {"ioapic", "on"},
        {"longmode", "on"},
        {"pae", "on"},
        {"largepages", "off"},
        {"rtcuseutc", "on"},
        {"nic1", "nat"},
        {"nictype1", "82540EM"},
        {"cableconnected1", "on"},
        {"nic2", "nat"},
        {"nictype2", "82540EM"},
        {"cableconnected2", "on"},
        {"SharedFolderNameMachineMapping3", "picture"},
        {"SharedFolderPathMachineMapping3", share + "/image"},
    };
    for (const auto &setting : settings)
        QCOMPARE(vmValue(setting.first), setting.second);
    QString info;
    tool({"showvminfo", kVm, "--machinereadable"}, &info);
    for (const QString &forward :
         {QStringLiteral("opengl,tcp,127.0.0.1,%1,10.0.2.15,22468").arg(20000 + m_tree->portOffset()),
          QStringLiteral("yelt,tcp,127.0.0.1,%1,10.0.2.15,12121").arg(40000 + m_tree->portOffset())})
        QVERIFY2(info.contains(forward), qPrintable(forward));

    const QHash<QString, QString> expectedProperties{
        {"orvanta_ova_version", "1.0.0"},
        {"orvanta_channel", "1208"},
        {"orvanta_uuid", kInstallUuid},
        {"orvanta_yelt_port", QString::number(40000 + m_tree->portOffset())},
        {"hardware_opengl", "1"},
        {"su_bypass", "1"},
        {"vkeyboard_mode", "<none>"},
        {"orvanta_render_mode", "dx"},
        {"is_first_run", "true"},
        {"emu_id", pid},
        {"stream_mode", "speed"},
        {"vbox_graph_mode", "1280x720-16"},
        {"vbox_dpi", "240"}};
    QCOMPARE(guestProperties(), expectedProperties);
    QString extra;
    tool({"getextradata", kVm, "enumerate"}, &extra);
    QVERIFY2(extra.contains("Key: VBoxInternal/Devices/OrvSpeed/0/Trusted, Value: 1"), qPrintable(extra));

    for (const char *dir : {"event", "game", "image", "other"})
        QVERIFY(QFileInfo(share + QLatin1Char('/') + QLatin1String(dir)).isDir());
    QCOMPARE(Global::imagePath, share + QStringLiteral("/image"));
    QCOMPARE(Global::vmPort, pid);
    QVERIFY(Global::systemInfo.startWithVt);
    QCOMPARE(m_tool->vmInfo().value("VMState"), QStringLiteral("running"));
    QVERIFY(m_tool->vmNames().contains(kVm));
    QVERIFY(g_log.contains(QStringLiteral("VBoxTool   : check ova ok")));
}

void TestVBoxMachine::warmStartWritesOnlyWhatChanged()
{
    start();
    // The quit sequence of the first run.
    m_tool->stopVM();
    m_tool->clearEmuId();
    QCOMPARE(vmValue("VMState"), QStringLiteral("poweroff"));

    newTool();
    clearCalls();
    start();
    // The first-run flag moves on, the process id is published again, and the machine starts.
    const Calls expected{
        {"guestproperty", "set", kVm, "is_first_run", "false"},
        {"guestproperty", "set", kVm, "emu_id", QString::number(QCoreApplication::applicationPid())},
        {"startvm", kVm, "--type", "headless"}};
    QCOMPARE(modifyingCalls(), expected);
}

void TestVBoxMachine::systemDiskFollowsTheImageVersion_data()
{
    QTest::addColumn<QString>("built");   // the machine's built-from version; empty: property unset
    QTest::addColumn<QString>("shipped"); // the installation's image version
    QTest::addColumn<bool>("replaced");
    QTest::newRow("older image on the machine") << "1.0.0"
                                                << "1.0.1" << true;
    QTest::newRow("text order, not numbers") << "1.10.0"
                                             << "1.9.0" << true;
    QTest::newRow("no version property") << ""
                                         << "1.0.0" << true;
    QTest::newRow("same version") << "1.0.0"
                                  << "1.0.0" << false;
    QTest::newRow("newer on the machine") << "1.0.2"
                                          << "1.0.1" << false;
}

void TestVBoxMachine::systemDiskFollowsTheImageVersion()
{
    QFETCH(QString, built);
    QFETCH(QString, shipped);
    QFETCH(bool, replaced);
    start();
    tool({"controlvm", kVm, "poweroff"});
    if (built.isEmpty())
        tool({"guestproperty", "unset", kVm, "orvanta_ova_version"});
    else
        tool({"guestproperty", "set", kVm, "orvanta_ova_version", built});
    m_tree->writeInstallKey({{"ModuleInfo/ova", shipped}});
    Global::loadInstallInfo();
    const QString oldSystem = vmFolder() + "/android_system_disk.vmdk";
    const QByteArray data = fileHash(vmFolder() + "/android_data_disk.vmdk");
    const QByteArray sdcard = fileHash(vmFolder() + "/android_sdcard_disk.vmdk");

    newTool();
    clearCalls();
    QCOMPARE(m_tool->checkOva(), 1);
    const QString newSystem = vmFolder() + "/system_" + shipped + ".vmdk";
    Calls expected{{"list", "vms"},
                   {"showvminfo", kVm, "--machinereadable"},
                   {"guestproperty", "get", kVm, "orvanta_ova_version"}};
    if (replaced) {
        const QStringList attach{"storageattach", kVm, "--storagectl", "IDE", "--port",  "0",
                                 "--device",      "0", "--type",       "hdd", "--medium"};
        expected << (attach + QStringList{"none"})
                 << QStringList{"closemedium", "disk", oldSystem, "--delete"}
                 << QStringList{"internalcommands", "sethduuid", newSystem}
                 << (attach + QStringList{newSystem})
                 << QStringList{"guestproperty", "set", kVm, "orvanta_ova_version", shipped};
    }
    QCOMPARE(calls(), expected);
    QCOMPARE(m_tool->installedOvaVersion(), built);
    QCOMPARE(QFileInfo::exists(oldSystem), !replaced);
    QCOMPARE(QFileInfo::exists(newSystem), replaced);
    QCOMPARE(vmValue("IDE-0-0"), replaced ? newSystem : oldSystem);
    // The user's disks are never touched by a version change.
    QCOMPARE(fileHash(vmFolder() + "/android_data_disk.vmdk"), data);
    QCOMPARE(fileHash(vmFolder() + "/android_sdcard_disk.vmdk"), sdcard);
}

void TestVBoxMachine::missingUserDiskIsRebuilt_data()
{
    QTest::addColumn<bool>("fileDeleted"); // else the slot was emptied
    QTest::newRow("disk file deleted") << true;
    QTest::newRow("slot none") << false;
}

void TestVBoxMachine::missingUserDiskIsRebuilt()
{
    QFETCH(bool, fileDeleted);
    start();
    tool({"controlvm", kVm, "poweroff"});
    const QString oldData = vmFolder() + "/android_data_disk.vmdk";
    const QStringList attach{"storageattach", kVm, "--storagectl", "IDE", "--port",  "0",
                             "--device",      "1", "--type",       "hdd", "--medium"};
    if (fileDeleted)
        QVERIFY(QFile::remove(oldData));
    else
        tool(attach + QStringList{"none"});
    const QByteArray sdcard = fileHash(vmFolder() + "/android_sdcard_disk.vmdk");

    newTool();
    clearCalls();
    QCOMPARE(m_tool->checkOva(), 1);
    const QString newData = vmFolder() + "/data_1.0.0.vmdk";
    Calls expected{{"list", "vms"},
                   {"showvminfo", kVm, "--machinereadable"},
                   {"guestproperty", "get", kVm, "orvanta_ova_version"}};
    if (fileDeleted) // a file that is gone is detached and forgotten first
        expected << (attach + QStringList{"none"}) << QStringList{"closemedium", "disk", oldData, "--delete"};
    expected << QStringList{"internalcommands", "sethduuid", newData} << (attach + QStringList{newData});
    QCOMPARE(calls(), expected);
    QCOMPARE(vmValue("IDE-0-1"), newData);
    // The tool cannot delete a file that is already gone; the repair goes on regardless.
    QCOMPARE(g_log.contains(QStringLiteral("VBoxTool   : disk file already gone ") + oldData), fileDeleted);
    QCOMPARE(fileHash(vmFolder() + "/android_sdcard_disk.vmdk"), sdcard);
}

void TestVBoxMachine::foreignRegistrationIsRebuiltHere()
{
    // The machine was registered by an installation elsewhere.
    const QString otherFolder = m_tree->root() + QStringLiteral("/old-install/vbox");
    tool({"createvm", "--name", kVm, "--register", "--ostype", "Linux", "--basefolder", otherFolder});
    QVERIFY(QFileInfo(otherFolder + '/' + kVm).isDir());
    clearCalls();

    QCOMPARE(m_tool->checkOva(), 1);
    const Calls actual = calls();
    QVERIFY(actual.size() > 5);
    const Calls head{{"list", "vms"},
                     {"showvminfo", kVm, "--machinereadable"},
                     {"unregistervm", kVm, "--delete"},
                     {"setproperty", "machinefolder", m_tree->installDir() + "/vbox"},
                     {"createvm", "--name", kVm, "--register", "--ostype", "Linux"}};
    QCOMPARE(actual.mid(0, head.size()), head);
    QVERIFY(!QFileInfo::exists(otherFolder + '/' + kVm));
    QCOMPARE(vmValue("CfgFile"), vmFolder() + '/' + kVm + ".vbox");
    QCOMPARE(vmValue("IDE-1-0"), vmFolder() + "/android_sdcard_disk.vmdk");
}

void TestVBoxMachine::foreignFolderOfAnotherNameIsKept()
{
    // A machine registered from a folder that does not carry its name (moved by hand, say).
    const QString other = m_tree->root() + QStringLiteral("/old-install/vbox");
    tool({"createvm", "--name", kVm, "--register", "--ostype", "Linux", "--basefolder", other});
    tool({"unregistervm", kVm});
    const QString moved = other + QStringLiteral("/keep-me");
    QVERIFY(QDir().rename(other + '/' + kVm, moved));
    QFile notes(moved + QStringLiteral("/notes.txt"));
    QVERIFY(notes.open(QIODevice::WriteOnly));
    notes.write("the user's own file\n");
    notes.close();
    tool({"registervm", moved + '/' + kVm + ".vbox"});
    clearCalls();

    QCOMPARE(m_tool->checkOva(), 1);
    QCOMPARE(calls().mid(0, 3), Calls({{"list", "vms"},
                                       {"showvminfo", kVm, "--machinereadable"},
                                       {"unregistervm", kVm, "--delete"}}));
    QVERIFY(QFileInfo::exists(moved + QStringLiteral("/notes.txt")));
    QCOMPARE(vmValue("CfgFile"), vmFolder() + '/' + kVm + ".vbox");
}

void TestVBoxMachine::oldDefaultMachineIsRenamed()
{
    Global::vmName = QStringLiteral("Orvanta_0");
    tool({"setproperty", "machinefolder", m_tree->installDir() + "/vbox"});
    tool({"createvm", "--name", "Orvanta", "--register", "--ostype", "Linux"});
    clearCalls();
    const int code = m_tool->checkOva();
    Global::vmName = kVm;
    QCOMPARE(code, 1);
    const Calls actual = calls();
    QVERIFY(actual.size() >= 3);
    QCOMPARE(actual.at(1), QStringList({"modifyvm", "Orvanta", "--name", "Orvanta_0"}));
    QCOMPARE(actual.at(2), QStringList({"showvminfo", "Orvanta_0", "--machinereadable"}));
    // The renamed machine already lives in its own folder: it is kept.
    QVERIFY(!actual.contains(QStringList({"unregistervm", "Orvanta_0", "--delete"})));
    QVERIFY(m_tool->vmNames().contains("Orvanta_0"));
    QVERIFY(!m_tool->vmNames().contains("Orvanta"));
}

void TestVBoxMachine::unreadableMachineLeavesDisksAlone()
{
    start();
    tool({"controlvm", kVm, "poweroff"});
    QMap<QString, QByteArray> disks;
    for (const char *name :
         {"android_system_disk.vmdk", "android_data_disk.vmdk", "android_sdcard_disk.vmdk"})
        disks.insert(name, fileHash(vmFolder() + '/' + name));
    setFaults(QJsonArray{QJsonObject{
        {"match", "showvminfo *"}, {"stderr", "{prog}: error: The object is not ready\n"}, {"times", 1}}});

    newTool();
    clearCalls();
    QCOMPARE(m_tool->checkOva(), 1);
    // No folder test, no repair: only the reads.
    QCOMPARE(calls(), Calls({{"list", "vms"},
                             {"showvminfo", kVm, "--machinereadable"},
                             {"guestproperty", "get", kVm, "orvanta_ova_version"}}));
    for (auto it = disks.cbegin(); it != disks.cend(); ++it)
        QCOMPARE(fileHash(vmFolder() + '/' + it.key()), it.value());
    QCOMPARE(vmValue("IDE-0-1"), vmFolder() + "/android_data_disk.vmdk");
    QCOMPARE(vmValue("IDE-1-0"), vmFolder() + "/android_sdcard_disk.vmdk");
}

namespace {

const QByteArray kDataMarker = "\nthe user's saved games\n";

bool holdsMarker(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) && file.readAll().contains(kDataMarker);
}

bool appendMarker(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::Append) && file.write(kDataMarker) == kDataMarker.size();
}

} // namespace

void TestVBoxMachine::toolFaultsNeverCostTheDataDisk_data()
{
    QTest::addColumn<QJsonArray>("faults");
    QTest::addColumn<bool>("garbleSettings"); // the machine's settings file unreadable, its backup intact
    QTest::addColumn<bool>("mayRecover");     // else the check must report the failure

    const auto once = [](QJsonObject rule) {
        rule.insert("times", 1);
        return QJsonArray{rule};
    };
    QTest::newRow("list vms empty") << once({{"match", "list vms"}, {"stdout", ""}, {"exit", 0}}) << false
                                    << false;
    QTest::newRow("list vms killed") << once({{"match", "list vms"}, {"exit", 137}}) << false << false;
    QTest::newRow("list vms cut off")
        << once({{"match", "list vms"}, {"stdout", "\"Orvanta_1\" {0b1c"}, {"exit", 0}}) << false << false;
    QTest::newRow("showvminfo cut off, foreign log folder")
        << once({{"match", "showvminfo *"},
                 {"stdout", "name=\"Orvanta_1\"\nCfgFile=\"/elsewhere/Orvanta_1/Orvanta_1.vbox\"\n"
                            "LogFldr=\"/elsewhere/Orvanta_1/Logs\"\nIDE-0-1=\"none\"\nVMState=\"powe"},
                 {"exit", 0}})
        << false << true;
    QTest::newRow("showvminfo killed, foreign log folder")
        << once({{"match", "showvminfo *"},
                 {"stdout", "name=\"Orvanta_1\"\nLogFldr=\"/elsewhere/Orvanta_1/Logs\"\nIDE-0-1=\"none\"\n"},
                 {"exit", 137}})
        << false << true;
    QTest::newRow("showvminfo empty")
        << once({{"match", "showvminfo *"}, {"stdout", ""}, {"exit", 0}}) << false << true;
    QTest::newRow("showvminfo killed silent")
        << once({{"match", "showvminfo *"}, {"exit", 137}}) << false << true;
    QTest::newRow("list vms without the machine")
        << once({{"match", "list vms"},
                 {"stdout", "\"Other_1\" {0b1c0000-0000-4000-8000-000000000001}\n"},
                 {"exit", 0}})
        << false << true;
    QTest::newRow("list hdds killed") << once({{"match", "list hdds"}, {"exit", 137}}) << false << true;
    QTest::newRow("unreadable machine file") << QJsonArray() << true << true;
}

void TestVBoxMachine::toolFaultsNeverCostTheDataDisk()
{
    QFETCH(QJsonArray, faults);
    QFETCH(bool, garbleSettings);
    QFETCH(bool, mayRecover);
    start();
    tool({"controlvm", kVm, "poweroff"});
    const QString dataDisk = vmFolder() + "/android_data_disk.vmdk";
    const QString sdcardDisk = vmFolder() + "/android_sdcard_disk.vmdk";
    QVERIFY(appendMarker(dataDisk));
    QVERIFY(appendMarker(sdcardDisk));
    if (garbleSettings) {
        const QString settings = vmFolder() + '/' + kVm + ".vbox";
        QVERIFY(QFile::exists(settings + "-prev") || QFile::copy(settings, settings + "-prev"));
        QFile file(settings);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("{\"uuid\": \"trunc");
    }
    setFaults(faults);

    newTool();
    clearCalls();
    const int result = m_tool->checkOva();
    for (const QStringList &args : calls())
        QVERIFY2(!args.contains("--delete") && !args.contains("closemedium"), qPrintable(args.join(' ')));
    if (!mayRecover || result != 1) {
        QVERIFY2(result != 1, "a doubtful tool answer must not pass for success");
        QVERIFY(holdsMarker(dataDisk));
        QVERIFY(holdsMarker(sdcardDisk));
        QCOMPARE(vmValue("IDE-0-1"), dataDisk);
        return;
    }
    // Recovered: the machine the tool now keeps runs on the user's own disks.
    QVERIFY2(holdsMarker(vmValue("IDE-0-1")), qPrintable(vmValue("IDE-0-1")));
    QVERIFY2(holdsMarker(vmValue("IDE-1-0")), qPrintable(vmValue("IDE-1-0")));
    if (garbleSettings) {
        // The broken folder was moved aside, not deleted; the log says so.
        const QStringList aside = QDir(m_tree->installDir() + "/vbox")
                                      .entryList({"." + kVm + "-moved-*"}, QDir::Dirs | QDir::Hidden);
        QCOMPARE(aside.size(), 1);
        QVERIFY(
            QFileInfo::exists(m_tree->installDir() + "/vbox/" + aside.first() + '/' + kVm + ".vbox-prev"));
        QVERIFY(std::any_of(g_log.cbegin(), g_log.cend(), [](const QString &line) {
            return line.contains("old machine folder moved aside");
        }));
    }
}

void TestVBoxMachine::nameTheToolRewritesKeepsItsDisks_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("toolFolder"); // the folder name the tool makes of it
    QTest::newRow("trailing dot") << "Orvanta_7."
                                  << "Orvanta_7_";
    QTest::newRow("trailing dots") << "Orvanta_9.."
                                   << "Orvanta_9._";
}

void TestVBoxMachine::nameTheToolRewritesKeepsItsDisks()
{
    QFETCH(QString, name);
    QFETCH(QString, toolFolder);
    Global::vmName = name;
    const auto restoreName = qScopeGuard([] { Global::vmName = kVm; });
    QCOMPARE(m_tool->checkOva(), 1);
    const QString folder = m_tree->installDir() + "/vbox/" + toolFolder;
    QCOMPARE(m_tool->vmFolder(), folder);
    QString info;
    tool({"showvminfo", name, "--machinereadable"}, &info);
    QVERIFY2(info.contains("\"IDE-0-1\"=\"" + folder + "/android_data_disk.vmdk\""), qPrintable(info));
    QVERIFY(appendMarker(folder + "/android_data_disk.vmdk"));

    // The next starts find the machine where the tool keeps it and leave it be.
    for (int run = 0; run < 2; ++run) {
        newTool();
        clearCalls();
        QCOMPARE(m_tool->checkOva(), 1);
        QCOMPARE(calls(), Calls({{"list", "vms"},
                                 {"showvminfo", name, "--machinereadable"},
                                 {"guestproperty", "get", name, "orvanta_ova_version"}}));
        QVERIFY(holdsMarker(folder + "/android_data_disk.vmdk"));
    }
    QVERIFY(!QFileInfo::exists(m_tree->installDir() + "/vbox/" + name));
}

void TestVBoxMachine::folderOfAnotherMachineIsNeverTaken_data()
{
    QTest::addColumn<QString>("owner");    // the machine already built, with the user's data
    QTest::addColumn<QString>("newcomer"); // another name that the tool keeps in the same folder
    QTest::addColumn<QString>("folder");
    // The newcomer's own folder name is free, but the tool refuses its settings file in the owner's.
    QTest::newRow("Work. after Work_") << "Work_"
                                       << "Work."
                                       << "Work_";
    QTest::newRow("-x after _x") << "_x"
                                 << "-x"
                                 << "_x";
    // The newcomer's folder name is taken by the owner's folder.
    QTest::newRow("Work_ after Work.") << "Work."
                                       << "Work_"
                                       << "Work_";
    QTest::newRow("_x after .x") << ".x"
                                 << "_x"
                                 << "_x";
}

void TestVBoxMachine::folderOfAnotherMachineIsNeverTaken()
{
    QFETCH(QString, owner);
    QFETCH(QString, newcomer);
    QFETCH(QString, folder);
    const auto restoreName = qScopeGuard([] { Global::vmName = kVm; });
    const QString vbox = m_tree->installDir() + "/vbox";
    Global::vmName = owner;
    QCOMPARE(m_tool->checkOva(), 1);
    const QString dataDisk = vmValueOf(owner, "IDE-0-1");
    const QString sdcardDisk = vmValueOf(owner, "IDE-1-0");
    QCOMPARE(QFileInfo(dataDisk).path(), vbox + '/' + folder);
    QVERIFY(appendMarker(dataDisk));
    QVERIFY(appendMarker(sdcardDisk));
    const QString ownerUuid = vmValueOf(owner, "UUID");
    const QStringList before = QDir(vbox).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    // The newcomer is refused: nothing of the owner's is moved, detached or taken.
    for (int attempt = 0; attempt < 2; ++attempt) {
        newTool();
        Global::vmName = newcomer;
        g_log.clear();
        clearCalls();
        QCOMPARE(m_tool->checkOva(), 1002);
        QVERIFY2(std::any_of(g_log.cbegin(), g_log.cend(),
                             [&](const QString &line) {
                                 return line.contains("belongs to the registered machine '" + owner + "' {" +
                                                      ownerUuid + "}, not '" + newcomer + "'");
                             }),
                 qPrintable(g_log.join('\n')));
        for (const QStringList &args : modifyingCalls()) {
            QVERIFY2(!args.contains(owner) && !args.contains("--delete") && args.value(0) != "closemedium" &&
                         args.value(0) != "storageattach",
                     qPrintable(args.join(' ')));
        }
        QCOMPARE(QDir(vbox).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    }

    // The owner's next start finds its machine whole, on the user's own disks.
    newTool();
    Global::vmName = owner;
    clearCalls();
    QCOMPARE(m_tool->checkOva(), 1);
    QCOMPARE(modifyingCalls(), Calls());
    QCOMPARE(vmValueOf(owner, "UUID"), ownerUuid);
    QCOMPARE(vmValueOf(owner, "IDE-0-1"), dataDisk);
    QCOMPARE(vmValueOf(owner, "IDE-1-0"), sdcardDisk);
    QVERIFY(holdsMarker(dataDisk));
    QVERIFY(holdsMarker(sdcardDisk));
    QString list;
    tool({"list", "vms"}, &list);
    QVERIFY2(!list.contains("<inaccessible>"), qPrintable(list));
}

void TestVBoxMachine::disksOfAnotherMachineAreNeverTaken_data()
{
    QTest::addColumn<QString>("owner");   // the machine built first, with the user's data on its data disk
    QTest::addColumn<QString>("staging"); // how its disk comes to lie where the newcomer looks
    QTest::addColumn<QString>("newcomer");
    QTest::addColumn<QString>("refusal"); // in the log line that says why

    QTest::newRow("a link to another machine's folder") << "Alpha"
                                                        << "link"
                                                        << "Beta"
                                                        << "it is a link to ";
    QTest::newRow("an unreadable machine filed under the newcomer's name") << "Job."
                                                                           << "garble"
                                                                           << "Job_"
                                                                           << "belongs to the machine 'Job.'";
    QTest::newRow("a registered machine's disk in the newcomer's folder")
        << "Other"
        << "disk"
        << "Gamma"
        << "is used by the registered machine 'Other'";
}

void TestVBoxMachine::disksOfAnotherMachineAreNeverTaken()
{
    QFETCH(QString, owner);
    QFETCH(QString, staging);
    QFETCH(QString, newcomer);
    QFETCH(QString, refusal);
    const auto restoreName = qScopeGuard([] { Global::vmName = kVm; });
    const QString vbox = m_tree->installDir() + "/vbox";
    Global::vmName = owner;
    QCOMPARE(m_tool->checkOva(), 1);
    QString dataDisk = vmValueOf(owner, "IDE-0-1");
    const QString ownerFolder = QFileInfo(dataDisk).path();
    QString settings = vmValueOf(owner, "CfgFile");
    if (staging == "link") {
        QVERIFY(QFile::link(ownerFolder, vbox + '/' + newcomer));
    } else if (staging == "garble") {
        // The owner's settings file becomes unreadable (its backup stays): the tool lists it as inaccessible.
        QCOMPARE(QFileInfo(settings).path(), vbox + '/' + newcomer);
        QVERIFY(QFile::exists(settings + "-prev") || QFile::copy(settings, settings + "-prev"));
        QFile file(settings);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("{\"uuid\": \"trunc");
    } else if (staging == "disk") {
        // The owner's data disk lives in a folder of the newcomer's name.
        QVERIFY(QDir().mkpath(vbox + '/' + newcomer));
        const QString moved = vbox + '/' + newcomer + "/android_data_disk.vmdk";
        tool({"storageattach", owner, "--storagectl", "IDE", "--port", "0", "--device", "1", "--type", "hdd",
              "--medium", "none"});
        tool({"closemedium", "disk", dataDisk});
        QVERIFY(QFile::rename(dataDisk, moved));
        tool({"storageattach", owner, "--storagectl", "IDE", "--port", "0", "--device", "1", "--type", "hdd",
              "--medium", moved});
        dataDisk = moved;
        QCOMPARE(vmValueOf(owner, "IDE-0-1"), dataDisk);
    }
    QVERIFY(appendMarker(dataDisk));
    const QByteArray dataBytes = fileHash(dataDisk);
    const QStringList before = QDir(vbox).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);

    // The newcomer is refused with a line that says why, and nothing of the owner's is moved or taken.
    for (int attempt = 0; attempt < 2; ++attempt) {
        newTool();
        Global::vmName = newcomer;
        g_log.clear();
        clearCalls();
        QCOMPARE(m_tool->checkOva(), 1002);
        QVERIFY2(std::any_of(g_log.cbegin(), g_log.cend(),
                             [&](const QString &line) {
                                 return line.contains("machine folder " + vbox + '/' + newcomer) &&
                                        line.contains(refusal) && line.contains("left alone");
                             }),
                 qPrintable(g_log.join('\n')));
        for (const QStringList &args : modifyingCalls()) {
            QVERIFY2(!args.contains("--delete") && args.value(0) != "closemedium" &&
                         args.value(0) != "storageattach",
                     qPrintable(args.join(' ')));
        }
        QCOMPARE(QDir(vbox).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
        QCOMPARE(fileHash(dataDisk), dataBytes);
    }

    // The owner still has its disk with the user's data (its settings put back where they were garbled).
    if (staging == "garble") {
        QVERIFY(QFile::remove(settings));
        QVERIFY(QFile::copy(settings + "-prev", settings));
        QString list;
        tool({"list", "vms"}, &list);
        if (!list.contains('"' + owner + '"'))
            tool({"registervm", settings});
    }
    QCOMPARE(vmValueOf(owner, "IDE-0-1"), dataDisk);
    QVERIFY(holdsMarker(dataDisk));
    newTool();
    Global::vmName = owner;
    QCOMPARE(m_tool->checkOva(), 1);
    QCOMPARE(vmValueOf(owner, "IDE-0-1"), dataDisk);
    QVERIFY(holdsMarker(dataDisk));
}

void TestVBoxMachine::quitConfirmsTheStop_data()
{
    QTest::addColumn<QJsonArray>("faults");
    QTest::addColumn<bool>("running");   // the machine runs when the quit begins
    QTest::addColumn<bool>("confirmed"); // the quit may say STOP
    QTest::addColumn<bool>("stillRuns"); // "list runningvms" names the machine afterwards
    QTest::addColumn<int>("readings");   // showvminfo runs at the quit

    const auto once = [](QJsonObject rule) {
        rule.insert("times", 1);
        return QJsonArray{rule};
    };
    const QJsonObject info{{"match", "showvminfo *"}, {"exit", 0}};
    const auto answer = [&](const QString &text, int exitCode = 0) {
        QJsonObject rule = info;
        rule.insert("stdout", text);
        rule.insert("exit", exitCode);
        return rule;
    };
    QTest::newRow("whole answer, running") << QJsonArray() << true << true << false << 2;
    QTest::newRow("whole answer, powered off") << QJsonArray() << false << true << false << 1;
    QTest::newRow("empty answer") << once(answer("")) << true << true << false << 2;
    QTest::newRow("killed") << once(answer("name=\"Orvanta_1\"\n", 137)) << true << true << false << 2;
    QTest::newRow("cut off") << once(answer("name=\"Orvanta_1\"\nVMState=\"runn")) << true << true << false
                             << 2;
    QTest::newRow("garbled") << once(answer("\x01\x02 not a listing\n")) << true << true << false << 2;
    QTest::newRow("whole but without a state")
        << once(answer("name=\"Orvanta_1\"\nUUID=\"0b1c0000-0000-4000-8000-000000000001\"\n")) << true << true
        << false << 2;
    QTest::newRow("another machine's answer")
        << once(answer("name=\"Other\"\nVMState=\"poweroff\"\n")) << true << true << false << 2;
    // The machine is powered off anyway, but no answer confirms it.
    QTest::newRow("empty at every reading") << QJsonArray{answer("")} << true << false << false << 3;
    QTest::newRow("hangs once") << once(QJsonObject{{"match", "showvminfo *"}, {"hang", true}}) << true
                                << false << false << 1;
    QTest::newRow("hangs always") << QJsonArray{QJsonObject{{"match", "showvminfo *"}, {"hang", true}}}
                                  << true << false << false << 1;
    // One "not found" while the machine runs is no proof that it is gone: the lists say it runs, so it is
    // powered off and the next reading confirms the stop.
    QTest::newRow("not found once while running")
        << once(QJsonObject{{"match", "showvminfo *"},
                            {"stderr", "{prog}: error: Could not find a registered machine named "
                                       "'Orvanta_1'\n{prog}: error: Details: code VBOX_E_OBJECT_NOT_FOUND "
                                       "(0x80bb0001), component VirtualBoxWrap, interface IVirtualBox, "
                                       "callee nsISupports\n"},
                            {"exit", 1}})
        << true << true << false << 2;
    QTest::newRow("power-off refused")
        << QJsonArray{QJsonObject{{"match", "controlvm * poweroff"},
                                  {"stderr", "{prog}: error: The object is not ready\n"}}}
        << true << false << true << 3;
}

void TestVBoxMachine::quitConfirmsTheStop()
{
    QFETCH(QJsonArray, faults);
    QFETCH(bool, running);
    QFETCH(bool, confirmed);
    QFETCH(bool, stillRuns);
    QFETCH(int, readings);
    if (running)
        start();
    else
        prepare();
    QCOMPARE(runningVms().size(), running ? 1 : 0);

    // The quit's reading goes through the same object that started the machine.
    setFaults(faults);
    clearCalls();
    g_log.clear();
    QCOMPARE(m_tool->stopVMForQuit(), confirmed);
    setFaults(QJsonArray());

    QCOMPARE(runningVms().size(), stillRuns ? 1 : 0);
    const Calls actual = calls();
    QCOMPARE(actual.count({"showvminfo", kVm, "--machinereadable"}), readings);
    if (!confirmed) {
        QVERIFY2(std::any_of(g_log.cbegin(), g_log.cend(),
                             [](const QString &line) {
                                 return line.startsWith("VBoxTool   : machine state unknown at quit") ||
                                        line.startsWith("VBoxTool   : machine not confirmed stopped");
                             }),
                 qPrintable(g_log.join('\n')));
    }
    // A hanging reading costs one time-out: one run, never the service restart and a second wait.
    QVERIFY(!QFile::exists(stateDir() + "/service.log"));
}

void TestVBoxMachine::startErrors_data()
{
    QTest::addColumn<QJsonArray>("faults");
    QTest::addColumn<int>("result");
    QTest::addColumn<int>("startRuns");
    QTest::addColumn<bool>("withVt");
    QTest::addColumn<Calls>("fallback"); // the writes between the last two starts
    QTest::addColumn<QString>("errorText");

    const QString ldr =
        QStringLiteral("{prog}: error: The native loader failed (VERR_LDR_MISMATCH_NATIVE)\n");
    const QString vmx = QStringLiteral("{prog}: error: VT-x is not available (VERR_VMX_NO_VMX)\n");
    const QString svm = QStringLiteral("{prog}: error: AMD-V is disabled in the BIOS (VERR_SVM_DISABLED)\n");
    const Calls noVt{{"modifyvm", kVm, "--hwvirtex", "off"},
                     {"modifyvm", kVm, "--memory", "1638"}, // 20 % of 8192 MB
                     {"modifyvm", kVm, "--cpus", "1"}};
    auto rule = [](const QString &err, int times) {
        QJsonObject rule{{"match", "startvm *"}, {"stderr", err}};
        if (times > 0)
            rule.insert("times", times);
        return rule;
    };
    QTest::newRow("loader mismatch once") << QJsonArray{rule(ldr, 1)} << 1 << 2 << true << Calls() << "";
    QTest::newRow("loader mismatch always")
        << QJsonArray{rule(ldr, 0)} << 1008 << 21 << true << Calls() << "VERR_LDR_MISMATCH_NATIVE";
    QTest::newRow("VT-x unusable") << QJsonArray{rule(vmx, 1)} << 1 << 2 << false << noVt << "";
    QTest::newRow("AMD-V unusable at every try")
        << QJsonArray{rule(svm, 0)} << 1008 << 2 << false << noVt << "VERR_SVM_DISABLED";
    QTest::newRow("loader mismatch and AMD-V at every try")
        << QJsonArray{rule(ldr.trimmed() + " VERR_SVM_DISABLED\n", 0)} << 1008 << 22 << false << noVt
        << "VERR_SVM_DISABLED";
    QTest::newRow("other tool error")
        << QJsonArray{rule(QStringLiteral("{prog}: error: The machine 'x' is already locked by a session\n"),
                           0)}
        << 1008 << 1 << true << Calls() << "already locked";
    QTest::newRow("accepted without success")
        << QJsonArray{QJsonObject{
               {"match", "startvm *"}, {"stdout", "Waiting for VM to power on...\n"}, {"exit", 0}}}
        << 1018 << 1 << true << Calls() << "";
}

void TestVBoxMachine::startErrors()
{
    QFETCH(QJsonArray, faults);
    QFETCH(int, result);
    QFETCH(int, startRuns);
    QFETCH(bool, withVt);
    QFETCH(Calls, fallback);
    QFETCH(QString, errorText);
    prepare();
    setFaults(faults);
    clearCalls();
    QCOMPARE(m_tool->startVM(), result);

    const Calls actual = calls();
    const QStringList startArgs{"startvm", kVm, "--type", "headless"};
    QCOMPARE(actual.count(startArgs), startRuns);
    QCOMPARE(actual.first(), startArgs);
    QCOMPARE(actual.last(), startArgs);
    // Before each further start the machine state is read afresh (powered off: nothing to stop).
    QCOMPARE(actual.count(QStringList{"showvminfo", kVm, "--machinereadable"}), startRuns - 1);
    Calls writes = modifyingCalls();
    writes.removeAll(startArgs);
    QCOMPARE(writes, fallback);
    QCOMPARE(Global::systemInfo.startWithVt, withVt);
    if (errorText.isEmpty())
        QCOMPARE(Global::lastErrorCode, QString());
    else
        QVERIFY2(Global::lastErrorCode.contains(errorText), qPrintable(Global::lastErrorCode));
    QCOMPARE(vmValue("VMState"), QLatin1String(result == 1 ? "running" : "poweroff"));
    if (result == 1018)
        QVERIFY(g_log.contains(QStringLiteral("VBoxTool   : start failed ")));
}

void TestVBoxMachine::settingsFlowIntoCommandLines_data()
{
    QTest::addColumn<int>("cpus");
    QTest::addColumn<int>("ram");
    QTest::addColumn<QString>("hostCpus"); // empty: the host listing names none
    QTest::addColumn<QString>("hostMemory");
    QTest::addColumn<QString>("wantedCpus"); // written values; empty: nothing written
    QTest::addColumn<QString>("wantedMemory");
    QTest::newRow("within the host") << 2 << 2048 << "4"
                                     << "8192"
                                     << "2"
                                     << "2048";
    QTest::newRow("above the host") << 8 << 8000 << "4"
                                    << "8192"
                                    << "4"
                                    << "6553";
    QTest::newRow("no processors, little memory") << 0 << 200 << "4"
                                                  << "8192"
                                                  << ""
                                                  << "256";
    QTest::newRow("limit below the floor") << 1 << 4096 << "1"
                                           << "256"
                                           << ""
                                           << "204";
    QTest::newRow("host facts missing") << 6 << 5000 << ""
                                        << ""
                                        << "6"
                                        << "5000";
}

void TestVBoxMachine::settingsFlowIntoCommandLines()
{
    QFETCH(int, cpus);
    QFETCH(int, ram);
    QFETCH(QString, hostCpus);
    QFETCH(QString, hostMemory);
    QFETCH(QString, wantedCpus);
    QFETCH(QString, wantedMemory);
    writeSettings({{"Orvanta/Performance/CPUCoresCount", cpus},
                   {"Orvanta/Performance/RAMSize", ram},
                   {"Orvanta/Performance/RenderMode", "gl"},
                   {"Orvanta/Resolution/width", 1080},
                   {"Orvanta/Resolution/height", 1920},
                   {"Orvanta/Resolution/DPI", 480}});
    if (hostCpus.isEmpty()) {
        // A host listing without processor and memory lines.
        setFaults(
            QJsonArray{QJsonObject{{"match", "list hostinfo"},
                                   {"stdout", "Host Information:\n\nProcessor#0 description: Stand-in\n"},
                                   {"exit", 0}}});
    } else {
        writeHost(hostCpus, hostMemory);
    }
    start();
    const auto written = [this](const char *option) {
        QStringList values;
        for (const QStringList &args : calls()) {
            if (args.value(0) == QLatin1String("modifyvm") && args.value(2) == QLatin1String(option))
                values << args.value(3);
        }
        return values;
    };
    // A new machine has one processor and 128 MB.
    QCOMPARE(written("--cpus"), wantedCpus.isEmpty() ? QStringList() : QStringList{wantedCpus});
    QCOMPARE(written("--memory"), QStringList{wantedMemory});
    QCOMPARE(vmValue("cpus"), wantedCpus.isEmpty() ? QStringLiteral("1") : wantedCpus);
    QCOMPARE(vmValue("memory"), wantedMemory);
    QCOMPARE(Global::systemInfo.hostCpuCount, hostCpus.toInt());
    const QHash<QString, QString> properties = guestProperties();
    QCOMPARE(properties.value("vbox_graph_mode"), QStringLiteral("1080x1920-16"));
    QCOMPARE(properties.value("vbox_dpi"), QStringLiteral("480"));
    QCOMPARE(properties.value("orvanta_render_mode"), QStringLiteral("gl"));
}

void TestVBoxMachine::sharesAreMatchedByName()
{
    start();
    tool({"controlvm", kVm, "poweroff"});
    const QString share = m_tree->installDir() + "/share/" + kVm;
    // The machine lists its shares in another order, and "game" points elsewhere.
    for (const char *name : {"event", "game", "picture", "other"})
        tool({"sharedfolder", "remove", kVm, "--name", name});
    const QString elsewhere = m_tree->root() + "/elsewhere";
    QVERIFY(QDir().mkpath(elsewhere));
    tool({"sharedfolder", "add", kVm, "--name", "other", "--hostpath", share + "/other", "--automount"});
    tool({"sharedfolder", "add", kVm, "--name", "game", "--hostpath", elsewhere, "--automount"});
    tool({"sharedfolder", "add", kVm, "--name", "picture", "--hostpath", share + "/image", "--automount"});
    tool({"sharedfolder", "add", kVm, "--name", "event", "--hostpath", share + "/event", "--automount"});
    // A host folder deleted between runs comes back without any tool command.
    QVERIFY(QDir(share + "/image").removeRecursively());

    newTool();
    QCOMPARE(m_tool->loadVmList(), 1);
    QCOMPARE(m_tool->initVmInfo(), 1);
    clearCalls();
    m_tool->setShareFolders();
    QCOMPARE(calls(), Calls({{"sharedfolder", "remove", kVm, "--name", "game"},
                             {"sharedfolder", "add", kVm, "--name", "game", "--hostpath", share + "/game",
                              "--automount"}}));
    QVERIFY(QFileInfo(share + "/image").isDir());
}

void TestVBoxMachine::guestPropertyRules_data()
{
    QTest::addColumn<QString>("vm");
    QTest::addColumn<QStringList>("before"); // name=value pairs set on the machine; "name" alone: unset
    QTest::addColumn<Calls>("writes"); // guestproperty sets of applyVmSettings other than the fixed ones
    const QString ch = QStringLiteral("orvanta_channel");
    QTest::newRow("kept channel, first run over")
        << kVm << QStringList{"orvanta_channel=1300", "is_first_run=true"}
        << Calls{{"guestproperty", "set", kVm, "is_first_run", "false"}};
    QTest::newRow("channel 0 replaced, first run left")
        << kVm << QStringList{"orvanta_channel=0", "is_first_run=false"}
        << Calls{{"guestproperty", "set", kVm, ch, "1208"}};
    QTest::newRow("channel with No replaced")
        << kVm << QStringList{"orvanta_channel=No channel", "is_first_run=maybe"}
        << Calls{{"guestproperty", "set", kVm, ch, "1208"}};
    QTest::newRow("first instance never first run")
        << "Orvanta_0" << QStringList{"orvanta_channel=1208", "is_first_run"} << Calls();
}

void TestVBoxMachine::guestPropertyRules()
{
    QFETCH(QString, vm);
    QFETCH(QStringList, before);
    QFETCH(Calls, writes);
    Global::vmName = vm;
    start();
    tool({"controlvm", vm, "poweroff"});
    for (const QString &pair : before) {
        const QString name = pair.section('=', 0, 0);
        if (pair.contains('='))
            tool({"guestproperty", "set", vm, name, pair.section('=', 1)});
        else
            tool({"guestproperty", "unset", vm, name});
    }
    newTool();
    QCOMPARE(m_tool->loadVmList(), 1);
    m_tool->init();
    clearCalls();
    m_tool->applyVmSettings();
    Global::vmName = kVm;
    QCOMPARE(modifyingCalls(), writes);
}

void TestVBoxMachine::forcedVtOffAndTcpMode()
{
    // vt_f: hardware virtualisation is switched off, and stays off without further writes.
    CommandLine::vt_f = true;
    start();
    QVERIFY(calls().contains(QStringList({"modifyvm", kVm, "--hwvirtex", "off"})));
    QCOMPARE(vmValue("hwvirtex"), QStringLiteral("off"));
    m_tool->stopVM();

    // tcp: no adapter, plug-in, forward or stream mode is written; processor and memory still are.
    CommandLine::tcp = true;
    Global::vmPort.clear();
    writeSettings({{"Orvanta/Performance/CPUCoresCount", 3}, {"Orvanta/Performance/RAMSize", 1024}});
    tool({"modifyvm", kVm, "--nic2", "none"});
    newTool();
    clearCalls();
    start();
    // In this mode the guest's services are reached at their own ports, so the published one moves.
    const Calls expected{{"guestproperty", "set", kVm, "orvanta_yelt_port", Global::yeltPort},
                         {"guestproperty", "set", kVm, "is_first_run", "false"},
                         {"modifyvm", kVm, "--cpus", "3"},
                         {"modifyvm", kVm, "--memory", "1024"},
                         {"startvm", kVm, "--type", "headless"}};
    QCOMPARE(modifyingCalls(), expected);
    QCOMPARE(Global::vmPort, QString());
}

QTEST_GUILESS_MAIN(TestVBoxMachine)
#include "tst_vboxmachine.moc"
