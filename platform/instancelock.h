#pragma once

#include <QString>

// An advisory lock held by the live owner of a named resource (an instance segment or local server).
// Shared memory and socket files outlive a crashed process on this platform; the lock does not, so a
// starter that can take the lock knows that nobody alive owns the name. The lock files live in the
// user's private runtime folder.
class InstanceLock
{
public:
    explicit InstanceLock(const QString &name);
    ~InstanceLock();
    InstanceLock(const InstanceLock &) = delete;
    InstanceLock &operator=(const InstanceLock &) = delete;

    // Takes the lock without waiting; true when this object now holds it.
    bool tryLock();
    // Takes the lock, retrying for up to `timeoutMs`; true when this object now holds it.
    bool tryLock(int timeoutMs);
    void unlock();
    bool isLocked() const { return m_fd >= 0; }
    QString filePath() const { return m_path; }

    // True when some live process (this one included) holds the lock of `name`. Only looks: a reader
    // that asks never gets in the way of an owner taking the lock at the same moment.
    static bool isHeld(const QString &name);

    // Why the lock of `name` can never be taken by this user, as one line for the user: its file belongs
    // to another user or is not a plain file (a link, a folder). Empty when it is this user's or absent.
    static QString foreignLockProblem(const QString &name);

private:
    static QString pathFor(const QString &name);

    QString m_path;
    int m_fd = -1;
};
