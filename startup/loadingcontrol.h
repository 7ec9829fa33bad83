#pragma once

#include "dialogtype.h"
#include "loadingwindow.h"

#include <QString>
#include <QStringList>
#include <QThread>

// The start-up worker: a thread that takes the program from "process started" to "virtual machine
// running". It loads the installation facts, opens the database, checks the host, the VirtualBox tool,
// the other instances and the updater's answer, collects the system information, and prepares and
// starts the machine. It owns the start-up window and talks to the GUI thread only by signals; a dialog
// it asks for blocks it until the user has closed it.
class LoadingControl : public QThread
{
    Q_OBJECT

public:
    // Builds the start-up window, joins it to the worker's signals and sizes and places it; showWindow()
    // puts it on screen. The thread may start in between: the window is a receiver from here on.
    explicit LoadingControl(QObject *parent = nullptr);
    ~LoadingControl() override;

    void showWindow();

    LoadingWindow *loadingWindow() { return &window; }

    bool checkUpdate();
    int collectSystemInfo();
    int checkInstallPath();
    int checkAndRepair();
    void resolveStreamMode();
    void parseCheckResults(QString text);

    // Failure handling of the machine steps.
    bool handleStartError(int code);
    void reinstallVBox();
    void writeErrorLog();
    QString systemText() const;
    QString errorLogText() const;

    // A progress step of `size`: announces (p, p + size) and adds size to the start-up progress.
    void progressStep(double size);

    // Fills %1, %2, ... of `format` from `values` in one pass, so that a "%1" inside a value stays as it
    // is. Two-digit placeholders are read when there are ten or more values.
    static QString fillPlaceholders(const QString &format, const QStringList &values);

signals:
    void scheduleChanged(int start, int end);
    void showDialog(QString msg, DialogType type, QWidget *parent = nullptr,
                    QString from = QStringLiteral("0"));
    void showDialogFree(QString msg, DialogType type, QWidget *parent = nullptr,
                        QString from = QStringLiteral("0"));
    void showAndroid();
    void environmentCheckFinished();
    void quitApp(bool isNeedReboot);
    void quitApp();
    void uploadCrashOrErrorLog(QString kind, QString text);

protected:
    void run() override;

private:
    void initWindowGeometry();
    // Asks for a dialog and waits for it; false (nothing asked) once the program quits.
    bool requestDialog(const QString &msg, DialogType type, const QString &from = QStringLiteral("0"));

    LoadingWindow window;
};
