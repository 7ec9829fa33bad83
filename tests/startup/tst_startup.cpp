// The emulator's start-up, run as the real program in a temporary install tree against the simulated
// VirtualBox tool, the updater stand-in and a recording instance manager: what the updater is asked and
// what its answers lead to, the status words the manager hears, and quitting while the start-up waits.

#include "calllogs.h"
#include "installtree.h"
#include "programrun.h"
#include "webstandin.h"

#include <QDataStream>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QtTest>

#include <csignal>
#include <memory>

namespace {

const char *const kVm = "Orvanta_3";
const char *const kCheckWord = "fromOrvantaToCheckWhenStarting";
const char *const kResetWord = "fromOrvantaToResetVBox";
// Logged once the start-up has collected the system information.
const char *const kSystemInfoDone = "Loading    : system information collected";

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void quitDuringTheFirstToolCallPublishesNoLaterStart();
    void workerGoesOnWhileTheProgramIsBuilt_data();
    void workerGoesOnWhileTheProgramIsBuilt();
    void declaredHostDecidesTheVirtualisationCheck_data();
    void declaredHostDecidesTheVirtualisationCheck();
    void init();
    void cleanup();
    void updaterAnswers_data();
    void updaterAnswers();
    void promptsHoldTheStartUpUntilQuit_data();
    void promptsHoldTheStartUpUntilQuit();
    void secondStartQueuesItsPackageDuringStartUp();
    void reinstallCopiesVirtualBoxBesideTheInstallation();
    void firstStartReachesRunningMachine();
    void quitDuringMachineStartLeavesItPoweredOff();
    void quitSavesPositionCleansAndReportsRunTime();
    void hostWithoutVirtualisationStartsWithoutIt();
    void databaseFaultsLoseNoEvent_data();
    void databaseFaultsLoseNoEvent();
    void refusedPowerOffAtQuit_data();
    void refusedPowerOffAtQuit();
    void failedMachineStart_data();
    void failedMachineStart();

private:
    QStringList statusWords() const;
    QString vmState() const;
    QList<QStringList> toolCalls() const;
    QStringList progressSteps(const QString &log) const;
    void writeFaults(const QByteArray &json);
    std::unique_ptr<ProgramRun> startEmulator();
    std::unique_ptr<InstallTree> m_tree;
    QByteArray m_savedTmpDir = qgetenv("TMPDIR");
};

void TestStartup::init()
{
    // The start-up checks read the display's colour depth and OpenGL version; without an X server the
    // required checks fail and the check dialog holds the start-up (the suite runs under xvfb-run).
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display for the start-up's environment checks");
    m_tree = std::make_unique<InstallTree>();
    QVERIFY(m_tree->isValid());
    QVERIFY(m_tree->addProgram(QStringLiteral("Orvanta")));
    QVERIFY(m_tree->addProgram(QStringLiteral("OrvantaUpdater")));
    QVERIFY(m_tree->addRecorder(QStringLiteral("OrvMultiPlayer")));
    QVERIFY(m_tree->addVirtualBox());
    // The render library stand-ins, for the Android window that follows a machine start.
    for (const char *library : {"libOpenglRender.so", "libDLLHelper.so"})
        QVERIFY(
            InstallTree::copyFile(InstallTree::stagedPlayerDir() + QLatin1Char('/') + QLatin1String(library),
                                  m_tree->playerDir() + QLatin1Char('/') + QLatin1String(library)));
    m_tree->setEnv(QStringLiteral("ORV_TIMEOUT_SCALE"), QStringLiteral("0.01"));
    // This process talks to the emulator's instance channel, as a second start does.
    qputenv("TMPDIR", m_tree->tempDir().toLocal8Bit());
}

void TestStartup::cleanup()
{
    m_tree.reset();
    qputenv("TMPDIR", m_savedTmpDir);
}

QStringList TestStartup::statusWords() const
{
    QStringList words;
    for (const QStringList &call : m_tree->calls(QStringLiteral("OrvMultiPlayer"))) {
        if (call.size() == 2 && call.at(0) == QStringLiteral("-vm=") + kVm &&
            call.at(1).startsWith(QLatin1String("-status=")))
            words << call.at(1).mid(8);
    }
    return words;
}

QString TestStartup::vmState() const
{
    QProcess tool;
    tool.setProcessEnvironment(m_tree->environment());
    tool.start(m_tree->vboxDir() + QStringLiteral("/VBoxManage"),
               {QStringLiteral("showvminfo"), kVm, QStringLiteral("--machinereadable")});
    if (!tool.waitForFinished(10000))
        return QString();
    const QRegularExpression state(QStringLiteral("^VMState=\"([^\"]*)\""),
                                   QRegularExpression::MultilineOption);
    return state.match(QString::fromUtf8(tool.readAllStandardOutput())).captured(1);
}

QList<QStringList> TestStartup::toolCalls() const
{
    return readToolCalls(m_tree->root() + QStringLiteral("/vbox-state"));
}

QStringList TestStartup::progressSteps(const QString &log) const
{
    QStringList steps;
    static const QRegularExpression step(QStringLiteral("Loading    : progress (\\S+) -> (\\S+)"));
    auto it = step.globalMatch(log);
    while (it.hasNext()) {
        const auto match = it.next();
        steps << match.captured(1) + QLatin1Char('>') + match.captured(2);
    }
    return steps;
}

void TestStartup::writeFaults(const QByteArray &json)
{
    QDir().mkpath(m_tree->root() + QStringLiteral("/vbox-state"));
    QFile file(m_tree->root() + QStringLiteral("/vbox-state/faults.json"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(json);
}

std::unique_ptr<ProgramRun> TestStartup::startEmulator()
{
    auto run =
        std::make_unique<ProgramRun>(*m_tree, QStringLiteral("Orvanta"),
                                     QStringList{QStringLiteral("-vm=") + kVm, QStringLiteral("-debug")});
    if (!run->start())
        return nullptr;
    return run;
}

void TestStartup::quitDuringTheFirstToolCallPublishesNoLaterStart()
{
    // The first tool call (the list read before the start is announced) is slow; the user quits during it.
    writeFaults(R"([{"match": "list vms", "sleep": 1.5, "pass": true, "times": 1}])");
    auto emulator = startEmulator();
    QVERIFY(emulator);
    QVERIFY(waitUntil([&] { return toolCalls().contains(QStringList{"list", "vms"}); }, 20000));
    ProgramRun stop(*m_tree, QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=") + kVm, QStringLiteral("-stop")});
    QCOMPARE(stop.run(), 0);
    QVERIFY(emulator->waitForFinished(20000));
    QCOMPARE(emulator->exitCode(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(statusWords().contains("STOP"), 5000);
    // EXITING came before the worker got to announce its start: STARTING never follows it.
    QVERIFY2(!statusWords().contains("STARTING"), qPrintable(statusWords().join(' ')));
    QVERIFY(statusWords().contains("EXITING"));
}

void TestStartup::workerGoesOnWhileTheProgramIsBuilt_data()
{
    QTest::addColumn<QString>("what");
    // Held until the machine runs: the whole start-up goes on without the GUI thread; then its progress,
    // the Android window's start and the hand-over all come through, and a stop ends the run.
    QTest::newRow("machine running, then a stop") << "running";
    // The same with events handled while held (an event loop inside the construction): the requests
    // that come meanwhile wait until the controller is complete.
    QTest::newRow("machine running, events handled while held") << "running, events";
    // An end signal while held, once the worker is at its tool calls: the quit runs as soon as the
    // event loop does and waits for the worker.
    QTest::newRow("first tool call, SIGTERM") << "SIGTERM";
    // A failed check: the worker's first request is the check dialog it waits for. The dialog comes up
    // once the GUI thread goes on, and the worker makes no tool call while it is open.
    QTest::newRow("check dialog, then a stop") << "dialog";
}

void TestStartup::workerGoesOnWhileTheProgramIsBuilt()
{
    QFETCH(QString, what);
    // The emulator whose GUI thread is held after the controller's construction takes its place.
    QFile::remove(m_tree->playerDir() + QStringLiteral("/Orvanta"));
    QVERIFY(InstallTree::copyFile(QStringLiteral(STARTUP_FIXTURE),
                                  m_tree->playerDir() + QStringLiteral("/Orvanta")));
    const QString release = m_tree->root() + QStringLiteral("/release-hold");
    m_tree->setEnv(QStringLiteral("ORV_HOLD_RELEASE_FILE"), release);
    m_tree->declareHost(what == QLatin1String("dialog") ? InstallTree::HostWithoutVirtualisation
                                                        : InstallTree::HostWithVirtualisation);
    QVERIFY(m_tree->addGuestImage());
    if (what == QLatin1String("running, events"))
        m_tree->setEnv(QStringLiteral("ORV_HOLD_EVENTS"), QStringLiteral("1"));
    const auto events = [&] {
        QFile file(m_tree->recordDir() + QStringLiteral("/startup-fixture.events"));
        return file.open(QIODevice::ReadOnly)
                   ? QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts)
                   : QStringList();
    };

    auto emulator = startEmulator();
    QVERIFY(emulator);
    QVERIFY(waitUntil([&] { return events().contains(QStringLiteral("held")); }, 20000));
    if (what.startsWith(QLatin1String("running"))) {
        QVERIFY(emulator->waitForText(QStringLiteral("Loading    : machine running"), 60000));
        QCOMPARE(vmState(), QStringLiteral("running"));
    } else if (what == QLatin1String("SIGTERM")) {
        QVERIFY(waitUntil([&] { return !toolCalls().isEmpty(); }, 30000));
        QCOMPARE(::kill(static_cast<pid_t>(emulator->pid()), SIGTERM), 0);
    } else {
        QVERIFY(emulator->waitForText(QStringLiteral("Loading    : vt is close"), 30000));
    }
    // All that happened while the GUI thread was still held.
    QCOMPARE(events(), QStringList{QStringLiteral("held")});
    QFile releaseFile(release);
    QVERIFY(releaseFile.open(QIODevice::WriteOnly));
    releaseFile.close();
    QVERIFY(waitUntil([&] { return events().contains(QStringLiteral("released")); }, 20000));

    if (what.startsWith(QLatin1String("running"))) {
        // The machine-running signal, queued while held, starts the Android window: RUNNING.
        QTRY_COMPARE_WITH_TIMEOUT(statusWords(), (QStringList{"STARTING", "RUNNING"}), 20000);
        const QString log = m_tree->logText();
        QVERIFY(log.contains(QStringLiteral("AndroidWindow    : init")));
        if (what == QLatin1String("running, events")) {
            // The Android window's start waited for the rest of the construction.
            QVERIFY(log.indexOf(QStringLiteral("Fixture    : hold released")) <
                    log.indexOf(QStringLiteral("AndroidWindow    : init")));
            QVERIFY(
                log.contains(QStringLiteral("Control    : a request waits until the controller is built")));
        }
    } else if (what == QLatin1String("dialog")) {
        QVERIFY(waitUntil(
            [&] { return events().contains(QStringLiteral("dialog shown EnvironmentCheckDialog")); }, 20000));
        // The worker waits for the dialog: no tool call yet.
        QCOMPARE(toolCalls(), QList<QStringList>());
    }
    if (what != QLatin1String("SIGTERM")) {
        ProgramRun stop(*m_tree, QStringLiteral("Orvanta"),
                        {QStringLiteral("-vm=") + kVm, QStringLiteral("-stop")});
        QCOMPARE(stop.run(), 0);
    }
    const bool ended = emulator->waitForFinished(30000);
    if (!ended || emulator->exitCode() != 0)
        qWarning().noquote() << m_tree->logText().right(4000);
    QVERIFY(ended);
    QCOMPARE(emulator->exitStatus(), QProcess::NormalExit);
    QCOMPARE(emulator->exitCode(), 0);
    if (what == QLatin1String("SIGTERM"))
        QVERIFY(m_tree->logText().contains(QStringLiteral("Control    : end signal %1").arg(SIGTERM)));
    QCOMPARE(m_tree->logText().count(QStringLiteral("Control    : quit start")), 1);
    QTRY_VERIFY_WITH_TIMEOUT(!statusWords().isEmpty() && statusWords().last() == QLatin1String("STOP"), 5000);
    QCOMPARE(statusWords().count(QStringLiteral("EXITING")), 1);
    const QString state = vmState();
    QVERIFY2(state == QLatin1String("poweroff") || state.isEmpty(), qPrintable(state));
}

void TestStartup::declaredHostDecidesTheVirtualisationCheck_data()
{
    QTest::addColumn<bool>("withVirtualisation");
    QTest::addColumn<QString>("probeLine");
    QTest::addColumn<QString>("checkLine");
    QTest::newRow("with virtualisation")
        << true << "Loading    : processor virtualisation flag \"vmx\", hypervisor device present"
        << "Loading    : vt is open";
    QTest::newRow("without virtualisation")
        << false << "Loading    : processor virtualisation flag \"\", hypervisor device absent"
        << "Loading    : vt is close";
}

void TestStartup::declaredHostDecidesTheVirtualisationCheck()
{
    // The emulator sees the host the tree declares, whatever processor runs the test: with VT-x the
    // start-up goes on by itself; without it the check dialog holds the start-up for the user.
    QFETCH(bool, withVirtualisation);
    QFETCH(QString, probeLine);
    QFETCH(QString, checkLine);
    m_tree->declareHost(withVirtualisation ? InstallTree::HostWithVirtualisation
                                           : InstallTree::HostWithoutVirtualisation);

    auto emulator = startEmulator();
    QVERIFY(emulator);
    QVERIFY(emulator->waitForText(checkLine, 20000));
    QVERIFY(m_tree->logText().contains(probeLine));
    if (withVirtualisation) {
        QVERIFY(emulator->waitForText(kSystemInfoDone, 20000));
    } else {
        QTest::qWait(500);
        QVERIFY(!m_tree->logText().contains(kSystemInfoDone));
    }

    ProgramRun stop(*m_tree, QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=") + kVm, QStringLiteral("-stop")});
    QCOMPARE(stop.run(), 0);
    QVERIFY(emulator->waitForFinished(20000));
    QCOMPARE(emulator->exitCode(), 0);
}

void TestStartup::updaterAnswers_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<QList<QStringList>>("updaterCalls");
    // "check update ok" closes an answered check only; without an answer nothing else is looked at.
    QTest::addColumn<bool>("checkOk");

    const QList<QStringList> checkOnly{{kCheckWord}};
    QTest::newRow("nothing to do") << "0"
                                   << "Loading    : checkUpdate resultCode 0" << checkOnly << true;
    QTest::newRow("crash is no answer") << "crash"
                                        << "Loading    : checkUpdate resultCode -1" << checkOnly << false;
    QTest::newRow("no answer in time") << "hang"
                                       << "Loading    : checkUpdate resultCode -1" << checkOnly << false;
    QTest::newRow("reinstall VirtualBox")
        << "64"
        << "Loading    : install virtualBox" << QList<QStringList>{{kCheckWord}, {kResetWord}} << true;
}

void TestStartup::updaterAnswers()
{
    QFETCH(QString, answer);
    QFETCH(QString, logged);
    QFETCH(QList<QStringList>, updaterCalls);
    QFETCH(bool, checkOk);
    m_tree->setEnv(QStringLiteral("ORV_UPDATER_EXIT_") + kCheckWord, answer);
    // The updater's check is waited for 12 s; scaled to 3 s, a stand-in started on a busy machine
    // still answers in time, and a hung one costs little.
    m_tree->setEnv(QStringLiteral("ORV_TIMEOUT_SCALE"), QStringLiteral("0.25"));

    auto emulator = startEmulator();
    QVERIFY(emulator);
    QVERIFY(emulator->waitForText(kSystemInfoDone, 20000));
    QVERIFY(emulator->output().contains(logged) || m_tree->logText().contains(logged));
    QCOMPARE(m_tree->calls(QStringLiteral("OrvantaUpdater")), updaterCalls);
    QVERIFY(!m_tree->logText().contains(QStringLiteral("UpdatePromptDialog")));
    QCOMPARE(m_tree->logText().contains(QStringLiteral("Loading    : check update ok")), checkOk);
    QCOMPARE(statusWords(), QStringList{QStringLiteral("STARTING")});

    ProgramRun stop(*m_tree, QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=") + kVm, QStringLiteral("-stop")});
    QCOMPARE(stop.run(), 0);
    QVERIFY(emulator->waitForFinished(20000));
    QCOMPARE(emulator->exitCode(), 0);
    // The manager for STOP is started detached just before the end; it may record a moment later.
    QTRY_COMPARE_WITH_TIMEOUT(statusWords(), (QStringList{"STARTING", "EXITING", "STOP"}), 5000);
}

void TestStartup::promptsHoldTheStartUpUntilQuit_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("dialogLine");
    QTest::newRow("new version") << "2"
                                 << "checkUpdate UpdatePromptDialog";
    QTest::newRow("new version, clear data") << "4"
                                             << "checkUpdate UpdatePromptDialog";
    QTest::newRow("files missing") << "8"
                                   << "FileMissingPromptDialog";
    QTest::newRow("files missing wins over reinstall") << "72"
                                                       << "FileMissingPromptDialog";
}

void TestStartup::promptsHoldTheStartUpUntilQuit()
{
    QFETCH(QString, answer);
    QFETCH(QString, dialogLine);
    m_tree->setEnv(QStringLiteral("ORV_UPDATER_EXIT_") + kCheckWord, answer);
    // The updater's check is waited for 12 s; scaled to 3 s, a stand-in started on a busy machine
    // still answers in time, and a hung one costs little.
    m_tree->setEnv(QStringLiteral("ORV_TIMEOUT_SCALE"), QStringLiteral("0.25"));

    auto emulator = startEmulator();
    QVERIFY(emulator);
    QVERIFY(emulator->waitForText(dialogLine, 20000));
    // The worker waits for the user: nothing of the later steps happens while the dialog is open.
    QTest::qWait(300);
    QVERIFY(!m_tree->logText().contains(kSystemInfoDone));
    QCOMPARE(m_tree->calls(QStringLiteral("OrvantaUpdater")), (QList<QStringList>{{kCheckWord}}));

    // A stop request while the dialog is open ends the program: no hang between the quit and the worker.
    ProgramRun stop(*m_tree, QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=") + kVm, QStringLiteral("-stop")});
    QCOMPARE(stop.run(), 0);
    QVERIFY(emulator->waitForFinished(20000));
    if (emulator->exitStatus() != QProcess::NormalExit || statusWords().size() != 3)
        qWarning().noquote() << emulator->output() << m_tree->logText() << statusWords();
    QCOMPARE(emulator->exitStatus(), QProcess::NormalExit);
    QCOMPARE(emulator->exitCode(), 0);
    QVERIFY(!m_tree->logText().contains(kSystemInfoDone));
    // The manager for STOP is started detached just before the end; it may record a moment later.
    QTRY_COMPARE_WITH_TIMEOUT(statusWords(), (QStringList{"STARTING", "EXITING", "STOP"}), 5000);
    // The closed dialog neither started the updater nor asked for a reinstall.
    QCOMPARE(m_tree->calls(QStringLiteral("OrvantaUpdater")), (QList<QStringList>{{kCheckWord}}));
}

void TestStartup::secondStartQueuesItsPackageDuringStartUp()
{
    m_tree->setEnv(QStringLiteral("ORV_UPDATER_EXIT_") + kCheckWord, QStringLiteral("2"));
    // The updater's answer must arrive within its scaled wait also on a busy machine.
    m_tree->setEnv(QStringLiteral("ORV_TIMEOUT_SCALE"), QStringLiteral("0.25"));
    auto emulator = startEmulator();
    QVERIFY(emulator);
    QVERIFY(emulator->waitForText(QStringLiteral("checkUpdate UpdatePromptDialog"), 20000));

    ProgramRun second(*m_tree, QStringLiteral("Orvanta"),
                      {QStringLiteral("-vm=") + kVm, QStringLiteral("-pkgpath=/home/u/my game.apk"),
                       QStringLiteral("-pkgname=com.example.game")});
    QCOMPARE(second.run(), 0);
    QVERIFY(emulator->waitForText(QStringLiteral(" after  \",/home/u/my game.apk,\""), 10000));

    // The same path again leaves the list as it is.
    ProgramRun again(*m_tree, QStringLiteral("Orvanta"),
                     {QStringLiteral("-vm=") + kVm, QStringLiteral("-pkgpath=/home/u/my game.apk")});
    QCOMPARE(again.run(), 0);
    QVERIFY(waitUntil([&] { return emulator->output().count(QStringLiteral(" after ")) == 2; }, 10000));
    QCOMPARE(emulator->output().count(QStringLiteral(" after  \",/home/u/my game.apk,\"")), 2);

    ProgramRun stop(*m_tree, QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=") + kVm, QStringLiteral("-stop")});
    QCOMPARE(stop.run(), 0);
    QVERIFY(emulator->waitForFinished(20000));
}

void TestStartup::reinstallCopiesVirtualBoxBesideTheInstallation()
{
    m_tree->setEnv(QStringLiteral("ORV_UPDATER_EXIT_") + kCheckWord, QStringLiteral("64"));
    auto emulator = startEmulator();
    QVERIFY(emulator);
    QVERIFY(emulator->waitForText(kSystemInfoDone, 20000));
    // The updater put VirtualBox into <install>/OrvantaVM/vbox and the tool is looked for there now.
    QVERIFY(QFileInfo::exists(m_tree->installDir() + QStringLiteral("/OrvantaVM/vbox/OrvvmManage")));
    QVERIFY(m_tree->logText().contains(m_tree->installDir() + QStringLiteral("/OrvantaVM/vbox")));

    ProgramRun stop(*m_tree, QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=") + kVm, QStringLiteral("-stop")});
    QCOMPARE(stop.run(), 0);
    QVERIFY(emulator->waitForFinished(20000));
}

void TestStartup::firstStartReachesRunningMachine()
{
    QVERIFY(m_tree->addGuestImage());
    auto emulator = startEmulator();
    QVERIFY(emulator);
    QVERIFY(emulator->waitForText(QStringLiteral("Loading    : machine running"), 60000));
    // What the program asked of the tool (before this test asks anything itself).
    const QList<QStringList> calls = toolCalls();
    QCOMPARE(vmState(), QStringLiteral("running"));
    // The Android window takes over at once and publishes RUNNING.
    QTRY_COMPARE_WITH_TIMEOUT(statusWords(),
                              (QStringList{QStringLiteral("STARTING"), QStringLiteral("RUNNING")}), 10000);

    // Progress: 1, one per environment check, 7, 1, 1, 4, 2, 2, 2, 2, 1, 1, 3.
    const QStringList steps = progressSteps(m_tree->logText());
    // The environment checks step the bar themselves, one each: the worker's next step starts after them.
    QVERIFY2(steps.size() == 12, qPrintable(steps.join(' ')));
    QCOMPARE(steps.first(), QStringLiteral("0>1"));
    const int checks = steps.at(1).section(QLatin1Char('>'), 0, 0).toInt() - 1;
    QVERIFY2(checks == 7 || checks == 8, qPrintable(steps.join(' ')));
    QStringList tail;
    double p = 1 + checks;
    for (double size : {7.0, 1.0, 1.0, 4.0, 2.0, 2.0, 2.0, 2.0, 1.0, 1.0, 3.0}) {
        tail << QString::number(p) + QLatin1Char('>') + QString::number(p + size);
        p += size;
    }
    QCOMPARE(steps.mid(1), tail);

    // The tool was asked for the machine list before anything else, and the start came last.
    QVERIFY(!calls.isEmpty());
    QCOMPARE(calls.first().mid(0, 2), (QStringList{"list", "vms"}));
    QCOMPARE(calls.last(), (QStringList{"startvm", kVm, "--type", "headless"}));

    ProgramRun stop(*m_tree, QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=") + kVm, QStringLiteral("-stop")});
    QCOMPARE(stop.run(), 0);
    QVERIFY(emulator->waitForFinished(30000));
    QCOMPARE(emulator->exitCode(), 0);
    QCOMPARE(vmState(), QStringLiteral("poweroff"));
    // The manager for STOP is started detached just before the end; it may record a moment later.
    QTRY_COMPARE_WITH_TIMEOUT(statusWords(), (QStringList{"STARTING", "RUNNING", "EXITING", "STOP"}), 5000);
}

void TestStartup::quitDuringMachineStartLeavesItPoweredOff()
{
    QVERIFY(m_tree->addGuestImage());
    // The start takes a while (well below the scaled time-out, six seconds here, also on a busy machine)
    // and then succeeds.
    m_tree->setEnv(QStringLiteral("ORV_TIMEOUT_SCALE"), QStringLiteral("0.05"));
    writeFaults(R"([{"match": "startvm * --type headless", "sleep": 0.8, "pass": true}])");
    auto emulator = startEmulator();
    QVERIFY(emulator);
    QVERIFY(
        emulator->waitForText(QStringLiteral("\"startvm\""), 60000) ||
        waitUntil([&] { return !toolCalls().isEmpty() && toolCalls().last().value(0) == "startvm"; }, 60000));

    ProgramRun stop(*m_tree, QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=") + kVm, QStringLiteral("-stop")});
    QCOMPARE(stop.run(), 0);
    QVERIFY(emulator->waitForFinished(30000));
    QCOMPARE(emulator->exitCode(), 0);
    if (!m_tree->logText().contains(QStringLiteral("Loading    : quit during the machine start")))
        qWarning().noquote() << m_tree->logText().right(3000);
    QVERIFY(m_tree->logText().contains(QStringLiteral("Loading    : quit during the machine start")));
    QVERIFY(!m_tree->logText().contains(QStringLiteral("Loading    : machine running")));
    QCOMPARE(vmState(), QStringLiteral("poweroff"));
    // The manager for STOP is started detached just before the end; it may record a moment later.
    QTRY_COMPARE_WITH_TIMEOUT(statusWords(), (QStringList{"STARTING", "EXITING", "STOP"}), 5000);
}

void TestStartup::quitSavesPositionCleansAndReportsRunTime()
{
    WebStandIn web(m_tree->root() + QStringLiteral("/web"));
    QVERIFY(web.start());
    web.configure(*m_tree);
    QVERIFY(m_tree->addGuestImage());
    auto emulator = startEmulator();
    QVERIFY(emulator);
    QVERIFY(emulator->waitForText(QStringLiteral("Loading    : machine running"), 60000));

    // What the game share holds when the user quits: plain files (one read-only) and a folder.
    const QString game = m_tree->installDir() + QStringLiteral("/share/") + kVm + QStringLiteral("/game");
    QVERIFY(QDir().mkpath(game + QStringLiteral("/keep")));
    for (const QString &name :
         {QStringLiteral("a.apk"), QStringLiteral("b.obb"), QStringLiteral("keep/c.txt")}) {
        QFile file(game + QLatin1Char('/') + name);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("x");
    }
    QVERIFY(QFile::setPermissions(game + QStringLiteral("/b.obb"), QFile::ReadOwner));

    ProgramRun stop(*m_tree, QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=") + kVm, QStringLiteral("-stop")});
    QCOMPARE(stop.run(), 0);
    QVERIFY(emulator->waitForFinished(30000));
    QCOMPARE(emulator->exitCode(), 0);

    // Plain files are gone, folders are left alone.
    QCOMPARE(QDir(game).entryList(QDir::Files | QDir::Hidden), QStringList());
    QVERIFY(QFile::exists(game + QStringLiteral("/keep/c.txt")));

    // The start-up window's position is saved (Android was never shown: "Pos" alone).
    QSettings settings(m_tree->appDataDir() + QStringLiteral("/Halvora/") + kVm + QStringLiteral(".ini"),
                       QSettings::IniFormat);
    const QByteArray pos = settings.value(QStringLiteral("StartUp/Pos")).toByteArray();
    QDataStream stream(pos);
    QPoint point;
    stream >> point;
    QCOMPARE(stream.status(), QDataStream::Ok);
    QVERIFY(!settings.contains(QStringLiteral("StartUp/VerticalHeight")));

    // The running time (whole minutes: 0) goes out with the quit's own upload.
    const QList<QJsonObject> reports = web.requests(QStringLiteral("report"));
    QVERIFY(!reports.isEmpty());
    QJsonObject runTime;
    for (const QJsonValue &event :
         reports.last().value("report").toObject().value("commonExEvents").toArray()) {
        if (event.toObject().value("eventKey").toInt() == 1004)
            runTime = event.toObject();
    }
    QCOMPARE(runTime.value("eventMaps").toArray(),
             (QJsonArray{QJsonObject{{"dataKey", "time"}, {"dataValue", "0"}}}));
}

void TestStartup::hostWithoutVirtualisationStartsWithoutIt()
{
    // The tool's host has no VT-x: the first start fails as the real tool's does, and the start-up
    // switches hardware virtualisation off and starts again.
    QFile host(m_tree->root() + QStringLiteral("/vbox-state/host.ini"));
    QVERIFY(host.open(QIODevice::WriteOnly | QIODevice::Truncate));
    host.write("[host]\nsupportsHWvirtualization=no\nprocessorDescription=Intel(R) Core(TM) i5\n");
    host.close();
    QVERIFY(m_tree->addGuestImage());
    auto emulator = startEmulator();
    QVERIFY(emulator);
    QVERIFY(emulator->waitForText(QStringLiteral("Loading    : machine running"), 60000));
    const QList<QStringList> calls = toolCalls();
    QList<QStringList> starts;
    for (const QStringList &call : calls) {
        if (call.value(0) == QLatin1String("startvm"))
            starts << call;
    }
    QCOMPARE(starts.size(), 2);
    QVERIFY(calls.contains(QStringList{"modifyvm", kVm, "--hwvirtex", "off"}));
    QVERIFY(m_tree->logText().contains(QStringLiteral("VT-x is not available (VERR_VMX_NO_VMX)")));
    QCOMPARE(vmState(), QStringLiteral("running"));

    ProgramRun stop(*m_tree, QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=") + kVm, QStringLiteral("-stop")});
    QCOMPARE(stop.run(), 0);
    QVERIFY(emulator->waitForFinished(30000));
}

void TestStartup::databaseFaultsLoseNoEvent_data()
{
    QTest::addColumn<QString>("fault");
    QTest::newRow("garbage file") << "garbage";
    QTest::newRow("DataReport of another layout") << "layout";
    QTest::newRow("locked longer than the busy time-out at start") << "locked";
    QTest::newRow("a folder in its place") << "folder";
}

void TestStartup::databaseFaultsLoseNoEvent()
{
    // The instance database is damaged or held by another process when the emulator starts: the
    // start-up's and the quit's events still reach the report server, each once.
    QFETCH(QString, fault);
    WebStandIn web(m_tree->root() + QStringLiteral("/web"));
    QVERIFY(web.start());
    web.configure(*m_tree);
    const QString file = m_tree->appDataDir() + QStringLiteral("/Halvora/") + kVm + QStringLiteral("_DB.db");
    QVERIFY(QDir().mkpath(QFileInfo(file).absolutePath()));
    {
        QSqlDatabase peer = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("peer"));
        peer.setDatabaseName(file);
        QVERIFY(peer.open());
    }
    QSqlQuery peer(QSqlDatabase::database(QStringLiteral("peer")));
    if (fault == QLatin1String("garbage")) {
        QSqlDatabase::database(QStringLiteral("peer")).close();
        QFile out(file);
        QVERIFY(out.open(QIODevice::WriteOnly | QIODevice::Truncate));
        out.write(QByteArray(5000, '\x5a'));
    } else if (fault == QLatin1String("layout")) {
        QVERIFY(peer.exec(QStringLiteral("CREATE TABLE DataReport (id integer, note text)")));
    } else if (fault == QLatin1String("folder")) {
        QSqlDatabase::database(QStringLiteral("peer")).close();
        QVERIFY(QFile::remove(file));
        QVERIFY(QDir().mkpath(file + QStringLiteral("/keep")));
    } else {
        QVERIFY(peer.exec(QStringLiteral("CREATE TABLE Other (x integer)")));
        QVERIFY(peer.exec(QStringLiteral("BEGIN EXCLUSIVE")));
    }

    QVERIFY(m_tree->addGuestImage());
    auto emulator = startEmulator();
    QVERIFY(emulator);
    if (fault == QLatin1String("locked")) {
        // Held past the first attempt to open it, then let go.
        QVERIFY(emulator->waitForText(QStringLiteral("SQLiteTool : connect error"), 30000));
        QVERIFY(peer.exec(QStringLiteral("ROLLBACK")));
    }
    peer = QSqlQuery();
    QSqlDatabase::database(QStringLiteral("peer")).close();
    QSqlDatabase::removeDatabase(QStringLiteral("peer"));
    QVERIFY(emulator->waitForText(QStringLiteral("Loading    : machine running"), 60000));
    ProgramRun stop(*m_tree, QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=") + kVm, QStringLiteral("-stop")});
    QCOMPARE(stop.run(), 0);
    QVERIFY(emulator->waitForFinished(30000));

    QList<int> keys;
    for (const QJsonObject &request : web.requests(QStringLiteral("report"))) {
        const QJsonObject report = request.value(QStringLiteral("report")).toObject();
        for (const char *field : {"commonEvents", "commonExEvents"}) {
            for (const QJsonValue &event : report.value(QLatin1String(field)).toArray())
                keys << event.toObject().value(QStringLiteral("eventKey")).toInt();
        }
    }
    QCOMPARE(keys.count(1000), 1); // the start-up's system information
    QCOMPARE(keys.count(1004), 1); // the quit's running time
    QCOMPARE(QFile::exists(file + QStringLiteral(".broken")), fault != QLatin1String("locked"));
    if (fault == QLatin1String("folder"))
        QVERIFY(QFileInfo::exists(file + QStringLiteral(".broken/keep")));
}

void TestStartup::refusedPowerOffAtQuit_data()
{
    // What the tool answers at the quit, what the machine is afterwards and the last status word.
    QTest::addColumn<QJsonArray>("faults");
    QTest::addColumn<QString>("finalState");
    QTest::addColumn<QString>("lastWord");
    QTest::addColumn<QStringList>("quitCalls"); // showvminfo and controlvm runs, in order
    QTest::addColumn<QString>("logLine");       // a line the log must hold; empty: none asked

    const QString locked = QStringLiteral(
        "{prog}: error: The machine '%1' is already locked for a session (or being unlocked)\n");
    const auto refusePowerOff = [&](int times) {
        QJsonObject rule{{"match", "controlvm * poweroff"}, {"stderr", locked.arg(kVm)}, {"exit", 1}};
        if (times > 0)
            rule.insert("times", times);
        return QJsonArray{rule};
    };
    const auto info = [](const QJsonObject &answer, int times) {
        QJsonObject rule = answer;
        rule.insert("match", "showvminfo *");
        if (times > 0)
            rule.insert("times", times);
        return QJsonArray{rule};
    };
    const QStringList twoStops{"showvminfo", "controlvm", "showvminfo", "controlvm", "showvminfo"};
    const QStringList oneStop{"showvminfo", "controlvm", "showvminfo"};
    QTest::newRow("refused once, the retry stops it") << refusePowerOff(1) << "poweroff"
                                                      << "STOP" << twoStops << "";
    QTest::newRow("refused every time")
        << refusePowerOff(0) << "running"
        << "ERROR" << twoStops << "VBoxTool   : machine not confirmed stopped at quit, state running";
    // An answer that does not say the state: the machine is powered off anyway, and a whole answer must
    // confirm it before STOP.
    QTest::newRow("empty answer once")
        << info({{"stdout", ""}, {"exit", 0}}, 1) << "poweroff"
        << "STOP" << oneStop << "VBoxTool   : machine state unknown at quit, powering off anyway";
    QTest::newRow("killed once")
        << info({{"stdout", QStringLiteral("name=\"%1\"\n").arg(kVm)}, {"exit", 137}}, 1) << "poweroff"
        << "STOP" << oneStop << "";
    QTest::newRow("cut off once") << info({{"stdout", QStringLiteral("name=\"%1\"\nVMState=\"run").arg(kVm)},
                                           {"exit", 0}},
                                          1)
                                  << "poweroff"
                                  << "STOP" << oneStop << "";
    QTest::newRow("empty at every reading")
        << info({{"stdout", ""}, {"exit", 0}}, 0) << "poweroff"
        << "ERROR" << twoStops << "VBoxTool   : machine not confirmed stopped at quit, state unknown";
    QTest::newRow("hangs") << info({{"hang", true}}, 0) << "poweroff"
                           << "ERROR" << QStringList{"showvminfo", "controlvm"}
                           << "VBoxTool   : machine state unknown at quit, the tool does not answer";
}

void TestStartup::refusedPowerOffAtQuit()
{
    QFETCH(QJsonArray, faults);
    QFETCH(QString, finalState);
    QFETCH(QString, lastWord);
    QFETCH(QStringList, quitCalls);
    QFETCH(QString, logLine);
    QVERIFY(m_tree->addGuestImage());
    auto emulator = startEmulator();
    QVERIFY(emulator);
    QVERIFY(emulator->waitForText(QStringLiteral("Loading    : machine running"), 60000));

    writeFaults(QJsonDocument(faults).toJson());
    const int callsBefore = toolCalls().size();
    ProgramRun stop(*m_tree, QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=") + kVm, QStringLiteral("-stop")});
    QCOMPARE(stop.run(), 0);
    QVERIFY(emulator->waitForFinished(30000));
    writeFaults("[]");
    // The quit's own calls, before this test asks the tool anything.
    QStringList powerCalls;
    for (const QStringList &call : toolCalls().mid(callsBefore)) {
        if (call.value(0) == QLatin1String("controlvm") || call.value(0) == QLatin1String("showvminfo"))
            powerCalls << call.value(0);
    }
    QCOMPARE(vmState(), finalState);
    QCOMPARE(statusWords(), (QStringList{"STARTING", "RUNNING", "EXITING", lastWord}));
    QCOMPARE(powerCalls, quitCalls);
    if (!logLine.isEmpty())
        QVERIFY2(m_tree->logText().contains(logLine), qPrintable(m_tree->logText()));
    if (lastWord == QLatin1String("STOP"))
        QVERIFY(!m_tree->logText().contains(QStringLiteral("not confirmed stopped")));
}

void TestStartup::failedMachineStart_data()
{
    QTest::addColumn<bool>("patchCheckDone");
    QTest::addColumn<bool>("reinstall");
    // Seven checks (the patch check passed in an earlier run) put the start at 34: one reinstall and a
    // retry; eight put it at 35: the error log and the VirtualBox error dialog at once.
    QTest::newRow("seven checks: reinstall and retry") << true << true;
    QTest::newRow("eight checks: error log") << false << false;
}

void TestStartup::failedMachineStart()
{
    QFETCH(bool, patchCheckDone);
    QFETCH(bool, reinstall);
    QVERIFY(m_tree->addGuestImage());
    WebStandIn web(m_tree->root() + QStringLiteral("/web"));
    QVERIFY(web.start());
    web.configure(*m_tree);
    if (patchCheckDone) {
        QSettings userKey(m_tree->userConfigDir() + QStringLiteral("/Halvora/Orvanta.conf"),
                          QSettings::IniFormat);
        userKey.setValue(QStringLiteral("LastPatchCheckResult"), true);
    }
    writeFaults(R"([{"match": "startvm * --type headless",
                     "stderr": "{prog}: error: The VirtualBox kernel driver is not accessible\n", "exit": 1}])");
    auto emulator = startEmulator();
    QVERIFY(emulator);
    QVERIFY(emulator->waitForText(QStringLiteral(" ----------upload---------"), 90000));
    // The error log reaches the run-log endpoint once, with the tool's error in its first section.
    QTRY_COMPARE_WITH_TIMEOUT(web.requests(QStringLiteral("runlog")).size(), 1, 20000);
    const QString text =
        web.requests(QStringLiteral("runlog")).first().value(QStringLiteral("text")).toString();
    QVERIFY2(
        text.startsWith(QStringLiteral(" [err]\r\nOrvvmManage: error: The VirtualBox kernel driver is not "
                                       "accessible")),
        qPrintable(text.left(200)));
    QVERIFY(text.contains(QStringLiteral("\r\n [sys]\r\nversion: 1.4.2\r\n")));
    QVERIFY(text.contains(QStringLiteral("\r\n [setting]\r\ncpu: ")));
    QVERIFY(text.contains(QStringLiteral("\r\n [host]\r\nname=\"Orvanta_3\"")));
    const QString log = m_tree->logText();
    QCOMPARE(log.contains(QStringLiteral("StartUpControl : try start up twice")), reinstall);
    const QList<QStringList> resets{{"fromOrvantaToCheckWhenStarting"}, {"fromOrvantaToResetVBox"}};
    if (reinstall)
        QCOMPARE(m_tree->calls(QStringLiteral("OrvantaUpdater")), resets);
    else
        QCOMPARE(m_tree->calls(QStringLiteral("OrvantaUpdater")), (QList<QStringList>{{kCheckWord}}));
    int starts = 0;
    for (const QStringList &call : toolCalls())
        starts += call.value(0) == QLatin1String("startvm") ? 1 : 0;
    QCOMPARE(starts, reinstall ? 2 : 1);

    // The VirtualBox error dialog waits for the user; a stop request ends the program all the same.
    ProgramRun stop(*m_tree, QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=") + kVm, QStringLiteral("-stop")});
    QCOMPARE(stop.run(), 0);
    QVERIFY(emulator->waitForFinished(30000));
    QCOMPARE(emulator->exitCode(), 0);
    QCOMPARE(vmState(), QStringLiteral("poweroff"));
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
