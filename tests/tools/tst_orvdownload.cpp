// OrvDownload as the real program in a temporary install tree against the web stand-in: the query and
// the download as the service sees them, the file in the machine's key-map folder byte for byte, and
// every failure (refused, truncated, oversized, redirected twice, empty, hostile names) leaving no file
// anywhere.

#include "httprequest.h"
#include "installtree.h"
#include "keymapfile.h"
#include "programrun.h"
#include "webstandin.h"

#include <QDirIterator>
#include <QJsonObject>
#include <QtTest>

#include <memory>

namespace {

const QString kVm = QStringLiteral("Orvanta_0");
const QString kPkg = QStringLiteral("com.example.game");

QByteArray sampleFile()
{
    KeyMap map;
    map.insert(QStringLiteral("A"), {KeyMapKey, {100, 200}});
    map.insert(QStringLiteral("FIRE"), {KeyMapFire, {300, 400}});
    return KeyMapFile::toJson(map, QRect(0, 0, 540, 960), 0);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// Every file under a folder, relative to it.
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

class TestOrvDownload : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void downloadsIntoTheKeyMapFolder_data();
    void downloadsIntoTheKeyMapFolder();
    void failuresLeaveNoFile_data();
    void failuresLeaveNoFile();
    void failedDownloadKeepsTheOldFile();
    void mapSavedDuringDownloadIsKept();
    void connectionRefusedEndsOnce();
    void slowServiceEndsWithinTheLimit();
    void helperPostsAndHeads();
    void helperCloseEndsTheRequest();
    void hostileNamesWriteNothing_data();
    void hostileNamesWriteNothing();
    void otherTypesDoNothing_data();
    void otherTypesDoNothing();

private:
    QString target(const QString &pkg = kPkg) const
    {
        return m_tree->appDataDir() + "/Halvora/keyMap/" + kVm + "/" + pkg + ".json";
    }
    int runDownloader(const QStringList &args, int timeoutMs = 20000)
    {
        ProgramRun run(*m_tree, QStringLiteral("OrvDownload"), args);
        const int code = run.run(timeoutMs);
        m_output = run.output();
        return code;
    }
    QStringList targets(const QString &endpoint) const
    {
        QStringList list;
        for (const QJsonObject &r : m_web->requests(endpoint))
            list << r.value(QStringLiteral("target")).toString();
        return list;
    }

    std::unique_ptr<InstallTree> m_tree;
    std::unique_ptr<WebStandIn> m_web;
    QString m_output;
};

void TestOrvDownload::init()
{
    m_tree = std::make_unique<InstallTree>();
    QVERIFY(m_tree->isValid());
    m_tree->declareHost(InstallTree::HostWithVirtualisation);
    QVERIFY(m_tree->addProgram(QStringLiteral("OrvDownload")));
    m_web = std::make_unique<WebStandIn>(m_tree->root() + QStringLiteral("/web"));
    QVERIFY(m_web->start());
    m_web->configure(*m_tree);
}

void TestOrvDownload::cleanup()
{
    m_web.reset();
    m_tree.reset();
}

void TestOrvDownload::downloadsIntoTheKeyMapFolder_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QString>("answerForm"); // %1: the stand-in's base address without "http://"
    QTest::newRow("plain answer") << QString() << QString();
    QTest::newRow("answer without scheme, with blanks and a line end")
        << QString() << QStringLiteral("  %1/keymaps/com.example.game.json \r\n");
    QTest::newRow("query answer in two pieces") << QStringLiteral("keymap.splitMs=300") << QString();
    QTest::newRow("file in two pieces") << QStringLiteral("keymapfile.splitMs=300") << QString();
    QTest::newRow("relative redirect, followed once")
        << QStringLiteral("keymapfile.location=/keymaps/moved.json") << QString();
    QTest::newRow("absolute redirect")
        << QStringLiteral("keymapfile.location=%2/keymaps/moved.json") << QString();
}

void TestOrvDownload::downloadsIntoTheKeyMapFolder()
{
    QFETCH(QString, control);
    QFETCH(QString, answerForm);
    const QString host = m_web->baseUrl().mid(int(qstrlen("http://")));
    const QByteArray bytes = sampleFile();
    QVERIFY(writeFile(m_web->stateDir() + "/keymaps/" + kPkg + ".json", bytes));
    QVERIFY(writeFile(m_web->stateDir() + "/keymaps/moved.json", bytes));
    QStringList lines;
    if (!control.isEmpty())
        lines << control.arg(QString(), m_web->baseUrl());
    if (!answerForm.isEmpty())
        lines << QStringLiteral("keymap.reply=") + answerForm.arg(host).trimmed().replace("\r\n", "");
    m_web->setControl(lines.join('\n'));
    // The emulator's exact arguments.
    QCOMPARE(runDownloader({"-type=pkg", "-vm=" + kVm, "-pkg=" + kPkg}), 0);
    QFile file(target());
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(m_output));
    QCOMPARE(file.readAll(), bytes);
    QCOMPARE(targets("keymap"), QStringList{"/api_service/api/get_keyboard_json.php?package=" + kPkg});
    // Each download asks with "?" and a decimal number behind the address.
    const QStringList downloads = targets("keymapfile");
    QVERIFY(!downloads.isEmpty());
    for (const QString &t : downloads)
        QVERIFY2(QRegularExpression("^/keymaps/[a-z.]+\\.json\\?\\d+$").match(t).hasMatch(), qPrintable(t));
    QCOMPARE(downloads.size(), control.contains("location") ? 2 : 1);
    // Nothing else lies in the folder (no temporary file left behind).
    QCOMPARE(filesUnder(m_tree->appDataDir()), QStringList{"Halvora/keyMap/" + kVm + "/" + kPkg + ".json"});
}

void TestOrvDownload::failuresLeaveNoFile_data()
{
    QTest::addColumn<QString>("control");
    QTest::addColumn<QByteArray>("served");
    QTest::addColumn<int>("downloads");
    const QByteArray good = sampleFile();
    QTest::newRow("no key map: empty answer") << QString() << QByteArray() << 0;
    QTest::newRow("query refused (500)") << "keymap.answer=error" << good << 0;
    QTest::newRow("query connection closed") << "keymap.answer=close" << good << 0;
    QTest::newRow("file not found (404)") << "keymapfile.status=404" << good << 1;
    QTest::newRow("truncated transfer") << "keymapfile.truncate=40" << good << 1;
    QTest::newRow("empty body, announced") << "keymapfile.truncate=0" << good << 1;
    QTest::newRow("oversized body") << QString() << QByteArray(4 * 1024 * 1024 + 1, 'x') << 1;
    QTest::newRow("redirect to a redirect") << "keymapfile.location=/keymaps/elsewhere/x.json" << good << 2;
    QTest::newRow("redirect to a file address") << "keymapfile.location=file:///etc/passwd" << good << 1;
    QTest::newRow("stalled file") << "keymapfile.delayMs=3000" << good << 1;
    // A 200 answer that is not a key map: a web page, JSON without a screen rectangle, a map payload
    // that does not read whole, a rectangle of no size.
    QTest::newRow("200 with a web page") << QString() << QByteArray("<html><body>busy</body></html>") << 1;
    QTest::newRow("200 with JSON without rect")
        << QString() << QByteArray(R"({"keyMap":"AAAAAA==","rotation":0})") << 1;
    QTest::newRow("200 with an undecodable map")
        << QString()
        << QByteArray(R"({"keyMap":"AAAABQ==","rect":")" +
                      KeyMapFile::encodeRect(QRect(0, 0, 540, 960)).toBase64() + R"(","rotation":0})")
        << 1;
    QTest::newRow("200 with an empty rect")
        << QString()
        << QByteArray(R"({"keyMap":"AAAAAA==","rect":")" + KeyMapFile::encodeRect(QRect()).toBase64() +
                      R"(","rotation":0})")
        << 1;
}

void TestOrvDownload::failuresLeaveNoFile()
{
    QFETCH(QString, control);
    QFETCH(QByteArray, served);
    QFETCH(int, downloads);
    if (!served.isEmpty())
        QVERIFY(writeFile(m_web->stateDir() + "/keymaps/" + kPkg + ".json", served));
    m_web->setControl(control);
    QCOMPARE(runDownloader({"-type=pkg", "-vm=" + kVm, "-pkg=" + kPkg}), 0);
    QVERIFY2(!QFileInfo::exists(target()), qPrintable(m_output));
    QCOMPARE(filesUnder(m_tree->appDataDir()), QStringList());
    QCOMPARE(targets("keymapfile").size(), downloads);
}

void TestOrvDownload::failedDownloadKeepsTheOldFile()
{
    // A key map already in place stays as it was when a new download breaks off.
    QVERIFY(writeFile(target(), "old"));
    QVERIFY(writeFile(m_web->stateDir() + "/keymaps/" + kPkg + ".json", sampleFile()));
    m_web->setControl(QStringLiteral("keymapfile.truncate=10"));
    QCOMPARE(runDownloader({"-type=pkg", "-vm=" + kVm, "-pkg=" + kPkg}), 0);
    QFile file(target());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("old"));
    QCOMPARE(filesUnder(m_tree->appDataDir() + "/Halvora/keyMap/" + kVm), QStringList{kPkg + ".json"});
}

void TestOrvDownload::mapSavedDuringDownloadIsKept()
{
    // The player saves a map of their own while the service takes its time: the download ends and
    // leaves the player's file as it is, byte for byte.
    QVERIFY(writeFile(m_web->stateDir() + "/keymaps/" + kPkg + ".json", sampleFile()));
    m_web->setControl(QStringLiteral("keymap.delayMs=3000"));
    ProgramRun run(*m_tree, QStringLiteral("OrvDownload"), {"-type=pkg", "-vm=" + kVm, "-pkg=" + kPkg});
    QVERIFY(run.start());
    QTest::qWait(1000);
    QVERIFY(run.isRunning());
    KeyMap mine;
    mine.insert(QStringLiteral("Q"), {KeyMapKey, {10, 20}});
    const QByteArray own = KeyMapFile::toJson(mine, QRect(0, 0, 720, 1280), 0);
    QVERIFY(writeFile(target(), own));
    QVERIFY(run.waitForFinished(20000));
    QCOMPARE(run.exitCode(), 0);
    QCOMPARE(targets("keymapfile").size(), 1);
    QFile file(target());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), own);
    QVERIFY2(run.output().contains(QLatin1String("written meanwhile")), qPrintable(run.output()));
    // No temporary file stays beside it.
    QCOMPARE(filesUnder(m_tree->appDataDir() + "/Halvora/keyMap/" + kVm), QStringList{kPkg + ".json"});
}

void TestOrvDownload::connectionRefusedEndsOnce()
{
    // Nobody listens at the service's address: the query ends with the refusal, once, without a
    // warning of the network layer.
    m_web.reset();
    QCOMPARE(runDownloader({"-type=pkg", "-vm=" + kVm, "-pkg=" + kPkg}), 0);
    QVERIFY2(m_output.contains(QLatin1String("ConnectionRefusedError")), qPrintable(m_output));
    QCOMPARE(m_output.count(QLatin1String("OnNetWorkError")), 1);
    QVERIFY2(!m_output.contains(QLatin1String("W/")), qPrintable(m_output));
    QVERIFY(!QFileInfo::exists(target()));
}

void TestOrvDownload::slowServiceEndsWithinTheLimit()
{
    // A service that never answers the query holds a downloader for the run limit at most, not for
    // the 1000 s of old.
    m_web->setControl(QStringLiteral("keymap.answer=hang"));
    QCOMPARE(runDownloader({"-type=pkg", "-vm=" + kVm, "-pkg=" + kPkg}, 120000), 0);
    QVERIFY2(m_output.contains(QLatin1String("timeout")), qPrintable(m_output));
    QVERIFY(!QFileInfo::exists(target()));
}

void TestOrvDownload::helperPostsAndHeads()
{
    // The blocking helper's POST carries its body to the service and keeps the answer; its HEAD reads
    // one header of the answer, which has no body.
    const QByteArray bytes = sampleFile();
    QVERIFY(writeFile(m_web->stateDir() + "/keymaps/" + kPkg + ".json", bytes));
    m_web->setControl(QStringLiteral("runlog.reply=stored"));
    HttpWebBlockRequest request;
    QCOMPARE(request.post(QUrl(m_web->baseUrl() + "/runlogUp.php"), QByteArray("line one\nline two"), 10000),
             0);
    QCOMPARE(request.httpStatus(), 200);
    QCOMPARE(request.body(), QByteArray("stored"));
    const QList<QJsonObject> posted = m_web->requests(QStringLiteral("runlog"));
    QCOMPARE(posted.size(), 1);
    QCOMPARE(posted.first().value("method").toString(), QStringLiteral("POST"));
    QCOMPARE(posted.first().value("body").toString(), QStringLiteral("line one\nline two"));

    QString length = QStringLiteral("unset");
    QCOMPARE(
        request.head(QUrl(m_web->baseUrl() + "/keymaps/" + kPkg + ".json"), "Content-Length", &length, 10000),
        0);
    QCOMPARE(length, QString::number(bytes.size()));
    QVERIFY(request.body().isEmpty());
    QString missing = QStringLiteral("unset");
    QCOMPARE(
        request.head(QUrl(m_web->baseUrl() + "/keymaps/" + kPkg + ".json"), "X-Not-There", &missing, 10000),
        0);
    QCOMPARE(missing, QString());
    const QList<QJsonObject> heads = m_web->requests(QStringLiteral("keymapfile"));
    QCOMPARE(heads.size(), 2);
    QCOMPARE(heads.first().value("method").toString(), QStringLiteral("HEAD"));
}

void TestOrvDownload::helperCloseEndsTheRequest()
{
    // OnClose ends a request the service never answers, long before its time-out, with the
    // cancellation code; the helper can be used again afterwards.
    m_web->setControl(QStringLiteral("keymap.answer=hang"));
    HttpWebBlockRequest request;
    QTimer::singleShot(200, &request, &HttpWebBlockRequest::OnClose);
    QCOMPARE(request.get(QUrl(m_web->baseUrl() + "/api_service/api/get_keyboard_json.php?package=x"), 600000),
             int(QNetworkReply::OperationCanceledError));
    m_web->setControl(QStringLiteral("keymap.reply=again"));
    QCOMPARE(request.get(QUrl(m_web->baseUrl() + "/api_service/api/get_keyboard_json.php?package=x"), 10000),
             0);
    QCOMPARE(request.body(), QByteArray("again"));
}

void TestOrvDownload::hostileNamesWriteNothing_data()
{
    QTest::addColumn<QString>("vm");
    QTest::addColumn<QString>("pkg");
    QTest::newRow("package climbs out") << kVm << "../../../evil";
    QTest::newRow("package with slash") << kVm << "com/evil";
    QTest::newRow("package with query") << kVm << "com.x&package=y";
    QTest::newRow("empty package") << kVm << "";
    QTest::newRow("machine climbs out") << "../x" << kPkg;
    QTest::newRow("machine with dots inside") << "a..b" << kPkg;
    QTest::newRow("machine with backslash") << "a\\b" << kPkg;
    QTest::newRow("empty machine") << "" << kPkg;
}

void TestOrvDownload::hostileNamesWriteNothing()
{
    QFETCH(QString, vm);
    QFETCH(QString, pkg);
    // The service would answer for anything.
    QVERIFY(writeFile(m_web->stateDir() + "/keymaps/x.json", sampleFile()));
    m_web->setControl(QStringLiteral("keymap.reply=") + m_web->baseUrl() + "/keymaps/x.json");
    const QStringList before = filesUnder(m_tree->root());
    QCOMPARE(runDownloader({"-type=pkg", "-vm=" + vm, "-pkg=" + pkg}), 0);
    QVERIFY(m_output.contains(QLatin1String("refused")));
    QCOMPARE(m_web->requests().size(), 0);
    // Nothing new anywhere in the tree but the program's own log.
    QStringList after = filesUnder(m_tree->root());
    after.erase(std::remove_if(after.begin(), after.end(),
                               [](const QString &f) { return f.contains("/log/") || f.startsWith("web/"); }),
                after.end());
    QStringList expected = before;
    expected.erase(
        std::remove_if(expected.begin(), expected.end(),
                       [](const QString &f) { return f.contains("/log/") || f.startsWith("web/"); }),
        expected.end());
    QCOMPARE(after, expected);
}

void TestOrvDownload::otherTypesDoNothing_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("type PKG") << QStringList{"-type=PKG", "-vm=" + kVm, "-pkg=" + kPkg} << 0;
    QTest::newRow("no type") << QStringList{"-vm=" + kVm, "-pkg=" + kPkg} << 0;
    QTest::newRow("values as next arguments") << QStringList{"-type", "game", "-vm", kVm, "-pkg", kPkg} << 0;
    QTest::newRow("unknown option") << QStringList{"-type=pkg", "-vm=" + kVm, "-pkg=" + kPkg, "-what=1"} << 1;
}

void TestOrvDownload::otherTypesDoNothing()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QVERIFY(writeFile(m_web->stateDir() + "/keymaps/" + kPkg + ".json", sampleFile()));
    QCOMPARE(runDownloader(args), exitCode);
    QCOMPARE(m_web->requests().size(), 0);
    QVERIFY(!QFileInfo::exists(target()));
}

QTEST_GUILESS_MAIN(TestOrvDownload)
#include "tst_orvdownload.moc"
