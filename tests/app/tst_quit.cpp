// The emulator's quit and restart, run as the real program in a temporary install tree against the
// simulated tool, guest, render library, report server and a recording instance manager: the order in
// which those peers see the quit's effects, quits at every stage of a run and by every end signal,
// repeated stop requests, a stop followed at once by a start, and the restart request.

#include "calllogs.h"
#include "installtree.h"
#include "peerjournal.h"
#include "programrun.h"
#include "screenfixture.h"
#include "sharedsegment.h"
#include "webstandin.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <memory>
#include <thread>

namespace {

const QString kVm = QLatin1String(ScreenFixture::kVm);
const char *const kCheckWord = "fromOrvantaToCheckWhenStarting";
const char *const kQuitStart = "Control    : quit start";

qint64 nowMicros()
{
    return QDateTime::currentMSecsSinceEpoch() * 1000;
}

// One line of the peers' journal.
struct PeerEvent
{
    qint64 micros = -1;
    QString peer;
    QString what;
};

// Reads the segment of a machine as the instance manager does, as often as it can, and writes each
// change into the peers' journal: "segment <word> <microseconds of the last read before the change>",
// "segment gone ..." once it has disappeared.
class SegmentWatcher
{
public:
    explicit SegmentWatcher(const QString &vm)
        : m_thread([this, vm] {
              QString last = SharedSegment::peekText(vm);
              qint64 previousRead = nowMicros();
              while (!m_stop) {
                  const QString word = SharedSegment::peekText(vm);
                  if (word != last) {
                      const QString shown = word.isEmpty() ? QStringLiteral("gone") : word;
                      PeerJournal::append(
                          "segment",
                          (shown + QLatin1Char(' ') + QString::number(previousRead)).toStdString());
                      last = word;
                  }
                  previousRead = nowMicros();
                  std::this_thread::sleep_for(std::chrono::microseconds(200));
              }
          })
    {
    }
    ~SegmentWatcher() { stop(); }
    void stop()
    {
        m_stop = true;
        if (m_thread.joinable())
            m_thread.join();
    }

private:
    std::atomic_bool m_stop{false};
    std::thread m_thread;
};

} // namespace

class TestQuit : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void quitOrderAsPeersSeeIt();
    void quitAtEveryStage_data();
    void quitAtEveryStage();
    void hungReportServerKeepsTheRowsForTheNextStart();
    void tenStopsDuringAQuit();
    void restartRequestStartsTheSuccessor();
    void stopThenStartNeverLosesTheStart();

private:
    QString journalPath() const { return m_fixture->tree().root() + QStringLiteral("/peer-journal.txt"); }
    QList<PeerEvent> journal() const;
    QString vmState() const;
    QList<int> uploadedEvents(const WebStandIn &web) const;
    int storedRows() const;
    std::unique_ptr<ProgramRun> stopRequest() const;
    int logCount(const QString &text) const { return m_fixture->tree().logText().count(text); }

    std::unique_ptr<ScreenFixture> m_fixture;
    std::unique_ptr<WebStandIn> m_web;
};

void TestQuit::init()
{
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display for the start-up's environment checks and the Android window");
    m_fixture = std::make_unique<ScreenFixture>();
    QVERIFY(m_fixture->isValid());
    InstallTree &tree = m_fixture->tree();
    tree.declareHost(InstallTree::HostWithVirtualisation);
    // This process reads the instance segment and talks on the instance channel as peers do.
    tree.useTempDirHere();
    tree.setEnv(QStringLiteral("ORV_PEER_JOURNAL"), journalPath());
    // The report server and this process's segment reader write into the same journal.
    qputenv("ORV_PEER_JOURNAL", QFile::encodeName(journalPath()));
    m_fixture->setGuestControls({{QStringLiteral("boot_ms"), QStringLiteral("0")}});
    m_web = std::make_unique<WebStandIn>(tree.root() + QStringLiteral("/web"));
    QVERIFY(m_web->start());
    m_web->configure(tree);
}

void TestQuit::cleanup()
{
    m_web.reset();
    m_fixture.reset();
    qunsetenv("ORV_PEER_JOURNAL");
}

QList<PeerEvent> TestQuit::journal() const
{
    QList<PeerEvent> events;
    QFile file(journalPath());
    if (!file.open(QIODevice::ReadOnly))
        return events;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QString text = QString::fromUtf8(line);
        const int first = text.indexOf(QLatin1Char(' '));
        const int second = text.indexOf(QLatin1Char(' '), first + 1);
        if (first < 0 || second < 0)
            continue;
        events.append(
            {text.left(first).toLongLong(), text.mid(first + 1, second - first - 1), text.mid(second + 1)});
    }
    return events;
}

QString TestQuit::vmState() const
{
    QProcess tool;
    tool.setProcessEnvironment(m_fixture->tree().environment());
    tool.start(m_fixture->tree().vboxDir() + QStringLiteral("/VBoxManage"),
               {QStringLiteral("showvminfo"), kVm, QStringLiteral("--machinereadable")});
    if (!tool.waitForFinished(10000))
        return QStringLiteral("(no answer)");
    static const QRegularExpression state(QStringLiteral("^VMState=\"([^\"]*)\""),
                                          QRegularExpression::MultilineOption);
    return state.match(QString::fromUtf8(tool.readAllStandardOutput())).captured(1);
}

QList<int> TestQuit::uploadedEvents(const WebStandIn &web) const
{
    QList<int> keys;
    for (const QJsonObject &request : web.requests(QStringLiteral("report"))) {
        for (const QJsonValue &event : request.value("report").toObject().value("commonExEvents").toArray())
            keys << event.toObject().value("eventKey").toInt();
    }
    return keys;
}

int TestQuit::storedRows() const
{
    const QString file =
        m_fixture->tree().appDataDir() + QStringLiteral("/Halvora/") + kVm + QStringLiteral("_DB.db");
    int rows = -1;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("rows"));
        db.setDatabaseName(file);
        if (db.open()) {
            QSqlQuery query(db);
            if (query.exec(QStringLiteral("SELECT COUNT(*) FROM DataReport")) && query.next())
                rows = query.value(0).toInt();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("rows"));
    return rows;
}

std::unique_ptr<ProgramRun> TestQuit::stopRequest() const
{
    return std::make_unique<ProgramRun>(m_fixture->tree(), QStringLiteral("Orvanta"),
                                        QStringList{QStringLiteral("-vm=") + kVm, QStringLiteral("-stop")});
}

void TestQuit::quitOrderAsPeersSeeIt()
{
    auto emulator = m_fixture->startEmulator();
    QVERIFY(emulator);
    QVERIFY(m_fixture->attachGuest(*emulator));
    QVERIFY(emulator->waitForText(QLatin1String(ScreenFixture::kShowAndroid), 60000));

    SegmentWatcher watcher(kVm);
    QCOMPARE(stopRequest()->run(), 0);
    QVERIFY(emulator->waitForFinished(30000));
    PeerJournal::append("test", "process ended");
    QCOMPARE(emulator->exitStatus(), QProcess::NormalExit);
    QCOMPARE(emulator->exitCode(), 0);
    // The watcher may read the segment's end a moment after the process's end was noticed.
    waitUntil(
        [&] {
            for (const PeerEvent &event : journal()) {
                if (event.peer == QLatin1String("segment") && event.what.startsWith(QLatin1String("gone")))
                    return true;
            }
            return false;
        },
        2000);
    watcher.stop();

    // The peers' view of the quit: from the segment's EXITING on.
    const QList<PeerEvent> all = journal();
    int from = -1;
    for (int i = 0; i < all.size(); ++i) {
        if (all.at(i).peer == QLatin1String("segment") && all.at(i).what.startsWith(QLatin1String("EXITING")))
            from = i;
    }
    if (from < 0) {
        for (const PeerEvent &event : all)
            qWarning().noquote() << event.micros << event.peer << event.what;
    }
    QVERIFY2(from >= 0, "the segment never showed EXITING");
    const QList<PeerEvent> quit = all.mid(from);
    QStringList lines;
    for (const PeerEvent &event : quit)
        lines << QStringLiteral("%1 %2 %3").arg(event.micros).arg(event.peer, event.what);
    const auto find = [&](const QString &peer, const QString &prefix) {
        for (const PeerEvent &event : quit) {
            // The render stand-ins put their tag ("gl ") before the call.
            if (event.peer == peer &&
                (event.what.startsWith(prefix) || event.what.endsWith(QLatin1Char(' ') + prefix)))
                return event;
        }
        return PeerEvent{};
    };
    // A segment change was read at `micros` and happened after the read before it (its lower bound).
    const auto changedAfter = [](const PeerEvent &event) { return event.what.section(' ', 1).toLongLong(); };

    const PeerEvent exiting = quit.first();
    const PeerEvent powerOff =
        find(QStringLiteral("vbox"), QStringLiteral("controlvm ") + kVm + " poweroff = 0");
    const PeerEvent renderStop =
        find(QStringLiteral("render"), QStringLiteral("AndroVM_stopOpenGLRenderer()"));
    const PeerEvent stop = find(QStringLiteral("segment"), QStringLiteral("STOP"));
    const PeerEvent upload = find(QStringLiteral("web"), QStringLiteral("report POST"));
    const PeerEvent gone = find(QStringLiteral("segment"), QStringLiteral("gone"));
    const PeerEvent ended = find(QStringLiteral("test"), QStringLiteral("process ended"));
    for (const PeerEvent &event : {powerOff, renderStop, stop, upload, gone, ended})
        QVERIFY2(event.micros > 0, qPrintable(lines.join('\n')));

    // EXITING, the machine powered off, the renderer stopped, STOP, the upload carrying the run time,
    // the segment gone, the process ended.
    QVERIFY2(changedAfter(exiting) < powerOff.micros, qPrintable(lines.join('\n')));
    QVERIFY2(powerOff.micros < renderStop.micros, qPrintable(lines.join('\n')));
    QVERIFY2(renderStop.micros < stop.micros, qPrintable(lines.join('\n')));
    QVERIFY2(changedAfter(stop) < upload.micros, qPrintable(lines.join('\n')));
    QVERIFY2(upload.micros < gone.micros, qPrintable(lines.join('\n')));
    QVERIFY2(changedAfter(gone) < ended.micros, qPrintable(lines.join('\n')));
    // After the power-off the tool is only asked to confirm it and to clear the emu_id.
    for (const PeerEvent &event : quit) {
        if (event.peer == QLatin1String("vbox") && event.micros > powerOff.micros)
            QVERIFY2(event.what.startsWith(QStringLiteral("showvminfo ") + kVm) ||
                         event.what.startsWith(QStringLiteral("guestproperty set ") + kVm + " emu_id"),
                     qPrintable(event.what));
    }

    // The manager heard the same words; the run-time row went out with the quit's upload and the server
    // took it, so no row is left behind.
    QTRY_COMPARE_WITH_TIMEOUT(m_fixture->statusWords(),
                              (QStringList{"STARTING", "RUNNING", "EXITING", "STOP"}), 5000);
    QVERIFY(uploadedEvents(*m_web).contains(1004));
    QCOMPARE(storedRows(), 0);
    QCOMPARE(vmState(), QStringLiteral("poweroff"));
    QCOMPARE(logCount(QLatin1String(kQuitStart)), 1);
}

void TestQuit::quitAtEveryStage_data()
{
    QTest::addColumn<QString>("stage");
    QTest::addColumn<QString>("how"); // "-stop" or the signal's name

    QTest::newRow("start-up, -stop") << "start-up"
                                     << "-stop";
    QTest::newRow("start-up, SIGINT") << "start-up"
                                      << "SIGINT";
    QTest::newRow("machine start, SIGTERM") << "machine start"
                                            << "SIGTERM";
    QTest::newRow("machine start, -stop") << "machine start"
                                          << "-stop";
    QTest::newRow("boot, SIGINT") << "boot"
                                  << "SIGINT";
    QTest::newRow("boot, -stop") << "boot"
                                 << "-stop";
    QTest::newRow("dialog, -stop") << "dialog"
                                   << "-stop";
    QTest::newRow("dialog, SIGHUP") << "dialog"
                                    << "SIGHUP";
    QTest::newRow("running, SIGTERM") << "running"
                                      << "SIGTERM";
    QTest::newRow("running, SIGHUP") << "running"
                                     << "SIGHUP";
    // One reading that says the machine is unknown while it runs: the lists show it, so it is stopped.
    QTest::newRow("running, -stop, one reading says not found") << "running"
                                                                << "-stop, not found";
}

void TestQuit::quitAtEveryStage()
{
    QFETCH(QString, stage);
    QFETCH(QString, how);
    InstallTree &tree = m_fixture->tree();
    const auto writeFaults = [&](const QByteArray &json) {
        QDir().mkpath(tree.root() + QStringLiteral("/vbox-state"));
        QFile file(tree.root() + QStringLiteral("/vbox-state/faults.json"));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(json);
    };
    if (stage == QLatin1String("start-up"))
        writeFaults(R"([{"match": "list vms", "sleep": 1.5, "pass": true, "times": 1}])");
    else if (stage == QLatin1String("machine start"))
        writeFaults(R"([{"match": "startvm * --type headless", "sleep": 1.5, "pass": true}])");
    else if (stage == QLatin1String("boot"))
        m_fixture->setGuestControls({{QStringLiteral("boot_ms"), QStringLiteral("600000")}});
    else if (stage == QLatin1String("dialog")) {
        // The updater says that an update is there: the prompt holds the start-up until answered.
        tree.setEnv(QStringLiteral("ORV_UPDATER_EXIT_") + kCheckWord, QStringLiteral("2"));
        tree.setEnv(QStringLiteral("ORV_TIMEOUT_SCALE"), QStringLiteral("0.25"));
    }

    auto emulator = m_fixture->startEmulator();
    QVERIFY(emulator);
    const QString stateDir = tree.root() + QStringLiteral("/vbox-state");
    const auto lastToolCall = [&] {
        const QList<QStringList> calls = readToolCalls(stateDir);
        return calls.isEmpty() ? QStringList() : calls.last();
    };
    if (stage == QLatin1String("start-up")) {
        QVERIFY(waitUntil([&] { return lastToolCall().mid(0, 2) == QStringList{"list", "vms"}; }, 30000));
    } else if (stage == QLatin1String("machine start")) {
        QVERIFY(waitUntil([&] { return lastToolCall().value(0) == QLatin1String("startvm"); }, 60000));
    } else if (stage == QLatin1String("boot")) {
        QVERIFY(m_fixture->attachGuest(*emulator));
        QVERIFY(emulator->waitForText(QStringLiteral("AndroidWindow    : init"), 20000));
    } else if (stage == QLatin1String("dialog")) {
        QVERIFY(emulator->waitForText(QStringLiteral("checkUpdate UpdatePromptDialog"), 30000));
        QTest::qWait(200); // the prompt's event loop runs
    } else {
        QVERIFY(m_fixture->attachGuest(*emulator));
        QVERIFY(emulator->waitForText(QLatin1String(ScreenFixture::kShowAndroid), 60000));
    }

    QElapsedTimer quitTime;
    quitTime.start();
    int signo = 0;
    if (how == QLatin1String("-stop, not found")) {
        writeFaults(R"([{"match": "showvminfo *", "times": 1, "exit": 1,
                         "stderr": "{prog}: error: Could not find a registered machine named 'Orvanta_4'\n{prog}: error: Details: code VBOX_E_OBJECT_NOT_FOUND (0x80bb0001), component VirtualBoxWrap, interface IVirtualBox, callee nsISupports\n"}])");
        QFile::remove(stateDir + QStringLiteral("/faults.used.json"));
    }
    if (how.startsWith(QLatin1String("-stop"))) {
        QCOMPARE(stopRequest()->run(), 0);
    } else {
        signo = how == QLatin1String("SIGTERM") ? SIGTERM : how == QLatin1String("SIGINT") ? SIGINT : SIGHUP;
        QCOMPARE(::kill(static_cast<pid_t>(emulator->pid()), signo), 0);
    }
    // Bounded: no wait for a click, a worker or a reply that never comes.
    const bool ended = emulator->waitForFinished(30000);
    if (!ended || emulator->exitCode() != 0)
        qWarning().noquote() << tree.logText().right(4000);
    QVERIFY(ended);
    QVERIFY2(quitTime.elapsed() < 20000, qPrintable(QString::number(quitTime.elapsed())));
    QCOMPARE(emulator->exitStatus(), QProcess::NormalExit);
    QCOMPARE(emulator->exitCode(), 0);
    if (signo != 0)
        QVERIFY(tree.logText().contains(QStringLiteral("Control    : end signal %1").arg(signo)));
    QCOMPARE(logCount(QLatin1String(kQuitStart)), 1);

    // STOP is the last word the manager heard, no machine is left running, and the run time reached
    // the report server.
    QTRY_VERIFY_WITH_TIMEOUT(!m_fixture->statusWords().isEmpty() &&
                                 m_fixture->statusWords().last() == QLatin1String("STOP"),
                             5000);
    QCOMPARE(m_fixture->statusWords().count(QStringLiteral("EXITING")), 1);
    const QString state = vmState();
    QVERIFY2(state == QLatin1String("poweroff") || state.isEmpty(), qPrintable(state));
    QVERIFY(uploadedEvents(*m_web).contains(1004));
    QVERIFY(!SharedSegment::hasLiveOwner(kVm));
}

void TestQuit::hungReportServerKeepsTheRowsForTheNextStart()
{
    m_web->setControl(QStringLiteral("report.answer=hang"));
    auto emulator = m_fixture->startEmulator();
    QVERIFY(emulator);
    QVERIFY(m_fixture->attachGuest(*emulator));
    QVERIFY(emulator->waitForText(QLatin1String(ScreenFixture::kShowAndroid), 60000));

    QElapsedTimer quitTime;
    quitTime.start();
    QCOMPARE(stopRequest()->run(), 0);
    QVERIFY(emulator->waitForFinished(30000));
    QCOMPARE(emulator->exitCode(), 0);
    // The upload waits at most the configured reply time (2 s here), not for ever.
    QVERIFY2(quitTime.elapsed() < 15000, qPrintable(QString::number(quitTime.elapsed())));
    // What was not sent stays for the next start, the quit's run time among it.
    QVERIFY(storedRows() > 0);
    QCOMPARE(uploadedEvents(*m_web).count(1004), 1); // received, never answered

    m_web->setControl(QStringLiteral("answer=normal"));
    auto next = m_fixture->startEmulator();
    QVERIFY(next);
    // The log is shared with the first run: its second hand-over is this run's.
    QVERIFY(waitUntil([&] { return logCount(QLatin1String(ScreenFixture::kShowAndroid)) == 2; }, 60000));
    QCOMPARE(stopRequest()->run(), 0);
    const bool nextEnded = next->waitForFinished(30000);
    if (!nextEnded)
        qWarning().noquote() << m_fixture->tree().logText().right(5000) << m_web->log().right(2000);
    QVERIFY(nextEnded);
    // The rows kept go out with the next run's upload, beside that run's own run time.
    QCOMPARE(uploadedEvents(*m_web).count(1004), 3);
    QCOMPARE(storedRows(), 0);
}

void TestQuit::tenStopsDuringAQuit()
{
    // Tool waits long enough for the slow power-off below.
    m_fixture->tree().setEnv(QStringLiteral("ORV_TIMEOUT_SCALE"), QStringLiteral("0.05"));
    auto emulator = m_fixture->startEmulator();
    QVERIFY(emulator);
    QVERIFY(m_fixture->attachGuest(*emulator));
    QVERIFY(emulator->waitForText(QLatin1String(ScreenFixture::kShowAndroid), 60000));
    // The power-off takes a while: the later stops arrive while the quit runs.
    {
        QFile file(m_fixture->tree().root() + QStringLiteral("/vbox-state/faults.json"));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(R"([{"match": "controlvm * poweroff", "sleep": 2.0, "pass": true}])");
    }

    QCOMPARE(stopRequest()->run(), 0);
    QVERIFY(emulator->waitForText(QLatin1String(kQuitStart), 10000));
    std::vector<std::unique_ptr<ProgramRun>> stops;
    for (int i = 0; i < 10; ++i) {
        stops.push_back(stopRequest());
        QVERIFY(stops.back()->start());
    }
    for (auto &stop : stops) {
        QVERIFY(stop->waitForFinished(20000));
        QCOMPARE(stop->exitCode(), 0);
    }
    const bool ended = emulator->waitForFinished(30000);
    if (!ended)
        qWarning().noquote() << m_fixture->tree().logText().right(4000);
    QVERIFY(ended);
    QCOMPARE(emulator->exitCode(), 0);
    // One quit; no dialog was opened for the later requests.
    QCOMPARE(logCount(QLatin1String(kQuitStart)), 1);
    QVERIFY(!m_fixture->tree().logText().contains(QStringLiteral("CommonDialog")));
    QTRY_COMPARE_WITH_TIMEOUT(m_fixture->statusWords(),
                              (QStringList{"STARTING", "RUNNING", "EXITING", "STOP"}), 5000);
    QCOMPARE(vmState(), QStringLiteral("poweroff"));
}

void TestQuit::restartRequestStartsTheSuccessor()
{
    InstallTree &tree = m_fixture->tree();
    // The emulator built with the restart wire takes the emulator's place in the install tree.
    QFile::remove(tree.playerDir() + QStringLiteral("/Orvanta"));
    QVERIFY(
        InstallTree::copyFile(QStringLiteral(QUIT_FIXTURE), tree.playerDir() + QStringLiteral("/Orvanta")));

    auto emulator = m_fixture->startEmulator();
    QVERIFY(emulator);
    QVERIFY(m_fixture->attachGuest(*emulator));
    QVERIFY(emulator->waitForText(QLatin1String(ScreenFixture::kShowAndroid), 60000));

    ProgramRun request(tree, QStringLiteral("Orvanta"),
                       {QStringLiteral("-vm=") + kVm, QStringLiteral("-pkgname=restart")});
    QCOMPARE(request.run(), 0);
    QVERIFY(emulator->waitForFinished(30000));
    QCOMPARE(emulator->exitStatus(), QProcess::NormalExit);
    QCOMPARE(emulator->exitCode(), 0);
    QVERIFY(
        tree.logText().contains(QStringLiteral("Control    : quit done, leaving the event loop with 10000")));

    // The successor: the old arguments and "-reboot"; it reaches the running machine again.
    QTRY_COMPARE_WITH_TIMEOUT(
        readRecordedCalls(tree.recordDir() + QStringLiteral("/quit-fixture.calls")),
        (QList<QStringList>{{"-vm=" + kVm, "-debug"}, {"-vm=" + kVm, "-debug", "-reboot"}}), 10000);
    QVERIFY(waitUntil([&] { return logCount(QLatin1String(ScreenFixture::kMachineRunning)) == 2; }, 60000));
    QTRY_COMPARE_WITH_TIMEOUT(m_fixture->statusWords(),
                              (QStringList{"STARTING", "RUNNING", "EXITING", "STOP", "STARTING", "RUNNING"}),
                              20000);
    QVERIFY(SharedSegment::hasLiveOwner(kVm));
    QCOMPARE(vmState(), QStringLiteral("running"));

    QCOMPARE(stopRequest()->run(), 0);
    QVERIFY(waitUntil([&] { return !SharedSegment::hasLiveOwner(kVm); }, 30000));
    QTRY_COMPARE_WITH_TIMEOUT(m_fixture->statusWords().last(), QStringLiteral("STOP"), 5000);
    QCOMPARE(vmState(), QStringLiteral("poweroff"));
}

void TestQuit::stopThenStartNeverLosesTheStart()
{
    const int tries = qEnvironmentVariableIntValue("ORV_QUIT_TRIES") > 0
                          ? qEnvironmentVariableIntValue("ORV_QUIT_TRIES")
                          : 30;
    auto emulator = m_fixture->startEmulator();
    QVERIFY(emulator);
    QVERIFY(emulator->waitForText(QLatin1String(ScreenFixture::kMachineRunning), 60000));
    int waited = 0;
    for (int i = 1; i <= tries; ++i) {
        QCOMPARE(stopRequest()->run(), 0);
        // At once after the stop was handed over: this start must not be lost.
        auto next = m_fixture->startEmulator();
        QVERIFY(next);
        const bool oldEnded = emulator->waitForFinished(30000);
        QVERIFY2(oldEnded, qPrintable(QStringLiteral("try %1: the stopped instance did not end").arg(i)));
        QCOMPARE(emulator->exitCode(), 0);
        const bool reached = waitUntil(
            [&] { return logCount(QLatin1String(ScreenFixture::kMachineRunning)) == i + 1; }, 60000);
        if (!reached)
            qWarning().noquote() << next->output() << m_fixture->tree().logText().right(3000);
        QVERIFY2(reached, qPrintable(QStringLiteral("try %1: the start was lost").arg(i)));
        QVERIFY(next->isRunning());
        if (next->output().contains(QStringLiteral("is quitting; starting once it has ended")))
            ++waited;
        emulator = std::move(next);
    }
    qInfo() << "starts that waited for the quitting instance:" << waited << "of" << tries;
    QCOMPARE(stopRequest()->run(), 0);
    QVERIFY(emulator->waitForFinished(30000));
    QCOMPARE(vmState(), QStringLiteral("poweroff"));
}

QTEST_GUILESS_MAIN(TestQuit)
#include "tst_quit.moc"
