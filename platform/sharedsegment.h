#pragma once

#include "instancelock.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <mutex>

#include <sys/types.h>

// A named shared-memory segment that carries a short Latin-1 text (an instance status word), together
// with the owner lock of the same name. The emulator keeps one per virtual machine; the instance
// manager opens the same segments to read the words and to hold an instance while it works on it.
//
// Segments are small files in the user's private runtime folder (Platform::privateRuntimeDir), named
// from the key and mapped shared. No other user can create, read or remove them there, and separate
// trees of programs (another runtime folder) never meet. System V segments keyed through ftok() are not
// used: their keys keep only 16 bits of a file's inode, so unrelated names can land on the same segment.
//
// Whoever means to own the segment (create it, or hold it to keep others out) takes the owner lock
// first. A segment found without a live owner is a leftover of a crashed process.
class SharedSegment
{
public:
    static constexpr int DefaultSize = 255;

    explicit SharedSegment(const QString &key = QString());
    ~SharedSegment();
    SharedSegment(const SharedSegment &) = delete;
    SharedSegment &operator=(const SharedSegment &) = delete;

    void setKey(const QString &key);
    QString key() const { return m_key; }

    bool attach();
    bool create(int size = DefaultSize);
    // Unmaps the segment; a segment this object created is removed with it.
    bool detach();
    // Detaches and removes the segment's name, whoever created it (a leftover of a dead owner).
    void remove();
    bool isAttached() const { return m_data != nullptr; }
    int size() const { return m_data ? m_size : 0; }
    QString errorString() const { return m_error; }

    // The text up to the first zero byte, read under the segment's lock. Empty when not attached.
    QString readText();
    // Every byte of the segment, read under its lock.
    QByteArray readBytes();
    // Clears the segment and writes the Latin-1 bytes of `text` from its start (at most its size),
    // under the segment's lock. False when no segment is attached.
    bool writeText(const QString &text);

    // writeText for a process that has crashed: no allocation, and no wait for a lock that the crashed
    // thread may hold (the word is written even when the lock cannot be had). `text` is Latin-1.
    bool writeTextAfterCrash(const char *text);

    // The owner lock of this key.
    bool takeOwnership(int timeoutMs = 0);
    void releaseOwnership();
    bool ownsKey() const { return m_owner && m_owner->isLocked(); }

    // Reads the text of the segment `key` without keeping it attached; empty when there is none.
    static QString peekText(const QString &key);
    // The path of the file that carries `key`; empty when the private runtime folder is refused.
    static QByteArray objectName(const QString &key);
    // Why the segment file of `key` is not this user's to use or remove, as one line for the user: it
    // belongs to another user (named with the user id) or is not a plain file. Empty when it is this
    // user's own or absent.
    static QString foreignSegmentProblem(const QString &key);
    // True when a live process holds the owner lock of `key`. A segment without one is a leftover.
    static bool hasLiveOwner(const QString &key);

private:
    bool map(int fd, int size);
    bool lockContent();
    void unlockContent();

    QString m_key;
    QByteArray m_name;
    char *m_data = nullptr;
    int m_size = 0;
    bool m_created = false;
    // Identity of the object this one created, so that detaching never removes a successor's segment
    // that took over the name after a leftover was cleared.
    dev_t m_device = 0;
    ino_t m_inode = 0;
    int m_lockFd = -1;
    std::mutex m_contentMutex;
    QString m_error;
    std::unique_ptr<InstanceLock> m_owner;
};
