#pragma once

#include "androidgeometry.h"
#include "bootpoll.h"
#include "dialogtype.h"
#include "menubarbase.h"
#include "orvwindow.h"
#include "titlebarbase.h"

#include <QPoint>
#include <QRect>
#include <QString>
#include <QStringList>

#include <functional>

class AndroidTouchWidget;
class QFileDialog;
class QLabel;
class QDialog;
class QTimer;

// Moves a widget around its place on a timer and back: the window's shake.
class WindowShake : public QObject
{
    Q_OBJECT

public:
    explicit WindowShake(QObject *parent = nullptr);
    // Nothing while a shake runs; else 4 x times moves, 40 ms apart, ending where the widget stood.
    void shake(QWidget *widget, int times, int amplitude);
    bool isShaking() const;

private slots:
    void startShake();

private:
    QWidget *m_widget = nullptr;
    int m_times = 0;
    int m_amplitude = 0;
    int m_step = 0;
    QPoint m_origin;
    QTimer *m_timer = nullptr;
};

// The emulator's main window once the machine runs: a frameless window with the title bar on top and,
// below it, the widget "showWindow" whose native window receives the render library's child window.
// The side menu bar is a separate frameless tool window kept on the window's right edge. The window
// keeps the aspect of the guest's screen in every size, turns with the guest's rotation, has maximized
// and full-screen states, and is resized by dragging its drawn frame.
//
// init() continues the start-up progress from 55 to 99; 100 comes when Android is seen up (the render
// library's first rotation report, or the boot poll).
class AndroidWindow : public OrvWindow
{
    Q_OBJECT

public:
    explicit AndroidWindow(QWidget *parent = nullptr);
    ~AndroidWindow() override;

    // The window heights worked out at start-up from the saved geometry (portrait and landscape).
    void setStartupHeights(int portraitHeight, int landscapeHeight);

    // The render library start: 1, or 1201, 1301, 1302, 1303.
    int initOpenGL();
    int loadRenderLibrary();
    void stopRender();

    // The saved geometry: the normal position and the remembered heights.
    QPoint normalPos() const;
    int portraitHeight() const;
    int landscapeHeight() const;

    const AndroidDisplayInfo *displayInfo() const { return m_displayInfo; }
    MenuBarBase *menuBar() const { return m_menuBar; }
    TitleBarBase *titleBar() const { return m_titleBar; }
    // Connections of initEnvironment whose receiving slot this window does not have (each also logged).
    QStringList missingConnections() const { return m_missingConnections; }
    QWidget *showWindow() const { return m_showWindow; }
    AndroidTouchWidget *touchWidget() const { return m_touchWidget; }
    bool isFirstLoaded() const { return m_firstLoaded; }
    bool isScriptRunning() const { return m_scriptRunning; }
    // The install dialog of the menu: no parent, the current folder, packages only (any case).
    static QFileDialog *makeInstallDialog();
    int lastFrameRate() const { return m_lastFrameRate; }
    const BootPoll &bootPoll() const { return m_bootPoll; }

    // The process-wide window states (titlebarbase.h), under the names this window's code uses.
    static bool &windowMaximizedFlag;
    static bool &fullScreenFlag;

    // Runs the key-map editor modally over the touch layer: the rotation in degrees, the touch layer's
    // rectangle on the desktop and the window as parent; returns whether a save ran to its end. The
    // editor belongs to the key-mapping feature, so the program's composition sets the opener.
    using KeyMapEditorOpener = std::function<bool(int rotation, const QRect &rect, QWidget *parent)>;
    void setKeyMapEditorOpener(KeyMapEditorOpener opener) { m_keyMapEditorOpener = std::move(opener); }
    // The window shell's dialogs that the menu opens. They belong to a sibling feature, so the
    // application hands over how to make them (wired to the input channel); the window places, runs and
    // deletes each.
    struct ShellDialogs
    {
        std::function<QDialog *(QWidget *parent)> makeGeolocationDialog;
        std::function<QDialog *()> makeShareFolderDialog;
    };
    static void setShellDialogs(const ShellDialogs &dialogs);

signals:
    void scheduleChanged(int start, int end);
    void showDialog(QString msg, DialogType type, QWidget *parent = nullptr,
                    QString from = QStringLiteral(""));
    void rotation_changed(int rotation);
    void bosskey_click(QString from);
    // The launcher app reports whether a script runs (for the menu bar's stop-script state).
    void script_state_changed(bool isRunning);

public slots:
    void init();
    void at_rotation_changed(int rotation);
    void at_window_max();
    void at_window_normal();
    void at_window_full();
    void at_title_setting_click();
    void at_title_systemInfo_click();
    void at_update_fps_status(bool isShow);
    void on_update_optimize_btn_status();
    void at_stop_script_click();
    void at_return_click(QString from = QString());
    void at_home_click(QString from = QString());
    void at_menu_click(QString from = QString());
    void at_menu_shake_click();
    void at_menu_screenshot_click();
    void at_menu_install_click();
    void at_menu_multi_player_click();
    // The menu's keyboard entry: the play overlay goes while the key-map editor runs, and comes back
    // when the editor closes without a save and key mapping is on for the package.
    void at_menu_keyboard_click();
    void at_pavix_copy_text(QString text);
    void at_pavix_script_state_change(bool isRunning);
    void at_menu_virtual_location_click();
    void at_menu_share_folder_click();

protected:
    bool event(QEvent *e) override;
    void timerEvent(QTimerEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseReleaseEvent(QMouseEvent *e) override;
    void mouseMoveEvent(QMouseEvent *e) override;
    void paintEvent(QPaintEvent *e) override;
    void moveEvent(QMoveEvent *e) override;
    void resizeEvent(QResizeEvent *e) override;
    void showEvent(QShowEvent *e) override;
    void hideEvent(QHideEvent *e) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Binds the render library's picture to the native window "showWindow" has now, when it changed.
    void rebindRenderer();
    void initSize();
    void initEnvironment();
    // Joins a menu-bar signal to a slot of this window or its touch layer by their names; a slot they do
    // not have is logged and listed (missingConnections).
    void connectByName(QObject *sender, const char *signal, QObject *receiver, const char *slot);
    void startChannels();
    void restoreLocation();
    void pollBoot();
    // The end of one poll, with the answers to both commands (the second empty when not asked).
    void finishBootPoll(const QString &r1, const QString &r2);
    void onAndroidReady();
    void firstLoad();
    void layoutAndroidView();
    void placeMenuBar(bool askServer = false);
    // Tells the window manager once more that the side bar belongs to this window, once both are mapped.
    void tieMenuBar();
    void updateResizeRegion(const QPoint &g);
    void setupSubWindow();
    // Emits a progress step (p, p + size) and adds size to the start-up progress.
    void progressStep(double size);
    bool renderReady() const { return m_renderReady; }

    MenuBarBase *m_menuBar = nullptr;
    TitleBarBase *m_titleBar = nullptr;
    QStringList m_missingConnections;
    QWidget *m_showWindow = nullptr;
    AndroidTouchWidget *m_touchWidget = nullptr;
    KeyMapEditorOpener m_keyMapEditorOpener;
    WindowShake m_windowShake;
    AndroidDisplayInfo *m_displayInfo = nullptr;
    QTimer *m_bootPollTimer = nullptr;
    bool m_firstLoaded = false;
    bool m_scriptRunning = false;
    BootPoll m_bootPoll;
    bool m_leftButtonDown = false;
    ResizeRegion m_resizeRegion = ResizeNone;
    bool m_renderReady = false;
    bool m_pollRunning = false;
    int m_fpsTimerId = 0;
    int m_lastFrameRate = 0;
    int m_startupPortraitHeight = 0;
    int m_startupLandscapeHeight = 0;
};
