// The real emulator against a hostile guest and a hostile neighbour on the same machine, each row of the
// table what the guest or the other program does and what the user keeps:
//
// | what happens                                                    | what the user keeps                  |
// |-----------------------------------------------------------------|--------------------------------------|
// | another program holds the input and launcher ports at the start | no byte at it; the forwards move     |
// | packages handed over during the start-up (relative, twice)      | all three installed, each once       |
// | the program's logs, settings, database, screenshots, shares     | readable by this user only           |
// | a guest that holds its shell answers back, pictures arriving    | a typed key reaches the guest at once|
// | reply files: a link to a host file, a pipe, /dev/zero, 100 MB   | no host file read, memory bounded    |
// | screenshot answers nobody asked for                             | no notice, nothing opened            |
// | the quit after all of it                                        | ends within its time-outs            |
//
// Memory is the emulator's peak resident size (VmHWM, reset before the row) against its size before.

#include "calllogs.h"
#include "screenfixture.h"
#include "xtestinput.h"

#include <QClipboard>
#include <QDir>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QtTest>

#include <sys/stat.h>

#include <memory>

namespace {

const char *const kVm = ScreenFixture::kVm;
constexpr qint64 kMemoryBoundKb = 50 * 1024;

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

// A field of /proc/<pid>/status in kB, -1 when unknown.
qint64 statusKb(qint64 pid, const QByteArray &field)
{
    for (const QByteArray &line : readFile(QStringLiteral("/proc/%1/status").arg(pid)).split('\n'))
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong();
    return -1;
}

// Resets the peak resident size of `pid` to its size now.
void resetPeak(qint64 pid)
{
    QFile clear(QStringLiteral("/proc/%1/clear_refs").arg(pid));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// A program that takes a port first and keeps everything it is sent.
class Squatter : public QObject
{
public:
    QTcpServer server;
    QByteArray received;
    int connections = 0;

    bool listen(quint16 port)
    {
        if (!server.listen(QHostAddress::LocalHost, port))
            return false;
        connect(&server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = server.nextPendingConnection()) {
                ++connections;
                connect(socket, &QTcpSocket::readyRead, this,
                        [this, socket] { received += socket->readAll(); });
            }
        });
        return true;
    }
};

} // namespace

class TestHostileGuest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void foreignListenersGetNothing();
    void packagesHandedOverDuringStartUpAllInstall();
    void dataIsThisUsersOnly();
    void keyIsNotHeldBehindShellCommands();
    void hostileReplyFilesReadNothing_data();
    void hostileReplyFilesReadNothing();
    void unaskedScreenshotAnswersShowNothing();
    void quitEndsInTime();

private:
    QString share(const QString &name) const
    {
        return m_fixture->tree().installDir() + QStringLiteral("/share/") + QLatin1String(kVm) +
               QLatin1Char('/') + name;
    }
    QJsonObject launcherState() const
    {
        return QJsonDocument::fromJson(readFile(m_fixture->guest().dir() + QStringLiteral("/launcher.json")))
            .object();
    }
    // The host port of the machine's forwarding rule `name`, 0 while there is none.
    int rulePort(const QString &name) const;
    void setGuestControl(const QByteArray &lines);
    void row(const QString &what, const QString &kept);

    std::unique_ptr<ScreenFixture> m_fixture;
    std::unique_ptr<ProgramRun> m_emulator;
    std::unique_ptr<XTestInput> m_x;
    Squatter m_inputSquatter;
    Squatter m_launcherSquatter;
    int m_firstInputPort = 0;
    int m_firstLauncherPort = 0;
    QString m_files;
    QStringList m_table;
};

int TestHostileGuest::rulePort(const QString &name) const
{
    const QJsonObject machine =
        QJsonDocument::fromJson(readFile(GuestStandIn::machineFile(m_fixture->tree(), QLatin1String(kVm))))
            .object();
    for (const QJsonValue &value : machine.value("natRules").toObject().value("1").toArray())
        if (value.toObject().value("name").toString() == name)
            return value.toObject().value("hostPort").toInt();
    return 0;
}

void TestHostileGuest::setGuestControl(const QByteArray &lines)
{
    const QString path = m_fixture->guest().dir() + QStringLiteral("/control");
    QVERIFY(writeFile(path + QStringLiteral(".tmp"), lines));
    QFile::remove(path);
    QVERIFY(QFile::rename(path + QStringLiteral(".tmp"), path));
}

void TestHostileGuest::row(const QString &what, const QString &kept)
{
    m_table << QStringLiteral("| %1 | %2 |").arg(what, kept);
    qInfo().noquote() << QStringLiteral("row: ") + what + QStringLiteral(" -> ") + kept;
}

void TestHostileGuest::initTestCase()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display: the key is real X input on the real window");
    m_x = std::make_unique<XTestInput>();
    if (!m_x->isValid())
        QSKIP("the X server has no XTest extension");
    m_fixture = std::make_unique<ScreenFixture>();
    QVERIFY(m_fixture->isValid());
    m_fixture->setGuestControls({{QStringLiteral("boot_ms"), QStringLiteral("0")}});
    // The machine takes a while to power on: long enough for another program to take its ports after
    // they were chosen, and for later starts to hand their packages over before Android is shown.
    const QString state = m_fixture->tree().root() + QStringLiteral("/vbox-state");
    QVERIFY(QDir().mkpath(state));
    QVERIFY(writeFile(state + QStringLiteral("/faults.json"),
                      R"([{"match": "startvm * --type headless", "sleep": 8, "pass": true, "times": 1}])"));
    m_files = m_fixture->tree().root() + QStringLiteral("/files");
    for (const char *folder : {"/first", "/second"})
        QVERIFY(QDir().mkpath(m_files + QLatin1String(folder)));
    QVERIFY(writeFile(m_files + QStringLiteral("/first/one.apk"), "package=com.example.one\n"));
    QVERIFY(writeFile(m_files + QStringLiteral("/second/two.apk"), "package=com.example.two\n"));
    QVERIFY(writeFile(m_files + QStringLiteral("/three.apk"), "package=com.example.three\n"));

    // The first start names its package relative to the folder it is run from.
    m_emulator = std::make_unique<ProgramRun>(m_fixture->tree(), QStringLiteral("Orvanta"),
                                              QStringList{QStringLiteral("-vm=") + QLatin1String(kVm),
                                                          QStringLiteral("-debug"),
                                                          QStringLiteral("-pkgpath=one.apk")});
    m_emulator->process().setWorkingDirectory(m_files + QStringLiteral("/first"));
    QVERIFY(m_emulator->start());
    // The ports are chosen and written into the machine; another program takes them before it runs.
    QVERIFY2(waitUntil([this] { return rulePort("vinput") > 0 && rulePort("pavix") > 0; }, 60000),
             qPrintable(m_fixture->tree().logText().right(3000)));
    m_firstInputPort = rulePort("vinput");
    m_firstLauncherPort = rulePort("pavix");
    QVERIFY(m_inputSquatter.listen(quint16(m_firstInputPort)));
    QVERIFY(m_launcherSquatter.listen(quint16(m_firstLauncherPort)));
    // Two later starts hand their packages over while the machine powers on: one relative to its own
    // folder, one absolute, and the relative one again.
    for (const auto &start : {std::make_pair(QStringLiteral("/second"), QStringLiteral("two.apk")),
                              std::make_pair(QString(), m_files + QStringLiteral("/three.apk")),
                              std::make_pair(QStringLiteral("/second"), QStringLiteral("two.apk"))}) {
        ProgramRun later(
            m_fixture->tree(), QStringLiteral("Orvanta"),
            {QStringLiteral("-vm=") + QLatin1String(kVm), QStringLiteral("-pkgpath=") + start.second});
        later.process().setWorkingDirectory(m_files + start.first);
        QCOMPARE(later.run(20000), 0);
    }
    QVERIFY2(!m_emulator->output().contains(QLatin1String(ScreenFixture::kShowAndroid)),
             "Android was shown before the packages were handed over");
    QVERIFY2(m_fixture->attachGuest(*m_emulator), qPrintable(m_fixture->tree().logText().right(3000)));
    QVERIFY(m_emulator->waitForText(QLatin1String(ScreenFixture::kShowAndroid), 60000));
}

void TestHostileGuest::cleanupTestCase()
{
    qInfo().noquote() << QStringLiteral("\n| what happens | what the user keeps |\n|---|---|\n") +
                             m_table.join(QLatin1Char('\n'));
    if (m_emulator && m_emulator->isRunning())
        m_emulator->terminate();
    m_emulator.reset();
    m_fixture.reset();
}

void TestHostileGuest::foreignListenersGetNothing()
{
    // The emulator saw that the listeners are not its machine's and moved both forwards (the launcher's
    // at its first request).
    const auto guardLines = [this] {
        QStringList lines = m_fixture->tree().logText().split(QLatin1Char('\n'));
        return lines.filter(QStringLiteral("PortGuard")).join(QLatin1Char('\n'));
    };
    for (const QString &name : {QStringLiteral("vinput"), QStringLiteral("pavix")}) {
        const QString moved = QStringLiteral("the forwarding of %1 moved to port ").arg(name);
        QVERIFY2(m_emulator->waitForText(moved, 60000), qPrintable(guardLines()));
        const QString log = m_fixture->tree().logText();
        const int port =
            log.mid(log.indexOf(moved) + moved.size()).section(QLatin1Char('\n'), 0, 0).trimmed().toInt();
        QVERIFY2(waitUntil([&] { return rulePort(name) == port; }, 10000), qPrintable(guardLines()));
    }
    QVERIFY(waitUntil(
        [this] { return m_fixture->guest().inputLines().contains(QStringLiteral("CONFIG:720:1280")); },
        30000));
    bool movedByTool = false;
    for (const QStringList &call : readToolCalls(m_fixture->tree().root() + QStringLiteral("/vbox-state")))
        movedByTool = movedByTool || call.mid(0, 3) == QStringList{"controlvm", kVm, "natpf1"};
    QVERIFY(movedByTool);
    QTest::qWait(500);
    QVERIFY2(m_inputSquatter.received.isEmpty(),
             qPrintable(m_inputSquatter.received + '\n' + guardLines() + '\n' +
                        m_fixture->tree().logText().split('\n').filter("vinput").join('\n')));
    QVERIFY2(m_launcherSquatter.received.isEmpty(),
             qPrintable(m_launcherSquatter.received.toHex() + '\n' + guardLines()));
    row(QStringLiteral("another program listens on the input (%1) and launcher (%2) ports")
            .arg(m_firstInputPort)
            .arg(m_firstLauncherPort),
        QStringLiteral("0 bytes at it (%1 and %2 connections taken back); forwards moved to %3 and %4")
            .arg(m_inputSquatter.connections)
            .arg(m_launcherSquatter.connections)
            .arg(rulePort("vinput"))
            .arg(rulePort("pavix")));
}

void TestHostileGuest::packagesHandedOverDuringStartUpAllInstall()
{
    QVERIFY2(waitUntil(
                 [this] {
                     const QJsonArray installed = launcherState().value("installed").toArray();
                     return installed.contains(QStringLiteral("com.example.one")) &&
                            installed.contains(QStringLiteral("com.example.two")) &&
                            installed.contains(QStringLiteral("com.example.three"));
                 },
                 60000),
             qPrintable(QJsonDocument(launcherState()).toJson() + m_fixture->tree().logText().right(3000)));
    // Each package was copied into the game share once.
    QCOMPARE(QDir(share(QStringLiteral("game"))).entryList(QDir::Files).size(), 3);
    row(QStringLiteral("a start with a relative package, two more handed over during the start-up (one "
                       "relative, one twice)"),
        QStringLiteral("all three installed at the guest, each once"));
}

void TestHostileGuest::dataIsThisUsersOnly()
{
    const InstallTree &tree = m_fixture->tree();
    QStringList open;
    int checked = 0;
    for (const QString &root : {tree.installDir() + QStringLiteral("/log"),
                                tree.appDataDir() + QStringLiteral("/Halvora"), share(QString())}) {
        QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            struct stat info;
            if (::lstat(QFile::encodeName(path).constData(), &info) != 0 || S_ISLNK(info.st_mode) ||
                S_ISSOCK(info.st_mode))
                continue;
            ++checked;
            if (info.st_mode & (S_IRWXG | S_IRWXO))
                open << QStringLiteral("%1 %2").arg(info.st_mode & 0777, 0, 8).arg(path);
        }
    }
    QVERIFY(QFileInfo::exists(tree.logDir()));
    QVERIFY(checked > 5);
    QVERIFY2(open.isEmpty(), qPrintable(open.join(QLatin1Char('\n'))));
    row(QStringLiteral("another local user looks at the logs, settings, database, key maps and shares"),
        QStringLiteral("%1 files and folders, all this user's only").arg(checked));
}

void TestHostileGuest::keyIsNotHeldBehindShellCommands()
{
    QList<XTestInput::TopWindow> windows;
    QVERIFY(waitUntil(
        [&] {
            windows = m_x->mappedWindowsOf(m_emulator->pid());
            return !windows.isEmpty();
        },
        10000));
    std::sort(windows.begin(), windows.end(),
              [](const XTestInput::TopWindow &a, const XTestInput::TopWindow &b) {
                  return a.geometry.width() > b.geometry.width();
              });
    QVERIFY(m_emulator->waitForText(QStringLiteral("AndroidWindow    : firstLoad"), 60000));
    // From now on the guest answers each shell command only after 10 s; three pictures arrive.
    setGuestControl("reply_delay_ms=10000\n");
    const int before = m_fixture->guest().inputLines().size();
    for (const char *name : {"a.png", "b.png", "c.png"})
        QVERIFY(writeFile(share(QStringLiteral("image/")) + QLatin1String(name), "picture"));
    QVERIFY(waitUntil(
        [&] { return m_fixture->guest().inputLines().mid(before).filter("SHELL_CMD").size() >= 1; }, 20000));
    m_x->focus(windows.at(0).id);
    QTest::qWait(100);
    QElapsedTimer clock;
    clock.start();
    QVERIFY(m_x->key(QStringLiteral("p"), true));
    QVERIFY(m_x->key(QStringLiteral("p"), false));
    QVERIFY(waitUntil(
        [&] { return m_fixture->guest().inputLines().mid(before).contains(QStringLiteral("KBDPR:25:1")); },
        20000));
    const qint64 keyMs = clock.elapsed();
    // The key went out while the first announcement was still unanswered: nothing else is between.
    QStringList lines = m_fixture->guest().inputLines().mid(before);
    const int key = lines.indexOf(QStringLiteral("KBDPR:25:1"));
    QCOMPARE(lines.mid(0, key).filter(QStringLiteral("SHELL_CMD")).size(), 1);
    // The burst is announced at most twice in all (the one under way and the merged rest).
    QVERIFY(waitUntil(
        [&] {
            return m_fixture->guest()
                       .inputLines()
                       .mid(before)
                       .filter("ShareFileChangeBroadCastReceiver")
                       .size() >= 2;
        },
        60000));
    QTest::qWait(1000);
    lines = m_fixture->guest().inputLines().mid(before);
    const int announcements = lines.filter(QStringLiteral("ShareFileChangeBroadCastReceiver")).size();
    QVERIFY2(announcements <= 2, qPrintable(lines.join(QLatin1Char('\n'))));
    setGuestControl(QByteArray());
    row(QStringLiteral("the guest answers shell commands after 10 s; three pictures arrive; a key is typed"),
        QStringLiteral("the key at the guest after %1 ms, ahead of the queued commands (%2 announcements)")
            .arg(keyMs)
            .arg(announcements));
}

void TestHostileGuest::hostileReplyFilesReadNothing_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("a link to a host file") << "link";
    QTest::newRow("a link to /dev/zero") << "zero";
    QTest::newRow("a pipe") << "fifo";
    QTest::newRow("a 100 MB reply") << "large";
}

void TestHostileGuest::hostileReplyFilesReadNothing()
{
    QFETCH(QString, kind);
    const qint64 pid = m_emulator->pid();
    resetPeak(pid);
    const qint64 before = statusKb(pid, "VmRSS");
    const QString secret = m_files + QStringLiteral("/secret.txt");
    QVERIFY(writeFile(secret, QByteArray::fromHex("0808120b") + "HOST-SECRET"));
    const QString entry = share(QStringLiteral("event/")) + QStringLiteral("r_") + kind;
    if (kind == "link")
        QVERIFY(QFile::link(secret, entry));
    else if (kind == "zero")
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), entry));
    else if (kind == "fifo")
        QVERIFY(::mkfifo(QFile::encodeName(entry).constData(), 0600) == 0);
    else {
        QFile large(m_files + QStringLiteral("/.large"));
        QVERIFY(large.open(QIODevice::WriteOnly));
        QVERIFY(large.write(QByteArray::fromHex("080812")) == 3);
        QVERIFY(large.resize(100 * 1024 * 1024));
        large.close();
        QVERIFY(QFile::rename(large.fileName(), entry));
    }
    QVERIFY(waitUntil([&] { return !QFileInfo(entry).exists() && !QFileInfo(entry).isSymLink(); }, 20000));
    QVERIFY(m_emulator->waitForText(QStringLiteral("reply file r_%1 removed unread").arg(kind), 10000));
    QVERIFY(!m_fixture->tree().logText().contains(QLatin1String("HOST-SECRET")));
    QVERIFY(QGuiApplication::clipboard()->text() != QLatin1String("HOST-SECRET"));
    const qint64 grown = statusKb(pid, "VmHWM") - before;
    QVERIFY2(grown < kMemoryBoundKb, qPrintable(QString::number(grown)));
    row(QStringLiteral("the guest leaves %1 in the event share").arg(QLatin1String(QTest::currentDataTag())),
        QStringLiteral("removed unread, no host file read, peak memory +%1 kB").arg(grown));
}

void TestHostileGuest::unaskedScreenshotAnswersShowNothing()
{
    const qint64 pid = m_emulator->pid();
    resetPeak(pid);
    const qint64 before = statusKb(pid, "VmRSS");
    for (int i = 0; i < 5; ++i) {
        m_fixture->guest().request(QStringLiteral("screencap"));
        QVERIFY(waitUntil(
            [&] { return !QFile::exists(m_fixture->guest().dir() + QStringLiteral("/screencap")); }, 10000));
    }
    QTest::qWait(500);
    QVERIFY(!m_fixture->tree().logText().contains(QLatin1String("screenshot Screenshot_requested.png")));
    const qint64 grown = statusKb(pid, "VmHWM") - before;
    QVERIFY2(grown < kMemoryBoundKb, qPrintable(QString::number(grown)));
    row(QStringLiteral("the guest sends screenshot answers nobody asked for"),
        QStringLiteral("no notice, nothing opened, peak memory +%1 kB").arg(grown));
}

void TestHostileGuest::quitEndsInTime()
{
    // A pipe waits in the event share; the quit does not wait for it.
    QVERIFY(::mkfifo(QFile::encodeName(share(QStringLiteral("event/zz_pipe"))).constData(), 0600) == 0);
    QElapsedTimer clock;
    clock.start();
    ProgramRun stop(m_fixture->tree(), QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=") + QLatin1String(kVm), QStringLiteral("-stop")});
    QCOMPARE(stop.run(20000), 0);
    QVERIFY(m_emulator->waitForFinished(60000));
    QCOMPARE(m_emulator->exitCode(), 0);
    row(QStringLiteral("the user quits with a pipe in the event share"),
        QStringLiteral("the emulator ended after %1 ms").arg(clock.elapsed()));
}

QTEST_MAIN(TestHostileGuest)
#include "tst_hostileguest.moc"
