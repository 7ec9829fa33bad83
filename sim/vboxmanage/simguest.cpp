#include "simguest.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QThread>

#include <cerrno>
#include <csignal>

namespace {

// How long a stop waits for the guest to go (its ports are free then).
constexpr int kStopWaitMs = 3000;
constexpr int kStopPollMs = 10;
// How long a start waits for the guest to be up (its pid file written), as the real tool returns from a
// start only once the machine's process runs.
constexpr int kStartWaitMs = 10000;

QString findGuest()
{
    const QString beside =
        QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(SimGuest::kProgram);
    if (QFileInfo(beside).isExecutable())
        return beside;
    return QStandardPaths::findExecutable(QLatin1String(SimGuest::kProgram));
}

// True while `pid` is a live guest process (a finished one, even unreaped, no longer counts).
bool isGuestProcess(qint64 pid)
{
    const QString exe = QFile::symLinkTarget(QStringLiteral("/proc/%1/exe").arg(pid));
    return QFileInfo(exe).fileName() == QLatin1String(SimGuest::kProgram);
}

// True while `pid` names a process that has not ended (whatever program it runs yet).
bool isAlive(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    const QByteArray text = stat.readAll();
    const int close = text.lastIndexOf(')');
    const char state = close >= 0 && close + 2 < text.size() ? text.at(close + 2) : 0;
    return state != 0 && state != 'Z' && state != 'X';
}

// The guest's pid from its pid file, when that process is alive and really the guest.
qint64 runningGuest(const QString &dir)
{
    QFile file(dir + QStringLiteral("/guest.pid"));
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    bool ok = false;
    const qint64 pid = file.readAll().trimmed().toLongLong(&ok);
    if (!ok || pid <= 0)
        return 0;
    // Never signal a process that merely reuses the number.
    return isGuestProcess(pid) ? pid : 0;
}

} // namespace

namespace SimGuest {

QString folder(const QString &stateDir, const QString &name)
{
    return stateDir + QStringLiteral("/guests/") + name;
}

void start(const QString &machineFile, const QString &dir, const QString &name, const QString &uuid)
{
    stop(dir);
    const QString program = findGuest();
    if (program.isEmpty())
        return;
    QDir().mkpath(dir);
    QProcess guest;
    guest.setProgram(program);
    guest.setArguments({QStringLiteral("--comment"), name, QStringLiteral("--startvm"), uuid,
                        QStringLiteral("--machine-file"), machineFile, QStringLiteral("--dir"), dir});
    // Its output goes beside its folder, not into it: an open file inside would keep the folder alive
    // after a removal, and the guest would never notice that its machine is gone.
    const QString output = dir + QStringLiteral(".out");
    guest.setStandardOutputFile(output, QIODevice::Append);
    guest.setStandardErrorFile(output, QIODevice::Append);
    qint64 pid = 0;
    if (!guest.startDetached(&pid) || pid <= 0)
        return;
    // Until the guest has said it runs, or has ended: a power-off right after the start must find the
    // process it stops, or the guest would live on and keep the machine's ports.
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < kStartWaitMs && runningGuest(dir) != pid && isAlive(pid))
        QThread::msleep(kStopPollMs);
}

void movePorts(const QString &dir, int vinputPort, int pavixPort)
{
    if (runningGuest(dir) <= 0)
        return;
    QByteArray text;
    if (vinputPort > 0)
        text += "vinput=" + QByteArray::number(vinputPort) + '\n';
    if (pavixPort > 0)
        text += "pavix=" + QByteArray::number(pavixPort) + '\n';
    QFile request(dir + QStringLiteral("/.ports.tmp"));
    if (request.open(QIODevice::WriteOnly) && request.write(text) == text.size()) {
        request.close();
        QFile::rename(request.fileName(), dir + QStringLiteral("/ports"));
    }
}

void stop(const QString &dir)
{
    const qint64 pid = runningGuest(dir);
    if (pid <= 0)
        return;
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    QElapsedTimer timer;
    timer.start();
    // Until the process itself is gone (its pid file goes a moment before its ports do).
    while (timer.elapsed() < kStopWaitMs && isGuestProcess(pid))
        QThread::msleep(kStopPollMs);
}

} // namespace SimGuest
