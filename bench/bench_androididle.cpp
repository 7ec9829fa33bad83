// The emulator at rest with the Android window shown: its memory (resident, and anonymous: resident
// counts the shared libraries every GL program maps, anonymous is the program's own heap and stacks) and
// the processor time it uses over idle windows of 20 s, beside an empty Qt widgets program measured the
// same way over the same windows. The processor time of the render stand-in's thread (it calls the
// program's frame callback 30 times a second and draws the guest's picture) is shown apart from the
// program's own threads.
// The emulator runs in a temporary installation against the simulated tool, guest and render library.
//
// Needs an X display; run under xvfb-run.
//   bench_androididle [idle seconds per window, default 20] [--repeats=N] [--smoke]

#include "benchfigures.h"
#include "installtree.h"
#include "programrun.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

constexpr const char *kBench = "bench_androididle";
const QString kRenderThread = QStringLiteral("orv-render");

struct Samples
{
    QVector<double> residentMiB, anonymousMiB, cpuMs, ownCpuMs, renderCpuMs;

    void addMemory(qint64 pid)
    {
        const Bench::Memory memory = Bench::memory(pid);
        residentMiB << memory.residentKb / 1024.0;
        anonymousMiB << memory.anonymousKb / 1024.0;
    }
};

void pause(int ms)
{
    QElapsedTimer timer;
    timer.start();
    waitUntil([&] { return timer.elapsed() >= ms; }, ms + 1000);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const Bench::Options options = Bench::options(app.arguments());
    const int seconds = options.smoke ? 2 : options.rest.value(0, QStringLiteral("20")).toInt();
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return Bench::noFigure(kBench, QStringLiteral("needs an X display (run under xvfb-run)"));

    InstallTree tree;
    if (!tree.isValid() || !tree.addProgram(QStringLiteral("Orvanta")) ||
        !tree.addProgram(QStringLiteral("OrvantaUpdater")) ||
        !tree.addRecorder(QStringLiteral("OrvMultiPlayer")) || !tree.addVirtualBox() || !tree.addGuestImage())
        return Bench::noFigure(kBench,
                               QStringLiteral("cannot lay out the install tree (build the programs first)"));
    for (const char *library : {"libOpenglRender.so", "libDLLHelper.so"}) {
        if (!InstallTree::copyFile(InstallTree::stagedPlayerDir() + QLatin1Char('/') + QLatin1String(library),
                                   tree.playerDir() + QLatin1Char('/') + QLatin1String(library)))
            return Bench::noFigure(kBench,
                                   QStringLiteral("the render stand-in %1 is not staged").arg(library));
    }
    tree.setEnv(QStringLiteral("ORV_GUEST_BOOT_MS"), QStringLiteral("0"));
    tree.useTempDirHere();

    ProgramRun emulator(tree, QStringLiteral("Orvanta"),
                        {QStringLiteral("-vm=Orvanta_1"), QStringLiteral("-debug")});
    if (!emulator.start() || !emulator.waitForText(QStringLiteral("Control    : now show android"), 120000)) {
        const QStringList log = tree.logText().trimmed().split(QLatin1Char('\n'));
        return Bench::noFigure(
            kBench, QStringLiteral("the Android window did not come up; the log ends with: ") + log.last());
    }
    // The start-up's last work (the first launch 5 s later) is done before the idle windows.
    if (!emulator.waitForText(QStringLiteral("AndroidWindow    : firstLoad"), 15000))
        return Bench::noFigure(kBench, QStringLiteral("the Android window did not make its first launch"));
    if (!Bench::ThreadTimes(emulator.pid()).hasThread(kRenderThread))
        return Bench::noFigure(kBench, QStringLiteral("the emulator has no render thread \"orv-render\""));

    ProgramRun baseline(tree, QStringLiteral(EMPTY_WIDGET_PROGRAM));
    if (!baseline.start() || !baseline.waitForOutput(QStringLiteral("painted"), 10000))
        return Bench::noFigure(kBench, QStringLiteral("the empty Qt widgets window did not come up"));
    pause(1000);

    Samples android, empty;
    for (int repeat = 0; repeat < options.repeats; ++repeat) {
        const Bench::ThreadTimes androidBefore(emulator.pid());
        const Bench::ThreadTimes emptyBefore(baseline.pid());
        pause(seconds * 1000);
        if (!emulator.isRunning() || !baseline.isRunning())
            return Bench::noFigure(kBench, QStringLiteral("a measured program ended in the idle window"));
        const Bench::ThreadTimes androidAfter(emulator.pid());
        const double own = androidAfter.othersSinceNs(androidBefore, kRenderThread) / 1e6;
        const double render = androidAfter.namedSinceNs(androidBefore, kRenderThread) / 1e6;
        android.ownCpuMs << own;
        android.renderCpuMs << render;
        android.cpuMs << own + render;
        android.addMemory(emulator.pid());
        empty.cpuMs << Bench::ThreadTimes(baseline.pid()).sinceNs(emptyBefore) / 1e6;
        empty.addMemory(baseline.pid());
    }
    baseline.terminate();
    ProgramRun stop(tree, QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=Orvanta_1"), QStringLiteral("-stop")});
    stop.run(30000);
    emulator.waitForFinished(30000);

    std::printf(
        "emulator at rest with the Android window, beside an empty Qt widgets window; %d idle windows of "
        "%d s\n",
        options.repeats, seconds);
    Bench::printHeader("resident memory, at the end of each window", "MiB");
    Bench::printRow("Orvanta, Android window", android.residentMiB, 1);
    Bench::printRow("empty Qt widgets window (baseline)", empty.residentMiB, 1);
    Bench::printRatio("ratio to the baseline", android.residentMiB, empty.residentMiB);
    Bench::printHeader("anonymous memory (heap and stacks), at the end of each window", "MiB");
    Bench::printRow("Orvanta, Android window", android.anonymousMiB, 1);
    Bench::printRow("empty Qt widgets window (baseline)", empty.anonymousMiB, 1);
    Bench::printRatio("ratio to the baseline", android.anonymousMiB, empty.anonymousMiB);
    Bench::printHeader("processor time over each window", "ms");
    Bench::printRow("Orvanta, all threads", android.cpuMs, 1);
    Bench::printRow("  render stand-in thread (frame callback)", android.renderCpuMs, 1);
    Bench::printRow("  the program's own threads", android.ownCpuMs, 1);
    Bench::printRow("empty Qt widgets window (baseline)", empty.cpuMs, 1);
    Bench::printRatio("program's own threads / baseline", android.ownCpuMs, empty.cpuMs);
    return 0;
}
