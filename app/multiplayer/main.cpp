// Entry of the instance manager OrvMultiPlayer: log, single instance, crash dumps, application names,
// style and translation, the tool's start-up test, then the instance list.

#include "breakpadqt.h"
#include "machinename.h"
#include "managervboxtool.h"
#include "mpapplication.h"
#include "mpcommandline.h"
#include "mplog.h"
#include "mpmessage.h"
#include "orvplayermodel.h"
#include "playerpainter.h"
#include "playertool.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QIcon>
#include <QTableView>
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
constexpr int kListAttempts = 4;

// Loads the instances on the pool and hands the rows to the model in the GUI thread.
void loadList(OrvPlayerModel *model)
{
    QThreadPool::globalInstance()->start([model] {
        qInfo() << "begin player model data set";
        VmRecordMap records;
        for (int attempt = 1; attempt <= kListAttempts; ++attempt) {
            if (VBoxTool::instance().refreshVms(&records) == VBoxTool::Success)
                break;
            qInfo() << "initVMList try again";
        }
        PlayerTool::instance().initEmulatorPath();
        QList<PlayerRecord> running;
        QList<PlayerRecord> stopped;
        QList<QPair<PlayerRecord, bool>> rows;
        for (const auto &entry : records)
            rows << qMakePair(PlayerRecord(entry.second.vm, entry.second.title, false),
                              entry.second.state == QLatin1String("RUNNING"));
        QMetaObject::invokeMethod(model, [model, rows] {
            for (const auto &row : rows)
                model->addRecords({row.first}, row.second ? PlayerStateKind::Running : PlayerStateKind::Stop);
            qInfo() << "end player model data set";
        });
    });
}

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
    BreakpadQt::instance().init(dumpFolder);

    QFile style{QString::fromLatin1(kStyleResource)};
    if (style.open(QIODevice::ReadOnly))
        app.setStyleSheet(QString::fromUtf8(style.readAll()));
    QTranslator translator;
    if (translator.load(QLatin1String(kTranslation)))
        app.installTranslator(&translator);
    app.setWindowIcon(QIcon(QLatin1String(kIcon)));

    if (VBoxTool::instance().init() == VBoxTool::NoImageFolder) {
        showMessage(QObject::tr("vbox is can not run"));
        return 0;
    }

    PlayerPainter painter;
    PlayerPainter::setInstance(&painter);

    // The instance list until the manager's own window takes its place.
    OrvPlayerModel model;
    QTableView window;
    window.setWindowTitle(QObject::tr("OrvMultiPlayer"));
    window.setModel(&model);
    window.horizontalHeader()->hide();
    window.verticalHeader()->hide();
    window.resize(760, 700);
    QObject::connect(&app, &OrvApplication::messageAvailable, &window,
                     [&model, &window](const QString &message) {
                         qInfo().noquote() << QStringLiteral("manager message ") + message;
                         QString messageVm;
                         QString messageStatus;
                         parseManagerMessage(message.toLatin1(), &messageVm, &messageStatus);
                         if (!messageVm.isEmpty() && !messageStatus.isEmpty()) {
                             if (isValidMachineName(messageVm))
                                 model.applyStatusWord(messageVm, messageStatus);
                             return;
                         }
                         window.showNormal();
                         window.raise();
                         window.activateWindow();
                     });
    window.show();
    qInfo() << "main window shown";
    loadList(&model);
    const int code = app.exec();
    QThreadPool::globalInstance()->waitForDone();
    return code;
}
