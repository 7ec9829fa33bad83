// What the manager keeps when its input is hostile or the tool fails it: restores from files that are
// not backups, restores whose import fails, machines that are gone already, list files with repeated,
// huge or countless titles, and rows that share a title. Data is checked by the content of the disks
// and files, never by their names.

#include "listfilereader.h"
#include "managervboxtool.h"
#include "mpfixture.h"
#include "orvplayermodel.h"
#include "playerstate.h"
#include "playertool.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonObject>
#include <QPainter>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>

using namespace OrvMulti;
using K = PlayerStateKind;

namespace {

const char *const kVm = "Orvanta_1";

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

} // namespace

class TestManagerSafety : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void restoreFiles_data();
    void restoreFiles();
    void listFiles_data();
    void listFiles();
    void rowsSharingATitleStartTheirOwnMachine();
    void namesOfOneNumber_data();
    void namesOfOneNumber();

private:
    // Lists the machines and makes a model with one Stop row per instance.
    void loadRows();
    // The path of the disk on IDE port 0, device 1 (the data disk) of `vm`; empty when there is none.
    QString dataDiskPath(const QString &vm);
    // The data disk's content after the stand-in's identity line.
    QByteArray dataDisk(const QString &vm);
    void setDataDisk(const QString &vm, const QByteArray &content);
    bool restore(const QString &file);

    std::unique_ptr<ManagerFixture> m_fixture;
    std::unique_ptr<OrvPlayerModel> m_model;
};

void TestManagerSafety::init()
{
    m_fixture = std::make_unique<ManagerFixture>();
    QCOMPARE(VBoxTool::instance().init(), 1);
}

void TestManagerSafety::cleanup()
{
    QThreadPool::globalInstance()->waitForDone();
    m_model.reset();
    m_fixture.reset();
}

void TestManagerSafety::loadRows()
{
    VmRecordMap records;
    QCOMPARE(VBoxTool::instance().refreshVms(&records), 1);
    m_model = std::make_unique<OrvPlayerModel>();
    QList<PlayerRecord> rows;
    for (const auto &entry : records)
        rows << PlayerRecord(entry.second.vm, entry.second.title, false);
    m_model->addRecords(rows, K::Stop);
}

QString TestManagerSafety::dataDiskPath(const QString &vm)
{
    QString info;
    if (!m_fixture->tool({"showvminfo", vm, "--machinereadable"}, &info))
        return QString();
    const QString key = QStringLiteral("\"IDE-0-1\"=\"");
    for (const QString &line : info.split(QLatin1Char('\n'))) {
        if (line.startsWith(key))
            return line.mid(key.size()).chopped(1);
    }
    return QString();
}

QByteArray TestManagerSafety::dataDisk(const QString &vm)
{
    const QString path = dataDiskPath(vm);
    if (path.isEmpty())
        return QByteArray("<no data disk>");
    const QByteArray bytes = readAll(path);
    return bytes.startsWith("ORVSIM-DISK ") ? bytes.mid(bytes.indexOf('\n') + 1) : bytes;
}

void TestManagerSafety::setDataDisk(const QString &vm, const QByteArray &content)
{
    const QString path = dataDiskPath(vm);
    QVERIFY(!path.isEmpty());
    const QByteArray bytes = readAll(path);
    QVERIFY(bytes.startsWith("ORVSIM-DISK "));
    QVERIFY(writeAll(path, bytes.left(bytes.indexOf('\n') + 1) + content));
}

bool TestManagerSafety::restore(const QString &file)
{
    QSignalSpy result(m_model.get(), &OrvPlayerModel::backupOrRestoreResult);
    if (!m_model->startBackupOrRestore(0, false, file))
        return false;
    if (!result.wait(20000))
        return false;
    return result.first().at(2).toBool();
}

void TestManagerSafety::restoreFiles_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("before");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<QByteArray>("dataAfter");
    QTest::addColumn<QString>("words"); // in what the user is told after a failure

    // The backup holds "backup data"; the machine holds "current data" when the restore starts. The
    // machine's disks are never deleted before the imported machine is there with its disks.
    QTest::newRow("a text file") << "text"
                                 << "" << false << QByteArray("current data") << "";
    QTest::newRow("the first half of a backup") << "half"
                                                << "" << false << QByteArray("current data") << "";
    QTest::newRow("a backup") << "backup"
                              << "" << true << QByteArray("backup data") << "";
    QTest::newRow("a backup, machine gone already")
        << "backup"
        << "unregister" << true << QByteArray("backup data") << "";
    QTest::newRow("a backup whose import fails")
        << "backup"
        << "import fails" << false << QByteArray("current data") << "put back";
    QTest::newRow("a backup without its disks") << "descriptor only"
                                                << "" << false << QByteArray("current data") << "put back";
}

void TestManagerSafety::restoreFiles()
{
    QFETCH(QString, file);
    QFETCH(QString, before);
    QFETCH(bool, ok);
    QFETCH(QByteArray, dataAfter);
    QFETCH(QString, words);

    VmRecordMap records;
    QCOMPARE(VBoxTool::instance().refreshVms(&records), 1);
    QCOMPARE(VBoxTool::instance().clone(QStringLiteral("OrvantaBase"), QStringLiteral("Keep")), 1);
    const QString vm = QLatin1String(kVm);
    const QString ini = m_fixture->dataFolder() + QStringLiteral("/Orvanta_1.ini");
    const QString db = m_fixture->dataFolder() + QStringLiteral("/Orvanta_1_DB.db");
    QVERIFY(writeAll(db, "instance rows"));
    setDataDisk(vm, "backup data");
    const QString backup = m_fixture->tree().root() + QStringLiteral("/keep.ova");
    QCOMPARE(VBoxTool::instance().exportVm(backup, vm), 1);
    setDataDisk(vm, "current data");
    loadRows();
    QCOMPARE(m_model->rowCount(), 1);

    QString path = backup;
    if (file == QLatin1String("text")) {
        path = m_fixture->tree().root() + QStringLiteral("/notes.ova");
        QVERIFY(writeAll(path, "These are my notes, not a machine.\n"));
    } else if (file == QLatin1String("half")) {
        path = m_fixture->tree().root() + QStringLiteral("/half.ova");
        const QByteArray whole = readAll(backup);
        QVERIFY(writeAll(path, whole.left(whole.size() / 2)));
    } else if (file == QLatin1String("descriptor only")) {
        // A valid archive that holds the descriptor and none of the disks it names.
        const QString unpacked = m_fixture->tree().root() + QStringLiteral("/unpacked");
        QVERIFY(QDir().mkpath(unpacked));
        QProcess tar;
        tar.start(QStringLiteral("tar"), {"-xf", backup, "-C", unpacked});
        QVERIFY(tar.waitForFinished(60000) && tar.exitCode() == 0);
        const QStringList descriptors = QDir(unpacked).entryList({QStringLiteral("*.ovf")}, QDir::Files);
        QCOMPARE(descriptors.size(), 1);
        QVERIFY(!QDir(unpacked).entryList({QStringLiteral("*.vmdk")}, QDir::Files).isEmpty());
        path = m_fixture->tree().root() + QStringLiteral("/descriptor.ova");
        tar.start(QStringLiteral("tar"), {"-cf", path, "-C", unpacked, descriptors.first()});
        QVERIFY(tar.waitForFinished(60000) && tar.exitCode() == 0);
    }
    if (before == QLatin1String("unregister"))
        QVERIFY(m_fixture->tool({"unregistervm", vm, "--delete"}));
    if (before == QLatin1String("import fails")) {
        // The import proper fails (not its dry run, which ends in "--dry-run").
        m_fixture->setFaults({QJsonObject{
            {"match", QStringLiteral("import * --vmname Orvanta_1")},
            {"stderr", QStringLiteral("{prog}: error: Appliance import failed\n{prog}: error: Could not "
                                      "create the imported medium '/x' (VERR_DISK_FULL)\n")},
            {"times", 1}}});
    }
    const QByteArray fileBytes = readAll(path);
    const QByteArray iniBytes = readAll(ini);
    m_fixture->clearCalls();

    QCOMPARE(restore(path), ok);

    // What the user keeps: the row (Stop, same title), the file, the settings and the database.
    QCOMPARE(m_model->rowCount(), 1);
    QCOMPARE(m_model->contextAt(0)->currentKind(), K::Stop);
    QCOMPARE(readAll(path), fileBytes);
    QCOMPARE(readAll(ini), iniBytes);
    QCOMPARE(readAll(db), QByteArray("instance rows"));
    // The machine's disks are kept aside, never deleted, while the restore runs.
    for (const QStringList &call : m_fixture->calls())
        QVERIFY2(!(call.value(0) == QLatin1String("unregistervm") &&
                   call.contains(QStringLiteral("--delete")) && call.value(1) == vm && ok),
                 qPrintable(call.join(' ')));
    QCOMPARE(dataDisk(vm), dataAfter);
    // Every disk of the machine is there with its content, and nothing is left aside in the folder.
    QString info;
    QVERIFY(m_fixture->tool({"showvminfo", vm, "--machinereadable"}, &info));
    for (const char *slot : {"\"IDE-0-0\"=\"", "\"IDE-0-1\"=\"", "\"IDE-1-0\"=\""}) {
        const int at = info.indexOf(QLatin1String(slot));
        QVERIFY2(at >= 0, slot);
        const QString disk = info.mid(at + int(strlen(slot))).section(QLatin1Char('"'), 0, 0);
        QVERIFY2(QFileInfo(disk).size() > 49, qPrintable(disk));
    }
    QStringList folders =
        QDir(m_fixture->machineFolder()).entryList(QDir::Dirs | QDir::Hidden | QDir::NoDotAndDotDot);
    folders.sort();
    QStringList expectedFolders{"Orvanta_1", "OrvantaBase"};
    expectedFolders.sort();
    QCOMPARE(folders, expectedFolders);
    if (!ok) {
        QVERIFY2(m_model->lastResultText().contains(words), qPrintable(m_model->lastResultText()));
    }

    // The instance is still listed after a restart of the manager, with its title.
    QCOMPARE(VBoxTool::instance().refreshVms(&records), 1);
    QVERIFY(records.count(vm));
    QCOMPARE(records.at(vm).title, QStringLiteral("Keep"));

    if (before == QLatin1String("import fails")) {
        // The same backup restores the machine once the tool lets it.
        loadRows();
        QVERIFY(restore(path));
        QCOMPARE(dataDisk(vm), QByteArray("backup data"));
    }
}

void TestManagerSafety::listFiles_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("titles"); // of Orvanta_1, Orvanta_2, Orvanta_3
    QTest::addColumn<bool>("setAside");

    const QByteArray head("<?xml version='1.0' encoding='UTF-8'?>\n<Multi>\n");
    const QByteArray tail("</Multi>\n");
    auto player = [](const char *vm, const QByteArray &title) {
        return QByteArray("<Player from=\"-1\" vm=\"") + vm + "\" title=\"" + title + "\"/>\n";
    };
    QTest::newRow("two rows titled Same")
        << head + player("Orvanta_1", "Same") + player("Orvanta_2", "Same") + tail
        << QStringList{"Same", "Same_2", "Orvanta_3"} << false;
    QTest::newRow("the suffix is taken too")
        << head + player("Orvanta_1", "Same") + player("Orvanta_2", "Same") + player("Orvanta_3", "Same_2") +
               tail
        << QStringList{"Same", "Same_3", "Same_2"} << false;
    QTest::newRow("a title equal to a default title")
        << head + player("Orvanta_1", "Orvanta_3") + tail
        << QStringList{"Orvanta_3", "Orvanta_2", "Orvanta_3_2"} << false;
    const QByteArray huge(10 * 1000 * 1000, 'x');
    // The file is larger than the byte bound: not read at all.
    QTest::newRow("a title of 10 MB") << head + player("Orvanta_1", huge) + tail
                                      << QStringList{"Orvanta_1", "Orvanta_2", "Orvanta_3"} << true;
    const QByteArray long300(300, 'y');
    QTest::newRow("a title of 300 characters")
        << head + player("Orvanta_1", long300) + player("Orvanta_2", long300) + tail
        << QStringList{QString(kMaxTitleLength, QLatin1Char('y')),
                       QString(kMaxTitleLength - 2, QLatin1Char('y')) + QStringLiteral("_2"), "Orvanta_3"}
        << false;
    QByteArray filler;
    for (int i = 0; i < kMaxListEntries - 1; ++i)
        filler += player("Orvanta_7", "Gone");
    QTest::newRow("the last entry kept") << head + filler + player("Orvanta_1", "Late") + tail
                                         << QStringList{"Late", "Orvanta_2", "Orvanta_3"} << false;
    QTest::newRow("an entry beyond the bound")
        << head + filler + player("Orvanta_7", "Gone") + player("Orvanta_1", "Late") + tail
        << QStringList{"Orvanta_1", "Orvanta_2", "Orvanta_3"} << false;
    QByteArray big = head + player("Orvanta_1", "Big");
    big += QByteArray(int(kMaxListFileBytes), ' ') + tail;
    QTest::newRow("a file over the byte bound")
        << big << QStringList{"Orvanta_1", "Orvanta_2", "Orvanta_3"} << true;
}

void TestManagerSafety::listFiles()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, titles);
    QFETCH(bool, setAside);
    for (const char *name : {"Orvanta_1", "Orvanta_2", "Orvanta_3"})
        QVERIFY(m_fixture->tool({"createvm", "--name", name, "--register"}));
    QVERIFY(QDir().mkpath(QFileInfo(m_fixture->xmlPath()).absolutePath()));
    QVERIFY(writeAll(m_fixture->xmlPath(), content));

    VmRecordMap records;
    QCOMPARE(VBoxTool::instance().refreshVms(&records), 1);
    QStringList seen;
    for (const char *name : {"Orvanta_1", "Orvanta_2", "Orvanta_3"})
        seen << records.at(QLatin1String(name)).title;
    QCOMPARE(seen, titles);
    // Each title finds its own machine.
    for (int i = 0; i < titles.size(); ++i)
        QCOMPARE(VBoxTool::instance().findVmByTitle(titles.at(i)), QStringLiteral("Orvanta_%1").arg(i + 1));
    // The list is written back with the titles the rows show.
    bool wellFormed = false;
    const QList<ListFileEntry> written = parseMachineList(readAll(m_fixture->xmlPath()), &wellFormed);
    QVERIFY(wellFormed);
    QCOMPARE(written.size(), 3);
    for (int i = 0; i < 3; ++i)
        QCOMPARE(written.at(i).title, titles.at(i));
    // A file the manager would not read is kept aside for the user, byte for byte.
    const QString aside = m_fixture->xmlPath() + QStringLiteral(".bad");
    QCOMPARE(QFile::exists(aside), setAside);
    if (setAside)
        QCOMPARE(readAll(aside), content);
}

void TestManagerSafety::rowsSharingATitleStartTheirOwnMachine()
{
    QVERIFY(m_fixture->tree().addRecorder(QStringLiteral("Orvanta")));
    PlayerTool::instance().initEmulatorPath();
    for (const char *name : {"Orvanta_1", "Orvanta_2"})
        QVERIFY(m_fixture->tool({"createvm", "--name", name, "--register"}));
    loadRows();
    // Two rows titled alike (the title lookup then names the later machine only).
    for (int row = 0; row < 2; ++row) {
        VBoxTool::instance().renameTitle(QStringLiteral("Same"), m_model->playerRecords().at(row)->title);
        QVERIFY(m_model->setData(m_model->index(row, 1), QStringLiteral("Same"), Qt::DisplayRole));
    }

    m_model->startOrCloseSlot(m_model->index(0, 3));
    QCOMPARE(m_model->contextAt(0)->currentKind(), K::Starting);
    QCOMPARE(m_model->contextAt(1)->currentKind(), K::Stop);
    QTRY_COMPARE(m_fixture->tree().calls(QStringLiteral("Orvanta")),
                 (QList<QStringList>{{"-vm=Orvanta_1", "-title=Same"}}));
    m_model->startOrCloseSlot(m_model->index(1, 3));
    QTRY_COMPARE(m_fixture->tree().calls(QStringLiteral("Orvanta")).value(1),
                 (QStringList{"-vm=Orvanta_2", "-title=Same"}));

    // Each busy row's animation announces its own row.
    QImage image(400, 64, QImage::Format_ARGB32);
    QPainter painter(&image);
    for (int row = 0; row < 2; ++row) {
        m_model->contextAt(row)->paintAction(&painter, image.rect(), -1, -1, -1, -1);
        auto *busy = dynamic_cast<PlayerWaittingState *>(m_model->contextAt(row)->currentState());
        QVERIFY(busy);
        QCOMPARE(busy->refreshAction()->row, row);
    }
    // The emulator's status for its machine reaches that row only.
    QVERIFY(m_model->applyStatusWord(QStringLiteral("Orvanta_1"), QStringLiteral("RUNNING")));
    QCOMPARE(m_model->contextAt(0)->currentKind(), K::Running);
    QCOMPARE(m_model->contextAt(1)->currentKind(), K::Starting);
}

void TestManagerSafety::namesOfOneNumber_data()
{
    QTest::addColumn<QStringList>("names"); // registered in this order, each titled "T-" + its name

    QTest::newRow("Orvanta_1 and Orvanta_01") << QStringList{"Orvanta_1", "Orvanta_01"};
    QTest::newRow("Orvanta_01 first") << QStringList{"Orvanta_01", "Orvanta_1"};
    QTest::newRow("three spellings of 2") << QStringList{"Orvanta_2", "Orvanta_002", "Orvanta_02"};
}

void TestManagerSafety::namesOfOneNumber()
{
    QFETCH(QStringList, names);
    QByteArray list("<?xml version='1.0' encoding='UTF-8'?>\n<Multi>\n");
    for (const QString &name : names) {
        QVERIFY(m_fixture->tool({"createvm", "--name", name, "--register"}));
        list += "<Player from=\"-1\" vm=\"" + name.toUtf8() + "\" title=\"T-" + name.toUtf8() + "\"/>\n";
    }
    list += "</Multi>\n";
    QVERIFY(QDir().mkpath(QFileInfo(m_fixture->xmlPath()).absolutePath()));
    QVERIFY(writeAll(m_fixture->xmlPath(), list));

    loadRows();
    // One row per machine, each with its own title, found by its own name.
    QCOMPARE(m_model->rowCount(), names.size());
    for (const QString &name : names) {
        const int row = m_model->rowOfVm(name);
        QVERIFY2(row >= 0, qPrintable(name));
        QCOMPARE(m_model->playerRecords().at(row)->title, QStringLiteral("T-") + name);
        QCOMPARE(VBoxTool::instance().findVmByTitle(QStringLiteral("T-") + name), name);
    }
    // The list file keeps every entry with its title.
    bool wellFormed = false;
    const QList<ListFileEntry> written = parseMachineList(readAll(m_fixture->xmlPath()), &wellFormed);
    QVERIFY(wellFormed);
    QStringList seen;
    for (const ListFileEntry &entry : written)
        seen << entry.vm + QLatin1Char('=') + entry.title;
    for (const QString &name : names)
        QVERIFY2(seen.contains(name + QStringLiteral("=T-") + name), qPrintable(seen.join(' ')));
    QCOMPARE(written.size(), names.size());
    // A status word reaches the row of that exact name only.
    QVERIFY(m_model->applyStatusWord(names.last(), QStringLiteral("RUNNING")));
    for (const QString &name : names)
        QCOMPARE(m_model->contextAt(m_model->rowOfVm(name))->currentKind(),
                 name == names.last() ? K::Running : K::Stop);
}

QTEST_MAIN(TestManagerSafety)
#include "tst_managersafety.moc"
