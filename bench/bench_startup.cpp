// The start-up's own time and the start-up window's idle cost. The emulator program is launched in a
// temporary installation against the simulated VirtualBox tool, which answers every call after a fixed
// latency.
//
// 1. Time from launch to "machine running", with the number of tool calls and the sum of their
//    latencies, so the difference is what the program itself adds; and the phases of each run: first log
//    line, first and last tool call, machine running, each in ms after the launch.
// 2. Idle CPU of the start-up window: while the machine start takes a few seconds, the emulator does
//    nothing but show the window. Its CPU use over that window is printed beside a baseline measured in
//    the same run: the CPU use of the tool process, which sleeps in the same window.
//
// Needs an X display (the start-up's environment checks read it); run under xvfb-run.
//   bench_startup [latency ms, default 50] [runs, default 3]

#include "installtree.h"
#include "programrun.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cstdio>

namespace {

constexpr int kIdleStartSeconds = 6; // the machine start of the idle measurement takes this long
constexpr int kIdleWindowMs = 3000;  // CPU is measured over this much of it

struct ToolCall
{
    qint64 timeMs = 0; // ms since the epoch
    qint64 pid = 0;
    QStringList args;
};

QList<ToolCall> toolCalls(const InstallTree &tree)
{
    QList<ToolCall> calls;
    QFile file(tree.root() + QStringLiteral("/vbox-state/calls.log"));
    if (!file.open(QIODevice::ReadOnly))
        return calls;
    for (const QByteArray &line : file.readAll().split('\n')) {
        const QJsonObject object = QJsonDocument::fromJson(line).object();
        if (object.isEmpty())
            continue;
        ToolCall call;
        call.timeMs =
            QDateTime::fromString(object.value(QStringLiteral("time")).toString(), Qt::ISODateWithMs)
                .toMSecsSinceEpoch();
        call.pid = static_cast<qint64>(object.value(QStringLiteral("pid")).toDouble());
        for (const QJsonValue &arg : object.value(QStringLiteral("args")).toArray())
            call.args << arg.toString();
        calls << call;
    }
    return calls;
}

// The time of the first log line that contains `text` (any line when empty), as ms since the epoch;
// log lines carry the local time of day of the run's date.
qint64 logTime(const InstallTree &tree, const QString &text)
{
    static const QRegularExpression stamp(QStringLiteral("^\\[(\\d\\d):(\\d\\d):(\\d\\d) (\\d\\d\\d)\\]: "));
    for (const QString &line : tree.logText().split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = stamp.match(line);
        if (!match.hasMatch() || (!text.isEmpty() && !line.contains(text)))
            continue;
        const QTime time(match.captured(1).toInt(), match.captured(2).toInt(), match.captured(3).toInt(),
                         match.captured(4).toInt());
        return QDateTime(QDate::currentDate(), time).toMSecsSinceEpoch();
    }
    return 0;
}

// CPU time of every thread of a process so far, in nanoseconds (0 when it is gone).
qint64 cpuNs(qint64 pid)
{
    qint64 total = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks.filePath(task) + QStringLiteral("/schedstat"));
        if (stat.open(QIODevice::ReadOnly))
            total += stat.readAll().split(' ').value(0).toLongLong();
    }
    return total;
}

bool prepareTree(InstallTree &tree, const QByteArray &faults)
{
    if (!tree.isValid() || !tree.addProgram(QStringLiteral("Orvanta")) ||
        !tree.addProgram(QStringLiteral("OrvantaUpdater")) ||
        !tree.addRecorder(QStringLiteral("OrvMultiPlayer")) || !tree.addVirtualBox() || !tree.addGuestImage())
        return false;
    QDir().mkpath(tree.root() + QStringLiteral("/vbox-state"));
    QFile file(tree.root() + QStringLiteral("/vbox-state/faults.json"));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(faults);
    qputenv("TMPDIR", tree.tempDir().toLocal8Bit());
    return true;
}

void stopEmulator(InstallTree &tree, ProgramRun &emulator)
{
    ProgramRun stop(tree, QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=Orvanta_1"), QStringLiteral("-stop")});
    stop.run();
    emulator.waitForFinished(60000);
}

struct Phases
{
    qint64 totalMs = 0;
    int calls = 0;
    qint64 firstLog = -1, firstCall = -1, lastCall = -1, running = -1; // ms after launch
};

bool timedRun(int latencyMs, Phases *phases)
{
    InstallTree tree;
    if (!prepareTree(tree, QStringLiteral(R"([{"match": "*", "sleep": %1, "pass": true}])")
                               .arg(latencyMs / 1000.0)
                               .toUtf8()))
        return false;
    ProgramRun emulator(tree, QStringLiteral("Orvanta"),
                        {QStringLiteral("-vm=Orvanta_1"), QStringLiteral("-debug")});
    const qint64 launch = QDateTime::currentMSecsSinceEpoch();
    QElapsedTimer clock;
    clock.start();
    if (!emulator.start())
        return false;
    const bool running = emulator.waitForText(QStringLiteral("Loading    : machine running"), 300000);
    phases->totalMs = clock.elapsed();
    const QList<ToolCall> calls = toolCalls(tree);
    phases->calls = calls.size();
    const auto since = [launch](qint64 t) { return t > 0 ? t - launch : -1; };
    phases->firstLog = since(logTime(tree, QString()));
    phases->running = since(logTime(tree, QStringLiteral("Loading    : machine running")));
    if (!calls.isEmpty()) {
        phases->firstCall = since(calls.first().timeMs);
        phases->lastCall = since(calls.last().timeMs);
    }
    stopEmulator(tree, emulator);
    return running;
}

// CPU use (percent of one core) of the emulator while its start-up window waits for a slow machine
// start, and of the sleeping tool process over the same window.
bool idleRun(double *emulatorPercent, double *baselinePercent)
{
    InstallTree tree;
    if (!prepareTree(tree,
                     QStringLiteral(R"([{"match": "startvm * --type headless", "sleep": %1, "pass": true}])")
                         .arg(kIdleStartSeconds)
                         .toUtf8()))
        return false;
    ProgramRun emulator(tree, QStringLiteral("Orvanta"), {QStringLiteral("-vm=Orvanta_1")});
    if (!emulator.start())
        return false;
    qint64 toolPid = 0;
    const bool waiting = waitUntil(
        [&] {
            const QList<ToolCall> calls = toolCalls(tree);
            if (!calls.isEmpty() && calls.last().args.value(0) == QLatin1String("startvm"))
                toolPid = calls.last().pid;
            return toolPid != 0;
        },
        120000);
    if (!waiting)
        return false;
    // Let the window settle (the bar creeps to the announced step), then measure.
    QElapsedTimer settle;
    settle.start();
    waitUntil([&] { return settle.elapsed() >= 1000; }, 2000);
    const qint64 emulatorBefore = cpuNs(emulator.pid());
    const qint64 toolBefore = cpuNs(toolPid);
    QElapsedTimer window;
    window.start();
    waitUntil([&] { return window.elapsed() >= kIdleWindowMs; }, kIdleWindowMs + 1000);
    const double elapsedNs = window.nsecsElapsed();
    *emulatorPercent = 100.0 * (cpuNs(emulator.pid()) - emulatorBefore) / elapsedNs;
    *baselinePercent = 100.0 * (cpuNs(toolPid) - toolBefore) / elapsedNs;
    stopEmulator(tree, emulator);
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int latencyMs = args.value(1, QStringLiteral("50")).toInt();
    const int runs = args.value(2, QStringLiteral("3")).toInt();
    if (qEnvironmentVariableIsEmpty("DISPLAY")) {
        std::fprintf(stderr, "bench_startup: needs an X display (run under xvfb-run)\n");
        return 2;
    }
    const QByteArray savedTmp = qgetenv("TMPDIR");

    std::printf("start-up to \"machine running\", tool latency %d ms per call\n", latencyMs);
    std::printf("%4s %9s %6s %9s %9s | phases, ms after launch: %9s %10s %9s %8s\n", "run", "total ms",
                "calls", "tool ms", "own ms", "first log", "first call", "last call", "running");
    for (int run = 1; run <= runs; ++run) {
        Phases phases;
        const bool ok = timedRun(latencyMs, &phases);
        qputenv("TMPDIR", savedTmp);
        if (!ok) {
            std::printf("%4d  did not reach a running machine\n", run);
            return 1;
        }
        const qint64 toolMs = static_cast<qint64>(phases.calls) * latencyMs;
        std::printf("%4d %9lld %6d %9lld %9lld | %35lld %10lld %9lld %8lld\n", run,
                    static_cast<long long>(phases.totalMs), phases.calls, static_cast<long long>(toolMs),
                    static_cast<long long>(phases.totalMs - toolMs), static_cast<long long>(phases.firstLog),
                    static_cast<long long>(phases.firstCall), static_cast<long long>(phases.lastCall),
                    static_cast<long long>(phases.running));
    }

    double emulatorPercent = 0;
    double baselinePercent = 0;
    const bool ok = idleRun(&emulatorPercent, &baselinePercent);
    qputenv("TMPDIR", savedTmp);
    if (!ok) {
        std::printf("idle measurement: the machine start was not reached\n");
        return 1;
    }
    std::printf("\nidle CPU while the start-up window waits (%d ms, %% of one core)\n", kIdleWindowMs);
    std::printf("  emulator %6.2f %%   baseline (sleeping tool process) %6.2f %%   ratio %s\n",
                emulatorPercent, baselinePercent,
                baselinePercent > 0 ? qPrintable(QString::number(emulatorPercent / baselinePercent, 'f', 1))
                                    : "n/a (baseline 0)");
    return 0;
}
