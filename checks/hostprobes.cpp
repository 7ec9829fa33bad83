#include "hostprobes.h"

#include "global.h"
#include "programs.h"

#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>
#include <QThread>

#include <cerrno>
#include <cstring>
#include <spawn.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <thread>
#include <vector>

extern char **environ;

bool isWindows64Bit()
{
    return QSysInfo::currentCpuArchitecture().contains(QLatin1String("64"));
}

quint64 driveFreeBytes()
{
    const QString root =
        Global::systemInfo.driveRoot.isEmpty() ? QDir::currentPath() : Global::systemInfo.driveRoot;
    // Asked of the path itself: the mount table is missing or foreign in containers and chroots.
    struct statvfs info = {};
    const QByteArray path = QFile::encodeName(root);
    int result;
    do {
        result = statvfs(path.constData(), &info);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        qDebug() << "ERROR: Call to GetDiskFreeSpaceEx() failed." << strerror(errno);
        return 0;
    }
    // The space an unprivileged user may fill.
    return static_cast<quint64>(info.f_bavail) * static_cast<quint64>(info.f_frsize);
}

bool hasSpaceForFile(const QString &path)
{
    const quint64 freeBytes = driveFreeBytes();
    if (freeBytes == 0)
        return true;
    const quint64 size = static_cast<quint64>(QFileInfo(path).size());
    return size * 4 < freeBytes;
}

bool hasHotfixKB3033929()
{
    qDebug() << "hotfix KB3033929 does not apply on this host: counted as installed";
    return true;
}

namespace {

// Reaps a child that outlived its wait, so that it leaves no zombie behind once it ends.
void reapLater(pid_t pid)
{
    std::thread([pid] {
        int status = 0;
        while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
    }).detach();
}

} // namespace

int runElevated(const QString &file, const QStringList &args, QString workingFolder, int timeoutMs,
                bool *endedBySignal)
{
    if (endedBySignal)
        *endedBySignal = false;
    QString program = file;
    if (!program.contains(QLatin1Char('/')))
        program = Platform::findProgram(file);
    qInfo() << "no elevation on this platform, starting normally:" << file << args.join(QLatin1Char(' '));
    if (program.isEmpty()) {
        qDebug() << "runElevated: program not found:" << file;
        return 0;
    }

    std::vector<QByteArray> storage;
    storage.push_back(QFile::encodeName(program));
    for (const QString &arg : args)
        storage.push_back(arg.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &item : storage)
        argv.push_back(item.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const QByteArray folder = QFile::encodeName(workingFolder);
    if (!workingFolder.isEmpty())
        posix_spawn_file_actions_addchdir_np(&actions, folder.constData());
    pid_t pid = 0;
    const int spawnError =
        posix_spawn(&pid, storage.front().constData(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawnError != 0) {
        qDebug() << "runElevated: cannot start" << program << ":" << strerror(spawnError);
        return 0;
    }

    if (timeoutMs <= 0) {
        reapLater(pid);
        return 0;
    }

    QElapsedTimer clock;
    clock.start();
    int status = 0;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0 && errno != EINTR)
            return 0;
        if (clock.elapsed() >= timeoutMs) {
            reapLater(pid);
            return -1;
        }
        QThread::msleep(10);
    }
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    // Ended by a signal: reported as the shell does, so that it is never mistaken for a time-out.
    if (endedBySignal)
        *endedBySignal = true;
    return 128 + WTERMSIG(status);
}
