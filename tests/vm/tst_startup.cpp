// The emulator's start-up, run as the real program in a temporary install tree against the simulated
// VirtualBox tool, the updater stand-in and a recording instance manager: what the updater is asked and
// what its answers lead to, the status words the manager hears, and quitting while the start-up waits.

#include "installtree.h"
#include "programrun.h"

#include <QtTest>

#include <memory>

namespace {

const char *const kVm = "Orvanta_3";
const char *const kCheckWord = "fromOrvantaToCheckWhenStarting";
const char *const kResetWord = "fromOrvantaToResetVBox";
// Logged once the start-up has collected the system information.
const char *const kSystemInfoDone = "Loading    : system information collected";

QString stagedVBoxDir()
{
    return QFileInfo(InstallTree::stagedPlayerDir() + QStringLiteral("/../VirtualBox")).absoluteFilePath();
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void updaterAnswers_data();
    void updaterAnswers();
    void promptsHoldTheStartUpUntilQuit_data();
    void promptsHoldTheStartUpUntilQuit();
    void secondStartQueuesItsPackageDuringStartUp();
    void reinstallCopiesVirtualBoxBesideTheInstallation();

private:
    QStringList statusWords() const;
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
    const QString vboxDir = m_tree->versionDir() + QStringLiteral("/VirtualBox");
    for (const char *name : {"OrvvmManage", "OrvvmSVC", "VBoxManage", "VBoxSVC"})
        QVERIFY2(InstallTree::copyFile(stagedVBoxDir() + QLatin1Char('/') + name,
                                       vboxDir + QLatin1Char('/') + name),
                 name);
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

std::unique_ptr<ProgramRun> TestStartup::startEmulator()
{
    auto run =
        std::make_unique<ProgramRun>(*m_tree, QStringLiteral("Orvanta"),
                                     QStringList{QStringLiteral("-vm=") + kVm, QStringLiteral("-debug")});
    if (!run->start())
        return nullptr;
    return run;
}

void TestStartup::updaterAnswers_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<QList<QStringList>>("updaterCalls");

    const QList<QStringList> checkOnly{{kCheckWord}};
    QTest::newRow("nothing to do") << "0"
                                   << "Loading    : checkUpdate resultCode 0" << checkOnly;
    QTest::newRow("crash is no answer") << "crash"
                                        << "Loading    : checkUpdate resultCode -1" << checkOnly;
    QTest::newRow("no answer in time") << "hang"
                                       << "Loading    : checkUpdate resultCode -1" << checkOnly;
    QTest::newRow("reinstall VirtualBox")
        << "64"
        << "Loading    : install virtualBox" << QList<QStringList>{{kCheckWord}, {kResetWord}};
}

void TestStartup::updaterAnswers()
{
    QFETCH(QString, answer);
    QFETCH(QString, logged);
    QFETCH(QList<QStringList>, updaterCalls);
    m_tree->setEnv(QStringLiteral("ORV_UPDATER_EXIT_") + kCheckWord, answer);

    auto emulator = startEmulator();
    QVERIFY(emulator);
    QVERIFY(emulator->waitForText(kSystemInfoDone, 20000));
    QVERIFY(emulator->output().contains(logged) || m_tree->logText().contains(logged));
    QCOMPARE(m_tree->calls(QStringLiteral("OrvantaUpdater")), updaterCalls);
    QVERIFY(!m_tree->logText().contains(QStringLiteral("UpdatePromptDialog")));
    QCOMPARE(statusWords(), QStringList{QStringLiteral("STARTING")});

    ProgramRun stop(*m_tree, QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=") + kVm, QStringLiteral("-stop")});
    QCOMPARE(stop.run(), 0);
    QVERIFY(emulator->waitForFinished(20000));
    QCOMPARE(emulator->exitCode(), 0);
    QCOMPARE(statusWords(), (QStringList{"STARTING", "EXITING", "STOP"}));
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
    QCOMPARE(statusWords(), (QStringList{"STARTING", "EXITING", "STOP"}));
    // The closed dialog neither started the updater nor asked for a reinstall.
    QCOMPARE(m_tree->calls(QStringLiteral("OrvantaUpdater")), (QList<QStringList>{{kCheckWord}}));
}

void TestStartup::secondStartQueuesItsPackageDuringStartUp()
{
    m_tree->setEnv(QStringLiteral("ORV_UPDATER_EXIT_") + kCheckWord, QStringLiteral("2"));
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

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
