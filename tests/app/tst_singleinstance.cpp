#include "installtree.h"
#include "programrun.h"
#include "sharedsegment.h"
#include "slowsenders.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRegularExpression>
#include <QtTest>

#include <memory>
#include <vector>

#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

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

// Writes `message` to the local socket `path` from a child process running as another user, which keeps
// only the right to pass the owner's private folder (so that it reaches the socket at all). Returns the
// child's exit code: 0 when it connected and wrote, 2 when it could not become that user.
int sendAsOtherUser(const QString &path, const QByteArray &message, uid_t user)
{
    const QByteArray socketPath = QFile::encodeName(path);
    const pid_t child = fork();
    if (child < 0)
        return -1;
    if (child == 0) {
        // Only async-signal-safe calls from here on.
        prctl(PR_SET_KEEPCAPS, 1, 0, 0, 0);
        if (setresgid(user, user, user) != 0 || setresuid(user, user, user) != 0)
            _exit(2);
        __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
        __user_cap_data_struct data[2] = {};
        if (syscall(SYS_capget, &header, data) != 0)
            _exit(2);
        data[0].effective |= 1u << CAP_DAC_OVERRIDE;
        if (syscall(SYS_capset, &header, data) != 0)
            _exit(2);
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        if (fd < 0 || static_cast<size_t>(socketPath.size()) >= sizeof(address.sun_path))
            _exit(3);
        memcpy(address.sun_path, socketPath.constData(), static_cast<size_t>(socketPath.size()));
        if (connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0)
            _exit(4);
        if (write(fd, message.constData(), static_cast<size_t>(message.size())) != message.size())
            _exit(5);
        close(fd);
        _exit(0);
    }
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

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
    void namesOfRuntimeFiles_data();
    void namesOfRuntimeFiles();
    void segmentOfAnotherUserIsLeftAlone();
    void killedOwnerLeavesNoObstacle();
    void rebootBesideAHeldMachineEndsAsASecondStart();
    void rebootTakesOverAMachineReleasedInTime();
    void undeliveredRequestEndsWithOne_data();
    void undeliveredRequestEndsWithOne();
    void channelPathTooLongIsRefused();
    void foreignRuntimeFolderOrChannelIsRefused_data();
    void foreignRuntimeFolderOrChannelIsRefused();
    void channelServesOnlyItsOwnUser();
    void slowClientsDoNotHoldUpOthers();
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
    // Each holds its own machine's segment. The first one's holds nothing but what its own start-up may
    // have written by now (this tree has no VirtualBox: the start-up announces itself, then fails).
    QVERIFY(SharedSegment::hasLiveOwner("Orvanta_1"));
    QVERIFY(SharedSegment::hasLiveOwner("Orvanta_2"));
    const QString firstWord = SharedSegment::peekText("Orvanta_1");
    QVERIFY2(
        QStringList({QString(), QStringLiteral("STARTING"), QStringLiteral("ERROR")}).contains(firstWord),
        qPrintable(firstWord));
}

void TestSingleInstance::namesOfRuntimeFiles_data()
{
    // A machine whose name is that of another runtime file runs beside Orvanta_0, and each keeps its own
    // channel, lock and segment.
    QTest::addColumn<QString>("name");
    const QString segmentName =
        QFileInfo(QFile::decodeName(SharedSegment::objectName("Orvanta_0"))).fileName();
    QTest::newRow("the port choices folder") << "ports";
    QTest::newRow("the lock file of Orvanta_0")
        << "instance-" +
               QString::fromLatin1(QCryptographicHash::hash("Orvanta_0", QCryptographicHash::Sha1).toHex()) +
               ".lock";
    QTest::newRow("the segment file of Orvanta_0") << segmentName;
}

void TestSingleInstance::namesOfRuntimeFiles()
{
    QFETCH(QString, name);
    // The port choices of running emulators are kept in a folder of this name.
    QVERIFY(QDir().mkpath(m_tree->runtimeDir() + "/ports"));
    QVERIFY(
        QFile::setPermissions(m_tree->runtimeDir(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));

    auto named = startFirst({"-vm=" + name});
    QVERIFY2(named, qPrintable(name));
    auto zero = startFirst({"-vm=Orvanta_0"});
    QVERIFY2(zero, "Orvanta_0 must start beside it");
    QVERIFY(named->isRunning());
    // Each holds its own lock and segment, and a second start reaches each one's own process.
    QVERIFY(SharedSegment::hasLiveOwner(name));
    QVERIFY(SharedSegment::hasLiveOwner("Orvanta_0"));
    SharedSegment zeroSegment("Orvanta_0");
    QVERIFY(zeroSegment.attach());
    SharedSegment namedSegment(name);
    QVERIFY(namedSegment.attach());
    QVERIFY(QFileInfo(m_tree->runtimeDir() + "/ports").isDir());
    for (const QString &vm : {QString("Orvanta_0"), name}) {
        ProgramRun second(*m_tree, "Orvanta", {"-vm=" + vm, "-pkgname=for." + QString::number(vm.size())});
        QCOMPARE(second.run(), 0);
        ProgramRun *owner = vm == name ? named.get() : zero.get();
        QVERIFY2(owner->waitForText("for." + QString::number(vm.size())), qPrintable(owner->output()));
    }
}

void TestSingleInstance::segmentOfAnotherUserIsLeftAlone()
{
    if (geteuid() != 0)
        QSKIP("giving a file to another user needs root; run the suite as root to cover this");
    const uid_t otherUser = 65534;
    const QString path = QFile::decodeName(SharedSegment::objectName("Orvanta_16"));
    QVERIFY(!path.isEmpty());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QVERIFY(file.write(QByteArray("RUNNING").leftJustified(255, '\0')) == 255);
    file.close();
    QVERIFY(::chown(QFile::encodeName(path).constData(), otherUser, otherUser) == 0);

    ProgramRun run(*m_tree, "Orvanta", {"-vm=Orvanta_16"});
    QCOMPARE(run.run(), 1);
    QVERIFY2(run.output().contains("the instance segment " + path + " belongs to another user (uid 65534"),
             qPrintable(run.output()));
    QVERIFY(!run.output().contains("Removing the instance leftovers"));
    // The other user's file is where it was, with its bytes.
    struct stat info;
    QCOMPARE(::lstat(QFile::encodeName(path).constData(), &info), 0);
    QCOMPARE(info.st_uid, otherUser);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().startsWith("RUNNING"));
}

void TestSingleInstance::killedOwnerLeavesNoObstacle()
{
    auto first = startFirst({"-vm=Orvanta_4"});
    QVERIFY(first);
    first->killHard();
    QVERIFY(QFileInfo::exists(m_tree->channelPath("Orvanta_4")));

    auto next = startFirst({"-vm=Orvanta_4"});
    QVERIFY2(next, "a start after a crash must become the first process");
    ProgramRun second(*m_tree, "Orvanta", {"-vm=Orvanta_4", "-pkgname=after.crash"});
    QCOMPARE(second.run(), 0);
    QVERIFY2(next->waitForText("after.crash"),
             qPrintable(next->output() + "\n--- second:\n" + second.output()));
}

void TestSingleInstance::rebootBesideAHeldMachineEndsAsASecondStart()
{
    // Another program (the instance manager during a backup) owns the machine and holds its segment.
    auto held = std::make_unique<SharedSegment>("Orvanta_5");
    QVERIFY(held->takeOwnership());
    QVERIFY(held->create());

    // A restart that cannot get the owner lock within its bound goes no further than a second start:
    // nobody answers on the channel, so it says why and ends with 1.
    ProgramRun reboot(*m_tree, "Orvanta", {"-vm=Orvanta_5", "-reboot", "-debug"});
    QCOMPARE(reboot.run(), 1);
    QVERIFY2(!reboot.output().contains(kBanner), qPrintable(reboot.output()));
    QVERIFY2(reboot.output().contains("does not answer"), qPrintable(reboot.output()));

    // The holder lets go; a normal start becomes the one process of the machine and is reachable.
    held.reset();
    auto first = startFirst({"-vm=Orvanta_5"});
    QVERIFY(first);
    ProgramRun second(*m_tree, "Orvanta", {"-vm=Orvanta_5", "-pkgname=one.owner"});
    QCOMPARE(second.run(), 0);
    QVERIFY(first->waitForOutput("one.owner"));
    QVERIFY(!reboot.isRunning());
    QCOMPARE(m_tree->logText().count(QStringLiteral("Orvanta_5 start=====")), 1);
}

void TestSingleInstance::rebootTakesOverAMachineReleasedInTime()
{
    auto held = std::make_unique<SharedSegment>("Orvanta_14");
    QVERIFY(held->takeOwnership());
    QVERIFY(held->create());
    ProgramRun reboot(*m_tree, "Orvanta", {"-vm=Orvanta_14", "-reboot", "-debug"});
    QVERIFY(reboot.start());
    // Let go while the restart waits for the owner lock (or before it asks: the end is the same).
    held.reset();
    QVERIFY2(reboot.waitForOutput(kBanner), qPrintable(reboot.output()));

    // The restart is the machine's one process: a normal start now hands its request to it.
    ProgramRun normal(*m_tree, "Orvanta", {"-vm=Orvanta_14", "-pkgname=to.the.restart"});
    QCOMPARE(normal.run(), 0);
    QVERIFY(!normal.output().contains(kBanner));
    QVERIFY(reboot.waitForOutput("to.the.restart"));
}

void TestSingleInstance::undeliveredRequestEndsWithOne_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::newRow("second start") << QStringList{"-vm=Orvanta_10", "-pkgname=lost.pkg"};
    QTest::newRow("stop") << QStringList{"-vm=Orvanta_10", "-stop"};
}

void TestSingleInstance::undeliveredRequestEndsWithOne()
{
    QFETCH(QStringList, args);
    // The machine is owned, but nobody listens on its channel.
    SharedSegment held("Orvanta_10");
    QVERIFY(held.takeOwnership());
    QVERIFY(held.create());
    ProgramRun run(*m_tree, "Orvanta", args);
    QCOMPARE(run.run(), 1);
    QVERIFY2(run.output().contains("Orvanta: the emulator of Orvanta_10 does not answer"),
             qPrintable(run.output()));
}

void TestSingleInstance::channelPathTooLongIsRefused()
{
    // A runtime folder so deep that the machine's socket path cannot be bound.
    const QString deep = m_tree->root() + "/" + QString(90, QLatin1Char('r'));
    QVERIFY(QDir().mkpath(deep));
    QVERIFY(QFile::setPermissions(deep, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    m_tree->setEnv("XDG_RUNTIME_DIR", deep);
    for (const QStringList &args : {QStringList{"-vm=Orvanta_11"}, QStringList{"-vm=Orvanta_11", "-stop"}}) {
        ProgramRun run(*m_tree, "Orvanta", args);
        QCOMPARE(run.run(), 1);
        QVERIFY2(run.output().contains("too long for a local socket"), qPrintable(run.output()));
        QVERIFY(!run.output().contains(kBanner));
    }
}

void TestSingleInstance::foreignRuntimeFolderOrChannelIsRefused_data()
{
    QTest::addColumn<QString>("planted");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("machineOwned");
    QTest::addColumn<QString>("message");
    QTest::newRow("folder, first start")
        << "folder" << QStringList{"-vm=Orvanta_12"} << false << "belongs to another user (uid 65534)";
    QTest::newRow("folder, stop") << "folder" << QStringList{"-vm=Orvanta_12", "-stop"} << false
                                  << "belongs to another user (uid 65534)";
    QTest::newRow("socket, first start")
        << "socket" << QStringList{"-vm=Orvanta_12"} << false << "instance channel";
    QTest::newRow("socket, second start")
        << "socket" << QStringList{"-vm=Orvanta_12", "-pkgpath=/home/u/secret.apk"} << true
        << "instance channel";
    QTest::newRow("socket, stop") << "socket" << QStringList{"-vm=Orvanta_12", "-stop"} << true
                                  << "instance channel";
    // A lock file of another user where the machine's owner lock belongs: never taken, and never read as
    // a running emulator that does not answer.
    const QString lockOfOther = "the instance lock %1 belongs to another user (uid 65534)";
    QTest::newRow("lock, first start") << "lock" << QStringList{"-vm=Orvanta_12"} << false << lockOfOther;
    QTest::newRow("lock, second start")
        << "lock" << QStringList{"-vm=Orvanta_12", "-pkgname=a.b"} << false << lockOfOther;
    QTest::newRow("lock, stop") << "lock" << QStringList{"-vm=Orvanta_12", "-stop"} << false << lockOfOther;
    QTest::newRow("lock, reboot") << "lock" << QStringList{"-vm=Orvanta_12", "-reboot"} << false
                                  << lockOfOther;
}

void TestSingleInstance::foreignRuntimeFolderOrChannelIsRefused()
{
    QFETCH(QString, planted);
    QFETCH(QStringList, args);
    QFETCH(bool, machineOwned);
    QFETCH(QString, message);
    if (geteuid() != 0)
        QSKIP("giving a file to another user needs root; run the suite as root to cover this");
    const uid_t otherUser = 65534;

    // What another local user would have put in place: the runtime folder itself, or a socket that
    // listens where the machine's channel belongs.
    QLocalServer intruder;
    QSignalSpy connections(&intruder, &QLocalServer::newConnection);
    if (planted == QLatin1String("folder")) {
        QVERIFY(QDir().mkpath(m_tree->runtimeDir()));
        QVERIFY(::chown(QFile::encodeName(m_tree->runtimeDir()).constData(), otherUser, otherUser) == 0);
    } else if (planted == QLatin1String("lock")) {
        QVERIFY(QDir().mkpath(m_tree->runtimeDir()));
        QVERIFY(QFile::setPermissions(m_tree->runtimeDir(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        const QString lock = m_tree->runtimeDir() + "/instance-" +
                             QCryptographicHash::hash("Orvanta_12", QCryptographicHash::Sha1).toHex() +
                             ".lock";
        QFile file(lock);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(::chown(QFile::encodeName(lock).constData(), otherUser, otherUser) == 0);
        message = message.arg(lock);
    } else {
        QVERIFY(QDir().mkpath(m_tree->runtimeDir()));
        QVERIFY(QFile::setPermissions(m_tree->runtimeDir(),
                                      QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        QVERIFY(intruder.listen(m_tree->channelPath("Orvanta_12")));
        QVERIFY(::chown(QFile::encodeName(m_tree->channelPath("Orvanta_12")).constData(), otherUser,
                        otherUser) == 0);
    }
    std::unique_ptr<SharedSegment> owner;
    if (machineOwned) {
        owner = std::make_unique<SharedSegment>("Orvanta_12");
        QVERIFY(owner->takeOwnership());
        QVERIFY(owner->create());
    }
    const QStringList before = QDir(m_tree->runtimeDir()).entryList(QDir::AllEntries | QDir::System);

    ProgramRun run(*m_tree, "Orvanta", args);
    QCOMPARE(run.run(), 1);
    QVERIFY2(run.output().contains(message), qPrintable(run.output()));
    QVERIFY2(!run.output().contains("does not answer"), qPrintable(run.output()));
    QVERIFY(!run.output().contains(kBanner));
    QCoreApplication::processEvents();
    QCOMPARE(connections.count(), 0);
    QCOMPARE(QDir(m_tree->runtimeDir()).entryList(QDir::AllEntries | QDir::System), before);
}

void TestSingleInstance::channelServesOnlyItsOwnUser()
{
    if (geteuid() != 0)
        QSKIP("acting as another user needs root; run the suite as root to cover this");
    auto first = startFirst({"-vm=Orvanta_15"});
    QVERIFY(first);
    const QString server = m_tree->channelPath("Orvanta_15");
    const QByteArray message = R"({"vmName":"Orvanta_15","pkgpath":"/tmp/planted.apk","pkgname":"planted"})";
    const int sent = sendAsOtherUser(server, message, 65534);
    if (sent == 2)
        QSKIP("cannot act as uid 65534 here");
    QCOMPARE(sent, 0);
    QVERIFY2(first->waitForOutput("connection of another user refused, uid 65534"),
             qPrintable(first->output()));

    // The owner's own requests still arrive, and the planted one never did.
    ProgramRun second(*m_tree, "Orvanta", {"-vm=Orvanta_15", "-pkgname=own.request"});
    QCOMPARE(second.run(), 0);
    QVERIFY(first->waitForOutput("own.request"));
    QVERIFY(!first->output().contains("planted"));
}

void TestSingleInstance::slowClientsDoNotHoldUpOthers()
{
    auto first = startFirst({"-vm=Orvanta_13"});
    QVERIFY(first);
    const QString server = m_tree->channelPath("Orvanta_13");

    // Clients that trickle a byte now and then and never finish their message.
    SlowSenders slow;
    QVERIFY(slow.connect(server, 5));

    // A second start during that is served at once, not after each slow client's bound in turn.
    QElapsedTimer clock;
    clock.start();
    ProgramRun second(*m_tree, "Orvanta", {"-vm=Orvanta_13", "-pkgname=quick.one"});
    QCOMPARE(second.run(), 0);
    QVERIFY(first->waitForOutput("quick.one", 10000));
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));

    // Each slow client is still dropped after its own bound.
    QVERIFY(waitUntil([&] { return slow.allDropped(); }, 5000));
    QVERIFY(first->isRunning());
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
    const QString server = m_tree->channelPath("Orvanta_6");
    QVERIFY(waitUntil([&] { return QFileInfo::exists(server); }, 10000));
    ProgramRun quit(*m_tree, fixture, {"-vm=Orvanta_6", "-pkgname=quit"});
    QCOMPARE(quit.run(), 0);
    QVERIFY(waitUntil([&] { return !QFileInfo::exists(server); }, 10000));
}

void TestSingleInstance::messageInPiecesAndMalformedJson()
{
    auto first = startFirst({"-vm=Orvanta_3"});
    QVERIFY(first);
    const QString server = m_tree->channelPath("Orvanta_3");

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
