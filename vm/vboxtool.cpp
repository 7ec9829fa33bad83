#include "vboxtool.h"

#include "commandline.h"
#include "crashhandler.h"
#include "errorcodes.h"
#include "global.h"
#include "hardwareprobe.h"
#include "instancelock.h"
#include "logtags.h"
#include "machinename.h"
#include "paths.h"
#include "processrunner.h"
#include "sharedsegment.h"
#include "timeoutscale.h"
#include "vboxoutput.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdio>

namespace {

struct PublishedPaths
{
    QString vboxDir;
    QString toolPath;
    QString machineFolder;
};

QMutex &publishedPathsMutex()
{
    static QMutex mutex;
    return mutex;
}

PublishedPaths &publishedPathsStore()
{
    static PublishedPaths paths;
    return paths;
}

void publishPaths(const QString &vboxDir, const QString &toolPath, const QString &machineFolder)
{
    QMutexLocker locker(&publishedPathsMutex());
    publishedPathsStore() = {vboxDir, toolPath, machineFolder};
}

PublishedPaths publishedPaths()
{
    QMutexLocker locker(&publishedPathsMutex());
    return publishedPathsStore();
}

constexpr int kToolTimeoutSeconds = 120;
// The longest wait for another emulator's port choice: a start takes seconds, and the lock of one that
// died goes with it; only a hung one is passed by. Not scaled for tests: a short wait would let
// emulators choose side by side.
constexpr int kPortLockWaitMs = 120000;
constexpr int kOutputProgramTimeoutMs = 120000;
// How long a starting or quitting instance waits for the others before it goes on regardless.
constexpr int kOtherInstanceWaitMs = 120000;
constexpr int kOtherInstancePollMs = 1000;

VBoxTool::SystemMessageSink &systemMessageSink()
{
    static VBoxTool::SystemMessageSink sink;
    return sink;
}

void logExec(const QString &program, const QStringList &args)
{
    QDebug line = qDebug().noquote();
    line << QStringLiteral(ORV_LOG_VBOXTOOL "exec  ") + program + QStringLiteral("   arg  ");
    line.quote() << args;
}

} // namespace

VBoxTool::VBoxTool(QObject *parent) : QObject(parent) {}

VBoxTool &VBoxTool::instance()
{
    static VBoxTool tool;
    return tool;
}

void VBoxTool::setSystemMessageSink(SystemMessageSink sink)
{
    systemMessageSink() = std::move(sink);
}

// ---- the version rule ----

bool VBoxTool::usesOrvvmNames(const QString &productVersion)
{
    return productVersion >= QLatin1String("1.4.0");
}

QString VBoxTool::toolFileName(const QString &productVersion)
{
    return usesOrvvmNames(productVersion) ? QStringLiteral("OrvvmManage") : QStringLiteral("VBoxManage");
}

QString VBoxTool::serviceFileName(const QString &productVersion)
{
    return usesOrvvmNames(productVersion) ? QStringLiteral("OrvvmSVC") : QStringLiteral("VBoxSVC");
}

QString VBoxTool::errorPattern(const QString &productVersion)
{
    return toolFileName(productVersion) + QStringLiteral(": error");
}

// ---- the tool runner ----

void VBoxTool::initVBoxPath()
{
    const InstallInfo &install = Global::installInfo;
    if (!install.vboxPath.isEmpty()) {
        const QString toolPart = QLatin1Char('/') + toolFileName(install.productVersion);
        if (QFileInfo(install.vboxPath + toolPart).isFile()) {
            m_vboxDir = install.vboxPath;
            m_toolPath = m_vboxDir + toolPart;
            m_machineFolder = install.installDir + QStringLiteral("/vbox");
        } else {
            m_vboxDir.clear();
            m_toolPath.clear();
        }
        publishPaths(m_vboxDir, m_toolPath, m_machineFolder);
        // The crash handler hands the tool path to the cleaner without touching this object.
        Global::vboxToolPath = m_toolPath;
        CrashHandler::instance().refresh();
    }
    qInfo().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "path ") + m_vboxDir;
}

bool VBoxTool::adoptPublishedPaths()
{
    const PublishedPaths paths = publishedPaths();
    if (paths.toolPath.isEmpty())
        return false;
    m_vboxDir = paths.vboxDir;
    m_toolPath = paths.toolPath;
    m_machineFolder = paths.machineFolder;
    return true;
}

int VBoxTool::checkVBoxPath()
{
    qInfo() << ORV_LOG_VBOXTOOL "check vbox path";
    initVBoxPath();
    if (m_toolPath.isEmpty()) {
        // "filed" (sic): the line as the log filters of the support staff search for it.
        qCritical() << ORV_LOG_VBOXTOOL "setup filed";
        return ErrorCode::VBoxNotFound;
    }
    qInfo().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "check ok , path : ") + m_vboxDir;
    return ErrorCode::Success;
}

namespace {

// Runs `program` to its end or the time-out (it is killed then).
Platform::ProcessOutcome runTool(const QString &program, const QStringList &args, int timeoutMs)
{
    Platform::ProcessRequest request;
    request.program = program;
    request.arguments = args;
    request.timeoutMs = timeoutMs;
    return Platform::runProcess(request);
}

// The run ended by itself, with an exit code or by a signal (its output is handled alike).
bool ended(const Platform::ProcessOutcome &outcome)
{
    return outcome.result == Platform::ProcessResult::Finished ||
           outcome.result == Platform::ProcessResult::Crashed;
}

// Why a run did not end, in the words the error dialog shows.
QString failureText(const Platform::ProcessOutcome &outcome)
{
    if (outcome.result == Platform::ProcessResult::TimedOut)
        return QStringLiteral("Process operation timed out");
    return outcome.errorText;
}

// Hands both texts of an ended run to the caller (replacing the caller's strings) and logs the standard
// output. Returns the standard error.
QString takeOutput(const Platform::ProcessOutcome &outcome, QString *out, QString *err)
{
    const QString standardOutput = QString::fromLocal8Bit(outcome.standardOutput);
    const QString standardError = QString::fromLocal8Bit(outcome.standardError);
    if (out)
        *out = standardOutput;
    if (err)
        *err = standardError;
    if (!standardOutput.isEmpty())
        qDebug().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "exec return ") + standardOutput;
    return standardError;
}

} // namespace

int VBoxTool::exec(const QStringList &args, QString *out, QString *err, int timeoutSeconds)
{
    return execTool(args, out, err, timeoutSeconds, true);
}

int VBoxTool::execOnce(const QStringList &args, QString *out, QString *err)
{
    return execTool(args, out, err, kToolTimeoutSeconds, false);
}

int VBoxTool::execTool(const QStringList &args, QString *out, QString *err, int timeoutSeconds,
                       bool retryWithService)
{
    logExec(m_toolPath, args);
    Global::lastErrorCode = QLatin1String("");
    m_lastRunClean = false;
    m_lastRunTimedOut = false;
    const int waitMs = TimeoutScale::ms(timeoutSeconds * 1000);

    Platform::ProcessOutcome outcome = runTool(m_toolPath, args, waitMs);
    if (!ended(outcome) && !retryWithService) {
        qCritical().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "exec error  ") + failureText(outcome) +
                                     QStringLiteral("   ") + QString::number(qMax(outcome.exitCode, 0));
        Global::lastErrorCode = failureText(outcome);
        m_lastRunTimedOut = true;
        return ErrorCode::Timeout;
    }
    if (!ended(outcome)) {
        // The tool hangs (or did not start) when the VirtualBox service is not answering: start the
        // service once and try again. Without a known folder there is no service to start.
        if (m_vboxDir.isEmpty()) {
            qWarning() << ORV_LOG_VBOXTOOL "no VirtualBox folder, service not started";
        } else {
            Platform::ProcessRequest service;
            service.program =
                m_vboxDir + QLatin1Char('/') + serviceFileName(Global::installInfo.productVersion);
            Platform::startDetached(service);
        }
        logExec(m_toolPath, args);
        outcome = runTool(m_toolPath, args, waitMs);
        if (!ended(outcome)) {
            qCritical().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "exec error  ") + failureText(outcome) +
                                         QStringLiteral("   ") + QString::number(qMax(outcome.exitCode, 0));
            Global::lastErrorCode = failureText(outcome);
            m_lastRunTimedOut = true;
            return ErrorCode::Timeout;
        }
    }

    m_lastRunClean = outcome.result == Platform::ProcessResult::Finished && outcome.exitCode == 0;
    if (!m_lastRunClean)
        qWarning().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "exec ended with ") +
                                    (outcome.result == Platform::ProcessResult::Finished
                                         ? QStringLiteral("exit code ") + QString::number(outcome.exitCode)
                                         : QStringLiteral("a crash"));
    const QString standardError = takeOutput(outcome, out, err);
    if (!standardError.isEmpty() &&
        standardError.contains(errorPattern(Global::installInfo.productVersion))) {
        qCritical().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "exec error ") + standardError;
        Global::lastErrorCode = standardError;
        return 0;
    }
    return ErrorCode::Success;
}

int VBoxTool::execForOutput(const QString &program, const QStringList &args, QString *out, QString *err)
{
    logExec(program, args);
    const Platform::ProcessOutcome outcome =
        runTool(program, args, TimeoutScale::ms(kOutputProgramTimeoutMs));
    if (!ended(outcome)) {
        qCritical().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "exec return string ") +
                                     failureText(outcome);
        return outcome.exitCode == 1 ? ErrorCode::ProgramRunFailed : ErrorCode::Timeout;
    }
    const QString standardError = takeOutput(outcome, out, err);
    if (!standardError.isEmpty()) {
        qCritical().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "exec error ") + standardError;
        return 0;
    }
    return ErrorCode::Success;
}

void VBoxTool::hostMemorySize(int *limit, bool large)
{
    bool ok = false;
    int megabytes = m_hostInfo.value(QStringLiteral("Memory size")).toInt(&ok);
    if (!ok)
        megabytes = 0;
    *limit = static_cast<int>(megabytes * (large ? 0.8 : 0.2));
}

// ---- machine list, machine information, other instances, power ----

void VBoxTool::init()
{
    initHostInfo();
    initVmInfo();
    initGuestInfo();
    initExtradataInfo();
    scanUsedPorts();
    stopVM();
}

int VBoxTool::loadVmList()
{
    m_vmNames.clear();
    QString out;
    if (exec({QStringLiteral("list"), QStringLiteral("vms")}, &out, nullptr, kToolTimeoutSeconds) !=
        ErrorCode::Success)
        return ErrorCode::VmListOrDiskCopyFailed;
    // The list decides whether the machine is built anew: a run that did not end cleanly or an answer
    // that was cut off is no ground for that.
    if (!lastRunClean() || !VBoxOutput::isCompleteVmList(out)) {
        qCritical().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL
                                                "machine list incomplete, nothing decided on it");
        return ErrorCode::VmListOrDiskCopyFailed;
    }
    for (const VBoxOutput::VmListEntry &entry : VBoxOutput::parseVmList(out)) {
        if (entry.name == QLatin1String("<inaccessible>")) {
            // A machine whose settings cannot be read only blocks names: its registration goes, but its
            // files (the settings, their backup, the disks) stay for the user.
            qWarning().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "unregister inaccessible machine ") +
                                        entry.uuid + QStringLiteral(", its files are kept");
            exec({QStringLiteral("unregistervm"), entry.uuid}, nullptr, nullptr, kToolTimeoutSeconds);
        } else {
            m_vmNames.append(entry.name);
        }
    }
    return ErrorCode::Success;
}

int VBoxTool::listOrvantaVms(QStringList *names)
{
    names->clear();
    QString out;
    if (exec({QStringLiteral("list"), QStringLiteral("vms")}, &out, nullptr, kToolTimeoutSeconds) !=
        ErrorCode::Success)
        return ErrorCode::VmListOrDiskCopyFailed;
    for (const VBoxOutput::VmListEntry &entry : VBoxOutput::parseVmList(out)) {
        if (VBoxOutput::isOrvantaVmName(entry.name))
            names->append(entry.name);
    }
    return ErrorCode::Success;
}

int VBoxTool::initVmInfo()
{
    qInfo() << ORV_LOG_VBOXTOOL "init vm info";
    if (!m_vmNames.contains(Global::vmName))
        return ErrorCode::Success;
    QString out;
    m_vmInfoClean = false;
    if (exec({QStringLiteral("showvminfo"), Global::vmName, QStringLiteral("--machinereadable")}, &out,
             nullptr, kToolTimeoutSeconds) != ErrorCode::Success)
        return ErrorCode::VmInfoFailed;
    if (!lastRunClean() || !VBoxOutput::isCompleteMachineInfo(out)) {
        // An empty, cut-off or garbled answer says nothing about the machine: what was read before
        // stays, and the flag tells the callers that it was not confirmed now.
        qWarning().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL
                                               "machine information incomplete, the last reading is kept");
        return ErrorCode::VmInfoFailed;
    }
    m_vmInfoClean = true;
    takeVmInfo(out);
    qInfo().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "vbox current state is ") +
                             m_vmInfo.value(QStringLiteral("VMState"));
    qInfo() << ORV_LOG_VBOXTOOL "init vm info ok";
    return ErrorCode::Success;
}

void VBoxTool::takeVmInfo(const QString &text)
{
    m_vmInfoText = text;
    const VBoxOutput::MachineInfo info = VBoxOutput::parseMachineInfo(text);
    // The information replaces the previous reading: after the machine was re-created, keys of the old
    // machine (a shared folder it had, a disk slot) must not linger.
    m_vmInfo = info.values;
    // The rules describe the machine as it is now: a re-read replaces them, so that a retried start or a
    // re-created machine compares against what the machine really holds.
    m_forwardRules = info.forwardRules;
    m_forwardRuleNames = info.forwardRuleNames;
}

VBoxTool::QuitReading VBoxTool::readStateForQuit()
{
    // One run without the service restart and second wait: a tool that hangs now costs the quit one
    // time-out. The machine is asked for even when the machine list was never read (a quit early in the
    // start-up): a machine left running by an earlier process is stopped too.
    const QString &vm = Global::vmName;
    QString out;
    const int result =
        execOnce({QStringLiteral("showvminfo"), vm, QStringLiteral("--machinereadable")}, &out, nullptr);
    if (m_lastRunTimedOut)
        return QuitReading::NoAnswer;
    if (result != ErrorCode::Success) {
        if (Global::lastErrorCode.contains(QLatin1String("Could not find a registered machine")) &&
            Global::lastErrorCode.contains(QLatin1String("VBOX_E_OBJECT_NOT_FOUND")))
            return isGoneByTheLists() ? QuitReading::NotRegistered : QuitReading::Doubtful;
        return QuitReading::Doubtful;
    }
    if (!lastRunClean() || !VBoxOutput::isCompleteMachineInfo(out))
        return QuitReading::Doubtful;
    const VBoxOutput::MachineInfo info = VBoxOutput::parseMachineInfo(out);
    // The answer must be about this machine and say its state.
    if (info.values.value(QStringLiteral("name")) != vm ||
        info.values.value(QStringLiteral("VMState")).isEmpty())
        return QuitReading::Doubtful;
    m_vmInfoClean = true;
    takeVmInfo(out);
    qInfo().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "vbox current state is ") +
                             m_vmInfo.value(QStringLiteral("VMState"));
    return QuitReading::Whole;
}

bool VBoxTool::isGoneByTheLists()
{
    // One answer "not found" is not enough to leave a machine running: both lists must agree, read whole,
    // that no machine of this exact name is registered or runs.
    const QString &vm = Global::vmName;
    for (const char *kind : {"vms", "runningvms"}) {
        QString out;
        const int result = execOnce({QStringLiteral("list"), QLatin1String(kind)}, &out, nullptr);
        if (m_lastRunTimedOut || result != ErrorCode::Success || !lastRunClean()) {
            qInfo().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL
                                                "machine not found, but list %1 did not answer")
                                     .arg(QLatin1String(kind));
            return false;
        }
        for (const VBoxOutput::VmListEntry &entry : VBoxOutput::parseVmList(out)) {
            if (entry.name == vm) {
                qInfo().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL
                                                    "machine not found, but list %1 names it")
                                         .arg(QLatin1String(kind));
                return false;
            }
        }
    }
    return true;
}

void VBoxTool::setMachineFolder()
{
    qInfo().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "change vbox folder ") + m_machineFolder;
    exec({QStringLiteral("setproperty"), QStringLiteral("machinefolder"), m_machineFolder}, nullptr, nullptr,
         kToolTimeoutSeconds);
}

bool VBoxTool::isOtherInstanceBusy(QStringList names)
{
    for (const QString &name : qAsConst(names)) {
        if (name == Global::vmName)
            continue;
        // A segment whose owner is gone (killed mid-start, say) is a leftover, not a busy instance.
        if (!SharedSegment::hasLiveOwner(name))
            continue;
        const QString word = SharedSegment::peekText(name);
        if (word == QLatin1String(StatusWord::kStarting) || word == QLatin1String(StatusWord::kExiting))
            return true;
    }
    return false;
}

bool VBoxTool::checkOtherOrvStatus()
{
    qInfo() << ORV_LOG_VBOXTOOL "checkOtherOrvStatus";
    QStringList names;
    if (listOrvantaVms(&names) != ErrorCode::Success)
        return false;
    QElapsedTimer waited;
    waited.start();
    const int limitMs = TimeoutScale::ms(kOtherInstanceWaitMs);
    while (isOtherInstanceBusy(names)) {
        if (waited.elapsed() >= limitMs) {
            // A segment left behind by a process that died mid-start would hold us here for ever.
            qWarning() << ORV_LOG_VBOXTOOL
                "checkOtherOrvStatus gave up waiting for other instances after 120 s";
            return true;
        }
        Global::setStatus(QLatin1String(StatusWord::kStartWaiting));
        QThread::msleep(static_cast<unsigned long>(TimeoutScale::ms(kOtherInstancePollMs)));
        if (listOrvantaVms(&names) != ErrorCode::Success)
            return false;
    }
    return true;
}

int VBoxTool::stopVM()
{
    const QString state = m_vmInfo.value(QStringLiteral("VMState"));
    qDebug().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "stop vm, current state is ") + state;
    const QString &vm = Global::vmName;
    const auto powerOff = [&] {
        qInfo() << ORV_LOG_VBOXTOOL "poweroff vbox";
        return exec({QStringLiteral("controlvm"), vm, QStringLiteral("poweroff")}, nullptr, nullptr,
                    kToolTimeoutSeconds);
    };
    if (state.isEmpty())
        return ErrorCode::Success;
    if (state.contains(QLatin1String("saved"))) {
        qInfo() << ORV_LOG_VBOXTOOL "cur state is saved, discardstate it";
        return exec({QStringLiteral("discardstate"), vm}, nullptr, nullptr, kToolTimeoutSeconds);
    }
    if (state.contains(QLatin1String("aborted"))) {
        exec({QStringLiteral("startvm"), vm, QStringLiteral("--type"), QStringLiteral("headless")}, nullptr,
             nullptr, kToolTimeoutSeconds);
        return powerOff();
    }
    if (isRunningState(state))
        return powerOff();
    if (!state.contains(QLatin1String("poweroff"))) {
        qInfo() << ORV_LOG_VBOXTOOL "emergencystop vbox";
        return exec(
            {QStringLiteral("startvm"), vm, QStringLiteral("--type"), QStringLiteral("emergencystop")},
            nullptr, nullptr, kToolTimeoutSeconds);
    }
    return ErrorCode::Success;
}

bool VBoxTool::isRunningState(const QString &state)
{
    return state.contains(QLatin1String("running")) || state.contains(QLatin1String("paused")) ||
           state.contains(QLatin1String("stuck"));
}

bool VBoxTool::stopVMForQuit()
{
    const QString &vm = Global::vmName;
    const auto powerOffAnyway = [&] {
        qInfo() << ORV_LOG_VBOXTOOL "poweroff vbox";
        execOnce({QStringLiteral("controlvm"), vm, QStringLiteral("poweroff")}, nullptr, nullptr);
    };
    const auto state = [this] { return m_vmInfo.value(QStringLiteral("VMState")); };
    // At most two stops, each followed by a reading that must confirm it.
    constexpr int kStopRounds = 2;
    QuitReading reading = readStateForQuit();
    for (int round = 0;; ++round) {
        if (reading == QuitReading::NotRegistered) {
            qInfo() << ORV_LOG_VBOXTOOL "no machine registered, nothing to stop";
            return true;
        }
        if (reading == QuitReading::Whole && state().contains(QLatin1String("poweroff")))
            return true;
        if (reading == QuitReading::NoAnswer) {
            qCritical() << ORV_LOG_VBOXTOOL "machine state unknown at quit, the tool does not answer";
            // Nothing was done yet: the machine may run, so it is powered off anyway, unconfirmed.
            if (round == 0)
                powerOffAnyway();
            return false;
        }
        if (round == kStopRounds)
            break;
        if (reading == QuitReading::Whole) {
            stopVM();
        } else {
            // Information level: the log drops warnings once the quit has begun.
            qInfo() << ORV_LOG_VBOXTOOL "machine state unknown at quit, powering off anyway";
            powerOffAnyway();
        }
        reading = readStateForQuit();
    }
    qCritical().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL
                                            "machine not confirmed stopped at quit, state ") +
                                 (reading == QuitReading::Whole ? state() : QStringLiteral("unknown"));
    return false;
}

// ---- host, guest-property and extradata listings ----

int VBoxTool::initHostInfo()
{
    qInfo() << ORV_LOG_VBOXTOOL "init host info";
    QString out;
    if (exec({QStringLiteral("list"), QStringLiteral("hostinfo")}, &out, nullptr, kToolTimeoutSeconds) !=
        ErrorCode::Success)
        return ErrorCode::HostInfoFailed;
    const QHash<QString, QString> info = VBoxOutput::parseHostInfo(out);
    for (auto it = info.cbegin(); it != info.cend(); ++it)
        m_hostInfo.insert(it.key(), it.value());
    Global::systemInfo.cpuName = m_hostInfo.value(QStringLiteral("Processor#0 description"));
    if (systemMessageSink())
        systemMessageSink()(QStringLiteral("cpu"), Global::systemInfo.cpuName);
    qInfo() << ORV_LOG_VBOXTOOL "init host info ok";
    return ErrorCode::Success;
}

int VBoxTool::initGuestInfo()
{
    qInfo() << ORV_LOG_VBOXTOOL "init guest info";
    QString out;
    if (exec({QStringLiteral("guestproperty"), QStringLiteral("enumerate"), Global::vmName}, &out, nullptr,
             kToolTimeoutSeconds) != ErrorCode::Success)
        return ErrorCode::GuestPropertiesFailed;
    // Replaced, not merged: a property the machine no longer has must not count as in place.
    m_guestProperties = VBoxOutput::parseGuestProperties(out);
    qInfo() << ORV_LOG_VBOXTOOL "init guest info ok";
    return ErrorCode::Success;
}

int VBoxTool::initExtradataInfo()
{
    qInfo() << ORV_LOG_VBOXTOOL "init extradata info";
    QString out;
    if (exec({QStringLiteral("getextradata"), Global::vmName, QStringLiteral("enumerate")}, &out, nullptr,
             kToolTimeoutSeconds) != ErrorCode::Success)
        return ErrorCode::ExtradataFailed;
    m_extraData = VBoxOutput::parseExtraData(out);
    qInfo() << ORV_LOG_VBOXTOOL "init extradata info ok";
    return ErrorCode::Success;
}

// ---- host ports and NAT port forwarding ----

QSet<int> VBoxTool::ruleHostPorts(const QStringList &rules)
{
    QSet<int> ports;
    for (const QString &rule : rules) {
        bool ok = false;
        const int port = rule.section(QLatin1Char(','), 3, 3).trimmed().toInt(&ok);
        if (ok && port > 0)
            ports.insert(port);
    }
    return ports;
}

QSet<int> VBoxTool::otherMachinesPorts()
{
    // Ports that other machines forward are taken even while those machines are not running.
    QSet<int> ports;
    QString list;
    exec({QStringLiteral("list"), QStringLiteral("vms")}, &list, nullptr, kToolTimeoutSeconds);
    for (const VBoxOutput::VmListEntry &entry : VBoxOutput::parseVmList(list)) {
        if (entry.name == Global::vmName || entry.name == QLatin1String("<inaccessible>"))
            continue;
        QString out;
        if (exec({QStringLiteral("showvminfo"), entry.name, QStringLiteral("--machinereadable")}, &out,
                 nullptr, kToolTimeoutSeconds) == 1)
            ports.unite(ruleHostPorts(VBoxOutput::parseMachineInfo(out).forwardRules));
    }
    return ports;
}

QSet<int> VBoxTool::reservedPorts(const QString &folder, const QString &ownVm)
{
    // "<pid> <port> <port> ..." per machine; the reservation of a process that is gone counts no more.
    QSet<int> ports;
    const QFileInfoList files = QDir(folder).entryInfoList({QStringLiteral("*.ports")}, QDir::Files);
    for (const QFileInfo &info : files) {
        if (info.completeBaseName() == ownVm)
            continue;
        QFile file(info.absoluteFilePath());
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QStringList fields = QString::fromLatin1(file.readAll()).simplified().split(QLatin1Char(' '));
        bool ok = false;
        const qint64 pid = fields.value(0).toLongLong(&ok);
        if (!ok || pid <= 0 || (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM))
            continue;
        for (int i = 1; i < fields.size(); ++i) {
            const int port = fields.at(i).toInt(&ok);
            if (ok && port > 0)
                ports.insert(port);
        }
    }
    return ports;
}

void VBoxTool::scanUsedPorts()
{
    m_usedPorts.clear();
    QString reservationFolder;
    InstanceLock lock{programRuntimeKey(QString::fromLatin1(kPortLockName))};
    if (!CommandLine::tcp) {
        m_usedPorts = otherMachinesPorts();
        // Emulators starting side by side would otherwise all take the same ports: nothing listens on
        // them until the machines run. Under the lock each one chooses in turn and leaves its choice
        // where the next one looks, until its rules stand in its machine.
        if (!lock.tryLock(kPortLockWaitMs))
            qWarning() << ORV_LOG_VBOXTOOL "port lock not taken in time, choosing without it";
        QString problem;
        const QString runtime = Platform::privateRuntimeDir(&problem);
        if (runtime.isEmpty()) {
            qWarning().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL
                                                   "no private runtime folder, port choices not shared: ") +
                                        problem;
        } else {
            reservationFolder = runtime + QStringLiteral("/ports");
            QDir().mkpath(reservationFolder);
            m_usedPorts.unite(reservedPorts(reservationFolder, Global::vmName));
        }
    }
    for (const char *table : {"/net/tcp", "/net/tcp6"}) {
        QFile file(HardwareProbe::procRoot() + QLatin1String(table));
        // Read to the end rather than by size: the kernel's tables report a size of 0.
        if (file.open(QIODevice::ReadOnly | QIODevice::Text))
            m_usedPorts.unite(VBoxOutput::parseProcNetTcp(QString::fromLatin1(file.readAll())));
        else
            qDebug().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "cannot read ") + file.fileName();
    }
    qDebug() << ORV_LOG_VBOXTOOL "ports in use" << m_usedPorts.size();
    Global::assignPorts(m_usedPorts);
    if (reservationFolder.isEmpty())
        return;
    // Written whole under another name and renamed into place, so that a reader never sees half a
    // line. Not synced to disk: the reservation lives in the runtime folder only as long as this start
    // chooses, and a sync would hold up every start for nothing.
    const QString path = reservationFolder + QLatin1Char('/') + Global::vmName + QStringLiteral(".ports");
    QFile reservation(path + QStringLiteral(".new"));
    if (reservation.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        const QByteArray line = QStringLiteral("%1 %2 %3 %4 %5 %6\n")
                                    .arg(QCoreApplication::applicationPid())
                                    .arg(Global::openglPort, Global::vinputPort, Global::pavixPort,
                                         Global::adbPort, Global::yeltPort)
                                    .toLatin1();
        const bool written = reservation.write(line) == line.size();
        reservation.close();
        if (!written || ::rename(QFile::encodeName(reservation.fileName()).constData(),
                                 QFile::encodeName(path).constData()) != 0)
            QFile::remove(reservation.fileName());
    }
}

QString VBoxTool::forwardRule(const QString &name, const QString &hostPort, int guestPort)
{
    return QStringLiteral("%1,tcp,127.0.0.1,%2,10.0.2.15,%3").arg(name, hostPort, QString::number(guestPort));
}

int VBoxTool::initPort()
{
    qInfo() << ORV_LOG_VBOXTOOL "initPort";
    if (CommandLine::tcp)
        return ErrorCode::Success;
    const struct
    {
        const char *name;
        const QString &hostPort;
        int guestPort;
    } rules[] = {
        {"opengl", Global::openglPort, 22468}, {"vinput", Global::vinputPort, 22469},
        {"pavix", Global::pavixPort, 27000},   {"adb", Global::adbPort, 5555},
        {"yelt", Global::yeltPort, 12121},
    };
    for (const auto &rule : rules) {
        const QString name = QLatin1String(rule.name);
        const int code = setPortForward(name, forwardRule(name, rule.hostPort, rule.guestPort));
        if (code != ErrorCode::Success)
            return code;
    }
    qInfo() << ORV_LOG_VBOXTOOL "initPort ok";
    return ErrorCode::Success;
}

int VBoxTool::moveRunningForward(const QString &name, int guestPort, int fromPort)
{
    QSet<int> used = otherMachinesPorts();
    for (const QString &port :
         {Global::openglPort, Global::vinputPort, Global::pavixPort, Global::adbPort, Global::yeltPort})
        used.insert(port.toInt());
    QString problem;
    const QString runtime = Platform::privateRuntimeDir(&problem);
    if (!runtime.isEmpty())
        used.unite(reservedPorts(runtime + QStringLiteral("/ports"), Global::vmName));
    for (const char *table : {"/net/tcp", "/net/tcp6"}) {
        QFile file(HardwareProbe::procRoot() + QLatin1String(table));
        if (file.open(QIODevice::ReadOnly | QIODevice::Text))
            used.unite(VBoxOutput::parseProcNetTcp(QString::fromLatin1(file.readAll())));
    }
    int port = fromPort + 1;
    while (port < 65535 && used.contains(port))
        ++port;
    if (port >= 65535)
        return 0;
    const QString &vm = Global::vmName;
    exec({QStringLiteral("controlvm"), vm, QStringLiteral("natpf1"), QStringLiteral("delete"), name}, nullptr,
         nullptr, kToolTimeoutSeconds);
    if (exec({QStringLiteral("controlvm"), vm, QStringLiteral("natpf1"),
              forwardRule(name, QString::number(port), guestPort)},
             nullptr, nullptr, kToolTimeoutSeconds) != ErrorCode::Success)
        return 0;
    return port;
}

int VBoxTool::setPortForward(const QString &name, const QString &rule)
{
    if (m_forwardRules.contains(rule))
        return ErrorCode::Success;
    qDebug().noquote() << QStringLiteral(ORV_LOG_VBOXTOOL "modifyvm ") + name;
    const QString &vm = Global::vmName;
    if (m_forwardRuleNames.contains(name))
        exec({QStringLiteral("modifyvm"), vm, QStringLiteral("--natpf1"), QStringLiteral("delete"), name},
             nullptr, nullptr, kToolTimeoutSeconds);
    if (exec({QStringLiteral("modifyvm"), vm, QStringLiteral("--natpf1"), rule}, nullptr, nullptr,
             kToolTimeoutSeconds) != ErrorCode::Success)
        return ErrorCode::PortForwardFailed;
    return ErrorCode::Success;
}
