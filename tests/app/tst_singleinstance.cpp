#include "installtree.h"
#include "programrun.h"
#include "sharedsegment.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QtTest>

#include <memory>

namespace {

// The instance messages that the first process logged, decoded from the quoted log text.
QList<QJsonObject> receivedMessages(const QString &output)
{
    QList<QJsonObject> messages;
    static const QRegularExpression line(QStringLiteral("msg :\\s+\"(.*)\"\\s*$"),
                                         QRegularExpression::MultilineOption);
    auto it = line.globalMatch(output);
    while (it.hasNext()) {
        QString text = it.next().captured(1);
        text.replace(QLatin1String("\\\""), QLatin1String("\""));
        text.replace(QLatin1String("\\\\"), QLatin1String("\\"));
        messages << QJsonDocument::fromJson(text.toUtf8()).object();
    }
    return messages;
}

QList<QString> rawMessages(const QString &output)
{
    QList<QString> messages;
    static const QRegularExpression line(QStringLiteral("msg :\\s+\"(.*)\"\\s*$"),
                                         QRegularExpression::MultilineOption);
    auto it = line.globalMatch(output);
    while (it.hasNext())
        messages << it.next().captured(1);
    return messages;
}

const char *const kBanner = " start=====";

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void secondStartHandsOverItsRequest_data();
    void secondStartHandsOverItsRequest();
    void stopQuitsTheRunningProcess();
    void stopWithoutRunningProcessStartsNothing();
    void differentMachinesRunSideBySide();
    void killedOwnerLeavesNoObstacle();
    void rebootStartsBesideAHeldSegment();
    void restartRunsSuccessorWithRebootAndStaysReachable();
    void messageInPiecesAndMalformedJson();

private:
    std::unique_ptr<ProgramRun> startFirst(const QStringList &args);
    std::unique_ptr<InstallTree> m_tree;
};

void TestSingleInstance::init()
{
    m_tree = std::make_unique<InstallTree>();
    QVERIFY(m_tree->isValid());
    QVERIFY(m_tree->addProgram("Orvanta"));
    QVERIFY(m_tree->addRecorder("OrvMultiPlayer"));
    // This process opens the same segments and sockets as the programs it starts.
    m_tree->useTempDirHere();
}

void TestSingleInstance::cleanup()
{
    m_tree.reset();
}

std::unique_ptr<ProgramRun> TestSingleInstance::startFirst(const QStringList &args)
{
    auto run = std::make_unique<ProgramRun>(*m_tree, "Orvanta", args + QStringList{"-debug"});
    if (!run->start() || !run->waitForOutput(kBanner))
        return nullptr;
    return run;
}

void TestSingleInstance::secondStartHandsOverItsRequest_data()
{
    QTest::addColumn<QStringList>("secondArgs");
    QTest::addColumn<QJsonObject>("expected");
    QTest::newRow("plain second start")
        << QStringList{} << QJsonObject{{"vmName", "Orvanta_7"}, {"pkgpath", ""}, {"pkgname", ""}};
    QTest::newRow("package to install")
        << QStringList{"-pkgpath=/home/u/Downloads/my game.apk"}
        << QJsonObject{
               {"vmName", "Orvanta_7"}, {"pkgpath", "/home/u/Downloads/my game.apk"}, {"pkgname", ""}};
    QTest::newRow("package to launch")
        << QStringList{"-pkgname", "com.example.app"}
        << QJsonObject{{"vmName", "Orvanta_7"}, {"pkgpath", ""}, {"pkgname", "com.example.app"}};
}

void TestSingleInstance::secondStartHandsOverItsRequest()
{
    QFETCH(QStringList, secondArgs);
    QFETCH(QJsonObject, expected);
    auto first = startFirst({"-vm=Orvanta_7"});
    QVERIFY(first);

    ProgramRun second(*m_tree, "Orvanta", QStringList{"-vm=Orvanta_7"} + secondArgs);
    QCOMPARE(second.run(), 0);
    QVERIFY(!second.output().contains(kBanner));

    QVERIFY(waitUntil([&] { return !receivedMessages(first->output()).isEmpty(); }, 10000));
    const QList<QJsonObject> messages = receivedMessages(first->output());
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages.first(), expected);
    QVERIFY(first->isRunning());
}

void TestSingleInstance::stopQuitsTheRunningProcess()
{
    auto first = startFirst({"-vm=Orvanta_8"});
    QVERIFY(first);
    ProgramRun stop(*m_tree, "Orvanta", {"-vm=Orvanta_8", "-stop"});
    QCOMPARE(stop.run(), 0);
    QVERIFY(first->waitForFinished(10000));
    QCOMPARE(first->exitCode(), 0);
    const QList<QJsonObject> messages = receivedMessages(first->output());
    QCOMPARE(messages.size(), 1);
    QCOMPARE(messages.first(),
             (QJsonObject{{"vmName", "Orvanta_8"}, {"pkgpath", ""}, {"pkgname", ""}, {"isStop", true}}));
}

void TestSingleInstance::stopWithoutRunningProcessStartsNothing()
{
    ProgramRun stop(*m_tree, "Orvanta", {"-vm=Orvanta_9", "-stop"});
    QCOMPARE(stop.run(), 0);
    QVERIFY(!stop.output().contains(kBanner));
    // Nothing is left holding the machine: a normal start becomes the first process.
    auto first = startFirst({"-vm=Orvanta_9"});
    QVERIFY(first);
}

void TestSingleInstance::differentMachinesRunSideBySide()
{
    auto a = startFirst({"-vm=Orvanta_1"});
    QVERIFY(a);
    auto b = startFirst({"-vm=Orvanta_2"});
    QVERIFY(b);
    QVERIFY(a->isRunning());
    QVERIFY(b->isRunning());
    QCOMPARE(SharedSegment::peekText("Orvanta_1"), QString());
}

void TestSingleInstance::killedOwnerLeavesNoObstacle()
{
    auto first = startFirst({"-vm=Orvanta_4"});
    QVERIFY(first);
    first->killHard();
    QVERIFY(QFileInfo::exists(m_tree->tempDir() + "/Orvanta_4"));

    auto next = startFirst({"-vm=Orvanta_4"});
    QVERIFY2(next, "a start after a crash must become the first process");
    ProgramRun second(*m_tree, "Orvanta", {"-vm=Orvanta_4", "-pkgname=after.crash"});
    QCOMPARE(second.run(), 0);
    QVERIFY2(next->waitForText("after.crash"),
             qPrintable(next->output() + "\n--- second:\n" + second.output()));
}

void TestSingleInstance::rebootStartsBesideAHeldSegment()
{
    // Another program (the instance manager during a backup) holds the machine's segment.
    SharedSegment held("Orvanta_5");
    QVERIFY(held.takeOwnership());
    QVERIFY(held.create());

    ProgramRun plain(*m_tree, "Orvanta", {"-vm=Orvanta_5"});
    QCOMPARE(plain.run(), 0);
    QVERIFY(!plain.output().contains(kBanner));

    auto reboot = startFirst({"-vm=Orvanta_5", "-reboot"});
    QVERIFY(reboot);
    QVERIFY(reboot->output().contains("Unable to create single instance."));
}

void TestSingleInstance::restartRunsSuccessorWithRebootAndStaysReachable()
{
    const QString fixture = m_tree->playerDir() + "/restart-fixture";
    QVERIFY(InstallTree::copyFile(RESTART_FIXTURE, fixture));
    ProgramRun first(*m_tree, fixture, {"-vm=Orvanta_6", "-title=Six"});
    QVERIFY(first.start());
    QVERIFY(waitUntil([&] { return m_tree->calls("restart-fixture").size() == 1; }, 10000));

    ProgramRun ask(*m_tree, fixture, {"-vm=Orvanta_6", "-pkgname=restart"});
    QCOMPARE(ask.run(), 0);
    QVERIFY(first.waitForFinished());
    QCOMPARE(first.exitCode(), 0);

    QVERIFY(waitUntil([&] { return m_tree->calls("restart-fixture").size() == 2; }, 10000));
    QCOMPARE(m_tree->calls("restart-fixture").at(1), (QStringList{"-vm=Orvanta_6", "-title=Six", "-reboot"}));

    // The successor owns the channel: a later start reaches it.
    ProgramRun later(*m_tree, fixture, {"-vm=Orvanta_6", "-pkgname=hello"});
    QCOMPARE(later.run(), 0);
    QVERIFY(waitUntil(
        [&] {
            QFile file(m_tree->recordDir() + "/restart-fixture.messages");
            return file.open(QIODevice::ReadOnly) && file.readAll().contains("hello");
        },
        10000));

    // A second restart appends "-reboot" again.
    ProgramRun again(*m_tree, fixture, {"-vm=Orvanta_6", "-pkgname=restart"});
    QCOMPARE(again.run(), 0);
    QVERIFY(waitUntil([&] { return m_tree->calls("restart-fixture").size() == 3; }, 10000));
    QCOMPARE(m_tree->calls("restart-fixture").at(2),
             (QStringList{"-vm=Orvanta_6", "-title=Six", "-reboot", "-reboot"}));

    // End the last successor; its channel goes with it.
    const QString server = m_tree->tempDir() + "/Orvanta_6";
    QVERIFY(waitUntil([&] { return QFileInfo::exists(server); }, 10000));
    ProgramRun quit(*m_tree, fixture, {"-vm=Orvanta_6", "-pkgname=quit"});
    QCOMPARE(quit.run(), 0);
    QVERIFY(waitUntil([&] { return !QFileInfo::exists(server); }, 10000));
}

void TestSingleInstance::messageInPiecesAndMalformedJson()
{
    auto first = startFirst({"-vm=Orvanta_3"});
    QVERIFY(first);
    const QString server = m_tree->tempDir() + "/Orvanta_3";

    QLocalSocket pieces;
    pieces.connectToServer(server);
    QVERIFY(pieces.waitForConnected(2000));
    pieces.write("{\"vmName\":\"Orvanta_3\",");
    QVERIFY(pieces.waitForBytesWritten(1000));
    QTest::qWait(200);
    pieces.write("\"pkgpath\":\"\",\"pkgname\":\"split.pkg\"}");
    QVERIFY(pieces.waitForBytesWritten(1000));
    pieces.disconnectFromServer();
    QVERIFY(waitUntil([&] { return rawMessages(first->output()).size() == 1; }, 10000));
    QCOMPARE(receivedMessages(first->output()).last().value("pkgname").toString(), QString("split.pkg"));

    QLocalSocket broken;
    broken.connectToServer(server);
    QVERIFY(broken.waitForConnected(2000));
    broken.write("not json {");
    QVERIFY(broken.waitForBytesWritten(1000));
    broken.disconnectFromServer();
    QVERIFY(waitUntil([&] { return rawMessages(first->output()).size() == 2; }, 10000));
    QCOMPARE(rawMessages(first->output()).last(), QString("not json {"));

    // A client that connects and says nothing is dropped after the bound; the process goes on.
    QLocalSocket silent;
    silent.connectToServer(server);
    QVERIFY(silent.waitForConnected(2000));
    QVERIFY(waitUntil([&] { return silent.state() == QLocalSocket::UnconnectedState; }, 5000));
    ProgramRun second(*m_tree, "Orvanta", {"-vm=Orvanta_3", "-pkgname=still.served"});
    QCOMPARE(second.run(), 0);
    QVERIFY(first->waitForText("still.served"));
}

QTEST_GUILESS_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
