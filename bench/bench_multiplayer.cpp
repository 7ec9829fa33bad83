// Listing and refreshing 100 instances with the manager's VM tool against the simulated VirtualBox tool
// of a temporary installation. The refresh's wall time is split into the tool's share (the same tool
// command lines run again on their own, in this run) and the manager's own share; then the manager
// program lists the 100 instances and its resident memory is read.
#include "calllogs.h"
#include "installtree.h"
#include "managervboxtool.h"
#include "paths.h"
#include "programrun.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <cstdio>

using namespace OrvMulti;

namespace {

constexpr int kInstances = 100;
constexpr int kRounds = 5;
constexpr qint64 kOwnTimeAimMs = 200;
constexpr qint64 kMemoryAimKb = 40 * 1024;

bool runTool(const InstallTree &tree, const QStringList &args)
{
    QProcess process;
    process.setProcessEnvironment(tree.environment());
    process.start(tree.vboxDir() + QStringLiteral("/OrvvmManage"), args);
    return process.waitForFinished(30000) && process.exitCode() == 0;
}

qint64 residentKb(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

QString managerLog(const InstallTree &tree)
{
    QFile file(tree.localAppDataDir() + QStringLiteral("/OrvMultiPlayer/log/log-") +
               QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(".log"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    InstallTree tree;
    if (!tree.addVirtualBox() || !tree.addGuestImage() ||
        !tree.addProgram(QStringLiteral("OrvMultiPlayer"))) {
        std::fprintf(stderr, "install tree not made\n");
        return 1;
    }
    tree.writeInstallKey();
    const QProcessEnvironment env = tree.environment();
    for (const char *name : {"TMPDIR", "PATH", "ORV_VBOX_STATE", "XDG_CONFIG_DIRS", "XDG_CONFIG_HOME", "HOME",
                             "APPDATA", "LOCALAPPDATA"})
        qputenv(name, env.value(QLatin1String(name)).toLocal8Bit());
    tree.useTempDirHere();
    Platform::initSettingsPaths();

    for (int i = 0; i < kInstances; ++i) {
        if (!runTool(tree, {"createvm", "--name", QStringLiteral("Orvanta_%1").arg(i), "--register"})) {
            std::fprintf(stderr, "instance %d not made\n", i);
            return 1;
        }
    }
    VBoxTool &tool = VBoxTool::instance();
    VmRecordMap records;
    if (tool.init() != VBoxTool::Success || tool.refreshVms(&records) != VBoxTool::Success ||
        records.size() != size_t(kInstances)) {
        std::fprintf(stderr, "first list failed\n");
        return 1;
    }

    const QString stateDir = tree.root() + QStringLiteral("/vbox-state");
    const QString callLog = stateDir + QStringLiteral("/calls.log");
    qint64 refreshMs = 0;
    qint64 toolMs = 0;
    for (int round = 0; round < kRounds; ++round) {
        QFile::remove(callLog);
        QElapsedTimer timer;
        timer.start();
        tool.refreshVms(&records);
        refreshMs += timer.elapsed();
        const QList<QStringList> calls = readToolCalls(stateDir);
        timer.restart();
        for (const QStringList &args : calls)
            runTool(tree, args);
        toolMs += timer.elapsed();
    }
    refreshMs /= kRounds;
    toolMs /= kRounds;
    const qint64 ownMs = qMax<qint64>(0, refreshMs - toolMs);

    // The program itself with the 100 instances listed.
    ProgramRun manager(tree, QStringLiteral("OrvMultiPlayer"));
    manager.start();
    QElapsedTimer wait;
    wait.start();
    while (!managerLog(tree).contains(QLatin1String("end player model data set")) && wait.elapsed() < 30000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const qint64 rssKb = residentKb(manager.pid());
    manager.terminate();

    std::printf("refresh of %d instances (mean of %d): %lld ms in all\n", kInstances, kRounds,
                static_cast<long long>(refreshMs));
    std::printf("  tool's time (baseline, same command lines run alone): %lld ms\n",
                static_cast<long long>(toolMs));
    std::printf("  manager's own time: %lld ms (aim under %lld ms), own/tool ratio %.2f\n",
                static_cast<long long>(ownMs), static_cast<long long>(kOwnTimeAimMs),
                toolMs > 0 ? double(ownMs) / double(toolMs) : 0.0);
    std::printf(
        "manager resident memory with %d instances listed: %lld kB (aim under %lld kB), ratio to aim %.2f\n",
        kInstances, static_cast<long long>(rssKb), static_cast<long long>(kMemoryAimKb),
        double(rssKb) / double(kMemoryAimKb));
    return 0;
}
