// The launcher channel of the real program, driven by real X input (XTest keys, XDND drops from a
// drag source of this test) on its Android window, against the simulated guest: the exact request
// bytes the launcher receives for every action the window and the controller send, a dropped package
// copied into the game share, installed, brought to the foreground and reported back, a second start's
// launch after the switch, and dropped pictures and other files reaching their shares with hostile
// names reaching the guest's shell only escaped.

#include "screenfixture.h"
#include "xtestinput.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QtTest>

#include <memory>

namespace {

const char *const kVm = ScreenFixture::kVm;
// The English texts of the toasts (resources/translations/orvanta_en.ts).
const QString kInstallBegin = QStringLiteral("Installing the package...");
const QString kFullScreen = QStringLiteral("Press F11 to leave full screen");
const QString kBroadcast = QStringLiteral(
    "SHELL_CMD:str-am broadcast -a com.corvel.ShareFileChangeBroadCastReceiver  --ei SET_ALL_FILE_KEY 1 --es "
    "ALL_FILE_PATH_KEY ");

// A request as the launcher expects it, written out here by hand: field 1, field 2 when there is text,
// and the closing 0A (actions and lengths below 128 here).
QString request(int action, const QString &text = QString())
{
    QByteArray bytes;
    bytes.append(char(0x08)).append(char(action));
    if (!text.isEmpty()) {
        const QByteArray utf8 = text.toUtf8();
        bytes.append(char(0x12)).append(char(utf8.size())).append(utf8);
    }
    bytes.append('\n');
    return QString::fromLatin1(bytes.toHex());
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QString md5Of(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().toUpper());
}

} // namespace

class TestLauncher : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void downloadTextAfterFirstLoad();
    void requestBytes_data();
    void requestBytes();
    void droppedPackageIsInstalledAndReportedBack();
    void secondStartLaunchesAfterTheSwitch();
    void droppedFilesReachTheirShares();

private:
    bool findWindow();
    // Runs one step of a script; false for an unknown step.
    bool step(const QString &command);
    // Drags the files onto the middle of the Android picture with the drag source.
    bool drop(const QStringList &files);
    QStringList launcherRequests() const;
    QJsonObject launcherState() const;
    QString share(const QString &name) const
    {
        return m_fixture->tree().installDir() + QStringLiteral("/share/") + QLatin1String(kVm) +
               QLatin1Char('/') + name;
    }
    QString file(const QString &name) const { return m_files + QLatin1Char('/') + name; }

    std::unique_ptr<ScreenFixture> m_fixture;
    std::unique_ptr<ProgramRun> m_emulator;
    std::unique_ptr<XTestInput> m_x;
    unsigned long m_window = 0;
    QRect m_android;
    QRect m_view;
    QString m_files;
    QString m_dropOutput;
};

bool TestLauncher::findWindow()
{
    QList<XTestInput::TopWindow> windows;
    if (!waitUntil(
            [&] {
                windows = m_x->mappedWindowsOf(m_emulator->pid());
                return windows.size() == 2;
            },
            10000))
        return false;
    std::sort(windows.begin(), windows.end(),
              [](const XTestInput::TopWindow &a, const XTestInput::TopWindow &b) {
                  return a.geometry.width() > b.geometry.width();
              });
    m_window = windows.at(0).id;
    m_android = windows.at(0).geometry;
    m_view = QRect(m_android.x() + 2, m_android.y() + 38, m_android.width() - 4, m_android.height() - 40);
    return true;
}

void TestLauncher::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display: the input is real X input on the real window");
    m_x = std::make_unique<XTestInput>();
    if (!m_x->isValid())
        QSKIP("the X server has no XTest extension");
    m_fixture = std::make_unique<ScreenFixture>();
    QVERIFY(m_fixture->isValid());
    m_fixture->setGuestControls({{QStringLiteral("boot_ms"), QStringLiteral("0")}});
    m_files = m_fixture->tree().root() + QStringLiteral("/files");
    QVERIFY(QDir().mkpath(m_files));
    // Left by the download program for the first launch after the start.
    QVERIFY(writeFile(m_fixture->tree().playerDir() + QStringLiteral("/DownloadAPK"), "http://host/x.apk"));
    m_emulator = m_fixture->startEmulator();
    QVERIFY(m_emulator);
    QVERIFY2(m_fixture->attachGuest(*m_emulator), qPrintable(m_fixture->tree().logText().right(3000)));
    QVERIFY(m_emulator->waitForText(QLatin1String(ScreenFixture::kShowAndroid), 30000));
    QVERIFY(findWindow());
    m_x->focus(m_window);
    QVERIFY(m_emulator->waitForText(QStringLiteral("AndroidWindow    : firstLoad"), 30000));
    QVERIFY(waitUntil([this] { return !launcherRequests().isEmpty(); }, 5000));
}

void TestLauncher::cleanupTestCase()
{
    m_emulator.reset();
    m_fixture.reset();
}

QStringList TestLauncher::launcherRequests() const
{
    QStringList hex;
    for (const QByteArray &line :
         readFile(m_fixture->guest().dir() + QStringLiteral("/launcher.log")).split('\n'))
        if (line.indexOf(' ') > 0)
            hex << QString::fromLatin1(line.mid(line.indexOf(' ') + 1));
    return hex;
}

QJsonObject TestLauncher::launcherState() const
{
    return QJsonDocument::fromJson(readFile(m_fixture->guest().dir() + QStringLiteral("/launcher.json")))
        .object();
}

bool TestLauncher::drop(const QStringList &files)
{
    // The source's window goes where the emulator's is not.
    QPoint from(1890, 1050);
    if (m_android.adjusted(-40, -40, 40, 40).contains(from))
        from = QPoint(30, 1050);
    QStringList args{QStringLiteral("--from"), QStringLiteral("%1,%2").arg(from.x()).arg(from.y()),
                     QStringLiteral("--to"),
                     QStringLiteral("%1,%2").arg(m_view.center().x()).arg(m_view.center().y())};
    QProcess source;
    source.start(QStringLiteral(DRAG_SOURCE), args + files);
    if (!source.waitForStarted(5000))
        return false;
    // The emulator keeps running meanwhile: wait while serving this process's events.
    const bool ended = waitUntil([&] { return source.state() == QProcess::NotRunning; }, 30000);
    m_dropOutput = QString::fromLocal8Bit(source.readAllStandardOutput() + source.readAllStandardError());
    return ended && source.exitCode() == 0;
}

bool TestLauncher::step(const QString &command)
{
    const QStringList f = command.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString verb = f.value(0);
    if (verb == QLatin1String("tap")) {
        m_x->focus(m_window);
        QTest::qWait(50);
        return m_x->tap(f.value(1));
    }
    if (verb == QLatin1String("press"))
        return m_x->key(f.value(1), true);
    if (verb == QLatin1String("release"))
        return m_x->key(f.value(1), false);
    if (verb == QLatin1String("wait")) {
        QTest::qWait(f.value(1).toInt());
        return true;
    }
    if (verb == QLatin1String("drop")) {
        QStringList files;
        for (const QString &name : f.mid(1))
            files << file(name);
        const bool ok = drop(files);
        if (ok)
            findWindow();
        return ok;
    }
    if (verb == QLatin1String("second")) {
        // A second start of the same machine hands its request over and ends.
        ProgramRun second(m_fixture->tree(), QStringLiteral("Orvanta"),
                          QStringList{QStringLiteral("-vm=") + QLatin1String(kVm)} + f.mid(1));
        const bool ok = second.run(20000) == 0;
        if (ok && findWindow())
            m_x->focus(m_window);
        return ok;
    }
    return false;
}

void TestLauncher::downloadTextAfterFirstLoad()
{
    // Five seconds after Android came up: the download text went out whole, the file stays, emptied.
    QVERIFY(waitUntil(
        [this] { return launcherRequests().contains(request(6, QStringLiteral("http://host/x.apk"))); },
        5000));
    QCOMPARE(launcherRequests(), QStringList{request(6, QStringLiteral("http://host/x.apk"))});
    QVERIFY(QFile::exists(m_fixture->tree().playerDir() + QStringLiteral("/DownloadAPK")));
    QCOMPARE(QFileInfo(m_fixture->tree().playerDir() + QStringLiteral("/DownloadAPK")).size(), 0);
}

void TestLauncher::requestBytes_data()
{
    QTest::addColumn<QStringList>("script");
    QTest::addColumn<QStringList>("requests"); // in hexadecimal, in any order of arrival
    const QByteArray racer = "package=com.example.racer\n" + QByteArray(3000, 'r');
    QVERIFY(writeFile(file(QStringLiteral("Racer.APK")), racer));
    QVERIFY(writeFile(file(QStringLiteral("shot.png")), "picture"));

    QTest::newRow("home key") << QStringList{"tap Home"} << QStringList{"08020a"};
    QTest::newRow("task menu key") << QStringList{"tap Prior"} << QStringList{"08030a"};
    QTest::newRow("stop-script key") << QStringList{"tap F3"} << QStringList{"08010a"};
    QTest::newRow("ctrl + = and ctrl + -")
        << QStringList{"press Control_L", "tap equal", "tap minus", "release Control_L"}
        << QStringList{"0811120131"
                       "0a",
                       "0811120130"
                       "0a"};
    QTest::newRow("full screen and back")
        << QStringList{"tap F11", "wait 500", "tap Escape"} << QStringList{request(10, kFullScreen)};
    QTest::newRow("boss key hides the window")
        << QStringList{"press Control_L", "press Alt_L", "tap x", "release Alt_L", "release Control_L"}
        << QStringList{"080c0a"};
    QTest::newRow("second start shows the window and launches")
        << QStringList{"second -pkgname=com.example.racer"}
        << QStringList{"080d0a", request(7, QStringLiteral("com.example.racer"))};
    QTest::newRow("dropped package") << QStringList{"drop Racer.APK"}
                                     << QStringList{
                                            request(10, kInstallBegin),
                                            request(5, QStringLiteral("apk_%1.apk").arg(md5Of(racer)))};
    QTest::newRow("dropped picture")
        << QStringList{"drop shot.png"}
        << QStringList{request(10, QStringLiteral("Copying ") + file(QStringLiteral("shot.png"))),
                       request(10, QStringLiteral("Copied ") + file(QStringLiteral("shot.png")))};
}

void TestLauncher::requestBytes()
{
    QFETCH(QStringList, script);
    QFETCH(QStringList, requests);
    const int before = launcherRequests().size();
    for (const QString &command : script)
        QVERIFY2(step(command), qPrintable(command + QLatin1Char(' ') + m_dropOutput));
    QVERIFY2(
        waitUntil([&] { return launcherRequests().size() >= before + requests.size(); }, 10000),
        qPrintable(
            m_dropOutput + QLatin1Char('\n') +
            m_fixture->tree().logText().split(QLatin1Char('\n')).filter(QStringLiteral("drop")).join('\n')));
    QTest::qWait(500);
    QStringList got = launcherRequests().mid(before);
    got.sort();
    requests.sort();
    QCOMPARE(got, requests);
}

void TestLauncher::droppedPackageIsInstalledAndReportedBack()
{
    const QByteArray puzzle = "package=com.example.puzzle\n" + QByteArray(4000, 'p');
    QVERIFY(writeFile(file(QStringLiteral("puzzle.ypk")), puzzle));
    QVERIFY2(drop({file(QStringLiteral("puzzle.ypk"))}), qPrintable(m_dropOutput));
    const QString name = QStringLiteral("apk_%1.ypk").arg(md5Of(puzzle));
    // Copied into the game share, installed by the launcher and made the foreground package.
    QVERIFY(waitUntil([&] { return launcherState().value("foreground").toString() == "com.example.puzzle"; },
                      10000));
    QCOMPARE(readFile(share(QStringLiteral("game/")) + name), puzzle);
    QVERIFY(launcherState().value("installed").toArray().contains(QStringLiteral("com.example.puzzle")));
    // The launcher's report came back through the event share and was taken by the emulator.
    QVERIFY(m_emulator->waitForText(
        QStringLiteral("PavixConnection : reply action 9 data com.example.puzzle"), 10000));
    QVERIFY(waitUntil(
        [&] { return QDir(share(QStringLiteral("event"))).isEmpty(QDir::Files | QDir::Hidden); }, 5000));
}

void TestLauncher::secondStartLaunchesAfterTheSwitch()
{
    // The racer was installed by the drop of the table; the puzzle is in the foreground now.
    QCOMPARE(launcherState().value("foreground").toString(), QStringLiteral("com.example.puzzle"));
    QVERIFY(step(QStringLiteral("second -pkgname=com.example.racer")));
    QVERIFY(waitUntil([&] { return launcherState().value("foreground").toString() == "com.example.racer"; },
                      10000));
    QVERIFY(m_emulator->waitForText(QStringLiteral("PavixConnection : reply action 9 data com.example.racer"),
                                    10000));
}

void TestLauncher::droppedFilesReachTheirShares()
{
    const QStringList pictures{"$(touch pwned).png", "q\"uo`te`.JPG", "new\nline.png"};
    const QString other = QStringLiteral("notes $(id).txt");
    QStringList paths;
    for (const QString &name : pictures + QStringList{other}) {
        QVERIFY(writeFile(file(name), name.toUtf8()));
        paths << file(name);
    }
    const int before = m_fixture->guest().inputLines().size();
    QVERIFY2(drop(paths), qPrintable(m_dropOutput));
    for (const QString &name : pictures)
        QVERIFY2(waitUntil([&] { return QFile::exists(share(QStringLiteral("image/")) + name); }, 10000),
                 qPrintable(name));
    QVERIFY(waitUntil([&] { return QFile::exists(share(QStringLiteral("other/")) + other); }, 10000));
    QCOMPARE(readFile(share(QStringLiteral("other/")) + other), other.toUtf8());
    // A screenshot taken in the guest lands in the picture share and is announced too.
    m_fixture->guest().request(QStringLiteral("screencap"));
    const QStringList expected{kBroadcast + "\"\\$(touch pwned).png\"",
                               kBroadcast + "\"q\\\"uo\\`te\\`.JPG\"",
                               kBroadcast + "\"Screenshot_requested.png\""};
    QVERIFY(waitUntil(
        [&] {
            const QStringList lines = m_fixture->guest().inputLines().mid(before);
            return std::all_of(expected.cbegin(), expected.cend(),
                               [&](const QString &line) { return lines.contains(line); });
        },
        15000));
    QTest::qWait(500);
    const QStringList lines = m_fixture->guest().inputLines().mid(before);
    QCOMPARE(lines.filter(QStringLiteral("am broadcast")).size(), expected.size());
    for (const QString &line : lines)
        QVERIFY2(!line.contains(QLatin1String("line.png")) && !line.contains(QLatin1String("notes")),
                 qPrintable(line));
    QVERIFY(!QFile::exists(m_fixture->tree().root() + QStringLiteral("/pwned")));
}

QTEST_MAIN(TestLauncher)
#include "tst_launcher.moc"
