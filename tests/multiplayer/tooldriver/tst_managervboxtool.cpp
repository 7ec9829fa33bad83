// The manager's VM tool against the simulated VirtualBox tool: the command lines it runs, what it
// keeps when the tool fails, and the machine list file.

#include "managervboxtool.h"
#include "mpfixture.h"
#include "timeoutscale.h"
#include "workers.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSettings>
#include <QSignalSpy>
#include <QtTest>

using namespace OrvMulti;

namespace {

QStringList words(const char *text)
{
    return QString::fromLatin1(text).split(QLatin1Char(' '));
}

QJsonObject fault(const QString &match, const QString &stderrText, int times = 0)
{
    QJsonObject rule{{"match", match}, {"stderr", stderrText}, {"exit", 1}};
    if (times > 0)
        rule.insert(QStringLiteral("times"), times);
    return rule;
}

} // namespace

class TestManagerVBoxTool : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void listCreateCloneExportImportDelete();
    void powerOffFollowsTheMachineState_data();
    void powerOffFollowsTheMachineState();
    void oldFirstMachineIsRenamed();
    void failedDeleteKeepsEverything();
    void foreignMachinesAreNeverInstances();
    void failedQueryPowersNothingOff();
    void listFileBytes();
    void unreadableListFileIsKept();
    void brokenListFileIsKeptAside();
    void cloneLeavesNoStaleOrPartialFiles();
    void hungToolStartsTheServiceOnce();
    void creationBatch_data();
    void creationBatch();

private:
    // Lists the machines (building the base machine on the first list).
    void refresh(VmRecordMap *records = nullptr);
    std::unique_ptr<ManagerFixture> m_fixture;
};

void TestManagerVBoxTool::init()
{
    m_fixture = std::make_unique<ManagerFixture>();
    QCOMPARE(VBoxTool::instance().init(), 1);
}

void TestManagerVBoxTool::cleanup()
{
    m_fixture.reset();
}

void TestManagerVBoxTool::refresh(VmRecordMap *records)
{
    VmRecordMap local;
    QCOMPARE(VBoxTool::instance().refreshVms(records ? records : &local), 1);
}

void TestManagerVBoxTool::listCreateCloneExportImportDelete()
{
    VBoxTool &tool = VBoxTool::instance();
    const QString vbox = m_fixture->machineFolder();
    const QString base = vbox + QStringLiteral("/OrvantaBase");

    // The first list builds the base machine from the image.
    refresh();
    const QList<QStringList> buildBase{
        {"setproperty", "machinefolder", vbox},
        words("createvm --name OrvantaBase --register --ostype Linux"),
        words("modifyvm OrvantaBase --boot1 disk --boot2 none --boot3 none --boot4 none"),
        words("storagectl OrvantaBase --name IDE --add ide"),
        {"internalcommands", "sethduuid", base + "/android_system_disk.vmdk"},
        {"storageattach", "OrvantaBase", "--storagectl", "IDE", "--port", "0", "--device", "0", "--type",
         "hdd", "--medium", base + "/android_system_disk.vmdk"},
        {"internalcommands", "sethduuid", base + "/android_data_disk.vmdk"},
        {"storageattach", "OrvantaBase", "--storagectl", "IDE", "--port", "0", "--device", "1", "--type",
         "hdd", "--medium", base + "/android_data_disk.vmdk"},
        {"internalcommands", "sethduuid", base + "/android_sdcard_disk.vmdk"},
        {"storageattach", "OrvantaBase", "--storagectl", "IDE", "--port", "1", "--device", "0", "--type",
         "hdd", "--medium", base + "/android_sdcard_disk.vmdk"},
        words("guestproperty set OrvantaBase orvanta_ova_version 1.0.0"),
    };
    QCOMPARE(m_fixture->modifyingCalls(), buildBase);
    QCOMPARE(m_fixture->calls().first(), words("list vms"));

    // Until the next list the base is built from the image for a new instance too.
    m_fixture->clearCalls();
    QString made;
    QCOMPARE(tool.clone(QStringLiteral("OrvantaBase"), QStringLiteral("First"), &made), 1);
    QCOMPARE(made, QStringLiteral("Orvanta_1"));
    QCOMPARE(m_fixture->modifyingCalls().at(1), words("createvm --name Orvanta_1 --register --ostype Linux"));
    QCOMPARE(m_fixture->modifyingCalls().size(), buildBase.size());

    // A copy of a listed instance is a clone with the settings copied and adjusted.
    refresh();
    QSettings source(m_fixture->dataFolder() + QStringLiteral("/Orvanta_1.ini"), QSettings::IniFormat);
    source.setValue(QStringLiteral("Orvanta/Resolution/DPI"), 240);
    source.setValue(QStringLiteral("StartUp/Pos"), QStringLiteral("1,2"));
    source.sync();
    m_fixture->clearCalls();
    QCOMPARE(tool.clone(QStringLiteral("Orvanta_1"), QStringLiteral("Second"), &made), 1);
    QCOMPARE(made, QStringLiteral("Orvanta_2"));
    QCOMPARE(m_fixture->modifyingCalls(),
             (QList<QStringList>{{"setproperty", "machinefolder", vbox},
                                 words("clonevm Orvanta_1 --name Orvanta_2 --mode all --register"),
                                 words("guestproperty unset Orvanta_2 is_first_run")}));
    QSettings copy(m_fixture->dataFolder() + QStringLiteral("/Orvanta_2.ini"), QSettings::IniFormat);
    QCOMPARE(copy.value(QStringLiteral("Orvanta/Resolution/DPI")).toInt(), 240);
    QCOMPARE(copy.value(QStringLiteral("Orvanta/Performance/Level")).toInt(), 4);
    QCOMPARE(copy.value(QStringLiteral("Orvanta/Performance/RAMSize")).toInt(), 1024);
    QVERIFY(!copy.contains(QStringLiteral("StartUp/Pos")));
    QCOMPARE(tool.findVmByTitle(QStringLiteral("Second")), QStringLiteral("Orvanta_2"));

    // Backup and restore of Orvanta_2.
    const QString ova = m_fixture->tree().root() + QStringLiteral("/backup.ova");
    m_fixture->clearCalls();
    QCOMPARE(tool.exportVm(ova, QStringLiteral("Orvanta_2")), 1);
    QCOMPARE(m_fixture->modifyingCalls(), (QList<QStringList>{{"export", "Orvanta_2", "-o", ova}}));
    QVERIFY(QFileInfo(ova).size() > 0);
    m_fixture->clearCalls();
    QCOMPARE(tool.deleteVm(QStringLiteral("Orvanta_2"), QStringLiteral("Second"), false), 1);
    QCOMPARE(tool.importVm(ova, QStringLiteral("Orvanta_2")), 1);
    QCOMPARE(m_fixture->modifyingCalls(),
             (QList<QStringList>{words("unregistervm Orvanta_2 --delete"),
                                 {"import", ova, "--vsys", "0", "--vmname", "Orvanta_2"},
                                 words("guestproperty unset Orvanta_2 is_first_run")}));
    QVERIFY(QFile::exists(m_fixture->dataFolder() + QStringLiteral("/Orvanta_2.ini")));

    // Deleting for good removes the machine, its settings, database and list entry.
    m_fixture->clearCalls();
    QCOMPARE(tool.deleteVm(QStringLiteral("Orvanta_2"), QStringLiteral("Second"), true), 1);
    QCOMPARE(m_fixture->modifyingCalls(), (QList<QStringList>{words("unregistervm Orvanta_2 --delete")}));
    QVERIFY(!QFile::exists(m_fixture->dataFolder() + QStringLiteral("/Orvanta_2.ini")));
    QVERIFY(!QDir(vbox + QStringLiteral("/Orvanta_2")).exists());
    QFile list(m_fixture->xmlPath());
    QVERIFY(list.open(QIODevice::ReadOnly));
    const QByteArray xml = list.readAll();
    QVERIFY(xml.contains("vm=\"Orvanta_1\""));
    QVERIFY(!xml.contains("Orvanta_2"));
    QCOMPARE(tool.findVmByTitle(QStringLiteral("Second")), QString());
}

void TestManagerVBoxTool::powerOffFollowsTheMachineState_data()
{
    QTest::addColumn<QStringList>("prepare");
    QTest::addColumn<QList<QStringList>>("expected");
    QTest::newRow("powered off") << QStringList() << QList<QStringList>{};
    QTest::newRow("running") << words("startvm Orvanta_1 --type headless")
                             << QList<QStringList>{words("controlvm Orvanta_1 poweroff")};
    QTest::newRow("saved") << words("startvm Orvanta_1 --type headless;controlvm Orvanta_1 savestate")
                           << QList<QStringList>{words("discardstate Orvanta_1")};
    // States the tool cannot reach by itself are written into the machine file.
    QTest::newRow("aborted") << words("state aborted")
                             << QList<QStringList>{words("startvm Orvanta_1 --type headless"),
                                                   words("controlvm Orvanta_1 poweroff")};
    QTest::newRow("guru meditation") << words("state gurumeditation")
                                     << QList<QStringList>{words("startvm Orvanta_1 --type emergencystop")};
}

void TestManagerVBoxTool::powerOffFollowsTheMachineState()
{
    QFETCH(QStringList, prepare);
    QFETCH(QList<QStringList>, expected);
    refresh();
    QCOMPARE(VBoxTool::instance().clone(QStringLiteral("OrvantaBase"), QStringLiteral("A")), 1);
    refresh();
    if (prepare.value(0) == QLatin1String("state")) {
        QFile file(m_fixture->machineFolder() + QStringLiteral("/Orvanta_1/Orvanta_1.vbox"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QJsonObject machine = QJsonDocument::fromJson(file.readAll()).object();
        file.close();
        QJsonObject settings = machine.value(QStringLiteral("settings")).toObject();
        settings.insert(QStringLiteral("VMState"), prepare.value(1));
        machine.insert(QStringLiteral("settings"), settings);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QJsonDocument(machine).toJson());
        file.close();
        prepare.clear();
    }
    for (const QString &command : prepare.join(QLatin1Char(' ')).split(QLatin1Char(';'), Qt::SkipEmptyParts))
        QVERIFY(m_fixture->tool(command.split(QLatin1Char(' '))));
    m_fixture->clearCalls();
    QCOMPARE(VBoxTool::instance().deleteVm(QStringLiteral("Orvanta_1"), QStringLiteral("A"), true), 1);
    expected << words("unregistervm Orvanta_1 --delete");
    QCOMPARE(m_fixture->modifyingCalls(), expected);
}

void TestManagerVBoxTool::oldFirstMachineIsRenamed()
{
    QVERIFY(m_fixture->tool(words("createvm --name Orvanta --register")));
    m_fixture->clearCalls();
    VmRecordMap records;
    refresh(&records);
    QVERIFY(m_fixture->modifyingCalls().contains(words("modifyvm Orvanta --name Orvanta_0")));
    QCOMPARE(records.size(), size_t(1));
    QCOMPARE(records.begin()->second.vm, QStringLiteral("Orvanta_0"));
    QVERIFY(VBoxTool::instance().vmNames().contains(QStringLiteral("Orvanta_0")));
    QVERIFY(!VBoxTool::instance().vmNames().contains(QStringLiteral("Orvanta")));
    // The next list finds the renamed machine and renames nothing.
    m_fixture->clearCalls();
    refresh();
    QVERIFY(!m_fixture->modifyingCalls().contains(words("modifyvm Orvanta --name Orvanta_0")));
}

void TestManagerVBoxTool::failedDeleteKeepsEverything()
{
    refresh();
    QCOMPARE(VBoxTool::instance().clone(QStringLiteral("OrvantaBase"), QStringLiteral("Keep me")), 1);
    QFile db(m_fixture->dataFolder() + QStringLiteral("/Orvanta_1_DB.db"));
    QVERIFY(db.open(QIODevice::WriteOnly));
    db.write("rows");
    db.close();
    refresh();
    m_fixture->setFaults(
        {fault(QStringLiteral("unregistervm Orvanta_1 --delete"),
               QStringLiteral("{prog}: error: Cannot unregister the machine 'Orvanta_1' while it "
                              "is locked\n"))});
    const auto before = m_fixture->snapshot();
    QCOMPARE(VBoxTool::instance().deleteVm(QStringLiteral("Orvanta_1"), QStringLiteral("Keep me"), true),
             int(VBoxTool::DeleteFailed));
    QVERIFY(VBoxTool::instance().lastError().contains(QLatin1String("while it is locked")));
    QCOMPARE(m_fixture->snapshot(), before);
    QCOMPARE(VBoxTool::instance().findVmByTitle(QStringLiteral("Keep me")), QStringLiteral("Orvanta_1"));
    QCOMPARE(VBoxTool::instance().records().count(QStringLiteral("Orvanta_1")), size_t(1));
}

void TestManagerVBoxTool::foreignMachinesAreNeverInstances()
{
    for (const char *name : {"my-Orvanta_3", "Orvanta_30-old", "Orvanta_2"})
        QVERIFY(m_fixture->tool({"createvm", "--name", name, "--register"}));
    VmRecordMap records;
    refresh(&records);
    QCOMPARE(records.size(), size_t(1));
    QCOMPARE(records.begin()->second.vm, QStringLiteral("Orvanta_2"));
    QCOMPARE(VBoxTool::instance().highestNumber(), 2);
    QVERIFY(VBoxTool::instance().vmNames().contains(QStringLiteral("my-Orvanta_3")));

    const auto before = m_fixture->snapshot();
    m_fixture->clearCalls();
    QCOMPARE(VBoxTool::instance().deleteVm(QStringLiteral("my-Orvanta_3"), QString(), true),
             int(VBoxTool::DeleteFailed));
    QCOMPARE(m_fixture->snapshot(), before);
    QCOMPARE(m_fixture->modifyingCalls(), QList<QStringList>{});
    // The next instance takes the number after the highest instance, not after a foreign name.
    QCOMPARE(VBoxTool::instance().clone(QStringLiteral("Orvanta_2"), QStringLiteral("Next")), 1);
    QCOMPARE(VBoxTool::instance().vmName(), QStringLiteral("Orvanta_3"));
    QVERIFY(m_fixture->tool(words("showvminfo my-Orvanta_3")));
}

void TestManagerVBoxTool::failedQueryPowersNothingOff()
{
    refresh();
    QCOMPARE(VBoxTool::instance().clone(QStringLiteral("OrvantaBase"), QStringLiteral("Queried")), 1);
    // The list's look at a running base machine is the last machine state the tool learns before the
    // failing query of another machine.
    QVERIFY(m_fixture->tool(words("startvm OrvantaBase --type headless")));
    refresh();
    m_fixture->setFaults({fault(QStringLiteral("showvminfo Orvanta_1 *"),
                                QStringLiteral("{prog}: error: The object functionality is limited\n"))});
    m_fixture->clearCalls();
    const auto before = m_fixture->snapshot();
    QCOMPARE(VBoxTool::instance().exportVm(m_fixture->tree().root() + QStringLiteral("/b.ova"),
                                           QStringLiteral("Orvanta_1")),
             1);
    QCOMPARE(m_fixture->modifyingCalls(),
             (QList<QStringList>{{"export", "Orvanta_1", "-o", m_fixture->tree().root() + "/b.ova"}}));
    QCOMPARE(m_fixture->snapshot(), before);
    QString info;
    QVERIFY(m_fixture->tool(words("showvminfo OrvantaBase --machinereadable"), &info));
    QVERIFY(info.contains(QLatin1String("VMState=\"running\"")));
}

void TestManagerVBoxTool::listFileBytes()
{
    for (const char *name : {"Orvanta_0", "Orvanta_3", "Orvanta_10"})
        QVERIFY(m_fixture->tool({"createvm", "--name", name, "--register"}));
    QDir().mkpath(QFileInfo(m_fixture->xmlPath()).absolutePath());
    QFile file(m_fixture->xmlPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("<?xml version='1.0' encoding='UTF-8'?>\n<Multi>\n"
               "<Player vm=\"Orvanta_10\" title=\"Ten\" from=\"3\"/>\n"
               "<Player vm=\"Orvanta_7\" title=\"Gone\" from=\"-1\"/>\n"
               "<Player vm=\"Orvanta_3\" title=\"Tom &amp; &quot;Jerry&quot; &lt;3\"/>\n"
               "<Player vm=\"my-Orvanta_3\" title=\"Impostor\" from=\"9\"/>\n"
               "</Multi>\n");
    file.close();
    VmRecordMap records;
    refresh(&records);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(
        file.readAll(),
        QByteArray("<?xml version = '1.0' encoding='UTF-8'?>\n"
                   "<Multi>\n"
                   "    <Player from=\"-1\" vm=\"Orvanta_0\" title=\"Orvanta\"/>\n"
                   "    <Player from=\"0\" vm=\"Orvanta_3\" title=\"Tom &amp; &quot;Jerry&quot; &lt;3\"/>\n"
                   "    <Player from=\"3\" vm=\"Orvanta_10\" title=\"Ten\"/>\n"
                   "</Multi>\n"));
    QCOMPARE(records.at(QStringLiteral("Orvanta_3")).title, QStringLiteral("Tom & \"Jerry\" <3"));

    // A rename is written at once and found by the new title only.
    VBoxTool::instance().renameTitle(QStringLiteral("Eleven"), QStringLiteral("Ten"));
    QCOMPARE(VBoxTool::instance().findVmByTitle(QStringLiteral("Eleven")), QStringLiteral("Orvanta_10"));
    QCOMPARE(VBoxTool::instance().findVmByTitle(QStringLiteral("Ten")), QString());
    file.close();
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("vm=\"Orvanta_10\" title=\"Eleven\""));
}

void TestManagerVBoxTool::unreadableListFileIsKept()
{
    QVERIFY(m_fixture->tool(words("createvm --name Orvanta_4 --register")));
    // A folder in the file's place: it exists but cannot be opened as a file.
    QVERIFY(QDir().mkpath(m_fixture->xmlPath()));
    QFile marker(m_fixture->xmlPath() + QStringLiteral("/keep"));
    QVERIFY(marker.open(QIODevice::WriteOnly));
    marker.close();
    VmRecordMap records;
    refresh(&records);
    QCOMPARE(records.at(QStringLiteral("Orvanta_4")).title, QStringLiteral("Orvanta_4"));
    QVERIFY(QFileInfo(m_fixture->xmlPath()).isDir());
    QVERIFY(QFile::exists(m_fixture->xmlPath() + QStringLiteral("/keep")));
}

void TestManagerVBoxTool::cloneLeavesNoStaleOrPartialFiles()
{
    refresh();
    QCOMPARE(VBoxTool::instance().clone(QStringLiteral("OrvantaBase"), QStringLiteral("Source")), 1);
    refresh();
    const QString data = m_fixture->dataFolder();
    QSettings source(data + QStringLiteral("/Orvanta_1.ini"), QSettings::IniFormat);
    source.setValue(QStringLiteral("Orvanta/Resolution/width"), 1080);
    source.sync();
    // Files of an earlier Orvanta_2 that was removed by hand.
    for (const char *name : {"/Orvanta_2.ini", "/Orvanta_2_DB.db"}) {
        QFile stale(data + QLatin1String(name));
        QVERIFY(stale.open(QIODevice::WriteOnly));
        stale.write("[Orvanta]\nstale=1\n");
    }
    QFile sourceDb(data + QStringLiteral("/Orvanta_1_DB.db"));
    QVERIFY(sourceDb.open(QIODevice::WriteOnly));
    sourceDb.write("source rows");
    sourceDb.close();

    // A failing copy takes back what it wrote.
    m_fixture->setFaults(
        {fault(QStringLiteral("clonevm *"), QStringLiteral("{prog}: error: Clone VM failed\n"), 1)});
    QCOMPARE(VBoxTool::instance().clone(QStringLiteral("Orvanta_1"), QStringLiteral("Copy")),
             int(VBoxTool::CloneIncomplete));
    QVERIFY(!QFile::exists(data + QStringLiteral("/Orvanta_2.ini")));
    QVERIFY(!QFile::exists(data + QStringLiteral("/Orvanta_2_DB.db")));
    QFile list(m_fixture->xmlPath());
    QVERIFY(list.open(QIODevice::ReadOnly));
    QVERIFY(!list.readAll().contains("Orvanta_2"));
    list.close();

    QCOMPARE(VBoxTool::instance().clone(QStringLiteral("Orvanta_1"), QStringLiteral("Copy")), 1);
    QSettings copy(data + QStringLiteral("/Orvanta_2.ini"), QSettings::IniFormat);
    QCOMPARE(copy.value(QStringLiteral("Orvanta/Resolution/width")).toInt(), 1080);
    QVERIFY(!copy.contains(QStringLiteral("Orvanta/stale")));
    QFile copyDb(data + QStringLiteral("/Orvanta_2_DB.db"));
    QVERIFY(copyDb.open(QIODevice::ReadOnly));
    QCOMPARE(copyDb.readAll(), QByteArray("source rows"));
}

void TestManagerVBoxTool::hungToolStartsTheServiceOnce()
{
    m_fixture->setFaults({QJsonObject{{"match", "list vms"}, {"hang", true}}});
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(VBoxTool::instance().exec(words("list vms"), nullptr, nullptr), int(VBoxTool::TimedOutTwice));
    QVERIFY(timer.elapsed() >= 2 * TimeoutScale::ms(VBoxTool::kToolTimeoutMs) - 100);
    QCOMPARE(m_fixture->calls(), (QList<QStringList>{words("list vms"), words("list vms")}));
    QFile services(m_fixture->stateDir() + QStringLiteral("/service.log"));
    QVERIFY(services.open(QIODevice::ReadOnly));
    const QList<QByteArray> starts = services.readAll().split('\n');
    QCOMPARE(starts.count(QByteArray()), 1);
    QCOMPARE(starts.size(), 2);
    // The tool in use is OrvvmManage; the service started is VBoxSVC all the same.
    QVERIFY(VBoxTool::instance().toolPath().endsWith(QLatin1String("/OrvvmManage")));
    QVERIFY(starts.first().contains("\"prog\":\"VBoxSVC\""));
}

void TestManagerVBoxTool::brokenListFileIsKeptAside()
{
    QVERIFY(m_fixture->tool(words("createvm --name Orvanta_2 --register")));
    QDir().mkpath(QFileInfo(m_fixture->xmlPath()).absolutePath());
    const QByteArray broken("<Multi><Player vm=\"Orvanta_2\" title=\"Half");
    QFile file(m_fixture->xmlPath());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(broken);
    file.close();
    VmRecordMap records;
    refresh(&records);
    QCOMPARE(records.at(QStringLiteral("Orvanta_2")).title, QStringLiteral("Orvanta_2"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("vm=\"Orvanta_2\" title=\"Orvanta_2\""));
    QFile aside(m_fixture->xmlPath() + QStringLiteral(".bad"));
    QVERIFY(aside.open(QIODevice::ReadOnly));
    QCOMPARE(aside.readAll(), broken);
}

void TestManagerVBoxTool::creationBatch_data()
{
    QTest::addColumn<QJsonArray>("faults");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("createAttempts");
    QTest::newRow("second fails") << QJsonArray{fault(QStringLiteral("createvm --name Orvanta_2 *"),
                                                      QStringLiteral("{prog}: error: Disk full\n"))}
                                  << QStringList{"begin 0", "done 0 Orvanta_1", "begin 1", "failed 1",
                                                 "finish"}
                                  << 2;
    QTest::newRow("name always taken")
        << QJsonArray{fault(QStringLiteral("createvm *"),
                            QStringLiteral("{prog}: error: Machine settings file 'x' already exists\n"))}
        << QStringList{"begin 0", "failed 0", "finish"} << CreatingActionThreadAction::kAttemptsPerTitle;
}

void TestManagerVBoxTool::creationBatch()
{
    QFETCH(QJsonArray, faults);
    QFETCH(QStringList, expected);
    QFETCH(int, createAttempts);
    refresh();
    m_fixture->setFaults(faults);
    m_fixture->clearCalls();

    CreatingActionThreadAction creator;
    creator.source = QStringLiteral("OrvantaBase");
    creator.titles = QStringList{"A", "B", "C"};
    QStringList seen;
    connect(&creator, &CreatingActionThreadAction::BeginToCreate, this,
            [&seen](int i) { seen << QStringLiteral("begin %1").arg(i); });
    connect(&creator, &CreatingActionThreadAction::FinishSucceed, this,
            [&seen](int i, const QString &vm) { seen << QStringLiteral("done %1 %2").arg(i).arg(vm); });
    connect(
        &creator, &CreatingActionThreadAction::FinishFailed, this,
        [&seen](int i) { seen << QStringLiteral("failed %1").arg(i); }, Qt::BlockingQueuedConnection);
    connect(&creator, &CreatingActionThreadAction::CreatingFinish, this, [&seen] { seen << "finish"; });
    QSignalSpy finished(&creator, &CreatingActionThreadAction::CreatingFinish);
    creator.start();
    creator.start(); // ignored while running
    QVERIFY(finished.wait(20000));
    QCOMPARE(seen, expected);
    QVERIFY(!creator.failureText().isEmpty());
    int creates = 0;
    for (const QStringList &call : m_fixture->calls())
        creates += call.first() == QLatin1String("createvm");
    QCOMPARE(creates, createAttempts);
    // A failed title leaves no record and no settings behind.
    QFile list(m_fixture->xmlPath());
    QVERIFY(list.open(QIODevice::ReadOnly));
    QVERIFY(
        !list.readAll().contains("title=\"" + creator.titles.at(seen.size() == 3 ? 0 : 1).toUtf8() + "\""));
}

QTEST_GUILESS_MAIN(TestManagerVBoxTool)
#include "tst_managervboxtool.moc"
