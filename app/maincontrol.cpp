#include "maincontrol.h"

#include "androidcontrol.h"
#include "androidtouchwidget.h"
#include "checkaction.h"
#include "commandline.h"
#include "datareportengine.h"
#include "dialogcontrol.h"
#include "entry.h"
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
#include "quitsignals.h"
#include "reportevents.h"
#include "settingmodel.h"
#include "sharedsegment.h"
#include "shellwiring.h"
#include "titlebar.h"
#include "traynotice.h"
#include "traytool.h"
#include "vboxtool.h"
#include "verticalopacityslider.h"
#include "vinputconnection.h"
#include "x11windowstate.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDataStream>
#include <QDebug>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QSettings>
#include <QThread>
#include <QThreadPool>
#include <QTimer>
#include <QWindow>

#include <malloc.h>

#include <google/protobuf/stubs/common.h>

namespace {
// While a dialog is still on the stack, the quit sequence looks again after this.
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
// A dialog whose event loop does not return after its rejection holds the quit no longer than this.
constexpr int kQuitDialogWaitMs = 3000;
} // namespace

MainControl::MainControl(QObject *parent) : QObject(parent)
{
    // The start-up's OpenGL check reads its facts from a probe program; it runs while the windows are
    // built here, and the check takes its answer when its turn comes (the entry has usually started it
    // already; then this does nothing).
    GlutContext::prefetch();

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
    // SIGTERM, SIGINT and SIGHUP (the desktop session ends) take the same way out as the tray's quit,
    // without a question; repeats while the quit runs change nothing. Watched before the worker runs, so
    // that an end signal during its first steps ends it in order too.
    m_quitSignals = new QuitSignals(this);
    connect(
        m_quitSignals, &QuitSignals::quitRequested, this,
        [this](int signo) {
            whenBuilt([this, signo] {
                qInfo().noquote() << QStringLiteral("Control    : end signal %1").arg(signo);
                quitApp(false);
            });
        },
        Qt::QueuedConnection);

    m_loadingControl = new LoadingControl(this);
    m_currentWindow = m_loadingControl->loadingWindow();
    if (auto *app = qobject_cast<OrvApplication *>(parent))
        connect(app, &OrvApplication::messageAvailable, this,
                [this](const QString &msg) { whenBuilt([this, msg] { handleNewConnect(msg); }); });
    connectLoadingControl();

    // The worker starts at once: its tool calls run while the rest of the program is built here. Each
    // of its requests reaches this controller, which exists already, and the queued ones are handled by
    // the event loop, which runs only once everything is built (see whenBuilt).
    m_loadingControl->start(QThread::InheritPriority);
    m_loadingControl->showWindow();

    // The dispatcher first: the worker's first request may be a dialog that it waits for.
    if (!m_dialogControl)
        m_dialogControl = new DialogControl();
    m_androidControl = new AndroidControl();
    m_androidControl->setParent(this);
    m_dialogControl->setParent(this);
    wireKeyMapOverlay(m_androidControl->androidWindow()->touchWidget());
    wireKeyMapEditor(m_androidControl->androidWindow());

    connect(this, &MainControl::showDialog, m_dialogControl, &DialogControl::showDialog);
    connect(m_androidControl, &AndroidControl::quitApp, this, qOverload<bool>(&MainControl::quitApp),
            Qt::QueuedConnection);
    connect(m_androidControl, &AndroidControl::showDialog, m_dialogControl, &DialogControl::showDialog);
    connect(m_androidControl, &AndroidControl::scheduleChanged, m_loadingControl,
            &LoadingControl::scheduleChanged);
    connect(m_androidControl, &AndroidControl::bosskey_click, this, &MainControl::changeWindowStatus);
    connect(m_dialogControl, &DialogControl::quitApp, this, qOverload<bool>(&MainControl::quitApp),
            Qt::QueuedConnection);

    // The launcher channel asks the host probes before it copies a package.
    PavixConnection::instance().setSpaceCheck(&hasSpaceForFile);
    AndroidWindow *android = m_androidControl->androidWindow();
    connect(m_dialogControl, &DialogControl::update_fps_status, android,
            &AndroidWindow::at_update_fps_status);
    connect(m_dialogControl, &DialogControl::update_optimize_btn_status, android,
            &AndroidWindow::on_update_optimize_btn_status);
    // The quit's own steps of the tray and the guest channels: the icon goes with the window, and the
    // launcher's reply-file thread and the share-folder watcher end once the renderer has stopped.
    connect(this, &MainControl::quitHidesTrayIcon, this, [] { TrayNotice::hide(); });
    connect(this, &MainControl::quitStopsGuestChannels, this, [] {
        PavixConnection::instance().stop();
        VInputConnection::instance().stopShareWatcher();
    });
}

void MainControl::connectLoadingControl()
{
    // The worker's signals go to this controller's own receivers, which exist before its thread starts;
    // they hand each request to the component it is for once that one is built.
    // The worker waits until its dialog is closed.
    connect(
        m_loadingControl, &LoadingControl::showDialog, this,
        [this](QString msg, DialogType type, QWidget *parent, QString from) {
            // The wait cannot be put off: the dispatcher is built before anything that could run a
            // nested event loop, and would be built here should the request still come first.
            if (!m_dialogControl) {
                qWarning() << "Control    : a dialog request came before the dispatcher was built";
                m_dialogControl = new DialogControl();
            }
            m_dialogControl->showDialog(msg, type, parent, from);
        },
        Qt::BlockingQueuedConnection);
    connect(m_loadingControl, &LoadingControl::showDialogFree, this,
            [this](QString msg, DialogType type, QWidget *parent, QString from) {
                whenBuilt([=] { m_dialogControl->showDialog(msg, type, parent, from); });
            });
    // The machine runs: the Android window starts from the window heights the start-up worked out.
    connect(m_loadingControl, &LoadingControl::environmentCheckFinished, this, [this] {
        whenBuilt([this] {
            // Queued from the worker's thread: a quit that began since leaves the window uninitialised.
            if (appQuittingFlag)
                return;
            m_androidControl->androidWindow()->setStartupHeights(LoadingWindow::portraitWindowHeight,
                                                                 LoadingWindow::landscapeWindowHeight);
            m_androidControl->init();
        });
    });
    connect(m_loadingControl, &LoadingControl::showAndroid, this,
            [this] { whenBuilt([this] { handleShowAndroid(); }); });
    connect(
        m_loadingControl, qOverload<bool>(&LoadingControl::quitApp), this,
        [this](bool isNeedReboot) { whenBuilt([this, isNeedReboot] { quitApp(isNeedReboot); }); },
        Qt::QueuedConnection);
    connect(
        m_loadingControl, &LoadingControl::uploadCrashOrErrorLog, this,
        [this](QString kind, QString text) { whenBuilt([this, kind, text] { uploadLog(kind, text); }); },
        Qt::QueuedConnection);
}

void MainControl::whenBuilt(std::function<void()> call)
{
    if (m_built) {
        call();
        return;
    }
    // Only an event loop run inside the construction could bring a request this early.
    qInfo() << "Control    : a request waits until the controller is built";
    m_waitingCalls.push_back(std::move(call));
}

void MainControl::finishBuilding()
{
    // In their order of arrival; what arrives meanwhile goes behind them.
    while (!m_waitingCalls.empty()) {
        std::function<void()> call = std::move(m_waitingCalls.front());
        m_waitingCalls.pop_front();
        call();
    }
    m_built = true;
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
    finishBuilding();
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
    // The worker's last act was to report the running machine; its thread ends right after and must
    // have ended before the object goes.
    m_loadingControl->wait();
    // The start-up window's pictures, the checks' results and the worker's own allocations are freed
    // with it; the allocator keeps such freed pages unless asked to return them, once they are all free.
    connect(m_loadingControl, &QObject::destroyed, this,
            [] { QTimer::singleShot(0, [] { malloc_trim(0); }); });
    // The close question may be open over the start-up window: the window (and the question's own
    // event loop, which runs this) must outlive it. It goes once the question is answered; the answer
    // still counts (a confirmation quits through the worker's relay).
    QPointer<QWidget> question;
    if (window->isAskingToClose()) {
        qInfo() << "Control    : the close question stays open over the Android window";
        question = QApplication::activeModalWidget();
        LoadingControl *retired = m_loadingControl;
        connect(window, &OrvWindow::closeQuestionEnded, retired, &QObject::deleteLater, Qt::QueuedConnection);
    } else {
        m_loadingControl->deleteLater();
    }
    m_loadingControl = nullptr;
    // A start-up window the user had hidden stays hidden as the Android window, until shown again.
    if (!m_handOverHidden)
        m_androidControl->showAndroid(m_handOverPos);
    if (question) {
        // The question now belongs over the Android window, above it.
        QWidget *android = m_androidControl->androidWindow();
        if (question->windowHandle() && android->windowHandle())
            question->windowHandle()->setTransientParent(android->windowHandle());
        question->raise();
        question->activateWindow();
    }
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
    // The settings may have changed the boss key while the window is hidden.
    updateBossKeyGrab();
}

void MainControl::updateBossKeyGrab()
{
    const SettingShortcutsData *keys = SettingModel::instance()->shortcuts();
    const bool wanted = m_currentWindow && m_currentWindow->isHidden() && !appQuittingFlag &&
                        keys->isEnable() && keys->bossKeyIsEnable() && !keys->bossKey().isEmpty();
    if (!wanted) {
        if (m_bossKeyGrab && m_bossKeyGrab->isGrabbed()) {
            m_bossKeyGrab->release();
            qInfo() << "Control    : boss key released";
        }
        return;
    }
    if (!m_bossKeyGrab) {
        m_bossKeyGrab = new X11KeyGrab(this);
        connect(m_bossKeyGrab, &X11KeyGrab::pressed, this, [this] {
            if (m_currentWindow && m_currentWindow->isHidden())
                changeWindowStatus(QStringLiteral("0"));
        });
    }
    if (m_bossKeyGrab->isGrabbed() && m_bossKeyGrab->grabbedText() == keys->bossKey())
        return;
    if (m_bossKeyGrab->grab(keys->bossKey()))
        qInfo().noquote()
            << QStringLiteral("Control    : boss key %1 grabbed while hidden").arg(keys->bossKey());
    else
        qWarning().noquote()
            << QStringLiteral("Control    : boss key %1 could not be grabbed").arg(keys->bossKey());
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
        updateBossKeyGrab();
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
    updateBossKeyGrab();
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
        // The dispatcher shows nothing once the quit has begun, so the message cannot hold the quit. The
        // sender was told on the channel that this instance is on its way out (a start then waits for
        // the end and starts itself).
        qInfo() << "Control    : quitting, the request of a later start is not acted on";
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

    // Before Android is up the paths are queued as ",a,b," for the launch after the start: each path
    // whole (the first start's own path is framed too), and once.
    QString &list = CommandLine::pkgpath;
    qDebug() << " before " << list;
    qDebug() << " pkg      " << pkgpath;
    list = CommandLine::queuePackagePath(list, pkgpath);
    qDebug() << " after " << list;
}

void MainControl::quitApp(bool isNeedReboot)
{
    // Every way out ends here; the sequence runs once, whatever asks again while it runs (a second
    // signal, a second "-stop", a queued request).
    if (m_quitStarted) {
        qDebug() << "Control    : quit already under way";
        return;
    }
    m_quitStarted = true;
    qInfo() << "Control    : quit start";
    appQuittingFlag = true;
    if (m_bossKeyGrab)
        m_bossKeyGrab->release();
    Global::setStatus(QLatin1String(StatusWord::kExiting));
    saveWindowGeometry();
    if (m_currentWindow)
        m_currentWindow->hide();
    emit quitHidesTrayIcon();
    // The input channel tells nobody anything any more; its socket stays until the process ends.
    VInputConnection::instance().disconnect();
    // A dialog the worker waits for is closed, and so is any other modal dialog the quit began in
    // (the quit question, a message): the worker then notices the quit and ends.
    m_dialogControl->closeOpenDialogs();
    closeModalDialogs();
    m_quitDeferredMs = 0;
    continueQuit(isNeedReboot);
}

bool MainControl::closeModalDialogs()
{
    bool found = false;
    // Bounded: a modal widget that refuses to close is not asked for ever.
    for (int i = 0; i < 16; ++i) {
        QWidget *modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible())
            break;
        found = true;
        qInfo().noquote() << QStringLiteral("Control    : closing the open dialog ") + modal->objectName();
        if (auto *dialog = qobject_cast<QDialog *>(modal))
            dialog->reject();
        else
            modal->close();
        if (QApplication::activeModalWidget() == modal)
            modal->hide();
    }
    return found;
}

void MainControl::continueQuit(bool isNeedReboot)
{
    // This slot may run inside the event loop of a dialog that is being closed; the rest of the
    // sequence waits until that loop has returned, or the worker could never be let go (a dialog that
    // opens meanwhile is closed too).
    closeModalDialogs();
    if ((m_dialogControl->activeRequests() > 0 || QApplication::activeModalWidget()) &&
        m_quitDeferredMs < kQuitDialogWaitMs) {
        m_quitDeferredMs += kQuitRetryMs;
        QTimer::singleShot(kQuitRetryMs, this, [this, isNeedReboot] { continueQuit(isNeedReboot); });
        return;
    }
    if (m_quitDeferredMs >= kQuitDialogWaitMs)
        qWarning() << "Control    : a dialog is still open, the quit goes on";

    // The machine goes first. While the start-up worker still runs it may be inside a tool run of the
    // process-wide tool object (which has no lock): the quit then drives the tool through an object of
    // its own, and checks the machine again once the worker has ended (a machine the worker started
    // meanwhile is powered off by the worker itself, and confirmed stopped here).
    const bool workerRuns = m_loadingControl && m_loadingControl->isRunning();
    bool machineStopped = true;
    if (workerRuns) {
        VBoxTool ownTool;
        if (ownTool.adoptPublishedPaths())
            machineStopped = stopMachine(ownTool, true);
    } else {
        machineStopped = stopMachine(VBoxTool::instance(), true);
    }
    waitForLoadingControl();
    if (workerRuns)
        machineStopped = stopMachine(VBoxTool::instance(), false);
    // The renderer runs from the window's initialisation on, also when the guest never came up and the
    // window was never shown; it stops before the program goes (a no-op when it never started).
    m_androidControl->stopRender();
    emit quitStopsGuestChannels();

    cleanGameFolder();
    // A machine that still runs is no orderly stop: the manager must not take the instance for stopped.
    Global::setStatus(QLatin1String(machineStopped ? StatusWord::kStop : StatusWord::kError));
    const qint64 minutes = Global::startClock.isValid() ? Global::startClock.elapsed() / 1000 / 60 : 0;
    DataReportEngine::report(ReportEvent::RunMinutes, QStringLiteral("time"), QString::number(minutes));
    DataReportEngine::uploadNow();
    Global::instanceSegment().detach();
    if (isNeedReboot) {
        qInfo() << "Control    : quit done, leaving the event loop with 10000 (restart)";
        QCoreApplication::exit(kRestartExitCode);
    } else {
        qInfo() << "Control    : quit done";
        QCoreApplication::quit();
    }
}

bool MainControl::stopMachine(VBoxTool &tool, bool waitForOthers)
{
    if (tool.toolPath().isEmpty())
        return true;
    if (waitForOthers)
        tool.checkOtherOrvStatus();
    // The state as it is now, and a stop that a whole answer confirms.
    const bool stopped = tool.stopVMForQuit();
    tool.clearEmuId();
    return stopped;
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
