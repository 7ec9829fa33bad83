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
    if (folder.isEmpty())
        qCritical() << kTag << "cannot make the copy folder: no temporary folder";
    if (folder.isEmpty() || !preparePrivateFolder(folder)) {
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
