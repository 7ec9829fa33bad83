#include "instancelock.h"

#include "paths.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

InstanceLock::InstanceLock(const QString &name)
{
    // The name may hold any character; the file is named by its hash.
    const QByteArray hash = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex();
    m_path = Platform::runtimeDir() + QStringLiteral("/instance-") + QString::fromLatin1(hash) +
             QStringLiteral(".lock");
}

InstanceLock::~InstanceLock()
{
    unlock();
}

bool InstanceLock::tryLock()
{
    if (m_fd >= 0)
        return true;
    const int fd = ::open(QFile::encodeName(m_path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        return false;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
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
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
    m_fd = -1;
}
