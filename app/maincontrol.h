#pragma once

#include "dialogtype.h"

#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QString>

#include <memory>

class AndroidControl;
class DialogControl;
class LoadingControl;
class QCloseEvent;
class QWidget;
class TrayTool;

// The controller of the emulator program: it owns the start-up worker and the dialog dispatcher, joins
// their signals, receives the requests of later starts for the same machine, and runs the quit sequence.
class MainControl : public QObject
{
    Q_OBJECT

public:
    explicit MainControl(QObject *parent = nullptr);
    ~MainControl() override;

    // Starts the start-up worker's thread.
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

public slots:
    void handleShowAndroid();
    void changeWindowStatus(QString from);
    void showWindowOnTop();
    void sendQuitMsg();
    void quitApp(bool isNeedReboot);
    void quitApp() { quitApp(false); }
    void handleNewConnect(QString msg);

private:
    // The rest of the quit sequence, once no dialog of the dispatcher is open any more.
    void continueQuit(bool isNeedReboot);
    void waitForLoadingControl();
    void saveWindowGeometry();
    void cleanGameFolder();
    // The tray's settings entry: a message while starting, else the settings window.
    void trayOpenSettings();

    // The Android window is up (set when the start-up window is swapped for it).
    bool m_androidShown = false;
    QPointer<LoadingControl> m_loadingControl;
    AndroidControl *m_androidControl = nullptr;
    DialogControl *m_dialogControl = nullptr;
    QPointer<QWidget> m_currentWindow;
    std::unique_ptr<QCloseEvent> m_closeEvent;
    bool m_quitStarted = false;
    // Where the start-up window stood at the hand-over, and whether the user had hidden it.
    QPoint m_handOverPos;
    bool m_handOverHidden = false;
    // The notification-area icon and its menu, from start() to the destructor.
    TrayTool *m_tray = nullptr;
};
