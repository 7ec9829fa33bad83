#pragma once

#include "dialogtype.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>

#include <deque>
#include <functional>
#include <memory>

class AndroidControl;
class DialogControl;
class LoadingControl;
class QCloseEvent;
class QuitSignals;
class VBoxTool;
class QWidget;
class TrayTool;
class X11KeyGrab;

// The controller of the emulator program: it owns the start-up worker and the dialog dispatcher, joins
// their signals, receives the requests of later starts for the same machine, and runs the quit sequence.
class MainControl : public QObject
{
    Q_OBJECT

public:
    explicit MainControl(QObject *parent = nullptr);
    ~MainControl() override;

    // Builds the tray icon; from here on the requests of the worker (whose thread the constructor has
    // started) and of later starts are handled as they come.
    void start();

    // Hands an error log to the log upload.
    void uploadLog(QString kind, QString text);

    LoadingControl *loadingControl() const;
    DialogControl *dialogControl() const { return m_dialogControl; }
    AndroidControl *androidControl() const { return m_androidControl; }
    QWidget *currentWindow() const;
    bool isAndroidShown() const { return m_androidShown; }
    TrayTool *tray() const { return m_tray; }

signals:
    void showDialog(QString msg, DialogType type, QWidget *parent = nullptr,
                    QString from = QStringLiteral("0"));

    // Steps of the quit sequence that belong to other parts of the program; the composition root
    // connects them directly (each receiver has finished when the emit returns).
    // With the window: the tray icon is hidden (TrayTool::hideIcon).
    void quitHidesTrayIcon();
    // After the renderer: the launcher channel's thread and the share-folder watcher end and are
    // joined, before the status goes to STOP.
    void quitStopsGuestChannels();

public slots:
    void handleShowAndroid();
    void changeWindowStatus(QString from);
    void showWindowOnTop();
    void sendQuitMsg();
    void quitApp(bool isNeedReboot);
    void quitApp() { quitApp(false); }
    void handleNewConnect(QString msg);

private:
    // The worker's signals, each to a receiver of this controller.
    void connectLoadingControl();
    // Runs `call` now once the controller is built (start() has returned), else when it is.
    void whenBuilt(std::function<void()> call);
    void finishBuilding();
    // The rest of the quit sequence, once no dialog is open any more (bounded).
    void continueQuit(bool isNeedReboot);
    // Rejects every modal dialog that is open; true when one was.
    static bool closeModalDialogs();
    // Powers the machine off and clears its emu_id; true when the machine is confirmed stopped (or the
    // tool was never found). `waitForOthers`: first wait while another instance starts or quits.
    static bool stopMachine(VBoxTool &tool, bool waitForOthers);
    void waitForLoadingControl();
    void saveWindowGeometry();
    void cleanGameFolder();
    // The tray's settings entry: a message while starting, else the settings window.
    void trayOpenSettings();
    // While the window is hidden no window of ours takes a key: the boss key (when switched on) is
    // grabbed on the X root window so that it still shows the window; released while it is shown, and
    // grabbed anew when the stored key changed.
    void updateBossKeyGrab();

    // The Android window is up (set when the start-up window is swapped for it).
    bool m_androidShown = false;
    QPointer<LoadingControl> m_loadingControl;
    AndroidControl *m_androidControl = nullptr;
    DialogControl *m_dialogControl = nullptr;
    QPointer<QWidget> m_currentWindow;
    std::unique_ptr<QCloseEvent> m_closeEvent;
    bool m_quitStarted = false;
    int m_quitDeferredMs = 0;
    QuitSignals *m_quitSignals = nullptr;
    // Where the start-up window stood at the hand-over, and whether the user had hidden it.
    QPoint m_handOverPos;
    bool m_handOverHidden = false;
    // The notification-area icon and its menu, from start() to the destructor.
    TrayTool *m_tray = nullptr;
    X11KeyGrab *m_bossKeyGrab = nullptr;
    bool m_built = false;
    std::deque<std::function<void()>> m_waitingCalls;
};
