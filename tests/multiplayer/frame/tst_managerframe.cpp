// The manager program as other processes see it: its command line, its channel (the bytes a peer
// holding the key receives), its log, and its recovery after being killed.

#include "installtree.h"
#include "instancelock.h"
#include "machinename.h"
#include "mpruntime.h"
#include "programrun.h"
#include "sharedsegment.h"
#include "slowsenders.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <unistd.h>

#include <memory>

namespace {
const char *const kKey = "OrvMulPlayerManagerXXYY";
const char *const kProgram = "OrvMultiPlayer";
const char *const kWindowShown = "main window shown";

// The manager's runtime key: its fixed key, marked as a program's so that no machine name meets it.
QString managerKey()
{
    return programRuntimeKey(QLatin1String(kKey));
}
} // namespace

class TestManagerFrame : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void sendsOneMessageToThePeerHoldingTheKey_data();
    void sendsOneMessageToThePeerHoldingTheKey();
    void statusStartWithoutManagerEndsAtOnce();
    void unknownOptionEndsWithTheParsersMessage();
    void missingImageFolderShowsTheMessageOnly();
    void killedManagerIsReplacedAndReceivesStatus();
    void messageInPiecesIsReadUntilTheSenderLeaves();
    void slowSendersDoNotHoldUpOthers();
    void sharedRuntimeFolderIsRefused();
    void filesOfAnotherUserAreRefused_data();
    void machineNamedLikeTheManagersKey();
    void filesOfAnotherUserAreRefused();
    void crashWritesItsLogLineAndDump();

private:
    QString logText() const;
    std::unique_ptr<InstallTree> m_tree;
};

void TestManagerFrame::init()
{
    m_tree = std::make_unique<InstallTree>();
    QVERIFY(m_tree->addProgram(QLatin1String(kProgram)));
    QVERIFY(m_tree->addVirtualBox());
    QVERIFY(m_tree->addGuestImage());
    m_tree->writeInstallKey();
    m_tree->setEnv(QStringLiteral("ORV_TIMEOUT_SCALE"), QStringLiteral("0.01"));
    m_tree->useTempDirHere();
}

void TestManagerFrame::cleanup()
{
    m_tree.reset();
}

QString TestManagerFrame::logText() const
{
    QFile file(m_tree->localAppDataDir() + QStringLiteral("/OrvMultiPlayer/log/log-") +
               QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log"));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll());
}

void TestManagerFrame::sendsOneMessageToThePeerHoldingTheKey_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("status") << QStringList{"-vm=Orvanta_3", "-status=RUNNING"}
                            << QByteArray(R"({"status":"RUNNING","vm":"Orvanta_3"})");
    QTest::newRow("from the menu") << QStringList{"-from=0"} << QByteArray(R"({"status":"","vm":""})");
    QTest::newRow("quotes and blanks") << QStringList{"-vm", "Orvanta_\"1 x", "-status=STOP"}
                                       << QByteArray(R"({"status":"STOP","vm":"Orvanta_\"1 x"})");
}

void TestManagerFrame::sendsOneMessageToThePeerHoldingTheKey()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, message);
    // This test process plays the running manager.
    SharedSegment segment{managerKey()};
    QVERIFY(segment.takeOwnership());
    QVERIFY(segment.create(1));
    QLocalServer server;
    const QString channel = OrvMulti::channelPath(managerKey());
    QLocalServer::removeServer(channel);
    QVERIFY(server.listen(channel));

    ProgramRun run(*m_tree, QLatin1String(kProgram), args);
    QVERIFY(run.start());
    QVERIFY(server.waitForNewConnection(5000));
    QLocalSocket *socket = server.nextPendingConnection();
    QByteArray received;
    while (socket->state() == QLocalSocket::ConnectedState && socket->waitForReadyRead(5000))
        received += socket->readAll();
    received += socket->readAll();
    QCOMPARE(received, message);
    QVERIFY(run.waitForFinished());
    QCOMPARE(run.exitCode(), 0);
    QVERIFY(!server.hasPendingConnections());
    QVERIFY(logText().contains(QLatin1String("isRunning ")));
}

void TestManagerFrame::statusStartWithoutManagerEndsAtOnce()
{
    ProgramRun run(*m_tree, QLatin1String(kProgram), {"-vm=Orvanta_1", "-status=STOP"});
    QCOMPARE(run.run(), 0);
    const QStringList lines = logText().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2);
    QCOMPARE(
        lines.at(0).section(QLatin1Char(']'), 1),
        QStringLiteral(":==============================OrvMultiManager start============================= "
                       " (:0,)"));
    QVERIFY(lines.at(0).startsWith(QLatin1String("Info[")));
    QCOMPARE(lines.at(1).section(QLatin1Char(']'), 1),
             QStringLiteral(":the commandLineParam is vm=Orvanta_1 status=STOP (:0,)"));
    // Nothing holds the key afterwards: the next manager starts as the first one.
    QVERIFY(!SharedSegment(managerKey()).attach());
}

void TestManagerFrame::unknownOptionEndsWithTheParsersMessage()
{
    ProgramRun run(*m_tree, QLatin1String(kProgram), {"-colour=red"});
    QCOMPARE(run.run(), 1);
    QVERIFY2(run.output().contains(QLatin1String("Unknown option 'colour'")), qPrintable(run.output()));
    QVERIFY(!logText().contains(QLatin1String(kWindowShown)));
}

void TestManagerFrame::missingImageFolderShowsTheMessageOnly()
{
    QVERIFY(QDir(m_tree->ovaDir()).removeRecursively());
    ProgramRun run(*m_tree, QLatin1String(kProgram));
    QVERIFY(run.start());
    QTRY_VERIFY_WITH_TIMEOUT(logText().contains(QStringLiteral("message : 请启动模拟器再运行多开器")), 10000);
    QVERIFY(run.isRunning()); // the message waits for the user
    QVERIFY(!logText().contains(QLatin1String(kWindowShown)));
    run.terminate();
}

void TestManagerFrame::killedManagerIsReplacedAndReceivesStatus()
{
    auto first = std::make_unique<ProgramRun>(*m_tree, QLatin1String(kProgram));
    QVERIFY(first->start());
    QTRY_VERIFY_WITH_TIMEOUT(logText().contains(QLatin1String(kWindowShown)), 10000);
    first->killHard();
    QVERIFY(first->waitForFinished());

    // The segment and channel of the killed manager are leftovers, not a running manager.
    ProgramRun status(*m_tree, QLatin1String(kProgram), {"-vm=Orvanta_1", "-status=RUNNING"});
    QCOMPARE(status.run(), 0);
    QVERIFY(!logText().contains(QLatin1String("isRunning")));

    ProgramRun second(*m_tree, QLatin1String(kProgram));
    QVERIFY(second.start());
    QTRY_COMPARE_WITH_TIMEOUT(logText().count(QLatin1String(kWindowShown)), 2, 10000);
    ProgramRun report(*m_tree, QLatin1String(kProgram), {"-vm=Orvanta_1", "-status=RUNNING"});
    QCOMPARE(report.run(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(
        logText().contains(QLatin1String(R"(manager message {"status":"RUNNING","vm":"Orvanta_1"})")), 5000);
    second.terminate();
}

void TestManagerFrame::messageInPiecesIsReadUntilTheSenderLeaves()
{
    ProgramRun manager(*m_tree, QLatin1String(kProgram));
    QVERIFY(manager.start());
    QTRY_VERIFY_WITH_TIMEOUT(logText().contains(QLatin1String(kWindowShown)), 10000);
    QLocalSocket socket;
    socket.connectToServer(OrvMulti::channelPath(managerKey()));
    QVERIFY(socket.waitForConnected(2000));
    socket.write(R"({"vm":"Orvanta_7",)");
    QVERIFY(socket.waitForBytesWritten(2000));
    QTest::qWait(300);
    socket.write(R"("status":"EXITING"})");
    QVERIFY(socket.waitForBytesWritten(2000));
    socket.disconnectFromServer();
    QTRY_VERIFY_WITH_TIMEOUT(
        logText().contains(QLatin1String(R"(manager message {"vm":"Orvanta_7","status":"EXITING"})")), 5000);
    QCOMPARE(logText().count(QLatin1String("manager message ")), 1);
    manager.terminate();
}

void TestManagerFrame::slowSendersDoNotHoldUpOthers()
{
    ProgramRun manager(*m_tree, QLatin1String(kProgram));
    QVERIFY(manager.start());
    QTRY_VERIFY_WITH_TIMEOUT(logText().contains(QLatin1String(kWindowShown)), 10000);
    const QString channel = OrvMulti::channelPath(managerKey());

    // Senders that trickle a byte now and then and never finish their message.
    SlowSenders slow;
    QVERIFY(slow.connect(channel, 5));

    // A status sent during that arrives at once, not after each slow sender's bound in turn.
    QElapsedTimer clock;
    clock.start();
    ProgramRun status(*m_tree, QLatin1String(kProgram), {"-vm=Orvanta_9", "-status=RUNNING"});
    QCOMPARE(status.run(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(logText().contains(QLatin1String(R"("vm":"Orvanta_9")")), 10000);
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));

    // Each slow sender is still dropped after its own bound, and none of them became a message.
    QTRY_VERIFY_WITH_TIMEOUT(slow.allDropped(), 5000);
    QCOMPARE(logText().count(QLatin1String("manager message ")), 1);
    manager.terminate();
}

void TestManagerFrame::sharedRuntimeFolderIsRefused()
{
    // A runtime folder that other users may write into could let them take the manager's channel.
    QVERIFY(QDir().mkpath(m_tree->runtimeDir()));
    QVERIFY(QFile::setPermissions(m_tree->runtimeDir(), QFileDevice::Permissions(0x7777)));
    ProgramRun run(*m_tree, QLatin1String(kProgram));
    QCOMPARE(run.run(), 1);
    QVERIFY(logText().contains(QLatin1String("manager refused to start: ")));
    QVERIFY(!logText().contains(QLatin1String(kWindowShown)));
    QVERIFY(QDir(m_tree->runtimeDir())
                .entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System)
                .isEmpty());
}

void TestManagerFrame::filesOfAnotherUserAreRefused_data()
{
    QTest::addColumn<bool>("foreignLock");
    QTest::addColumn<QString>("segment"); // "", "own" (a leftover of ours) or "foreign"

    QTest::newRow("lock of another user") << true << "";
    QTest::newRow("lock of another user, leftover segment") << true << "own";
    QTest::newRow("segment of another user") << false << "foreign";
}

void TestManagerFrame::filesOfAnotherUserAreRefused()
{
    QFETCH(bool, foreignLock);
    QFETCH(QString, segment);
    if (::geteuid() != 0)
        QSKIP("giving a file to another user needs root");
    const uid_t otherUser = 65534;
    const QString key = managerKey();
    const QString lock = InstanceLock(key).filePath();
    const QString segmentFile = QFile::decodeName(SharedSegment::objectName(key));
    QVERIFY(!lock.isEmpty() && !segmentFile.isEmpty());
    if (foreignLock) {
        QFile file(lock);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QCOMPARE(::chown(QFile::encodeName(lock).constData(), otherUser, otherUser), 0);
    }
    if (!segment.isEmpty()) {
        QFile file(segmentFile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(QByteArray("RUNNING").leftJustified(255, '\0')) == 255);
        file.close();
        if (segment == QLatin1String("foreign"))
            QCOMPARE(::chown(QFile::encodeName(segmentFile).constData(), otherUser, otherUser), 0);
    }

    // Two starts: neither shows a window, each ends saying whose file is in the way.
    for (int i = 0; i < 2; ++i) {
        ProgramRun run(*m_tree, QLatin1String(kProgram));
        QCOMPARE(run.run(), 1);
        QVERIFY2(run.output().contains(QLatin1String("uid 65534")), qPrintable(run.output()));
    }
    QVERIFY(!logText().contains(QLatin1String(kWindowShown)));
    QCOMPARE(logText().count(QLatin1String("manager refused to start: ")), 2);
    QVERIFY2(logText().contains(QLatin1String("belongs to another user (uid 65534")), qPrintable(logText()));
    // The other user's files are where they were.
    struct stat info;
    if (foreignLock) {
        QCOMPARE(::lstat(QFile::encodeName(lock).constData(), &info), 0);
        QCOMPARE(info.st_uid, otherUser);
    }
    if (segment == QLatin1String("foreign")) {
        QCOMPARE(::lstat(QFile::encodeName(segmentFile).constData(), &info), 0);
        QCOMPARE(info.st_uid, otherUser);
        QFile file(segmentFile);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll().startsWith("RUNNING"));
    }
}

void TestManagerFrame::machineNamedLikeTheManagersKey()
{
    // An emulator whose machine bears the manager's fixed key holds its own segment, lock and channel;
    // the manager still starts as the first one and shows its window.
    QVERIFY(m_tree->addProgram(QStringLiteral("Orvanta")));
    ProgramRun emulator(*m_tree, QStringLiteral("Orvanta"), {"-vm=" + QLatin1String(kKey), "-debug"});
    QVERIFY(emulator.start());
    QVERIFY2(emulator.waitForOutput(QStringLiteral(" start=====")), qPrintable(emulator.output()));
    QVERIFY(SharedSegment::hasLiveOwner(QLatin1String(kKey)));

    ProgramRun manager(*m_tree, QLatin1String(kProgram));
    QVERIFY(manager.start());
    QTRY_VERIFY_WITH_TIMEOUT(logText().contains(QLatin1String(kWindowShown)), 10000);
    QVERIFY(manager.isRunning());
    QVERIFY(SharedSegment::hasLiveOwner(managerKey()));
    QVERIFY(emulator.isRunning());
    manager.terminate();
    emulator.terminate();
}

void TestManagerFrame::crashWritesItsLogLineAndDump()
{
    ProgramRun manager(*m_tree, QLatin1String(kProgram));
    QVERIFY(manager.start());
    QTRY_VERIFY_WITH_TIMEOUT(logText().contains(QLatin1String(kWindowShown)), 10000);
    QVERIFY(!logText().contains(QLatin1String("]: crash (")));
    QCOMPARE(::kill(static_cast<pid_t>(manager.pid()), SIGSEGV), 0);
    QVERIFY(manager.waitForFinished());
    QCOMPARE(manager.exitStatus(), QProcess::CrashExit);
    // The dump, and the info line the user finds in the manager's own log.
    const QDir crashFolder(m_tree->installDir() + QStringLiteral("/log/crash"));
    const QStringList dumps = crashFolder.entryList({QStringLiteral("manager-*.dmp")}, QDir::Files);
    QCOMPARE(dumps.size(), 1);
    static const QRegularExpression line(QStringLiteral("^Info\\[\\d\\d:\\d\\d:\\d\\d\\]: crash \\(.*\\)$"),
                                         QRegularExpression::MultilineOption);
    QVERIFY2(line.match(logText()).hasMatch(), qPrintable(logText().right(300)));
}

QTEST_GUILESS_MAIN(TestManagerFrame)
#include "tst_managerframe.moc"
