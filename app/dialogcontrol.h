#pragma once

#include "dialogtype.h"

#include <QList>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>

class FeedbackPopuMenu;
class QDialog;
class SettingDialog;

// The one entry for the program's dialogs. A request names a dialog type, a message, an optional
// parent and a "from" text; the dispatcher opens the dialog modally and turns the outcome into usage
// reports, the instance status, the start of the updater or a request to quit.
//
// The start-up worker reaches showDialog() through a blocking queued connection and waits for the
// user. Once the program quits, requests other than plain messages are answered at once without a
// dialog, and the dialogs that are open can be closed, so the worker is never left waiting.
class DialogControl : public QObject
{
    Q_OBJECT

public:
    explicit DialogControl(QObject *parent = nullptr);
    ~DialogControl() override;

    // Lets the settings window load the current settings; called once when the Android window is shown.
    void initSettingDialog();

    // Rejects every dialog this dispatcher has open; their requests return as soon as the event loop
    // gets control back.
    void closeOpenDialogs();
    // Number of requests being served right now (nested dialogs count each).
    int activeRequests() const { return m_activeRequests; }

    QWidget *dialogParent() const { return m_dialogParent; }
    // The settings window: one per process, hidden between openings.
    SettingDialog *settingDialog() const { return m_settingDialog; }
    DialogType currentType() const { return m_currentType; }
    FeedbackPopuMenu *feedbackMenu() const { return m_feedbackMenu.get(); }

    // Check name to the "source" code of the environment-check report.
    static QString checkSource(const QString &checkName);
    // The address of the error tutorial page.
    static const char *const kTutorialUrl;

signals:
    void quitApp(bool isNeedReboot = false);
    void update_fps_status(bool isShow);
    void update_optimize_btn_status();
    // Emitted after a request has been served (also when nothing was shown); for observers and tests.
    void dialogFinished(DialogType type, int result);

public slots:
    void showDialog(QString msg, DialogType type, QWidget *parent = nullptr,
                    QString from = QStringLiteral("0"));

private:
    int runDialog(QDialog &dialog);
    void showErrorCodeDialog(const QString &code, DialogType type);
    void checkUpdate(const QString &mode);
    void reportEnvironmentCheck();
    void startUpdater();
    void reportQuitTime();

    // The start-up window goes away at the hand-over; a guarded pointer never dangles.
    QPointer<QWidget> m_dialogParent;
    DialogType m_currentType = DialogType::Message;
    QList<QPointer<QDialog>> m_openDialogs;
    SettingDialog *m_settingDialog = nullptr;
    int m_activeRequests = 0;
    // The feedback pop-up, reused for every request of its type.
    std::unique_ptr<FeedbackPopuMenu> m_feedbackMenu;
};
