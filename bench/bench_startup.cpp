// The start-up's own time and the start-up window's idle cost. The emulator program is launched in a
// temporary installation against the simulated VirtualBox tool, which answers every call after a fixed
// latency; the machine start itself (startvm) takes the length of the idle measurement and a little more.
//
// 1. Time from launch to "machine running", the tool calls' own time (the union of every call's real
//    interval as the tool logs it, from the creation of its process to its return), and the
//    difference: what the program itself adds. With the
//    phases of each run: first log line, first tool call, machine running, each in ms after the launch.
// 2. Idle CPU of the start-up window: while the machine start takes its time, the emulator does nothing
//    but show the window. Its CPU use over 20 s of that wait is printed beside that of an empty Qt widgets
//    window measured over the same 20 s.
//
// Each repeat is one launch. Needs an X display (the start-up's environment checks read it); run under
// xvfb-run.
//   bench_startup [latency ms, default 50] [--repeats=N] [--smoke]

#include "benchfigures.h"
#include "calllogs.h"
#include "installtree.h"
#include "programrun.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>

namespace {

constexpr const char *kBench = "bench_startup";
constexpr const char *kRunning = "Loading    : machine running";

struct Settings
{
    int latencyMs = 50;
    int idleMs = 20000;  // the idle measurement's window
    int settleMs = 1000; // from the machine start's call to the window's start
};

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

QString lastLogLine(const InstallTree &tree)
{
    const QStringList lines = tree.logText().trimmed().split(QLatin1Char('\n'));
    return lines.isEmpty() ? QStringLiteral("(no log)") : lines.last();
}

bool prepareTree(InstallTree &tree, const Settings &settings)
{
    if (!tree.isValid() || !tree.addProgram(QStringLiteral("Orvanta")) ||
        !tree.addProgram(QStringLiteral("OrvantaUpdater")) ||
        !tree.addRecorder(QStringLiteral("OrvMultiPlayer")) || !tree.addVirtualBox() || !tree.addGuestImage())
        return false;
    QDir().mkpath(tree.root() + QStringLiteral("/vbox-state"));
    QFile file(tree.root() + QStringLiteral("/vbox-state/faults.json"));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const double startSeconds = (settings.settleMs + settings.idleMs + 2000) / 1000.0;
    file.write(QStringLiteral(R"([{"match": "startvm * --type headless", "sleep": %1, "pass": true},
                                  {"match": "*", "sleep": %2, "pass": true}])")
                   .arg(startSeconds)
                   .arg(settings.latencyMs / 1000.0)
                   .toUtf8());
    tree.useTempDirHere();
    return true;
}

struct Repeat
{
    qint64 totalMs = 0;
    qint64 toolMs = 0;
    int calls = 0;
    qint64 firstLog = 0, firstCall = 0; // ms after launch
    double emulatorCpuMs = 0;           // processor time over the idle window
    double baselineCpuMs = 0;
};

// One launch; an empty string when it gave its figures, else why not.
QString measure(const Settings &settings, Repeat *repeat)
{
    InstallTree tree;
    if (!prepareTree(tree, settings))
        return QStringLiteral("cannot lay out the install tree (build the programs first)");

    // The baseline comes up and settles before the launch, so it does not stand in its way.
    ProgramRun baseline(tree, QStringLiteral(EMPTY_WIDGET_PROGRAM));
    if (!baseline.start() || !baseline.waitForOutput(QStringLiteral("painted"), 10000))
        return QStringLiteral("the empty Qt widgets window did not come up");

    ProgramRun emulator(tree, QStringLiteral("Orvanta"),
                        {QStringLiteral("-vm=Orvanta_1"), QStringLiteral("-debug")});
    const qint64 launch = QDateTime::currentMSecsSinceEpoch();
    if (!emulator.start())
        return QStringLiteral("the emulator did not start");
    const QString stateDir = tree.root() + QStringLiteral("/vbox-state");
    const bool starting = waitUntil(
        [&] {
            const QList<QStringList> calls = readToolCalls(stateDir);
            return !calls.isEmpty() && calls.last().value(0) == QLatin1String("startvm");
        },
        60000);
    if (!starting) {
        return QStringLiteral(
                   "the emulator did not reach the machine start within 60 s; its log ends with: ") +
               lastLogLine(tree);
    }

    // Idle: the same window for both.
    QElapsedTimer settle;
    settle.start();
    waitUntil([&] { return settle.elapsed() >= settings.settleMs; }, settings.settleMs + 1000);
    const Bench::ThreadTimes emulatorBefore(emulator.pid());
    const Bench::ThreadTimes baselineBefore(baseline.pid());
    QElapsedTimer window;
    window.start();
    waitUntil([&] { return window.elapsed() >= settings.idleMs; }, settings.idleMs + 1000);
    repeat->emulatorCpuMs = Bench::ThreadTimes(emulator.pid()).sinceNs(emulatorBefore) / 1e6;
    repeat->baselineCpuMs = Bench::ThreadTimes(baseline.pid()).sinceNs(baselineBefore) / 1e6;
    if (!emulator.isRunning())
        return QStringLiteral("the emulator ended while the machine started");

    if (!emulator.waitForText(QLatin1String(kRunning), 30000))
        return QStringLiteral("no \"machine running\" after the machine start; the log ends with: ") +
               lastLogLine(tree);
    const qint64 running = logTime(tree, QLatin1String(kRunning));
    const QList<ToolCallRecord> calls = readToolCallRecords(stateDir);
    repeat->totalMs = running - launch;
    repeat->toolMs = Bench::toolTimeMs(calls, launch, running);
    repeat->calls = static_cast<int>(std::count_if(calls.cbegin(), calls.cend(), [running](const auto &call) {
        return call.start.toMSecsSinceEpoch() <= running;
    }));
    repeat->firstLog = logTime(tree, QString()) - launch;
    repeat->firstCall = calls.isEmpty() ? -1 : calls.first().start.toMSecsSinceEpoch() - launch;

    ProgramRun stop(tree, QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=Orvanta_1"), QStringLiteral("-stop")});
    stop.run(30000);
    emulator.waitForFinished(60000);
    baseline.terminate();
    return QString();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const Bench::Options options = Bench::options(app.arguments());
    Settings settings;
    settings.latencyMs = options.rest.value(0, QStringLiteral("50")).toInt();
    if (options.smoke)
        settings.idleMs = 2000;
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return Bench::noFigure(kBench, QStringLiteral("needs an X display (run under xvfb-run)"));

    QVector<double> total, tool, own, calls, firstLog, firstCall, emulatorCpu, baselineCpu;
    for (int i = 1; i <= options.repeats; ++i) {
        Repeat repeat;
        const QString failure = measure(settings, &repeat);
        if (!failure.isEmpty())
            return Bench::noFigure(kBench, QStringLiteral("repeat %1: %2").arg(i).arg(failure));
        total << repeat.totalMs;
        tool << repeat.toolMs;
        own << repeat.totalMs - repeat.toolMs;
        calls << repeat.calls;
        firstLog << repeat.firstLog;
        firstCall << repeat.firstCall;
        emulatorCpu << repeat.emulatorCpuMs;
        baselineCpu << repeat.baselineCpuMs;
    }

    std::printf("start-up to \"machine running\", %d repeats, tool latency %d ms per call, the machine start "
                "%.1f s\n",
                options.repeats, settings.latencyMs, (settings.settleMs + settings.idleMs + 2000) / 1000.0);
    Bench::printHeader("launch to \"machine running\"", "ms");
    Bench::printRow("total", total);
    Bench::printRow("tool calls' own time (baseline)", tool);
    Bench::printRow("program's own time", own);
    Bench::printRow("tool calls", calls);
    Bench::printRow("first log line after launch", firstLog);
    Bench::printRow("first tool call after launch", firstCall);
    Bench::printRatio("program's own time / tool calls' time", own, tool);

    Bench::printHeader(qPrintable(QStringLiteral("idle CPU while the start-up window waits, over %1 s")
                                      .arg(settings.idleMs / 1000)),
                       "ms of processor time");
    Bench::printRow("emulator with the start-up window", emulatorCpu, 1);
    Bench::printRow("empty Qt widgets window (baseline)", baselineCpu, 1);
    Bench::printRatio("ratio to the baseline", emulatorCpu, baselineCpu);
    QVector<double> above;
    for (int i = 0; i < emulatorCpu.size(); ++i)
        above << emulatorCpu.at(i) - baselineCpu.at(i);
    Bench::printRow("emulator above the baseline", above, 1);
    return 0;
}
