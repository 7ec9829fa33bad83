#include "crashhandler.h"
#include "global.h"
#include "installtree.h"
#include "programrun.h"
#include "sharedsegment.h"
#include "testartefacts.h"
#include "x11windows.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

#include <memory>
#include <signal.h>

namespace {

// A crash notice that records its start and stays open until the test "confirms" it, or until the
// test's installation is gone (a test that ends without confirming leaves no process behind).
const char *const kWaitingNotice = "#!/bin/sh\n"
                                   "printf '%s\\n' \"$*\" >> \"$ORV_RECORD_DIR/OrvCrashNotice.calls\"\n"
                                   "while [ ! -e \"$ORV_RECORD_DIR/notice.confirmed\" ] && [ -d "
                                   "\"$ORV_RECORD_DIR\" ]; do sleep 0.05; done\n";

QString readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool writeFile(const QString &path, const QByteArray &bytes, bool executable = false)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(bytes);
    file.close();
    return !executable || file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeUser);
}

// The command lines the cleaner was started with, read back from the first line of each of its runs in
// its own log: {"-vm", vm, "-vp", tool, "-pid", pid, "-to", waits}.
QList<QStringList> cleanerStarts(const InstallTree &tree)
{
    QList<QStringList> starts;
    static const QRegularExpression start(
        QStringLiteral("ClearData : vm \"([^\"]*)\" vp \"([^\"]*)\" pid \"([^\"]*)\" to (\\S+)\n"));
    for (const QFileInfo &info :
         QDir(tree.logDir()).entryInfoList({"OrvClear-*.log"}, QDir::Files, QDir::Name)) {
        auto it = start.globalMatch(readFile(info.absoluteFilePath()));
        while (it.hasNext()) {
            const QRegularExpressionMatch match = it.next();
            starts << QStringList{"-vm",  match.captured(1), "-vp", match.captured(2),
                                  "-pid", match.captured(3), "-to", match.captured(4)};
        }
    }
    return starts;
}

QStringList dumpFiles(const InstallTree &tree)
{
    QStringList paths;
    for (const QFileInfo &info : QDir(tree.installDir() + "/log/crash").entryInfoList({"*.dmp"}, QDir::Files))
        paths << info.absoluteFilePath();
    return paths;
}

} // namespace

class TestCrash : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void crashRunsItsStepsInOrder();
    void furtherSignalsWaitForTheFollowUp_data();
    void furtherSignalsWaitForTheFollowUp();
    void noticeLeftOpenIsBounded();
    void cleanerGetsTheToolPathFoundAtStartUp();
    void realNoticeIsShownAndClosedByTheUser();
    void everyCrashSignalIsHandled_data();
    void everyCrashSignalIsHandled();
    void followUpWhileQuitting_data();
    void followUpWhileQuitting();

private:
    std::unique_ptr<InstallTree> m_tree;
    QByteArray m_savedPath = qgetenv("PATH");
};

void TestCrash::init()
{
    m_tree = std::make_unique<InstallTree>();
    QVERIFY(m_tree->isValid());
    QVERIFY(m_tree->addProgram("Orvanta"));
    QVERIFY(m_tree->addRecorder("OrvMultiPlayer"));
    QVERIFY(m_tree->addProgram("OrvClear"));
    m_tree->useTempDirHere();
}

void TestCrash::cleanup()
{
    // A crashed emulator leaves its segment behind (the next start of that machine would remove it);
    // remove it here, before the tree that names it goes away.
    for (const char *vm : {"Orvanta_12", "Orvanta_13"}) {
        SharedSegment leftover(QString::fromLatin1(vm));
        leftover.remove();
    }
    qputenv("PATH", m_savedPath);
    appQuittingFlag = false;
    m_tree.reset();
}

void TestCrash::crashRunsItsStepsInOrder()
{
    QVERIFY(writeFile(m_tree->playerDir() + "/OrvCrashNotice", kWaitingNotice, true));
    ProgramRun emulator(*m_tree, "Orvanta", {"-vm=Orvanta_12", "-tcp"});
    QVERIFY(emulator.start());
    QVERIFY(emulator.waitForOutput(" start====="));
    const qint64 pid = emulator.pid();
    QVERIFY(dumpFiles(*m_tree).isEmpty());

    QCOMPARE(::kill(static_cast<pid_t>(pid), SIGSEGV), 0);

    // The notice is up and the crashed process waits for it: dump, log line and status are done,
    // the cleaner is not started yet.
    const QString noticeCalls = m_tree->recordDir() + "/OrvCrashNotice.calls";
    // The stand-in creates its file before it writes the line: wait for the line itself.
    QVERIFY(waitUntil([&] { return !readFile(noticeCalls).isEmpty(); }, 10000));
    QVERIFY(waitUntil([&] { return readFile(noticeCalls).endsWith('\n'); }, 10000));
    QCOMPARE(readFile(noticeCalls), QString("-vm=Orvanta_12\n"));
    QVERIFY(emulator.isRunning());
    const QStringList dumps = dumpFiles(*m_tree);
    QCOMPARE(dumps.size(), 1);
    // Private to the user, whatever the file-creation mask.
    QCOMPARE(QFileInfo(dumps.first()).permissions() & 0x7077, QFile::ReadOwner | QFile::WriteOwner);
    const QString dump = readFile(dumps.first());
    QVERIFY2(dump.startsWith("Orvanta crash dump\nvm: Orvanta_12\npid: " + QString::number(pid) + "\n"),
             qPrintable(dump));
    QVERIFY(dump.contains("\nsignal: 11 SIGSEGV\n"));
    QVERIFY(dump.contains("\nsender pid: " + QString::number(QCoreApplication::applicationPid()) + "\n"));
    QVERIFY(dump.contains("\nbacktrace:\n"));
    QVERIFY(dump.contains("Orvanta")); // the program's own frames and mapping
    QVERIFY(m_tree->logText().contains("]: Orvanta_12  I/Orvanta_12 crash\n"));
    QTRY_VERIFY_WITH_TIMEOUT(m_tree->calls("OrvMultiPlayer").contains({"-vm=Orvanta_12", "-status=ERROR"}),
                             20000);
    QCOMPARE(SharedSegment::peekText("Orvanta_12"), QString("ERROR"));
    QVERIFY(cleanerStarts(*m_tree).isEmpty());

    QVERIFY(writeFile(m_tree->recordDir() + "/notice.confirmed", ""));
    QTRY_COMPARE_WITH_TIMEOUT(
        cleanerStarts(*m_tree),
        (QList<QStringList>{{"-vm", "Orvanta_12", "-vp", "", "-pid", QString::number(pid), "-to", "5"}}),
        20000);
    QVERIFY(emulator.waitForFinished());
    QCOMPARE(emulator.exitStatus(), QProcess::CrashExit);

    // The steps in the log, in order.
    const QString log = m_tree->logText();
    const int crashLine = log.indexOf("I/Orvanta_12 crash\n");
    const int clearLine =
        log.indexOf("I/Control    : start clear process :  -vm \"Orvanta_12\" -vp \"\" -pid \"" +
                    QString::number(pid) + "\"\n");
    QVERIFY2(crashLine > 0 && clearLine > crashLine, qPrintable(log));
}

void TestCrash::furtherSignalsWaitForTheFollowUp_data()
{
    QTest::addColumn<QList<int>>("further");
    QTest::newRow("SIGABRT") << QList<int>{SIGABRT};
    QTest::newRow("SIGABRT, SIGBUS, SIGSEGV") << QList<int>{SIGABRT, SIGBUS, SIGSEGV};
}

void TestCrash::furtherSignalsWaitForTheFollowUp()
{
    // Fatal signals that reach the process while the crash notice is open (a watchdog, a second fault
    // report) neither end it nor start a second follow-up: the cleaner still starts once the user has
    // closed the notice.
    QFETCH(QList<int>, further);
    QVERIFY(writeFile(m_tree->playerDir() + "/OrvCrashNotice", kWaitingNotice, true));
    ProgramRun emulator(*m_tree, "Orvanta", {"-vm=Orvanta_12", "-tcp"});
    QVERIFY(emulator.start());
    QVERIFY(emulator.waitForOutput(" start====="));
    const qint64 pid = emulator.pid();
    QCOMPARE(::kill(static_cast<pid_t>(pid), SIGSEGV), 0);
    const QString noticeCalls = m_tree->recordDir() + "/OrvCrashNotice.calls";
    QVERIFY(waitUntil([&] { return QFile::exists(noticeCalls); }, 10000));

    for (int signo : further)
        QCOMPARE(::kill(static_cast<pid_t>(pid), signo), 0);
    // The signals are taken while the notice is still open.
    QVERIFY(waitUntil(
        [&] {
            return m_tree->calls("OrvMultiPlayer").contains({"-vm=Orvanta_12", "-status=ERROR"});
        },
        20000));
    QVERIFY(emulator.isRunning());

    QVERIFY(writeFile(m_tree->recordDir() + "/notice.confirmed", ""));
    QTRY_COMPARE_WITH_TIMEOUT(cleanerStarts(*m_tree).size(), 1, 20000);
    QCOMPARE(cleanerStarts(*m_tree).first().at(5), QString::number(pid));
    QVERIFY(emulator.waitForFinished());
    QCOMPARE(emulator.exitStatus(), QProcess::CrashExit);
    QCOMPARE(readFile(noticeCalls), QString("-vm=Orvanta_12\n"));
    QCOMPARE(dumpFiles(*m_tree).size(), 1);
    QCOMPARE(m_tree->logText().count("I/Orvanta_12 crash\n"), 1);
}

void TestCrash::noticeLeftOpenIsBounded()
{
    // Nobody closes the notice (ten minutes in production, scaled down here): the follow-up goes on
    // and the cleaner is started all the same.
    m_tree->setEnv("ORV_TIMEOUT_SCALE", "0.001");
    QVERIFY(writeFile(m_tree->playerDir() + "/OrvCrashNotice", kWaitingNotice, true));
    ProgramRun emulator(*m_tree, "Orvanta", {"-vm=Orvanta_12", "-tcp"});
    QVERIFY(emulator.start());
    QVERIFY(emulator.waitForOutput(" start====="));
    QCOMPARE(::kill(static_cast<pid_t>(emulator.pid()), SIGSEGV), 0);
    QTRY_COMPARE_WITH_TIMEOUT(cleanerStarts(*m_tree).size(), 1, 20000);
    QVERIFY(emulator.waitForFinished());
    QVERIFY(m_tree->logText().contains("W/CrashHandler : crash notice still open, the follow-up goes on\n"));
    QVERIFY(writeFile(m_tree->recordDir() + "/notice.confirmed", "")); // lets the stand-in notice end
}

void TestCrash::cleanerGetsTheToolPathFoundAtStartUp()
{
    // The follow-up is prepared at start; the tool path found later by the start-up reaches the cleaner.
    QVERIFY(m_tree->addVirtualBox());
    QVERIFY(m_tree->addRecorder("OrvCrashNotice", m_tree->playerDir()));
    ProgramRun emulator(*m_tree, "Orvanta", {"-vm=Orvanta_13"});
    QVERIFY(emulator.start());
    QVERIFY(emulator.waitForText("VBoxTool   : check ok", 30000));
    QCOMPARE(::kill(static_cast<pid_t>(emulator.pid()), SIGSEGV), 0);
    QTRY_COMPARE_WITH_TIMEOUT(cleanerStarts(*m_tree).size(), 1, 20000);
    QCOMPARE(cleanerStarts(*m_tree).first().mid(2, 2),
             (QStringList{"-vp", QFileInfo(m_tree->vboxDir() + "/OrvvmManage").absoluteFilePath()}));
    QVERIFY(emulator.waitForFinished());
}

void TestCrash::realNoticeIsShownAndClosedByTheUser()
{
    // The notice program itself on the test run's X server: it shows a window, the crashed process
    // waits for it, and closing it as a user does (the window manager's close) lets the follow-up end.
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display");
    QVERIFY(m_tree->addProgram("OrvCrashNotice"));
    ProgramRun emulator(*m_tree, "Orvanta", {"-vm=Orvanta_12", "-tcp"});
    QVERIFY(emulator.start());
    QVERIFY(emulator.waitForOutput(" start====="));
    QCOMPARE(::kill(static_cast<pid_t>(emulator.pid()), SIGSEGV), 0);

    unsigned long notice = 0;
    QVERIFY(waitUntil([&] { return (notice = X11Windows::findWindowOf("OrvCrashNotice")) != 0; }, 20000));
    // Drawn, not a blank rectangle: kept as a picture beside the test for a human to look at.
    QImage picture;
    QVERIFY(waitUntil(
        [&] {
            picture = X11Windows::grab(notice);
            QSet<QRgb> colours;
            for (int y = 0; y < picture.height(); y += 4)
                for (int x = 0; x < picture.width(); x += 4)
                    colours.insert(picture.pixel(x, y));
            return picture.width() > 100 && picture.height() > 60 && colours.size() > 8;
        },
        10000));
    picture.save(TestArtefacts::path(QStringLiteral("crash-notice.png")));
    QVERIFY(emulator.isRunning());
    QVERIFY(cleanerStarts(*m_tree).isEmpty());

    QVERIFY(X11Windows::close(notice));
    QTRY_COMPARE_WITH_TIMEOUT(cleanerStarts(*m_tree).size(), 1, 20000);
    QVERIFY(emulator.waitForFinished());
    QCOMPARE(emulator.exitStatus(), QProcess::CrashExit);
    QVERIFY(waitUntil([] { return X11Windows::findWindowOf("OrvCrashNotice") == 0; }, 10000));
}

void TestCrash::everyCrashSignalIsHandled_data()
{
    QTest::addColumn<int>("signo");
    QTest::addColumn<QString>("name");
    QTest::newRow("SIGBUS") << int(SIGBUS) << "SIGBUS";
    QTest::newRow("SIGFPE") << int(SIGFPE) << "SIGFPE";
    QTest::newRow("SIGILL") << int(SIGILL) << "SIGILL";
    QTest::newRow("SIGABRT") << int(SIGABRT) << "SIGABRT";
}

void TestCrash::everyCrashSignalIsHandled()
{
    QFETCH(int, signo);
    QFETCH(QString, name);
    // A notice that the user confirms at once.
    QVERIFY(m_tree->addRecorder("OrvCrashNotice", m_tree->playerDir()));
    ProgramRun emulator(*m_tree, "Orvanta", {"-vm=Orvanta_13"});
    QVERIFY(emulator.start());
    QVERIFY(emulator.waitForOutput(" start====="));
    const qint64 pid = emulator.pid();
    QCOMPARE(::kill(static_cast<pid_t>(pid), signo), 0);
    QVERIFY(emulator.waitForFinished());
    QCOMPARE(emulator.exitStatus(), QProcess::CrashExit);

    const QStringList dumps = dumpFiles(*m_tree);
    QCOMPARE(dumps.size(), 1);
    QVERIFY(readFile(dumps.first()).contains(QString("\nsignal: %1 %2\n").arg(signo).arg(name)));
    QCOMPARE(m_tree->calls("OrvCrashNotice"), (QList<QStringList>{{"-vm=Orvanta_13"}}));
    QVERIFY(m_tree->logText().contains("I/Orvanta_13 crash\n"));
    QTRY_VERIFY(m_tree->calls("OrvMultiPlayer").contains({"-vm=Orvanta_13", "-status=ERROR"}));
    QTRY_COMPARE(cleanerStarts(*m_tree).size(), 1);
    QCOMPARE(cleanerStarts(*m_tree).first().at(5), QString::number(pid));
}

void TestCrash::followUpWhileQuitting_data()
{
    QTest::addColumn<bool>("quitting");
    QTest::addColumn<bool>("dumpWritten");
    QTest::newRow("running") << false << true;
    QTest::newRow("quitting: no notice") << true << true;
    QTest::newRow("dump failed: steps still run") << false << false;
}

void TestCrash::followUpWhileQuitting()
{
    QFETCH(bool, quitting);
    QFETCH(bool, dumpWritten);
    // The follow-up as the handler thread runs it, here in this process with stand-ins on PATH.
    QVERIFY(m_tree->addRecorder("OrvCrashNotice"));
    qputenv("PATH",
            m_tree->playerDir().toLocal8Bit() + ':' + m_tree->binDir().toLocal8Bit() + ':' + m_savedPath);
    qputenv("ORV_RECORD_DIR", m_tree->recordDir().toLocal8Bit());
    Global::vmName = "Orvanta_14";
    Global::vboxToolPath = m_tree->versionDir() + "/VirtualBox/VBoxManage";
    appQuittingFlag = quitting;

    QCOMPARE(onCrash("/nowhere", "crash-1", dumpWritten), dumpWritten);

    QCOMPARE(m_tree->calls("OrvCrashNotice").size(), quitting ? 0 : 1);
    QTRY_COMPARE(m_tree->calls("OrvMultiPlayer"), (QList<QStringList>{{"-vm=Orvanta_14", "-status=ERROR"}}));
    // The real cleaner gets this test's own process id: a process under another program name counts as
    // gone, so it powers nothing off (no tool there) and ends nothing.
    QTRY_COMPARE(cleanerStarts(*m_tree),
                 (QList<QStringList>{{"-vm", "Orvanta_14", "-vp", Global::vboxToolPath, "-pid",
                                      QString::number(QCoreApplication::applicationPid()), "-to", "5"}}));
}

QTEST_GUILESS_MAIN(TestCrash)
#include "tst_crash.moc"
