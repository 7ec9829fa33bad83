#include "maincontrol.h"

#include "androidcontrol.h"
#include "androidtouchwidget.h"
#include "checkaction.h"
#include "commandline.h"
#include "datareportengine.h"
#include "dialogcontrol.h"
#include "environmentcheckdialog.h"
#include "folderclean.h"
#include "global.h"
#include "glutcontext.h"
#include "hostprobes.h"
#include "instancemessage.h"
#include "keymapwiring.h"
#include "loadingcontrol.h"
#include "menubar.h"
#include "orvapplication.h"
#include "pavixconnection.h"
#include "quitorvdialog.h"
#include "reportevents.h"
#include "settingmodel.h"
#include "shellwiring.h"
#include "sharedsegment.h"
#include "titlebar.h"
#include "traytool.h"
#include "vboxtool.h"
#include "verticalopacityslider.h"
#include "vinputconnection.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDataStream>
#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QSettings>
#include <QThread>
#include <QThreadPool>
#include <QTimer>

#include <google/protobuf/stubs/common.h>

namespace {
// While a dialog of the dispatcher is still on the stack, the quit sequence looks again after this.
constexpr int kQuitRetryMs = 10;

// The title bar's check button: the optional checks at once on the GUI thread, then their dialog.
bool runOptionalChecks(QWidget *parent)
{
    bool passed = false;
    QString text;
    {
        // The OpenGL check reads the version through this hidden window's context.
        GlutContext probeWindow;
        OptionalActionFactory factory;
        std::unique_ptr<ActionComposite> checks(factory.create());
        passed = checks->check();
        text = checks->describe();
    }
    EnvironmentCheckDialog dialog(QString(), text, true, passed, parent);
    dialog.exec();
    return dialog.optionalPassed();
}

// The window shell's bars go into the feature windows, which know only their interfaces.
void installShellWidgets()
{
    TitleBarBase::setFactory([](QWidget *host) -> TitleBarBase * { return new TitleBar(host); });
    MenuBarBase::setFactory([](QWidget *host) -> MenuBarBase * { return new MenuBar(host); });
    MenuBar::setOpacitySliderFactory(
        [](QWidget *parent) -> QWidget * { return new verticalOpacitySlider(parent); },
        [](QWidget *slider, int value) { static_cast<verticalOpacitySlider *>(slider)->setValue(value); });
    TitleBar::setOptionalCheckRunner(&runOptionalChecks);
}

bool isSilent()
{
    return SettingModel::instance()->shortcuts()->isSilent();
}
} // namespace

MainControl::MainControl(QObject *parent) : QObject(parent)
{
    // Windows are hidden, swapped and closed along the way (the start-up window, the last dialog); the
    // program ends only through the quit sequence.
    QGuiApplication::setQuitOnLastWindowClosed(false);

    // The main windows ask with the quit dialog before they close.
    OrvWindow::setCloseQuestion({[] { return SettingModel::instance()->isShowCloseDialog(); },
                                 [](QWidget *window) {
                                     QuitOrvDialog dialog(window);
                                     return dialog.exec();
                                 }});

    installShellWidgets();
    ShellWiring::install();
    m_loadingControl = new LoadingControl();
    m_androidControl = new AndroidControl();
    wireKeyMapOverlay(m_androidControl->androidWindow()->touchWidget());
    wireKeyMapEditor(m_androidControl->androidWindow());
    m_dialogControl = new DialogControl();
    m_currentWindow = m_loadingControl->loadingWindow();

    if (auto *app = qobject_cast<OrvApplication *>(parent))
        connect(app, &OrvApplication::messageAvailable, this, &MainControl::handleNewConnect);

    m_loadingControl->setParent(this);
    m_androidControl->setParent(this);
    m_dialogControl->setParent(this);

    connect(this, &MainControl::showDialog, m_dialogControl, &DialogControl::showDialog);
    // The worker waits until its dialog is closed.
    connect(m_loadingControl, &LoadingControl::showDialog, m_dialogControl, &DialogControl::showDialog,
            Qt::BlockingQueuedConnection);
    connect(m_loadingControl, &LoadingControl::showDialogFree, m_dialogControl, &DialogControl::showDialog);
    // The machine runs: the Android window starts from the window heights the start-up worked out.
    connect(m_loadingControl, &LoadingControl::environmentCheckFinished, m_androidControl, [this] {
        m_androidControl->androidWindow()->setStartupHeights(LoadingWindow::portraitWindowHeight,
                                                             LoadingWindow::landscapeWindowHeight);
        m_androidControl->init();
    });
    connect(m_loadingControl, &LoadingControl::showAndroid, this, &MainControl::handleShowAndroid);
    connect(m_loadingControl, qOverload<bool>(&LoadingControl::quitApp), this,
            qOverload<bool>(&MainControl::quitApp), Qt::QueuedConnection);
    connect(m_loadingControl, &LoadingControl::uploadCrashOrErrorLog, this, &MainControl::uploadLog,
            Qt::QueuedConnection);
    connect(m_androidControl, &AndroidControl::quitApp, this, qOverload<bool>(&MainControl::quitApp),
            Qt::QueuedConnection);
    connect(m_androidControl, &AndroidControl::showDialog, m_dialogControl, &DialogControl::showDialog);
    connect(m_androidControl, &AndroidControl::scheduleChanged, m_loadingControl,
            &LoadingControl::scheduleChanged);
    connect(m_androidControl, &AndroidControl::bosskey_click, this, &MainControl::changeWindowStatus);
    connect(m_dialogControl, &DialogControl::quitApp, this, qOverload<bool>(&MainControl::quitApp),
            Qt::QueuedConnection);
    AndroidWindow *android = m_androidControl->androidWindow();
    connect(m_dialogControl, &DialogControl::update_fps_status, android,
            &AndroidWindow::at_update_fps_status);
    connect(m_dialogControl, &DialogControl::update_optimize_btn_status, android,
            &AndroidWindow::on_update_optimize_btn_status);

    // The launcher channel asks the host probes before it copies a package.
    PavixConnection::instance().setSpaceCheck(&hasSpaceForFile);
}

MainControl::~MainControl()
{
    delete m_tray;
    m_tray = nullptr;
    Global::tray = nullptr;
    qDebug() << "Control      : ~ " << QThread::currentThreadId();
    m_closeEvent.reset();
    // The guest channels' threads read messages and folders; they end before the libraries go down.
    PavixConnection::instance().stop();
    VInputConnection::instance().stopShareWatcher();
    // Usage events are built into report messages on the global pool; the message library goes down
    // only after the last of those tasks.
    QThreadPool::globalInstance()->waitForDone();
    google::protobuf::ShutdownProtobufLibrary();
}

LoadingControl *MainControl::loadingControl() const
{
    return m_loadingControl;
}

QWidget *MainControl::currentWindow() const
{
    return m_currentWindow;
}

void MainControl::start()
{
    m_tray = new TrayTool();
    Global::tray = m_tray;
    connect(m_tray, &TrayTool::tray_status_click, this, &MainControl::changeWindowStatus);
    connect(m_tray, &TrayTool::tray_icon_click, this, &MainControl::showWindowOnTop);
    connect(m_tray, &TrayTool::tray_quit_click, this, &MainControl::sendQuitMsg);
    connect(m_tray, &TrayTool::tray_setting_click, this, &MainControl::trayOpenSettings);
    // The key-mapping entry switches the foreground package's key map, as the touch layer's key does.
    connect(m_tray, &TrayTool::tray_keyboard_click, m_androidControl->androidWindow()->touchWidget(),
            &AndroidTouchWidget::onKeyboardStatusChanged);
    if (m_loadingControl)
        m_loadingControl->start(QThread::InheritPriority);
}

void MainControl::uploadLog(QString kind, QString text)
{
    qInfo() << " ----------upload---------";
    DataReportEngine::uploadCrashLog(kind, text);
}

void MainControl::handleShowAndroid()
{
    qInfo() << "Control    : now show android";
    if (!m_loadingControl)
        return;
    LoadingWindow *window = m_loadingControl->loadingWindow();
    m_handOverPos = window->pos();
    m_handOverHidden = window->isHidden();
    m_currentWindow = m_androidControl->androidWindow();
    window->hide();
    m_loadingControl->deleteLater();
    m_loadingControl = nullptr;
    // A start-up window the user had hidden stays hidden as the Android window, until shown again.
    if (!m_handOverHidden)
        m_androidControl->showAndroid(m_handOverPos);
    m_androidShown = true;
    m_dialogControl->initSettingDialog();
    DataReportEngine::report(ReportEvent::ShownTime, QStringLiteral("time"),
                             QString::number(Global::startClock.elapsed() / 1000));
    DataReportEngine::reportSysMsg(ReportEvent::SystemInfo);
}

void MainControl::trayOpenSettings()
{
    if (!m_androidShown)
        emit showDialog(tr("app_starting"), DialogType::Message, nullptr, QStringLiteral("0"));
    else
        emit showDialog(QString(), DialogType::Setting, m_androidControl->androidWindow(),
                        QStringLiteral("1"));
}

void MainControl::changeWindowStatus(QString from)
{
    if (!m_currentWindow)
        return;
    if (m_currentWindow->isHidden()) {
        showWindowOnTop();
    } else {
        m_currentWindow->hide();
        if (isSilent())
            PavixConnection::instance().sendMsgToPavixSync(OrvantaPavixTcp::Orvanta_Action_WindowHidden);
        TrayNotice::message(tr("run_in_background"));
        TrayNotice::statusChanged(true);
    }
    if (!from.contains(QLatin1String("-1")))
        DataReportEngine::report(ReportEvent::WindowHiddenOrShown, QStringLiteral("source"), from);
}

void MainControl::showWindowOnTop()
{
    qDebug() << " showWindowOnTop ";
    if (!m_currentWindow)
        return;
    if (isSilent())
        PavixConnection::instance().sendMsgToPavixSync(OrvantaPavixTcp::Orvanta_Action_WindowShown);
    m_currentWindow->show();
    m_currentWindow->setWindowState(Qt::WindowNoState);
    TrayNotice::statusChanged(false);
    m_currentWindow->raise();
    m_currentWindow->activateWindow();
    // The side bar is a window of its own: it comes up with the Android window, not behind others.
    if (m_androidShown) {
        QWidget *menu = m_androidControl->androidWindow()->menuBar();
        if (menu && menu->isVisible())
            menu->raise();
    }
}

void MainControl::sendQuitMsg()
{
    if (!m_closeEvent)
        m_closeEvent = std::make_unique<QCloseEvent>();
    m_closeEvent->setAccepted(true);
    if (m_currentWindow)
        QCoreApplication::sendEvent(m_currentWindow, m_closeEvent.get());
}

void MainControl::handleNewConnect(QString msg)
{
    qDebug() << " handle new connect " << appQuittingFlag.load() << "   msg : " << msg;
    if (appQuittingFlag) {
        emit showDialog(tr("exiting"), DialogType::Message, nullptr, QStringLiteral("0"));
        return;
    }
    showWindowOnTop();

    const InstanceMessage message = InstanceMessage::fromJson(msg.toUtf8());
    if (message.isStop) {
        quitApp(false);
        return;
    }
    const QString pkgpath = message.pkgpath;
    const QString pkgname = message.pkgname;

    if (!pkgname.isEmpty())
        CommandLine::pkgname = pkgname;

    if (m_androidShown) {
        CommandLine::pkgpath = pkgpath;
        PavixConnection::instance().launchFromCommandLine(false);
        return;
    }

    // Before Android is up the paths are queued as ",a,b," for the launch after the start.
    QString &list = CommandLine::pkgpath;
    if (!list.startsWith(QLatin1Char(',')))
        list.prepend(QLatin1Char(','));
    qDebug() << " before " << list;
    qDebug() << " pkg      " << pkgpath;
    if (!pkgpath.isEmpty() && !list.contains(QLatin1Char(',') + pkgpath + QLatin1Char(',')))
        list += pkgpath + QLatin1Char(',');
    qDebug() << " after " << list;
}

void MainControl::quitApp(bool isNeedReboot)
{
    // Every way out is queued to this slot; the sequence runs once.
    if (m_quitStarted)
        return;
    m_quitStarted = true;
    qInfo() << "Control    : quit start";
    appQuittingFlag = true;
    Global::setStatus(QLatin1String(StatusWord::kExiting));
    saveWindowGeometry();
    if (m_currentWindow)
        m_currentWindow->hide();
    // The input channel tells nobody anything any more; its socket stays until the process ends.
    VInputConnection::instance().disconnect();
    // A dialog the worker waits for is closed; the worker then notices the quit and ends.
    m_dialogControl->closeOpenDialogs();
    continueQuit(isNeedReboot);
}

void MainControl::continueQuit(bool isNeedReboot)
{
    // This slot may run inside the event loop of a dialog that is being closed; the rest of the
    // sequence waits until that loop has returned, or the worker could never be let go.
    if (m_dialogControl->activeRequests() > 0) {
        QTimer::singleShot(kQuitRetryMs, this, [this, isNeedReboot] { continueQuit(isNeedReboot); });
        return;
    }

    // The worker goes first: it uses the VirtualBox tool object, which has no lock, and a machine it
    // started after the quit began is powered off by the worker itself.
    waitForLoadingControl();
    // The renderer runs from the window's initialisation on, also when the guest never came up and the
    // window was never shown; it stops before the program goes (a no-op when it never started).
    m_androidControl->stopRender();

    VBoxTool &tool = VBoxTool::instance();
    bool machineStopped = true;
    if (!tool.toolPath().isEmpty()) {
        tool.checkOtherOrvStatus();
        // The state as it is now (the worker may have started or stopped the machine since the last
        // read), and a stop that a whole answer confirms.
        machineStopped = tool.stopVMForQuit();
        tool.clearEmuId();
    }
    cleanGameFolder();
    // A machine that still runs is no orderly stop: the manager must not take the instance for stopped.
    Global::setStatus(QLatin1String(machineStopped ? StatusWord::kStop : StatusWord::kError));
    const qint64 minutes = Global::startClock.isValid() ? Global::startClock.elapsed() / 1000 / 60 : 0;
    DataReportEngine::report(ReportEvent::RunMinutes, QStringLiteral("time"), QString::number(minutes));
    DataReportEngine::uploadNow();
    Global::instanceSegment().detach();
    if (isNeedReboot)
        QCoreApplication::exit(10000);
    else
        QCoreApplication::quit();
}

void MainControl::waitForLoadingControl()
{
    if (!m_loadingControl || !m_loadingControl->isRunning())
        return;
    qDebug() << "Control      : quitApp stopLoading";
    m_loadingControl->quit();
    // Wait while serving queued calls: a request the worker sent before it saw the quit is answered
    // here (at once, without a dialog), so the worker can end.
    QEventLoop loop;
    connect(m_loadingControl, &QThread::finished, &loop, &QEventLoop::quit);
    if (m_loadingControl->isRunning())
        loop.exec();
    m_loadingControl->wait();
}

void MainControl::saveWindowGeometry()
{
    if (!m_currentWindow)
        return;
    QByteArray bytes;
    QDataStream stream(&bytes, QIODevice::WriteOnly);
    if (!m_androidShown) {
        stream << m_currentWindow->pos();
        SettingModel::writeValue(QStringLiteral("StartUp/Pos"), bytes);
        return;
    }
    if (resolutionChangedFlag) {
        // The next start places the window afresh.
        QSettings file(SettingModel::filePath(), QSettings::IniFormat);
        for (const char *key : {"StartUp/Pos", "StartUp/VerticalHeight", "StartUp/HorizontalHeight"})
            file.remove(QLatin1String(key));
        file.sync();
        return;
    }
    const AndroidWindow *android = m_androidControl->androidWindow();
    stream << android->normalPos();
    SettingModel::writeValues({{QStringLiteral("StartUp/Pos"), bytes},
                               {QStringLiteral("StartUp/VerticalHeight"), android->portraitHeight()},
                               {QStringLiteral("StartUp/HorizontalHeight"), android->landscapeHeight()}});
}

void MainControl::cleanGameFolder()
{
    qDebug() << "MainControl: cleanGameFolder";
    if (Global::gamePath.isEmpty())
        return;
    // Only the folder's own regular files go; a link in it may point anywhere and is never followed.
    Platform::removePlainFiles(Global::gamePath);
}
