#include "dialogcontrol.h"

#include "checkaction.h"
#include "commondialog.h"
#include "datareportengine.h"
#include "environmentcheckdialog.h"
#include "errorcodes.h"
#include "feedbackdialog.h"
#include "global.h"
#include "reportevents.h"
#include "settingdialog.h"
#include "systeminfodialog.h"
#include "updatedialog.h"
#include "updater.h"
#include "vboxerrordialog.h"
#include "vtbeoccupiedtipdialog.h"
#include "vtinfodialog.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDebug>
#include <QDesktopServices>
#include <QDialog>
#include <QSettings>
#include <QUrl>

const char *const DialogControl::kTutorialUrl = "https://forum.halvora.example/thread/startup-errors";

namespace {

QString secondsSinceStart()
{
    return QString::number(Global::startClock.isValid() ? Global::startClock.elapsed() / 1000 : 0);
}

// Counts a request while it is served, also when it returns early.
class RequestScope
{
public:
    explicit RequestScope(int &counter) : m_counter(counter) { ++m_counter; }
    ~RequestScope() { --m_counter; }

private:
    int &m_counter;
};

} // namespace

DialogControl::DialogControl(QObject *parent)
    : QObject(parent), m_settingDialog(new SettingDialog),
      m_feedbackMenu(std::make_unique<FeedbackPopuMenu>(nullptr))
{
    registerDialogType();
    connect(m_settingDialog, &SettingDialog::reboot, this, &DialogControl::requestRestart);
    connect(m_settingDialog, &SettingDialog::update_fps_status, this, &DialogControl::update_fps_status);
    connect(m_settingDialog, &SettingDialog::update_optimize_btn_status, this,
            &DialogControl::update_optimize_btn_status);
}

DialogControl::~DialogControl()
{
    delete m_settingDialog;
}

void DialogControl::initSettingDialog()
{
    m_settingDialog->loadSettings();
}

QString DialogControl::checkSource(const QString &checkName)
{
    static const QMap<QString, QString> sources{
        {QStringLiteral("PatchCheck"), QStringLiteral("0")},
        {QStringLiteral("DmBitsCheck"), QStringLiteral("1")},
        {QStringLiteral("OpenGLCheck"), QStringLiteral("2")},
        {QStringLiteral("DNFConflictCheck"), QStringLiteral("3")},
        {QStringLiteral("MemoryCheck"), QStringLiteral("4")},
        {QStringLiteral("VTOccupiedStautsCheck"), QStringLiteral("5")},
        {QStringLiteral("GraphicsCheck"), QStringLiteral("6")},
        {QStringLiteral("VTOpenStautsCheck"), QStringLiteral("7")},
    };
    return sources.value(checkName, checkName);
}

int DialogControl::runDialog(QDialog &dialog)
{
    m_openDialogs.append(&dialog);
    const int result = dialog.exec();
    m_openDialogs.removeAll(&dialog);
    return result;
}

void DialogControl::closeOpenDialogs()
{
    const auto open = m_openDialogs;
    for (const QPointer<QDialog> &dialog : open) {
        if (dialog)
            dialog->reject();
    }
}

void DialogControl::reportQuitTime()
{
    DataReportEngine::report(ReportEvent::ShownTime, QStringLiteral("time"), secondsSinceStart());
}

void DialogControl::requestRestart()
{
    qInfo() << "DialogControl : restart requested";
    emit quitApp(true);
}

void DialogControl::startUpdater()
{
    Updater::start(QString::fromLatin1(Updater::kUpdate));
}

void DialogControl::showDialog(QString msg, DialogType type, QWidget *parent, QString from)
{
    RequestScope scope(m_activeRequests);
    if (parent)
        m_dialogParent = parent;
    m_currentType = type;

    // While the program quits nothing is shown: a waiting caller (the start-up worker) gets its answer
    // at once and notices the quit itself, and no dialog can hold the quit until someone clicks.
    if (appQuittingFlag) {
        qInfo() << "DialogControl : quitting, request not shown, type " << static_cast<int>(type);
        emit dialogFinished(type, QDialog::Rejected);
        return;
    }

    int result = QDialog::Rejected;
    switch (type) {
    case DialogType::EnvironmentCheck: {
        const QStringList parts = from.split(QLatin1Char('#'), Qt::KeepEmptyParts);
        if (parts.size() != 2)
            break;
        EnvironmentCheckDialog dialog(parts.at(0), parts.at(1), false, false, m_dialogParent);
        result = runDialog(dialog);
        if (appQuittingFlag)
            break;
        reportEnvironmentCheck();
        if (!dialog.requiredPassed())
            emit quitApp(false);
        break;
    }
    case DialogType::VTNotOpen: {
        VTInfoDialog dialog(m_dialogParent);
        result = runDialog(dialog);
        break;
    }
    case DialogType::VTOccupiedHyperV:
    case DialogType::VTOccupiedSoftware: {
        VTBeOccupiedTipDialog dialog(type == DialogType::VTOccupiedHyperV ? 0 : 1, nullptr);
        result = runDialog(dialog);
        break;
    }
    case DialogType::UpdatePrompt:
        checkUpdate(msg);
        break;
    case DialogType::FileMissing: {
        qDebug() << "FileMissingPromptDialog";
        CommonDialog dialog(msg, static_cast<int>(DialogType::Confirm), m_dialogParent);
        result = runDialog(dialog);
        if (appQuittingFlag)
            break;
        if (result == QDialog::Accepted)
            startUpdater();
        reportQuitTime();
        emit quitApp(false);
        break;
    }
    case DialogType::MemoryWarning: {
        // Its "cancel" gives up the start (accepted); "continue" goes on (rejected).
        CommonDialog dialog(msg, static_cast<int>(DialogType::MemoryWarning), m_dialogParent);
        result = runDialog(dialog);
        if (result == QDialog::Accepted && !appQuittingFlag) {
            reportQuitTime();
            DataReportEngine::sysMsg(QStringLiteral("error"), QLatin1String(ReportError::kMemoryWarningQuit));
            DataReportEngine::reportSysMsg(ReportEvent::ErrorSystemInfo);
            emit quitApp(false);
        }
        break;
    }
    case DialogType::VBoxError: {
        VBoxErrorDialog dialog(m_dialogParent);
        result = runDialog(dialog);
        if (result == QDialog::Accepted && !appQuittingFlag) {
            reportQuitTime();
            DataReportEngine::sysMsg(QStringLiteral("error"), QLatin1String(ReportError::kVBoxErrorQuit));
            DataReportEngine::reportSysMsg(ReportEvent::ErrorSystemInfo);
            emit quitApp(false);
        }
        break;
    }
    case DialogType::ErrorCode:
    case DialogType::ErrorCodeTutorial:
        showErrorCodeDialog(msg, type);
        break;
    case DialogType::Setting: {
        DataReportEngine::report(ReportEvent::SettingsOpened, QStringLiteral("source"), from);
        Qt::WindowFlags flags = m_settingDialog->windowFlags();
        if (stayOnTopFlag)
            flags |= Qt::WindowStaysOnTopHint;
        else
            flags &= ~Qt::WindowStaysOnTopHint;
        m_settingDialog->setWindowFlags(flags);
        m_settingDialog->refreshOptimizeButton();
        result = runDialog(*m_settingDialog);
        break;
    }
    case DialogType::Message: {
        CommonDialog dialog(msg, static_cast<int>(DialogType::Message), nullptr);
        result = runDialog(dialog);
        break;
    }
    case DialogType::FeedbackMenu: {
        // "x|y", the global point under the title bar's more button.
        const QStringList parts = msg.split(QLatin1Char('|'), Qt::KeepEmptyParts);
        const int x = parts.value(0).toInt();
        const int y = parts.value(1).toInt();
        m_feedbackMenu->move(x, y);
        m_feedbackMenu->show();
        break;
    }
    case DialogType::SystemInfo: {
        SystemInfoDialog dialog(nullptr);
        result = runDialog(dialog);
        break;
    }
    default:
        // Types without a dialog (6, 11, 13 to 16, out of range) open nothing.
        break;
    }
    emit dialogFinished(type, result);
}

void DialogControl::reportEnvironmentCheck()
{
    const QMap<QString, checkResultRecord> records = CheckResults::snapshot();
    for (auto it = records.cbegin(); it != records.cend(); ++it) {
        DataReportEngine::report(ReportEvent::CheckResult,
                                 QMap<QString, QString>{
                                     {QStringLiteral("source"), checkSource(it.key())},
                                     {QStringLiteral("initState"), QString::number(it->initState)},
                                     {QStringLiteral("endState"), QString::number(it->endState)},
                                     {QStringLiteral("clickState"), QString::number(it->clickState)},
                                 });
    }
}

void DialogControl::showErrorCodeDialog(const QString &text, DialogType type)
{
    const int code = ErrorCode::fromText(text);
    DataReportEngine::sysMsg(QStringLiteral("error"), QString::number(code));
    DataReportEngine::reportSysMsg(ReportEvent::ErrorSystemInfo);
    const QString key = ErrorCode::messageKey(code);
    const QString message = key.isEmpty() ? QString() : tr(key.toUtf8().constData());
    Global::setStatus(QLatin1String(StatusWord::kError));

    // The request's own type: the member is rewritten by any request served while the dialog runs.
    CommonDialog dialog(message, static_cast<int>(type), nullptr);
    const int result = runDialog(dialog);
    if (appQuittingFlag)
        return;
    if (result == QDialog::Accepted && type == DialogType::ErrorCodeTutorial)
        QDesktopServices::openUrl(QUrl(QString::fromLatin1(kTutorialUrl)));
    reportQuitTime();
    emit quitApp(false);
}

void DialogControl::checkUpdate(const QString &mode)
{
    qDebug() << "checkUpdate UpdatePromptDialog" << m_dialogParent.data();
    QSettings userKey(QSettings::NativeFormat, QSettings::UserScope, QCoreApplication::organizationName(),
                      QCoreApplication::applicationName());
    UpdateDialog dialog(mode == QLatin1String("clear"), m_dialogParent);
    if (runDialog(dialog) == QDialog::Accepted && !appQuittingFlag) {
        startUpdater();
        userKey.setValue(QStringLiteral("IsUpdateCancel"), false);
    } else {
        userKey.setValue(QStringLiteral("IsUpdateCancel"), true);
        userKey.setValue(QStringLiteral("LastCheckTime"),
                         static_cast<quint32>(QDateTime::currentDateTimeUtc().toSecsSinceEpoch()));
    }
    userKey.sync();
}
