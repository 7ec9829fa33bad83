#include "orvapplication.h"

#include "commandline.h"
#include "global.h"
#include "paths.h"
#include "sharedsegment.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QLocalServer>
#include <QLocalSocket>

namespace {
constexpr int kChannelTimeoutMs = 1000;
constexpr int kMaxMessageBytes = 64 * 1024;
// How long a fresh segment owner waits for a predecessor that is still on its way out (restart).
constexpr int kOwnerHandOverMs = 3000;
} // namespace

OrvApplication::OrvApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    Platform::initSettingsPaths();
    parseCommandLine();
    settleSingleInstance();
}

OrvApplication::~OrvApplication() = default;

void OrvApplication::settleSingleInstance()
{
    m_key = Global::vmName;
    SharedSegment &segment = Global::instanceSegment();
    segment.setKey(m_key);

    // Nobody alive owns this VM when the owner lock is free: a segment or channel found now was left
    // behind by a process that died without cleaning up.
    const bool noLiveOwner = segment.takeOwnership();
    bool attached = segment.attach();
    if (attached && noLiveOwner) {
        qDebug() << "Removing the instance leftovers of a process that has ended:" << m_key;
        segment.remove();
        QLocalServer::removeServer(m_key);
        attached = false;
    }

    if (attached && !CommandLine::reboot) {
        m_isRunning = true;
    } else {
        m_isRunning = false;
        if (!segment.create(SharedSegment::DefaultSize)) {
            qDebug() << "Unable to create single instance.";
            return;
        }
        // A restarted process can get here while its predecessor is still leaving.
        if (!segment.ownsKey())
            segment.takeOwnership(kOwnerHandOverMs);
        QLocalServer::removeServer(m_key);
        m_server = new QLocalServer(this);
        m_server->setSocketOptions(QLocalServer::UserAccessOption);
        connect(m_server, &QLocalServer::newConnection, this, &OrvApplication::receiveMessage);
        m_server->listen(m_key);
    }

    if (CommandLine::stop)
        m_isRunning = true;
}

bool OrvApplication::sendMessage(const QString &message)
{
    if (!m_isRunning)
        return false;

    QLocalSocket socket(this);
    socket.connectToServer(m_key, QIODevice::WriteOnly);
    if (!socket.waitForConnected(kChannelTimeoutMs)) {
        qDebug() << socket.errorString().toLatin1();
        return false;
    }
    socket.write(message.toUtf8());
    if (!socket.waitForBytesWritten(kChannelTimeoutMs)) {
        qDebug() << socket.errorString().toLatin1();
        return false;
    }
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kChannelTimeoutMs);
    return true;
}

void OrvApplication::receiveMessage()
{
    while (m_server && m_server->hasPendingConnections()) {
        QLocalSocket *socket = m_server->nextPendingConnection();
        // The sender writes one message and disconnects; it may arrive in several pieces.
        QByteArray data;
        QElapsedTimer clock;
        clock.start();
        bool complete = false;
        for (;;) {
            data += socket->readAll();
            if (data.size() > kMaxMessageBytes)
                break;
            if (socket->state() != QLocalSocket::ConnectedState) {
                data += socket->readAll();
                complete = true;
                break;
            }
            const qint64 left = kChannelTimeoutMs - clock.elapsed();
            if (left <= 0)
                break;
            socket->waitForReadyRead(static_cast<int>(left));
        }
        if (!complete || data.isEmpty() || data.size() > kMaxMessageBytes) {
            qDebug() << (data.size() > kMaxMessageBytes ? QByteArray("instance message too long")
                                                        : socket->errorString().toLatin1());
            socket->abort();
            socket->deleteLater();
            continue;
        }
        socket->deleteLater();
        emit messageAvailable(QString::fromUtf8(data));
    }
}

void OrvApplication::releaseInstance()
{
    if (m_server) {
        m_server->close();
        delete m_server;
        m_server = nullptr;
    }
    // The quit sequence has normally detached the segment already.
    Global::instanceSegment().detach();
    Global::instanceSegment().releaseOwnership();
}
