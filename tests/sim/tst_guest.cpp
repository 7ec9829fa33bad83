// Black-box tests of the simulated guest: what a host sees on its input service (shell replies by the
// boot state, the launcher's ps line, screenshot replies without a line end, dropped and refused
// connections), what it logs, and the picture it publishes.

#include "testports.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

// A port of this test's own block (testports.h): no other test on the machine takes it meanwhile.
quint16 freePort()
{
    return TestPorts::freePort();
}

} // namespace

class TestGuest : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void shellRepliesFollowTheBoot();
    void launcherPidChangesAtTheGivenPoll();
    void screencapRepliesWithoutLineEnd();
    void dropClosesTheConnection();
    void refusesConnectionsForAWhile();
    void pictureShowsWhatArrived();
    void configIsOnlyRecorded();
    void typedTextIsKeptDecoded();
    void screencapWaitsForTheShellReplyAndLandsInTheShare();
    void refusesForAWhileFromNow();
    void landscapeContentIsTurnedIntoTheBuffer_data();
    void landscapeContentIsTurnedIntoTheBuffer();

private:
    bool startGuest(const QMap<QString, QString> &controls = {});
    // The published picture once its header says width x height at `rotation` and `ready` holds.
    QImage picture(int rotation, const std::function<bool(const QImage &)> &ready, int timeoutMs = 5000);
    bool connectInput(QTcpSocket *socket, int timeoutMs = 5000);
    QString ask(QTcpSocket *socket, const QByteArray &line);
    QStringList loggedLines() const;

    std::unique_ptr<QTemporaryDir> m_dir;
    QProcess m_guest;
    quint16 m_port = 0;
};

void TestGuest::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_port = freePort();
}

void TestGuest::cleanup()
{
    m_guest.terminate();
    if (!m_guest.waitForFinished(5000))
        m_guest.kill();
    m_guest.waitForFinished(5000);
    m_dir.reset();
}

bool TestGuest::startGuest(const QMap<QString, QString> &controls)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORV_SIM_SCREEN_DIR"), m_dir->path() + QStringLiteral("/screens"));
    for (auto it = controls.cbegin(); it != controls.cend(); ++it)
        env.insert(QStringLiteral("ORV_GUEST_") + it.key().toUpper(), it.value());
    m_guest.setProcessEnvironment(env);
    m_guest.start(QStringLiteral(ORV_SIM_BIN_DIR "/orv-guest"),
                  {QStringLiteral("--vinput-port"), QString::number(m_port), QStringLiteral("--emu-id"),
                   QStringLiteral("77"), QStringLiteral("--size"), QStringLiteral("360x640"),
                   QStringLiteral("--dir"), m_dir->path() + QStringLiteral("/guest"),
                   QStringLiteral("--picture-share"), m_dir->path() + QStringLiteral("/share/image"),
                   QStringLiteral("--die-with-parent")});
    QDir().mkpath(m_dir->path() + QStringLiteral("/share/image"));
    return m_guest.waitForStarted(5000);
}

QImage TestGuest::picture(int rotation, const std::function<bool(const QImage &)> &ready, int timeoutMs)
{
    QImage image;
    const auto read = [&] {
        QFile file(m_dir->path() + QStringLiteral("/screens/77.frame"));
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QStringList f = QString::fromLatin1(file.readLine()).split(QLatin1Char(' '));
        if (f.value(0) != QLatin1String("ORVFRAME") || f.value(1) != "360" || f.value(2) != "640" ||
            f.value(3).toInt() != rotation)
            return false;
        const QByteArray pixels = file.readAll();
        if (pixels.size() != 360 * 640 * 4)
            return false;
        image = QImage(reinterpret_cast<const uchar *>(pixels.constData()), 360, 640, QImage::Format_RGB32)
                    .copy();
        return ready(image);
    };
    QElapsedTimer timer;
    timer.start();
    while (!read() && timer.elapsed() < timeoutMs)
        QTest::qWait(20);
    return image;
}

bool TestGuest::connectInput(QTcpSocket *socket, int timeoutMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < timeoutMs) {
        socket->connectToHost(QHostAddress::LocalHost, m_port);
        if (socket->waitForConnected(1000))
            return true;
        socket->abort();
        QTest::qWait(50);
    }
    return false;
}

QString TestGuest::ask(QTcpSocket *socket, const QByteArray &line)
{
    socket->write(line);
    if (!socket->waitForReadyRead(5000))
        return QStringLiteral("<no answer>");
    return QString::fromUtf8(socket->readAll());
}

QStringList TestGuest::loggedLines() const
{
    QFile file(m_dir->path() + QStringLiteral("/guest/input.log"));
    QStringList lines;
    if (file.open(QIODevice::ReadOnly)) {
        for (const QByteArray &line : file.readAll().split('\n'))
            if (line.indexOf(' ') > 0)
                lines << QString::fromUtf8(line.mid(line.indexOf(' ') + 1));
    }
    return lines;
}

void TestGuest::shellRepliesFollowTheBoot()
{
    // The boot is far enough ahead for a slow start of the guest on a busy machine.
    QVERIFY(startGuest({{QStringLiteral("boot_ms"), QStringLiteral("8000")}}));
    QTcpSocket socket;
    QVERIFY(connectInput(&socket));
    // Before the boot the launcher is not running: an answer without the package, never nothing. (The
    // boot question after it says that the "ps" came before the boot.)
    const QString ps = ask(&socket, "SHELL_CMD:str-ps | grep com.corvel.pavixtop\n");
    QCOMPARE(ask(&socket, "SHELL_CMD:str-getprop dev.bootcomplete\n"), QStringLiteral("0\n"));
    QCOMPARE(ps, QStringLiteral("\n"));
    QTRY_COMPARE_WITH_TIMEOUT(ask(&socket, "SHELL_CMD:str-getprop dev.bootcomplete\n"), QStringLiteral("1\n"),
                              30000);
    QCOMPARE(
        ask(&socket, "SHELL_CMD:str-am broadcast -a com.corvel.MusicVolumeReceiver --ei VOLUME 7\n"),
        QStringLiteral(
            "Broadcasting: Intent { act=com.corvel.MusicVolumeReceiver }\nBroadcast completed: result=0\n"));
    // The volume receiver takes 0 to 15 and records each; any other value it refuses.
    for (const char *volume : {"0", "15", "16", "-1"})
        ask(&socket, QByteArray("SHELL_CMD:str-am broadcast -a com.corvel.MusicVolumeReceiver --ei VOLUME ") +
                         volume + '\n');
    QStringList volumes;
    QFile volumeLog(m_dir->path() + QStringLiteral("/guest/volume.log"));
    QVERIFY(volumeLog.open(QIODevice::ReadOnly));
    for (const QByteArray &line : volumeLog.readAll().split('\n'))
        if (line.indexOf(' ') > 0)
            volumes << QString::fromUtf8(line.mid(line.indexOf(' ') + 1));
    QCOMPARE(volumes, (QStringList{"7", "0", "15", "refused 16", "refused -1"}));
    // Every line is logged as it came.
    QTRY_VERIFY(loggedLines().contains(QStringLiteral("SHELL_CMD:str-ps | grep com.corvel.pavixtop")));
    QVERIFY(loggedLines().first().startsWith(QLatin1String("# connected from ")));
}

void TestGuest::launcherPidChangesAtTheGivenPoll()
{
    QVERIFY(startGuest({{QStringLiteral("boot_ms"), QStringLiteral("0")},
                        {QStringLiteral("launcher_pid"), QStringLiteral("500")},
                        {QStringLiteral("pid_change_at_poll"), QStringLiteral("3")}}));
    QTcpSocket socket;
    QVERIFY(connectInput(&socket));
    QTRY_COMPARE_WITH_TIMEOUT(ask(&socket, "SHELL_CMD:str-getprop dev.bootcomplete\n"), QStringLiteral("1\n"),
                              5000);
    QStringList pids;
    for (int i = 0; i < 4; ++i) {
        const QString reply = ask(&socket, "SHELL_CMD:str-ps | grep com.corvel.pavixtop\n");
        QVERIFY2(reply.startsWith(QLatin1String("u0_a17 ")) &&
                     reply.endsWith(QLatin1String(" com.corvel.pavixtop\n")),
                 qPrintable(reply));
        pids << reply.split(QRegularExpression(QStringLiteral("\\s+"))).value(1);
    }
    QCOMPARE(pids, (QStringList{"500", "500", "501", "501"}));
}

void TestGuest::screencapRepliesWithoutLineEnd()
{
    QVERIFY(startGuest());
    QTcpSocket socket;
    QVERIFY(connectInput(&socket));
    const QRegularExpression reply(QStringLiteral("^SCREENCAP:/sdcard/Pictures/Screenshots/[^/\\n]+\\.png$"));
    const QString answered = ask(&socket, "SCREENCAP\n");
    QVERIFY2(reply.match(answered).hasMatch(), qPrintable(answered));
    // Asked for by a test through the folder: sent on its own.
    QFile request(m_dir->path() + QStringLiteral("/guest/screencap"));
    QVERIFY(request.open(QIODevice::WriteOnly));
    request.close();
    QVERIFY(socket.waitForReadyRead(5000));
    QVERIFY(reply.match(QString::fromUtf8(socket.readAll())).hasMatch());
    QTRY_VERIFY(!request.exists());
}

void TestGuest::dropClosesTheConnection()
{
    QVERIFY(startGuest());
    QTcpSocket socket;
    QVERIFY(connectInput(&socket));
    socket.write("CONFIG:360:640\n");
    QTRY_VERIFY(loggedLines().contains(QStringLiteral("CONFIG:360:640")));
    QFile request(m_dir->path() + QStringLiteral("/guest/drop"));
    QVERIFY(request.open(QIODevice::WriteOnly));
    request.close();
    QTRY_COMPARE_WITH_TIMEOUT(socket.state(), QAbstractSocket::UnconnectedState, 5000);
    // A new connection is taken again.
    QTcpSocket again;
    QVERIFY(connectInput(&again));
    QCOMPARE(ask(&again, "SHELL_CMD:str-getprop dev.bootcomplete\n").isEmpty(), false);
}

void TestGuest::refusesConnectionsForAWhile()
{
    QVERIFY(startGuest({{QStringLiteral("refuse_ms"), QStringLiteral("1500")}}));
    QTRY_VERIFY(QFile::exists(m_dir->path() + QStringLiteral("/guest/guest.pid")));
    QTcpSocket early;
    early.connectToHost(QHostAddress::LocalHost, m_port);
    QVERIFY(!early.waitForConnected(1000));
    QTcpSocket later;
    QVERIFY(connectInput(&later, 5000));
}

void TestGuest::pictureShowsWhatArrived()
{
    QVERIFY(startGuest({{QStringLiteral("boot_ms"), QStringLiteral("0")}}));
    QTcpSocket socket;
    QVERIFY(connectInput(&socket));
    socket.write("MSBPR:100:200\n");
    const QString path = m_dir->path() + QStringLiteral("/screens/77.frame");
    // The file: a header line, then 360 x 640 words of 0xffRRGGBB.
    QImage picture;
    const auto touchDrawn = [&] {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return false;
        const QByteArray header = file.readLine();
        const QStringList f = QString::fromLatin1(header).split(QLatin1Char(' '));
        if (f.value(0) != QLatin1String("ORVFRAME") || f.value(1) != "360" || f.value(2) != "640" ||
            f.value(3) != "0")
            return false;
        const QByteArray pixels = file.readAll();
        if (pixels.size() != 360 * 640 * 4)
            return false;
        picture = QImage(reinterpret_cast<const uchar *>(pixels.constData()), 360, 640, QImage::Format_RGB32)
                      .copy();
        return picture.pixel(100, 200) == 0xffe53935;
    };
    QTRY_VERIFY_WITH_TIMEOUT(touchDrawn(), 5000);
    // Launcher background away from the text and the touch; the status bar on top.
    QCOMPARE(picture.pixel(300, 600), 0xff1e88e5u);
    QCOMPARE(picture.pixel(180, 2), 0xff202124u);
}

void TestGuest::configIsOnlyRecorded()
{
    // The screen's size is the display mode's (here 360 x 640); a host's CONFIG changes nothing.
    QVERIFY(startGuest({{QStringLiteral("boot_ms"), QStringLiteral("0")}}));
    QTcpSocket socket;
    QVERIFY(connectInput(&socket));
    socket.write("CONFIG:720:1280\nMSBPR:10:20\n");
    const QImage image = picture(0, [](const QImage &i) { return i.pixel(10, 20) == 0xffe53935; });
    QVERIFY(!image.isNull());
    QCOMPARE(loggedLines().mid(1), (QStringList{"CONFIG:720:1280", "MSBPR:10:20"}));
}

void TestGuest::typedTextIsKeptDecoded()
{
    QVERIFY(startGuest());
    QTcpSocket socket;
    QVERIFY(connectInput(&socket));
    const QByteArray line = "INPUTTEXT:str-" + QByteArray("<G>h\xc3\xa9 x<P>").toBase64() + "\n";
    socket.write(line);
    QTRY_VERIFY(loggedLines().contains(QString::fromLatin1(line.trimmed())));
    QFile text(m_dir->path() + QStringLiteral("/guest/text.log"));
    QTRY_VERIFY(text.exists());
    QVERIFY(text.open(QIODevice::ReadOnly));
    QVERIFY2(QString::fromUtf8(text.readAll()).endsWith(QStringLiteral(" h\u00e9 x\n")), "decoded text");
}

void TestGuest::screencapWaitsForTheShellReplyAndLandsInTheShare()
{
    QVERIFY(startGuest({{QStringLiteral("reply_delay_ms"), QStringLiteral("300")}}));
    QTcpSocket socket;
    QVERIFY(connectInput(&socket));
    // The shell command is due first: its reply comes first, in a write of its own, then the answer.
    socket.write("SHELL_CMD:str-getprop dev.bootcomplete\nSCREENCAP\n");
    QByteArray data;
    while (!data.contains("SCREENCAP:") && socket.waitForReadyRead(5000))
        data += socket.readAll();
    // One more moment for the rest of the answer.
    if (socket.waitForReadyRead(200))
        data += socket.readAll();
    QVERIFY2(data.startsWith("0\n") || data.startsWith("1\n"), data.constData());
    const QString answer = QString::fromUtf8(data.mid(2));
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("^SCREENCAP:/sdcard/Pictures/Screenshots/([^/\\s]+\\.png)$"))
            .match(answer);
    QVERIFY2(m.hasMatch(), qPrintable(answer));
    // The picture was in the share before the answer went out.
    QImage shot(m_dir->path() + QStringLiteral("/share/image/") + m.captured(1));
    QCOMPARE(shot.size(), QSize(360, 640));
    QVERIFY(
        QDir(m_dir->path() + QStringLiteral("/share/image")).entryList(QDir::Hidden | QDir::Files).size() ==
        1);
}

void TestGuest::refusesForAWhileFromNow()
{
    QVERIFY(startGuest());
    QTcpSocket first;
    QVERIFY(connectInput(&first));
    QFile request(m_dir->path() + QStringLiteral("/guest/refuse"));
    QVERIFY(request.open(QIODevice::WriteOnly));
    request.write("1500");
    request.close();
    QTRY_VERIFY(!request.exists());
    QElapsedTimer timer;
    timer.start();
    QTcpSocket refused;
    refused.connectToHost(QHostAddress::LocalHost, m_port);
    QVERIFY(!refused.waitForConnected(1000));
    QTcpSocket later;
    QVERIFY(connectInput(&later, 5000));
    QVERIFY(timer.elapsed() >= 1200);
}

void TestGuest::landscapeContentIsTurnedIntoTheBuffer_data()
{
    QTest::addColumn<int>("rotation");
    // Where the content's status bar (its top rows, upright for the user) lies in the 360 x 640 buffer,
    // and a launcher point away from it.
    QTest::addColumn<QPoint>("bar");
    QTest::addColumn<QPoint>("launcher");
    // Turned by 90 the content's top edge is the buffer's right edge (the host shows buffer point
    // (view height - y, x) at its point (x, y)).
    QTest::newRow("90") << 90 << QPoint(357, 320) << QPoint(30, 320);
    QTest::newRow("180") << 180 << QPoint(180, 637) << QPoint(180, 30);
    QTest::newRow("270") << 270 << QPoint(2, 320) << QPoint(330, 320);
    QTest::newRow("0") << 0 << QPoint(180, 2) << QPoint(180, 600);
}

void TestGuest::landscapeContentIsTurnedIntoTheBuffer()
{
    QFETCH(int, rotation);
    QFETCH(QPoint, bar);
    QFETCH(QPoint, launcher);
    QVERIFY(startGuest({{QStringLiteral("boot_ms"), QStringLiteral("0")},
                        {QStringLiteral("rotation"), QString::number(rotation)}}));
    QTcpSocket socket;
    QVERIFY(connectInput(&socket));
    // A touch point is a buffer point: drawn where it landed, whatever the rotation.
    socket.write("MSBPR:200:100\n");
    const QImage image = picture(rotation, [](const QImage &i) { return i.pixel(200, 100) == 0xffe53935; });
    QVERIFY(!image.isNull());
    QCOMPARE(image.pixel(bar), 0xff202124u);
    QCOMPARE(image.pixel(launcher), 0xff1e88e5u);
}

QTEST_GUILESS_MAIN(TestGuest)
#include "tst_guest.moc"
