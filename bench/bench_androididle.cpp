// The emulator at rest with the Android window shown: its resident memory and the processor time it
// uses over an idle stretch, beside an empty Qt widget program measured the same way in the same run.
// The emulator runs in a temporary installation against the simulated tool, guest and render library.
//
// Needs an X display; run under xvfb-run.
//   bench_androididle [idle seconds, default 5]

#include "installtree.h"
#include "programrun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>

#include <cstdio>
#include <unistd.h>

namespace {

struct Figures
{
    long rssKb = -1;
    double cpuSeconds = -1;
};

long residentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

double cpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    // Fields after the command name in parentheses; utime and stime are the 14th and 15th fields.
    const QList<QByteArray> f = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (f.value(11).toDouble() + f.value(12).toDouble()) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

void idle(int seconds)
{
    QEventLoop loop;
    QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
    loop.exec();
}

Figures measure(qint64 pid, int seconds)
{
    Figures figures;
    const double before = cpuSeconds(pid);
    idle(seconds);
    figures.cpuSeconds = cpuSeconds(pid) - before;
    figures.rssKb = residentKb(pid);
    return figures;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? QByteArray(argv[1]).toInt() : 5;

    InstallTree tree;
    if (!tree.isValid() || !tree.addProgram(QStringLiteral("Orvanta")) ||
        !tree.addProgram(QStringLiteral("OrvantaUpdater")) ||
        !tree.addRecorder(QStringLiteral("OrvMultiPlayer")) || !tree.addVirtualBox() || !tree.addGuestImage())
        return 1;
    for (const char *library : {"libOpenglRender.so", "libDLLHelper.so"}) {
        if (!InstallTree::copyFile(InstallTree::stagedPlayerDir() + QLatin1Char('/') + QLatin1String(library),
                                   tree.playerDir() + QLatin1Char('/') + QLatin1String(library)))
            return 1;
    }
    tree.setEnv(QStringLiteral("ORV_GUEST_BOOT_MS"), QStringLiteral("0"));
    tree.useTempDirHere();

    ProgramRun emulator(tree, QStringLiteral("Orvanta"),
                        {QStringLiteral("-vm=Orvanta_1"), QStringLiteral("-debug")});
    if (!emulator.start() || !emulator.waitForText(QStringLiteral("Control    : now show android"), 120000)) {
        std::fprintf(stderr, "the Android window did not come up\n");
        return 1;
    }
    // The start-up's last work (the first launch 5 s later) is done before the idle stretch.
    emulator.waitForText(QStringLiteral("AndroidWindow    : firstLoad"), 15000);
    const Figures android = measure(emulator.pid(), seconds);

    ProgramRun baseline(tree, QStringLiteral(EMPTY_WIDGET_PROGRAM));
    if (!baseline.start())
        return 1;
    idle(1);
    const Figures empty = measure(baseline.pid(), seconds);
    baseline.terminate();

    ProgramRun stop(tree, QStringLiteral("Orvanta"),
                    {QStringLiteral("-vm=Orvanta_1"), QStringLiteral("-stop")});
    stop.run(30000);
    emulator.waitForFinished(30000);

    std::printf("idle %d s            resident memory   processor time\n", seconds);
    std::printf("empty Qt widget      %8ld kB       %6.2f s\n", empty.rssKb, empty.cpuSeconds);
    std::printf("Orvanta, Android     %8ld kB       %6.2f s\n", android.rssKb, android.cpuSeconds);
    if (empty.rssKb > 0)
        std::printf("ratio                %8.2f\n", static_cast<double>(android.rssKb) / empty.rssKb);
    return 0;
}
