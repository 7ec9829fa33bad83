#include "sharedsegment.h"

#include "paths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray shortHash(const QByteArray &data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Sha1).toHex().left(20);
}

// ", <name>" for a user id the system knows, else nothing.
QString userNameSuffix(uid_t uid)
{
    struct passwd entry;
    struct passwd *found = nullptr;
    char buffer[1024];
    if (::getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) != 0 || !found || !found->pw_name)
        return QString();
    return QStringLiteral(" ") + QString::fromLocal8Bit(found->pw_name);
}

QString systemError()
{
    return QString::fromLocal8Bit(strerror(errno));
}

} // namespace

SharedSegment::SharedSegment(const QString &key)
{
    setKey(key);
}

SharedSegment::~SharedSegment()
{
    detach();
    if (m_lockFd >= 0)
        ::close(m_lockFd);
}

QByteArray SharedSegment::objectName(const QString &key)
{
    const QString dir = Platform::privateRuntimeDir();
    if (dir.isEmpty())
        return QByteArray();
    return QFile::encodeName(dir) + "/segment-" + shortHash(key.toUtf8());
}

QString SharedSegment::foreignSegmentProblem(const QString &key)
{
    const QByteArray path = objectName(key);
    struct stat info;
    if (path.isEmpty() || ::lstat(path.constData(), &info) != 0)
        return QString();
    if (info.st_uid != ::geteuid())
        return QStringLiteral("the instance segment %1 belongs to another user (uid %2%3), left alone")
            .arg(QFile::decodeName(path))
            .arg(info.st_uid)
            .arg(userNameSuffix(info.st_uid));
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("the instance segment %1 is not a plain file, left alone")
            .arg(QFile::decodeName(path));
    return QString();
}

bool SharedSegment::hasLiveOwner(const QString &key)
{
    return InstanceLock::isHeld(key);
}

void SharedSegment::setKey(const QString &key)
{
    if (key == m_key && !key.isEmpty())
        return;
    detach();
    releaseOwnership();
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
    }
    m_key = key;
    m_name.clear();
    if (!key.isEmpty()) {
        m_name = objectName(key);
        if (m_name.isEmpty())
            Platform::privateRuntimeDir(&m_error);
    }
}

bool SharedSegment::map(int fd, int size)
{
    void *data = ::mmap(nullptr, static_cast<size_t>(size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    ::close(fd);
    if (data == MAP_FAILED) {
        m_error = systemError();
        return false;
    }
    m_data = static_cast<char *>(data);
    m_size = size;
    return true;
}

bool SharedSegment::attach()
{
    if (m_data)
        return true;
    if (m_name.isEmpty())
        return false;
    const int fd = ::open(m_name.constData(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        m_error = systemError();
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) {
        m_error = QStringLiteral("segment without content");
        ::close(fd);
        return false;
    }
    m_created = false;
    return map(fd, static_cast<int>(info.st_size));
}

bool SharedSegment::create(int size)
{
    if (m_data || m_name.isEmpty() || size <= 0)
        return false;
    const int fd = ::open(m_name.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        m_error = systemError();
        return false;
    }
    if (::ftruncate(fd, size) != 0) {
        m_error = systemError();
        ::close(fd);
        ::unlink(m_name.constData());
        return false;
    }
    struct stat info;
    if (::fstat(fd, &info) != 0) {
        m_error = systemError();
        ::close(fd);
        ::unlink(m_name.constData());
        return false;
    }
    if (!map(fd, size)) {
        ::unlink(m_name.constData());
        return false;
    }
    m_device = info.st_dev;
    m_inode = info.st_ino;
    m_created = true;
    return true;
}

bool SharedSegment::detach()
{
    if (!m_data)
        return false;
    ::munmap(m_data, static_cast<size_t>(m_size));
    m_data = nullptr;
    m_size = 0;
    // The creator takes the name with it, so that readers find no segment once the owner is gone, but
    // only while the name still stands for its own object.
    if (m_created) {
        struct stat info;
        if (::lstat(m_name.constData(), &info) == 0 && info.st_dev == m_device && info.st_ino == m_inode)
            ::unlink(m_name.constData());
    }
    m_created = false;
    return true;
}

void SharedSegment::remove()
{
    detach();
    if (!m_name.isEmpty())
        ::unlink(m_name.constData());
}

bool SharedSegment::lockContent()
{
    m_contentMutex.lock();
    if (m_lockFd < 0) {
        const QByteArray path = m_name + ".lock";
        if (!m_name.isEmpty())
            m_lockFd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    }
    // Without a lock file the in-process mutex still keeps this process's writers apart.
    if (m_lockFd >= 0) {
        while (::flock(m_lockFd, LOCK_EX) != 0 && errno == EINTR) {
        }
    }
    return true;
}

void SharedSegment::unlockContent()
{
    if (m_lockFd >= 0)
        ::flock(m_lockFd, LOCK_UN);
    m_contentMutex.unlock();
}

QByteArray SharedSegment::readBytes()
{
    if (!m_data)
        return QByteArray();
    lockContent();
    const QByteArray bytes(m_data, m_size);
    unlockContent();
    return bytes;
}

QString SharedSegment::readText()
{
    if (!m_data)
        return QString();
    lockContent();
    const int length = static_cast<int>(strnlen(m_data, static_cast<size_t>(m_size)));
    const QString text = QString::fromLatin1(m_data, length);
    unlockContent();
    return text;
}

bool SharedSegment::writeText(const QString &text)
{
    if (!m_data)
        return false;
    const QByteArray bytes = text.toLatin1();
    lockContent();
    memset(m_data, 0, static_cast<size_t>(m_size));
    memcpy(m_data, bytes.constData(), static_cast<size_t>(qMin(bytes.size(), m_size)));
    unlockContent();
    return true;
}

bool SharedSegment::writeTextAfterCrash(const char *text)
{
    if (!m_data)
        return false;
    const bool haveMutex = m_contentMutex.try_lock();
    const bool haveFile = m_lockFd >= 0 && ::flock(m_lockFd, LOCK_EX | LOCK_NB) == 0;
    memset(m_data, 0, static_cast<size_t>(m_size));
    memcpy(m_data, text, qMin(strlen(text), static_cast<size_t>(m_size)));
    if (haveFile)
        ::flock(m_lockFd, LOCK_UN);
    if (haveMutex)
        m_contentMutex.unlock();
    return true;
}

bool SharedSegment::takeOwnership(int timeoutMs)
{
    if (m_key.isEmpty())
        return false;
    if (!m_owner)
        m_owner = std::make_unique<InstanceLock>(m_key);
    return timeoutMs > 0 ? m_owner->tryLock(timeoutMs) : m_owner->tryLock();
}

void SharedSegment::releaseOwnership()
{
    m_owner.reset();
}

QString SharedSegment::peekText(const QString &key)
{
    SharedSegment segment(key);
    if (!segment.attach())
        return QString();
    return segment.readText();
}
