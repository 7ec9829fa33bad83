#pragma once

#include <QString>

// A change notification on one folder (inotify): file names created, deleted or renamed in it, not in
// its subfolders. Closed with the object.
class FolderNotification
{
public:
    enum Outcome
    {
        TimedOut, // nothing happened (or only the wake-up)
        Changed,  // a name in the folder changed
        Broken,   // the folder was removed or moved away: the watch is gone
    };

    explicit FolderNotification(const QString &folder);
    ~FolderNotification();
    FolderNotification(const FolderNotification &) = delete;
    FolderNotification &operator=(const FolderNotification &) = delete;

    bool isValid() const { return m_fd >= 0; }
    // Waits up to `ms` for a change, or until `wakeFd` (when >= 0) becomes readable.
    Outcome wait(int ms, int wakeFd);

private:
    int m_fd = -1;
};

// Sleeps up to `ms`, or less when `wakeFd` (when >= 0) becomes readable.
void pauseUnlessWoken(int ms, int wakeFd);
