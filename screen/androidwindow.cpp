#include "androidwindow.h"

#include "androidtouchwidget.h"
#include "commandline.h"
#include "datareportengine.h"
#include "global.h"
#include "guestportguard.h"
#include "keymapplayer.h"
#include "launcherrequest.h"
#include "logtags.h"
#include "pavixconnection.h"
#include "programs.h"
#include "renderlibrary.h"
#include "reportevents.h"
#include "settingmodel.h"
#include "timeoutscale.h"
#include "vboxtool.h"
#include "vinputconnection.h"
#include "x11windowstate.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDebug>
#include <QDialog>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QSettings>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <memory>

namespace {

// Start-up progress continued from the start-up worker.
constexpr double kProgressStart = 55;
constexpr int kProgressEnd = 99;
// The boot poll starts this long after init and then asks every kBootPollMs.
constexpr int kBootPollDelayMs = 30000;
constexpr int kBootPollMs = 3000;
// After Android is up, the command line's launch waits this long.
constexpr int kFirstLoadDelayMs = 5000;
constexpr int kFrameRateMs = 1000;
// The full-screen window reaches this far above the screen (title bar and top margin).
constexpr int kFullScreenTopOverhang = 40;
const QSize kMinimumSize(50, 50);
const char *const kWindowStyle = "QWidget{ \n\tbackground: #343841; \n}\n\nQToolTip{ \n\tborder: none; \n\t"
                                 "background-color: black; \n\tcolor: white; \n\tborder-radius: 3px; \n\t"
                                 "opacity: 200;\n}";
// The Android back key.
constexpr int kLinuxBackKey = 158;
// The shake: 8 rounds of 4 moves, 5 pixels, 40 ms apart.
constexpr int kShakeTimes = 8;
constexpr int kShakeAmplitude = 5;
constexpr int kShakeStepMs = 40;

Qt::CursorShape cursorFor(ResizeRegion region)
{
    switch (region) {
    case ResizeTopLeft:
    case ResizeBottomRight:
        return Qt::SizeFDiagCursor;
    case ResizeBottomLeft:
    case ResizeTopRight:
        return Qt::SizeBDiagCursor;
    case ResizeLeft:
    case ResizeRight:
        return Qt::SizeHorCursor;
    case ResizeTop:
    case ResizeBottom:
        return Qt::SizeVerCursor;
    case ResizeNone:
        break;
    }
    return Qt::ArrowCursor;
}

} // namespace

WindowShake::WindowShake(QObject *parent) : QObject(parent), m_timer(new QTimer(this))
{
    connect(m_timer, &QTimer::timeout, this, &WindowShake::startShake);
}

bool WindowShake::isShaking() const
{
    return m_timer->isActive();
}

void WindowShake::shake(QWidget *widget, int times, int amplitude)
{
    if (m_timer->isActive() || !widget)
        return;
    m_widget = widget;
    m_times = times;
    m_amplitude = amplitude;
    m_step = 0;
    m_origin = widget->pos();
    m_timer->start(kShakeStepMs);
}

void WindowShake::startShake()
{
    if (m_step >= 4 * m_times || !m_widget) {
        m_timer->stop();
        return;
    }
    ++m_step;
    switch (m_step % 4) {
    case 1:
        m_widget->move(m_origin.x(), m_origin.y() - m_amplitude);
        break;
    case 2:
        m_widget->move(m_origin.x() - m_amplitude, m_origin.y() - m_amplitude);
        break;
    case 3:
        m_widget->move(m_origin.x() - m_amplitude, m_origin.y());
        break;
    default:
        m_widget->move(m_origin);
        break;
    }
}

bool &AndroidWindow::windowMaximizedFlag = ::windowMaximizedFlag;
bool &AndroidWindow::fullScreenFlag = ::fullScreenFlag;

AndroidWindow::AndroidWindow(QWidget *parent) : OrvWindow(parent)
{
    m_menuBar = MenuBarBase::create(this);

    if (objectName().isEmpty())
        setObjectName(QStringLiteral("AndroidWindow"));
    resize(400, 300);
    setMinimumSize(kMinimumSize);
    setMouseTracking(true);
    setFocusPolicy(Qt::NoFocus);
    setStyleSheet(QLatin1String(kWindowStyle));
    setWindowTitle(tr("Form"));

    auto *layout = new QVBoxLayout(this);
    layout->setObjectName(QStringLiteral("verticalLayout"));
    layout->setSpacing(0);
    layout->setContentsMargins(2, 2, 2, 2);

    m_titleBar = TitleBarBase::create(this);
    m_titleBar->setObjectName(QStringLiteral("titlebar"));
    m_titleBar->setMinimumSize(0, 36);
    m_titleBar->setMaximumSize(16777215, 36);
    m_titleBar->setMouseTracking(true);
    m_titleBar->setFocusPolicy(Qt::NoFocus);
    m_titleBar->setAutoFillBackground(false);
    layout->addWidget(m_titleBar);

    m_showWindow = new QWidget(this);
    m_showWindow->setObjectName(QStringLiteral("showWindow"));
    m_showWindow->setStyleSheet(QString());
    // The render library draws into a child of this widget's own native window.
    m_showWindow->setAttribute(Qt::WA_NativeWindow);
    layout->addWidget(m_showWindow);

    // The input layer lies over the picture inside "showWindow". The render library's child window
    // takes no input, so X hands every pointer and key event over the picture on to "showWindow", and
    // Qt to this layer. (A translucent window of its own would need a compositing manager to stay
    // invisible; without one X shows its nearly transparent pixels as black over the picture.)
    // Its native window may be made anew (when the window's is): the render library then draws into a
    // window that is gone, so the picture is bound again to the new one.
    m_showWindow->installEventFilter(this);
    // The side bar stays above other windows together with this one in the keep-on-top mode.
    followStayOnTop(m_menuBar);

    m_touchWidget = new AndroidTouchWidget(m_showWindow);
    m_touchWidget->setGeometry(120, 100, 120, 80);
    connect(m_titleBar, &TitleBarBase::showDialogFree, this, &AndroidWindow::showDialog);

    // The render library calls from its own thread; the rotation reaches this window queued.
    connect(&RenderLibrary::instance(), &RenderLibrary::rotationChanged, this,
            &AndroidWindow::rotation_changed, Qt::QueuedConnection);
}

AndroidWindow::~AndroidWindow()
{
    delete m_displayInfo;
}

void AndroidWindow::setStartupHeights(int portraitHeight, int landscapeHeight)
{
    m_startupPortraitHeight = portraitHeight;
    m_startupLandscapeHeight = landscapeHeight;
}

void AndroidWindow::progressStep(double size)
{
    const double p = startupProgress.load();
    emit scheduleChanged(static_cast<int>(p), static_cast<int>(p + size));
    startupProgress.store(p + size);
}

void AndroidWindow::init()
{
    qDebug() << "AndroidWindow    : init";
    m_titleBar->setWindowKind(1);
    setWindowTitle(CommandLine::title);
    m_titleBar->setTitle();
    Global::setStatus(QStringLiteral("RUNNING"));

    startupProgress.store(kProgressStart);
    progressStep(1);
    m_displayInfo = new AndroidDisplayInfo();

    progressStep(2);
    initEnvironment();
    progressStep(1);
    initSize();
    progressStep(2);
    const int code = initOpenGL();
    if (code != 1) {
        emit showDialog(QString::number(code), DialogType::ErrorCode, nullptr, QStringLiteral("0"));
        return;
    }
    progressStep(5);
    startChannels();
    progressStep(2);
    restoreLocation();
    emit scheduleChanged(static_cast<int>(startupProgress.load()), kProgressEnd);

    QTimer::singleShot(TimeoutScale::ms(kBootPollDelayMs), this, [this] {
        if (appQuittingFlag || m_bootPollTimer)
            return;
        m_bootPollTimer = new QTimer(this);
        connect(m_bootPollTimer, &QTimer::timeout, this, &AndroidWindow::pollBoot);
        m_bootPollTimer->start(TimeoutScale::ms(kBootPollMs));
    });
    qDebug() << "AndroidWindow:init ok";
}

void AndroidWindow::connectByName(QObject *sender, const char *signal, QObject *receiver, const char *slot)
{
    if (connect(sender, signal, receiver, slot))
        return;
    // SIGNAL() and SLOT() put a code digit in front of the name.
    const QString name = QLatin1String(slot + 1);
    qCritical().noquote() << ORV_LOG_ANDROID "no slot for the menu: " + name;
    m_missingConnections << name;
}

void AndroidWindow::initEnvironment()
{
    qInfo() << ORV_LOG_ANDROID "initEnvironment";
    AndroidTouchWidget *touch = m_touchWidget;
    MenuBarBase *menu = m_menuBar;
    TitleBarBase *title = m_titleBar;
    connectByName(menu, SIGNAL(opacitySliderMoved(int)), touch, SLOT(opacitySliderMoved(int)));
    connect(menu, &MenuBarBase::triggereKeyMap, touch, [touch] { touch->onKeyboardStatusChanged(); });
    connect(touch, &AndroidTouchWidget::opacityValueChanged, menu, &MenuBarBase::opacityValueChangedSlot);
    connect(touch, &AndroidTouchWidget::keyboard_status_change, menu,
            &MenuBarBase::keyboardStatusChangedSlot);
    connect(touch, &AndroidTouchWidget::show_full, this, [this] {
        DataReportEngine::report(ReportEvent::FullScreen, QStringLiteral("source"), QStringLiteral("1"));
        at_window_full();
    });
    connect(touch, &AndroidTouchWidget::show_normal, this, &AndroidWindow::at_window_normal);
    connect(title, &TitleBarBase::window_max, this, &AndroidWindow::at_window_max);
    connect(title, &TitleBarBase::window_normal, this, &AndroidWindow::at_window_normal);
    connect(title, &TitleBarBase::title_setting_click, this, &AndroidWindow::at_title_setting_click);
    connect(title, &TitleBarBase::title_systemInfo_click, this, &AndroidWindow::at_title_systemInfo_click);
    connect(menu, &MenuBarBase::menu_full_click, this, [this] {
        DataReportEngine::report(ReportEvent::FullScreen, QStringLiteral("source"), QStringLiteral("0"));
        at_window_full();
    });
    // Some actions belong to other rooms of the window (the key-map editor, the installer, the manager
    // start, the location and share-folder dialogs): joined by name.
    connectByName(menu, SIGNAL(menu_keyboard_click()), this, SLOT(at_menu_keyboard_click()));
    connectByName(menu, SIGNAL(menu_install_apk_click()), this, SLOT(at_menu_install_click()));
    connect(menu, &MenuBarBase::menu_stop_script_click, this, &AndroidWindow::at_stop_script_click);
    connectByName(menu, SIGNAL(menu_multi_player_click()), this, SLOT(at_menu_multi_player_click()));
    connectByName(menu, SIGNAL(menu_virtual_location_click()), this, SLOT(at_menu_virtual_location_click()));
    connect(menu, &MenuBarBase::menu_screenshot_click, this, &AndroidWindow::at_menu_screenshot_click);
    connect(menu, &MenuBarBase::menu_shake_click, this, &AndroidWindow::at_menu_shake_click);
    connectByName(menu, SIGNAL(menu_share_folder_click()), this, SLOT(at_menu_share_folder_click()));
    connect(menu, &MenuBarBase::menu_return_click, this, &AndroidWindow::at_return_click);
    connect(menu, &MenuBarBase::menu_home_click, this, &AndroidWindow::at_home_click);
    connect(menu, &MenuBarBase::menu_task_click, this, &AndroidWindow::at_menu_click);
    connect(touch, &AndroidTouchWidget::hotkey_return_click, this, &AndroidWindow::at_return_click);
    connect(touch, &AndroidTouchWidget::hotkey_home_click, this, &AndroidWindow::at_home_click);
    connect(touch, &AndroidTouchWidget::hotkey_menu_click, this, &AndroidWindow::at_menu_click);
    connect(touch, &AndroidTouchWidget::hotkey_bosskey_click, this, &AndroidWindow::bosskey_click);
    connect(touch, &AndroidTouchWidget::hotkey_stop_script_click, this, &AndroidWindow::at_stop_script_click);
    connect(touch, &AndroidTouchWidget::hotkey_stop_script_click, menu, &MenuBarBase::menuStopScriptClick);
    // The bar's volume broadcast goes to the guest's shell through the input channel.
    connect(menu, &MenuBarBase::guestShellCommand, this,
            [](const QString &command) { VInputConnection::instance().sendShellCmd(command); });
    title->updateCheckRedDot();
}

void AndroidWindow::at_title_setting_click()
{
    emit showDialog(QString(), DialogType::Setting, this, QStringLiteral("0"));
}

void AndroidWindow::at_title_systemInfo_click()
{
    emit showDialog(QString(), DialogType::SystemInfo, this, QStringLiteral("0"));
}

void AndroidWindow::at_update_fps_status(bool isShow)
{
    m_titleBar->setFpsVisible(isShow);
}

void AndroidWindow::on_update_optimize_btn_status()
{
    m_titleBar->updateCheckRedDot();
}

void AndroidWindow::at_stop_script_click()
{
    qInfo() << ORV_LOG_ANDROID "stop script";
    LauncherRequest::send(LauncherRequest::StopScript);
    DataReportEngine::report(ReportEvent::StopScript);
}

void AndroidWindow::at_return_click(QString from)
{
    qInfo().noquote() << ORV_LOG_ANDROID "back from " + from;
    AndroidTouchWidget::sendKey(kLinuxBackKey);
    DataReportEngine::report(ReportEvent::AndroidBack, QStringLiteral("source"), from);
}

void AndroidWindow::at_home_click(QString from)
{
    qInfo().noquote() << ORV_LOG_ANDROID "home from " + from;
    LauncherRequest::send(LauncherRequest::Home);
    DataReportEngine::report(ReportEvent::AndroidHome, QStringLiteral("source"), from);
}

void AndroidWindow::at_menu_click(QString from)
{
    qInfo().noquote() << ORV_LOG_ANDROID "task menu from " + from;
    LauncherRequest::send(LauncherRequest::Menu);
    DataReportEngine::report(ReportEvent::AndroidMenu, QStringLiteral("source"), from);
}

void AndroidWindow::at_menu_shake_click()
{
    VInputConnection::instance().sendShake();
    m_windowShake.shake(this, kShakeTimes, kShakeAmplitude);
    DataReportEngine::report(ReportEvent::Shake);
}

void AndroidWindow::at_menu_screenshot_click()
{
    VInputConnection::instance().requestScreenCap();
    DataReportEngine::report(ReportEvent::Screenshot);
}

QFileDialog *AndroidWindow::makeInstallDialog()
{
    auto *dialog = new QFileDialog(nullptr, tr("MenuBar_Choose_File"), QStringLiteral("."),
                                   QStringLiteral("APK Files(*.apk *.ypk)"));
    // Qt's own dialog matches the patterns without regard to case (GAME.APK is a package too).
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setFilter(QDir::AllEntries | QDir::AllDirs | QDir::NoDotAndDotDot);
    dialog->setFileMode(QFileDialog::ExistingFiles);
    return dialog;
}

void AndroidWindow::at_menu_install_click()
{
    QFileDialog *dialog = makeInstallDialog();
    if (dialog->exec() == QDialog::Accepted) {
        const QStringList files = dialog->selectedFiles();
        if (!files.isEmpty())
            PavixConnection::instance().installAPKFromDrag(files, 0);
    }
    delete dialog;
}

void AndroidWindow::at_menu_multi_player_click()
{
    qDebug() << "AndroidWindow    : menuMultiPlayer";
    Platform::startDetachedProgram(QLatin1String(GlobalText::kManagerProgram), {QStringLiteral("-from=0")});
}

void AndroidWindow::at_menu_keyboard_click()
{
    qDebug() << "Android    : menuKeyboard in";
    KeyMapPlayer *player = m_touchWidget->keyMapPlayer();
    player->clearOverlay();
    // The touch layer lies exactly over the Android picture: its rectangle on the desktop is the area
    // the editor covers and stores with the key map.
    const QRect area(m_touchWidget->mapToGlobal(QPoint(0, 0)), m_touchWidget->size());
    bool saved = false;
    if (m_keyMapEditorOpener)
        saved = m_keyMapEditorOpener(m_touchWidget->rotation(), area, this);
    else
        qWarning() << "Android    : no key-map editor";
    if (!saved && Global::keyMapEnabledMap.value(Global::currentPackage))
        player->buildOverlay();
    DataReportEngine::report(ReportEvent::KeyMapEditor);
}

void AndroidWindow::at_pavix_copy_text(QString text)
{
    qDebug().noquote() << QStringLiteral(" copyText ") + text;
    QGuiApplication::clipboard()->setText(text);
}

void AndroidWindow::at_pavix_script_state_change(bool isRunning)
{
    qInfo().noquote() << ORV_LOG_ANDROID "script running " + QString::number(isRunning);
    m_scriptRunning = isRunning;
    m_menuBar->setScriptRunning(isRunning);
    emit script_state_changed(isRunning);
}

namespace {

AndroidWindow::ShellDialogs &shellDialogs()
{
    static AndroidWindow::ShellDialogs dialogs;
    return dialogs;
}

} // namespace

void AndroidWindow::setShellDialogs(const ShellDialogs &dialogs)
{
    shellDialogs() = dialogs;
}

void AndroidWindow::at_menu_virtual_location_click()
{
    if (!shellDialogs().makeGeolocationDialog) {
        qWarning() << ORV_LOG_ANDROID "no virtual-location dialog";
        return;
    }
    std::unique_ptr<QDialog> dialog(shellDialogs().makeGeolocationDialog(m_touchWidget));
    if (!dialog) {
        qWarning() << ORV_LOG_ANDROID "the virtual-location dialog is not available";
        return;
    }
    QRect rect = dialog->geometry();
    qInfo() << ORV_LOG_ANDROID "virtual location dialog" << rect;
    if (rect.x() < 0)
        dialog->move(0, rect.y());
    rect = dialog->geometry();
    if (rect.y() < 0)
        dialog->move(rect.x(), 0);
    dialog->exec();
}

void AndroidWindow::at_menu_share_folder_click()
{
    if (!shellDialogs().makeShareFolderDialog) {
        qWarning() << ORV_LOG_ANDROID "no share-folder dialog";
        return;
    }
    std::unique_ptr<QDialog> dialog(shellDialogs().makeShareFolderDialog());
    dialog->exec();
    DataReportEngine::report(ReportEvent::SharedFolderDialog);
}

void AndroidWindow::initSize()
{
    qInfo() << ORV_LOG_ANDROID "init size";
    AndroidDisplayInfo &info = *m_displayInfo;
    const SettingResolutionData *resolution = SettingModel::instance()->resolution();
    info.deviceSize = QSize(resolution->width(), resolution->height());
    info.orientedSize = info.deviceSize;
    info.ratio = static_cast<double>(info.deviceSize.width()) / info.deviceSize.height();
    info.viewSize =
        contentSize(widthForHeight(m_startupLandscapeHeight, info.ratio, false), m_startupLandscapeHeight);
    info.landscapeHeight = m_startupLandscapeHeight;
    info.portraitHeight = m_startupPortraitHeight;
    resize(widthForHeight(info.portraitHeight, info.ratio, false), info.portraitHeight);
    info.winId = static_cast<quintptr>(m_showWindow->winId());
    connect(this, &AndroidWindow::rotation_changed, this, &AndroidWindow::at_rotation_changed,
            Qt::UniqueConnection);
}

int AndroidWindow::loadRenderLibrary()
{
    return RenderLibrary::instance().load(SettingModel::instance()->performance()->renderMode(),
                                          QCoreApplication::applicationDirPath());
}

int AndroidWindow::initOpenGL()
{
    qInfo() << ORV_LOG_ANDROID "initOpenGL";
    // The network start-up of the Windows socket library has no counterpart here (code 1201 never
    // arises on this platform).
    const int loaded = loadRenderLibrary();
    if (loaded != 1)
        return loaded;
    RenderLibrary &render = RenderLibrary::instance();
    const AndroidDisplayInfo &info = *m_displayInfo;
    if (render.hookForChangeDllName)
        render.hookForChangeDllName();
    if (Global::streamMode == QLatin1String("pipe")) {
        const QByteArray pipeName = VBoxTool::instance().uuid().toLatin1();
        render.setPipename(pipeName.constData());
    }
    if (render.initLibrary && render.initLibrary() == 0) {
        qCritical() << ORV_LOG_ANDROID "GL_InitLibrary failed";
        return 1302;
    }
    render.setStreamMode(3);
    render.setVmIp("127.0.0.1");
    // The process id that the machine carries as its emu_id property; 0 when none was published.
    render.initOpenGLRenderer(info.orientedSize.width(), info.orientedSize.height(), Global::vmPort.toInt());
    render.setCallbackRotation(&RenderLibrary::rotationCallback);
    if (render.setFpsCallback)
        render.setFpsCallback(&RenderLibrary::frameCallback);
    if (render.setViewport)
        render.setViewport(info.orientedSize.width(), info.orientedSize.height());
    render.removeSubWindow();
    if (render.setupSubWindow(info.winId, info.viewPos.x(), info.viewPos.y(), info.viewSize.width(),
                              info.viewSize.height(), static_cast<float>(info.rotation)) == 0) {
        qCritical() << ORV_LOG_ANDROID "AndroVM_FrameBuffer_setupSubWindow failed";
        return 1303;
    }
    render.repaintOpenGLDisplay();
    m_renderReady = true;
    return 1;
}

void AndroidWindow::stopRender()
{
    RenderLibrary &render = RenderLibrary::instance();
    // Only a renderer that initOpenGL set up is stopped; after a failed start-up there is none.
    if (m_renderReady && render.isLoaded() && render.stopOpenGLRenderer)
        render.stopOpenGLRenderer();
    m_renderReady = false;
}

void AndroidWindow::startChannels()
{
    // The machine runs: a forward that another program holds can be moved now.
    GuestPortGuard::instance().setMachineRunning(true);
    VInputConnection::instance().init();
    PavixConnection &pavix = PavixConnection::instance();
    connect(&pavix, &PavixConnection::pavix_copy_text, this, &AndroidWindow::at_pavix_copy_text,
            Qt::QueuedConnection);
    connect(&pavix, &PavixConnection::pavix_script_state_change, this,
            &AndroidWindow::at_pavix_script_state_change, Qt::QueuedConnection);
    // A package change reaches the key-map player on the GUI thread.
    connect(&pavix, &PavixConnection::pavix_package_changed, m_touchWidget,
            &AndroidTouchWidget::on_pavix_package_changed, Qt::QueuedConnection);
    pavix.init();
}

void AndroidWindow::restoreLocation()
{
    double lng = 0;
    double lat = 0;
    SettingModel::readLocation(&lng, &lat);
    VInputConnection &vinput = VInputConnection::instance();
    if (vinput.isConnected()) {
        vinput.sendGps(lng, lat);
        return;
    }
    // The channel has only just been started: the location follows the first connection's CONFIG
    // line instead of being dropped.
    // The handle lives as long as the connection's slot: a window that closes before any connection
    // (the slot then goes with it) frees it as well as one that sent the location.
    auto once = std::make_shared<QMetaObject::Connection>();
    *once = connect(&vinput, &VInputConnection::configSent, this, [once, lng, lat] {
        QObject::disconnect(*once);
        VInputConnection::instance().sendGps(lng, lat);
    });
}

void AndroidWindow::pollBoot()
{
    if (appQuittingFlag || m_firstLoaded) {
        m_bootPollTimer->stop();
        return;
    }
    // A tick that arrives while a poll still waits for its answers is not a new poll.
    if (m_pollRunning)
        return;
    m_pollRunning = true;
    // Both answers come back through the event loop: the window keeps drawing and taking input while
    // the guest takes its time.
    VInputConnection::instance().sendShellCmd(
        QLatin1String(BootPoll::kBootCommand),
        [this](const QString &r1) {
            qInfo().noquote() << QStringLiteral(" vinput adb  getprop dev.bootcomplete  ") + r1;
            if (!BootPoll::isBootComplete(r1) || appQuittingFlag) {
                finishBootPoll(r1, QString());
                return;
            }
            VInputConnection::instance().sendShellCmd(
                QLatin1String(BootPoll::kLauncherCommand),
                [this, r1](const QString &r2) {
                    qInfo().noquote() << QStringLiteral(" vinput ps  | grep com.corvel.pavixtop  ") + r2;
                    finishBootPoll(r1, r2);
                },
                this);
        },
        this);
}

void AndroidWindow::finishBootPoll(const QString &r1, const QString &r2)
{
    m_pollRunning = false;
    if (appQuittingFlag || m_firstLoaded)
        return;
    if (m_bootPoll.step(r1, r2) == BootPoll::Ready) {
        m_firstLoaded = true;
        onAndroidReady();
    }
}

void AndroidWindow::onAndroidReady()
{
    qInfo() << ORV_LOG_ANDROID "android ready";
    emit scheduleChanged(100, 100);
    QTimer::singleShot(kFirstLoadDelayMs, this, &AndroidWindow::firstLoad);
    if (m_fpsTimerId == 0)
        m_fpsTimerId = startTimer(kFrameRateMs);
}

void AndroidWindow::firstLoad()
{
    qDebug() << "AndroidWindow    : firstLoad";
    if (!appQuittingFlag)
        PavixConnection::instance().launchFromCommandLine(true);
}

void AndroidWindow::at_rotation_changed(int rotation)
{
    if (!m_displayInfo)
        return;
    AndroidDisplayInfo &info = *m_displayInfo;
    const int newLandscape = AndroidGeometry::isLandscapeRotation(rotation);
    const bool normalState = !fullScreenFlag && !windowMaximizedFlag;
    if (normalState && info.isLandscape != newLandscape) {
        if (info.isLandscape)
            info.landscapeHeight = height();
        else
            info.portraitHeight = height();
    }
    info.rotation = rotation;
    info.isLandscape = newLandscape;
    m_touchWidget->setRotation(rotation);
    info.orientedSize = info.isLandscape ? info.deviceSize.transposed() : info.deviceSize;
    info.ratio = static_cast<double>(info.deviceSize.width()) / info.deviceSize.height();
    if (normalState) {
        const int h = info.isLandscape ? info.landscapeHeight : info.portraitHeight;
        resize(widthForHeight(h, info.ratio, info.isLandscape), h);
    }
    layoutAndroidView();
    if (!m_firstLoaded) {
        m_firstLoaded = true;
        onAndroidReady();
    }
}

void AndroidWindow::layoutAndroidView()
{
    if (!m_displayInfo)
        return;
    AndroidDisplayInfo &info = *m_displayInfo;
    const AndroidGeometry::ViewLayout layout = AndroidGeometry::layoutView(
        m_showWindow->size(), info.orientedSize, windowMaximizedFlag, fullScreenFlag, menuBarWidth);
    info.viewSize = layout.viewSize;
    info.viewPos = layout.offset;
    update();
    m_touchWidget->setGeometry(QRect(info.viewPos, info.viewSize));
    if (info.orientedSize.width() > 0)
        m_touchWidget->setScale(static_cast<double>(info.viewSize.width()) / info.orientedSize.width());
    if (m_renderReady) {
        RenderLibrary &render = RenderLibrary::instance();
        if (render.setViewport)
            render.setViewport(info.orientedSize.width(), info.orientedSize.height());
        render.removeSubWindow();
        render.setupSubWindow(info.winId, info.viewPos.x(), info.viewPos.y(), info.viewSize.width(),
                              info.viewSize.height(), static_cast<float>(info.rotation));
        render.repaintOpenGLDisplay();
    }
    placeMenuBar();
}

void AndroidWindow::placeMenuBar(bool askServer)
{
    // Maximised, the bar starts under the title bar and ends with the window: as tall as the window it
    // would reach below the screen's bottom edge, with its last Android buttons out of sight.
    m_menuBar->setBarHeight(windowMaximizedFlag ? height() - (titleHeight + 2) : height());
    m_menuBar->update();
    // Beside the window; on request where the server has it: a window manager may have placed the
    // window before the toolkit heard of it.
    QRect rect = geometry();
    QPoint real;
    if (askServer && isVisible() && windowHandle() && X11WindowState::rootPosition(winId(), &real))
        rect.moveTopLeft(real);
    m_menuBar->move(AndroidGeometry::menuBarPosition(rect, windowMaximizedFlag, menuBarWidth, titleHeight));
    // Maximised, the bar lies over the window's right edge: above it, wherever the window was raised.
    if (windowMaximizedFlag && m_menuBar->isVisible())
        m_menuBar->raise();
}

void AndroidWindow::tieMenuBar()
{
    // The toolkit writes the bar's WM_TRANSIENT_FOR when it maps the bar, which happens during this
    // window's show event, before this window is mapped: a manager that meets the bar first finds no
    // window of that id and stacks the bar as a window of its own, under this one once this one is
    // raised or covers it (maximised). Told again now that this window is there.
    if (!isVisible() || !m_menuBar->isVisible() || !windowHandle() || !m_menuBar->windowHandle())
        return;
    X11WindowState::setTransientFor(m_menuBar->winId(), winId());
    // The manager learns the tie without moving the bar: raised now, it stands above this window, and
    // the manager keeps it there whenever this window is raised or changes layer.
    m_menuBar->raise();
}

void AndroidWindow::rebindRenderer()
{
    if (!m_displayInfo)
        return;
    const auto id = static_cast<quintptr>(m_showWindow->winId());
    if (id == m_displayInfo->winId)
        return;
    qInfo().noquote() << QStringLiteral(ORV_LOG_ANDROID "native window changed, the picture is bound to 0x%1")
                             .arg(id, 0, 16);
    m_displayInfo->winId = id;
    setupSubWindow();
    if (m_renderReady)
        RenderLibrary::instance().repaintOpenGLDisplay();
}

bool AndroidWindow::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_showWindow && event->type() == QEvent::WinIdChange)
        rebindRenderer();
    return OrvWindow::eventFilter(watched, event);
}

void AndroidWindow::setupSubWindow()
{
    if (!m_renderReady || !m_displayInfo)
        return;
    const AndroidDisplayInfo &info = *m_displayInfo;
    RenderLibrary &render = RenderLibrary::instance();
    render.removeSubWindow();
    render.setupSubWindow(info.winId, info.viewPos.x(), info.viewPos.y(), info.viewSize.width(),
                          info.viewSize.height(), static_cast<float>(info.rotation));
}

void AndroidWindow::at_window_max()
{
    if (!m_displayInfo)
        return;
    AndroidDisplayInfo &info = *m_displayInfo;
    windowMaximizedFlag = true;
    info.normalPos = pos();
    if (info.isLandscape)
        info.landscapeHeight = height();
    else
        info.portraitHeight = height();
    // The whole available area, with its own origin (a panel on the left or at the top moves it).
    QScreen *screen = QGuiApplication::primaryScreen();
    setGeometry(screen ? screen->availableGeometry() : QRect(0, 0, 1920, 1040));
    m_titleBar->updateMaxButton();
}

void AndroidWindow::at_window_full()
{
    if (!m_displayInfo)
        return;
    AndroidDisplayInfo &info = *m_displayInfo;
    fullScreenFlag = true;
    if (!windowMaximizedFlag) {
        info.normalPos = pos();
        if (info.isLandscape)
            info.landscapeHeight = height();
        else
            info.portraitHeight = height();
    }
    m_menuBar->hide();
    QScreen *screen = QGuiApplication::primaryScreen();
    const QSize size = screen ? screen->size() : QSize(1920, 1080);
    setGeometry(0, -kFullScreenTopOverhang, size.width(), size.height() + kFullScreenTopOverhang);
    LauncherRequest::send(LauncherRequest::Toast, tr("window_full_toast"));
    m_titleBar->updateMaxButton();
}

void AndroidWindow::at_window_normal()
{
    if (!m_displayInfo)
        return;
    AndroidDisplayInfo &info = *m_displayInfo;
    windowMaximizedFlag = false;
    fullScreenFlag = false;
    move(info.normalPos);
    const int h = info.isLandscape ? info.landscapeHeight : info.portraitHeight;
    resize(widthForHeight(h, info.ratio, info.isLandscape), h);
    m_menuBar->show();
    m_titleBar->updateMaxButton();
}

QPoint AndroidWindow::normalPos() const
{
    if (!windowMaximizedFlag && !fullScreenFlag)
        return pos();
    return m_displayInfo ? m_displayInfo->normalPos : pos();
}

int AndroidWindow::portraitHeight() const
{
    if (!m_displayInfo)
        return height();
    if (!windowMaximizedFlag && !fullScreenFlag && !m_displayInfo->isLandscape)
        return height();
    return m_displayInfo->portraitHeight;
}

int AndroidWindow::landscapeHeight() const
{
    if (!m_displayInfo)
        return height();
    if (!windowMaximizedFlag && !fullScreenFlag && m_displayInfo->isLandscape)
        return height();
    return m_displayInfo->landscapeHeight;
}

bool AndroidWindow::event(QEvent *e)
{
    const bool result = OrvWindow::event(e);
    switch (e->type()) {
    case QEvent::WindowStateChange:
        m_titleBar->updateMaxButton();
        setupSubWindow();
        break;
    case QEvent::WinIdChange:
        rebindRenderer();
        break;
    case QEvent::WindowActivate:
        // Shown or raised: the side bar comes with the window (beside it, or over its edge when
        // maximised).
        if (m_displayInfo && m_resizeRegion == ResizeNone)
            placeMenuBar(true);
        tieMenuBar();
        break;
    default:
        break;
    }
    return result;
}

void AndroidWindow::timerEvent(QTimerEvent *e)
{
    if (e->timerId() != m_fpsTimerId) {
        OrvWindow::timerEvent(e);
        return;
    }
    m_lastFrameRate = RenderLibrary::instance().takeFrameCount();
    m_titleBar->setFps(m_lastFrameRate);
}

void AndroidWindow::updateResizeRegion(const QPoint &g)
{
    m_resizeRegion = AndroidGeometry::regionAt(frameGeometry(), g);
    setCursor(cursorFor(m_resizeRegion));
}

void AndroidWindow::mousePressEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton) {
        OrvWindow::mousePressEvent(e);
        return;
    }
    m_leftButtonDown = true;
    if (m_resizeRegion != ResizeNone)
        grabMouse();
}

void AndroidWindow::mouseReleaseEvent(QMouseEvent *e)
{
    if (e->button() != Qt::LeftButton) {
        OrvWindow::mouseReleaseEvent(e);
        return;
    }
    m_leftButtonDown = false;
    if (m_resizeRegion != ResizeNone) {
        releaseMouse();
        setCursor(Qt::ArrowCursor);
    }
}

void AndroidWindow::mouseMoveEvent(QMouseEvent *e)
{
    if (windowMaximizedFlag || fullScreenFlag || !m_displayInfo) {
        OrvWindow::mouseMoveEvent(e);
        return;
    }
    const QPoint g = e->globalPos();
    if (!m_leftButtonDown) {
        updateResizeRegion(g);
    } else if (m_resizeRegion != ResizeNone) {
        const AndroidDisplayInfo &info = *m_displayInfo;
        const auto widthFor = [this, &info](int h) {
            return widthForHeight(h, info.ratio, info.isLandscape);
        };
        const auto heightFor = [this, &info](int w) {
            return heightForWidth(w, info.ratio, info.isLandscape);
        };
        setGeometry(AndroidGeometry::resizedRect(m_resizeRegion, frameGeometry(), g, minimumSize(), widthFor,
                                                 heightFor));
    }
    OrvWindow::mouseMoveEvent(e);
}

void AndroidWindow::paintEvent(QPaintEvent *e)
{
    OrvWindow::paintEvent(e);
    QPainter painter(this);
    QPen pen(QColor(21, 21, 24), 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
    painter.setPen(pen);
    const int w = width();
    const int h = height();
    painter.drawLine(1, 1, w - 1, 1);
    painter.drawLine(1, 1, 1, h - 1);
    painter.drawLine(0, h - 1, w - 1, h - 1);
    pen.setColor(QColor(46, 50, 59));
    painter.setPen(pen);
    painter.drawLine(w - 1, 3, w - 1, h - 3);
    if (m_renderReady)
        RenderLibrary::instance().repaintOpenGLDisplay();
}

void AndroidWindow::moveEvent(QMoveEvent *e)
{
    OrvWindow::moveEvent(e);
    if (m_resizeRegion == ResizeNone)
        placeMenuBar();
}

void AndroidWindow::resizeEvent(QResizeEvent *e)
{
    OrvWindow::resizeEvent(e);
    update();
    // The layout places "showWindow" before the picture is fitted into it.
    if (QLayout *l = layout())
        l->activate();
    layoutAndroidView();
    // The key map and its overlay follow the new size.
    m_touchWidget->reloadKeyMap();
}

void AndroidWindow::showEvent(QShowEvent *e)
{
    OrvWindow::showEvent(e);
    // The side bar belongs to this window for the window manager (WM_TRANSIENT_FOR): it is stacked above
    // the window whenever the window is raised, also where it lies over the window (maximised).
    if (windowHandle()) {
        m_menuBar->winId();
        if (QWindow *bar = m_menuBar->windowHandle(); bar && bar->transientParent() != windowHandle())
            bar->setTransientParent(windowHandle());
    }
    if (!fullScreenFlag)
        m_menuBar->show();
    // This window is mapped after its show event, the bar within it.
    QTimer::singleShot(0, this, &AndroidWindow::tieMenuBar);
    layoutAndroidView();
    m_touchWidget->inputEdit()->setFocus(Qt::OtherFocusReason);
}

void AndroidWindow::hideEvent(QHideEvent *e)
{
    OrvWindow::hideEvent(e);
    m_menuBar->hide();
}
