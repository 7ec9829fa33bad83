// The start-up's own time: the emulator program is launched in a temporary installation against the
// simulated VirtualBox tool, which answers every call after a fixed latency, and timed from launch to
// "machine running". Beside it: the number of tool calls and the sum of their latencies, so the
// difference is what the program itself adds (process starts, checks, the updater, waiting).
//
// Needs an X display (the start-up's environment checks read it); run under xvfb-run.
//   bench_startup [latency ms, default 50] [runs, default 3]

#include "installtree.h"
#include "programrun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace {

int toolCalls(const InstallTree &tree)
{
    QFile file(tree.root() + QStringLiteral("/vbox-state/calls.log"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    int calls = 0;
    for (const QByteArray &line : file.readAll().split('\n'))
        calls += QJsonDocument::fromJson(line).isObject() ? 1 : 0;
    return calls;
}

bool runOnce(int latencyMs, qint64 *elapsedMs, int *calls)
{
    InstallTree tree;
    if (!tree.isValid() || !tree.addProgram(QStringLiteral("Orvanta")) ||
        !tree.addProgram(QStringLiteral("OrvantaUpdater")) ||
        !tree.addRecorder(QStringLiteral("OrvMultiPlayer")) || !tree.addVirtualBox() || !tree.addGuestImage())
        return false;
    QDir().mkpath(tree.root() + QStringLiteral("/vbox-state"));
    QFile faults(tree.root() + QStringLiteral("/vbox-state/faults.json"));
    if (!faults.open(QIODevice::WriteOnly))
        return false;
    faults.write(
        QStringLiteral(R"([{"match": "*", "sleep": %1, "pass": true}])").arg(latencyMs / 1000.0).toUtf8());
    faults.close();
    qputenv("TMPDIR", tree.tempDir().toLocal8Bit());

    ProgramRun emulator(tree, QStringLiteral("Orvanta"),
                        {QStringLiteral("-vm=Orvanta_1"), QStringLiteral("-debug")});
    QElapsedTimer clock;
    clock.start();
    if (!emulator.start())
        return false;
    const bool running = emulator.waitForText(QStringLiteral("Loading    : machine running"), 300000);
    *elapsedMs = clock.elapsed();
    *calls = toolCalls(tree);
    ProgramRun stop(tree, QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=Orvanta_1"), QStringLiteral("-stop")});
    stop.run();
    emulator.waitForFinished(60000);
    return running;
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
    std::printf("start-up to \"machine running\", tool latency %d ms per call\n", latencyMs);
    std::printf("%4s %10s %6s %12s %12s\n", "run", "total ms", "calls", "tool ms", "own ms");
    const QByteArray savedTmp = qgetenv("TMPDIR");
    for (int run = 1; run <= runs; ++run) {
        qint64 elapsed = 0;
        int calls = 0;
        const bool ok = runOnce(latencyMs, &elapsed, &calls);
        qputenv("TMPDIR", savedTmp);
        if (!ok) {
            std::printf("%4d  did not reach a running machine\n", run);
            return 1;
        }
        const qint64 toolMs = static_cast<qint64>(calls) * latencyMs;
        std::printf("%4d %10lld %6d %12lld %12lld\n", run, static_cast<long long>(elapsed), calls,
                    static_cast<long long>(toolMs), static_cast<long long>(elapsed - toolMs));
    }
    return 0;
}
