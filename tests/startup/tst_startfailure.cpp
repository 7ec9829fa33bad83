// The start-up worker's failure handling, run on this thread against the updater stand-in that lies
// beside this test program: which failures reinstall VirtualBox and retry, which end in the error log
// and the VirtualBox error dialog, and the error log's exact text.

#include "calllogs.h"
#include "checkaction.h"
#include "global.h"
#include "loadingcontrol.h"
#include "settingmodel.h"
#include "updater.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// What left the worker, in order: "progress a b", "upload <kind>", "dialog <type> <msg>".
struct Recorder
{
    QStringList events;
    QString uploadedText;
};

QList<QStringList> updaterCalls(const QString &recordDir)
{
    return readRecordedCalls(recordDir + QStringLiteral("/OrvantaUpdater.calls"));
}

} // namespace

class TestStartFailure : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void decision_data();
    void decision();
    void secondFailureAfterReinstallSendsTheLog();
    void errorLogText();
    void placeholders_data();
    void placeholders();
    void startUpCheckResultsReachTheReportedRecords();

private:
    void connectRecorder(LoadingControl &worker, Recorder &recorder);
    QTemporaryDir m_dir;
};

void TestStartFailure::initTestCase()
{
    QVERIFY(m_dir.isValid());
    QVERIFY2(QFileInfo::exists(Updater::programPath()), "the updater stand-in lies beside the test");
    qputenv("APPDATA", (m_dir.path() + "/appdata").toLocal8Bit());
    qputenv("ORV_TIMEOUT_SCALE", "0.01");
    Global::vmName = QStringLiteral("Orvanta_5");
    Global::installInfo.installDir = m_dir.path() + QStringLiteral("/install");
    Global::installInfo.productVersion = QStringLiteral("1.4.2");
}

void TestStartFailure::init()
{
    const QString records = m_dir.path() + QStringLiteral("/records-") + QTest::currentDataTag();
    QDir().mkpath(records);
    qputenv("ORV_RECORD_DIR", records.toLocal8Bit());
    Global::installInfo.vboxPath = m_dir.path() + QStringLiteral("/install/1.4.2/VirtualBox");
}

void TestStartFailure::connectRecorder(LoadingControl &worker, Recorder &recorder)
{
    connect(&worker, &LoadingControl::scheduleChanged, this, [&recorder](int from, int to) {
        recorder.events << QStringLiteral("progress %1 %2").arg(from).arg(to);
    });
    connect(&worker, &LoadingControl::uploadCrashOrErrorLog, this, [&recorder](QString kind, QString text) {
        recorder.events << QStringLiteral("upload ") + kind;
        recorder.uploadedText = text;
    });
    connect(&worker, qOverload<QString, DialogType, QWidget *, QString>(&LoadingControl::showDialog), this,
            [&recorder, &worker](QString msg, DialogType type, QWidget *parent, QString from) {
                QVERIFY(parent == worker.loadingWindow());
                QCOMPARE(from, QStringLiteral("0"));
                recorder.events << QStringLiteral("dialog %1 %2").arg(static_cast<int>(type)).arg(msg);
            });
}

void TestStartFailure::decision_data()
{
    QTest::addColumn<QString>("error");
    QTest::addColumn<double>("progress");
    QTest::addColumn<bool>("retry");
    QTest::addColumn<QStringList>("events");
    QTest::addColumn<bool>("reinstalled");

    const QStringList logAndDialog{"upload ERRORLOG", "dialog 7 "};
    QTest::newRow("unknown cpu beats a broken driver")
        << "VBoxManage: error: Unknown CPU; kernel driver not installed" << 20.0 << false
        << QStringList{"dialog 9 1601"} << false;
    QTest::newRow("COM server below 35") << "VBoxManage: error: Failed to create the VirtualBox COM server"
                                         << 34.0 << true << QStringList{"progress 34 35"} << true;
    QTest::newRow("kernel driver below 35") << "The VirtualBox kernel driver is not accessible" << 12.5
                                            << true << QStringList{"progress 12 35"} << true;
    QTest::newRow("exit code 1 below 35")
        << "VBoxHeadless with exit code 1" << 30.0 << true << QStringList{"progress 30 35"} << true;
    QTest::newRow("exactly 35 sends the log")
        << "VirtualBox COM server is gone" << 35.0 << false << logAndDialog << false;
    QTest::newRow("capital Kernel does not match")
        << "Kernel driver missing" << 20.0 << false << logAndDialog << false;
    QTest::newRow("empty error text") << "" << 20.0 << false << logAndDialog << false;
}

void TestStartFailure::decision()
{
    QFETCH(QString, error);
    QFETCH(double, progress);
    QFETCH(bool, retry);
    QFETCH(QStringList, events);
    QFETCH(bool, reinstalled);

    LoadingControl worker;
    Recorder recorder;
    connectRecorder(worker, recorder);
    Global::lastErrorCode = error;
    startupProgress = progress;

    QCOMPARE(worker.handleStartError(1008), retry);
    QCOMPARE(recorder.events, events);
    const QString records = qEnvironmentVariable("ORV_RECORD_DIR");
    if (reinstalled) {
        QCOMPARE(updaterCalls(records), (QList<QStringList>{{"fromOrvantaToResetVBox"}}));
        QCOMPARE(startupProgress.load(), 35.0);
        QCOMPARE(Global::installInfo.vboxPath,
                 Global::installInfo.installDir + QStringLiteral("/OrvantaVM/vbox"));
    } else {
        QCOMPARE(updaterCalls(records), QList<QStringList>{});
        QCOMPARE(startupProgress.load(), progress);
    }
    if (events.contains(QStringLiteral("upload ERRORLOG")))
        QVERIFY(recorder.uploadedText.startsWith(QStringLiteral(" [err]\r\n") + error +
                                                 QStringLiteral("\r\n [sys]\r\n")));
}

void TestStartFailure::secondFailureAfterReinstallSendsTheLog()
{
    LoadingControl worker;
    Recorder recorder;
    connectRecorder(worker, recorder);
    Global::lastErrorCode = QStringLiteral("VirtualBox COM server");
    startupProgress = 34.0;
    QVERIFY(worker.handleStartError(1008));
    // The retry runs the machine steps again (4, 10 and 3 more) and fails the same way.
    startupProgress = 52.0;
    QVERIFY(!worker.handleStartError(1008));
    QCOMPARE(recorder.events, (QStringList{"progress 34 35", "upload ERRORLOG", "dialog 7 "}));
    QCOMPARE(updaterCalls(qEnvironmentVariable("ORV_RECORD_DIR")).size(), 1);
}

void TestStartFailure::errorLogText()
{
    LoadingControl worker;
    // Tool output may hold placeholders of its own; they reach the log as they are.
    Global::lastErrorCode = QStringLiteral("VBoxManage: error: 100%1 done, %2 left");
    SystemInfo &info = Global::systemInfo;
    info.is64Bit = true;
    info.vtSupported = false;
    info.startWithVt = true;
    info.memoryMB = 8192;
    info.hostCpuCount = 4;
    info.cpuName = QStringLiteral("Example CPU %3");
    info.openglVersion = QStringLiteral("4.5");
    info.renderer = QStringLiteral("llvmpipe");
    info.windowsName = QStringLiteral("Debian");
    info.windowsBuild = QStringLiteral("12");

    const QString expectedSystem =
        QStringLiteral(
            "version: 1.4.2\r\nbit: 64\r\nvt: no\r\nstartWithVt: yes\r\nmemory: 8192M\r\ncpuNum: 4\r\n"
            "cpu: Example CPU %3\r\noglVersion: 4.5\r\ncurGraphics: llvmpipe\r\nrenderMode: ") +
        SettingModel::instance()->performance()->renderMode() +
        QStringLiteral("\r\nwinVersion: Debian 12\r\n");
    QCOMPARE(worker.systemText(), expectedSystem);

    QSignalSpy upload(&worker, &LoadingControl::uploadCrashOrErrorLog);
    worker.writeErrorLog();
    QCOMPARE(upload.count(), 1);
    QCOMPARE(upload.at(0).at(0).toString(), QStringLiteral("ERRORLOG"));
    QCOMPARE(upload.at(0).at(1).toString(),
             QStringLiteral(" [err]\r\nVBoxManage: error: 100%1 done, %2 left\r\n [sys]\r\n") +
                 expectedSystem + QStringLiteral("\r\n [setting]\r\n") +
                 SettingModel::instance()->settingsText() + QStringLiteral("\r\n [host]\r\n\r\n"));
}

void TestStartFailure::placeholders_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QStringList>("values");
    QTest::addColumn<QString>("expected");
    QTest::newRow("in order") << "%1-%2" << QStringList{"a", "b"} << "a-b";
    QTest::newRow("value holding a placeholder") << "%1|%2" << QStringList{"%2", "x"} << "%2|x";
    QTest::newRow("two digits") << "%10,%11,%1"
                                << QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9", "ten", "eleven"}
                                << "ten,eleven,1";
    QTest::newRow("one digit when fewer values") << "%10" << QStringList{"a"} << "a0";
    QTest::newRow("unknown placeholder kept") << "%3 and 50%" << QStringList{"a"} << "%3 and 50%";
}

void TestStartFailure::placeholders()
{
    QFETCH(QString, format);
    QFETCH(QStringList, values);
    QFETCH(QString, expected);
    QCOMPARE(LoadingControl::fillPlaceholders(format, values), expected);
}

void TestStartFailure::startUpCheckResultsReachTheReportedRecords()
{
    LoadingControl worker;
    CheckResults::clear();
    worker.parseCheckResults(QStringLiteral("Memory|true|ok|;VT|false|vt off|open bios;broken part;"));
    worker.parseCheckResults(QStringLiteral("Graphics|false|old driver|update;"));
    // The dialog's rerun and a help-page click land in the same records.
    CheckResults::recordEnd(QStringLiteral("VT|true|ok|;"));
    CheckResults::recordClick(QStringLiteral("Graphics"));

    const QMap<QString, checkResultRecord> records = CheckResults::snapshot();
    QCOMPARE(records.keys(), (QStringList{"Graphics", "Memory", "VT"}));
    const auto states = [&](const QString &name) {
        const checkResultRecord record = records.value(name);
        return QList<int>{record.initState, record.endState, record.clickState};
    };
    QCOMPARE(states("Memory"), (QList<int>{1, 0, 0}));
    QCOMPARE(states("VT"), (QList<int>{0, 1, 0}));
    QCOMPARE(states("Graphics"), (QList<int>{0, 0, 1}));
}

QTEST_MAIN(TestStartFailure)
#include "tst_startfailure.moc"
