// The input channel of this process against the simulated guest (sim/guest) on a loopback port: what
// the guest receives (every connection starts with CONFIG, refused shell commands never arrive), the
// shell replies and the screenshot answers kept apart, and the reconnect after a drop or while the
// port is closed, during which this process's event loop keeps running.

#include "androidtouchwidget.h"
#include "global.h"
#include "testports.h"
#include "vinputconnection.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QWheelEvent>

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

const QString kBroadcastPrefix = QStringLiteral(
    "SHELL_CMD:str-am broadcast -a com.corvel.ShareFileChangeBroadCastReceiver  --ei SET_ALL_FILE_KEY 1 --es "
    "ALL_FILE_PATH_KEY ");

// A port of this test's own block (testports.h): no other test on the machine takes it meanwhile.
quint16 freePort()
{
    return TestPorts::freePort();
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
    void shellCommandsNeverHoldInput();
    void unaskedScreenshotAnswersAreIgnored();
    void touchLayerEdgeCases_data();
    void touchLayerEdgeCases();
    void reconnectsAfterADropWithoutBlocking();
    void keepsTryingWhileThePortIsClosed();

private:
    // The lines the guest received, "# ..." notes included, without time stamps.
    QStringList guestLines() const;
    void request(const QString &name, const QByteArray &content = QByteArray()) const;
    void setControl(const QByteArray &lines) const;
    // Sends the shell command and waits for its answer (the event loop runs meanwhile); "<none>" when
    // no answer came within `ms`.
    static QString shellReply(const QString &command, int ms = 40000);
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

void TestVInputChannel::setControl(const QByteArray &lines) const
{
    const QString path = m_dir->path() + QStringLiteral("/guest/control");
    QFile::remove(path);
    if (lines.isEmpty())
        return;
    QFile control(path + QStringLiteral(".tmp"));
    QVERIFY(control.open(QIODevice::WriteOnly));
    control.write(lines);
    control.close();
    QVERIFY(QFile::rename(path + QStringLiteral(".tmp"), path));
}

QString TestVInputChannel::shellReply(const QString &command, int ms)
{
    auto reply = std::make_shared<QString>(QStringLiteral("<none>"));
    VInputConnection::instance().sendShellCmd(command, [reply](const QString &text) { *reply = text; });
    QElapsedTimer timer;
    timer.start();
    while (*reply == QLatin1String("<none>") && timer.elapsed() < ms)
        QTest::qWait(5);
    return *reply;
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
    Q_UNUSED(vinput)
    QCOMPARE(shellReply(QStringLiteral("getprop dev.bootcomplete\nreboot")), QString());
    QCOMPARE(shellReply(QStringLiteral("getprop dev.bootcomplete\rreboot")), QString());
    QCOMPARE(shellReply(QStringLiteral("getprop dev.bootcomplete")), QStringLiteral("1\n"));
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
        QCOMPARE(shellReply(QStringLiteral("getprop dev.bootcomplete")), QStringLiteral("1\n"));
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
    // An answer the guest sends on its own (a test's request), with no screenshot asked for, is no
    // notice: the guest cannot make the window offer a file of its choosing.
    setControl("reply_delay_ms=400\n");
    QTimer::singleShot(100, this, [this] { request(QStringLiteral("screencap")); });
    QVERIFY(shellReply(QStringLiteral("ps | grep com.corvel.pavixtop")).contains("com.corvel.pavixtop"));
    QTRY_VERIFY(QFile::exists(m_dir->path() + QStringLiteral("/pictures/Screenshot_requested.png")));
    QTest::qWait(300);
    QCOMPARE(names.size(), 5);
    setControl(QByteArray());
}

void TestVInputChannel::shellCommandsNeverHoldInput()
{
    // A guest that holds its answers back: three new pictures and a boot poll are queued, and a key
    // typed meanwhile reaches the guest at once, behind the first command only.
    VInputConnection &vinput = VInputConnection::instance();
    setControl("reply_delay_ms=1500\n");
    const int before = guestLines().size();
    QElapsedTimer clock;
    clock.start();
    vinput.onCopySuccessful(QStringLiteral("a.png"));
    vinput.onCopySuccessful(QStringLiteral("b.png"));
    vinput.onCopySuccessful(QStringLiteral("c.png"));
    QString boot = QStringLiteral("<none>");
    vinput.sendShellCmd(QStringLiteral("getprop dev.bootcomplete"), [&boot](const QString &r) { boot = r; });
    vinput.SendMouseOrKeyEvent(VInputKeyPress, 25);
    const qint64 queuedIn = clock.elapsed();
    QTRY_VERIFY_WITH_TIMEOUT(guestLines().mid(before).contains(QStringLiteral("KBDPR:25:1")), 5000);
    const qint64 keyIn = clock.elapsed();
    QCOMPARE(boot, QStringLiteral("<none>"));
    qInfo("queued in %lld ms, key at the guest after %lld ms", queuedIn, keyIn);
    // The burst of announcements is merged into the one under way and one with the latest name.
    QTRY_COMPARE_WITH_TIMEOUT(boot, QStringLiteral("1\n"), 30000);
    const QStringList lines = guestLines().mid(before);
    const QString broadcast = kBroadcastPrefix;
    QCOMPARE(lines, (QStringList{broadcast + QStringLiteral("\"a.png\""), QStringLiteral("KBDPR:25:1"),
                                 broadcast + QStringLiteral("\"c.png\""),
                                 QStringLiteral("SHELL_CMD:str-getprop dev.bootcomplete")}));
    QCOMPARE(vinput.shellCommandsPending(), 0);
    setControl(QByteArray());
}

void TestVInputChannel::unaskedScreenshotAnswersAreIgnored()
{
    // Screenshot answers nobody asked for, each far beyond a file name's length, and a name of
    // 300 bytes to a real request: no notice, and the channel still answers.
    VInputConnection &vinput = VInputConnection::instance();
    QSignalSpy names(&vinput, &VInputConnection::ScreenCapNotify);
    QCOMPARE(VInputConnection::screenCapName("SCREENCAP:/sdcard/" + QByteArray(300, 'n') + ".png"),
             QString());
    QCOMPARE(VInputConnection::screenCapName("SCREENCAP:/sdcard/" + QByteArray(251, 'n') + ".png"),
             QString(251, QLatin1Char('n')) + QStringLiteral(".png"));
    for (int i = 0; i < 20; ++i) {
        request(QStringLiteral("screencap"));
        QTRY_VERIFY(!QFile::exists(m_dir->path() + QStringLiteral("/guest/screencap")));
    }
    // The answers are unframed: a reply read together with the last of them is still the reply.
    QCOMPARE(shellReply(QStringLiteral("getprop dev.bootcomplete")), QStringLiteral("1\n"));
    QCOMPARE(names.size(), 0);
}

void TestVInputChannel::touchLayerEdgeCases_data()
{
    // Events given to the layer in this process (the real X input is tst_touchinput's): a landscape
    // layer of 1280 x 720 turned by 90 at half scale, so (x, y) is the guest point (2 (720 - y), 2 x).
    QTest::addColumn<QString>("event"); // "wheel <x> <y> <delta> <modifiers>", "click <x> <y>", "key ..."
    QTest::addColumn<QStringList>("expected");
    QStringList capped{"MSBPR:794:154", "MULTI:2:0:794:154:886:246"};
    for (int i = 1; i <= 42; ++i)
        capped << QStringLiteral("MULTI:2:2:%1:%2:%3:%4").arg(794 + i).arg(154 + i).arg(886 - i).arg(246 - i);
    capped << "MULTI:1:2:844:204"
           << "MULTI:0:2"
           << "MULTI:0:2"
           << "MULTI:0:2"
           << "MSBRL:844:204";
    QTest::newRow("ctrl, delta -1200: 42 steps, 4 apart") << "wheel 100 300 -1200 ctrl" << capped;
    QTest::newRow("ctrl, delta below a notch: down and up")
        << "wheel 100 300 60 ctrl" << QStringList{"MSBPR:800:160",     "MULTI:2:0:800:160:880:240",
                                                  "MULTI:1:2:880:240", "MULTI:0:2",
                                                  "MULTI:0:2",         "MULTI:0:2",
                                                  "MSBRL:880:240"};
    QTest::newRow("shift: a plain wheel") << "wheel 100 300 120 shift" << QStringList{"WHEEL:840:200:1:120"};
    QTest::newRow("ctrl and shift: a plain wheel")
        << "wheel 100 300 -240 ctrlshift" << QStringList{"WHEEL:840:200:-1:240"};
    QTest::newRow("click turned and scaled")
        << "click 100 200"
        << QStringList{"MSBPR:1040:200", "MULTI:0:2", "MULTI:0:2", "MULTI:0:2", "MSBRL:1040:200"};
    QTest::newRow("auto-repeat sends nothing") << "key A press, A press repeat, A press repeat, A release"
                                               << QStringList{"KBDPR:30:1", "KBDRL:30:0"};
}

void TestVInputChannel::touchLayerEdgeCases()
{
    QFETCH(QString, event);
    QFETCH(QStringList, expected);
    AndroidTouchWidget layer;
    layer.resize(1280, 720);
    layer.setRotation(90);
    layer.setScale(0.5);
    const int before = guestLines().size();
    const QStringList f = event.split(QLatin1Char(' '));
    if (f.at(0) == QLatin1String("wheel")) {
        Qt::KeyboardModifiers modifiers;
        if (f.at(4).contains(QLatin1String("ctrl")))
            modifiers |= Qt::ControlModifier;
        if (f.at(4).contains(QLatin1String("shift")))
            modifiers |= Qt::ShiftModifier;
        const QPointF at(f.at(1).toInt(), f.at(2).toInt());
        QWheelEvent wheel(at, QPointF(layer.mapToGlobal(at.toPoint())), QPoint(), QPoint(0, f.at(3).toInt()),
                          Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(&layer, &wheel);
    } else if (f.at(0) == QLatin1String("click")) {
        QTest::mouseClick(&layer, Qt::LeftButton, Qt::NoModifier, QPoint(f.at(1).toInt(), f.at(2).toInt()));
    } else {
        // Keys reach the layer through its hidden line edit; the scan code is the Linux code here.
        for (const QString &step : event.mid(4).split(QStringLiteral(", "))) {
            const bool press = step.contains(QLatin1String("press"));
            QKeyEvent key(press ? QEvent::KeyPress : QEvent::KeyRelease, Qt::Key_A, Qt::NoModifier, 30, 0, 0,
                          QStringLiteral("a"), step.contains(QLatin1String("repeat")));
            QCoreApplication::sendEvent(layer.inputEdit(), &key);
        }
    }
    QTRY_COMPARE_WITH_TIMEOUT(guestLines().mid(before), expected, 5000);
    QTest::qWait(100);
    QCOMPARE(guestLines().mid(before), expected);
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
    // The port stays closed for 5 s from when the guest reads the request: the attempts at 2 s and 4 s
    // are refused, a later one lands (not before the 5 s, less the 5 % a coarse timer may fire early,
    // however late the machine runs).
    QElapsedTimer timer;
    timer.start();
    request(QStringLiteral("refuse"), "5000");
    request(QStringLiteral("drop"));
    QTRY_VERIFY_WITH_TIMEOUT(!vinput.isConnected(), 3000);
    // Lines asked for meanwhile are dropped, and a shell command answers empty at once.
    vinput.sendShake();
    QCOMPARE(shellReply(QStringLiteral("getprop dev.bootcomplete"), 5000), QString());
    QTRY_VERIFY_WITH_TIMEOUT(configs.size() == 1, 20000);
    QVERIFY2(timer.elapsed() >= 4750, qPrintable(QString::number(timer.elapsed())));
    QTRY_COMPARE(connections(), before + 1);
    const QStringList lines = guestLines();
    QCOMPARE(lines.value(lines.lastIndexOf(QRegularExpression("^# connected.*")) + 1),
             QStringLiteral("CONFIG:720:1280"));
    QCOMPARE(lines.filter(QStringLiteral("SHAKE")).size(), 1);
}

QTEST_MAIN(TestVInputChannel)
#include "tst_vinputchannel.moc"
