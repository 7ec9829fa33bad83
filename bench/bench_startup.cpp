// The start-up's own time and the start-up window's idle cost. The emulator program is launched in a
// temporary installation against the simulated VirtualBox tool, which answers every call after a fixed
// latency.
//
// 1. Time from launch to "machine running" with a machine start (startvm) of one second, so that the
//    program's own part is not lost beside the tool's: the tool calls' own time (the union of every
//    call's real interval as the tool logs it, from the creation of its process to its return), and
//    the difference: what the program itself adds. Its shares: launch to the first log line, to the
//    database opened, to the first tool call, and the own time between the calls (also per call).
//    Every run must make the start-up's kStartupCalls tool calls: another count is another path (a
//    repair, a retry, a skipped step) and gives no figure.
//    Baselines of the shares: the launch of an empty Qt widgets window to its first paint, and the
//    OpenGL probe program run alone (launch to exit), beside the launch to the first tool call (the
//    environment checks, which read the probe's answer, come before the first call); and the same
//    command lines replayed against the same simulated tool in a fresh installation by the smallest
//    runner (bench_toolreplay: spawn, read, wait, nothing else), measured the same way, and the
//    updater's start check run alone (it runs between two tool calls), beside the own time between the
//    calls. The probe, the updater and the smallest runner together are the least own time this order
//    of work can take on this machine, printed as the floor.
// 2. Idle CPU of the start-up window, in a launch of its own whose machine start takes 20 s: the
//    emulator does nothing but show the window. Its CPU use over 20 s of that wait is printed beside
//    that of an empty Qt widgets window measured over the same 20 s.
//
// Each repeat is the two launches. Needs an X display (the start-up's environment checks read it); run
// under xvfb-run.
//   bench_startup [latency ms, default 50] [--repeats=N] [--smoke]
//   --fault=extra-call: the simulated tool fails the first machine-information call once, which the
//   start-up answers with other calls (a wrong call count).
//   --fault=probe-fails: the OpenGL probe's baseline run is pointed at a display that does not exist
//   (a failed baseline run).

#include "benchfigures.h"
#include "calllogs.h"
#include "installtree.h"
#include "programrun.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <memory>

#include <X11/Xlib.h>

namespace {

constexpr const char *kBench = "bench_startup";
constexpr const char *kRunning = "Loading    : machine running";

// The tool calls of a start-up from launch to "machine running" in a fresh installation.
constexpr int kStartupCalls = 49;
constexpr double kMachineStartSeconds = 1.0;

struct Settings
{
    int latencyMs = 50;
    int idleMs = 20000;  // the idle measurement's window
    int settleMs = 1000; // from the machine start's call to the window's start
    QString fault;
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

bool prepareTree(InstallTree &tree, const Settings &settings, double machineStartSeconds)
{
    if (!tree.isValid() || !tree.addProgram(QStringLiteral("Orvanta")) ||
        !tree.addProgram(QStringLiteral("OrvantaUpdater")) ||
        !tree.addRecorder(QStringLiteral("OrvMultiPlayer")) || !tree.addVirtualBox() || !tree.addGuestImage())
        return false;
    QDir().mkpath(tree.root() + QStringLiteral("/vbox-state"));
    QFile file(tree.root() + QStringLiteral("/vbox-state/faults.json"));
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QString extra = settings.fault == QLatin1String("extra-call")
                              ? QStringLiteral(R"({"match": "showvminfo *", "times": 1, "exit": 1,
                                                   "stderr": "VBoxManage: error: busy"},)")
                              : QString();
    file.write(QStringLiteral(R"([%3{"match": "startvm * --type headless", "sleep": %1, "pass": true},
                                  {"match": "*", "sleep": %2, "pass": true}])")
                   .arg(machineStartSeconds)
                   .arg(settings.latencyMs / 1000.0)
                   .arg(extra)
                   .toUtf8());
    tree.useTempDirHere();
    return true;
}

struct Repeat
{
    qint64 emptyPaintMs = 0;   // launch of the empty widgets window to its first paint
    qint64 replayOwnMs = 0;    // the smallest runner's own time between the same calls
    qint64 probeAloneMs = 0;   // the OpenGL probe program alone, launch to exit
    qint64 updaterAloneMs = 0; // the updater's start check alone, launch to exit
    qint64 totalMs = 0;
    qint64 toolMs = 0;
    int calls = 0;
    qint64 firstLog = 0, database = 0, firstCall = 0; // ms after launch
    qint64 ownAfterFirstCall = 0;                     // own time from the first call to "machine running"
    double emulatorCpuMs = 0;                         // processor time over the idle window
    double baselineCpuMs = 0;
};

// The same command lines, run by the smallest runner against the same simulated tool in an installation
// of their own (paths of the first installation moved to it), so that each call does the same work.
QString measureReplay(const Settings &settings, const QList<ToolCallRecord> &calls, const QString &oldRoot,
                      Repeat *repeat)
{
    InstallTree tree;
    if (!prepareTree(tree, settings, kMachineStartSeconds))
        return QStringLiteral("cannot lay out the replay's install tree");
    QFile list(tree.root() + QStringLiteral("/replay.jsonl"));
    if (!list.open(QIODevice::WriteOnly))
        return QStringLiteral("cannot write the replay's command lines");
    for (const ToolCallRecord &call : calls) {
        QJsonArray args;
        for (const QString &arg : call.args)
            args.append(QString(arg).replace(oldRoot, tree.root()));
        list.write(QJsonDocument(args).toJson(QJsonDocument::Compact) + '\n');
    }
    list.close();
    ProgramRun replay(tree, QStringLiteral(REPLAY_PROGRAM),
                      {tree.vboxDir() + QLatin1Char('/') + calls.first().program, list.fileName()});
    if (replay.run(120000) != 0)
        return QStringLiteral("the replay of the tool calls failed: ") + replay.output().trimmed();
    const QList<ToolCallRecord> replayed = readToolCallRecords(tree.root() + QStringLiteral("/vbox-state"));
    if (replayed.size() != calls.size())
        return QStringLiteral("the replay made %1 tool calls instead of %2")
            .arg(replayed.size())
            .arg(calls.size());
    if (!replayed.last().end.isValid())
        return QStringLiteral("a replayed call did not return");
    repeat->replayOwnMs = Bench::ownTimeMs(replayed, replayed.first().start.toMSecsSinceEpoch(),
                                           replayed.last().end.toMSecsSinceEpoch());
    return QString();
}

// The launch of an empty Qt widgets window to its first paint.
QString measureEmptyLaunch(Repeat *repeat)
{
    InstallTree tree;
    if (!tree.isValid())
        return QStringLiteral("cannot make a temporary folder");
    ProgramRun baseline(tree, QStringLiteral(EMPTY_WIDGET_PROGRAM));
    repeat->emptyPaintMs = Bench::launchToPaintMs(baseline);
    baseline.terminate();
    return repeat->emptyPaintMs < 0 ? QStringLiteral("the empty Qt widgets window did not come up")
                                    : QString();
}

// Runs `run` to its end, its time from launch to exit in `ms`; why it failed (`what` names it), or empty.
QString timedRun(ProgramRun &run, const QString &what, qint64 *ms)
{
    QElapsedTimer clock;
    clock.start();
    const int code = run.run(60000);
    *ms = clock.elapsed();
    if (code == 0)
        return QString();
    return QStringLiteral("%1 alone failed (exit %2): %3").arg(what).arg(code).arg(run.output().trimmed());
}

// The helper programs the start-up waits for, each run alone: the OpenGL probe that the emulator starts
// at its launch (on the same display) and the updater's start check.
QString measureHelpersAlone(const Settings &settings, Repeat *repeat)
{
    InstallTree tree;
    if (!tree.isValid() || !tree.addProgram(QStringLiteral("Orvanta")) ||
        !tree.addProgram(QStringLiteral("OrvantaUpdater")))
        return QStringLiteral("cannot lay out the helpers' install tree (build the programs first)");
    const QString program = tree.playerDir() + QStringLiteral("/OrvGlProbe");
    if (!QFileInfo(program).isExecutable())
        return QStringLiteral("the build has no OpenGL probe program");
    if (settings.fault == QLatin1String("probe-fails"))
        tree.setEnv(QStringLiteral("DISPLAY"), QStringLiteral(":65000"));
    ProgramRun probe(tree, program);
    const QString probeFailure = timedRun(probe, QStringLiteral("the OpenGL probe"), &repeat->probeAloneMs);
    if (!probeFailure.isEmpty())
        return probeFailure;
    ProgramRun updater(tree, QStringLiteral("OrvantaUpdater"),
                       {QStringLiteral("fromOrvantaToCheckWhenStarting")});
    return timedRun(updater, QStringLiteral("the updater's start check"), &repeat->updaterAloneMs);
}

// The own-time launch; an empty string when it gave its figures, else why not.
QString measureOwnTime(const Settings &settings, Repeat *repeat)
{
    InstallTree tree;
    if (!prepareTree(tree, settings, kMachineStartSeconds))
        return QStringLiteral("cannot lay out the install tree (build the programs first)");
    ProgramRun emulator(tree, QStringLiteral("Orvanta"),
                        {QStringLiteral("-vm=Orvanta_1"), QStringLiteral("-debug")});
    const qint64 launch = QDateTime::currentMSecsSinceEpoch();
    if (!emulator.start())
        return QStringLiteral("the emulator did not start");
    const bool running = waitUntil(
        [&] { return tree.logText().contains(QLatin1String(kRunning)) || !emulator.isRunning(); }, 60000);
    if (!running || !tree.logText().contains(QLatin1String(kRunning)))
        return QStringLiteral("no \"machine running\" within 60 s; the log ends with: ") + lastLogLine(tree);
    const qint64 runningAt = logTime(tree, QLatin1String(kRunning));
    const QString stateDir = tree.root() + QStringLiteral("/vbox-state");
    const QList<ToolCallRecord> calls = readToolCallRecords(stateDir);
    repeat->totalMs = runningAt - launch;
    repeat->toolMs = Bench::toolTimeMs(calls, launch, runningAt);
    repeat->calls =
        static_cast<int>(std::count_if(calls.cbegin(), calls.cend(), [runningAt](const auto &call) {
            return call.start.toMSecsSinceEpoch() <= runningAt;
        }));
    repeat->firstLog = logTime(tree, QString()) - launch;
    repeat->database = logTime(tree, QStringLiteral("SQLiteTool : database init ok")) - launch;
    if (calls.isEmpty())
        return QStringLiteral("the simulated tool logged no call");
    const qint64 firstCallAt = calls.first().start.toMSecsSinceEpoch();
    repeat->firstCall = firstCallAt - launch;
    repeat->ownAfterFirstCall = Bench::ownTimeMs(calls, firstCallAt, runningAt);

    ProgramRun stop(tree, QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=Orvanta_1"), QStringLiteral("-stop")});
    stop.run(30000);
    emulator.waitForFinished(60000);
    if (repeat->calls != kStartupCalls)
        return QStringLiteral("the start-up made %1 tool calls instead of %2")
            .arg(repeat->calls)
            .arg(kStartupCalls);
    if (repeat->firstLog < 0 || repeat->database < 0)
        return QStringLiteral("the log lacks its first line or the database's");
    QList<ToolCallRecord> startup;
    std::copy_if(calls.cbegin(), calls.cend(), std::back_inserter(startup),
                 [runningAt](const auto &call) { return call.start.toMSecsSinceEpoch() <= runningAt; });
    return measureReplay(settings, startup, tree.root(), repeat);
}

// The idle launch: the start-up window while the machine start takes its time.
QString measureIdle(const Settings &settings, Repeat *repeat)
{
    InstallTree tree;
    if (!prepareTree(tree, settings, (settings.settleMs + settings.idleMs + 2000) / 1000.0))
        return QStringLiteral("cannot lay out the install tree (build the programs first)");

    // The baseline comes up and settles before the launch, so it does not stand in its way.
    ProgramRun baseline(tree, QStringLiteral(EMPTY_WIDGET_PROGRAM));
    if (!baseline.start() || !baseline.waitForOutput(QStringLiteral("painted"), 10000))
        return QStringLiteral("the empty Qt widgets window did not come up");

    ProgramRun emulator(tree, QStringLiteral("Orvanta"),
                        {QStringLiteral("-vm=Orvanta_1"), QStringLiteral("-debug")});
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
    settings.fault = options.fault;
    if (options.smoke)
        settings.idleMs = 2000;
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return Bench::noFigure(kBench, QStringLiteral("needs an X display (run under xvfb-run)"));
    // A connection held for the whole run: an X server that resets when its last client leaves (xvfb-run
    // without -noreset) refuses connections while it does, and the launches follow each other closely.
    Display *const display = XOpenDisplay(nullptr);
    if (!display)
        return Bench::noFigure(kBench, QStringLiteral("cannot connect to the X display"));
    const std::unique_ptr<Display, int (*)(Display *)> heldDisplay(display, XCloseDisplay);

    QVector<double> total, tool, own, calls, firstLog, database, firstCall, ownAfter, perCall, emulatorCpu,
        baselineCpu, emptyPaint, replayOwn, replayPerCall, probeAlone, updaterAlone, floor;
    for (int i = 1; i <= options.repeats; ++i) {
        Repeat repeat;
        QString failure = measureOwnTime(settings, &repeat);
        if (failure.isEmpty())
            failure = measureEmptyLaunch(&repeat);
        if (failure.isEmpty())
            failure = measureHelpersAlone(settings, &repeat);
        if (failure.isEmpty())
            failure = measureIdle(settings, &repeat);
        if (!failure.isEmpty())
            return Bench::noFigure(kBench, QStringLiteral("repeat %1: %2").arg(i).arg(failure));
        total << repeat.totalMs;
        tool << repeat.toolMs;
        own << repeat.totalMs - repeat.toolMs;
        calls << repeat.calls;
        firstLog << repeat.firstLog;
        database << repeat.database;
        firstCall << repeat.firstCall;
        ownAfter << repeat.ownAfterFirstCall;
        perCall << static_cast<double>(repeat.ownAfterFirstCall) / qMax(1, repeat.calls);
        emptyPaint << repeat.emptyPaintMs;
        replayOwn << repeat.replayOwnMs;
        replayPerCall << static_cast<double>(repeat.replayOwnMs) / qMax(1, repeat.calls);
        probeAlone << repeat.probeAloneMs;
        updaterAlone << repeat.updaterAloneMs;
        floor << repeat.probeAloneMs + repeat.updaterAloneMs + repeat.replayOwnMs;
        emulatorCpu << repeat.emulatorCpuMs;
        baselineCpu << repeat.baselineCpuMs;
    }

    std::printf("start-up to \"machine running\", %d repeats, tool latency %d ms per call, the machine start "
                "%.1f s\n",
                options.repeats, settings.latencyMs, kMachineStartSeconds);
    Bench::printHeader("launch to \"machine running\"", "ms");
    Bench::printRow("total", total);
    Bench::printRow("tool calls' own time (baseline)", tool);
    Bench::printRow("program's own time (aim: at most 150)", own);
    Bench::printRow("  floor: probe, updater, smallest runner", floor);
    Bench::printRow("tool calls", calls);
    Bench::printRatio("program's own time / tool calls' time", own, tool);
    Bench::printHeader("shares of the program's own time", "ms");
    Bench::printRow("launch to the first log line", firstLog);
    Bench::printRow("launch to the database opened", database);
    Bench::printRow("launch to the first tool call", firstCall);
    Bench::printRow("  baseline: an empty Qt window painted", emptyPaint);
    Bench::printRow("  baseline: the OpenGL probe alone", probeAlone);
    Bench::printRow("own time between the calls", ownAfter);
    Bench::printRow("  per call", perCall, 2);
    Bench::printRow("  baseline: same calls, smallest runner", replayOwn);
    Bench::printRow("    per call", replayPerCall, 2);
    Bench::printRow("  baseline: the updater's check alone", updaterAlone);

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
