// Black-box tests of the stand-in VirtualBox tool: the real program runs against a temporary state folder and
// the tests read what a caller sees (exit codes, stdout, stderr lines) and what it leaves on disk.
#include "calllogs.h"
#include "testports.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

namespace {

struct Result
{
    int exitCode = -1;
    QString out;
    QString err;
    // stderr lines with the error prefix, prefix removed, Context lines left out (their line numbers vary).
    QStringList errors(const QString &program = QStringLiteral("VBoxManage")) const
    {
        QStringList lines;
        const QString prefix = program + QStringLiteral(": error: ");
        for (const QString &line : err.split(QLatin1Char('\n'))) {
            if (line.startsWith(prefix) && !line.startsWith(prefix + QStringLiteral("Context: ")))
                lines.append(line.mid(prefix.size()));
        }
        return lines;
    }
};

// Connects to 127.0.0.1:`port`, trying again while nothing listens yet (up to 5 s).
bool waitForConnection(QTcpSocket *socket, quint16 port)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 5000) {
        socket->connectToHost(QHostAddress::LocalHost, port);
        if (socket->waitForConnected(1000))
            return true;
        socket->abort();
        QTest::qWait(50);
    }
    return false;
}

} // namespace

class TestVBoxManage : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void refused_data();
    void refused();
    void accepted_data();
    void accepted();
    void createRegisterShowRoundTrip();
    void folderNameIsTheNameMadeSafe_data();
    void folderNameIsTheNameMadeSafe();
    void machineArgumentOfUuidFormIsAUuid();
    void renameMovesFolderAndSettingsFile();
    void natRulesSortedAndDeleted();
    void sharedFoldersKeepOrder();
    void guestProperties();
    void extraData();
    void powerStates();
    void guestLivesWithItsMachine_data();
    void guestLivesWithItsMachine();
    void startRefusals_data();
    void startRefusals();
    void runningMachineKeepsItsIdeDevices();
    void brokenServiceSaysSo();
    void unregisterDeleteRemovesOnlyKnownFiles();
    void closeMediumDelete();
    void sethduuidMakesCopiesRegistrable();
    void cloneExportImport();
    void faults();
    void hangingCallNeverFinishes();
    void callLogKeepsArgumentBoundaries();
    void callLogRecordsEachCallsEnd();
    void callLogIntervalLiesWithinTheCallersWait();
    void serviceStandInRecordsStart();

private:
    Result run(const QStringList &args, const QString &program = QStringLiteral("VBoxManage"));
    QMap<QString, QString> vmInfo(const QString &vm);
    QString state() const { return m_dir->path() + QStringLiteral("/state"); }
    QString work() const { return m_dir->path(); }
    QString makeFile(const QString &name, const QByteArray &content = QByteArray(4096, 'x'));
    void writeFaults(const QByteArray &json);
    void writeHost(const QByteArray &ini);

    QTemporaryDir *m_dir = nullptr;
};

Result TestVBoxManage::run(const QStringList &args, const QString &program)
{
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORV_VBOX_STATE"), state());
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(work());
    process.start(QStringLiteral(ORV_SIM_VBOX_DIR) + QLatin1Char('/') + program, args);
    Result result;
    if (!process.waitForFinished(30000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

QMap<QString, QString> TestVBoxManage::vmInfo(const QString &vm)
{
    const Result r = run({"showvminfo", vm, "--machinereadable"});
    QMap<QString, QString> info;
    for (const QString &line : r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        static const QRegularExpression kv(QStringLiteral("^(\"?)(.*?)\\1=(.*)$"));
        const QRegularExpressionMatch m = kv.match(line);
        QString value = m.captured(3);
        if (value.startsWith(QLatin1Char('"')))
            value = value.mid(1, value.size() - 2).replace(QStringLiteral("\\\""), QStringLiteral("\""));
        info.insert(m.captured(2), value);
    }
    return info;
}

QString TestVBoxManage::makeFile(const QString &name, const QByteArray &content)
{
    const QString path = work() + QLatin1Char('/') + name;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(content);
    return path;
}

void TestVBoxManage::writeFaults(const QByteArray &json)
{
    QDir().mkpath(state());
    QFile file(state() + QStringLiteral("/faults.json"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(json);
}

void TestVBoxManage::init()
{
    m_dir = new QTemporaryDir;
    QVERIFY(m_dir->isValid());
    // A host with hardware virtualisation, whatever machine runs the test.
    QVERIFY(QDir().mkpath(state()));
    writeHost("[host]\nsupportsHWvirtualization=yes\n");
    QCOMPARE(run({"createvm", "--name", "vm1", "--register", "--ostype", "Linux"}).exitCode, 0);
    QCOMPARE(run({"storagectl", "vm1", "--name", "IDE", "--add", "ide"}).exitCode, 0);
}

void TestVBoxManage::cleanup()
{
    delete m_dir;
    m_dir = nullptr;
}

void TestVBoxManage::refused_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QStringList>("errors");

    const QString notFound = "Details: code VBOX_E_OBJECT_NOT_FOUND (0x80bb0001), component VirtualBoxWrap, "
                             "interface IVirtualBox, callee nsISupports";
    const QString invalidArg =
        "Details: code NS_ERROR_INVALID_ARG (0x80070057), component SessionMachine, interface "
        "IMachine, callee nsISupports";
    QTest::newRow("unknown command") << "VBoxManage" << QStringList{"frob"} << 2
                                     << QStringList{"Invalid command 'frob'"};
    QTest::newRow("unknown vm, own prefix")
        << "OrvvmManage" << QStringList{"showvminfo", "nope", "--machinereadable"} << 1
        << QStringList{"Could not find a registered machine named 'nope'", notFound};
    QTest::newRow("unknown uuid") << "VBoxManage"
                                  << QStringList{"showvminfo", "{0d5b0b6e-1111-4222-8333-944455556666}"} << 1
                                  << QStringList{"Could not find a registered machine with UUID "
                                                 "{0d5b0b6e-1111-4222-8333-944455556666}",
                                                 notFound};
    QTest::newRow("vm names are case-sensitive")
        << "VBoxManage" << QStringList{"modifyvm", "VM1", "--memory", "256"} << 1
        << QStringList{"Could not find a registered machine named 'VM1'", notFound};
    QTest::newRow("showvminfo without vm") << "VBoxManage" << QStringList{"showvminfo", "--machinereadable"}
                                           << 2 << QStringList{"VM name or UUID required"};
    QTest::newRow("modifyvm unknown option exits 1")
        << "VBoxManage" << QStringList{"modifyvm", "vm1", "--foo", "1"} << 1
        << QStringList{"Unknown option: --foo", "Unknown option: --foo"};
    QTest::newRow("modifyvm missing value")
        << "VBoxManage" << QStringList{"modifyvm", "vm1", "--memory"} << 1
        << QStringList{"--memory: RTGetOpt: Command line option needs argument.",
                       "--memory: RTGetOpt: Command line option needs argument."};
    QTest::newRow("modifyvm on/off word") << "VBoxManage" << QStringList{"modifyvm", "vm1", "--acpi", "yes"}
                                          << 1 << QStringList{"Unknown option: yes", "Unknown option: yes"};
    QTest::newRow("dsound is Windows only")
        << "VBoxManage" << QStringList{"modifyvm", "vm1", "--audiocontroller", "ac97", "--audio", "dsound"}
        << 1 << QStringList{"Invalid --audio argument 'dsound'"};
    QTest::newRow("five-field rule") << "VBoxManage"
                                     << QStringList{"modifyvm", "vm1", "--natpf1", "a,tcp,,1,2"} << 2
                                     << QStringList{"Missing or invalid argument to '--natpf'",
                                                    "Missing or invalid argument to '--natpf'"};
    QTest::newRow("delete unknown rule")
        << "VBoxManage" << QStringList{"modifyvm", "vm1", "--natpf1", "delete", "x"} << 1
        << QStringList{"Code NS_ERROR_INVALID_ARG (0x80070057) - Invalid argument "
                       "value (extended info not available)"};
    QTest::newRow("bad boot device") << "VBoxManage" << QStringList{"modifyvm", "vm1", "--boot1", "cdrom"}
                                     << 2
                                     << QStringList{"Invalid boot device 'cdrom'",
                                                    "Invalid boot device 'cdrom'"};
    QTest::newRow("memory range") << "VBoxManage" << QStringList{"modifyvm", "vm1", "--memory", "2"} << 1
                                  << QStringList{"Invalid RAM size: 2 MB (must be in range [4, 2097152] MB)",
                                                 invalidArg};
    QTest::newRow("createvm without name") << "VBoxManage" << QStringList{"createvm", "--register"} << 2
                                           << QStringList{"Parameter --name is required"};
    QTest::newRow("createvm twice") << "VBoxManage" << QStringList{"createvm", "--name", "vm1"} << 1
                                    << QStringList{
                                           "Machine settings file '%STATE%/VirtualBox VMs/vm1/vm1.vbox' "
                                           "already exists",
                                           "Details: code VBOX_E_FILE_ERROR (0x80bb0004), component "
                                           "MachineWrap, interface IMachine, callee nsISupports"};
    QTest::newRow("controlvm stopped vm") << "VBoxManage" << QStringList{"controlvm", "vm1", "poweroff"} << 1
                                          << QStringList{"Machine 'vm1' is not currently running."};
    QTest::newRow("controlvm too short")
        << "VBoxManage" << QStringList{"controlvm", "vm1"} << 2 << QStringList{"Not enough parameters."};
    QTest::newRow("startvm unknown option") << "VBoxManage" << QStringList{"startvm", "vm1", "--delete"} << 2
                                            << QStringList{"unknown option: --delete"};
    QTest::newRow("guestproperty subcommand") << "VBoxManage" << QStringList{"guestproperty", "frob", "vm1"}
                                              << 2 << QStringList{"Unknown subcommand: frob"};
    QTest::newRow("guestproperty get count") << "VBoxManage" << QStringList{"guestproperty", "get", "vm1"}
                                             << 2 << QStringList{"Incorrect parameters"};
    QTest::newRow("unregistervm without vm")
        << "VBoxManage" << QStringList{"unregistervm", "--delete"} << 2 << QStringList{"VM name required"};
    QTest::newRow("discardstate not saved")
        << "VBoxManage" << QStringList{"discardstate", "vm1"} << 1
        << QStringList{
               "Cannot discard the saved state as the machine is not in the Saved or Aborted-Saved state "
               "(machine state: PoweredOff)",
               "Details: code VBOX_E_INVALID_VM_STATE (0x80bb0002), component SessionMachine, interface "
               "IMachine, callee nsISupports"};
    QTest::newRow("storagectl too few") << "VBoxManage" << QStringList{"storagectl", "vm1", "--name", "IDE"}
                                        << 2 << QStringList{"Too few parameters"};
    QTest::newRow("storagectl duplicate")
        << "VBoxManage" << QStringList{"storagectl", "vm1", "--name", "IDE", "--add", "ide"} << 1
        << QStringList{"Storage controller named 'IDE' already exists",
                       "Details: code VBOX_E_OBJECT_IN_USE (0x80bb000c), component SessionMachine, interface "
                       "IMachine, callee nsISupports"};
    QTest::newRow("attach missing file")
        << "VBoxManage"
        << QStringList{"storageattach", "vm1", "--storagectl", "IDE", "--port",   "0",
                       "--device",      "0",   "--type",       "hdd", "--medium", "nofile.vdi"}
        << 1
        << QStringList{
               "Could not find file for the medium '%WORK%/nofile.vdi' (VERR_FILE_NOT_FOUND)",
               "Details: code VBOX_E_FILE_ERROR (0x80bb0004), component MediumWrap, interface IMedium, "
               "callee nsISupports",
               "Invalid UUID or filename \"nofile.vdi\""};
    QTest::newRow("machine folder not absolute")
        << "VBoxManage" << QStringList{"setproperty", "machinefolder", "rel/dir"} << 1
        << QStringList{
               "Given default machine folder 'rel/dir' is not fully qualified",
               "Details: code NS_ERROR_INVALID_ARG (0x80070057), component SystemPropertiesWrap, interface "
               "ISystemProperties, callee nsISupports"};
    QTest::newRow("shared folder without host path")
        << "VBoxManage" << QStringList{"sharedfolder", "add", "vm1", "--name", "game"} << 2
        << QStringList{"No host path (--hostpath) was given"};
    QTest::newRow("shared folder name with space")
        << "VBoxManage" << QStringList{"sharedfolder", "add", "vm1", "--name", "a b", "--hostpath", "/tmp"}
        << 2 << QStringList{"Invalid shared folder name 'a b': contains space"};
    QTest::newRow("remove unknown shared folder")
        << "VBoxManage" << QStringList{"sharedfolder", "remove", "vm1", "--name", "x"} << 1
        << QStringList{
               "Could not find a shared folder named 'x'",
               "Details: code VBOX_E_OBJECT_NOT_FOUND (0x80bb0001), component SessionMachine, interface "
               "IMachine, callee nsISupports"};
    QTest::newRow("unknown list") << "VBoxManage" << QStringList{"list", "foo"} << 2
                                  << QStringList{"Unknown subcommand \"foo\"."};
    QTest::newRow("closemedium option") << "VBoxManage" << QStringList{"closemedium", "disk", "a.vdi", "--x"}
                                        << 2 << QStringList{"unknown option: --x"};
}

void TestVBoxManage::refused()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QStringList, errors);
    errors.replaceInStrings("%STATE%", state());
    errors.replaceInStrings("%WORK%", work());
    QFile settings(state() + "/VirtualBox VMs/vm1/vm1.vbox");
    QVERIFY(settings.open(QIODevice::ReadOnly));
    const QByteArray settingsBefore = settings.readAll();
    settings.close();

    const Result r = run(args, program);
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(r.errors(program), errors);
    QCOMPARE(r.out, QString());
    // A refused command changes nothing.
    QVERIFY(settings.open(QIODevice::ReadOnly));
    QCOMPARE(settings.readAll(), settingsBefore);
}

void TestVBoxManage::accepted_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("outStart"); // empty: no output at all
    QTest::newRow("version") << QStringList{"--version"} << 0 << "7.1.4r165100\n";
    QTest::newRow("bare command prints usage, exits 1")
        << QStringList{"showvminfo"} << 1 << "Usage - Show configuration";
    QTest::newRow("options before positional")
        << QStringList{"showvminfo", "--machinereadable", "vm1"} << 0 << "name=\"vm1\"\n";
    QTest::newRow("attached value") << QStringList{"modifyvm", "vm1", "--memory=512", "--cpus:2"} << 0 << "";
    QTest::newRow("invalid nic number is not a failure")
        << QStringList{"modifyvm", "vm1", "--nic9", "nat"} << 0 << "";
    QTest::newRow("empty rule name") << QStringList{"modifyvm", "vm1", "--natpf1", ",tcp,,2222,,22"} << 0
                                     << "";
    QTest::newRow("list hostinfo") << QStringList{"list", "hostinfo"} << 0
                                   << "Host Information:\n\nHost time: ";
}

void TestVBoxManage::accepted()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, outStart);
    const Result r = run(args);
    QCOMPARE(r.exitCode, exitCode);
    if (outStart.isEmpty())
        QCOMPARE(r.out, QString());
    else
        QVERIFY2(r.out.startsWith(outStart), qPrintable(r.out));
}

void TestVBoxManage::createRegisterShowRoundTrip()
{
    const Result created = run({"createvm", "--name", "Orvanta_2", "--ostype", "Linux"});
    QCOMPARE(created.exitCode, 0);
    const QStringList lines = created.out.split('\n');
    QCOMPARE(lines.at(0), QString("Virtual machine 'Orvanta_2' is created."));
    QVERIFY(QRegularExpression("^UUID: [0-9a-f-]{36}$").match(lines.at(1)).hasMatch());
    const QString file = state() + "/VirtualBox VMs/Orvanta_2/Orvanta_2.vbox";
    QCOMPARE(lines.at(2), QString("Settings file: '%1'").arg(file));
    QVERIFY(QFileInfo(file).isFile());
    QCOMPARE(QFileInfo(QFileInfo(file).path()).permissions() & 0x0077, QFile::Permissions());
    QVERIFY(!run({"list", "vms"}).out.contains("Orvanta_2"));

    QCOMPARE(run({"registervm", file}).exitCode, 0);
    const QString uuid = lines.at(1).mid(6);
    QCOMPARE(run({"list", "vms"}).out.split('\n').at(1), QString("\"Orvanta_2\" {%1}").arg(uuid));
    const QMap<QString, QString> info = vmInfo("Orvanta_2");
    QCOMPARE(info.value("UUID"), uuid);
    QCOMPARE(info.value("ostype"), QString("Other Linux (32-bit)"));
    QCOMPARE(info.value("CfgFile"), file);
    QCOMPARE(info.value("LogFldr"), state() + "/VirtualBox VMs/Orvanta_2/Logs");
    QCOMPARE(info.value("VMState"), QString("poweroff"));
    QCOMPARE(info.value("nic1"), QString("nat"));
    QCOMPARE(info.value("nictype1"), QString("82540EM"));
    QVERIFY(QRegularExpression("^080027[0-9A-F]{6}$").match(info.value("macaddress1")).hasMatch());
    QCOMPARE(info.value("nic2"), QString("none"));
    // Numbers bare, strings quoted.
    const QString text = run({"showvminfo", uuid, "--machinereadable"}).out;
    QVERIFY(text.contains("\nmemory=128\n"));
    QVERIFY(text.contains("\nacpi=\"on\"\n"));
    QCOMPARE(run({"registervm", file}).exitCode, 1);

    // An unreadable settings file lists the machine as inaccessible, and it can be dropped by its UUID.
    QFile::resize(file, 10);
    QCOMPARE(run({"list", "vms"}).out.split('\n').at(1), QString("\"<inaccessible>\" {%1}").arg(uuid));
    QCOMPARE(run({"unregistervm", uuid, "--delete"}).exitCode, 0);
    QVERIFY(!run({"list", "vms"}).out.contains(uuid));
}

void TestVBoxManage::folderNameIsTheNameMadeSafe_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("folder");
    QTest::newRow("plain") << "Work_"
                           << "Work_";
    QTest::newRow("trailing dot") << "Work."
                                  << "Work_";
    QTest::newRow("two trailing dots") << "Work.."
                                       << "Work._";
    QTest::newRow("leading dash") << "-x"
                                  << "_x";
    QTest::newRow("option-like") << "--delete"
                                 << "_-delete";
    QTest::newRow("leading dot") << ".x"
                                 << "_x";
    QTest::newRow("leading and trailing blank") << " a "
                                                << "_a_";
    QTest::newRow("slash and colon") << "a/b:c"
                                     << "a_b_c";
    QTest::newRow("inner dots, dashes, blanks, brackets") << "a -.(b)"
                                                          << "a -.(b)";
}

void TestVBoxManage::folderNameIsTheNameMadeSafe()
{
    QFETCH(QString, name);
    QFETCH(QString, folder);
    const Result created = run({"createvm", "--name", name, "--register"});
    QCOMPARE(created.exitCode, 0);
    const QString file = state() + "/VirtualBox VMs/" + folder + '/' + folder + ".vbox";
    QCOMPARE(created.out.split('\n').value(2), QString("Settings file: '%1'").arg(file));
    // The machine is found by its settings file too.
    QCOMPARE(vmInfo(file).value("name"), name);
    if (name.startsWith('-')) {
        // Every later command takes the name for an option: a usage error.
        QCOMPARE(run({"showvminfo", name, "--machinereadable"}).exitCode, 2);
    } else {
        QCOMPARE(vmInfo(name).value("CfgFile"), file);
    }

    // Another name made into the same folder name cannot have its own machine there.
    const QString other = folder == name ? QString(folder).replace('_', '.') : folder;
    if (other != name) {
        const Result second = run({"createvm", "--name", other, "--register"});
        QCOMPARE(second.exitCode, 1);
        QCOMPARE(second.errors().value(0), QString("Machine settings file '%1' already exists").arg(file));
    }
}

void TestVBoxManage::machineArgumentOfUuidFormIsAUuid()
{
    // createvm takes a name of UUID form; looking it up by that name finds the UUID instead.
    const QString named = "0b1c0000-0000-4000-8000-000000000001";
    QCOMPARE(run({"createvm", "--name", named, "--register"}).exitCode, 0);
    const QString vm1 = vmInfo("vm1").value("UUID");
    const Result notFound = run({"showvminfo", named, "--machinereadable"});
    QCOMPARE(notFound.exitCode, 1);
    QCOMPARE(notFound.errors().value(0),
             QString("Could not find a registered machine with UUID {%1}").arg(named));

    // A machine whose UUID another machine has as its name: the argument means the UUID, in any case and
    // with or without braces.
    QCOMPARE(run({"createvm", "--name", vm1, "--register"}).exitCode, 0);
    QCOMPARE(vmInfo(vm1).value("name"), QString("vm1"));
    QCOMPARE(vmInfo("{" + vm1.toUpper() + "}").value("name"), QString("vm1"));
    QCOMPARE(run({"modifyvm", vm1, "--memory", "256"}).exitCode, 0);
    QCOMPARE(vmInfo("vm1").value("memory"), QString("256"));
}

void TestVBoxManage::renameMovesFolderAndSettingsFile()
{
    QCOMPARE(run({"modifyvm", "vm1", "--memory", "1024"}).exitCode, 0); // leaves vm1.vbox-prev
    QCOMPARE(run({"modifyvm", "vm1", "--name", "Orvanta_0"}).exitCode, 0);
    const QString dir = state() + "/VirtualBox VMs/Orvanta_0";
    QVERIFY(!QFileInfo::exists(state() + "/VirtualBox VMs/vm1"));
    QVERIFY(QFileInfo(dir + "/Orvanta_0.vbox").isFile());
    QVERIFY(QFileInfo(dir + "/Orvanta_0.vbox-prev").isFile());
    QCOMPARE(vmInfo("Orvanta_0").value("CfgFile"), dir + "/Orvanta_0.vbox");
    QCOMPARE(vmInfo("Orvanta_0").value("memory"), QString("1024"));

    QCOMPARE(run({"createvm", "--name", "vm1", "--register"}).exitCode, 0);
    const Result clash = run({"modifyvm", "vm1", "--name", "Orvanta_0"});
    QCOMPARE(clash.exitCode, 1);
    QCOMPARE(clash.errors().value(0),
             QString("Could not rename the directory '%1/VirtualBox VMs/vm1' to '%2' to save "
                     "the settings file (VERR_ALREADY_EXISTS)")
                 .arg(state(), dir));
    QCOMPARE(run({"modifyvm", "vm1", "--name", "0d5b0b6e-1111-4222-8333-944455556666"}).errors().value(0),
             QString("A machine cannot have a UUID as its name"));
}

void TestVBoxManage::natRulesSortedAndDeleted()
{
    QCOMPARE(run({"modifyvm", "vm1", "--natpf1", "vinput,tcp,127.0.0.1,25000,10.0.2.15,22469", "--natpf1",
                  "adb,tcp,127.0.0.1,25003,10.0.2.15,5555", "--nat-pf1",
                  "opengl, tcp ,127.0.0.1,24000,10.0.2.15,22468"})
                 .exitCode,
             0);
    QMap<QString, QString> info = vmInfo("vm1");
    QCOMPARE(info.value("Forwarding(0)"), QString("adb,tcp,127.0.0.1,25003,10.0.2.15,5555"));
    QCOMPARE(info.value("Forwarding(1)"), QString("opengl,tcp,127.0.0.1,24000,10.0.2.15,22468"));
    QCOMPARE(info.value("Forwarding(2)"), QString("vinput,tcp,127.0.0.1,25000,10.0.2.15,22469"));

    QCOMPARE(run({"modifyvm", "vm1", "--natpf1", "delete", "opengl"}).exitCode, 0);
    info = vmInfo("vm1");
    QCOMPARE(info.value("Forwarding(1)"), QString("vinput,tcp,127.0.0.1,25000,10.0.2.15,22469"));
    QVERIFY(!info.contains("Forwarding(2)"));

    const Result port = run({"modifyvm", "vm1", "--natpf1", "other,tcp,127.0.0.1,25000,,22"});
    QCOMPARE(port.exitCode, 1);
    QCOMPARE(port.errors().value(0),
             QString("A NAT rule for this host port and this host IP already exists"));
    // All or nothing: the first option of a failing run is not kept either.
    QCOMPARE(run({"modifyvm", "vm1", "--memory", "777", "--natpf1", "adb,tcp,,1,,2"}).exitCode, 1);
    QCOMPARE(vmInfo("vm1").value("memory"), QString("128"));
    QCOMPARE(run({"modifyvm", "vm1", "--natpf1", ",udp,,2222,,22"}).exitCode, 0);
    QCOMPARE(vmInfo("vm1").value("Forwarding(1)"), QString("udp_2222_22,udp,,2222,,22"));
    QCOMPARE(vmInfo("vm1").value("Forwarding(2)"), QString("vinput,tcp,127.0.0.1,25000,10.0.2.15,22469"));
}

void TestVBoxManage::sharedFoldersKeepOrder()
{
    QDir().mkpath(work() + "/share/event");
    QDir().mkpath(work() + "/share/game");
    QCOMPARE(
        run({"sharedfolder", "add", "vm1", "--name", "event", "--hostpath", "share/event/", "--automount"})
            .exitCode,
        0);
    QCOMPARE(
        run({"sharedfolder", "add", "--name", "game", "vm1", "--hostpath", work() + "/share/game"}).exitCode,
        0);
    QMap<QString, QString> info = vmInfo("vm1");
    QCOMPARE(info.value("SharedFolderNameMachineMapping1"), QString("event"));
    QCOMPARE(info.value("SharedFolderPathMachineMapping1"), work() + "/share/event");
    QCOMPARE(info.value("SharedFolderNameMachineMapping2"), QString("game"));

    QCOMPARE(run({"sharedfolder", "add", "vm1", "--name", "game", "--hostpath", work()}).errors().value(0),
             QString("Shared folder named 'game' already exists"));
    QCOMPARE(run({"sharedfolder", "add", "vm1", "--name", "x", "--hostpath", "missing"}).errors().value(0),
             QString("RTPathQueryInfo failed on shared folder path '%1/missing': VERR_FILE_NOT_FOUND")
                 .arg(work()));
    QCOMPARE(run({"sharedfolder", "remove", "vm1", "--name", "event"}).exitCode, 0);
    info = vmInfo("vm1");
    QCOMPARE(info.value("SharedFolderNameMachineMapping1"), QString("game"));
    QVERIFY(!info.contains("SharedFolderNameMachineMapping2"));
}

void TestVBoxManage::guestProperties()
{
    QCOMPARE(run({"guestproperty", "set", "vm1", "orvanta_ova_version", "1.0.1"}).exitCode, 0);
    QCOMPARE(run({"guestproperty", "get", "vm1", "orvanta_ova_version"}).out, QString("Value: 1.0.1\n"));
    QCOMPARE(run({"guestproperty", "set", "vm1", "vkeyboard_mode", ""}).exitCode, 0);
    QCOMPARE(run({"guestproperty", "get", "vm1", "vkeyboard_mode"}).out, QString("No value set!\n"));
    QCOMPARE(run({"guestproperty", "get", "vm1", "missing"}).out, QString("No value set!\n"));
    QCOMPARE(run({"guestproperty", "set", "vm1", "ro", "x", "--flags", "RDONLYHOST"}).exitCode, 0);
    QCOMPARE(run({"guestproperty", "set", "vm1", "ro", "y"}).errors().value(0),
             QString("The property 'ro' cannot be changed by the host"));

    // Sorted, names padded to the longest, the "@" column after the longest value.
    const QStringList lines = run({"guestproperty", "enumerate", "vm1"}).out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines.at(0).startsWith("orvanta_ova_version = '1.0.1' @ "));
    QVERIFY(lines.at(1).startsWith("ro                  = 'x'     @ "));
    QVERIFY(lines.at(1).endsWith("Z RDONLYHOST"));
    QVERIFY(lines.at(2).startsWith("vkeyboard_mode      = ''      @ "));
    QCOMPARE(run({"guestproperty", "enumerate", "vm1", "--no-timestamp", "--no-flags", "v*"}).out,
             QString("vkeyboard_mode = ''\n"));

    QCOMPARE(run({"guestproperty", "unset", "vm1", "vkeyboard_mode"}).exitCode, 0);
    QCOMPARE(run({"guestproperty", "unset", "vm1", "never_set"}).exitCode, 0);
    QVERIFY(!run({"guestproperty", "enumerate", "vm1"}).out.contains("vkeyboard_mode"));

    // An older tool version answers in the old one-line form.
    QFile ini(state() + "/host.ini");
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[tool]\nversion=6.1.40r156409\n");
    ini.close();
    QVERIFY(QRegularExpression("^Name: orvanta_ova_version, value: 1.0.1, timestamp: \\d+, flags: \n")
                .match(run({"guestproperty", "enumerate", "vm1"}).out)
                .hasMatch());
}

void TestVBoxManage::extraData()
{
    const QString key = "VBoxInternal/Devices/OrvSpeed/0/Trusted";
    QCOMPARE(run({"setextradata", "vm1", key, "1"}).exitCode, 0);
    QCOMPARE(run({"setextradata", "vm1", "A/key", "x, y: z"}).exitCode, 0);
    QCOMPARE(run({"getextradata", "vm1", "enumerate"}).out,
             QString("Key: A/key, Value: x, y: z\nKey: %1, Value: 1\n").arg(key));
    QCOMPARE(run({"getextradata", "vm1", key}).out, QString("Value: 1\n"));
    QCOMPARE(run({"setextradata", "vm1", key}).exitCode, 0);
    QCOMPARE(run({"getextradata", "vm1", key}).out, QString("No value set!\n"));
    QCOMPARE(run({"setextradata", "global", "G", "v"}).exitCode, 0);
    QCOMPARE(run({"getextradata", "global"}).out, QString("Key: G, Value: v\n"));
    QCOMPARE(run({"setextradata", "vm1", "a", "b", "c"}).errors(), QStringList{"Too many parameters"});
}

void TestVBoxManage::guestLivesWithItsMachine_data()
{
    QTest::addColumn<QStringList>("stop");
    QTest::newRow("poweroff") << QStringList{"controlvm", "vm1", "poweroff"};
    QTest::newRow("savestate") << QStringList{"controlvm", "vm1", "savestate"};
    QTest::newRow("emergency stop") << QStringList{"startvm", "vm1", "--type", "emergencystop"};
}

void TestVBoxManage::guestLivesWithItsMachine()
{
    QFETCH(QStringList, stop);
    // A port nobody listens on, for the input service's forward, of this test's own block (testports.h).
    const quint16 port = TestPorts::freePort();
    QCOMPARE(run({"modifyvm", "vm1", "--natpf1",
                  QStringLiteral("vinput,tcp,127.0.0.1,%1,10.0.2.15,22469").arg(port)})
                 .exitCode,
             0);
    QCOMPARE(run({"guestproperty", "set", "vm1", "emu_id", "4242"}).exitCode, 0);
    QCOMPARE(run({"startvm", "vm1", "--type", "headless"}).exitCode, 0);

    // The guest answers on the forwarded host port and shows its picture under the emulator's key.
    QTcpSocket socket;
    QVERIFY(waitForConnection(&socket, port));
    socket.write("SHELL_CMD:str-getprop dev.bootcomplete\n");
    QVERIFY(socket.waitForReadyRead(5000));
    QVERIFY(QRegularExpression(QStringLiteral("^[01]\n$"))
                .match(QString::fromLatin1(socket.readAll()))
                .hasMatch());
    const QString frame = state() + QStringLiteral("/screens/4242.frame");
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(frame), 5000);
    const QString pidFile = state() + QStringLiteral("/guests/vm1/guest.pid");
    QVERIFY(QFileInfo::exists(pidFile));

    // The machine stops: its guest is gone when the tool returns.
    QCOMPARE(run(stop).exitCode, 0);
    QVERIFY(!QFileInfo::exists(pidFile));
    QVERIFY(!QFileInfo::exists(frame));
    QTcpSocket again;
    again.connectToHost(QHostAddress::LocalHost, port);
    QVERIFY(!again.waitForConnected(2000));
}

void TestVBoxManage::powerStates()
{
    const Result started = run({"startvm", "vm1", "--type", "headless"});
    QCOMPARE(started.exitCode, 0);
    QCOMPARE(started.out,
             QString("Waiting for VM \"vm1\" to power on...\nVM \"vm1\" has been successfully started.\n"));
    QCOMPARE(vmInfo("vm1").value("VMState"), QString("running"));
    QCOMPARE(vmInfo("vm1").value("SessionName"), QString("headless"));
    QCOMPARE(run({"list", "runningvms"}).out.count('\n'), 1);
    QCOMPARE(run({"startvm", "vm1"}).errors().value(0),
             QString("The machine 'vm1' is already locked by a session (or being locked or unlocked)"));
    QCOMPARE(run({"modifyvm", "vm1", "--memory", "256"}).errors().value(0),
             QString("The machine 'vm1' is already locked for a session (or being unlocked)"));
    QCOMPARE(run({"unregistervm", "vm1"}).errors().value(0),
             QString("Cannot unregister the machine 'vm1' while it is locked"));
    // Shared-lock commands work on a running machine.
    QCOMPARE(run({"guestproperty", "set", "vm1", "emu_id", "42"}).exitCode, 0);

    const Result invalid = run({"controlvm", "vm1", "frob"});
    QCOMPARE(invalid.exitCode, 1);
    QCOMPARE(invalid.errors().value(0), QString("Invalid parameter 'frob'."));

    const Result saved = run({"controlvm", "vm1", "savestate"});
    QCOMPARE(saved.err, QString("0%...10%...20%...30%...40%...50%...60%...70%...80%...90%...100%\n"));
    QMap<QString, QString> info = vmInfo("vm1");
    QCOMPARE(info.value("VMState"), QString("saved"));
    QVERIFY(QFileInfo(info.value("VMStateFile")).isFile());
    QCOMPARE(run({"discardstate", "vm1"}).exitCode, 0);
    QVERIFY(!QFileInfo::exists(info.value("VMStateFile")));
    QCOMPARE(vmInfo("vm1").value("VMState"), QString("poweroff"));

    QCOMPARE(run({"startvm", "vm1", "--type", "HEADLESS"}).exitCode, 0);
    const Result stop = run({"startvm", "vm1", "--type", "emergencystop"});
    QCOMPARE(stop.exitCode, 0);
    QCOMPARE(stop.out, QString());
    QCOMPARE(vmInfo("vm1").value("VMState"), QString("aborted"));
    QCOMPARE(run({"startvm", "vm1", "--type", "emergencystop"}).errors().value(0),
             QString("The machine 'vm1' is not locked by a session"));
    QCOMPARE(run({"startvm", "vm1", "--type", "headless"}).exitCode, 0);
    const Result off = run({"controlvm", "vm1", "poweroff"});
    QCOMPARE(off.exitCode, 0);
    QCOMPARE(off.out, QString());
    QVERIFY(off.err.startsWith("0%...10%"));
    QCOMPARE(vmInfo("vm1").value("VMState"), QString("poweroff"));
    QVERIFY(!vmInfo("vm1").contains("SessionName"));
}

void TestVBoxManage::writeHost(const QByteArray &ini)
{
    QFile file(state() + "/host.ini");
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(ini);
}

void TestVBoxManage::startRefusals_data()
{
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<QString>("hwvirtex");
    QTest::addColumn<QString>("plugIn"); // "missing", "present" or "" (none registered)
    QTest::addColumn<QString>("error");  // first error line; empty: the start succeeds
    const QByteArray intel =
        "[host]\nsupportsHWvirtualization=no\nprocessorDescription=Intel(R) Core(TM) i5\n";
    const QByteArray amd = "[host]\nsupportsHWvirtualization=no\nprocessorDescription=AMD Ryzen 5 3600\n";
    const QByteArray capable = "[host]\nsupportsHWvirtualization=yes\n";
    QTest::newRow("no VT-x, hwvirtex on") << intel << "on"
                                          << ""
                                          << "VT-x is not available (VERR_VMX_NO_VMX)";
    QTest::newRow("no AMD-V, hwvirtex on") << amd << "on"
                                           << ""
                                           << "AMD-V is not available (VERR_SVM_NO_SVM)";
    QTest::newRow("no VT-x, hwvirtex off") << intel << "off"
                                           << ""
                                           << "";
    QTest::newRow("plug-in missing") << capable << "on"
                                     << "missing"
                                     << "Unable to load R3 module %1 (OrvSpeed): VERR_FILE_NOT_FOUND";
    QTest::newRow("plug-in present") << capable << "on"
                                     << "present"
                                     << "";
}

void TestVBoxManage::startRefusals()
{
    // The VM process fails while it powers on: the waiting line, the error and its details (no
    // context), exit 1, and the machine stays off.
    QFETCH(QByteArray, host);
    QFETCH(QString, hwvirtex);
    QFETCH(QString, plugIn);
    QFETCH(QString, error);
    writeHost(host);
    QCOMPARE(run({"modifyvm", "vm1", "--hwvirtex", hwvirtex}).exitCode, 0);
    const QString plugInPath = work() + "/player/OrvSpeed-x64.so";
    if (!plugIn.isEmpty()) {
        if (plugIn == "present") {
            QVERIFY(QDir().mkpath(work() + "/player"));
            makeFile("player/OrvSpeed-x64.so");
        }
        QCOMPARE(run({"setextradata", "vm1", "VBoxInternal/PDM/Devices/OrvSpeed/Path", plugInPath}).exitCode,
                 0);
    }
    const Result started = run({"startvm", "vm1", "--type", "headless"});
    if (error.isEmpty()) {
        QCOMPARE(started.exitCode, 0);
        QCOMPARE(vmInfo("vm1").value("VMState"), QString("running"));
        return;
    }
    QCOMPARE(started.exitCode, 1);
    QCOMPARE(started.out, QString("Waiting for VM \"vm1\" to power on...\n"));
    QCOMPARE(started.errors(),
             (QStringList{
                 error.arg(plugInPath),
                 "Details: code NS_ERROR_FAILURE (0x80004005), component ConsoleWrap, interface IConsole, "
                 "callee nsISupports"}));
    QVERIFY(!started.err.contains("Context:"));
    QCOMPARE(vmInfo("vm1").value("VMState"), QString("poweroff"));
}

void TestVBoxManage::runningMachineKeepsItsIdeDevices()
{
    // IDE cannot hot-plug: a running machine's disk can neither be taken off nor replaced; a DVD drive
    // takes another medium, and a SATA disk comes and goes.
    const QString disk = makeFile("disk.vdi");
    const QString other = makeFile("other.vdi", QByteArray(4096, 'y'));
    const QString dvd = makeFile("tools.iso", QByteArray(4096, 'z'));
    const QString sataDisk = makeFile("sata.vdi", QByteArray(4096, 's'));
    QCOMPARE(run({"storageattach", "vm1", "--storagectl", "IDE", "--port", "0", "--device", "0", "--type",
                  "hdd", "--medium", disk})
                 .exitCode,
             0);
    QCOMPARE(run({"storageattach", "vm1", "--storagectl", "IDE", "--port", "1", "--device", "0", "--type",
                  "dvddrive", "--medium", "emptydrive"})
                 .exitCode,
             0);
    QCOMPARE(run({"storagectl", "vm1", "--name", "SATA", "--add", "sata"}).exitCode, 0);
    QCOMPARE(run({"startvm", "vm1", "--type", "headless"}).exitCode, 0);

    const QString refusal = "Controller 'IDE' does not support hot-plugging";
    const Result detach = run(
        {"storageattach", "vm1", "--storagectl", "IDE", "--port", "0", "--device", "0", "--medium", "none"});
    QCOMPARE(detach.exitCode, 1);
    QCOMPARE(detach.errors().value(0), refusal);
    QVERIFY(
        detach.err.contains("Details: code VBOX_E_INVALID_VM_STATE (0x80bb0002), component SessionMachine, "
                            "interface IMachine"));
    QVERIFY(detach.err.contains("Context: \"DetachDevice(Bstr(pszCtl).raw(), port, device)\""));
    const Result replace = run({"storageattach", "vm1", "--storagectl", "IDE", "--port", "0", "--device", "0",
                                "--type", "hdd", "--medium", other});
    QCOMPARE(replace.exitCode, 1);
    QCOMPARE(replace.errors().value(0), refusal);
    QCOMPARE(vmInfo("vm1").value("IDE-0-0"), disk);

    QCOMPARE(
        run({"storageattach", "vm1", "--storagectl", "IDE", "--port", "1", "--device", "0", "--medium", dvd})
            .exitCode,
        0);
    QCOMPARE(vmInfo("vm1").value("IDE-1-0"), dvd);
    QCOMPARE(run({"storageattach", "vm1", "--storagectl", "SATA", "--port", "0", "--device", "0", "--type",
                  "hdd", "--medium", sataDisk})
                 .exitCode,
             0);
    QCOMPARE(run({"storageattach", "vm1", "--storagectl", "SATA", "--port", "0", "--device", "0", "--medium",
                  "none"})
                 .exitCode,
             0);

    // Powered off, the IDE disk comes off.
    QCOMPARE(run({"controlvm", "vm1", "poweroff"}).exitCode, 0);
    QCOMPARE(run({"storageattach", "vm1", "--storagectl", "IDE", "--port", "0", "--device", "0", "--medium",
                  "none"})
                 .exitCode,
             0);
    QCOMPARE(vmInfo("vm1").value("IDE-0-0"), QString("none"));
}

void TestVBoxManage::brokenServiceSaysSo()
{
    // The service cannot read its state: the caller sees the real tool's three lines, among them the one
    // the emulator's reinstall path looks for.
    QFile registry(state() + "/VirtualBox.json");
    QVERIFY(registry.open(QIODevice::WriteOnly | QIODevice::Truncate));
    registry.write("{ not json");
    registry.close();
    const Result broken = run({"list", "vms"});
    QCOMPARE(broken.exitCode, 1);
    QCOMPARE(broken.out, QString());
    QCOMPARE(broken.err,
             QString("VBoxManage: error: Failed to create the VirtualBox object!\n"
                     "VBoxManage: error: Code NS_ERROR_ABORT (0x80004004) - Operation aborted (extended "
                     "info not available)\n"
                     "VBoxManage: error: Most likely, the VirtualBox COM server is not running or failed "
                     "to start.\n"));
    QVERIFY(QFile::exists(state() + "/state-errors.log"));
}

void TestVBoxManage::unregisterDeleteRemovesOnlyKnownFiles()
{
    const QString dir = state() + "/VirtualBox VMs/vm1";
    const QString disk = makeFile("disk.vmdk");
    QVERIFY(QFile::copy(disk, dir + "/system.vmdk"));
    QCOMPARE(run({"storageattach", "vm1", "--storagectl", "IDE", "--port", "0", "--device", "0", "--type",
                  "hdd", "--medium", dir + "/system.vmdk"})
                 .exitCode,
             0);
    QCOMPARE(run({"startvm", "vm1", "--type", "headless"}).exitCode, 0);
    QCOMPARE(run({"controlvm", "vm1", "poweroff"}).exitCode, 0);
    QVERIFY(QFileInfo(dir + "/Logs/VBox.log").isFile());
    makeFile("state/VirtualBox VMs/vm1/other.txt");

    const Result r = run({"unregistervm", "vm1", "--delete"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QString());
    QCOMPARE(r.err, QString("0%...10%...20%...30%...40%...50%...60%...70%...80%...90%...100%\n"));
    QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"other.txt"});
    QCOMPARE(run({"list", "vms"}).out, QString());
    QCOMPARE(run({"list", "hdds"}).out, QString());

    // Without files the tool does not know, the machine folder goes too.
    QCOMPARE(run({"createvm", "--name", "vm2", "--register"}).exitCode, 0);
    QCOMPARE(run({"unregistervm", "vm2", "--delete"}).exitCode, 0);
    QVERIFY(!QFileInfo::exists(state() + "/VirtualBox VMs/vm2"));
    // Without --delete every file stays.
    QCOMPARE(run({"createvm", "--name", "vm3", "--register"}).exitCode, 0);
    QCOMPARE(run({"unregistervm", "vm3"}).exitCode, 0);
    QVERIFY(QFileInfo(state() + "/VirtualBox VMs/vm3/vm3.vbox").isFile());
}

void TestVBoxManage::closeMediumDelete()
{
    const QString disk = makeFile("data.vmdk");
    const QStringList attach = {"storageattach", "vm1", "--storagectl", "IDE", "--port",   "0",
                                "--device",      "1",   "--type",       "hdd", "--medium", "data.vmdk"};
    QCOMPARE(run(attach).exitCode, 0);
    QCOMPARE(vmInfo("vm1").value("IDE-0-1"), disk);
    const Result inUse = run({"closemedium", "disk", disk, "--delete"});
    QCOMPARE(inUse.exitCode, 1);
    QCOMPARE(inUse.errors().value(2), QString("Failed to delete medium. Error code VBOX_E_OBJECT_IN_USE"));
    QVERIFY(QFileInfo(disk).isFile());

    QStringList detach = attach;
    detach.last() = "none";
    QCOMPARE(run(detach).exitCode, 0);
    QCOMPARE(vmInfo("vm1").value("IDE-0-1"), QString("none"));
    const Result r = run({"closemedium", "disk", disk, "--delete"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.err, QString("0%...10%...20%...30%...40%...50%...60%...70%...80%...90%...100%\n"));
    QVERIFY(!QFileInfo::exists(disk));
    QCOMPARE(run({"list", "hdds"}).out, QString());
}

void TestVBoxManage::sethduuidMakesCopiesRegistrable()
{
    const QString a = makeFile("a/android_system_disk.vmdk");
    const QString b = makeFile("b/android_system_disk.vmdk");
    QCOMPARE(run({"createvm", "--name", "vm2", "--register"}).exitCode, 0);
    QCOMPARE(run({"storagectl", "vm2", "--name", "IDE", "--add", "ide"}).exitCode, 0);
    QCOMPARE(run({"storageattach", "vm1", "--storagectl", "IDE", "--port", "0", "--device", "0", "--type",
                  "hdd", "--medium", a})
                 .exitCode,
             0);
    const QStringList attachCopy = {"storageattach", "vm2", "--storagectl", "IDE", "--port",   "0",
                                    "--device",      "0",   "--type",       "hdd", "--medium", b};
    const Result clash = run(attachCopy);
    QCOMPARE(clash.exitCode, 1);
    QVERIFY(clash.errors().value(0).startsWith(QString("Cannot register the hard disk '%1' {").arg(b)));

    const Result changed = run({"internalcommands", "sethduuid", b});
    QCOMPARE(changed.exitCode, 0);
    QVERIFY(QRegularExpression("^UUID changed to: [0-9a-f-]{36}\n$").match(changed.out).hasMatch());
    QCOMPARE(run(attachCopy).exitCode, 0);
    QCOMPARE(vmInfo("vm2").value("IDE-ImageUUID-0-0"), changed.out.mid(17).trimmed());
    QCOMPARE(run({"internalcommands", "sethduuid", "nope.vmdk"}).errors(),
             QStringList{"Format autodetect failed: VERR_FILE_NOT_FOUND"});
    const Result info = run({"showhdinfo", b});
    QVERIFY(info.out.contains(QString("In use by VMs:  vm2 (UUID: %1)").arg(vmInfo("vm2").value("UUID"))));
}

void TestVBoxManage::cloneExportImport()
{
    const QString dir = state() + "/VirtualBox VMs/vm1";
    for (const QString &name : {QString("android_system_disk.vmdk"), QString("android_data_disk.vmdk")})
        makeFile("state/VirtualBox VMs/vm1/" + name, name.toUtf8());
    QCOMPARE(run({"storageattach", "vm1", "--storagectl", "IDE", "--port", "0", "--device", "0", "--type",
                  "hdd", "--medium", dir + "/android_system_disk.vmdk"})
                 .exitCode,
             0);
    QCOMPARE(run({"storageattach", "vm1", "--storagectl", "IDE", "--port", "0", "--device", "1", "--type",
                  "hdd", "--medium", dir + "/android_data_disk.vmdk"})
                 .exitCode,
             0);
    QCOMPARE(run({"guestproperty", "set", "vm1", "is_first_run", "false"}).exitCode, 0);

    const Result cloned = run({"clonevm", "vm1", "--name", "Orvanta_2", "--mode", "all", "--register"});
    QCOMPARE(cloned.exitCode, 0);
    QCOMPARE(cloned.out, QString("Machine has been successfully cloned as \"Orvanta_2\"\n"));
    const QString cloneDir = state() + "/VirtualBox VMs/Orvanta_2";
    QMap<QString, QString> info = vmInfo("Orvanta_2");
    QCOMPARE(info.value("IDE-0-0"), cloneDir + "/Orvanta_2-disk1.vmdk");
    QCOMPARE(info.value("IDE-0-1"), cloneDir + "/Orvanta_2-disk2.vmdk");
    QVERIFY(info.value("IDE-ImageUUID-0-0") != vmInfo("vm1").value("IDE-ImageUUID-0-0"));
    QVERIFY(info.value("macaddress1") != vmInfo("vm1").value("macaddress1"));
    QCOMPARE(run({"guestproperty", "get", "Orvanta_2", "is_first_run"}).out, QString("Value: false\n"));
    QCOMPARE(run({"clonevm", "vm1", "--name", "Orvanta_2"}).errors().value(0),
             QString("Machine settings file '%1/Orvanta_2.vbox' already exists").arg(cloneDir));

    const QString ova = work() + "/backup.ova";
    const Result exported = run({"export", "Orvanta_2", "-o", ova});
    QCOMPARE(exported.exitCode, 0);
    QCOMPARE(exported.out, QString("Successfully exported 1 machine(s).\n"));
    QCOMPARE(run({"export", "Orvanta_2", "-o", ova}).errors().value(1),
             QString("Failed to open '%1' for writing (VERR_ALREADY_EXISTS)").arg(ova));

    QCOMPARE(run({"unregistervm", "Orvanta_2", "--delete"}).exitCode, 0);
    const Result imported = run({"import", ova, "--vsys", "0", "--vmname", "Orvanta_2"});
    QCOMPARE(imported.exitCode, 0);
    QVERIFY(imported.out.endsWith("Successfully imported the appliance.\n"));
    QVERIFY(imported.err.contains(QString("Interpreting %1...\nOK.\n").arg(ova)));
    info = vmInfo("Orvanta_2");
    QCOMPARE(info.value("IDE-0-0"), cloneDir + "/backup-disk001.vmdk");
    QFile disk(info.value("IDE-0-1"));
    QVERIFY(disk.open(QIODevice::ReadOnly));
    QVERIFY(disk.readAll().endsWith("android_data_disk.vmdk"));
    QCOMPARE(run({"import", "x.ova", "--vmname", "a"}).errors(),
             QStringList{"Option \"--vmname\" requires preceding --vsys or --cloud option."});

    // An appliance that holds its descriptor and none of its disks: the dry run describes it, the import
    // fails, registers nothing and makes no disk in place of the missing ones.
    const QString unpacked = work() + "/unpacked";
    QVERIFY(QDir().mkpath(unpacked));
    QProcess tar;
    tar.start("tar", {"-xf", ova, "-C", unpacked});
    QVERIFY(tar.waitForFinished(30000) && tar.exitCode() == 0);
    const QStringList descriptors = QDir(unpacked).entryList({"*.ovf"}, QDir::Files);
    QCOMPARE(descriptors.size(), 1);
    const QString bare = work() + "/bare.ova";
    tar.start("tar", {"-cf", bare, "-C", unpacked, descriptors.first()});
    QVERIFY(tar.waitForFinished(30000) && tar.exitCode() == 0);
    const QString bareDir = state() + "/VirtualBox VMs/Orvanta_5";
    QCOMPARE(run({"import", bare, "--vsys", "0", "--vmname", "Orvanta_5", "--dry-run"}).exitCode, 0);
    const Result bareImport = run({"import", bare, "--vsys", "0", "--vmname", "Orvanta_5"});
    QCOMPARE(bareImport.exitCode, 1);
    QCOMPARE(bareImport.errors().value(0), QString("Appliance import failed"));
    QVERIFY2(bareImport.errors().value(1).contains("backup-disk001.vmdk"), qPrintable(bareImport.err));
    QVERIFY(!run({"list", "vms"}).out.contains("Orvanta_5"));
    QVERIFY(!QFileInfo::exists(bareDir));
    // The same descriptor beside the folder without its disks.
    const QString ovf = unpacked + '/' + descriptors.first();
    for (const QString &file : QDir(unpacked).entryList({"*.vmdk"}, QDir::Files))
        QVERIFY(QFile::remove(unpacked + '/' + file));
    QCOMPARE(run({"import", ovf, "--vsys", "0", "--vmname", "Orvanta_5", "--dry-run"}).exitCode, 0);
    QCOMPARE(run({"import", ovf, "--vsys", "0", "--vmname", "Orvanta_5"}).errors().value(0),
             QString("Appliance import failed"));
    QVERIFY(!QFileInfo::exists(bareDir));
}

void TestVBoxManage::faults()
{
    writeFaults(R"([
        {"match": "startvm vm1 *", "stderr": "{prog}: error: VERR_LDR_MISMATCH_NATIVE\n", "exit": 1, "times": 1},
        {"match": "showvminfo *", "prog": "OrvvmManage", "stdout": "garbage=\"\n==\n", "exit": 0},
        {"match": "list vms", "stdout": "noise\n", "pass": true}
    ])");
    const QStringList start = {"startvm", "vm1", "--type", "headless"};
    const Result first = run(start, "OrvvmManage");
    QCOMPARE(first.exitCode, 1);
    QCOMPARE(first.err, QString("OrvvmManage: error: VERR_LDR_MISMATCH_NATIVE\n"));
    QCOMPARE(vmInfo("vm1").value("VMState"), QString("poweroff"));
    QCOMPARE(run(start, "OrvvmManage").exitCode, 0);

    QCOMPARE(run({"showvminfo", "vm1", "--machinereadable"}, "OrvvmManage").out, QString("garbage=\"\n==\n"));
    QVERIFY(run({"showvminfo", "vm1", "--machinereadable"}).out.startsWith("name=\"vm1\""));
    const Result noisy = run({"list", "vms"});
    QVERIFY(noisy.out.startsWith("noise\n\"vm1\" {"));
    // Faulted calls are logged like any other.
    QFile log(state() + "/calls.log");
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(log.readAll().count("\"startvm\",\"vm1\"") == 2);
}

void TestVBoxManage::hangingCallNeverFinishes()
{
    writeFaults(R"([{"match": "list vms", "hang": true, "times": 1}])");
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ORV_VBOX_STATE", state());
    process.setProcessEnvironment(env);
    process.start(QStringLiteral(ORV_SIM_VBOX_DIR) + "/VBoxManage", {"list", "vms"});
    QVERIFY(process.waitForStarted());
    QVERIFY(!process.waitForFinished(1500));
    process.kill();
    process.waitForFinished();
    // The rule was for the first call only.
    QCOMPARE(run({"list", "vms"}).exitCode, 0);
}

void TestVBoxManage::callLogKeepsArgumentBoundaries()
{
    const QStringList args = {"guestproperty", "set", "vm1", "odd name\"x", "", "--flags", "TRANSIENT"};
    run(args, "OrvvmManage");
    QFile log(state() + "/calls.log");
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().split('\n');
    const QJsonObject last = QJsonDocument::fromJson(lines.at(lines.size() - 2)).object();
    QCOMPARE(last.value("prog").toString(), QString("OrvvmManage"));
    QStringList logged;
    for (const QJsonValue &v : last.value("args").toArray())
        logged.append(v.toString());
    QCOMPARE(logged, args);
    QVERIFY(last.value("pid").toInt() > 0);
    QVERIFY(QDateTime::fromString(last.value("time").toString(), Qt::ISODateWithMs).isValid());
    // init() ran two calls before this one.
    QCOMPARE(lines.size(), 4);
}

void TestVBoxManage::callLogRecordsEachCallsEnd()
{
    writeFaults(R"([{"match": "list hostinfo", "sleep": 0.3, "pass": true},
                    {"match": "list hdds", "hang": true, "times": 1},
                    {"match": "list systemproperties", "sleep": 1, "pass": true}])");
    QCOMPARE(run({"list", "hostinfo"}).exitCode, 0);
    QProcess hung;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ORV_VBOX_STATE", state());
    hung.setProcessEnvironment(env);
    hung.start(QStringLiteral(ORV_SIM_VBOX_DIR) + "/VBoxManage", {"list", "hdds"});
    QVERIFY(hung.waitForStarted());
    QTRY_COMPARE(readToolCalls(state()).size(), 4);
    // A call that starts after the hung one and ends before it.
    QCOMPARE(run({"list", "vms"}).exitCode, 0);
    hung.kill();
    hung.waitForFinished();

    const QList<ToolCallRecord> calls = readToolCallRecords(state());
    QCOMPARE(calls.size(), 5);
    QCOMPARE(readToolCalls(state()).value(4),
             (QStringList{"list", "vms"})); // the older reader still reads it
    for (const int quick : {0, 1, 4}) {
        QVERIFY2(calls.at(quick).durationMs() >= 0 && calls.at(quick).durationMs() < 5000,
                 qPrintable(calls.at(quick).args.join(' ')));
    }
    QVERIFY(calls.at(2).durationMs() >= 300);
    QCOMPARE(calls.at(2).program, QString("VBoxManage"));
    QVERIFY(!calls.at(3).end.isValid());
    QCOMPARE(calls.at(3).durationMs(), -1);
    QVERIFY(calls.at(4).start >= calls.at(3).start);

    // A call whose log was removed while it ran leaves the new log alone.
    QProcess slow;
    slow.setProcessEnvironment(env);
    slow.start(QStringLiteral(ORV_SIM_VBOX_DIR) + "/VBoxManage", {"list", "systemproperties"});
    QVERIFY(slow.waitForStarted());
    QTRY_COMPARE(readToolCalls(state()).size(), 6);
    QVERIFY(QFile::remove(state() + "/calls.log"));
    QCOMPARE(run({"list", "vms"}).exitCode, 0);
    QFile log(state() + "/calls.log");
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray before = log.readAll();
    QVERIFY(slow.waitForFinished(10000));
    log.seek(0);
    QCOMPARE(log.readAll(), before);
    const QList<ToolCallRecord> after = readToolCallRecords(state());
    QCOMPARE(after.size(), 1);
    QVERIFY(after.at(0).durationMs() >= 0);
}

// Callers time themselves against the logged intervals (what lies outside every call's interval is
// the caller's own time): a call's logged start is never before the caller started it, nor its end
// after the caller saw it end. Times are logged in whole milliseconds, hence the one of slack.
void TestVBoxManage::callLogIntervalLiesWithinTheCallersWait()
{
    constexpr int kCalls = 30;
    QList<QPair<QDateTime, QDateTime>> waits;
    for (int i = 0; i < kCalls; ++i) {
        const QDateTime before = QDateTime::currentDateTimeUtc();
        QCOMPARE(run({"list", "vms"}).exitCode, 0);
        waits.append({before, QDateTime::currentDateTimeUtc()});
    }
    const QList<ToolCallRecord> calls = readToolCallRecords(state());
    QCOMPARE(calls.size(), kCalls + 2); // and init()'s two
    for (int i = 0; i < kCalls; ++i) {
        const ToolCallRecord &call = calls.at(i + 2);
        const QString where =
            QStringLiteral("call %1: waited %2..%3, logged %4..%5")
                .arg(i)
                .arg(waits.at(i).first.toString(Qt::ISODateWithMs),
                     waits.at(i).second.toString(Qt::ISODateWithMs), call.start.toString(Qt::ISODateWithMs),
                     call.end.toString(Qt::ISODateWithMs));
        QVERIFY2(call.start.msecsTo(waits.at(i).first) <= 1, qPrintable(where));
        QVERIFY2(call.end.isValid() && call.end <= waits.at(i).second, qPrintable(where));
        QVERIFY2(call.start <= call.end, qPrintable(where));
    }
}

void TestVBoxManage::serviceStandInRecordsStart()
{
    for (const QString &name : {QString("OrvvmSVC"), QString("VBoxSVC")}) {
        QProcess svc;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("ORV_VBOX_STATE", state());
        svc.setProcessEnvironment(env);
        svc.start(QStringLiteral(ORV_SIM_VBOX_DIR) + "/" + name, QStringList{});
        QVERIFY(svc.waitForFinished(10000));
        QCOMPARE(svc.exitCode(), 0);
    }
    QFile log(state() + "/service.log");
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = log.readAll().trimmed().split('\n');
    QCOMPARE(lines.size(), 2);
    QCOMPARE(QJsonDocument::fromJson(lines.at(0)).object().value("prog").toString(), QString("OrvvmSVC"));
    QCOMPARE(QJsonDocument::fromJson(lines.at(1)).object().value("prog").toString(), QString("VBoxSVC"));
}

QTEST_GUILESS_MAIN(TestVBoxManage)
#include "tst_vboxmanage.moc"
