#include "commandline.h"
#include "datareportengine.h"
#include "entry.h"
#include "global.h"
#include "instancemessage.h"
#include "log.h"
#include "maincontrol.h"
#include "orvapplication.h"
#include "orvwindow.h"
#include "quitorvdialog.h"
#include "translations.h"
#include "vboxtool.h"

#include <QDebug>
#include <QDir>
#include <QIcon>

#include <cstdio>

int main(int argc, char *argv[])
{
    OrvApplication app(argc, argv);
    if (app.isRunning()) {
        InstanceMessage message;
        message.vmName = Global::vmName;
        message.pkgpath = CommandLine::pkgpath;
        message.pkgname = CommandLine::pkgname;
        message.isStop = CommandLine::stop;
        QString problem;
        if (!app.sendMessage(QString::fromUtf8(message.toJson()), &problem)) {
            // Starters run this detached and never read the code: say why on the error output too.
            std::fprintf(stderr, "Orvanta: %s\n", problem.toLocal8Bit().constData());
            return 1;
        }
        return 0;
    }
    if (CommandLine::stop)
        return 0;

    Global::initStartTime();
    QCoreApplication::setOrganizationName(QStringLiteral("Halvora"));
    QCoreApplication::setOrganizationDomain(QStringLiteral("halvora.example"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvanta"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/images/Orv_ICON.ico")));
    setupLogging(&DataReportEngine::init);
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

    MainControl control(&app);
    control.start();
    return finishEventLoop(app, app.exec());
}
