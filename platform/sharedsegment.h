#pragma once

#include "instancelock.h"

#include <QSharedMemory>
#include <QString>

#include <memory>

// A named shared-memory segment that carries a short Latin-1 text (an instance status word), together
// with the owner lock of the same name. The emulator keeps one per virtual machine; the instance
// manager opens the same segments to read the words and to hold an instance while it works on it.
//
// Whoever means to own the segment (create it, or hold it to keep others out) takes the owner lock
// first. A segment found without a live owner is a leftover of a crashed process.
class SharedSegment
{
public:
    static constexpr int DefaultSize = 255;

    explicit SharedSegment(const QString &key = QString());

    void setKey(const QString &key);
    QString key() const { return m_key; }

    bool attach();
    bool create(int size = DefaultSize);
    bool detach();
    bool isAttached() const { return m_memory.isAttached(); }
    int size() const { return m_memory.isAttached() ? m_memory.size() : 0; }
    QString errorString() const { return m_memory.errorString(); }

    // The text up to the first zero byte, read under the segment's lock. Empty when not attached.
    QString readText();
    // Clears the segment and writes the Latin-1 bytes of `text` from its start (at most its size),
    // under the segment's lock. False when no segment is attached.
    bool writeText(const QString &text);

    // The owner lock of this key.
    bool takeOwnership(int timeoutMs = 0);
    void releaseOwnership();
    bool ownsKey() const { return m_owner && m_owner->isLocked(); }

    // Reads the text of the segment `key` without keeping it attached; empty when there is none.
    static QString peekText(const QString &key);

private:
    QString m_key;
    QSharedMemory m_memory;
    std::unique_ptr<InstanceLock> m_owner;
};
