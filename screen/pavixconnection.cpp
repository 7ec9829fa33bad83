#include "pavixconnection.h"

#include "commandline.h"
#include "datareportengine.h"
#include "filemd5.h"
#include "foldernotification.h"
#include "global.h"
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

#include <sys/eventfd.h>
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
    while (!m_stopping) {
        FolderNotification notification(folder);
        if (!notification.isValid()) {
            // A folder that cannot be watched (not there yet) is tried again after a pause.
            qDebug().noquote() << kTag + QStringLiteral("cannot watch ") + folder;
            pause(kRetryMs);
            continue;
        }
        bool watching = true;
        while (watching && !m_stopping) {
            // Each pass looks at the folder, after a change and after a time-out alike. A handled file
            // is itself a change (its deletion), so a burst of files is worked off without waiting.
            if (takeOneReply(folder))
                continue;
            watching = notification.wait(kWaitMs, m_wakeFd) != FolderNotification::Broken;
        }
        if (!watching && !m_stopping)
            qDebug() << "FindNextChangeNotification  ";
    }
}

QFileInfo PavixConnection::firstPendingReply(const QString &folder)
{
    const QFileInfoList files =
        QDir(folder).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    // Files that went away are forgotten; a stuck file that changed is read again.
    for (auto it = m_stuck.begin(); it != m_stuck.end();) {
        if (!QFileInfo::exists(folder + QLatin1Char('/') + it.key()))
            it = m_stuck.erase(it);
        else
            ++it;
    }
    for (const QFileInfo &listed : files) {
        const auto stuck = m_stuck.constFind(listed.fileName());
        if (stuck != m_stuck.cend() && stuck->size == listed.size() &&
            stuck->modified == listed.lastModified())
            continue;
        return listed;
    }
    return QFileInfo();
}

bool PavixConnection::takeOneReply(const QString &folder)
{
    if (firstPendingReply(folder).fileName().isEmpty())
        return false;
    // A writer that is not atomic finishes meanwhile, and files written together are all listed
    // before the first of them by name is taken.
    if (!pause(kSettleMs))
        return false;
    const QFileInfo listed = firstPendingReply(folder);
    if (listed.fileName().isEmpty())
        return false;
    QFile file(listed.absoluteFilePath());
    QByteArray bytes;
    if (file.open(QIODevice::ReadOnly))
        bytes = file.readAll();
    file.close();
    if (!file.remove() && file.exists()) {
        // Acted on once: it stays skipped until it changes or goes.
        const QFileInfo now(listed.absoluteFilePath());
        m_stuck.insert(listed.fileName(), Stuck{now.size(), now.lastModified()});
        qWarning().noquote() << kTag + QStringLiteral("cannot delete the reply file ") + listed.fileName();
    }
    const LauncherReply reply = readReply(bytes);
    if (!reply.empty)
        dispatch(reply);
    return true;
}

void PavixConnection::dispatch(const LauncherReply &reply)
{
    qDebug().noquote() << kTag + QStringLiteral("reply action %1 data %2").arg(reply.action).arg(reply.data);
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
    qDebug() << "sendMsgToPavixSync data : " << line << "  " << QThread::currentThread();
    auto *socket = new QTcpSocket(this);
    connect(socket, &QTcpSocket::connected, socket, [socket, line] {
        qDebug() << " pavix connect ";
        socket->write(line);
        socket->flush();
        // The launcher reads to the end of the stream: the close marks the request's end.
        socket->disconnectFromHost();
    });
    connect(socket, &QTcpSocket::errorOccurred, socket, [socket](QAbstractSocket::SocketError error) {
        if (error == QAbstractSocket::RemoteHostClosedError)
            return;
        qCritical() << "PavixConnection : connect error " << error;
        socket->disconnect();
        socket->abort();
        socket->deleteLater();
    });
    connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(Global::pavixPort.toInt()));
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
