#include "localchannel.h"

#include "paths.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace Platform {

QString localChannelPath(const QString &key, const QString &what, QString *problem)
{
    const QString dir = privateRuntimeDir(problem);
    if (dir.isEmpty())
        return QString();
    // A kind prefix of its own: no key makes the name of a lock, a segment or any other runtime file.
    const QString path = dir + QStringLiteral("/channel-") + key;
    if (QFile::encodeName(path).size() >= static_cast<int>(sizeof(sockaddr_un::sun_path))) {
        if (problem)
            *problem = QStringLiteral("the %1 path %2 is too long for a local socket").arg(what, path);
        return QString();
    }
    return path;
}

long peerUserId(QLocalSocket *socket)
{
    struct ucred credentials = {};
    socklen_t length = sizeof(credentials);
    const int fd = static_cast<int>(socket->socketDescriptor());
    if (fd < 0 || ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return -1;
    return static_cast<long>(credentials.uid);
}

ChannelSend sendChannelMessage(const QString &path, const QByteArray &message, int timeoutMs, QString *error)
{
    QLocalSocket socket;
    socket.connectToServer(path, QIODevice::WriteOnly);
    if (!socket.waitForConnected(timeoutMs)) {
        if (error)
            *error = socket.errorString();
        return ChannelSend::NoAnswer;
    }
    socket.write(message);
    if (!socket.waitForBytesWritten(timeoutMs)) {
        if (error)
            *error = socket.errorString();
        return ChannelSend::NotWritten;
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    return ChannelSend::Sent;
}

ChannelSend sendChannelRequest(const QString &path, const QByteArray &message, int timeoutMs,
                               QByteArray *answer, QString *error)
{
    answer->clear();
    QLocalSocket socket;
    socket.connectToServer(path, QIODevice::ReadWrite);
    if (!socket.waitForConnected(timeoutMs)) {
        if (error)
            *error = socket.errorString();
        return ChannelSend::NoAnswer;
    }
    socket.write(message + '\n');
    if (!socket.waitForBytesWritten(timeoutMs)) {
        if (error)
            *error = socket.errorString();
        return ChannelSend::NotWritten;
    }
    QByteArray received;
    QElapsedTimer waited;
    waited.start();
    while (!received.contains('\n') && waited.elapsed() < timeoutMs) {
        if (socket.bytesAvailable() == 0 && socket.state() != QLocalSocket::ConnectedState)
            break;
        if (socket.bytesAvailable() == 0 && !socket.waitForReadyRead(int(timeoutMs - waited.elapsed())))
            continue;
        received += socket.readAll();
    }
    const int end = received.indexOf('\n');
    if (end >= 0)
        *answer = received.left(end);
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(timeoutMs);
    return ChannelSend::Sent;
}

ChannelServer::ChannelServer(const QString &label, int maxBytes, int timeoutMs, QObject *parent)
    : QObject(parent), m_label(label), m_maxBytes(maxBytes), m_timeoutMs(timeoutMs),
      m_server(new QLocalServer(this))
{
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &ChannelServer::acceptPending);
}

ChannelServer::~ChannelServer() = default;

bool ChannelServer::listen(const QString &path)
{
    QLocalServer::removeServer(path);
    return m_server->listen(path);
}

QString ChannelServer::errorString() const
{
    return m_server->errorString();
}

void ChannelServer::setAnswerer(std::function<QByteArray(const QByteArray &message)> answerer)
{
    m_answerer = std::move(answerer);
}

void ChannelServer::close()
{
    m_server->close();
}

void ChannelServer::acceptPending()
{
    while (m_server->hasPendingConnections()) {
        QLocalSocket *socket = m_server->nextPendingConnection();
        const long peer = peerUserId(socket);
        if (peer != static_cast<long>(::geteuid())) {
            qDebug().noquote() << m_label +
                                      QStringLiteral(" channel: connection of another user refused, uid")
                               << peer;
            socket->abort();
            socket->deleteLater();
            continue;
        }
        read(socket);
    }
}

// Collects one connection's message from the event loop: the sender writes one message, possibly in
// pieces, and disconnects; a sender that takes longer than the bound is dropped.
void ChannelServer::read(QLocalSocket *socket)
{
    struct Reading
    {
        QByteArray data;
        bool done = false;
    };
    auto reading = std::make_shared<Reading>();
    auto *deadline = new QTimer(socket);
    deadline->setSingleShot(true);

    const auto finish = [this, socket, reading, deadline](const QString &failure) {
        if (reading->done)
            return;
        reading->done = true;
        deadline->stop();
        if (!failure.isEmpty() || reading->data.isEmpty()) {
            qDebug() << (failure.isEmpty() ? socket->errorString() : failure).toLatin1();
            socket->abort();
            socket->deleteLater();
            return;
        }
        socket->deleteLater();
        emit messageReceived(reading->data);
    };
    // A request that wants an answer ends with LF: answered before it is handed on, so that the answer
    // tells the state in which the message was taken.
    const auto answer = [this, socket, reading, deadline](int end) {
        reading->done = true;
        deadline->stop();
        const QByteArray message = reading->data.left(end);
        if (message.isEmpty()) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        socket->write(m_answerer(message) + '\n');
        socket->flush();
        if (socket->bytesToWrite() > 0)
            socket->waitForBytesWritten(m_timeoutMs);
        socket->disconnectFromServer();
        socket->deleteLater();
        emit messageReceived(message);
    };
    const auto collect = [this, socket, reading, finish, answer] {
        if (reading->done)
            return;
        reading->data += socket->readAll();
        const int end = m_answerer ? reading->data.indexOf('\n') : -1;
        if (end >= 0 && end <= m_maxBytes)
            answer(end);
        else if (reading->data.size() > m_maxBytes)
            finish(m_label + QStringLiteral(" message too long"));
    };
    connect(socket, &QLocalSocket::readyRead, this, collect);
    connect(socket, &QLocalSocket::disconnected, this, [collect, finish] {
        collect();
        finish(QString());
    });
    connect(deadline, &QTimer::timeout, this, [this, finish] {
        finish(QStringLiteral("%1 message incomplete after %2 ms").arg(m_label).arg(m_timeoutMs));
    });
    deadline->start(m_timeoutMs);

    // What arrived before the connection was taken up, and a sender that is gone already.
    collect();
    if (!reading->done && socket->state() != QLocalSocket::ConnectedState)
        finish(QString());
}

} // namespace Platform
