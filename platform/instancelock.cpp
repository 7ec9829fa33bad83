#include "instancelock.h"

#include "paths.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Open-file-description locks: owned by the open file like flock(), so two objects of one process
// exclude each other too, and unlike flock() they can be tested without being taken.
struct flock wholeFileLock(short type)
{
    struct flock lock = {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    lock.l_pid = 0;
    return lock;
}

} // namespace

QString InstanceLock::pathFor(const QString &name)
{
    const QString dir = Platform::privateRuntimeDir();
    if (dir.isEmpty())
        return QString();
    // The name may hold any character; the file is named by its hash.
    const QByteArray hash = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex();
    return dir + QStringLiteral("/instance-") + QString::fromLatin1(hash) + QStringLiteral(".lock");
}

InstanceLock::InstanceLock(const QString &name) : m_path(pathFor(name)) {}

InstanceLock::~InstanceLock()
{
    unlock();
}

bool InstanceLock::tryLock()
{
    if (m_fd >= 0)
        return true;
    if (m_path.isEmpty())
        return false;
    const int fd =
        ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    struct stat info;
    struct flock lock = wholeFileLock(F_WRLCK);
    if (::fstat(fd, &info) != 0 || info.st_uid != ::geteuid() || ::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        ::close(fd);
        return false;
    }
    m_fd = fd;
    return true;
}

bool InstanceLock::tryLock(int timeoutMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!tryLock()) {
        if (clock.elapsed() >= timeoutMs)
            return false;
        QThread::msleep(20);
    }
    return true;
}

void InstanceLock::unlock()
{
    if (m_fd < 0)
        return;
    struct flock lock = wholeFileLock(F_UNLCK);
    ::fcntl(m_fd, F_OFD_SETLK, &lock);
    ::close(m_fd);
    m_fd = -1;
}

bool InstanceLock::isHeld(const QString &name)
{
    const QString path = pathFor(name);
    if (path.isEmpty())
        return false;
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false; // never taken since the folder was made
    // A test for a write lock needs no write access; it reports any conflicting holder.
    struct flock lock = wholeFileLock(F_WRLCK);
    const bool held = ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

QString InstanceLock::foreignLockProblem(const QString &name)
{
    const QString path = pathFor(name);
    struct stat info;
    if (path.isEmpty() || ::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return QString();
    if (info.st_uid != ::geteuid())
        return QStringLiteral("the instance lock %1 belongs to another user (uid %2)")
            .arg(path)
            .arg(info.st_uid);
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("the instance lock %1 is not a plain file").arg(path);
    return QString();
}
