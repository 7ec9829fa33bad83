#include "uninstallguard.h"

#include "processes.h"
#include "processrunner.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace UninstallGuard {

namespace {

const char *const kTag = "UnInstall :";

// Why `folder` (an absolute path) could be changed by a user other than this one and root, or an empty
// text when it cannot. Every folder on the way down from "/" counts: whoever may rename or replace an
// entry of any of them can swap the folder below it, between our checks and the start of the program
// copied into it, for one of their own. A folder that others may write is safe only with the sticky
// bit (only an entry's owner may then rename or remove it). The path is walked as given and as the
// system resolves it, so that a link on the way is covered as well as the folder it leads to.
QString foreignFolderProblem(const QString &folder)
{
    const uid_t self = ::getuid();
    const auto walk = [self](const QString &path) -> QString {
        const QStringList parts = QDir::cleanPath(path).split(QLatin1Char('/'), Qt::SkipEmptyParts);
        QString prefix;
        for (int i = -1; i < parts.size(); ++i) {
            prefix = i < 0 ? QStringLiteral("/") : QDir::cleanPath(prefix + QLatin1Char('/') + parts.at(i));
            struct stat info = {};
            if (::stat(QFile::encodeName(prefix).constData(), &info) != 0)
                return QStringLiteral("%1 cannot be read: %2")
                    .arg(prefix, QString::fromLocal8Bit(::strerror(errno)));
            if (!S_ISDIR(info.st_mode))
                return QStringLiteral("%1 is not a folder").arg(prefix);
            if (info.st_uid != self && info.st_uid != 0)
                return QStringLiteral("%1 belongs to another user (uid %2)").arg(prefix).arg(info.st_uid);
            if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (info.st_mode & S_ISVTX) == 0)
                return QStringLiteral("%1 is writable by other users without the sticky bit (mode %2)")
                    .arg(prefix, QString::number(info.st_mode & 07777, 8));
        }
        return QString();
    };
    const QString given = walk(QDir(folder).absolutePath());
    if (!given.isEmpty())
        return given;
    const QString resolved = QFileInfo(folder).canonicalFilePath();
    if (resolved.isEmpty())
        return QStringLiteral("%1 cannot be resolved").arg(folder);
    return walk(resolved);
}

// Makes the private folder or checks the one that is there: a real folder (not a link), owned by this
// user, closed to everyone else. Anyone else able to write into it could swap the copy before it runs.
bool preparePrivateFolder(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info = {};
    if (::lstat(native.constData(), &info) != 0) {
        if (errno != ENOENT || ::mkdir(native.constData(), 0700) != 0) {
            qCritical() << kTag << "cannot make the copy folder" << path << ::strerror(errno);
            return false;
        }
        if (::lstat(native.constData(), &info) != 0)
            return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        qCritical() << kTag << "the copy folder is not a folder:" << path;
        return false;
    }
    if (info.st_uid != ::getuid()) {
        qCritical() << kTag << "the copy folder belongs to another user:" << path << info.st_uid;
        return false;
    }
    if ((info.st_mode & 077) != 0) {
        qCritical() << kTag << "the copy folder is open to other users:" << path
                    << QString::number(info.st_mode & 0777, 8);
        return false;
    }
    return true;
}

// Removes an earlier copy (a file, a link, anything under that name); true when nothing is left there.
bool removeOldCopy(const QString &path)
{
    const QByteArray native = QFile::encodeName(path);
    struct stat info = {};
    if (::lstat(native.constData(), &info) != 0)
        return errno == ENOENT;
    if (::unlink(native.constData()) != 0) {
        qCritical() << kTag << "cannot remove the earlier copy" << path << ::strerror(errno);
        return false;
    }
    qDebug() << kTag << "removed the earlier copy" << path;
    return true;
}

bool copyUpdater(const QString &source, const QString &copy)
{
    QFile input(source);
    if (!input.copy(copy)) {
        qCritical() << kTag << "cannot copy" << source << "to" << copy << input.errorString();
        QFile::remove(copy);
        return false;
    }
    if (QFileInfo(copy).size() != QFileInfo(source).size() ||
        !QFile::setPermissions(copy,
                               QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner)) {
        qCritical() << kTag << "the copy" << copy << "is incomplete";
        QFile::remove(copy);
        return false;
    }
    return true;
}

} // namespace

QList<qint64> findProcessThreads(const QString &name)
{
    QList<qint64> threads;
    for (qint64 pid : Processes::findByName(name))
        threads += Processes::threadIds(pid);
    return threads;
}

QString installationRoot(const QString &programDir)
{
    return QDir::cleanPath(QDir(programDir).absoluteFilePath(QStringLiteral("../..")));
}

QString copyFolder()
{
    // Qt answers an empty path for a temporary folder that does not exist; "/" must not stand in.
    const QString temp = QDir::tempPath();
    if (temp.isEmpty() || !QFileInfo(temp).isDir())
        return QString();
    return temp + QLatin1Char('/') + QLatin1String(kCopyFolderPrefix) + QString::number(::getuid());
}

Outcome startUninstall(const QString &programDir)
{
    const QString source = QDir(programDir).filePath(QLatin1String(kUpdaterProgram));
    if (!QFileInfo(source).isFile()) {
        qCritical() << kTag << "no updater at" << source << "; the uninstall is not started";
        return Outcome::SourceMissing;
    }
    const QString folder = copyFolder();
    if (folder.isEmpty()) {
        qCritical() << kTag << "cannot make the copy folder: no temporary folder";
        qCritical() << kTag << "the uninstall is not started";
        return Outcome::FolderRefused;
    }
    const QString problem = foreignFolderProblem(QFileInfo(folder).absolutePath());
    if (!problem.isEmpty()) {
        qCritical().noquote() << kTag
                              << "the temporary folder is not safe for the updater's copy:" << problem;
        qCritical() << kTag << "the uninstall is not started";
        return Outcome::FolderRefused;
    }
    if (!preparePrivateFolder(folder)) {
        qCritical() << kTag << "the uninstall is not started";
        return Outcome::FolderRefused;
    }
    const QString copy = folder + QLatin1Char('/') + QLatin1String(kUpdaterProgram);
    if (!removeOldCopy(copy)) {
        qCritical() << kTag << "the uninstall is not started";
        return Outcome::OldCopyNotRemoved;
    }
    if (!copyUpdater(source, copy)) {
        qCritical() << kTag << "the uninstall is not started";
        return Outcome::CopyFailed;
    }

    const QStringList arguments{QLatin1String(kUninstallWord), installationRoot(programDir)};
    // The updater asks for administrator rights on other systems; there is no elevation here.
    qInfo() << kTag << "no elevation on this system; starting" << copy << arguments << "as this user";
    Platform::ProcessRequest request;
    request.program = copy;
    request.arguments = arguments;
    const Platform::ProcessOutcome outcome = Platform::startDetached(request);
    if (outcome.result != Platform::ProcessResult::Started) {
        qCritical() << kTag << "cannot start" << copy << outcome.errorText;
        return Outcome::StartFailed;
    }
    return Outcome::Started;
}

} // namespace UninstallGuard
