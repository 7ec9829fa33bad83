#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>

// Files reach Android through two shared folders of the machine: the picture folder (Global::imagePath,
// shared as "picture") and the other folder (Global::otherPath, shared as "other"). Dropped files are
// copied there; new pictures in the picture folder are announced to the guest by a broadcast.
namespace GuestFiles {

enum FileType
{
    Image = 0, // into the picture folder
    Other = 1, // into the other folder
};

// A picture by its suffix (.png, .bmp, .jpg, .jpep, .jpeg, in any case).
bool isPictureName(const QString &name);
// A package by its suffix (.apk, .ypk, in any case).
bool isPackageName(const QString &name);

// The free name for `fileName` in `folder`: the name itself, else base + "_" + n + extension for the
// first n from 1 on that is not taken (the extension from the name's last "." on).
QString freeTargetName(const QString &folder, const QString &fileName);

// The shell command that tells the guest's media side about a new picture, with the name between
// double quotes and \ " $ ` escaped inside them. Empty for a name the shell line cannot carry (one
// holding a carriage return or a line feed) or an empty name.
QString broadcastCommand(const QString &name);

// The names of the pictures among the plain files of `folder` (no hidden ones), in listing order.
QStringList pictureNames(const QString &folder);

} // namespace GuestFiles

// Watches the picture folder on a thread of its own and reports each picture name that was not there
// before (created, copied or renamed into it); pictures that go away are not reported.
class ShareFolderWatcher : public QThread
{
    Q_OBJECT

public:
    static constexpr int kWaitMs = 3000;
    // A folder that cannot be watched is tried again after this pause.
    static constexpr int kRetryMs = 1000;

    ShareFolderWatcher(const QString &imageFolder, const QString &otherFolder, QObject *parent = nullptr);
    ~ShareFolderWatcher() override;

    // Ends the thread at once (its wait is woken) and waits for it. Safe to call more than once.
    void stop();

signals:
    // A new picture in the folder: its bare name.
    void copySuccessful(QString name);
    // The folder cannot be watched (logged; tried again after kRetryMs).
    void watchFailed(QString folder);

protected:
    void run() override;

private:
    QString m_imageFolder;
    QString m_otherFolder;
    std::atomic_bool m_stopping{false};
    int m_wakeFd = -1;
};
