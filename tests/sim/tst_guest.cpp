// Black-box tests of the simulated guest: what a host sees on its input service (shell replies by the
// boot state, the launcher's ps line, screenshot replies without a line end, dropped and refused
// connections), what it logs, and the picture it publishes.

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

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
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

private:
    bool startGuest(const QMap<QString, QString> &controls = {});
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
                   QStringLiteral("--die-with-parent")});
    return m_guest.waitForStarted(5000);
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
    QVERIFY(startGuest({{QStringLiteral("boot_ms"), QStringLiteral("1500")}}));
    QTcpSocket socket;
    QVERIFY(connectInput(&socket));
    QCOMPARE(ask(&socket, "SHELL_CMD:str-getprop dev.bootcomplete\n"), QStringLiteral("0\n"));
    // Before the boot the launcher is not running: an answer without the package, never nothing.
    QCOMPARE(ask(&socket, "SHELL_CMD:str-ps | grep com.corvel.pavixtop\n"), QStringLiteral("\n"));
    QTRY_COMPARE_WITH_TIMEOUT(ask(&socket, "SHELL_CMD:str-getprop dev.bootcomplete\n"), QStringLiteral("1\n"),
                              5000);
    QCOMPARE(
        ask(&socket, "SHELL_CMD:str-am broadcast -a com.corvel.MusicVolumeReceiver --ei VOLUME 7\n"),
        QStringLiteral(
            "Broadcasting: Intent { act=com.corvel.MusicVolumeReceiver }\nBroadcast completed: result=0\n"));
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

QTEST_GUILESS_MAIN(TestGuest)
#include "tst_guest.moc"
