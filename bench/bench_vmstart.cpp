// Cold versus warm machine start against the simulated VirtualBox tool of a temporary installation.
// A cold start builds the machine from the guest image and writes every setting; a warm start (the next
// program start, after a normal quit) should only read and start. Prints the tool calls of each, split
// into reads and writes, and the time taken.
#include "calllogs.h"
#include "commandline.h"
#include "global.h"
#include "installtree.h"
#include "paths.h"
#include "settingmodel.h"
#include "vboxtool.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>

#include <cstdio>

namespace {

struct Figures
{
    int calls = 0;
    int writes = 0;
    qint64 ms = 0;
    bool ok = true;
};

void countCalls(const QString &stateDir, Figures *figures)
{
    for (const QStringList &args : readToolCalls(stateDir)) {
        ++figures->calls;
        if (!isReadOnlyToolCall(args))
            ++figures->writes;
    }
}

// The start-up worker's machine steps, from the image check to the headless start.
Figures startOnce(VBoxTool &tool, const QString &callLog)
{
    Figures figures;
    QFile::remove(callLog);
    QElapsedTimer timer;
    timer.start();
    figures.ok = tool.checkVBoxPath() == 1 && tool.checkOva() == 1;
    if (figures.ok) {
        tool.init();
        tool.applyVmSettings();
        figures.ok = tool.initNetwork() == 1 && tool.checkCpu(true) == 1 && tool.checkMemory(true) == 1 &&
                     tool.setResolutionAndDpi() == 1 && tool.startVM() == 1;
    }
    figures.ms = timer.elapsed();
    countCalls(QFileInfo(callLog).absolutePath(), &figures);
    return figures;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Halvora"));
    qputenv("QT_LOGGING_RULES", "*.debug=false;*.info=false;*.warning=false");

    InstallTree tree;
    if (!tree.isValid() || !tree.addVirtualBox() || !tree.addGuestImage()) {
        std::fprintf(stderr, "bench_vmstart: cannot lay out the install tree (build VBoxManage first)\n");
        return 1;
    }
    const QProcessEnvironment env = tree.environment();
    for (const char *name : {"TMPDIR", "PATH", "ORV_VBOX_STATE", "XDG_CONFIG_DIRS", "XDG_CONFIG_HOME", "HOME",
                             "APPDATA", "LOCALAPPDATA"})
        qputenv(name, env.value(QLatin1String(name)).toLocal8Bit());
    const QString callLog = env.value(QStringLiteral("ORV_VBOX_STATE")) + QStringLiteral("/calls.log");

    Platform::initSettingsPaths();
    Global::loadInstallInfo();
    Global::vmName = QStringLiteral("Orvanta_1");
    Global::streamMode = QStringLiteral("speed");
    SettingModel::instance()->load(true);

    VBoxTool cold;
    const Figures first = startOnce(cold, callLog);
    // The quit sequence of that run.
    cold.stopVM();
    cold.clearEmuId();

    VBoxTool warm; // the next program start
    const Figures second = startOnce(warm, callLog);
    warm.stopVM();

    QTextStream out(stdout);
    out << "start  tool calls  writes  ms\n";
    out << QStringLiteral("cold   %1  %2  %3%4\n")
               .arg(first.calls, 10)
               .arg(first.writes, 6)
               .arg(first.ms, 4)
               .arg(first.ok ? QString() : QStringLiteral("  (failed)"));
    out << QStringLiteral("warm   %1  %2  %3%4\n")
               .arg(second.calls, 10)
               .arg(second.writes, 6)
               .arg(second.ms, 4)
               .arg(second.ok ? QString() : QStringLiteral("  (failed)"));
    return first.ok && second.ok ? 0 : 1;
}
