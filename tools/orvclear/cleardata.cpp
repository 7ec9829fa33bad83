#include "cleardata.h"

#include "machinename.h"
#include "processes.h"
#include "processrunner.h"
#include "timeoutscale.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDebug>
#include <QThread>

namespace {

const char *const kTag = "ClearData :";
constexpr unsigned long kWaitStepMs = 1000;

} // namespace

void ClearData::parse(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption vm(QStringLiteral("vm"), QString(), QStringLiteral("vm"));
    const QCommandLineOption vp(QStringLiteral("vp"), QString(), QStringLiteral("vp"));
    const QCommandLineOption pid(QStringLiteral("pid"), QString(), QStringLiteral("pid"));
    const QCommandLineOption to(QStringLiteral("to"), QString(), QStringLiteral("to"),
                                QString::number(kDefaultWaits));
    parser.addOptions({vm, vp, pid, to});
    parser.process(arguments);

    m_vm = parser.value(vm);
    m_vp = parser.value(vp);
    m_pid = parser.value(pid);
    m_to = parser.value(to).toInt(); // 0 when not a decimal number
}

int ClearData::exec(const QString &program, const QStringList &arguments, QString *output)
{
    qDebug() << kTag << "exec  " << program << "   arg  " << arguments;
    Platform::ProcessRequest request;
    request.program = program;
    request.arguments = arguments;
    request.timeoutMs = TimeoutScale::ms(kExecTimeoutMs);
    const Platform::ProcessOutcome outcome = Platform::runProcess(request);
    // Ended within the time, by itself or by a signal: finished. Otherwise it has been killed.
    if (outcome.result != Platform::ProcessResult::Finished &&
        outcome.result != Platform::ProcessResult::Crashed) {
        qDebug() << kTag << "exec " << program << Platform::processResultName(outcome.result)
                 << outcome.errorText;
        return 1;
    }
    const QString text = QString::fromLocal8Bit(outcome.standardOutput);
    if (output) {
        *output = text;
        qDebug().noquote() << QLatin1String(kTag) + QStringLiteral(" output ") + text;
    }
    return 0;
}

qint64 ClearData::processId() const
{
    // Only plain decimal digits name one process: "0", "-1" or "+5" would reach a process group or
    // every process through kill(), and an id beyond the range of pid_t would be cut down to another
    // process's id.
    for (const QChar c : m_pid) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
    }
    bool ok = false;
    const qint64 id = m_pid.toLongLong(&ok);
    return ok && Processes::isProcessId(id) ? id : -1;
}

bool ClearData::processGone() const
{
    if (m_pid.isEmpty())
        return true;
    const qint64 id = processId();
    return id < 0 || !isEmulator(id);
}

bool ClearData::isEmulator(qint64 id) const
{
    // The emulator is started from the cleaner's own folder; a removed program file counts only there.
    return Processes::runsProgramFile(id, QLatin1String(kEmulatorProgram),
                                      QCoreApplication::applicationDirPath());
}

void ClearData::powerOffMachine()
{
    QString output;
    if (exec(m_vp, {QStringLiteral("list"), QStringLiteral("runningvms")}, &output) != 0)
        return;
    // A plain text search, as the list is printed: a longer name that contains this one also
    // matches, and the tool then refuses the power-off of a machine that does not run.
    if (!output.contains(m_vm)) {
        qDebug() << kTag << "machine not running:" << m_vm;
        return;
    }
    exec(m_vp, {QStringLiteral("controlvm"), m_vm, QStringLiteral("poweroff")}, &output);
}

void ClearData::endProcess()
{
    const qint64 id = processId();
    if (id < 0 || !isEmulator(id)) {
        qDebug() << kTag << "process" << m_pid
                 << "is gone or runs another program; nothing ended; its program:"
                 << Processes::executableName(id);
        return;
    }
    const int ended = Processes::killTree(id);
    qDebug() << kTag << "ended process" << m_pid << "and its children:" << ended << "processes";
}

int ClearData::run()
{
    qDebug() << kTag << "vm" << m_vm << "vp" << m_vp << "pid" << m_pid << "to" << m_to;
    // The name reaches the tool's command line; an empty one means "no machine".
    const QString nameProblem = m_vm.isEmpty() ? QString() : machineNameProblem(m_vm);
    if (!nameProblem.isEmpty()) {
        // The name itself is quoted and escaped: a line break in it must not start a log line.
        QDebug line = qCritical();
        line.noquote() << kTag << "refused:" << nameProblem;
        line.quote() << m_vm;
        return kExitRefused;
    }
    if (!m_pid.isEmpty() && processId() < 0) {
        QDebug line = qCritical();
        line.noquote() << kTag << "refused: not a process id from 1 to" << Processes::maxProcessId() << ":";
        line.quote() << m_pid;
        return kExitRefused;
    }

    if (!m_vm.isEmpty() && !m_vp.isEmpty())
        powerOffMachine();

    for (int i = 0; i < m_to; ++i) {
        if (processGone()) {
            qDebug() << kTag << "process" << m_pid << "is gone";
            return 0;
        }
        QThread::msleep(kWaitStepMs);
    }
    if (!m_pid.isEmpty())
        endProcess();
    return 0;
}
