#include "programrun.h"

#include "installtree.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

#include <functional>
#include <signal.h>

bool waitUntil(const std::function<bool()> &condition, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        if (condition())
            return true;
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(10);
    }
}

ProgramRun::ProgramRun(const InstallTree &tree, const QString &program, const QStringList &args)
    : m_tree(tree),
      m_program(program.startsWith(QLatin1Char('/')) ? program
                                                     : tree.playerDir() + QLatin1Char('/') + program),
      m_args(args)
{
    m_process.setProcessEnvironment(tree.environment());
    m_process.setWorkingDirectory(tree.root());
    m_process.setProcessChannelMode(QProcess::MergedChannels);
}

ProgramRun::~ProgramRun()
{
    if (isRunning())
        terminate();
}

bool ProgramRun::start(int timeoutMs)
{
    m_process.start(m_program, m_args);
    return m_process.waitForStarted(timeoutMs);
}

int ProgramRun::run(int timeoutMs)
{
    if (!start())
        return -1;
    if (!waitForFinished(timeoutMs))
        return -1;
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

bool ProgramRun::waitForFinished(int timeoutMs)
{
    if (!isRunning())
        return true;
    const bool done = m_process.waitForFinished(timeoutMs);
    output();
    return done;
}

QString ProgramRun::output()
{
    m_output += m_process.readAll();
    return QString::fromUtf8(m_output);
}

bool ProgramRun::waitForText(const QString &text, int timeoutMs)
{
    return waitUntil(
        [&] {
            if (isRunning())
                m_process.waitForReadyRead(10);
            return output().contains(text) || m_tree.logText().contains(text);
        },
        timeoutMs);
}

bool ProgramRun::waitForOutput(const QString &text, int timeoutMs)
{
    return waitUntil(
        [&] {
            if (isRunning())
                m_process.waitForReadyRead(10);
            return output().contains(text);
        },
        timeoutMs);
}

void ProgramRun::killHard()
{
    if (isRunning()) {
        ::kill(static_cast<pid_t>(pid()), SIGKILL);
        m_process.waitForFinished(5000);
    }
}

void ProgramRun::terminate()
{
    if (!isRunning())
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}
