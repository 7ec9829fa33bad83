#include "hostprobes.h"

#include "global.h"
#include "processrunner.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSysInfo>

#include <cerrno>
#include <cstring>
#include <sys/statvfs.h>

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

int runElevated(const QString &file, const QStringList &args, QString workingFolder, int timeoutMs,
                bool *endedBySignal)
{
    if (endedBySignal)
        *endedBySignal = false;
    qInfo() << "no elevation on this platform, starting normally:" << file << args.join(QLatin1Char(' '));

    Platform::ProcessRequest request;
    request.program = file;
    request.arguments = args;
    request.workingFolder = workingFolder;
    request.timeoutMs = timeoutMs;
    // A program that does not answer in time runs on; its output is this program's.
    request.killOnTimeout = false;
    request.captureOutput = false;
    const Platform::ProcessOutcome outcome =
        timeoutMs <= 0 ? Platform::startDetached(request) : Platform::runProcess(request);
    switch (outcome.result) {
    case Platform::ProcessResult::FailedToStart:
        qDebug().noquote() << QStringLiteral("runElevated: ") + outcome.errorText;
        return 0;
    case Platform::ProcessResult::Started:
        return 0;
    case Platform::ProcessResult::TimedOut:
        return -1;
    case Platform::ProcessResult::Finished:
        return outcome.exitCode;
    case Platform::ProcessResult::Crashed:
        break;
    }
    // Ended by a signal: reported as the shell does, so that it is never mistaken for a time-out.
    if (endedBySignal)
        *endedBySignal = true;
    return 128 + outcome.signal;
}
