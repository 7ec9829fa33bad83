#include "loadingcontrol.h"

#include "checkaction.h"
#include "commandline.h"
#include "datareportengine.h"
#include "errorcodes.h"
#include "global.h"
#include "glutcontext.h"
#include "logtags.h"
#include "paths.h"
#include "reportevents.h"
#include "settingmodel.h"
#include "sqlitetool.h"
#include "timeoutscale.h"
#include "updater.h"
#include "vboxtool.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QGuiApplication>
#include <QRegExp>
#include <QScreen>
#include <QSettings>

#include <memory>

namespace {

constexpr double kReinstallProgressLimit = 35.0;

} // namespace

LoadingControl::LoadingControl(QObject *parent) : QThread(parent)
{
    registerDialogType();

    connect(this, &LoadingControl::scheduleChanged, &window, &LoadingWindow::scheduleChanged);
    connect(&window, &OrvWindow::quitApp, this, qOverload<bool>(&LoadingControl::quitApp),
            Qt::QueuedConnection);
    connect(&window, &LoadingWindow::process_100, this, &LoadingControl::showAndroid);
    // The window lives on the GUI thread: its requests take the non-blocking path. The blocking one is
    // for this thread's own requests; entered from the GUI thread it would wait for itself for ever.
    connect(&window, &LoadingWindow::showDialog, this, &LoadingControl::showDialogFree);
    connect(&window, &LoadingWindow::showDialogFree, this, &LoadingControl::showDialogFree);

    initWindowGeometry();
}

void LoadingControl::showWindow()
{
    window.show();
}

LoadingControl::~LoadingControl()
{
    // The quit sequence has waited for the thread; this only covers an owner that did not.
    if (isRunning()) {
        requestInterruption();
        wait();
    }
}

void LoadingControl::initWindowGeometry()
{
    QSettings file(SettingModel::filePath(), QSettings::IniFormat);
    SavedWindowSettings saved;
    saved.height = SettingModel::readInt(file, QStringLiteral("Orvanta/Resolution/height"), 1280);
    saved.width = SettingModel::readInt(file, QStringLiteral("Orvanta/Resolution/width"), 720);
    saved.pos = file.value(QStringLiteral("StartUp/Pos")).toByteArray();
    saved.horizontalHeight = SettingModel::readInt(file, QStringLiteral("StartUp/HorizontalHeight"), -1);
    saved.verticalHeight = SettingModel::readInt(file, QStringLiteral("StartUp/VerticalHeight"), -1);

    QSize available(1920, 1040);
    if (QScreen *screen = QGuiApplication::primaryScreen())
        available = screen->availableGeometry().size();

    const StartupGeometry g = LoadingWindow::computeGeometry(window, saved, available);
    LoadingWindow::savedWindowPos = g.savedPos;
    LoadingWindow::landscapeWindowHeight = g.landscapeHeight;
    LoadingWindow::portraitWindowHeight = g.portraitHeight;
    window.resize(g.windowSize);
    window.move(g.position);
}

void LoadingControl::progressStep(double size)
{
    const double p = startupProgress.load();
    qDebug().noquote() << QStringLiteral(ORV_LOG_LOADING "progress %1 -> %2").arg(p).arg(p + size);
    emit scheduleChanged(static_cast<int>(p), static_cast<int>(p + size));
    startupProgress.store(p + size);
}

bool LoadingControl::requestDialog(const QString &msg, DialogType type, const QString &from)
{
    // A blocking request while the program quits could wait for a dispatcher that is itself waiting
    // for this thread; once the quit has begun no dialog is asked for.
    if (appQuittingFlag)
        return false;
    emit showDialog(msg, type, &window, from);
    return true;
}

void LoadingControl::run()
{
    progressStep(1);
    Global::loadInstallInfo();
    SQLiteTool::instance().connect();

    QString requiredText;
    QString optionalText;
    bool requiredPassed = false;
    bool optionalPassed = false;
    {
        // The OpenGL check reads the version through this hidden window's context.
        GlutContext probeWindow;
        SettingModel::instance()->load(false);

        OptionalActionFactory optionalFactory;
        std::unique_ptr<ActionComposite> optional(optionalFactory.create());
        optional->setProgressReceiver(this);
        RequiredActionFactory requiredFactory;
        std::unique_ptr<ActionComposite> required(requiredFactory.create());
        required->setProgressReceiver(this);

        requiredPassed = required->check();
        optionalPassed = optional->check();
        requiredText = required->describe();
        optionalText = optional->describe();
    }

    CheckResults::clear();
    parseCheckResults(requiredText);
    parseCheckResults(optionalText);
    Global::systemInfo.optionalChecksPassed = optionalPassed;

    if (!requiredPassed || (!optionalPassed && SettingModel::instance()->isShowOptionalCheckRes())) {
        if (requestDialog(QStringLiteral("1"), DialogType::EnvironmentCheck,
                          requiredText + QLatin1Char('#') + optionalText))
            DataReportEngine::report(ReportEvent::CheckDialogAsked);
    }

    VBoxTool &tool = VBoxTool::instance();
    if (tool.checkVBoxPath() == ErrorCode::Success)
        tool.checkOtherOrvStatus();
    Global::setStatus(QLatin1String(StatusWord::kStarting));

    if (appQuittingFlag)
        return;
    progressStep(7);
    if (!checkUpdate())
        return;

    const int code = collectSystemInfo();
    if (code != ErrorCode::Success) {
        requestDialog(QString::number(code), DialogType::ErrorCode);
        return;
    }
    qInfo() << ORV_LOG_LOADING "system information collected";

    // The machine steps; the failure handling may ask to run them again from the image check.
    for (;;) {
        if (appQuittingFlag)
            return;
        progressStep(4);
        int result = tool.checkOva();
        if (result == ErrorCode::Success) {
            if (appQuittingFlag)
                return;
            result = checkAndRepair();
        }
        if (result == ErrorCode::Success) {
            if (appQuittingFlag)
                return;
            progressStep(3);
            result = tool.startVM();
        }
        if (result != ErrorCode::Success) {
            if (handleStartError(result))
                continue;
            return;
        }
        if (appQuittingFlag) {
            // The machine came up after the quit began; the quit sequence must not find it running.
            qInfo() << ORV_LOG_LOADING "quit during the machine start, power the machine off";
            tool.stopVM();
            return;
        }
        qInfo() << ORV_LOG_LOADING "machine running";
        emit environmentCheckFinished();
        return;
    }
}

int LoadingControl::checkAndRepair()
{
    VBoxTool &tool = VBoxTool::instance();
    if (appQuittingFlag)
        return ErrorCode::Success;
    progressStep(2);
    tool.init();

    if (appQuittingFlag)
        return ErrorCode::Success;
    progressStep(2);
    tool.applyVmSettings();

    if (appQuittingFlag)
        return ErrorCode::Success;
    progressStep(2);
    int code = tool.initNetwork();
    if (code != ErrorCode::Success) {
        qInfo() << ORV_LOG_LOADING "checkAndRepairNetwork" << code;
        return code;
    }

    if (appQuittingFlag)
        return ErrorCode::Success;
    progressStep(2);
    code = tool.checkCpu(true);
    if (code != ErrorCode::Success) {
        qInfo() << "StartUpControl : checkAndRepairCPU" << code;
        return code;
    }

    if (appQuittingFlag)
        return ErrorCode::Success;
    progressStep(1);
    code = tool.checkMemory(true);
    if (code != ErrorCode::Success) {
        qInfo() << ORV_LOG_LOADING "checkAndRepairMemory" << code;
        return code;
    }

    if (appQuittingFlag)
        return ErrorCode::Success;
    progressStep(1);
    code = tool.setResolutionAndDpi();
    if (code != ErrorCode::Success) {
        qInfo() << ORV_LOG_LOADING "checkAndRepairMemory" << code;
        return code;
    }
    return ErrorCode::Success;
}

bool LoadingControl::checkUpdate()
{
    const QString version = Global::installInfo.productVersion;
    qInfo().noquote() << ORV_LOG_LOADING "check update, current version is " + version;
    const QString folder =
        Platform::localAppDataRoot() + QLatin1Char('/') + QCoreApplication::organizationName();
    if (!QDir(folder).exists())
        QDir().mkpath(folder);

    const QString path = Updater::programPath();
    qDebug().noquote() << ORV_LOG_LOADING "checkUpdate exePath " + path;
    const int code = Updater::run(QString::fromLatin1(Updater::kCheckWhenStarting),
                                  TimeoutScale::ms(Updater::kCheckWhenStartingWaitMs));
    qInfo().noquote() << ORV_LOG_LOADING "checkUpdate resultCode " + QString::number(code);
    // No answer in time (or a crash): nothing else is looked at, the start-up goes on.
    if (code == -1)
        return true;

    const Updater::StartCheckDecision decision = Updater::decideStartCheck(code, version);
    switch (decision.prompt) {
    case Updater::StartCheckDecision::UpdatePrompt:
        qInfo() << ORV_LOG_LOADING "checkUpdate has a new version";
        requestDialog(QString(), DialogType::UpdatePrompt);
        break;
    case Updater::StartCheckDecision::UpdatePromptClearData:
        qInfo() << ORV_LOG_LOADING "checkUpdate has a new version";
        requestDialog(QStringLiteral("clear"), DialogType::UpdatePrompt);
        break;
    case Updater::StartCheckDecision::FileMissing:
        qCritical() << ORV_LOG_LOADING "checkUpdate file miss";
        requestDialog(tr("file miss"), DialogType::FileMissing);
        return false;
    case Updater::StartCheckDecision::NoPrompt:
        break;
    }
    if (appQuittingFlag)
        return false;
    if (decision.reinstallVBox) {
        qCritical() << ORV_LOG_LOADING "install virtualBox";
        reinstallVBox();
    }
    qInfo() << ORV_LOG_LOADING "check update ok";
    return true;
}

int LoadingControl::collectSystemInfo()
{
    if (appQuittingFlag)
        return ErrorCode::Success;
    const int code = checkInstallPath();
    if (code != ErrorCode::Success)
        return code;

    progressStep(1);
    Global::initSystemInfo();
    resolveStreamMode();
    if (appQuittingFlag)
        return ErrorCode::Success;

    progressStep(1);
    DataReportEngine::report(ReportEvent::StartUpInfo, QStringLiteral("index"),
                             CommandLine::pkgname.isEmpty() ? QStringLiteral("0") : QStringLiteral("1"));
    const SystemInfo &info = Global::systemInfo;
    DataReportEngine::sysMsg(QStringLiteral("vt"),
                             info.vtSupported ? QStringLiteral("2") : QStringLiteral("1"));
    DataReportEngine::sysMsg(QStringLiteral("GPU"), info.openglVersion);
    DataReportEngine::sysMsg(QStringLiteral("RAM"), QString::number(info.memoryMB));
    DataReportEngine::sysMsg(QStringLiteral("graphics"), info.renderer);
    DataReportEngine::sysMsg(QStringLiteral("systemVer"),
                             info.windowsName +
                                 (info.is64Bit ? QStringLiteral(" x64") : QStringLiteral(" x86")));
    return ErrorCode::Success;
}

int LoadingControl::checkInstallPath()
{
    static const QRegExp cjk(QStringLiteral("[\\x4e00-\\x9fa5]+"), Qt::CaseSensitive);
    return cjk.indexIn(QDir::currentPath()) >= 0 ? ErrorCode::PathHasCjk : ErrorCode::Success;
}

void LoadingControl::resolveStreamMode()
{
    QString mode = CommandLine::stream.isEmpty() ? QStringLiteral("speed") : CommandLine::stream;
    if (mode != QLatin1String("pipe"))
        mode = QStringLiteral("speed");
    Global::streamMode = mode;
}

void LoadingControl::parseCheckResults(QString text)
{
    // The record map that the check dialog updates and the dialog dispatcher reports.
    CheckResults::recordInitial(text);
}

bool LoadingControl::handleStartError(int code)
{
    qInfo() << ORV_LOG_LOADING "machine step failed with" << code;
    // Once the quit has begun, neither a reinstall nor a dialog: the start-up just ends.
    if (appQuittingFlag)
        return false;
    const QString &error = Global::lastErrorCode;
    if (error.contains(QLatin1String("Unknown CPU"))) {
        requestDialog(QString::number(ErrorCode::ConflictingSoftware), DialogType::ErrorCode);
        return false;
    }
    const double progress = startupProgress.load();
    if (progress < kReinstallProgressLimit && (error.contains(QLatin1String("VirtualBox COM server")) ||
                                               error.contains(QLatin1String("kernel driver")) ||
                                               error.contains(QLatin1String("with exit code 1")))) {
        qInfo().noquote() << "StartUpControl : last err is " + error;
        qInfo() << "StartUpControl : try start up twice";
        emit scheduleChanged(static_cast<int>(progress), static_cast<int>(kReinstallProgressLimit));
        startupProgress.store(kReinstallProgressLimit);
        reinstallVBox();
        return true;
    }
    writeErrorLog();
    requestDialog(QString(), DialogType::VBoxError);
    return false;
}

void LoadingControl::reinstallVBox()
{
    qDebug() << ORV_LOG_LOADING "install vbox";
    Updater::run(QString::fromLatin1(Updater::kResetVBox), TimeoutScale::ms(Updater::kResetVBoxWaitMs));
    Global::installInfo.vboxPath = Global::installInfo.installDir + QStringLiteral("/OrvantaVM/vbox");
    VBoxTool::instance().checkVBoxPath();
}

QString LoadingControl::fillPlaceholders(const QString &format, const QStringList &values)
{
    QString out;
    out.reserve(format.size() + 64);
    const int n = values.size();
    for (int i = 0; i < format.size(); ++i) {
        const QChar c = format.at(i);
        if (c != QLatin1Char('%') || i + 1 >= format.size() || !format.at(i + 1).isDigit()) {
            out += c;
            continue;
        }
        int number = format.at(i + 1).digitValue();
        int length = 2;
        if (i + 2 < format.size() && format.at(i + 2).isDigit()) {
            const int two = number * 10 + format.at(i + 2).digitValue();
            if (two <= n) {
                number = two;
                length = 3;
            }
        }
        if (number >= 1 && number <= n) {
            out += values.at(number - 1);
            i += length - 1;
        } else {
            out += c;
        }
    }
    return out;
}

QString LoadingControl::systemText() const
{
    const SystemInfo &info = Global::systemInfo;
    const auto yesNo = [](bool value) { return value ? QStringLiteral("yes") : QStringLiteral("no"); };
    return fillPlaceholders(
        QStringLiteral(
            "version: %1\r\nbit: %2\r\nvt: %3\r\nstartWithVt: %4\r\nmemory: %5\r\ncpuNum: %6\r\n"
            "cpu: %7\r\noglVersion: %8\r\ncurGraphics: %9\r\nrenderMode: %10\r\nwinVersion: %11\r\n"),
        {Global::installInfo.productVersion, info.is64Bit ? QStringLiteral("64") : QStringLiteral("32"),
         yesNo(info.vtSupported), yesNo(info.startWithVt), QString::number(info.memoryMB) + QLatin1Char('M'),
         QString::number(info.hostCpuCount), info.cpuName, info.openglVersion, info.renderer,
         SettingModel::instance()->performance()->renderMode(),
         info.windowsName + QLatin1Char(' ') + info.windowsBuild});
}

QString LoadingControl::errorLogText() const
{
    return fillPlaceholders(
        QStringLiteral(" [err]\r\n%1\r\n [sys]\r\n%2\r\n [setting]\r\n%3\r\n [host]\r\n%4\r\n"),
        {Global::lastErrorCode, systemText(), SettingModel::instance()->settingsText(),
         VBoxTool::instance().vmInfoText()});
}

void LoadingControl::writeErrorLog()
{
    emit uploadCrashOrErrorLog(QStringLiteral("ERRORLOG"), errorLogText());
}
