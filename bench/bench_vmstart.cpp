// Cold versus warm machine start against the simulated VirtualBox tool of a temporary installation.
// A cold start builds the machine from the guest image and writes every setting; a warm start (the next
// program start, after a normal quit) should only read and start. Prints the tool calls of each, split
// into reads and writes, the time taken, and the tool calls' own time as the baseline: each call's real
// duration as the tool logs it, from the creation of its process to its return. What is left is the
// program's own time.
//
// Each repeat runs in a child process of its own (a fresh installation and fresh program state), which
// prints one line per start; a start that fails prints why instead, and no figure is printed at all.
// Each start must make the number of tool calls its sequence makes against a freshly imported machine
// (kColdCalls, kWarmCalls); any other count means the start took another path (a step skipped, a repair
// or a retry) and its time would not be the figure asked for: no figure then either.
//   bench_vmstart [--repeats=N] [--smoke]
//   --fault=extra-call: the warm start runs its tool's initialisation twice (a wrong call count).

#include "benchfigures.h"
#include "calllogs.h"
#include "global.h"
#include "installtree.h"
#include "paths.h"
#include "programrun.h"
#include "settingmodel.h"
#include "vboxtool.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTcpServer>

#include <cstdio>

namespace {

constexpr const char *kBench = "bench_vmstart";
constexpr const char *kChildOption = "--one-repeat";
// The tool calls of each start (see above): the cold start imports the machine, attaches its disks and
// writes every setting (48); the warm start reads the machine, host, properties and extradata, marks the
// run and starts (11). A change to the start-up's sequence changes these on purpose.
constexpr int kColdCalls = 48;
constexpr int kWarmCalls = 11;

// What the machine steps logged, kept so that a failed start can say why.
QStringList &messages()
{
    static QStringList list;
    return list;
}

void keepMessage(QtMsgType, const QMessageLogContext &, const QString &text)
{
    messages() << text;
    if (messages().size() > 200)
        messages().removeFirst();
}

struct Start
{
    QString failedStep; // empty when the start succeeded
    qint64 ms = 0;
    int calls = 0;
    int writes = 0;
    qint64 toolMs = 0;      // the calls' real durations added up (they run one after the other)
    QStringList writeCalls; // the command lines that changed something, to say why a count is off
};

// The start-up worker's machine steps, from the image check to the headless start, in the order and
// with the arguments the start-up worker uses.
Start startOnce(VBoxTool &tool, const QString &stateDir, bool extraInit = false)
{
    Start start;
    QFile::remove(stateDir + QStringLiteral("/calls.log"));
    messages().clear();
    QElapsedTimer timer;
    timer.start();
    const auto step = [&start](const char *name, bool ok) {
        if (!ok && start.failedStep.isEmpty())
            start.failedStep = QLatin1String(name);
        return ok;
    };
    if (step("checkVBoxPath", tool.checkVBoxPath() == 1) && step("checkOva", tool.checkOva() == 1)) {
        tool.init();
        if (extraInit)
            tool.init();
        tool.applyVmSettings();
        step("initNetwork", tool.initNetwork() == 1) && step("checkCpu", tool.checkCpu(true) == 1) &&
            step("checkMemory", tool.checkMemory(true) == 1) &&
            step("setResolutionAndDpi", tool.setResolutionAndDpi() == 1) &&
            step("startVM", tool.startVM() == 1);
    }
    start.ms = timer.elapsed();
    for (const ToolCallRecord &call : readToolCallRecords(stateDir)) {
        ++start.calls;
        if (!isReadOnlyToolCall(call.args)) {
            ++start.writes;
            start.writeCalls << call.args.join(QLatin1Char(' '));
        }
        start.toolMs += qMax<qint64>(0, call.durationMs());
    }
    return start;
}

QString line(const char *name, const Start &start)
{
    if (!start.failedStep.isEmpty()) {
        QStringList why = messages().mid(qMax(0, messages().size() - 3));
        return QStringLiteral("%1 failed at %2: %3\n")
            .arg(QLatin1String(name), start.failedStep, why.join(QStringLiteral(" / ")));
    }
    return QStringLiteral("%1 %2 %3 %4 %5 %6\n")
        .arg(QLatin1String(name))
        .arg(start.ms)
        .arg(start.calls)
        .arg(start.writes)
        .arg(start.toolMs)
        .arg(start.writeCalls.join(QLatin1Char('|')));
}

// One repeat: a cold start, the quit sequence, then a warm start in a fresh installation.
int oneRepeat(const QString &fault)
{
    qInstallMessageHandler(keepMessage);
    InstallTree tree;
    if (!tree.isValid() || !tree.addVirtualBox() || !tree.addGuestImage()) {
        std::printf("setup failed: cannot lay out the install tree (build VBoxManage first)\n");
        return 1;
    }
    const QProcessEnvironment env = tree.environment();
    for (const QString &name : env.keys())
        qputenv(name.toLocal8Bit().constData(), env.value(name).toLocal8Bit());
    const QString stateDir = env.value(QStringLiteral("ORV_VBOX_STATE"));

    // What the emulator sets up before its start-up worker runs these steps.
    Global::initSystemInfo();
    Platform::initSettingsPaths();
    Global::loadInstallInfo();
    Global::vmName = QStringLiteral("Orvanta_1");
    Global::streamMode = QStringLiteral("speed");
    SettingModel::instance()->load(true);

    VBoxTool cold;
    const Start first = startOnce(cold, stateDir);
    std::printf("%s", qPrintable(line("cold", first)));
    if (!first.failedStep.isEmpty())
        return 1;
    // The quit's power-off, which reads the machine's state first (the one read before the start is
    // stale: the machine runs now).
    if (!cold.stopVMForQuit()) {
        std::printf("cold start's machine not powered off\n");
        return 1;
    }
    cold.clearEmuId();
    // The powered-off machine's guest lets go of its forwarded ports a moment later; a warm start that
    // found them still taken would forward others (more calls), which is not the start measured here.
    const QList<int> ports = {Global::openglPort.toInt(), Global::vinputPort.toInt(),
                              Global::pavixPort.toInt(), Global::adbPort.toInt(), Global::yeltPort.toInt()};
    const bool portsFree = waitUntil(
        [&] {
            for (int port : ports) {
                QTcpServer probe;
                if (port > 0 && !probe.listen(QHostAddress::LocalHost, static_cast<quint16>(port)))
                    return false;
            }
            return true;
        },
        10000);
    if (!portsFree) {
        std::printf("the powered-off machine's forwarded ports are still taken after 10 s\n");
        return 1;
    }

    VBoxTool warm; // the next program start
    const Start second = startOnce(warm, stateDir, fault == QLatin1String("extra-call"));
    std::printf("%s", qPrintable(line("warm", second)));
    warm.stopVMForQuit();
    return second.failedStep.isEmpty() ? 0 : 1;
}

struct Samples
{
    QVector<double> ms, calls, writes, toolMs, ownMs;
};

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Halvora"));
    const Bench::Options options = Bench::options(app.arguments());
    if (app.arguments().contains(QLatin1String(kChildOption)))
        return oneRepeat(options.fault);

    InstallTree calibration;
    if (!calibration.isValid() || !calibration.addVirtualBox())
        return Bench::noFigure(kBench,
                               QStringLiteral("cannot lay out the install tree (build VBoxManage first)"));
    Samples cold, warm;
    for (int repeat = 1; repeat <= options.repeats; ++repeat) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QLatin1String(kChildOption), QStringLiteral("--fault=") + options.fault});
        if (!child.waitForFinished(120000)) {
            child.kill();
            child.waitForFinished();
            return Bench::noFigure(kBench,
                                   QStringLiteral("repeat %1 did not end within 2 minutes").arg(repeat));
        }
        const QString output = QString::fromUtf8(child.readAllStandardOutput());
        if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0)
            return Bench::noFigure(kBench, QStringLiteral("repeat %1: %2").arg(repeat).arg(output.trimmed()));
        for (const QString &row : output.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            const QStringList f = row.split(QLatin1Char(' '));
            const bool isCold = f.value(0) == QLatin1String("cold");
            if (!isCold && f.value(0) != QLatin1String("warm"))
                return Bench::noFigure(kBench,
                                       QStringLiteral("repeat %1 printed \"%2\"").arg(repeat).arg(row));
            const int expected = isCold ? kColdCalls : kWarmCalls;
            if (f.value(2).toInt() != expected)
                return Bench::noFigure(
                    kBench, QStringLiteral("repeat %1: the %2 start made %3 tool calls instead of %4 "
                                           "(another path: a busy host port, a repair or a retry); "
                                           "its writes: %5")
                                .arg(repeat)
                                .arg(f.value(0))
                                .arg(f.value(2))
                                .arg(expected)
                                .arg(row.section(QLatin1Char(' '), 5)
                                         .replace(QLatin1Char('|'), QStringLiteral("; "))));
            Samples &s = isCold ? cold : warm;
            const double ms = f.value(1).toDouble();
            const double toolMs = f.value(4).toDouble();
            s.ms << ms;
            s.calls << f.value(2).toDouble();
            s.writes << f.value(3).toDouble();
            s.toolMs << toolMs;
            s.ownMs << ms - toolMs;
        }
    }
    if (cold.ms.size() != options.repeats || warm.ms.size() != options.repeats)
        return Bench::noFigure(kBench, QStringLiteral("a repeat printed no start"));

    std::printf("machine start against the simulated tool, %d repeats, each in a fresh installation\n",
                options.repeats);
    for (const auto &[name, s] : {std::make_pair("cold start", &cold), std::make_pair("warm start", &warm)}) {
        Bench::printHeader(name, "ms; tool calls");
        Bench::printRow("tool calls", s->calls);
        Bench::printRow("  of which write", s->writes);
        Bench::printRow("time from the image check to the start", s->ms);
        Bench::printRow("tool calls' own time (baseline)", s->toolMs);
        Bench::printRow("program's own time", s->ownMs);
        Bench::printRatio("ratio to the baseline", s->ms, s->toolMs);
    }
    std::printf("\n");
    Bench::printRatio("warm start time / cold start time", warm.ms, cold.ms);
    return 0;
}
