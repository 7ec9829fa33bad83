// The emulator at rest with the Android window shown: its memory (resident, and anonymous: resident
// counts the shared libraries every GL program maps, anonymous is the program's own heap, stacks and
// private copies of library pages) after a rest of 20 s, its threads at rest, and the processor time it
// uses over that rest, beside an empty Qt widgets program measured the same way over the same stretch.
// The processor time of the render stand-in's thread (it calls the program's frame callback 30 times a
// second and draws the guest's picture) is shown apart from the program's own threads. The largest
// parts of the anonymous memory and the threads by name are named for the last repeat.
// The emulator runs in a temporary installation against the simulated tool, guest and render library.
//
// Each repeat is a whole run: a fresh installation, the emulator's launch to the Android window, the
// rest, the stop. A repeat that does not reach the rest prints "no figure" and why, and nothing else.
//
// Needs an X display; run under xvfb-run.
//   bench_androididle [rest seconds, default 20] [--repeats=N] [--smoke]
//   --fault=crash: the emulator is killed during the rest (a run cut short).

#include "benchfigures.h"
#include "installtree.h"
#include "programrun.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

constexpr const char *kBench = "bench_androididle";
const QString kRenderThread = QStringLiteral("orv-render");

struct Repeat
{
    Bench::Memory android, empty;
    double ownCpuMs = 0, renderCpuMs = 0, emptyCpuMs = 0;
    int threads = 0, emptyThreads = 0;
    QList<QPair<QString, qint64>> parts;
    QMap<QString, int> threadNames;
};

void pause(int ms)
{
    QElapsedTimer timer;
    timer.start();
    waitUntil([&] { return timer.elapsed() >= ms; }, ms + 1000);
}

QString lastLogLine(const InstallTree &tree)
{
    const QStringList log = tree.logText().trimmed().split(QLatin1Char('\n'));
    return log.isEmpty() ? QStringLiteral("(no log)") : log.last();
}

// One whole run; an empty string when it gave its figures, else why not.
QString measure(int seconds, const QString &fault, Repeat *repeat)
{
    InstallTree tree;
    if (!tree.isValid() || !tree.addProgram(QStringLiteral("Orvanta")) ||
        !tree.addProgram(QStringLiteral("OrvantaUpdater")) ||
        !tree.addRecorder(QStringLiteral("OrvMultiPlayer")) || !tree.addVirtualBox() || !tree.addGuestImage())
        return QStringLiteral("cannot lay out the install tree (build the programs first)");
    for (const char *library : {"libOpenglRender.so", "libDLLHelper.so"}) {
        if (!InstallTree::copyFile(InstallTree::stagedPlayerDir() + QLatin1Char('/') + QLatin1String(library),
                                   tree.playerDir() + QLatin1Char('/') + QLatin1String(library)))
            return QStringLiteral("%1 is not staged").arg(QLatin1String(library));
    }
    tree.setEnv(QStringLiteral("ORV_GUEST_BOOT_MS"), QStringLiteral("0"));
    tree.useTempDirHere();

    ProgramRun emulator(tree, QStringLiteral("Orvanta"),
                        {QStringLiteral("-vm=Orvanta_1"), QStringLiteral("-debug")});
    if (!emulator.start() || !emulator.waitForText(QStringLiteral("Control    : now show android"), 120000))
        return QStringLiteral("the Android window did not come up; the log ends with: ") + lastLogLine(tree);
    // The start-up's last work (the first launch 5 s later) is done before the rest begins.
    if (!emulator.waitForText(QStringLiteral("AndroidWindow    : firstLoad"), 15000))
        return QStringLiteral("the Android window did not make its first launch; the log ends with: ") +
               lastLogLine(tree);
    if (!waitUntil([&] { return Bench::ThreadTimes(emulator.pid()).hasThread(kRenderThread); }, 10000))
        return QStringLiteral("the emulator has no render thread \"orv-render\"; the log ends with: ") +
               lastLogLine(tree);

    ProgramRun baseline(tree, QStringLiteral(EMPTY_WIDGET_PROGRAM));
    if (!baseline.start() || !baseline.waitForOutput(QStringLiteral("painted"), 10000))
        return QStringLiteral("the empty Qt widgets window did not come up");

    const Bench::ThreadTimes androidBefore(emulator.pid());
    const Bench::ThreadTimes emptyBefore(baseline.pid());
    if (fault == QLatin1String("crash")) {
        pause(seconds * 500);
        emulator.killHard();
    }
    pause(seconds * (fault == QLatin1String("crash") ? 500 : 1000));
    if (!emulator.isRunning() || !baseline.isRunning())
        return QStringLiteral("a measured program ended during the rest");
    const Bench::ThreadTimes androidAfter(emulator.pid());
    repeat->ownCpuMs = androidAfter.othersSinceNs(androidBefore, kRenderThread) / 1e6;
    repeat->renderCpuMs = androidAfter.namedSinceNs(androidBefore, kRenderThread) / 1e6;
    repeat->emptyCpuMs = Bench::ThreadTimes(baseline.pid()).sinceNs(emptyBefore) / 1e6;
    repeat->android = Bench::memory(emulator.pid());
    repeat->empty = Bench::memory(baseline.pid());
    repeat->threads = Bench::threadCount(emulator.pid());
    repeat->emptyThreads = Bench::threadCount(baseline.pid());
    repeat->parts = Bench::anonymousParts(emulator.pid());
    repeat->threadNames = Bench::threadNames(emulator.pid());
    if (repeat->android.anonymousKb <= 0 || repeat->empty.anonymousKb <= 0 || repeat->threads <= 0)
        return QStringLiteral("the memory of a measured program could not be read");

    baseline.terminate();
    ProgramRun stop(tree, QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=Orvanta_1"), QStringLiteral("-stop")});
    stop.run(30000);
    if (!emulator.waitForFinished(30000))
        return QStringLiteral("the emulator did not end after its stop");
    return QString();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const Bench::Options options = Bench::options(app.arguments());
    const int seconds = options.smoke ? 2 : options.rest.value(0, QStringLiteral("20")).toInt();
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return Bench::noFigure(kBench, QStringLiteral("needs an X display (run under xvfb-run)"));

    QVector<double> residentMiB, emptyResidentMiB, anonymousMiB, emptyAnonymousMiB, cpuMs, ownCpuMs,
        renderCpuMs, emptyCpuMs, threads, emptyThreads;
    Repeat last;
    for (int i = 1; i <= options.repeats; ++i) {
        Repeat repeat;
        const QString failure = measure(seconds, options.fault, &repeat);
        if (!failure.isEmpty())
            return Bench::noFigure(kBench, QStringLiteral("repeat %1: %2").arg(i).arg(failure));
        residentMiB << repeat.android.residentKb / 1024.0;
        emptyResidentMiB << repeat.empty.residentKb / 1024.0;
        anonymousMiB << repeat.android.anonymousKb / 1024.0;
        emptyAnonymousMiB << repeat.empty.anonymousKb / 1024.0;
        ownCpuMs << repeat.ownCpuMs;
        renderCpuMs << repeat.renderCpuMs;
        cpuMs << repeat.ownCpuMs + repeat.renderCpuMs;
        emptyCpuMs << repeat.emptyCpuMs;
        threads << repeat.threads;
        emptyThreads << repeat.emptyThreads;
        last = repeat;
    }

    std::printf("emulator at rest with the Android window, beside an empty Qt widgets window; %d repeats, "
                "each a whole run with a rest of %d s\n",
                options.repeats, seconds);
    Bench::printHeader("anonymous memory (heap, stacks, private copies of library pages) after the rest",
                       "MiB");
    Bench::printRow("Orvanta, Android window", anonymousMiB, 1);
    Bench::printRow("empty Qt widgets window (baseline)", emptyAnonymousMiB, 1);
    Bench::printRatio("ratio to the baseline (aim: at most 1.5)", anonymousMiB, emptyAnonymousMiB);
    Bench::printHeader("resident memory after the rest", "MiB");
    Bench::printRow("Orvanta, Android window", residentMiB, 1);
    Bench::printRow("empty Qt widgets window (baseline)", emptyResidentMiB, 1);
    Bench::printRatio("ratio to the baseline", residentMiB, emptyResidentMiB);
    Bench::printHeader("threads at rest", "threads");
    Bench::printRow("Orvanta, Android window", threads);
    Bench::printRow("empty Qt widgets window (baseline)", emptyThreads);
    Bench::printHeader("processor time over the rest", "ms");
    Bench::printRow("Orvanta, all threads", cpuMs, 1);
    Bench::printRow("  render stand-in thread (frame callback)", renderCpuMs, 1);
    Bench::printRow("  the program's own threads", ownCpuMs, 1);
    Bench::printRow("empty Qt widgets window (baseline)", emptyCpuMs, 1);
    Bench::printRatio("program's own threads / baseline", ownCpuMs, emptyCpuMs);

    std::printf("\nlargest parts of the emulator's anonymous memory (last repeat, kB)\n");
    for (int i = 0; i < last.parts.size() && i < 12; ++i)
        std::printf("  %8lld  %s\n", static_cast<long long>(last.parts.at(i).second),
                    qPrintable(last.parts.at(i).first));
    std::printf("\nthe emulator's threads at rest by name (last repeat)\n");
    for (auto it = last.threadNames.cbegin(); it != last.threadNames.cend(); ++it)
        std::printf("  %3d  %s\n", it.value(), qPrintable(it.key()));
    return 0;
}
