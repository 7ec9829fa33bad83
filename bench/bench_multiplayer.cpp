// The instance manager with 100 instances, against the simulated VirtualBox tool of a temporary
// installation:
// 1. A refresh of the list by the manager's VM tool (in this process): its wall time, the tool calls'
//    own time (the union of each call's real interval as the tool logs it, from the creation of its
//    process to its return), and the manager's own time, the wall time outside every tool call.
// 2. The manager program from its launch to the first paint of its list with the 100 rows (it logs
//    "player list painted 100 rows at <ms since the epoch>", the moment taken in the program), with the
//    tool calls' time inside that stretch and the rest, its own, taken in each launch, beside an empty
//    Qt widgets program from its launch to its first paint (which it prints the same way), launched by
//    turns with it in the same run; and the memory of both once painted.
// Every refresh must make the same number of tool calls as the first; another count, a list without
// its rows or a launch that does not paint gives no figure.
// Needs an X display for the programs; run under xvfb-run.
//   bench_multiplayer [--repeats=N] [--smoke]
//   --fault=lost-rows: one instance is unregistered behind the manager's back before the launches (its
//   list is painted without all its rows).

#include "benchfigures.h"
#include "calllogs.h"
#include "installtree.h"
#include "managervboxtool.h"
#include "paths.h"
#include "programrun.h"

#include <QCoreApplication>
#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QThread>

#include <cstdio>

using namespace OrvMulti;

namespace {

constexpr const char *kBench = "bench_multiplayer";
constexpr int kInstances = 100;
constexpr qint64 kPaintedAimMs = 300; // painted within the tool calls' time and this much more
constexpr int kSettleMs = 1000;       // from the first paint to the memory reading

bool runTool(const InstallTree &tree, const QStringList &args)
{
    QProcess process;
    process.setProcessEnvironment(tree.environment());
    process.start(tree.vboxDir() + QStringLiteral("/OrvvmManage"), args);
    return process.waitForFinished(30000) && process.exitCode() == 0;
}

QString managerLog(const InstallTree &tree)
{
    QFile file(tree.localAppDataDir() + QStringLiteral("/OrvMultiPlayer/log/log-") +
               QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The moment the manager logged its list painted, from the line itself; 0 when no such line (beyond the
// first `skip`) is there, -1 when it names fewer rows than the instances.
qint64 paintedAt(const QString &log, int skip)
{
    static const QRegularExpression line(QStringLiteral("player list painted (\\d+) rows at (\\d+)"));
    QRegularExpressionMatchIterator it = line.globalMatch(log);
    for (int i = 0; it.hasNext(); ++i) {
        const QRegularExpressionMatch match = it.next();
        if (i < skip)
            continue;
        return match.captured(1).toInt() == kInstances ? match.captured(2).toLongLong() : -1;
    }
    return 0;
}

struct Launches
{
    QVector<double> paintedMs, toolMs, ownMs, residentMiB, anonymousMiB;

    void addMemory(qint64 pid)
    {
        const Bench::Memory memory = Bench::memory(pid);
        residentMiB << memory.residentKb / 1024.0;
        anonymousMiB << memory.anonymousKb / 1024.0;
    }
};

// One launch of the manager until its list is painted; an empty string when it gave its figures.
QString launchManager(const InstallTree &tree, Launches *figures)
{
    const QString stateDir = tree.root() + QStringLiteral("/vbox-state");
    QFile::remove(stateDir + QStringLiteral("/calls.log"));
    const int paintedBefore = managerLog(tree).count(QLatin1String("player list painted"));
    ProgramRun manager(tree, QStringLiteral("OrvMultiPlayer"));
    const qint64 launch = QDateTime::currentMSecsSinceEpoch();
    if (!manager.start())
        return QStringLiteral("the manager did not start");
    qint64 painted = 0;
    waitUntil([&] { return (painted = paintedAt(managerLog(tree), paintedBefore)) != 0; }, 30000);
    if (painted == 0) {
        const QStringList log = managerLog(tree).trimmed().split(QLatin1Char('\n'));
        return QStringLiteral("the manager did not paint its list within 30 s; its log ends with: ") +
               log.last();
    }
    if (painted < 0)
        return QStringLiteral("the manager painted a list without its %1 rows").arg(kInstances);
    const qint64 toolMs = Bench::toolTimeMs(readToolCallRecords(stateDir), launch, painted);
    figures->paintedMs << painted - launch;
    figures->toolMs << toolMs;
    figures->ownMs << painted - launch - toolMs;
    QThread::msleep(kSettleMs);
    figures->addMemory(manager.pid());
    manager.terminate();
    return QString();
}

QString launchEmptyWidget(const InstallTree &tree, Launches *figures)
{
    ProgramRun empty(tree, QStringLiteral(EMPTY_WIDGET_PROGRAM));
    const qint64 toPaint = Bench::launchToPaintMs(empty);
    if (toPaint < 0)
        return QStringLiteral("the empty Qt widgets window did not come up");
    figures->paintedMs << toPaint;
    figures->toolMs << 0;
    figures->ownMs << toPaint;
    QThread::msleep(kSettleMs);
    figures->addMemory(empty.pid());
    empty.terminate();
    return QString();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    // The manager's VM tool logs every call; here only the figures are printed.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    const Bench::Options options = Bench::options(app.arguments());
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return Bench::noFigure(kBench, QStringLiteral("needs an X display (run under xvfb-run)"));

    InstallTree tree;
    if (!tree.addVirtualBox() || !tree.addGuestImage() || !tree.addProgram(QStringLiteral("OrvMultiPlayer")))
        return Bench::noFigure(kBench,
                               QStringLiteral("cannot lay out the install tree (build the programs first)"));
    tree.writeInstallKey();
    const QProcessEnvironment env = tree.environment();
    for (const QString &name : env.keys())
        qputenv(name.toLocal8Bit().constData(), env.value(name).toLocal8Bit());
    tree.useTempDirHere();
    Platform::initSettingsPaths();

    for (int i = 0; i < kInstances; ++i) {
        if (!runTool(tree, {"createvm", "--name", QStringLiteral("Orvanta_%1").arg(i), "--register"}))
            return Bench::noFigure(kBench, QStringLiteral("instance %1 could not be made").arg(i));
    }
    VBoxTool &tool = VBoxTool::instance();
    VmRecordMap records;
    if (tool.init() != VBoxTool::Success || tool.refreshVms(&records) != VBoxTool::Success ||
        records.size() != size_t(kInstances))
        return Bench::noFigure(
            kBench, QStringLiteral("the first listing did not give the %1 instances").arg(kInstances));

    // 1. The refresh in this process.
    const QString stateDir = tree.root() + QStringLiteral("/vbox-state");
    QVector<double> refreshMs, refreshToolMs, refreshOwnMs, refreshCalls;
    for (int repeat = 0; repeat < options.repeats; ++repeat) {
        QFile::remove(stateDir + QStringLiteral("/calls.log"));
        const qint64 from = QDateTime::currentMSecsSinceEpoch();
        const int result = tool.refreshVms(&records);
        const qint64 to = QDateTime::currentMSecsSinceEpoch();
        if (result != VBoxTool::Success || records.size() != size_t(kInstances))
            return Bench::noFigure(kBench,
                                   QStringLiteral("refresh %1 failed (%2)").arg(repeat + 1).arg(result));
        const QList<ToolCallRecord> calls = readToolCallRecords(stateDir);
        const qint64 toolMs = Bench::toolTimeMs(calls, from, to);
        refreshMs << to - from;
        refreshToolMs << toolMs;
        refreshOwnMs << to - from - toolMs;
        refreshCalls << calls.size();
        if (calls.size() != refreshCalls.first())
            return Bench::noFigure(kBench, QStringLiteral("refresh %1 made %2 tool calls, the first made %3")
                                               .arg(repeat + 1)
                                               .arg(calls.size())
                                               .arg(refreshCalls.first()));
    }
    if (options.fault == QLatin1String("lost-rows") &&
        !runTool(tree, {"unregistervm", QStringLiteral("Orvanta_%1").arg(kInstances - 1)}))
        return Bench::noFigure(kBench, QStringLiteral("the fault could not be laid"));

    // 2. The programs, launched by turns.
    Launches manager, empty;
    for (int repeat = 0; repeat < options.repeats; ++repeat) {
        QString failure = launchEmptyWidget(tree, &empty);
        if (failure.isEmpty())
            failure = launchManager(tree, &manager);
        if (!failure.isEmpty())
            return Bench::noFigure(kBench, QStringLiteral("launch %1: %2").arg(repeat + 1).arg(failure));
    }

    std::printf("instance manager with %d instances, %d repeats\n", kInstances, options.repeats);
    Bench::printHeader("refresh of the list by the manager's VM tool", "ms; tool calls");
    Bench::printRow("tool calls", refreshCalls);
    Bench::printRow("wall time", refreshMs);
    Bench::printRow("tool calls' own time (baseline)", refreshToolMs);
    Bench::printRow("manager's own time (outside the calls)", refreshOwnMs);
    Bench::printRatio("manager's own time / tool calls' time", refreshOwnMs, refreshToolMs);

    Bench::printHeader("launch to the first paint of the list", "ms");
    Bench::printRow("manager, 100 rows", manager.paintedMs);
    Bench::printRow("  tool calls' time in it", manager.toolMs);
    Bench::printRow("  the rest: the manager's own", manager.ownMs);
    Bench::printRow("empty Qt widgets window (baseline)", empty.paintedMs);
    Bench::printRatio("manager's own / baseline", manager.ownMs, empty.paintedMs);
    std::printf("  (aim: the manager's own time at most %lld ms; each launch's own time is its painted\n"
                "   moment less the tool calls' time of that same launch)\n",
                static_cast<long long>(kPaintedAimMs));

    Bench::printHeader("memory once painted", "MiB");
    Bench::printRow("manager, resident", manager.residentMiB, 1);
    Bench::printRow("empty Qt widgets window, resident", empty.residentMiB, 1);
    Bench::printRatio("ratio to the baseline", manager.residentMiB, empty.residentMiB);
    Bench::printRow("manager, anonymous", manager.anonymousMiB, 1);
    Bench::printRow("empty Qt widgets window, anonymous", empty.anonymousMiB, 1);
    Bench::printRatio("ratio to the baseline", manager.anonymousMiB, empty.anonymousMiB);
    return 0;
}
