#include "vinputconnection.h"

#include "global.h"
#include "guestfiles.h"
#include "guestportguard.h"
#include "logtags.h"
#include "pavixconnection.h"
#include "settingmodel.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpSocket>
#include <QThreadPool>
#include <QTimer>

VInputConnection &VInputConnection::instance()
{
    static VInputConnection *connection = new VInputConnection(); // lives until the process ends
    return *connection;
}

VInputConnection::VInputConnection(QObject *parent) : QObject(parent)
{
    m_shellTimer.setSingleShot(true);
    connect(&m_shellTimer, &QTimer::timeout, this, &VInputConnection::onShellTimeout);
}

void VInputConnection::init()
{
    qDebug() << ORV_LOG_VINPUT "init";
    if (m_initialised)
        return;
    m_initialised = true;
    connect(this, &VInputConnection::socketError, this, &VInputConnection::onSocketError,
            Qt::QueuedConnection);
    // Plain queued, not blocking: a worker that waited for the GUI thread could never end while the
    // GUI thread waits for the pool at exit.
    connect(this, &VInputConnection::showToast, this, &VInputConnection::onShowToast, Qt::QueuedConnection);
    connect(this, &VInputConnection::copySuccessful, this, &VInputConnection::onCopySuccessful,
            Qt::QueuedConnection);
    connectSocket();
    if (!Global::imagePath.isEmpty())
        startShareWatcher(Global::imagePath, Global::otherPath);
}

void VInputConnection::connectSocket()
{
    m_connected = false;
    m_screenCapsAwaited = 0;
    failShellCommands();
    m_socket = new QTcpSocket(this);
    QTcpSocket *socket = m_socket;
    // A guest that floods the channel costs no more memory than one read.
    socket->setReadBufferSize(kReadBufferBytes);
    // Lines go out as soon as they are written: no coalescing delay on the guest's side of the wire.
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    connect(socket, &QTcpSocket::connected, this, [this, socket] {
        if (socket != m_socket)
            return;
        // Not a byte to a program that took the port before the machine: the guard moves the rule and
        // the reconnect goes to the new port.
        if (GuestPortGuard::instance().refuses(QStringLiteral("vinput"), socket->peerPort())) {
            emit socketError();
            return;
        }
        m_connected = true;
        qInfo() << ORV_LOG_VINPUT "vinput connect ok";
        const SettingResolutionData *resolution = SettingModel::instance()->resolution();
        if (writeLine(configLine(resolution->width(), resolution->height())))
            emit configSent();
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        if (socket != m_socket)
            return;
        qInfo() << ORV_LOG_VINPUT "vinput disconnected";
        m_connected = false;
        failShellCommands();
        // A closed connection is a failure too: try again after the pause.
        emit socketError();
    });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError error) {
        if (socket != m_socket)
            return;
        m_connected = false;
        failShellCommands();
        qCritical() << ORV_LOG_VINPUT "vinput connect error " << error;
        emit socketError();
    });
    connect(socket, &QTcpSocket::readyRead, this, &VInputConnection::onReadyRead);
    socket->connectToHost(QLatin1String(kHost), static_cast<quint16>(Global::vinputPort.toInt()));
}

void VInputConnection::onSocketError()
{
    if (appQuittingFlag || m_reconnectPending)
        return;
    qDebug() << " vinput  :  socket error ";
    if (m_socket) {
        QTcpSocket *old = m_socket;
        m_socket = nullptr;
        old->disconnect(this);
        old->abort();
        old->deleteLater();
    }
    // The pause runs on a timer so that the window keeps drawing and taking input meanwhile.
    m_reconnectPending = true;
    QTimer::singleShot(kReconnectMs, this, [this] {
        m_reconnectPending = false;
        if (!appQuittingFlag)
            connectSocket();
    });
}

bool VInputConnection::writeLine(const QByteArray &line)
{
    if (!m_connected || !m_socket || line.isEmpty())
        return false;
    m_socket->write(line);
    m_socket->flush();
    return true;
}

void VInputConnection::SendMouseOrKeyEvent(int type, int a, int b, int c, int d)
{
    if (!m_connected)
        return;
    const QByteArray line = mouseOrKeyLine(type, a, b, c, d);
    qDebug().noquote() << " ----------------------------------------------   SendMouseOrKeyEvent " +
                              QString::fromLatin1(line);
    writeLine(line);
}

void VInputConnection::sendMulti(int state, const QList<QPoint> &points)
{
    writeLine(multiLine(state, points));
}

void VInputConnection::sendInputText(const QString &text)
{
    if (!m_connected)
        return;
    const QByteArray line = inputTextLine(text);
    qDebug().noquote() << " str " + QString::fromLatin1(line);
    writeLine(line);
}

void VInputConnection::sendGps(double longitude, double latitude)
{
    writeLine(gpsLine(longitude, latitude));
}

void VInputConnection::sendShake()
{
    writeLine(shakeLine());
}

void VInputConnection::requestScreenCap()
{
    if (writeLine(screenCapLine()))
        ++m_screenCapsAwaited;
}

void VInputConnection::answer(const ShellRequest &request, const QString &reply)
{
    if (request.done && (!request.hasContext || request.context))
        request.done(reply);
}

void VInputConnection::sendShellCmd(const QString &command, ShellReply done, QObject *context)
{
    ShellRequest request;
    request.line = shellLine(command);
    request.done = std::move(done);
    request.context = context;
    request.hasContext = context != nullptr;
    if (request.line.isEmpty()) {
        QString shown = command;
        shown.replace(QLatin1Char('\n'), QLatin1String("\\n"))
            .replace(QLatin1Char('\r'), QLatin1String("\\r"));
        qWarning().noquote() << ORV_LOG_VINPUT "shell command with a line end refused: " + shown;
    }
    queueShell(std::move(request));
}

void VInputConnection::queueShell(ShellRequest request)
{
    // Answered empty at once (from the event loop, as a real answer would be): refused, not connected,
    // or too many waiting.
    if (request.line.isEmpty() || !m_connected || !m_socket ||
        m_shellQueue.size() >= kMaxQueuedShellCommands) {
        if (!request.line.isEmpty())
            qWarning() << ORV_LOG_VINPUT "shell command not sent: not connected or too many waiting";
        QTimer::singleShot(0, this, [request] { answer(request, QString()); });
        return;
    }
    if (request.announcement) {
        // The guest rescans the whole picture share on each announcement: one not yet sent stands for
        // the whole burst, with the latest name.
        for (ShellRequest &queued : m_shellQueue) {
            if (queued.announcement) {
                queued.line = request.line;
                return;
            }
        }
    }
    m_shellQueue.append(std::move(request));
    nextShellCommand();
}

void VInputConnection::nextShellCommand()
{
    if (m_shellWaiting || m_shellQueue.isEmpty() || !m_connected || !m_socket)
        return;
    // A screenshot answer still on its way is awaited first: the guest's answers are not framed, and
    // one that came in the same read as the reply could not be told from it.
    if (m_screenCapsAwaited > 0) {
        if (!m_shellTimer.isActive())
            m_shellTimer.start(kShellReplyMs);
        return;
    }
    m_shellCurrent = m_shellQueue.takeFirst();
    if (!writeLine(m_shellCurrent.line)) {
        const ShellRequest failed = m_shellCurrent;
        QTimer::singleShot(0, this, [failed] { answer(failed, QString()); });
        return;
    }
    m_shellWaiting = true;
    m_shellTimer.start(kShellReplyMs);
}

void VInputConnection::finishShellCommand(const QByteArray &data)
{
    m_shellWaiting = false;
    m_shellTimer.stop();
    QByteArray reply = data;
    const int zero = reply.indexOf('\0');
    if (zero >= 0)
        reply.truncate(zero);
    const ShellRequest done = m_shellCurrent;
    m_shellCurrent = ShellRequest();
    answer(done, QString::fromUtf8(reply));
    // The next command goes from the event loop: an answer handler may queue commands of its own.
    QTimer::singleShot(0, this, &VInputConnection::nextShellCommand);
}

void VInputConnection::onShellTimeout()
{
    if (m_shellWaiting) {
        qWarning().noquote() << ORV_LOG_VINPUT "no answer to the shell command in time";
        finishShellCommand(QByteArray());
        return;
    }
    // An awaited screenshot answer that never came is given up for the waiting commands' sake.
    m_screenCapsAwaited = 0;
    nextShellCommand();
}

void VInputConnection::failShellCommands()
{
    m_shellTimer.stop();
    QList<ShellRequest> failed = m_shellQueue;
    m_shellQueue.clear();
    if (m_shellWaiting) {
        failed.prepend(m_shellCurrent);
        m_shellCurrent = ShellRequest();
        m_shellWaiting = false;
    }
    if (!failed.isEmpty()) {
        QTimer::singleShot(0, this, [failed] {
            for (const ShellRequest &request : failed)
                answer(request, QString());
        });
    }
}

void VInputConnection::onReadyRead()
{
    if (!m_socket)
        return;
    while (m_socket && m_socket->bytesAvailable() > 0) {
        QByteArray data = m_socket->read(kReadBufferBytes);
        // A screenshot answer (awaited, or one the guest sent on its own) is never a command's reply;
        // a reply that arrives in the same read behind such answers still is.
        while (data.startsWith(kScreenCapAnswer)) {
            const int length = screenCapAnswerLength(data);
            takeUnsolicited(data.left(length));
            data.remove(0, length);
        }
        if (data.isEmpty())
            continue;
        if (m_shellWaiting)
            finishShellCommand(data);
        else
            takeUnsolicited(data);
    }
}

void VInputConnection::takeUnsolicited(const QByteArray &data)
{
    // Only the answer to a request of ours counts: the guest cannot show a notice of its own.
    if (!data.startsWith(kScreenCapAnswer) || m_screenCapsAwaited <= 0)
        return;
    --m_screenCapsAwaited;
    const QString name = screenCapName(data);
    if (!name.isEmpty())
        emit ScreenCapNotify(name);
    if (m_screenCapsAwaited == 0 && !m_shellWaiting) {
        m_shellTimer.stop();
        QTimer::singleShot(0, this, &VInputConnection::nextShellCommand);
    }
}

void VInputConnection::startShareWatcher(const QString &imageFolder, const QString &otherFolder)
{
    if (m_watcher)
        return;
    m_watcher = new ShareFolderWatcher(imageFolder, otherFolder, this);
    connect(m_watcher, &ShareFolderWatcher::copySuccessful, this, &VInputConnection::copySuccessful);
    m_watcher->start();
}

void VInputConnection::stopShareWatcher()
{
    if (m_watcher)
        m_watcher->stop();
}

void VInputConnection::onShowToast(QString text)
{
    PavixConnection::instance().sendMsgToPavixSync(OrvantaPavixTcp::Orvanta_Action_Toast, text);
}

void VInputConnection::onCopySuccessful(QString name)
{
    const QString command = GuestFiles::broadcastCommand(name);
    if (command.isEmpty()) {
        QString shown = name;
        shown.replace(QLatin1Char('\n'), QLatin1String("\\n"))
            .replace(QLatin1Char('\r'), QLatin1String("\\r"));
        qWarning().noquote() << ORV_LOG_VINPUT "picture name not announced: " + shown;
        return;
    }
    ShellRequest request;
    request.line = shellLine(command);
    request.announcement = true;
    queueShell(std::move(request));
}

void VInputConnection::copyFileFromDrag(const QStringList &paths, int type)
{
    qDebug().noquote() << QStringLiteral("VInputConnection : copyFileFromDrag -> ") +
                              paths.join(QLatin1Char(','));
    const QString imageFolder = Global::imagePath;
    const QString otherFolder = Global::otherPath;
    QThreadPool::globalInstance()->start([this, paths, type, imageFolder, otherFolder] {
        copyFileFromDragThread(paths, type, imageFolder, otherFolder);
    });
}

void VInputConnection::copyFileFromDragThread(const QStringList &paths, int type, const QString &imageFolder,
                                              const QString &otherFolder)
{
    qDebug().noquote() << QStringLiteral("VInputConnection : copyFileFromDragThread begin ") +
                              paths.join(QLatin1Char(','));
    QDir().mkpath(imageFolder);
    QDir().mkpath(otherFolder);
    const QString folder = type == GuestFiles::Image ? imageFolder : otherFolder;
    for (const QString &path : paths) {
        qDebug().noquote() << QStringLiteral("VInputConnection : customFilePath : ") + path;
        if (path.isEmpty() || !QFileInfo(path).isFile())
            continue;
        emit showToast(QCoreApplication::translate("QObject", "coping_file").arg(path));
        // Copied under a hidden name and renamed into place: the watcher and the guest never see half a
        // file, and a name taken meanwhile by another copy is not overwritten (the rename fails).
        const QString name = GuestFiles::freeTargetName(folder, QFileInfo(path).fileName());
        const QString target = folder + QLatin1Char('/') + name;
        const QString partial = folder + QStringLiteral("/.") + name + QStringLiteral(".part");
        QFile::remove(partial);
        bool copied = QFile::copy(path, partial);
        // The copy keeps the source's modes; in the share it is this user's only.
        copied = copied && QFile::setPermissions(partial, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        if (copied && !QFile::rename(partial, target))
            copied = false;
        if (!copied) {
            QFile::remove(partial);
            qWarning().noquote() << QStringLiteral("VInputConnection : copy failed ") + path +
                                        QStringLiteral(" -> ") + target;
        }
        if (copied)
            emit showToast(QCoreApplication::translate("QObject", "copy_file_succeed").arg(path));
        else
            emit showToast(QCoreApplication::translate("QObject", "copy_file_fail").arg(path));
    }
}
