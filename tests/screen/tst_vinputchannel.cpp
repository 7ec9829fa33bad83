// The input channel of this process against the simulated guest (sim/guest) on a loopback port: what
// the guest receives (every connection starts with CONFIG, refused shell commands never arrive), the
// shell replies and the screenshot answers kept apart, and the reconnect after a drop or while the
// port is closed, during which this process's event loop keeps running.

#include "global.h"
#include "vinputconnection.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <memory>

namespace {

quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost);
    return probe.serverPort();
}

} // namespace

class TestVInputChannel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void linesArriveAfterConfig();
    void shellCommandWithLineEndIsNeverWritten();
    void screenshotAnswerAndShellReplyStayApart();
    void reconnectsAfterADropWithoutBlocking();
    void keepsTryingWhileThePortIsClosed();

private:
    // The lines the guest received, "# ..." notes included, without time stamps.
    QStringList guestLines() const;
    void request(const QString &name, const QByteArray &content = QByteArray()) const;
    int connections() const { return guestLines().filter(QRegularExpression("^# connected")).size(); }

    std::unique_ptr<QTemporaryDir> m_dir;
    QProcess m_guest;
    quint16 m_port = 0;
};

void TestVInputChannel::initTestCase()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_port = freePort();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ORV_SIM_SCREEN_DIR"), m_dir->path() + QStringLiteral("/screens"));
    env.insert(QStringLiteral("ORV_GUEST_BOOT_MS"), QStringLiteral("0"));
    m_guest.setProcessEnvironment(env);
    QDir().mkpath(m_dir->path() + QStringLiteral("/pictures"));
    m_guest.start(QStringLiteral(ORV_SIM_BIN_DIR "/orv-guest"),
                  {QStringLiteral("--vinput-port"), QString::number(m_port), QStringLiteral("--dir"),
                   m_dir->path() + QStringLiteral("/guest"), QStringLiteral("--picture-share"),
                   m_dir->path() + QStringLiteral("/pictures"), QStringLiteral("--die-with-parent")});
    QVERIFY(m_guest.waitForStarted(5000));
    QTRY_VERIFY(QFile::exists(m_dir->path() + QStringLiteral("/guest/guest.pid")));
    Global::vinputPort = QString::number(m_port);
    VInputConnection::instance().init();
    QTRY_VERIFY_WITH_TIMEOUT(VInputConnection::instance().isConnected(), 5000);
}

void TestVInputChannel::cleanupTestCase()
{
    m_guest.terminate();
    if (!m_guest.waitForFinished(5000))
        m_guest.kill();
}

QStringList TestVInputChannel::guestLines() const
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

void TestVInputChannel::request(const QString &name, const QByteArray &content) const
{
    QFile file(m_dir->path() + QStringLiteral("/guest/") + name);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
}

void TestVInputChannel::linesArriveAfterConfig()
{
    VInputConnection &vinput = VInputConnection::instance();
    vinput.SendMouseOrKeyEvent(VInputTouchDown, 10, 20);
    vinput.SendMouseOrKeyEvent(VInputNone, 1, 2);
    vinput.sendMulti(2, {});
    vinput.sendMulti(3, {QPoint(1, 1)});
    vinput.sendInputText(QStringLiteral("abc"));
    vinput.sendShake();
    vinput.SendMouseOrKeyEvent(VInputTouchUp, 10, 20);
    const QStringList expected{QStringLiteral("# connected from %1").arg(QCoreApplication::applicationPid()),
                               "CONFIG:720:1280",
                               "MSBPR:10:20",
                               "MULTI:0:2",
                               "INPUTTEXT:str-PEc+YWJjPFA+",
                               "SHAKE",
                               "MSBRL:10:20"};
    QTRY_COMPARE_WITH_TIMEOUT(guestLines(), expected, 5000);
    // The guest keeps the typed text beside the raw line.
    QFile text(m_dir->path() + QStringLiteral("/guest/text.log"));
    QVERIFY(text.open(QIODevice::ReadOnly));
    QVERIFY(text.readAll().endsWith(" abc\n"));
}

void TestVInputChannel::shellCommandWithLineEndIsNeverWritten()
{
    VInputConnection &vinput = VInputConnection::instance();
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(vinput.sendShellCmd(QStringLiteral("getprop dev.bootcomplete\nreboot")), QString());
    QCOMPARE(vinput.sendShellCmd(QStringLiteral("getprop dev.bootcomplete\rreboot")), QString());
    QVERIFY(timer.elapsed() < 1000);
    QCOMPARE(vinput.sendShellCmd(QStringLiteral("getprop dev.bootcomplete")), QStringLiteral("1\n"));
    const QStringList shell = guestLines().filter(QRegularExpression("^SHELL_CMD"));
    QCOMPARE(shell, QStringList{"SHELL_CMD:str-getprop dev.bootcomplete"});
    QVERIFY(guestLines().filter(QStringLiteral("reboot")).isEmpty());
}

void TestVInputChannel::screenshotAnswerAndShellReplyStayApart()
{
    VInputConnection &vinput = VInputConnection::instance();
    QSignalSpy names(&vinput, &VInputConnection::ScreenCapNotify);
    // The two requests go out back to back: the answer to the screenshot and the shell reply must not
    // be taken for each other.
    for (int round = 0; round < 5; ++round) {
        vinput.requestScreenCap();
        QCOMPARE(vinput.sendShellCmd(QStringLiteral("getprop dev.bootcomplete")), QStringLiteral("1\n"));
    }
    QTRY_COMPARE(names.size(), 5);
    for (const QList<QVariant> &name : names) {
        QVERIFY2(QRegularExpression(QStringLiteral("^Screenshot_\\d{8}-\\d{6}_\\d+\\.png$"))
                     .match(name.at(0).toString())
                     .hasMatch(),
                 qPrintable(name.at(0).toString()));
        // The guest wrote the picture into its picture share before it answered.
        QVERIFY(QFile::exists(m_dir->path() + QStringLiteral("/pictures/") + name.at(0).toString()));
    }
    // An answer the guest sends on its own (a test's request) while a shell command is awaited goes to
    // the screenshot handler after the reply.
    QFile::remove(m_dir->path() + QStringLiteral("/guest/control"));
    {
        QFile control(m_dir->path() + QStringLiteral("/guest/control"));
        QVERIFY(control.open(QIODevice::WriteOnly));
        control.write("reply_delay_ms=400\n");
    }
    QTimer::singleShot(100, this, [this] { request(QStringLiteral("screencap")); });
    QCOMPARE(
        vinput.sendShellCmd(QStringLiteral("ps | grep com.corvel.pavixtop")).contains("com.corvel.pavixtop"),
        true);
    QTRY_COMPARE(names.size(), 6);
    QCOMPARE(names.last().at(0).toString(), QStringLiteral("Screenshot_requested.png"));
    QFile::remove(m_dir->path() + QStringLiteral("/guest/control"));
}

void TestVInputChannel::reconnectsAfterADropWithoutBlocking()
{
    VInputConnection &vinput = VInputConnection::instance();
    QSignalSpy configs(&vinput, &VInputConnection::configSent);
    const int before = connections();
    // The event loop's ticks every 20 ms go on while the channel waits to reconnect.
    int ticks = 0;
    qint64 longestGap = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    connect(&ticker, &QTimer::timeout, this, [&] {
        if (sinceTick.isValid())
            longestGap = qMax(longestGap, sinceTick.elapsed());
        sinceTick.start();
        ++ticks;
    });
    ticker.start(20);
    QElapsedTimer timer;
    timer.start();
    request(QStringLiteral("drop"));
    QTRY_VERIFY_WITH_TIMEOUT(!vinput.isConnected(), 3000);
    const qint64 droppedAt = timer.elapsed();
    QTRY_VERIFY_WITH_TIMEOUT(configs.size() == 1, 5000);
    const qint64 back = timer.elapsed() - droppedAt;
    ticker.stop();
    QVERIFY2(back >= 1800 && back <= 3000, qPrintable(QString::number(back)));
    QVERIFY2(longestGap < 500, qPrintable(QString::number(longestGap)));
    QVERIFY(ticks > 50);
    QTRY_COMPARE(connections(), before + 1);
    // The new connection starts with CONFIG.
    const QStringList lines = guestLines();
    const int at = lines.lastIndexOf(QRegularExpression("^# connected.*"));
    QCOMPARE(lines.value(at + 1), QStringLiteral("CONFIG:720:1280"));
}

void TestVInputChannel::keepsTryingWhileThePortIsClosed()
{
    VInputConnection &vinput = VInputConnection::instance();
    QSignalSpy configs(&vinput, &VInputConnection::configSent);
    const int before = connections();
    // The port stays closed for 5 s: the attempts at 2 s and 4 s are refused, the next one lands.
    request(QStringLiteral("refuse"), "5000");
    request(QStringLiteral("drop"));
    QTRY_VERIFY_WITH_TIMEOUT(!vinput.isConnected(), 3000);
    // Lines asked for meanwhile are dropped, and a shell command answers empty at once.
    vinput.sendShake();
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(vinput.sendShellCmd(QStringLiteral("getprop dev.bootcomplete")), QString());
    QVERIFY(timer.elapsed() < 100);
    QTRY_VERIFY_WITH_TIMEOUT(configs.size() == 1, 10000);
    QVERIFY2(timer.elapsed() >= 4500, qPrintable(QString::number(timer.elapsed())));
    QTRY_COMPARE(connections(), before + 1);
    const QStringList lines = guestLines();
    QCOMPARE(lines.value(lines.lastIndexOf(QRegularExpression("^# connected.*")) + 1),
             QStringLiteral("CONFIG:720:1280"));
    QCOMPARE(lines.filter(QStringLiteral("SHAKE")).size(), 1);
}

QTEST_MAIN(TestVInputChannel)
#include "tst_vinputchannel.moc"
