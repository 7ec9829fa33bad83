// The process table read from /proc: the stat-line reader on odd command names, program names of live
// and ended processes, which processes run the emulator's program (by executable, not by the name a
// process gives itself), ids beyond the range of pid_t, and ending a real process tree.

#include "processes.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <climits>
#include <csignal>
#include <unistd.h>

namespace {

// Alive: the process exists and has not ended (a zombie waiting to be reaped has ended).
bool alive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const char state = Processes::parseState(stat.readAll());
    return state != 0 && state != 'Z' && state != 'X';
}

qint64 readPid(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong() : 0;
}

} // namespace

class TestProcesses : public QObject
{
    Q_OBJECT

private slots:
    void statLine_data();
    void statLine();
    void programNames();
    void programIdentity_data();
    void programIdentity();
    void idsBeyondThePidRange();
    void killTreeEndsEveryDescendant();
    void killTreeWhileTheTreeGrows();
    void killTreeRefusesSpecialIds();
};

void TestProcesses::statLine_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<qint64>("parent");
    QTest::addColumn<char>("state");
    QTest::newRow("plain") << QByteArray("4242 (Orvanta) S 17 4242 4242 0 -1 4194560 1\n") << qint64(17)
                           << 'S';
    QTest::newRow("blanks and parentheses in the name")
        << QByteArray("77 (a) b (c)) Z 1 77 77 0") << qint64(1) << 'Z';
    QTest::newRow("no trailing line end") << QByteArray("9 (sh) R 8") << qint64(8) << 'R';
    QTest::newRow("empty") << QByteArray() << qint64(-1) << char(0);
    QTest::newRow("no name") << QByteArray("12 S 1") << qint64(-1) << char(0);
    QTest::newRow("cut after the name") << QByteArray("12 (x)") << qint64(-1) << char(0);
    QTest::newRow("parent not a number") << QByteArray("12 (x) S y") << qint64(-1) << 'S';
}

void TestProcesses::statLine()
{
    QFETCH(QByteArray, text);
    QFETCH(qint64, parent);
    QFETCH(char, state);
    QCOMPARE(Processes::parseParentId(text), parent);
    QCOMPARE(Processes::parseState(text), state);
}

void TestProcesses::programNames()
{
    QProcess sleeper;
    sleeper.start(QStringLiteral("sleep"), {QStringLiteral("30")});
    QVERIFY(sleeper.waitForStarted());
    const qint64 pid = sleeper.processId();

    QCOMPARE(Processes::commandName(pid), QStringLiteral("sleep"));
    QVERIFY(Processes::runsProgram(pid, QStringLiteral("sleep")));
    QVERIFY(!Processes::runsProgram(pid, QStringLiteral("Sleep"))); // case matters
    QVERIFY(!Processes::runsProgram(pid, QStringLiteral("Orvanta")));
    QVERIFY(Processes::findByName(QStringLiteral("sleep")).contains(pid));
    QCOMPARE(Processes::threadIds(pid), QList<qint64>{pid});
    // This test's own threads include its main thread.
    QVERIFY(Processes::threadIds(::getpid()).contains(::getpid()));

    sleeper.kill();
    QVERIFY(sleeper.waitForFinished());
    QVERIFY(!Processes::runsProgram(pid, QStringLiteral("sleep")));
    QVERIFY(Processes::threadIds(-5).isEmpty());
}

void TestProcesses::programIdentity_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("comm");   // the command name the process shows
    QTest::addColumn<bool>("isOrvanta"); // counts as running the program "Orvanta"
    QTest::newRow("program file named Orvanta") << "copy"
                                                << "Orvanta" << true;
    QTest::newRow("program file deleted while it runs") << "deleted copy"
                                                        << "Orvanta" << true;
    QTest::newRow("program file named Orvanta2") << "longer copy"
                                                 << "Orvanta2" << false;
    QTest::newRow("bash renamed itself through /proc/self/comm") << "bash comm"
                                                                 << "Orvanta" << false;
    QTest::newRow("python3 renamed itself with prctl") << "python prctl"
                                                       << "Orvanta" << false;
    QTest::newRow("sleep started as Orvanta (exec -a)") << "exec -a"
                                                        << "sleep" << false;
    QTest::newRow("script file named Orvanta") << "script"
                                               << "Orvanta" << false;
}

void TestProcesses::programIdentity()
{
    QFETCH(QString, kind);
    QFETCH(QString, comm);
    QFETCH(bool, isOrvanta);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString sleepProgram = QStandardPaths::findExecutable(QStringLiteral("sleep"));
    QVERIFY(!sleepProgram.isEmpty());

    QProcess process;
    if (kind.endsWith(QLatin1String("copy"))) {
        const QString copy = dir.filePath(kind == "longer copy" ? "Orvanta2" : "Orvanta");
        QVERIFY(QFile::copy(sleepProgram, copy));
        QVERIFY(QFile::setPermissions(copy, QFile::ReadOwner | QFile::ExeOwner));
        process.start(copy, {QStringLiteral("60")});
        QVERIFY(process.waitForStarted());
        if (kind == "deleted copy")
            QVERIFY(QFile::remove(copy));
    } else if (kind == "bash comm") {
        process.start(QStringLiteral("bash"),
                      {QStringLiteral("-c"),
                       QStringLiteral("printf Orvanta > /proc/self/comm; while :; do sleep 0.2; done")});
    } else if (kind == "python prctl") {
        const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
        if (python.isEmpty())
            QSKIP("no python3 on this host");
        process.start(
            python, {QStringLiteral("-c"), QStringLiteral("import ctypes, time\n"
                                                          "ctypes.CDLL(None).prctl(15, b'Orvanta', 0, 0, 0)\n"
                                                          "time.sleep(60)\n")});
    } else if (kind == "exec -a") {
        process.start(QStringLiteral("bash"),
                      {QStringLiteral("-c"), QStringLiteral("exec -a Orvanta sleep 60")});
    } else if (kind == "script") {
        const QString script = dir.filePath(QStringLiteral("Orvanta"));
        QFile file(script);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("#!/bin/sh\nwhile :; do sleep 0.2; done\n");
        file.close();
        QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        process.start(script, QStringList());
    }
    QVERIFY(process.waitForStarted());
    const qint64 pid = process.processId();
    // The process shows the command name it was meant to show before anything is asked.
    QTRY_COMPARE(Processes::commandName(pid), comm);

    QCOMPARE(Processes::runsProgram(pid, QStringLiteral("Orvanta")), isOrvanta);
    QCOMPARE(Processes::findByName(QStringLiteral("Orvanta")).contains(pid), isOrvanta);
    if (isOrvanta)
        QCOMPARE(Processes::executableName(pid), QStringLiteral("Orvanta"));
    else
        QVERIFY(!Processes::executableName(pid).isEmpty());

    process.kill();
    QVERIFY(process.waitForFinished());
    QVERIFY(!Processes::runsProgram(pid, QStringLiteral("Orvanta")));
}

void TestProcesses::idsBeyondThePidRange()
{
    QCOMPARE(Processes::maxProcessId(), qint64(INT_MAX));
    QVERIFY(!Processes::isProcessId(0));
    QVERIFY(!Processes::isProcessId(-1));
    QVERIFY(Processes::isProcessId(1));
    QVERIFY(Processes::isProcessId(INT_MAX));
    QVERIFY(!Processes::isProcessId(qint64(INT_MAX) + 1));

    // A live process whose id, plus a multiple of 2^32, is asked for: the larger id names no process
    // and must never be cut down to this one.
    QProcess sleeper;
    sleeper.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    QVERIFY(sleeper.waitForStarted());
    const qint64 pid = sleeper.processId();
    QTRY_COMPARE(Processes::commandName(pid), QStringLiteral("sleep"));
    for (qint64 wide : {(qint64(1) << 32) + pid, (qint64(1) << 33) + pid}) {
        const QByteArray row = QByteArray::number(wide);
        QVERIFY2(Processes::commandName(wide).isEmpty(), row);
        QVERIFY2(Processes::executableName(wide).isEmpty(), row);
        QVERIFY2(!Processes::runsProgram(wide, QStringLiteral("sleep")), row);
        QVERIFY2(Processes::threadIds(wide).isEmpty(), row);
        QVERIFY2(Processes::descendants(wide).isEmpty(), row);
        QCOMPARE(Processes::killTree(wide), 0);
    }
    QTest::qWait(100);
    QVERIFY(alive(pid));
    QCOMPARE(sleeper.state(), QProcess::Running);
    sleeper.kill();
    sleeper.waitForFinished();
}

void TestProcesses::killTreeEndsEveryDescendant()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    // A shell with a child, and a grandchild below a second shell; the shells write the ids.
    const QString script = QStringLiteral("sleep 300 & echo $! > '%1/child'\n"
                                          "sh -c 'sleep 300 & echo $! > \"%1/grandchild\"; wait' &\n"
                                          "echo $! > '%1/middle'\n"
                                          "wait\n")
                               .arg(dir.path());
    QProcess top;
    top.start(QStringLiteral("sh"), {QStringLiteral("-c"), script});
    QVERIFY(top.waitForStarted());
    // The shell creates each file before it writes the id into it: wait for the ids, not the files.
    QTRY_VERIFY(readPid(dir.filePath(QStringLiteral("child"))) > 0 &&
                readPid(dir.filePath(QStringLiteral("grandchild"))) > 0 &&
                readPid(dir.filePath(QStringLiteral("middle"))) > 0);
    const qint64 child = readPid(dir.filePath(QStringLiteral("child")));
    const qint64 middle = readPid(dir.filePath(QStringLiteral("middle")));
    const qint64 grandchild = readPid(dir.filePath(QStringLiteral("grandchild")));
    QVERIFY(child > 0 && middle > 0);

    const QList<qint64> below = Processes::descendants(top.processId());
    for (qint64 pid : {child, middle, grandchild})
        QVERIFY2(below.contains(pid), qPrintable(QString::number(pid)));

    QCOMPARE(Processes::killTree(top.processId()), 4);
    QVERIFY(top.waitForFinished());
    QCOMPARE(top.exitStatus(), QProcess::CrashExit);
    for (qint64 pid : {child, middle, grandchild})
        QTRY_VERIFY2(!alive(pid), qPrintable(QString::number(pid)));
}

void TestProcesses::killTreeWhileTheTreeGrows()
{
    // A shell that keeps starting children while it is being ended: none of them may survive. The
    // children carry a marker argument so that they can be found after the shell is gone.
    const QString marker = QStringLiteral("299.%1").arg(::getpid());
    QProcess top;
    top.start(
        QStringLiteral("sh"),
        {QStringLiteral("-c"),
         QStringLiteral("i=0; while [ $i -lt 300 ]; do sleep %1 & i=$((i+1)); done; wait").arg(marker)});
    QVERIFY(top.waitForStarted());
    QTRY_VERIFY(Processes::descendants(top.processId()).size() >= 5);

    QVERIFY(Processes::killTree(top.processId()) >= 6);
    QVERIFY(top.waitForFinished());
    const auto survivors = [&] {
        int count = 0;
        for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
            QFile cmdline(QStringLiteral("/proc/") + entry + QStringLiteral("/cmdline"));
            if (cmdline.open(QIODevice::ReadOnly) && cmdline.readAll().contains(marker.toUtf8()) &&
                alive(entry.toLongLong()))
                ++count;
        }
        return count;
    };
    QTRY_COMPARE(survivors(), 0);
}

void TestProcesses::killTreeRefusesSpecialIds()
{
    // Ids that kill() would widen to a group or to every process, and this process itself.
    for (qint64 pid : {qint64(0), qint64(1), qint64(-1), qint64(-2), qint64(::getpid())})
        QCOMPARE(Processes::killTree(pid), 0);
}

QTEST_GUILESS_MAIN(TestProcesses)
#include "tst_processes.moc"
