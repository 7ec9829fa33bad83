// OrvClear run as the real program in a temporary install tree, against the simulated VirtualBox tool
// and real processes standing in for a crashed emulator: what it asks the tool, which processes it
// ends and which it leaves alone, how long it may take, and how it reads its command line. Last, the
// whole crash path: a crashing emulator's cleaner powers its machine off.

#include "calllogs.h"
#include "installtree.h"
#include "programrun.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QtTest>

#include <memory>
#include <signal.h>

namespace {

using Calls = QList<QStringList>;

// Stands in for a crashed emulator, run by a copy of the shell whose file is named Orvanta (the cleaner
// knows the emulator by its executable's file name). It starts a child and, below another shell, a
// grandchild, writes their ids, and waits; given a file name it ends by itself once that file exists.
const char *const kFakeEmulator = "dir=$(dirname \"$0\")\n"
                                  "if [ -n \"$1\" ]; then\n"
                                  "    while [ ! -e \"$1\" ]; do sleep 0.02; done\n"
                                  "    exit 0\n"
                                  "fi\n"
                                  "sleep 300 & echo $! > \"$dir/child\"\n"
                                  "sh -c 'sleep 300 & echo $! > \"$0/grandchild\"; wait' \"$dir\" &\n"
                                  "wait\n";

// The same emulator, but it starts the cleaner itself with its own id (as the crash handler does) and
// waits for it: the cleaner then ends a tree that holds the cleaner itself.
const char *const kEmulatorStartingTheCleaner = "dir=$(dirname \"$0\")\n"
                                                "sleep 300 & echo $! > \"$dir/child\"\n"
                                                "\"$CLEANER\" -pid $$ -to 0 > \"$dir/cleaner.out\" 2>&1 &\n"
                                                "echo $! > \"$dir/cleaner\"\n"
                                                "wait\n";

bool alive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const int close = text.lastIndexOf(')');
    const char state = close > 0 && close + 2 < text.size() ? text.at(close + 2) : 0;
    return state != 0 && state != 'Z' && state != 'X';
}

QByteArray commandName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    return comm.open(QIODevice::ReadOnly) ? comm.readAll().trimmed() : QByteArray();
}

qint64 readPid(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed().toLongLong() : 0;
}

bool writeFile(const QString &path, const QByteArray &bytes, bool executable = false)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    file.write(bytes);
    file.close();
    return !executable || file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeUser);
}

} // namespace

class TestOrvClear : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void powerOff_data();
    void powerOff();
    void hungToolIsBoundedByTheTimeOut();
    void processTreeIsEndedAfterTheWait();
    void processThatEndsByItselfIsLeftAlone();
    void reusedProcessIdIsLeftAlone_data();
    void reusedProcessIdIsLeftAlone();
    void onlyTheEmulatorsProgramIsEnded_data();
    void onlyTheEmulatorsProgramIsEnded();
    void cleanerStartedByTheEmulatorEndsItsTree();
    void commandLine_data();
    void commandLine();
    void crashedEmulatorsMachineIsPoweredOff();

private:
    QString toolPath() const { return m_tree->vboxDir() + QStringLiteral("/VBoxManage"); }
    QString stateDir() const { return m_tree->root() + QStringLiteral("/vbox-state"); }
    Calls toolCalls() const { return readToolCalls(stateDir()); }
    void tool(const QStringList &args, QString *out = nullptr);
    QString vmState(const QString &vm);
    void writeFaults(const QByteArray &json);
    QString fakeEmulatorPath() const { return m_tree->root() + QStringLiteral("/fake/Orvanta"); }
    QString fakeScriptPath() const { return m_tree->root() + QStringLiteral("/fake/emulator.sh"); }
    // Writes `script` beside a copy of the shell named Orvanta; the emulator is then started as
    // fakeEmulatorPath() with fakeScriptPath() as its first argument.
    void makeFakeEmulator(const char *script);
    // Runs OrvClear to its end; its output (the log lines) goes to `output`.
    int runCleaner(const QStringList &args, QString *output = nullptr, qint64 *elapsedMs = nullptr);

    std::unique_ptr<InstallTree> m_tree;
};

void TestOrvClear::init()
{
    m_tree = std::make_unique<InstallTree>();
    QVERIFY(m_tree->isValid());
    QVERIFY(m_tree->addProgram(QStringLiteral("OrvClear")));
    QVERIFY(m_tree->addVirtualBox());
    // The cleaner's 12 s bound on each tool run becomes 0.6 s.
    m_tree->setEnv(QStringLiteral("ORV_TIMEOUT_SCALE"), QStringLiteral("0.05"));
}

void TestOrvClear::cleanup()
{
    // Machines left running would keep whatever the simulated tool runs for them; power them off.
    QFile::remove(stateDir() + QStringLiteral("/faults.json"));
    QString running;
    tool({QStringLiteral("list"), QStringLiteral("runningvms")}, &running);
    static const QRegularExpression name(QStringLiteral("^\"([^\"]*)\""),
                                         QRegularExpression::MultilineOption);
    for (auto it = name.globalMatch(running); it.hasNext();)
        tool({QStringLiteral("controlvm"), it.next().captured(1), QStringLiteral("poweroff")});
    m_tree.reset();
}

void TestOrvClear::tool(const QStringList &args, QString *out)
{
    QProcess process;
    process.setProcessEnvironment(m_tree->environment());
    process.start(toolPath(), args);
    QVERIFY(process.waitForFinished(10000));
    QVERIFY2(process.exitCode() == 0, qPrintable(args.join(' ') + ": " + process.readAllStandardError()));
    if (out)
        *out = QString::fromUtf8(process.readAllStandardOutput());
}

QString TestOrvClear::vmState(const QString &vm)
{
    QString out;
    tool({QStringLiteral("showvminfo"), vm, QStringLiteral("--machinereadable")}, &out);
    static const QRegularExpression state(QStringLiteral("^VMState=\"([^\"]*)\""),
                                          QRegularExpression::MultilineOption);
    return state.match(out).captured(1);
}

void TestOrvClear::writeFaults(const QByteArray &json)
{
    QVERIFY(writeFile(stateDir() + QStringLiteral("/faults.json"), json));
}

void TestOrvClear::makeFakeEmulator(const char *script)
{
    const QString shell = QStandardPaths::findExecutable(QStringLiteral("sh"));
    QVERIFY(!shell.isEmpty());
    QVERIFY(QDir().mkpath(QFileInfo(fakeEmulatorPath()).absolutePath()));
    QVERIFY(QFile::copy(shell, fakeEmulatorPath()));
    QVERIFY(QFile::setPermissions(fakeEmulatorPath(), QFile::ReadOwner | QFile::ExeOwner));
    QVERIFY(writeFile(fakeScriptPath(), script));
}

int TestOrvClear::runCleaner(const QStringList &args, QString *output, qint64 *elapsedMs)
{
    ProgramRun cleaner(*m_tree, QStringLiteral("OrvClear"), args);
    QElapsedTimer timer;
    timer.start();
    const int code = cleaner.run(30000);
    if (elapsedMs)
        *elapsedMs = timer.elapsed();
    if (output)
        *output = cleaner.output();
    return code;
}

void TestOrvClear::powerOff_data()
{
    QTest::addColumn<QStringList>("running"); // machines started before the cleaner runs
    QTest::addColumn<QStringList>("stopped"); // machines registered but not running
    QTest::addColumn<QStringList>("args");    // "%TOOL%" stands for the tool's path
    QTest::addColumn<Calls>("expected");      // the cleaner's tool calls
    QTest::addColumn<QStringList>("runningAfter");

    const QStringList list{"list", "runningvms"};
    QTest::newRow("running machine is powered off")
        << QStringList{"Orvanta_3"} << QStringList{} << QStringList{"-vm", "Orvanta_3", "-vp", "%TOOL%"}
        << Calls{list, {"controlvm", "Orvanta_3", "poweroff"}} << QStringList{};
    QTest::newRow("only this machine")
        << QStringList{"Orvanta_3", "Orvanta_4"} << QStringList{}
        << QStringList{"-vm", "Orvanta_4", "-vp", "%TOOL%"}
        << Calls{list, {"controlvm", "Orvanta_4", "poweroff"}} << QStringList{"Orvanta_3"};
    QTest::newRow("stopped machine: list only")
        << QStringList{} << QStringList{"Orvanta_3"} << QStringList{"-vm", "Orvanta_3", "-vp", "%TOOL%"}
        << Calls{list} << QStringList{};
    // A plain text search over the list: Orvanta_1 is "found" in Orvanta_10, and the tool refuses.
    QTest::newRow("longer name in the list")
        << QStringList{"Orvanta_10"} << QStringList{"Orvanta_1"}
        << QStringList{"-vm", "Orvanta_1", "-vp", "%TOOL%"}
        << Calls{list, {"controlvm", "Orvanta_1", "poweroff"}} << QStringList{"Orvanta_10"};
    QTest::newRow("machine without tool: nothing")
        << QStringList{"Orvanta_3"} << QStringList{} << QStringList{"-vm", "Orvanta_3"} << Calls{}
        << QStringList{"Orvanta_3"};
    QTest::newRow("tool without machine: nothing")
        << QStringList{"Orvanta_3"} << QStringList{} << QStringList{"-vp", "%TOOL%"} << Calls{}
        << QStringList{"Orvanta_3"};
}

void TestOrvClear::powerOff()
{
    QFETCH(QStringList, running);
    QFETCH(QStringList, stopped);
    QFETCH(QStringList, args);
    QFETCH(Calls, expected);
    QFETCH(QStringList, runningAfter);

    for (const QString &vm : running + stopped)
        tool({"createvm", "--name", vm, "--ostype", "Linux", "--register"});
    for (const QString &vm : running)
        tool({"startvm", vm, "--type", "headless"});
    QFile::remove(stateDir() + QStringLiteral("/calls.log"));

    args.replaceInStrings(QStringLiteral("%TOOL%"), toolPath());
    QString output;
    QCOMPARE(runCleaner(args, &output), 0);
    QCOMPARE(toolCalls(), expected);
    for (const QString &vm : running + stopped)
        QCOMPARE(vmState(vm), QString(runningAfter.contains(vm) ? "running" : "poweroff"));
}

void TestOrvClear::hungToolIsBoundedByTheTimeOut()
{
    tool({"createvm", "--name", "Orvanta_3", "--ostype", "Linux", "--register"});
    tool({"startvm", "Orvanta_3", "--type", "headless"});
    QFile::remove(stateDir() + QStringLiteral("/calls.log"));
    writeFaults(R"([{"match": "list runningvms", "hang": true}])");

    QString output;
    qint64 elapsed = 0;
    QCOMPARE(runCleaner({"-vm", "Orvanta_3", "-vp", toolPath(), "-to", "0"}, &output, &elapsed), 0);
    // 12 s scaled by 0.05: the cleaner gave up on the list after 0.6 s and powered nothing off.
    QVERIFY2(elapsed >= 600 && elapsed < 8000, qPrintable(QString::number(elapsed)));
    QVERIFY2(output.contains("timed out"), qPrintable(output));
    QCOMPARE(toolCalls(), (Calls{{"list", "runningvms"}}));
    QCOMPARE(vmState("Orvanta_3"), QStringLiteral("running"));

    // The hung tool did not outlive the cleaner.
    QFile log(stateDir() + QStringLiteral("/calls.log"));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const qint64 hungPid =
        QJsonDocument::fromJson(log.readLine()).object().value("pid").toVariant().toLongLong();
    QVERIFY(hungPid > 0);
    QTRY_VERIFY(!alive(hungPid));
}

void TestOrvClear::processTreeIsEndedAfterTheWait()
{
    makeFakeEmulator(kFakeEmulator);
    ProgramRun emulator(*m_tree, fakeEmulatorPath(), {fakeScriptPath()});
    QVERIFY(emulator.start());
    const QString dir = QFileInfo(fakeEmulatorPath()).absolutePath();
    QTRY_VERIFY(readPid(dir + "/child") > 0 && readPid(dir + "/grandchild") > 0);
    const qint64 child = readPid(dir + "/child");
    const qint64 grandchild = readPid(dir + "/grandchild");

    QString output;
    qint64 elapsed = 0;
    QCOMPARE(runCleaner({"-pid", QString::number(emulator.pid()), "-to", "1"}, &output, &elapsed), 0);
    QVERIFY2(elapsed >= 1000, qPrintable(QString::number(elapsed)));
    QVERIFY2(output.contains("ended process \"" + QString::number(emulator.pid()) + "\" and its children: 4"),
             qPrintable(output));
    QVERIFY(emulator.waitForFinished());
    QCOMPARE(emulator.exitStatus(), QProcess::CrashExit);
    QCOMPARE(emulator.process().exitCode(), int(SIGKILL));
    QTRY_VERIFY(!alive(child));
    QTRY_VERIFY(!alive(grandchild));
}

void TestOrvClear::processThatEndsByItselfIsLeftAlone()
{
    makeFakeEmulator(kFakeEmulator);
    const QString endFile = m_tree->root() + QStringLiteral("/end-now");
    ProgramRun emulator(*m_tree, fakeEmulatorPath(), {fakeScriptPath(), endFile});
    QVERIFY(emulator.start());

    ProgramRun cleaner(*m_tree, QStringLiteral("OrvClear"),
                       {"-pid", QString::number(emulator.pid()), "-to", "20"});
    QElapsedTimer timer;
    timer.start();
    QVERIFY(cleaner.start());
    QVERIFY(cleaner.waitForOutput("to 20"));
    QVERIFY(emulator.isRunning());
    QVERIFY(writeFile(endFile, ""));

    QVERIFY(emulator.waitForFinished());
    QCOMPARE(emulator.exitStatus(), QProcess::NormalExit);
    QCOMPARE(emulator.exitCode(), 0);
    QVERIFY(cleaner.waitForFinished(15000));
    QCOMPARE(cleaner.exitCode(), 0);
    // Done at the first check after the end, long before the 20 waits are used up.
    QVERIFY2(timer.elapsed() < 10000, qPrintable(QString::number(timer.elapsed())));
    QVERIFY2(cleaner.output().contains("is gone"), qPrintable(cleaner.output()));
    QVERIFY(!cleaner.output().contains("ended process"));
}

void TestOrvClear::reusedProcessIdIsLeftAlone_data()
{
    QTest::addColumn<QString>("waits");
    QTest::addColumn<QString>("logged");
    QTest::newRow("no wait: checked before the kill") << "0"
                                                      << "runs another program; nothing ended";
    QTest::newRow("waits: gone at the first check") << "10"
                                                    << "is gone";
}

void TestOrvClear::reusedProcessIdIsLeftAlone()
{
    QFETCH(QString, waits);
    QFETCH(QString, logged);
    // The emulator's id now belongs to another program.
    QProcess other;
    other.start(QStringLiteral("sleep"), {QStringLiteral("60")});
    QVERIFY(other.waitForStarted());

    QString output;
    qint64 elapsed = 0;
    QCOMPARE(runCleaner({"-pid", QString::number(other.processId()), "-to", waits}, &output, &elapsed), 0);
    QVERIFY2(output.contains(logged), qPrintable(output));
    QVERIFY2(elapsed < 5000, qPrintable(QString::number(elapsed)));
    QVERIFY(alive(other.processId()));
    QCOMPARE(other.state(), QProcess::Running);
    other.kill();
    other.waitForFinished();
}

void TestOrvClear::onlyTheEmulatorsProgramIsEnded_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("pid"); // "%PID%" stands for the process's id
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<bool>("ended");
    const QString pid = QStringLiteral("%PID%");
    QTest::newRow("the emulator's program") << "emulator" << pid << 0 << "ended process" << true;
    QTest::newRow("bash that renamed itself Orvanta (/proc/self/comm)")
        << "bash comm" << pid << 0 << "its program: \"bash\"" << false;
    QTest::newRow("python3 that renamed itself Orvanta (prctl)")
        << "python prctl" << pid << 0 << "its program: \"python3" << false;
    QTest::newRow("sleep started under the name Orvanta (exec -a)")
        << "exec -a" << pid << 0 << "its program: \"sleep\"" << false;
    QTest::newRow("script file named Orvanta")
        << "script" << pid << 0 << "runs another program; nothing ended; its program: \"" << false;
    // The executable link is compared whole: " (deleted)" is the kernel's mark of a removed program file
    // only where the emulator's own folder lies before it.
    QTest::newRow("program file named \"Orvanta (deleted)\"")
        << "named deleted" << pid << 0 << "runs another program; nothing ended" << false;
    QTest::newRow("removed Orvanta outside the player folder")
        << "removed elsewhere" << pid << 0 << "runs another program; nothing ended" << false;
    QTest::newRow("removed emulator in the player folder")
        << "removed in player" << pid << 0 << "ended process" << true;
    // Ids that pid_t cannot hold would be cut down to the emulator's id (2^32 + id) or a group.
    QTest::newRow("emulator's id plus 2^32")
        << "emulator"
        << "4294967296+%PID%" << 1 << "refused: not a process id" << false;
    QTest::newRow("emulator's id plus 2^33")
        << "emulator"
        << "8589934592+%PID%" << 1 << "refused: not a process id" << false;
    QTest::newRow("just above pid_t") << "emulator"
                                      << "2147483648" << 1 << "refused: not a process id" << false;
    QTest::newRow("beyond 64 bits") << "emulator"
                                    << "18446744073709551617" << 1 << "refused: not a process id" << false;
    QTest::newRow("zero") << "emulator"
                          << "0" << 1 << "refused: not a process id" << false;
    QTest::newRow("negative") << "emulator"
                              << "-1" << 1 << "refused: not a process id" << false;
    QTest::newRow("sign in front") << "emulator"
                                   << "+%PID%" << 1 << "refused: not a process id" << false;
    QTest::newRow("not a number") << "emulator"
                                  << "abc" << 1 << "refused: not a process id" << false;
}

void TestOrvClear::onlyTheEmulatorsProgramIsEnded()
{
    QFETCH(QString, kind);
    QFETCH(QString, pid);
    QFETCH(int, exitCode);
    QFETCH(QString, logged);
    QFETCH(bool, ended);

    std::unique_ptr<ProgramRun> process;
    if (kind == "emulator") {
        makeFakeEmulator(kFakeEmulator);
        process = std::make_unique<ProgramRun>(*m_tree, fakeEmulatorPath(), QStringList{fakeScriptPath()});
    } else if (kind == "bash comm") {
        process = std::make_unique<ProgramRun>(
            *m_tree, QStringLiteral("/bin/bash"),
            QStringList{"-c", "printf Orvanta > /proc/self/comm; while :; do sleep 0.2; done"});
    } else if (kind == "python prctl") {
        const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
        if (python.isEmpty())
            QSKIP("no python3 on this host");
        process = std::make_unique<ProgramRun>(
            *m_tree, python,
            QStringList{"-c", "import ctypes, time\nctypes.CDLL(None).prctl(15, b'Orvanta', 0, 0, 0)\n"
                              "time.sleep(60)\n"});
    } else if (kind == "exec -a") {
        process = std::make_unique<ProgramRun>(*m_tree, QStringLiteral("/bin/bash"),
                                               QStringList{"-c", "exec -a Orvanta sleep 60"});
    } else if (kind == "named deleted" || kind == "removed elsewhere" || kind == "removed in player") {
        makeFakeEmulator(kFakeEmulator);
        QString program = fakeEmulatorPath();
        if (kind == "named deleted")
            program += QStringLiteral(" (deleted)");
        else if (kind == "removed in player")
            program = m_tree->playerDir() + QStringLiteral("/Orvanta");
        if (program != fakeEmulatorPath())
            QVERIFY(QFile::rename(fakeEmulatorPath(), program));
        process = std::make_unique<ProgramRun>(*m_tree, program, QStringList{fakeScriptPath()});
        QVERIFY(process->start());
        if (kind != "named deleted")
            QVERIFY(QFile::remove(program));
    } else if (kind == "script") {
        QVERIFY(writeFile(fakeEmulatorPath(), "#!/bin/sh\nwhile :; do sleep 0.2; done\n", true));
        process = std::make_unique<ProgramRun>(*m_tree, fakeEmulatorPath());
    }
    QVERIFY(process->isRunning() || process->start());
    const qint64 id = process->pid();
    // Each stands where the cleaner looks: the renamed ones show "Orvanta" as their command name.
    QTRY_COMPARE(commandName(id), QByteArray(kind == "exec -a"         ? "sleep"
                                             : kind == "named deleted" ? "Orvanta (delete"
                                                                       : "Orvanta"));

    // The id as given, worked out where the row adds to it.
    if (pid.contains(QStringLiteral("%PID%"))) {
        const QStringList parts = pid.split(QLatin1Char('+'));
        if (parts.size() == 2 && !parts.at(0).isEmpty())
            pid = QString::number(parts.at(0).toLongLong() + id);
        else
            pid.replace(QStringLiteral("%PID%"), QString::number(id));
    }
    tool({"createvm", "--name", "Orvanta_3", "--ostype", "Linux", "--register"});
    tool({"startvm", "Orvanta_3", "--type", "headless"});
    QFile::remove(stateDir() + QStringLiteral("/calls.log"));

    QString output;
    QCOMPARE(runCleaner({"-vm", "Orvanta_3", "-vp", toolPath(), "-pid=" + pid, "-to", "0"}, &output),
             exitCode);
    QVERIFY2(output.contains(logged), qPrintable(output));
    if (ended) {
        QVERIFY(process->waitForFinished());
        QCOMPARE(process->exitStatus(), QProcess::CrashExit);
    } else {
        QTest::qWait(200);
        QVERIFY(alive(id));
        QVERIFY(process->isRunning());
        process->terminate();
    }
    // A refused command line runs nothing, the power-off included; otherwise the machine is off.
    QCOMPARE(toolCalls().isEmpty(), exitCode != 0);
    QCOMPARE(vmState("Orvanta_3"), QString(exitCode != 0 ? "running" : "poweroff"));
}

void TestOrvClear::cleanerStartedByTheEmulatorEndsItsTree()
{
    makeFakeEmulator(kEmulatorStartingTheCleaner);
    m_tree->setEnv(QStringLiteral("CLEANER"), m_tree->playerDir() + QStringLiteral("/OrvClear"));
    ProgramRun emulator(*m_tree, fakeEmulatorPath(), {fakeScriptPath()});
    QVERIFY(emulator.start());
    QVERIFY(emulator.waitForFinished());
    QCOMPARE(emulator.exitStatus(), QProcess::CrashExit);

    // The cleaner left itself out of the tree it ended: it was neither stopped nor killed.
    const QString dir = QFileInfo(fakeEmulatorPath()).absolutePath();
    const qint64 cleaner = readPid(dir + "/cleaner");
    QVERIFY(cleaner > 0);
    QTRY_VERIFY(!alive(cleaner));
    QTRY_VERIFY(!alive(readPid(dir + "/child")));
    QFile out(dir + "/cleaner.out");
    QVERIFY(out.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(out.readAll());
    QVERIFY2(text.contains("and its children: 2"), qPrintable(text));
}

void TestOrvClear::commandLine_data()
{
    QTest::addColumn<QStringList>("args"); // "%TOOL%" stands for the tool's path
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("expected"); // in the output

    QTest::newRow("values as next arguments")
        << QStringList{"-vm", "Orvanta_1", "-vp", "/nowhere/VBoxManage", "-pid", "999999999", "-to", "3"} << 0
        << R"(vm "Orvanta_1" vp "/nowhere/VBoxManage" pid "999999999" to 3)";
    QTest::newRow("values after =") << QStringList{"-vm=Orvanta_1", "-vp=/nowhere/VBoxManage",
                                                   "-pid=999999999", "-to=2"}
                                    << 0 << R"(vm "Orvanta_1" vp "/nowhere/VBoxManage" pid "999999999" to 2)";
    QTest::newRow("two dashes") << QStringList{"--vm=Orvanta_2", "--to", "1"} << 0
                                << R"(vm "Orvanta_2" vp "" pid "" to 1)";
    QTest::newRow("defaults") << QStringList{} << 0 << R"(vm "" vp "" pid "" to 5)";
    QTest::newRow("wait not a number") << QStringList{"-to=abc"} << 0 << R"(pid "" to 0)";
    QTest::newRow("negative wait") << QStringList{"-to", "-3"} << 0 << R"(pid "" to -3)";
    QTest::newRow("blanks inside the name") << QStringList{"-vm", "My Phone 2"} << 0 << R"(vm "My Phone 2")";
    QTest::newRow("unknown option") << QStringList{"-vm", "Orvanta_1", "-bogus"} << 1
                                    << "Unknown option 'bogus'.";
    QTest::newRow("missing value") << QStringList{"-pid", "5", "-vm"} << 1 << "Missing value after '-vm'.";
    QTest::newRow("a path as machine name")
        << QStringList{"-vm", "../x", "-vp", "%TOOL%"} << 1 << "refused: the machine name";
    QTest::newRow("hidden name") << QStringList{"-vm=.hidden", "-vp", "%TOOL%"} << 1
                                 << "refused: the machine name";
    QTest::newRow("line break in the name")
        << QStringList{"-vm", "a\nb", "-vp", "%TOOL%"} << 1 << "refused: the machine name";
}

void TestOrvClear::commandLine()
{
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, expected);
    args.replaceInStrings(QStringLiteral("%TOOL%"), toolPath());
    QString output;
    QCOMPARE(runCleaner(args, &output), exitCode);
    QVERIFY2(output.contains(expected), qPrintable(output));
    // Refused command lines run nothing.
    if (exitCode != 0)
        QCOMPARE(toolCalls(), Calls{});
}

void TestOrvClear::crashedEmulatorsMachineIsPoweredOff()
{
    // The start-up checks read the display's colour depth and OpenGL version (the suite runs under
    // xvfb-run).
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        QSKIP("needs an X display for the emulator's start-up");
    const QString vm = QStringLiteral("Orvanta_3");
    QVERIFY(m_tree->addProgram(QStringLiteral("Orvanta")));
    QVERIFY(m_tree->addProgram(QStringLiteral("OrvantaUpdater")));
    QVERIFY(m_tree->addGuestImage());
    QVERIFY(m_tree->addRecorder(QStringLiteral("OrvMultiPlayer")));
    // A crash notice that the user confirms at once.
    QVERIFY(m_tree->addRecorder(QStringLiteral("OrvCrashNotice"), m_tree->playerDir()));
    // The cleaner's bound on each tool run (12 s) becomes 3 s: the power-off of a running machine
    // must end within it on a machine busy with other work (at 0.12 s it did not).
    m_tree->setEnv(QStringLiteral("ORV_TIMEOUT_SCALE"), QStringLiteral("0.25"));

    ProgramRun emulator(*m_tree, QStringLiteral("Orvanta"), {"-vm=" + vm});
    QVERIFY(emulator.start());
    QVERIFY2(emulator.waitForText(QStringLiteral("Loading    : machine running"), 60000),
             qPrintable(m_tree->logText().right(2000)));
    QCOMPARE(vmState(vm), QStringLiteral("running"));
    const qint64 pid = emulator.pid();

    QCOMPARE(::kill(static_cast<pid_t>(pid), SIGSEGV), 0);
    QVERIFY(emulator.waitForFinished());
    QCOMPARE(emulator.exitStatus(), QProcess::CrashExit);

    // The emulator's own tool, named in the cleaner's command line, powered the machine off.
    const QStringList powerOff{"controlvm", vm, "poweroff"};
    QTRY_VERIFY2_WITH_TIMEOUT(toolCalls().contains(powerOff), qPrintable(m_tree->logText()), 20000);
    const Calls calls = toolCalls();
    // Asked the running list first (other threads of the crashed process may have called the tool too).
    QVERIFY(calls.mid(0, calls.indexOf(powerOff)).contains(QStringList{"list", "runningvms"}));
    QCOMPARE(vmState(vm), QStringLiteral("poweroff"));
    QTRY_VERIFY(m_tree->logText().contains(QStringLiteral("vm \"%1\" vp \"%2\" pid \"%3\" to 5")
                                               .arg(vm, m_tree->vboxDir() + "/OrvvmManage")
                                               .arg(pid)));
}

QTEST_GUILESS_MAIN(TestOrvClear)
#include "tst_orvclear.moc"
