#include "entry.h"

#include "commandline.h"
#include "datareportengine.h"
#include "global.h"
#include "glutcontext.h"
#include "guestportguard.h"
#include "instancemessage.h"
#include "log.h"
#include "maincontrol.h"
#include "orvapplication.h"
#include "orvwindow.h"
#include "paths.h"
#include "processrunner.h"
#include "quitorvdialog.h"
#include "translations.h"
#include "vboxtool.h"

#include <QDebug>
#include <QDir>
#include <QIcon>

#include <cstdio>
#include <cstring>

#include <malloc.h>

QStringList restartArguments(const QStringList &applicationArguments)
{
    QStringList args = applicationArguments.mid(1);
    args << QStringLiteral("-reboot");
    return args;
}

int finishEventLoop(OrvApplication &app, int loopCode)
{
    if (loopCode != kRestartExitCode)
        return loopCode;
    // The successor must find the channel name free, the segment gone and the owner lock released.
    app.releaseInstance();
    Platform::ProcessRequest successor;
    successor.program = QCoreApplication::applicationFilePath();
    successor.arguments = restartArguments(app.arguments());
    const Platform::ProcessOutcome outcome = Platform::startDetached(successor);
    if (outcome.result != Platform::ProcessResult::Started)
        qWarning().noquote() << QStringLiteral("Entry      : restart failed: ") + outcome.errorText;
    return 0;
}

namespace {

// A later start hands its request to the running process. Returns the exit code when this process is
// done, or -1 when it is to start up itself (the running process was quitting and has ended).
int handOver(OrvApplication &app)
{
    InstanceMessage message;
    message.vmName = Global::vmName;
    message.pkgpath = CommandLine::pkgpath;
    message.pkgname = CommandLine::pkgname;
    message.isStop = CommandLine::stop;
    QString problem;
    QString answer;
    const bool sent = app.sendMessage(QString::fromUtf8(message.toJson()), &problem, &answer);
    if (sent && !OrvApplication::isPredecessorQuitting(Global::vmName, answer))
        return 0;
    if (sent || OrvApplication::isPredecessorQuitting(Global::vmName, QString())) {
        // The running process is on its way out: a stop has nothing more to do; a start must not be
        // lost, so it waits for that process to end and then starts in its place.
        if (CommandLine::stop)
            return 0;
        std::fprintf(stderr, "Orvanta: the emulator of %s is quitting; starting once it has ended\n",
                     Global::vmName.toLocal8Bit().constData());
        if (app.takeOverFromQuittingProcess(kPredecessorQuitWaitMs))
            return -1;
        problem = QStringLiteral("the emulator of %1 is still quitting after %2 s")
                      .arg(Global::vmName)
                      .arg(kPredecessorQuitWaitMs / 1000);
    }
    // Starters run this detached and never read the code: say why on the error output too.
    std::fprintf(stderr, "Orvanta: %s\n", problem.toLocal8Bit().constData());
    return 1;
}

// "-stop" (or "--stop") among the arguments, as the command line will read it.
bool asksForStop(int argc, char *argv[])
{
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-stop") == 0 || std::strcmp(argv[i], "--stop") == 0)
            return true;
    }
    return false;
}

} // namespace

int runEmulator(int argc, char *argv[], const std::function<void(MainControl &)> &wire)
{
    // Logs, settings, the database, key maps and screenshots are the user's own: nobody else on the
    // machine reads them.
    Platform::usePrivateFileModes();
    // The allocator gives each thread that allocates an arena of its own, up to eight per core; with
    // about ten threads, each arena's free and partly used pages stay with the process. Two arenas,
    // shared by all threads, keep contention low (the threads rarely allocate at the same time) and
    // the heap small. Set before the first thread starts.
    mallopt(M_ARENA_MAX, 2);
    // Fixed thresholds: blocks of 256 KiB and more are mapped on their own and unmapped when freed, and
    // an arena gives back what is free at its end past 256 KiB. Left dynamic, both thresholds rise
    // with the largest block freed (a picture of the screen: several MiB), after which such blocks
    // come from the arenas and the freed megabytes stay with the process.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024);
    // No window of this program draws with Qt's OpenGL (the render library makes its own window inside
    // the Android window): plain raster windows keep the OpenGL driver, which Qt's X11 windows would
    // otherwise load to choose their visual, out of the process.
    QCoreApplication::setAttribute(Qt::AA_ForceRasterWidgets);
    // The start-up's OpenGL probe program is the longest of the worker's first steps: it runs from the
    // very beginning, beside the application's own set-up, unless this start only asks for a stop. (A
    // start that turns out to be a later one and hands its request over ends once the probe has.)
    if (!asksForStop(argc, argv))
        GlutContext::prefetch();
    OrvApplication app(argc, argv);
    // A relative package path names a file of the folder this start was run from: made absolute before
    // it is handed over or the current folder moves to the installation.
    CommandLine::pkgpath = CommandLine::absolutePackagePaths(CommandLine::pkgpath, QDir::currentPath());
    // Nothing goes to a program that holds a forwarded port in the machine's place (with "-tcp" the
    // ports are fixed and there is no rule to move).
    GuestPortGuard::instance().setEnabled(!CommandLine::tcp);
    if (app.isRunning()) {
        const int code = handOver(app);
        if (code >= 0)
            return code;
    }
    if (CommandLine::stop)
        return 0;

    Global::initStartTime();
    QCoreApplication::setOrganizationName(QStringLiteral("Halvora"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("halvora.example"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvanta"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/Orv_ICON.ico")));
    setupLogging(&DataReportEngine::init);
    // What an earlier version left readable to others is made private as well.
    Platform::makePrivateTree(Global::logRoot + QStringLiteral("/log"));
    Platform::makePrivateTree(Platform::appDataRoot() + QLatin1Char('/') +
                              QCoreApplication::organizationName());
    VBoxTool::setSystemMessageSink(&DataReportEngine::sysMsg);

    qInfo() << QStringLiteral("==============================") + Global::vmName +
                   QStringLiteral(" start============================= ");

    QDir programDir(QCoreApplication::applicationDirPath());
    programDir.cdUp();
    QDir::setCurrent(programDir.absolutePath());
    qInfo() << "Main       : current path: " << QDir::currentPath();

    // The installation's translation file when there is one, over the program's own English texts.
    Translations::install(QStringLiteral(":/translations/orvanta_en.qm"),
                          QDir::currentPath() + QStringLiteral("/player/language/Orvanta_zh_CN.qm"));

    // The main windows ask with the shell's quit dialog before they close.
    OrvWindow::setCloseQuestion({{}, [](QWidget *parent) {
                                     QuitOrvDialog dialog(parent);
                                     return dialog.exec();
                                 }});

    const int code = [&] {
        MainControl control(&app);
        if (wire)
            wire(control);
        control.start();
        return app.exec();
    }();
    return finishEventLoop(app, code);
}
