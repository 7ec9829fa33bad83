#include "updater.h"

#include <QCoreApplication>
#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char **environ;

namespace Updater {

QString programPath()
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + QLatin1String(kProgramName);
}

namespace {

// Collects the child's status once it ends, so that no zombie is left behind.
void reapLater(pid_t pid)
{
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

pid_t spawnUpdater(const QString &word)
{
    const QByteArray program = QFile::encodeName(programPath());
    const QByteArray argument = word.toLocal8Bit();
    char *argv[] = {const_cast<char *>(program.constData()), const_cast<char *>(argument.constData()),
                    nullptr};
    qInfo().noquote() << "Updater    : no elevation on this platform, starting " + programPath() + " " + word;
    pid_t pid = 0;
    const int error = posix_spawn(&pid, program.constData(), nullptr, nullptr, argv, environ);
    if (error != 0) {
        qWarning().noquote() << "Updater    : cannot start " + programPath() + ": " +
                                    QString::fromLocal8Bit(std::strerror(error));
        return 0;
    }
    return pid;
}

} // namespace

int run(const QString &word, int timeoutMs)
{
    const pid_t pid = spawnUpdater(word);
    if (pid == 0)
        return 0;
    QElapsedTimer clock;
    clock.start();
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            return -1;
        if (clock.elapsed() >= timeoutMs) {
            qWarning() << "Updater    : no answer within" << timeoutMs << "ms, it runs on";
            reapLater(pid);
            return -1;
        }
        QThread::msleep(10);
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    qWarning() << "Updater    : ended by signal" << WTERMSIG(status) << ", counted as no answer";
    return -1;
}

void start(const QString &word)
{
    const pid_t pid = spawnUpdater(word);
    if (pid != 0)
        reapLater(pid);
}

StartCheckDecision decideStartCheck(int code, const QString &productVersion)
{
    StartCheckDecision decision;
    if (code == -1)
        return decision;
    if (productVersion >= QLatin1String("1.4.0")) {
        if (code & NewVersion) {
            decision.prompt = StartCheckDecision::UpdatePrompt;
        } else if (code & NewVersionClearData) {
            decision.prompt = StartCheckDecision::UpdatePromptClearData;
        } else if (code & FilesMissing) {
            decision.prompt = StartCheckDecision::FileMissing;
            decision.goOn = false;
            return decision;
        }
    }
    decision.reinstallVBox = (code & ReinstallVBox) != 0;
    return decision;
}

} // namespace Updater
