// Entry of the instance manager OrvMultiPlayer: log, single instance, crash dumps, application names,
// style and translation, the tool's start-up test, then the instance list.

#include "breakpadqt.h"
#include "machinename.h"
#include "managervboxtool.h"
#include "mpapplication.h"
#include "mpcommandline.h"
#include "mplog.h"
#include "msgdialog.h"
#include "multiplayermanagerdialog.h"
#include "playerpainter.h"
#include "playertool.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QThreadPool>
#include <QTranslator>

using namespace OrvMulti;

namespace {

const char *const kBanner =
    "==============================OrvMultiManager start============================= ";
const char *const kOrganisation = "Halvora";
const char *const kOrganisationDomain = "halvora.example";
const char *const kApplication = "OrvMultiPlayer";
const char *const kStyleResource = ":/qss/style";
const char *const kTranslation = ":/translator/Resources/translator/VIVizovor_zh_CN.qm";
const char *const kIcon = ":/icon/Orv_ICON";

} // namespace

int main(int argc, char *argv[])
{
    qInstallMessageHandler(messageHandler);
    qInfo().noquote() << kBanner;
    OrvApplication app(argc, argv);
    if (app.isRefused())
        return 1;

    if (app.isRunning()) {
        qInfo().noquote() << QStringLiteral("isRunning ") + vm + QLatin1Char(' ') + status;
        app.sendMessage(QString::fromUtf8(managerMessage(vm, status)));
        return 0;
    }
    // A status report for a manager that is not running is dropped.
    if (!vm.isEmpty() || !status.isEmpty())
        return 0;

    QCoreApplication::setOrganizationName(QLatin1String(kOrganisation));
    QCoreApplication::setOrganizationDomain(QLatin1String(kOrganisationDomain));
    QCoreApplication::setApplicationName(QLatin1String(kApplication));

    const QString dumpFolder =
        QDir::cleanPath(QCoreApplication::applicationDirPath() + QStringLiteral("/../../log/crash"));
    QDir().mkpath(dumpFolder);
    BreakpadQt::instance().init(dumpFolder, logFolder());

    QFile style{QString::fromLatin1(kStyleResource)};
    if (style.open(QIODevice::ReadOnly))
        app.setStyleSheet(QString::fromUtf8(style.readAll()));
    QTranslator translator;
    if (translator.load(QLatin1String(kTranslation)))
        app.installTranslator(&translator);
    app.setWindowIcon(QIcon(QLatin1String(kIcon)));

    if (VBoxTool::instance().init() == VBoxTool::NoImageFolder) {
        MsgDialog::run(MsgDialog::Notice, QObject::tr("vbox is can not run"), nullptr);
        return 0;
    }

    // Kept for the life of the process; the main window deletes it when it goes.
    PlayerPainter::setInstance(new PlayerPainter);

    MultiPlayerManagerDialog window;
    window.show();
    qInfo() << "main window shown";
    const int code = app.exec();
    QThreadPool::globalInstance()->waitForDone();
    return code;
}
