#pragma once

#include "OrvantaPavixTcp.pb.h"
#include "launchermessages.h"

#include <QDateTime>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QThread>

class QTcpSocket;

#include <atomic>
#include <functional>

// The channel to the launcher app in the guest. Requests go out one per TCP connection to the
// launcher's host port (the serialized request and one line feed). Replies come back as files that the
// launcher writes into the shared "event" folder; a thread of this object watches that folder, reads
// each file once, deletes it and emits what it asks for. The channel also installs packages: it copies
// them into the shared "game" folder on the global thread pool and then asks the launcher to install
// the copy.
//
// One process-wide object, living in the GUI thread. Requests are sent from the GUI thread; other
// threads emit pavix_send.
class PavixConnection : public QThread
{
    Q_OBJECT

public:
    using Action = OrvantaPavixTcp::Orvanta_Pavix_Tcp_Action;

    static PavixConnection &instance();
    ~PavixConnection() override;

    // The launcher app's package, and the file another program leaves a download's text in.
    static constexpr const char *kLauncherPackage = "com.corvel.pavixtop";
    static constexpr const char *kDownloadFile = "player/DownloadAPK";
    // The longest wait on the event folder before it is looked at again, and the pause before an
    // unwatchable folder is tried again.
    static constexpr int kWaitMs = 3000;
    static constexpr int kRetryMs = 1000;
    // A reply file is read this long after it was seen, so a writer that is not atomic has finished.
    static constexpr int kSettleMs = 100;
    // The largest reply file that is read; a larger one is removed unread.
    static constexpr qint64 kMaxReplyBytes = 64 * 1024;

    // Reads one reply file without following a link and without blocking: only a regular file of at
    // most kMaxReplyBytes. `problem` says why nothing was read (not a regular file, too large, cannot
    // be opened); empty when the bytes were read.
    static QByteArray readReplyFile(const QString &path, QString *problem);

    // The bytes of a request: the serialized message (the text only when not empty) and 0x0A (pure).
    static QByteArray requestBytes(int action, const QString &data);
    // The content of one reply file (pure).
    static LauncherReply readReply(const QByteArray &bytes);
    // The name a package copy gets in the game folder: "apk_" + digest + ".apk", or ".ypk" for any path
    // not ending in ".apk" (the suffix compared without regard to case).
    static QString packageCopyName(const QString &path, const QString &digest);

    // Connects the queued paths and starts the reply thread on `eventFolder` (Global::eventPath when
    // empty). Once only; after stop() it does nothing.
    void init(const QString &eventFolder = QString());
    // Ends the reply thread at once (its wait is woken) and waits for it. Safe to call more than once,
    // from the GUI thread, also when the thread never started.
    void stop();

    // Queues the request; requests reach the launcher one connection after the other, in the order they
    // were asked for (the next connection opens once the previous one has ended or failed).
    void sendMsgToPavixSync(Action action, const QString &data = QString(), bool bIsWaitForResult = false);
    // The longest one request may take before it is given up and the next one goes.
    static constexpr int kRequestMs = 5000;
    // Requests kept while the launcher does not take them; later ones are dropped.
    static constexpr int kMaxQueuedRequests = 256;
    // Copies the packages into the game folder on the global pool and asks the launcher to install
    // each copy. `mode`: 0 file dialog, 1 drop, 2 command line (reported as usage events 2005, 2200,
    // none).
    void installAPKFromDrag(const QStringList &paths, int mode);
    // Acts on the command line's pkgname and pkgpath (see the controller and firstLoad). `force`: also
    // hand the download file's text to the launcher when no package name was given.
    void launchFromCommandLine(bool force);

    // Asked before a package is copied: false when the disk has no room for it. Set by the program's
    // composition (the host probes live elsewhere); without one every copy is tried.
    void setSpaceCheck(std::function<bool(const QString &path)> check);
    // The text of the "space_not_enough" notice for a drive root.
    static QString spaceNotEnoughText();

signals:
    void pavix_package_changed(QString pkgName);
    void pavix_crash();
    void pavix_copy_text(QString text);
    void pavix_script_state_change(bool isRunning);
    void pavix_send(OrvantaPavixTcp::Orvanta_Pavix_Tcp_Action action, QString data = QString(),
                    bool bIsWaitForResult = false);
    void copyFileFinish(QString url);
    // A notice for the tray's balloon (install begins, no room, copy failed).
    void trayMessage(QString text);
    // A package copy has been made or found (test and log aid): the copy's full path.
    void packageCopied(QString target);

public slots:
    void onCopyFileFinish(QString url);
    void onSend(OrvantaPavixTcp::Orvanta_Pavix_Tcp_Action action, QString data = QString(),
                bool bIsWaitForResult = false);

protected:
    void run() override;

private:
    explicit PavixConnection(QObject *parent = nullptr);
    void installAPKFromDragThread(const QStringList &paths);
    // Lists the folder once and handles its reply files in name order (those known to be stuck
    // skipped); true when at least one was taken.
    bool takeReplies(const QString &folder);
    // The reply files of the folder now, in case-insensitive name order, without the stuck ones.
    QStringList pendingReplies(const QString &folder);
    void takeReply(const QString &folder, const QString &name);
    // Sleeps up to `ms`, or less when stop() wakes the thread; false once stopping.
    bool pause(int ms);
    void dispatch(const LauncherReply &reply);
    // Opens the connection of the first queued request unless one is open.
    void sendNextRequest();
    void requestEnded(QTcpSocket *socket);

    QString m_eventFolder;
    std::atomic_bool m_stopping{false};
    bool m_started = false;
    int m_wakeFd = -1;
    // Reply files that could not be deleted: name -> (size, modification time); skipped while unchanged.
    struct Stuck
    {
        qint64 size = 0;
        QDateTime modified;
    };
    QHash<QString, Stuck> m_stuck;
    // Requests waiting for their connection (GUI thread only); the one under way.
    QList<QByteArray> m_requests;
    QTcpSocket *m_requestSocket = nullptr;
    // Another program holds the launcher's port: requests wait until the forwarding has moved.
    bool m_held = false;
    QMutex m_spaceMutex;
    std::function<bool(const QString &)> m_spaceCheck;
};
