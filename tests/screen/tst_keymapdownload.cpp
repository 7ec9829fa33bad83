// The key-map download end to end, with the real emulator, the simulated guest's launcher and the web
// stand-in: a PackageChanged reply file for a package without a key-map file starts OrvDownload once,
// with the exact arguments; the real downloader writes the file and the next change of that package puts
// the map in force; a hostile package name starts nothing and writes nothing.

#include "installtree.h"
#include "keymapfile.h"
#include "screenfixture.h"
#include "webstandin.h"

#include <QDirIterator>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <memory>

namespace {

const QString kGame = QStringLiteral("com.example.game");

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QStringList filesUnder(const QString &root)
{
    QStringList files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next().mid(root.size() + 1);
    files.sort();
    return files;
}

} // namespace

class TestKeyMapDownload : public QObject
{
    Q_OBJECT

private slots:
    void packageWithoutFileStartsTheDownloaderOnce();
    void downloadedMapIsInForceAtTheNextChange();
    void burstOfReportsRunsAtMostTwoDownloaders();

private:
    void startEmulator(ScreenFixture &fixture);
    // The launcher reports `package` in the foreground through a reply file.
    void reportPackage(ScreenFixture &fixture, const QString &package);

    static int queriesFor(const WebStandIn &web, const QString &package)
    {
        int n = 0;
        for (const QJsonObject &r : web.requests(QStringLiteral("keymap")))
            n += r.value(QStringLiteral("target")).toString().endsWith("?package=" + package) ? 1 : 0;
        return n;
    }

    std::unique_ptr<ProgramRun> m_emulator;
};

void TestKeyMapDownload::startEmulator(ScreenFixture &fixture)
{
    fixture.setGuestControls({{QStringLiteral("boot_ms"), QStringLiteral("0")}});
    m_emulator = fixture.startEmulator();
    QVERIFY(m_emulator);
    QVERIFY2(fixture.attachGuest(*m_emulator), qPrintable(fixture.tree().logText().right(3000)));
    QVERIFY(m_emulator->waitForText(QLatin1String(ScreenFixture::kShowAndroid), 30000));
}

void TestKeyMapDownload::reportPackage(ScreenFixture &fixture, const QString &package)
{
    const QJsonObject spec{{"action", 9}, {"data", package}};
    const QString dir = fixture.guest().dir();
    QVERIFY(writeFile(dir + "/.reply.tmp", QJsonDocument(spec).toJson()));
    QVERIFY(QFile::rename(dir + "/.reply.tmp", dir + "/reply"));
    QTRY_VERIFY_WITH_TIMEOUT(!QFile::exists(dir + "/reply"), 5000);
    // The package-change line is a debug line of the emulator's log.
    QVERIFY(waitUntil(
        [&] { return fixture.tree().logText().contains(" ---------------> " + package + "\n"); }, 10000));
}

void TestKeyMapDownload::packageWithoutFileStartsTheDownloaderOnce()
{
    ScreenFixture fixture;
    QVERIFY(fixture.isValid());
    InstallTree &tree = fixture.tree();
    tree.declareHost(InstallTree::HostWithVirtualisation);
    QVERIFY(tree.addRecorder(QStringLiteral("OrvDownload"), tree.playerDir()));
    startEmulator(fixture);
    const QStringList before = filesUnder(tree.appDataDir());

    // A hostile name first: no download, nothing written.
    reportPackage(fixture, QStringLiteral("../../evil"));
    reportPackage(fixture, kGame);
    QVERIFY(waitUntil([&] { return !tree.calls(QStringLiteral("OrvDownload")).isEmpty(); }, 10000));
    QTest::qWait(1000);
    const QList<QStringList> calls = tree.calls(QStringLiteral("OrvDownload"));
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.at(0),
             (QStringList{"-type=pkg", "-vm=" + QLatin1String(ScreenFixture::kVm), "-pkg=" + kGame}));
    QVERIFY(tree.logText().contains("key-map download for " + kGame + " started"));
    QVERIFY(!tree.logText().contains("key-map download for ../../evil"));
    // Nothing new in the data folder but the machine's settings (a file that was there before may have
    // been a moment's lock or journal of the start-up, gone since).
    QStringList after = filesUnder(tree.appDataDir());
    after.removeAll(QStringLiteral("Halvora/") + QLatin1String(ScreenFixture::kVm) + ".ini");
    for (const QString &file : after)
        QVERIFY2(before.contains(file), qPrintable(QStringLiteral("written: ") + file));
    m_emulator.reset();
}

void TestKeyMapDownload::downloadedMapIsInForceAtTheNextChange()
{
    ScreenFixture fixture;
    QVERIFY(fixture.isValid());
    InstallTree &tree = fixture.tree();
    tree.declareHost(InstallTree::HostWithVirtualisation);
    QVERIFY(tree.addProgram(QStringLiteral("OrvDownload")));
    WebStandIn web(tree.root() + QStringLiteral("/web"));
    QVERIFY(web.start());
    web.configure(tree);
    // The service's file was made on a screen of the guest's proportions (720 x 1280).
    KeyMap map;
    map.insert("A", {KeyMapKey, {360, 640}});
    map.insert("FIRE", {KeyMapFire, {100, 100}});
    const QByteArray served = KeyMapFile::toJson(map, QRect(0, 0, 720, 1280), 0);
    QVERIFY(writeFile(web.stateDir() + "/keymaps/" + kGame + ".json", served));
    startEmulator(fixture);

    reportPackage(fixture, kGame);
    const QString file =
        tree.appDataDir() + "/Halvora/keyMap/" + QLatin1String(ScreenFixture::kVm) + "/" + kGame + ".json";
    QVERIFY2(waitUntil([&] { return QFileInfo::exists(file); }, 15000),
             qPrintable(tree.logText().right(3000)));
    QFile saved(file);
    QVERIFY(saved.open(QIODevice::ReadOnly));
    QCOMPARE(saved.readAll(), served);
    QCOMPARE(queriesFor(web, kGame), 1);

    // Another package, then the game again: its map is read from the downloaded file.
    reportPackage(fixture, QStringLiteral("com.example.other"));
    reportPackage(fixture, kGame);
    QVERIFY2(
        waitUntil([&] { return tree.logText().contains("key map of " + kGame + " in force: 2 entries"); },
                  10000),
        qPrintable(tree.logText().right(3000)));
    // The file was there: no second download of it (the other package, without one, had its own).
    QTest::qWait(500);
    QCOMPARE(queriesFor(web, kGame), 1);
    QCOMPARE(queriesFor(web, QStringLiteral("com.example.other")), 1);
    m_emulator.reset();
}

void TestKeyMapDownload::burstOfReportsRunsAtMostTwoDownloaders()
{
    // 50 package reports in a burst, each package without a map, against a service that never answers
    // the query (each downloader gives up after its query time, scaled down here): never more than two
    // downloaders run at once, the rest start in the order they were reported, and a package reported
    // again while its download still waits asks nothing more.
    ScreenFixture fixture;
    QVERIFY(fixture.isValid());
    InstallTree &tree = fixture.tree();
    tree.declareHost(InstallTree::HostWithVirtualisation);
    QVERIFY(tree.addProgram(QStringLiteral("OrvDownload")));
    WebStandIn web(tree.root() + QStringLiteral("/web"));
    QVERIFY(web.start());
    web.configure(tree);
    web.setControl(QStringLiteral("keymap.answer=hang"));
    startEmulator(fixture);
    QStringList reported;
    for (int i = 0; i < 50; ++i) {
        reported << QStringLiteral("com.example.burst%1").arg(i);
        reportPackage(fixture, reported.last());
    }
    reportPackage(fixture, reported.last());
    const QString prefix = QStringLiteral("key-map download for ");
    // Every reported package's downloader has run and ended.
    QVERIFY2(waitUntil(
                 [&] {
                     return tree.logText().count(
                                QRegularExpression(QStringLiteral("key-map download for "
                                                                  "com\\.example\\.burst\\d+ ended"))) >= 50;
                 },
                 60000),
             qPrintable(tree.logText().right(2000)));
    int running = 0;
    int peak = 0;
    QStringList startedOrder;
    const QRegularExpression line(QStringLiteral("key-map download for (\\S+) (started|ended)$"));
    for (const QString &text : tree.logText().split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch m = line.match(text.trimmed());
        if (!m.hasMatch())
            continue;
        if (m.captured(2) == QLatin1String("started")) {
            ++running;
            startedOrder << m.captured(1);
        } else {
            --running;
        }
        peak = qMax(peak, running);
    }
    QVERIFY2(peak <= 2, qPrintable(QStringLiteral("%1 downloaders ran at once").arg(peak)));
    QCOMPARE(peak, 2);
    QCOMPARE(startedOrder.mid(0, 50), reported);
    QVERIFY2(tree.logText().contains(prefix + reported.last() + " already asked for"),
             qPrintable(startedOrder.join(' ')));
    m_emulator.reset();
}

QTEST_MAIN(TestKeyMapDownload)
#include "tst_keymapdownload.moc"
