// VBoxTool against the simulated VirtualBox tool of the staged installation: every case checks the exact
// command lines that reached the tool (its call log) and the state the tool keeps afterwards.
#include "calllogs.h"
#include "commandline.h"
#include "global.h"
#include "installtree.h"
#include "paths.h"
#include "sharedsegment.h"
#include "vboxtool.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QTcpServer>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>

namespace {

const QString kVm = QStringLiteral("Orvanta_0");

QStringList g_log;
void collectLog(QtMsgType, const QMessageLogContext &, const QString &message)
{
    g_log << message;
}

QString stagedVBoxDir()
{
    return QFileInfo(InstallTree::stagedPlayerDir() + QStringLiteral("/../VirtualBox")).absoluteFilePath();
}

QStringList addRule(const QString &rule)
{
    return {"modifyvm", kVm, "--natpf1", rule};
}

QStringList deleteRule(const QString &name)
{
    return {"modifyvm", kVm, "--natpf1", "delete", name};
}

using Calls = QList<QStringList>;

// Publishes a status word as an instance does.
// Plays a live instance: owner lock, segment, word.
bool publish(SharedSegment &segment, const QString &word)
{
    return segment.takeOwnership() && segment.create() && segment.writeText(word);
}

} // namespace

class TestVBoxTool : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void machineListUnregistersInaccessible();
    void machineInfoOfUnknownMachine();
    void doubtfulMachineInfoKeepsTheLastReading_data();
    void doubtfulMachineInfoKeepsTheLastReading();
    void powerOffByState_data();
    void powerOffByState();
    void initPowersOffARunningMachine();
    void fiveForwardsFromScratchThenNoWrites();
    void portInUseMovesThatForward();
    void failedAddStopsTheLaterRules();
    void tcpOptionWritesNoRule();
    void reReadForgetsRulesAndPropertiesThatAreGone();
    void hungToolStartsServiceOnceThenGivesUp();
    void hungOnceRecovers();
    void waitsWhileAnotherInstanceStarts_data();
    void waitsWhileAnotherInstanceStarts();
    void waitForOtherInstancesIsBounded();
    void leftoverOfADeadInstanceIsNotWaitedFor_data();
    void leftoverOfADeadInstanceIsNotWaitedFor();
    void guestPropertiesInBothToolForms_data();
    void guestPropertiesInBothToolForms();
    void setMachineFolder();

private:
    QString stateDir() const { return m_tree->root() + QStringLiteral("/vbox-state"); }
    // Runs the simulated tool directly, for setting up state; fails the test when it refuses.
    void tool(const QStringList &args, QString *out = nullptr);
    void createMachine(const QString &name);
    Calls calls() const;
    void clearCalls() const { QFile::remove(stateDir() + QStringLiteral("/calls.log")); }
    int serviceStarts() const;
    void setFaults(const QJsonArray &rules) const;
    // A /proc fixture with empty TCP tables: every first candidate port is free.
    void useEmptyProcFixture();
    QString showVmInfoValue(const QString &key);

    std::unique_ptr<InstallTree> m_tree;
    std::unique_ptr<VBoxTool> m_tool;
    QtMessageHandler m_previousHandler = nullptr;
};

void TestVBoxTool::init()
{
    m_tree = std::make_unique<InstallTree>();
    QVERIFY(m_tree->isValid());
    const QString vboxDir = m_tree->versionDir() + QStringLiteral("/VirtualBox");
    for (const char *name : {"OrvvmManage", "OrvvmSVC", "VBoxManage", "VBoxSVC"})
        QVERIFY2(InstallTree::copyFile(stagedVBoxDir() + QLatin1Char('/') + name,
                                       vboxDir + QLatin1Char('/') + name),
                 name);
    QVERIFY(m_tree->addRecorder(QStringLiteral("OrvMultiPlayer")));

    // This process reads the same segments as the instances it plays, and starts the same programs.
    const QProcessEnvironment env = m_tree->environment();
    for (const char *name : {"TMPDIR", "XDG_RUNTIME_DIR", "PATH", "ORV_RECORD_DIR", "ORV_VBOX_STATE",
                             "XDG_CONFIG_DIRS", "XDG_CONFIG_HOME", "HOME", "APPDATA", "LOCALAPPDATA"})
        qputenv(name, env.value(QLatin1String(name)).toLocal8Bit());
    qputenv("ORV_TIMEOUT_SCALE", "0.01");
    qunsetenv("ORV_PROC_ROOT");
    Platform::initSettingsPaths();
    Global::loadInstallInfo();
    QCOMPARE(Global::installInfo.vboxPath, vboxDir);
    Global::vmName = kVm;
    CommandLine::tcp = false;

    m_tool = std::make_unique<VBoxTool>();
    QCOMPARE(m_tool->checkVBoxPath(), 1);
    QCOMPARE(m_tool->toolPath(), vboxDir + QStringLiteral("/OrvvmManage"));
    tool({"setproperty", "machinefolder", m_tree->installDir() + QStringLiteral("/vbox")});
    clearCalls();
    g_log.clear();
    m_previousHandler = qInstallMessageHandler(collectLog);
}

void TestVBoxTool::cleanup()
{
    qInstallMessageHandler(m_previousHandler);
    VBoxTool::setSystemMessageSink(nullptr);
    CommandLine::tcp = false;
    m_tool.reset();
    m_tree.reset();
}

void TestVBoxTool::tool(const QStringList &args, QString *out)
{
    QProcess process;
    process.start(m_tool->toolPath(), args);
    QVERIFY(process.waitForFinished(10000));
    QVERIFY2(process.exitCode() == 0, qPrintable(args.join(' ') + ": " + process.readAllStandardError()));
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput());
}

void TestVBoxTool::createMachine(const QString &name)
{
    tool({"createvm", "--name", name, "--ostype", "Linux", "--register"});
    tool({"modifyvm", name, "--nic1", "nat"});
}

Calls TestVBoxTool::calls() const
{
    return readToolCalls(stateDir());
}

int TestVBoxTool::serviceStarts() const
{
    QFile file(stateDir() + QStringLiteral("/service.log"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    return file.readAll().count('\n');
}

void TestVBoxTool::setFaults(const QJsonArray &rules) const
{
    QFile file(stateDir() + QStringLiteral("/faults.json"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(QJsonDocument(rules).toJson());
    QFile::remove(stateDir() + QStringLiteral("/faults.used.json"));
}

void TestVBoxTool::useEmptyProcFixture()
{
    const QString root = m_tree->root() + QStringLiteral("/proc");
    QVERIFY(QDir().mkpath(root + QStringLiteral("/net")));
    for (const char *table : {"/net/tcp", "/net/tcp6"}) {
        QFile file(root + QLatin1String(table));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("  sl  local_address rem_address   st tx_queue rx_queue tr tm->when retrnsmt   uid\n");
    }
    qputenv("ORV_PROC_ROOT", root.toLocal8Bit());
}

QString TestVBoxTool::showVmInfoValue(const QString &key)
{
    QString out;
    tool({"showvminfo", kVm, "--machinereadable"}, &out);
    for (const QString &line : out.split(QLatin1Char('\n'))) {
        if (line.startsWith(key + QLatin1Char('=')))
            return line.mid(key.size() + 1).remove(QLatin1Char('"'));
    }
    return QString();
}

void TestVBoxTool::machineListUnregistersInaccessible()
{
    for (const char *name : {"Orvanta_0", "Orvanta_3", "Work VM", "Broken"})
        createMachine(name);
    QString list;
    tool({"list", "vms"}, &list);
    const QString brokenUuid =
        QRegularExpression(QStringLiteral("\"Broken\" \\{(.*)\\}")).match(list).captured(1);
    QVERIFY(!brokenUuid.isEmpty());
    QVERIFY(QFile::remove(m_tree->installDir() + QStringLiteral("/vbox/Broken/Broken.vbox")));
    clearCalls();

    QStringList orvanta;
    QCOMPARE(m_tool->listOrvantaVms(&orvanta), 1);
    QCOMPARE(orvanta, QStringList({"Orvanta_0", "Orvanta_3"}));
    QCOMPARE(calls(), Calls({{"list", "vms"}})); // listing alone never unregisters

    clearCalls();
    QCOMPARE(m_tool->loadVmList(), 1);
    QCOMPARE(m_tool->vmNames(), QStringList({"Orvanta_0", "Orvanta_3", "Work VM"}));
    // Its registration goes; its files are the user's and stay.
    QCOMPARE(calls(), Calls({{"list", "vms"}, {"unregistervm", brokenUuid}}));

    tool({"list", "vms"}, &list);
    QVERIFY2(!list.contains(QLatin1String("<inaccessible>")), qPrintable(list));
}

void TestVBoxTool::machineInfoOfUnknownMachine()
{
    // Not in the list: nothing is asked.
    QCOMPARE(m_tool->initVmInfo(), 1);
    QCOMPARE(calls(), Calls());
    QCOMPARE(m_tool->uuid(), QString());

    // In the list but gone from the tool: the tool's refusal becomes 1007 and the tables stay empty.
    createMachine(kVm);
    QCOMPARE(m_tool->loadVmList(), 1);
    tool({"unregistervm", kVm, "--delete"});
    QCOMPARE(m_tool->initVmInfo(), 1007);
    QVERIFY(Global::lastErrorCode.startsWith(
        QStringLiteral("OrvvmManage: error: Could not find a registered machine named 'Orvanta_0'")));
    QCOMPARE(m_tool->vmInfoText(), QString());
}

void TestVBoxTool::doubtfulMachineInfoKeepsTheLastReading_data()
{
    QTest::addColumn<QJsonObject>("answer");
    const auto showvminfo = [](const QString &text, int exitCode) {
        return QJsonObject{{"match", "showvminfo *"}, {"stdout", text}, {"exit", exitCode}, {"times", 1}};
    };
    QTest::newRow("empty") << showvminfo("", 0);
    QTest::newRow("killed") << showvminfo("name=\"Orvanta_0\"\nVMState=\"poweroff\"\n", 137);
    QTest::newRow("cut off") << showvminfo("name=\"Orvanta_0\"\nVMState=\"pow", 0);
    QTest::newRow("garbled") << showvminfo("\"VMState\n", 0);
    QTest::newRow("tool error") << QJsonObject{
        {"match", "showvminfo *"}, {"stderr", "{prog}: error: The object is not ready\n"}, {"times", 1}};
}

void TestVBoxTool::doubtfulMachineInfoKeepsTheLastReading()
{
    QFETCH(QJsonObject, answer);
    createMachine(kVm);
    tool({"modifyvm", kVm, "--natpf1", "adb,tcp,127.0.0.1,20001,10.0.2.15,5555"});
    QCOMPARE(m_tool->loadVmList(), 1);
    QCOMPARE(m_tool->initVmInfo(), 1);
    const QHash<QString, QString> before = m_tool->vmInfo();
    const QString textBefore = m_tool->vmInfoText();
    QCOMPARE(before.value(QStringLiteral("VMState")), QStringLiteral("poweroff"));
    QCOMPARE(m_tool->forwardRuleNames(), QStringList{"adb"});

    setFaults(QJsonArray{answer});
    QCOMPARE(m_tool->initVmInfo(), 1007);
    QCOMPARE(m_tool->vmInfo(), before);
    QCOMPARE(m_tool->vmInfoText(), textBefore);
    QCOMPARE(m_tool->forwardRuleNames(), QStringList{"adb"});
}

void TestVBoxTool::powerOffByState_data()
{
    QTest::addColumn<QString>("state"); // empty: no VMState line at all
    QTest::addColumn<Calls>("expected");

    const Calls powerOff{{"controlvm", kVm, "poweroff"}};
    const Calls discard{{"discardstate", kVm}};
    const Calls emergency{{"startvm", kVm, "--type", "emergencystop"}};
    QTest::newRow("saved") << "saved" << discard;
    QTest::newRow("aborted-saved") << "aborted-saved" << discard;
    QTest::newRow("aborted") << "aborted"
                             << Calls{{"startvm", kVm, "--type", "headless"}, {"controlvm", kVm, "poweroff"}};
    QTest::newRow("running") << "running" << powerOff;
    QTest::newRow("paused") << "paused" << powerOff;
    QTest::newRow("stuck") << "stuck" << powerOff;
    QTest::newRow("starting") << "starting" << emergency;
    QTest::newRow("stopping") << "stopping" << emergency;
    QTest::newRow("poweroff") << "poweroff" << Calls();
    QTest::newRow("no state") << "" << Calls();
}

void TestVBoxTool::powerOffByState()
{
    QFETCH(QString, state);
    QFETCH(Calls, expected);

    createMachine(kVm);
    QCOMPARE(m_tool->loadVmList(), 1);
    const QString info = QStringLiteral("name=\"Orvanta_0\"\nUUID=\"u-1\"\n") +
                         (state.isEmpty() ? QString() : QStringLiteral("VMState=\"%1\"\n").arg(state));
    setFaults(QJsonArray{QJsonObject{{"match", "showvminfo *"}, {"stdout", info}, {"exit", 0}}});
    QCOMPARE(m_tool->initVmInfo(), 1);
    QCOMPARE(m_tool->uuid(), QStringLiteral("u-1"));
    clearCalls();

    m_tool->stopVM();
    QCOMPARE(calls(), expected);
    QCOMPARE(m_tool->vmInfo().value(QStringLiteral("VMState")), state); // the cached state stays
}

void TestVBoxTool::initPowersOffARunningMachine()
{
    QSettings host(stateDir() + QStringLiteral("/host.ini"), QSettings::IniFormat);
    host.setValue(QStringLiteral("host/processorDescription"), QStringLiteral("Test CPU @ 3.00GHz"));
    host.setValue(QStringLiteral("host/memorySize"), QStringLiteral("8192"));
    host.sync();
    createMachine(kVm);
    tool({"guestproperty", "set", kVm, "orvanta_ova_version", "1.0.0"});
    tool({"setextradata", kVm, "VBoxInternal/Devices/orvspeed/0/Config/Path", "/x/OrvSpeed-x64.so"});
    tool({"startvm", kVm, "--type", "headless"});
    QCOMPARE(showVmInfoValue(QStringLiteral("VMState")), QStringLiteral("running"));
    useEmptyProcFixture();
    QStringList reported;
    VBoxTool::setSystemMessageSink(
        [&](const QString &key, const QString &value) { reported << key << value; });
    QCOMPARE(m_tool->loadVmList(), 1);
    clearCalls();

    m_tool->init();
    QCOMPARE(calls(), Calls({{"list", "hostinfo"},
                             {"showvminfo", kVm, "--machinereadable"},
                             {"guestproperty", "enumerate", kVm},
                             {"getextradata", kVm, "enumerate"},
                             // the port choice reads the other machines' forwards (there are none)
                             {"list", "vms"},
                             {"controlvm", kVm, "poweroff"}}));
    QCOMPARE(showVmInfoValue(QStringLiteral("VMState")), QStringLiteral("poweroff"));

    QCOMPARE(Global::systemInfo.cpuName, QStringLiteral("Test CPU @ 3.00GHz"));
    QCOMPARE(reported, QStringList({"cpu", "Test CPU @ 3.00GHz"}));
    int limit = 0;
    m_tool->hostMemorySize(&limit, true);
    QCOMPARE(limit, 6553);
    QCOMPARE(m_tool->guestProperties().value(QStringLiteral("orvanta_ova_version")), QStringLiteral("1.0.0"));
    QCOMPARE(m_tool->extraData().value(QStringLiteral("VBoxInternal/Devices/orvspeed/0/Config/Path")),
             QStringLiteral("/x/OrvSpeed-x64.so"));
    QCOMPARE(m_tool->vmInfo().value(QStringLiteral("VMState")), QStringLiteral("running"));
    QCOMPARE(Global::openglPort, QStringLiteral("20000"));
    QVERIFY(g_log.contains(QStringLiteral("VBoxTool   : vbox current state is running")));
}

void TestVBoxTool::fiveForwardsFromScratchThenNoWrites()
{
    createMachine(kVm);
    useEmptyProcFixture();
    const auto prepare = [this] {
        QCOMPARE(m_tool->loadVmList(), 1);
        QCOMPARE(m_tool->initVmInfo(), 1);
        m_tool->scanUsedPorts();
        clearCalls();
    };
    prepare();
    QCOMPARE(m_tool->initPort(), 1);
    const QStringList rules{
        "opengl,tcp,127.0.0.1,20000,10.0.2.15,22468", "vinput,tcp,127.0.0.1,25000,10.0.2.15,22469",
        "pavix,tcp,127.0.0.1,30000,10.0.2.15,27000", "adb,tcp,127.0.0.1,35000,10.0.2.15,5555",
        "yelt,tcp,127.0.0.1,40000,10.0.2.15,12121"};
    Calls expected;
    for (const QString &rule : rules)
        expected << addRule(rule);
    QCOMPARE(calls(), expected);
    QVERIFY(g_log.contains(QStringLiteral("VBoxTool   : initPort ok")));

    // The next start finds everything in place and changes nothing.
    m_tool = std::make_unique<VBoxTool>();
    QCOMPARE(m_tool->checkVBoxPath(), 1);
    prepare();
    QStringList sorted = rules;
    sorted.sort();
    QCOMPARE(m_tool->forwardRules(), sorted); // the tool lists them by name
    QCOMPARE(m_tool->initPort(), 1);
    QCOMPARE(calls(), Calls());
}

void TestVBoxTool::portInUseMovesThatForward()
{
    createMachine(kVm);
    const auto prepare = [this] {
        QCOMPARE(m_tool->loadVmList(), 1);
        QCOMPARE(m_tool->initVmInfo(), 1);
        m_tool->scanUsedPorts();
    };
    prepare();
    QCOMPARE(m_tool->initPort(), 1);
    const QStringList before{Global::openglPort, Global::vinputPort, Global::pavixPort, Global::adbPort,
                             Global::yeltPort};

    // Take the port the input service just got (and, where the host has IPv6, the next one on ::1). Not a
    // fixed number: other programs on this host may hold the first candidates already.
    QTcpServer v4, v6;
    const int first = Global::vinputPort.toInt();
    QVERIFY(first > 0);
    // (Someone else holding it serves as well.)
    QVERIFY(v4.listen(QHostAddress::LocalHost, first) || m_tool->usedPorts().contains(first));
    const bool ipv6 = v6.listen(QHostAddress::LocalHostIPv6, first + 1);
    prepare();
    clearCalls();
    QVERIFY(m_tool->usedPorts().contains(first));
    if (ipv6)
        QVERIFY(m_tool->usedPorts().contains(first + 1));
    const QStringList after{Global::openglPort, Global::vinputPort, Global::pavixPort, Global::adbPort,
                            Global::yeltPort};
    QVERIFY(Global::vinputPort.toInt() > (ipv6 ? first + 1 : first));
    QCOMPARE(m_tool->initPort(), 1);

    // Exactly the rules whose port moved are deleted and added again.
    const QList<QPair<QString, int>> table{
        {"opengl", 22468}, {"vinput", 22469}, {"pavix", 27000}, {"adb", 5555}, {"yelt", 12121}};
    Calls expected;
    for (int i = 0; i < table.size(); ++i) {
        if (before.at(i) == after.at(i))
            continue;
        expected << deleteRule(table.at(i).first)
                 << addRule(VBoxTool::forwardRule(table.at(i).first, after.at(i), table.at(i).second));
    }
    QVERIFY(expected.size() >= 2);
    QCOMPARE(calls(), expected);
    QVERIFY(showVmInfoValue(QStringLiteral("Forwarding(3)"))
                .startsWith("vinput,tcp,127.0.0.1," + Global::vinputPort + ","));
}

void TestVBoxTool::failedAddStopsTheLaterRules()
{
    createMachine(kVm);
    useEmptyProcFixture();
    QCOMPARE(m_tool->loadVmList(), 1);
    QCOMPARE(m_tool->initVmInfo(), 1);
    m_tool->scanUsedPorts();
    setFaults(QJsonArray{QJsonObject{{"match", "modifyvm * --natpf1 pavix,*"},
                                     {"stderr", "{prog}: error: A NAT rule of this name already exists\n"},
                                     {"exit", 1}}});
    clearCalls();
    QCOMPARE(m_tool->initPort(), 1005);
    QCOMPARE(calls(), Calls({addRule("opengl,tcp,127.0.0.1,20000,10.0.2.15,22468"),
                             addRule("vinput,tcp,127.0.0.1,25000,10.0.2.15,22469"),
                             addRule("pavix,tcp,127.0.0.1,30000,10.0.2.15,27000")}));
    QCOMPARE(Global::lastErrorCode,
             QStringLiteral("OrvvmManage: error: A NAT rule of this name already exists\n"));
}

void TestVBoxTool::tcpOptionWritesNoRule()
{
    createMachine(kVm);
    CommandLine::tcp = true;
    QCOMPARE(m_tool->loadVmList(), 1);
    QCOMPARE(m_tool->initVmInfo(), 1);
    m_tool->scanUsedPorts();
    QCOMPARE(Global::vinputPort, QStringLiteral("22469"));
    clearCalls();
    QCOMPARE(m_tool->initPort(), 1);
    QCOMPARE(calls(), Calls());
}

void TestVBoxTool::reReadForgetsRulesAndPropertiesThatAreGone()
{
    createMachine(kVm);
    useEmptyProcFixture();
    tool({"guestproperty", "set", kVm, "orvanta_old", "1"});
    tool({"sharedfolder", "add", kVm, "--name", "oldshare", "--hostpath", m_tree->root()});
    QCOMPARE(m_tool->loadVmList(), 1);
    QCOMPARE(m_tool->initVmInfo(), 1);
    QCOMPARE(m_tool->vmInfo().value(QStringLiteral("SharedFolderNameMachineMapping1")),
             QStringLiteral("oldshare"));
    QCOMPARE(m_tool->initGuestInfo(), 1);
    m_tool->scanUsedPorts();
    QCOMPARE(m_tool->initPort(), 1);
    QCOMPARE(m_tool->initVmInfo(), 1);
    QCOMPARE(m_tool->forwardRules().size(), 5);
    QCOMPARE(m_tool->guestProperties().value(QStringLiteral("orvanta_old")), QStringLiteral("1"));

    // The machine is re-created from scratch (as the image repair does): no rules, no properties.
    tool({"unregistervm", kVm, "--delete"});
    createMachine(kVm);
    QCOMPARE(m_tool->initVmInfo(), 1);
    QCOMPARE(m_tool->initGuestInfo(), 1);
    QCOMPARE(m_tool->forwardRules(), QStringList());
    // The old machine's shared folder is not remembered: the shares are attached to the new one.
    QVERIFY(!m_tool->vmInfo().contains(QStringLiteral("SharedFolderNameMachineMapping1")));
    QVERIFY(!m_tool->vmInfo().contains(QStringLiteral("SharedFolderPathMachineMapping1")));
    QVERIFY(!m_tool->guestProperties().contains(QStringLiteral("orvanta_old")));
    clearCalls();
    QCOMPARE(m_tool->initPort(), 1);
    QCOMPARE(calls().size(), 5); // all five written again
    QCOMPARE(showVmInfoValue(QStringLiteral("Forwarding(0)")),
             QStringLiteral("adb,tcp,127.0.0.1,35000,10.0.2.15,5555"));
}

void TestVBoxTool::hungToolStartsServiceOnceThenGivesUp()
{
    createMachine(kVm);
    setFaults(QJsonArray{QJsonObject{{"match", "list vms"}, {"hang", true}}});
    clearCalls();
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(m_tool->loadVmList(), 1002);
    QVERIFY(clock.elapsed() >= 2 * 1200 - 100);
    QCOMPARE(calls(), Calls({{"list", "vms"}, {"list", "vms"}}));
    QTRY_COMPARE(serviceStarts(), 1);
    QCOMPARE(m_tool->vmNames(), QStringList());
    QVERIFY(!Global::lastErrorCode.isEmpty());
}

void TestVBoxTool::hungOnceRecovers()
{
    createMachine(kVm);
    setFaults(QJsonArray{QJsonObject{{"match", "list vms"}, {"hang", true}, {"times", 1}}});
    clearCalls();
    QCOMPARE(m_tool->loadVmList(), 1);
    QCOMPARE(m_tool->vmNames(), QStringList({kVm}));
    QCOMPARE(calls(), Calls({{"list", "vms"}, {"list", "vms"}}));
    QTRY_COMPARE(serviceStarts(), 1);
    QCOMPARE(Global::lastErrorCode, QString());
}

void TestVBoxTool::waitsWhileAnotherInstanceStarts_data()
{
    QTest::addColumn<QString>("word");
    QTest::addColumn<bool>("waits");
    QTest::newRow("STARTING") << "STARTING" << true;
    QTest::newRow("EXITING") << "EXITING" << true;
    QTest::newRow("RUNNING") << "RUNNING" << false;
    QTest::newRow("cut-off word") << "STARTIN" << false;
}

void TestVBoxTool::waitsWhileAnotherInstanceStarts()
{
    QFETCH(QString, word);
    QFETCH(bool, waits);

    for (const char *name : {"Orvanta_0", "Orvanta_3", "Work VM"})
        createMachine(name);
    // Our own segment saying STARTING never holds us; nor does a machine that is not an emulator's.
    SharedSegment own(kVm), other(QStringLiteral("Orvanta_3")), foreign(QStringLiteral("Work VM"));
    QVERIFY(publish(own, QStringLiteral("STARTING")));
    QVERIFY(publish(foreign, QStringLiteral("STARTING")));
    QVERIFY(publish(other, word));
    clearCalls();

    std::atomic_bool done{false};
    bool result = false;
    std::thread worker([&] {
        result = m_tool->checkOtherOrvStatus();
        done = true;
    });
    const auto waitingCalls = [this] {
        int n = 0;
        for (const QStringList &args : m_tree->calls(QStringLiteral("OrvMultiPlayer")))
            n += args == QStringList({"-vm=Orvanta_0", "-status=STARTWAITING"});
        return n;
    };
    if (waits) {
        QTRY_VERIFY_WITH_TIMEOUT(waitingCalls() >= 2, 5000);
        QVERIFY(!done);
        QVERIFY(other.writeText(QStringLiteral("RUNNING")));
    }
    QTRY_VERIFY_WITH_TIMEOUT(done.load(), 5000);
    worker.join();
    QVERIFY(result);
    if (!waits)
        QCOMPARE(waitingCalls(), 0);
    for (const QStringList &args : calls())
        QCOMPARE(args, QStringList({"list", "vms"})); // one reading per round, nothing else
}

void TestVBoxTool::waitForOtherInstancesIsBounded()
{
    createMachine(QStringLiteral("Orvanta_3"));
    // A live instance that never leaves EXITING.
    SharedSegment stuck(QStringLiteral("Orvanta_3"));
    QVERIFY(publish(stuck, QStringLiteral("EXITING")));
    QElapsedTimer clock;
    clock.start();
    QVERIFY(m_tool->checkOtherOrvStatus()); // 120 s scaled to 1.2 s
    QVERIFY(clock.elapsed() >= 1100);
    QVERIFY(g_log.contains(
        QStringLiteral("VBoxTool   : checkOtherOrvStatus gave up waiting for other instances after 120 s")));

    // A list that cannot be read ends the wait at once with false.
    setFaults(QJsonArray{QJsonObject{{"match", "list vms"}, {"stderr", "{prog}: error: broken\n"}}});
    QVERIFY(!m_tool->checkOtherOrvStatus());
}

void TestVBoxTool::leftoverOfADeadInstanceIsNotWaitedFor_data()
{
    QTest::addColumn<QString>("word");
    QTest::newRow("killed while starting") << "STARTING";
    QTest::newRow("killed while exiting") << "EXITING";
}

void TestVBoxTool::leftoverOfADeadInstanceIsNotWaitedFor()
{
    QFETCH(QString, word);
    createMachine(QStringLiteral("Orvanta_3"));
    // What a process killed mid-start leaves: its segment with the word, and no owner lock held.
    SharedSegment leftover(QStringLiteral("Orvanta_3"));
    QVERIFY(leftover.create());
    QVERIFY(leftover.writeText(word));
    QVERIFY(!SharedSegment::hasLiveOwner(QStringLiteral("Orvanta_3")));
    clearCalls();

    QElapsedTimer clock;
    clock.start();
    QVERIFY(m_tool->checkOtherOrvStatus());
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(m_tree->calls(QStringLiteral("OrvMultiPlayer")).isEmpty());
    QCOMPARE(calls(), Calls({{"list", "vms"}}));
}

void TestVBoxTool::guestPropertiesInBothToolForms_data()
{
    QTest::addColumn<QString>("toolVersion");
    QTest::newRow("7.1 aligned form") << "7.1.4r165100";
    QTest::newRow("6.1 field form") << "6.1.40r156695";
}

void TestVBoxTool::guestPropertiesInBothToolForms()
{
    QFETCH(QString, toolVersion);
    QSettings host(stateDir() + QStringLiteral("/host.ini"), QSettings::IniFormat);
    host.setValue(QStringLiteral("tool/version"), toolVersion);
    host.sync();
    createMachine(kVm);
    tool({"guestproperty", "set", kVm, "orvanta_ova_version", "1.0.0"});
    tool({"guestproperty", "set", kVm, "orvanta_url", "http://h:8080/a=b"});
    tool({"guestproperty", "set", kVm, "emu_id", ""});
    QCOMPARE(m_tool->initGuestInfo(), 1);
    const QHash<QString, QString> expected{
        {"orvanta_ova_version", "1.0.0"}, {"orvanta_url", "http://h:8080/a=b"}, {"emu_id", ""}};
    QCOMPARE(m_tool->guestProperties(), expected);
}

void TestVBoxTool::setMachineFolder()
{
    m_tool->setMachineFolder();
    QCOMPARE(calls(),
             Calls({{"setproperty", "machinefolder", m_tree->installDir() + QStringLiteral("/vbox")}}));
    QVERIFY(g_log.contains(QStringLiteral("VBoxTool   : change vbox folder ") + m_tree->installDir() +
                           QStringLiteral("/vbox")));
}

QTEST_GUILESS_MAIN(TestVBoxTool)
#include "tst_vboxtool.moc"
