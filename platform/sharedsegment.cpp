#include "sharedsegment.h"

#include <cstring>

SharedSegment::SharedSegment(const QString &key)
{
    setKey(key);
}

void SharedSegment::setKey(const QString &key)
{
    if (key == m_key && !key.isEmpty())
        return;
    releaseOwnership();
    m_key = key;
    m_memory.setKey(key);
}

bool SharedSegment::attach()
{
    return m_memory.isAttached() || m_memory.attach(QSharedMemory::ReadWrite);
}

bool SharedSegment::create(int size)
{
    return m_memory.create(size, QSharedMemory::ReadWrite);
}

bool SharedSegment::detach()
{
    return m_memory.isAttached() && m_memory.detach();
}

QString SharedSegment::readText()
{
    if (!m_memory.isAttached())
        return QString();
    m_memory.lock();
    const char *data = static_cast<const char *>(m_memory.constData());
    const int length = static_cast<int>(strnlen(data, static_cast<size_t>(m_memory.size())));
    const QString text = QString::fromLatin1(data, length);
    m_memory.unlock();
    return text;
}

bool SharedSegment::writeText(const QString &text)
{
    if (!m_memory.isAttached())
        return false;
    const QByteArray bytes = text.toLatin1();
    m_memory.lock();
    char *data = static_cast<char *>(m_memory.data());
    memset(data, 0, static_cast<size_t>(m_memory.size()));
    memcpy(data, bytes.constData(), static_cast<size_t>(qMin(bytes.size(), m_memory.size())));
    m_memory.unlock();
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
    const QString text = segment.readText();
    segment.detach();
    return text;
}
