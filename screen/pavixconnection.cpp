#include "pavixconnection.h"

#include "commandline.h"
#include "datareportengine.h"
#include "filemd5.h"
#include "foldernotification.h"
#include "global.h"
#include "guestportguard.h"
#include "launchermessages.h"
#include "reportevents.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QTcpSocket>
#include <QTextStream>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char *kTag = "PavixConnection : ";

} // namespace

PavixConnection &PavixConnection::instance()
{
    static PavixConnection *connection = new PavixConnection(); // lives until the process ends
    return *connection;
}

PavixConnection::PavixConnection(QObject *parent) : QThread(parent)
{
    // The action travels in queued signals (pavix_send from the package copy); registered with the
    // object, so that no send can come before it.
    qRegisterMetaType<OrvantaPavixTcp::Orvanta_Pavix_Tcp_Action>("OrvantaPavixTcp::Orvanta_Pavix_Tcp_Action");
    m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
}

PavixConnection::~PavixConnection()
{
    stop();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

QByteArray PavixConnection::requestBytes(int action, const QString &data)
{
    return LauncherMessages::requestBytes(action, data);
}

LauncherReply PavixConnection::readReply(const QByteArray &bytes)
{
    return LauncherMessages::readReply(bytes);
}

QString PavixConnection::packageCopyName(const QString &path, const QString &digest)
{
    const bool apk = path.endsWith(QLatin1String(".apk"), Qt::CaseInsensitive);
    return QStringLiteral("apk_%1.").arg(digest) + QLatin1String(apk ? "apk" : "ypk");
}

QString PavixConnection::spaceNotEnoughText()
{
    return tr("space_not_enough").arg(Global::systemInfo.driveRoot);
}

void PavixConnection::setSpaceCheck(std::function<bool(const QString &)> check)
{
    QMutexLocker lock(&m_spaceMutex);
    m_spaceCheck = std::move(check);
}

void PavixConnection::init(const QString &eventFolder)
{
    if (m_started)
        return;
    m_started = true;
    m_eventFolder = eventFolder.isEmpty() ? Global::eventPath : eventFolder;
    connect(this, &PavixConnection::copyFileFinish, this, &PavixConnection::onCopyFileFinish,
            Qt::QueuedConnection);
    connect(this, &PavixConnection::pavix_send, this, &PavixConnection::onSend, Qt::QueuedConnection);
    connect(&GuestPortGuard::instance(), &GuestPortGuard::portMoved, this, [this](const QString &name) {
        if (name != QLatin1String("pavix"))
            return;
        m_held = false;
        sendNextRequest();
    });
    connect(&GuestPortGuard::instance(), &GuestPortGuard::moveFailed, this, [this](const QString &name) {
        if (name != QLatin1String("pavix") || !m_held)
            return;
        m_held = false;
        if (!m_requests.isEmpty()) {
            m_requests.removeFirst();
            qWarning() << "PavixConnection : request dropped, the launcher's port is not the machine's";
        }
        sendNextRequest();
    });
    if (m_stopping)
        return;
    start(QThread::InheritPriority);
}

void PavixConnection::stop()
{
    m_stopping = true;
    if (m_wakeFd >= 0) {
        const quint64 one = 1;
        (void)!::write(m_wakeFd, &one, sizeof one);
    }
    if (isRunning())
        wait();
}

bool PavixConnection::pause(int ms)
{
    if (m_stopping)
        return false;
    pauseUnlessWoken(ms, m_wakeFd);
    return !m_stopping;
}

void PavixConnection::run()
{
    const QString folder = m_eventFolder;
    // The quit sequence stops the thread; its flag alone ends the loop too, at the next look.
    const auto stopping = [this] { return m_stopping || appQuittingFlag; };
    while (!stopping()) {
        FolderNotification notification(folder);
        if (!notification.isValid()) {
            // A folder that cannot be watched (not there yet) is tried again after a pause.
            qDebug().noquote() << kTag + QStringLiteral("cannot watch ") + folder;
            pause(kRetryMs);
            continue;
        }
        bool watching = true;
        while (watching && !stopping()) {
            // Each pass looks at the folder, after a change and after a time-out alike. A handled file
            // is itself a change (its deletion), so a burst of files is worked off without waiting.
            if (takeReplies(folder))
                continue;
            watching = notification.wait(kWaitMs, m_wakeFd) != FolderNotification::Broken;
        }
        if (!watching && !stopping())
            qDebug() << "FindNextChangeNotification  ";
    }
}

QStringList PavixConnection::pendingReplies(const QString &folder)
{
    // Every kind of entry but folders and hidden ones (temporary files being renamed into place): a
    // link, a pipe or a device in the share is listed so that it can be removed.
    QStringList names =
        QDir(folder).entryList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    std::sort(names.begin(), names.end(), [](const QString &a, const QString &b) {
        const int caseless = a.compare(b, Qt::CaseInsensitive);
        return caseless != 0 ? caseless < 0 : a < b;
    });
    // Files that went away are forgotten; a stuck file that changed is read again.
    for (auto it = m_stuck.begin(); it != m_stuck.end();) {
        if (!QFileInfo::exists(folder + QLatin1Char('/') + it.key()))
            it = m_stuck.erase(it);
        else
            ++it;
    }
    if (m_stuck.isEmpty())
        return names;
    QStringList pending;
    pending.reserve(names.size());
    for (const QString &name : qAsConst(names)) {
        const auto stuck = m_stuck.constFind(name);
        if (stuck != m_stuck.cend()) {
            const QFileInfo now(folder + QLatin1Char('/') + name);
            if (stuck->size == now.size() && stuck->modified == now.lastModified())
                continue;
        }
        pending << name;
    }
    return pending;
}

bool PavixConnection::takeReplies(const QString &folder)
{
    if (pendingReplies(folder).isEmpty())
        return false;
    // A writer that is not atomic finishes meanwhile, and files written together are all listed
    // before the first of them by name is taken.
    if (!pause(kSettleMs))
        return false;
    const QStringList names = pendingReplies(folder);
    for (const QString &name : names) {
        if (m_stopping || appQuittingFlag)
            break;
        takeReply(folder, name);
    }
    return !names.isEmpty();
}

QByteArray PavixConnection::readReplyFile(const QString &path, QString *problem)
{
    problem->clear();
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        *problem = errno == ELOOP
                       ? QStringLiteral("a link, not a regular file")
                       : QStringLiteral("cannot be opened: ") + QString::fromLocal8Bit(strerror(errno));
        return QByteArray();
    }
    QByteArray bytes;
    struct stat info
    {
    };
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        *problem = QStringLiteral("not a regular file");
    } else if (info.st_size > kMaxReplyBytes) {
        *problem = QStringLiteral("larger than %1 bytes (%2)").arg(kMaxReplyBytes).arg(qint64(info.st_size));
    } else {
        // One byte more than allowed is asked for: a file that grew since it was looked at is too large.
        bytes.resize(int(kMaxReplyBytes) + 1);
        qint64 got = 0;
        while (got < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + got, size_t(bytes.size() - got));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            got += n;
        }
        if (got > kMaxReplyBytes) {
            *problem = QStringLiteral("larger than %1 bytes").arg(kMaxReplyBytes);
            bytes.clear();
        } else {
            bytes.truncate(int(got));
        }
    }
    ::close(fd);
    return bytes;
}

void PavixConnection::takeReply(const QString &folder, const QString &name)
{
    const QString path = folder + QLatin1Char('/') + name;
    QString problem;
    const QByteArray bytes = readReplyFile(path, &problem);
    // Removed in any case: a link goes, not what it points at.
    if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT) {
        // Acted on once: it stays skipped until it changes or goes.
        const QFileInfo now(path);
        m_stuck.insert(name, Stuck{now.size(), now.lastModified()});
        qWarning().noquote() << kTag + QStringLiteral("cannot delete the reply file ") + name;
    }
    if (!problem.isEmpty()) {
        qWarning().noquote() << kTag + QStringLiteral("reply file %1 removed unread: %2").arg(name, problem);
        return;
    }
    const LauncherReply reply = readReply(bytes);
    if (!reply.empty)
        dispatch(reply);
}

void PavixConnection::dispatch(const LauncherReply &reply)
{
    // The data may be large: the line is made only when debug lines are written at all.
    if (CommandLine::debug)
        qDebug().noquote() << kTag +
                                  QStringLiteral("reply action %1 data %2").arg(reply.action).arg(reply.data);
    switch (reply.action) {
    case OrvantaPavixTcp::Orvanta_Action_PackageChanged:
        emit pavix_package_changed(reply.data);
        break;
    case OrvantaPavixTcp::Orvanta_Action_Crash:
        emit pavix_crash();
        break;
    case OrvantaPavixTcp::Orvanta_Action_CopyText:
        emit pavix_copy_text(reply.data);
        break;
    case OrvantaPavixTcp::Orvanta_Action_ScriptState:
        emit pavix_script_state_change(reply.data == QLatin1String("1"));
        break;
    default:
        break;
    }
}

void PavixConnection::sendMsgToPavixSync(Action action, const QString &data, bool bIsWaitForResult)
{
    Q_UNUSED(bIsWaitForResult)
    qDebug().noquote()
        << QStringLiteral("sendMsgToPavixSync action : %1  data is%2").arg(int(action)).arg(data);
    const QByteArray line = requestBytes(action, data);
    if (CommandLine::debug)
        qDebug() << "sendMsgToPavixSync data : " << line << "  " << QThread::currentThread();
    if (m_requests.size() >= kMaxQueuedRequests) {
        qWarning() << "PavixConnection : the launcher takes no requests, one dropped";
        return;
    }
    m_requests.append(line);
    sendNextRequest();
}

void PavixConnection::sendNextRequest()
{
    if (m_requestSocket || m_requests.isEmpty() || m_held)
        return;
    const QByteArray line = m_requests.takeFirst();
    auto *socket = new QTcpSocket(this);
    m_requestSocket = socket;
    connect(socket, &QTcpSocket::connected, this, [this, socket, line] {
        GuestPortGuard &guard = GuestPortGuard::instance();
        if (guard.refuses(QStringLiteral("pavix"), socket->peerPort())) {
            // Kept for the machine's own port while the rule moves; dropped when it cannot move.
            if (guard.isMoving(QStringLiteral("pavix"))) {
                m_requests.prepend(line);
                m_held = true;
            } else {
                qWarning() << "PavixConnection : request dropped, the launcher's port is not the machine's";
            }
            requestEnded(socket);
            return;
        }
        qDebug() << " pavix connect ";
        socket->write(line);
        socket->flush();
        // The launcher reads to the end of the stream: the close of the sending side marks the
        // request's end. The connection ends when the launcher, having read it, closes its side; only
        // then goes the next request, so the launcher takes them in the order they were asked for.
        const auto endSending = [socket] {
            if (socket->bytesToWrite() == 0 && socket->socketDescriptor() >= 0)
                ::shutdown(int(socket->socketDescriptor()), SHUT_WR);
        };
        connect(socket, &QTcpSocket::bytesWritten, socket, endSending);
        endSending();
    });
    // The launcher's side closed (after it read the request): the end of this request.
    connect(socket, &QTcpSocket::readyRead, socket, [socket] { socket->readAll(); });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError error) {
        if (error != QAbstractSocket::RemoteHostClosedError)
            qCritical() << "PavixConnection : connect error " << error;
        requestEnded(socket);
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] { requestEnded(socket); });
    // A peer that takes the connection and never lets it end does not hold the requests behind it.
    auto *limit = new QTimer(socket);
    limit->setSingleShot(true);
    connect(limit, &QTimer::timeout, this, [this, socket] {
        qWarning() << "PavixConnection : request timed out";
        requestEnded(socket);
    });
    limit->start(kRequestMs);
    socket->connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(Global::pavixPort.toInt()));
}

void PavixConnection::requestEnded(QTcpSocket *socket)
{
    if (socket != m_requestSocket)
        return;
    m_requestSocket = nullptr;
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    // The next one goes from the event loop, not from inside the socket's own signal.
    QTimer::singleShot(0, this, &PavixConnection::sendNextRequest);
}

void PavixConnection::onSend(OrvantaPavixTcp::Orvanta_Pavix_Tcp_Action action, QString data,
                             bool bIsWaitForResult)
{
    sendMsgToPavixSync(action, data, bIsWaitForResult);
}

void PavixConnection::onCopyFileFinish(QString url)
{
    qDebug().noquote() << QStringLiteral("PavixConnection onCopyFileFinish  ") + url;
    sendMsgToPavixSync(OrvantaPavixTcp::Orvanta_Action_APKInstall, url);
}

void PavixConnection::installAPKFromDrag(const QStringList &paths, int mode)
{
    const QString begin = tr("install_apk_begin");
    emit trayMessage(begin);
    sendMsgToPavixSync(OrvantaPavixTcp::Orvanta_Action_Toast, begin);
    qDebug().noquote() << kTag + QStringLiteral("installAPKFromDrag -> ") + paths.join(QLatin1Char(','));
    QThreadPool::globalInstance()->start([this, paths] { installAPKFromDragThread(paths); });
    if (mode == 0)
        DataReportEngine::report(ReportEvent::InstallFromMenu);
    else if (mode == 1)
        DataReportEngine::report(ReportEvent::InstallFromDrop);
}

void PavixConnection::installAPKFromDragThread(const QStringList &paths)
{
    qDebug().noquote() << kTag + QStringLiteral("installAPKFromDragThread begin ") +
                              paths.join(QLatin1Char(','));
    const QString gameFolder = Global::gamePath;
    if (!QFileInfo(gameFolder).isDir())
        QDir().mkpath(gameFolder);
    for (const QString &path : paths) {
        qDebug().noquote() << kTag + QStringLiteral("customFilePath : ") + path;
        if (path.isEmpty() || !QFileInfo(path).isFile())
            continue;
        const QString digest = fileMd5(path);
        qDebug().noquote() << kTag + QStringLiteral("md5 ") + digest;
        const QString name = packageCopyName(path, digest);
        qDebug().noquote() << kTag + QStringLiteral("newFileName begin ") + name;
        const QString target = gameFolder + QLatin1Char('/') + name;
        const QFileInfo existing(target);
        // The same package is copied once; a target of another size (a copy cut short) is made again.
        if (existing.isFile() && existing.size() == QFileInfo(path).size()) {
            qDebug().noquote() << kTag + QStringLiteral("no copy  ") + name;
            emit packageCopied(target);
            emit copyFileFinish(name);
            continue;
        }
        std::function<bool(const QString &)> spaceCheck;
        {
            QMutexLocker lock(&m_spaceMutex);
            spaceCheck = m_spaceCheck;
        }
        if (spaceCheck && !spaceCheck(path)) {
            const QString text = spaceNotEnoughText();
            emit trayMessage(text);
            emit pavix_send(OrvantaPavixTcp::Orvanta_Action_Toast, text);
            continue;
        }
        // Copied under a hidden name and renamed into place: the launcher never sees half a package.
        const QString partial = gameFolder + QStringLiteral("/.") + name + QStringLiteral(".part");
        QFile::remove(partial);
        bool copied = QFile::copy(path, partial);
        // The copy keeps the source's modes; in the share it is this user's only.
        copied = copied && QFile::setPermissions(partial, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        if (copied) {
            QFile::remove(target);
            copied = QFile::rename(partial, target);
        }
        if (!copied)
            QFile::remove(partial);
        if (copied) {
            qDebug().noquote() << kTag + QStringLiteral("copy finish  ") + name;
            emit packageCopied(target);
            emit copyFileFinish(name);
        } else {
            emit trayMessage(tr("file copy failed"));
            emit pavix_send(OrvantaPavixTcp::Orvanta_Action_Toast, QStringLiteral("file copy failed"));
        }
        qDebug().noquote() << path + QStringLiteral("   ") + target;
    }
}

void PavixConnection::launchFromCommandLine(bool force)
{
    const QString pkgname = CommandLine::pkgname;
    const QString pkgpath = CommandLine::pkgpath;
    qDebug().noquote() << kTag + QStringLiteral("cmd pkgName ") + pkgname;
    qDebug().noquote() << kTag + QStringLiteral("cmd pkgpath ") + pkgpath;
    if (!pkgname.isEmpty()) {
        qDebug() << "send OrvantaPavixTcp::Orvanta_Action_LaunchApp";
        sendMsgToPavixSync(OrvantaPavixTcp::Orvanta_Action_LaunchApp, pkgname);
    }
    // The command line's list is the one place where paths travel as a ","-separated text.
    QStringList paths = pkgpath.split(QLatin1Char(','));
    paths.removeAll(QString());
    if (!paths.isEmpty())
        installAPKFromDrag(paths, 2);
    if (!force && pkgname.isEmpty())
        return;
    QFile download{QString::fromLatin1(kDownloadFile)};
    if (!download.exists())
        return;
    qDebug() << "PavixConnection : download exist ";
    if (!download.open(QIODevice::ReadWrite | QIODevice::Text)) {
        qDebug() << "PavixConnection : Can't open the download file! ";
        return;
    }
    QTextStream stream(&download);
    const QString text = stream.readAll();
    download.resize(0);
    download.close();
    qDebug().noquote() << kTag + QStringLiteral("reg DownloadAPK ") + text;
    if (!text.isEmpty()) {
        qDebug() << "send OrvantaPavixTcp::Orvanta_Action_APKInstall_Download";
        sendMsgToPavixSync(OrvantaPavixTcp::Orvanta_Action_APKInstall_Download, text);
    }
}
