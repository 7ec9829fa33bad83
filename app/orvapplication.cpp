#include "orvapplication.h"

#include "commandline.h"
#include "global.h"
#include "machinename.h"
#include "paths.h"
#include "sharedsegment.h"

#include <QDebug>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {
constexpr int kChannelTimeoutMs = 1000;
constexpr int kMaxMessageBytes = 64 * 1024;
// How long a restarted process waits for its predecessor, which is on its way out, to give up the
// owner lock.
constexpr int kOwnerHandOverMs = 3000;

// Ends the process before anything is touched: the user (or the starting program's log) sees why.
[[noreturn]] void refuseToStart(const QString &why)
{
    std::fprintf(stderr, "Orvanta: %s\n", why.toLocal8Bit().constData());
    std::fflush(stderr);
    std::exit(1);
}

// The user id of the process at the other end of a local socket; -1 when it cannot be read.
long peerUserId(QLocalSocket *socket)
{
    struct ucred credentials = {};
    socklen_t length = sizeof(credentials);
    const int fd = static_cast<int>(socket->socketDescriptor());
    if (fd < 0 || ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &length) != 0)
        return -1;
    return static_cast<long>(credentials.uid);
}

// Refuses a channel path that exists and is not this user's own socket (nothing to connect to there,
// nothing to remove).
QString foreignChannelProblem(const QString &path)
{
    struct stat info;
    if (::lstat(QFile::encodeName(path).constData(), &info) != 0)
        return QString();
    if (info.st_uid != ::geteuid())
        return QStringLiteral("the instance channel %1 belongs to another user (uid %2)")
            .arg(path)
            .arg(info.st_uid);
    if (!S_ISSOCK(info.st_mode))
        return QStringLiteral("the instance channel %1 is not a socket").arg(path);
    return QString();
}
} // namespace

OrvApplication::OrvApplication(int &argc, char **argv) : QApplication(argc, argv)
{
    Platform::initSettingsPaths();
    parseCommandLine();
    settleSingleInstance();
}

OrvApplication::~OrvApplication() = default;

QString OrvApplication::channelPath(const QString &key, QString *problem)
{
    const QString dir = Platform::privateRuntimeDir(problem);
    if (dir.isEmpty())
        return QString();
    const QString path = dir + QLatin1Char('/') + key;
    if (QFile::encodeName(path).size() >= static_cast<int>(sizeof(sockaddr_un::sun_path))) {
        if (problem)
            *problem =
                QStringLiteral("the instance channel path %1 is too long for a local socket").arg(path);
        return QString();
    }
    return path;
}

void OrvApplication::settleSingleInstance()
{
    m_key = Global::vmName;
    // The name becomes folder, file and socket names: refuse it before anything is touched.
    const QString nameProblem = machineNameProblem(m_key);
    if (!nameProblem.isEmpty())
        refuseToStart(QStringLiteral("%1: \"%2\"").arg(nameProblem, m_key));
    QString problem;
    m_channelPath = channelPath(m_key, &problem);
    if (m_channelPath.isEmpty())
        refuseToStart(problem);
    problem = foreignChannelProblem(m_channelPath);
    if (!problem.isEmpty())
        refuseToStart(problem);

    SharedSegment &segment = Global::instanceSegment();
    segment.setKey(m_key);

    // Whoever goes on as the machine's process holds its owner lock. A restart waits a little for its
    // predecessor to let go; a start that cannot get the lock hands its request over instead.
    bool owner = segment.takeOwnership();
    if (!owner && CommandLine::reboot && !CommandLine::stop)
        owner = segment.takeOwnership(kOwnerHandOverMs);
    if (!owner) {
        m_isRunning = true;
        return;
    }
    if (CommandLine::stop) {
        // Nobody runs for this machine: there is nothing to stop, and nothing is created.
        segment.releaseOwnership();
        m_isRunning = false;
        return;
    }

    // Nobody alive owns this machine but us: a segment or channel found now was left behind by a
    // process that died without cleaning up.
    if (segment.attach()) {
        qDebug() << "Removing the instance leftovers of a process that has ended:" << m_key;
        segment.remove();
    }
    QLocalServer::removeServer(m_channelPath);

    m_isRunning = false;
    if (!segment.create(SharedSegment::DefaultSize))
        qDebug() << "Unable to create single instance.";
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    connect(m_server, &QLocalServer::newConnection, this, &OrvApplication::receiveMessage);
    if (!m_server->listen(m_channelPath))
        qDebug() << "Instance channel not listening:" << m_server->errorString();
}

bool OrvApplication::sendMessage(const QString &message, QString *problem)
{
    const auto fail = [&](const QString &why) {
        qDebug() << why.toLatin1();
        if (problem)
            *problem = why;
        return false;
    };
    if (!m_isRunning)
        return fail(QStringLiteral("no running emulator to send to"));
    const QString foreign = foreignChannelProblem(m_channelPath);
    if (!foreign.isEmpty())
        return fail(foreign);

    QLocalSocket socket(this);
    socket.connectToServer(m_channelPath, QIODevice::WriteOnly);
    if (!socket.waitForConnected(kChannelTimeoutMs))
        return fail(QStringLiteral("the emulator of %1 does not answer on %2: %3")
                        .arg(m_key, m_channelPath, socket.errorString()));
    socket.write(message.toUtf8());
    if (!socket.waitForBytesWritten(kChannelTimeoutMs))
        return fail(QStringLiteral("the request could not be written to the emulator of %1: %2")
                        .arg(m_key, socket.errorString()));
    socket.disconnectFromServer();
    if (socket.state() != QLocalSocket::UnconnectedState)
        socket.waitForDisconnected(kChannelTimeoutMs);
    return true;
}

void OrvApplication::receiveMessage()
{
    while (m_server && m_server->hasPendingConnections()) {
        QLocalSocket *socket = m_server->nextPendingConnection();
        const long peer = peerUserId(socket);
        if (peer != static_cast<long>(::geteuid())) {
            qDebug() << "instance channel: connection of another user refused, uid" << peer;
            socket->abort();
            socket->deleteLater();
            continue;
        }
        readMessage(socket);
    }
}

// Collects one connection's message without waiting on this (the GUI) thread: the sender writes one
// message, possibly in pieces, and disconnects; a sender that takes longer than the bound is dropped.
void OrvApplication::readMessage(QLocalSocket *socket)
{
    struct Reading
    {
        QByteArray data;
        bool done = false;
    };
    auto reading = std::make_shared<Reading>();
    auto *deadline = new QTimer(socket);
    deadline->setSingleShot(true);

    const auto finish = [this, socket, reading, deadline](const QByteArray &failure) {
        if (reading->done)
            return;
        reading->done = true;
        deadline->stop();
        if (!failure.isEmpty() || reading->data.isEmpty()) {
            qDebug() << (failure.isEmpty() ? socket->errorString().toLatin1() : failure);
            socket->abort();
            socket->deleteLater();
            return;
        }
        socket->deleteLater();
        emit messageAvailable(QString::fromUtf8(reading->data));
    };
    const auto collect = [socket, reading, finish] {
        if (reading->done)
            return;
        reading->data += socket->readAll();
        if (reading->data.size() > kMaxMessageBytes)
            finish("instance message too long");
    };
    connect(socket, &QLocalSocket::readyRead, this, collect);
    connect(socket, &QLocalSocket::disconnected, this, [collect, finish] {
        collect();
        finish(QByteArray());
    });
    connect(deadline, &QTimer::timeout, this,
            [finish] { finish("instance message incomplete after 1000 ms"); });
    deadline->start(kChannelTimeoutMs);

    // What arrived before the connection was taken up, and a sender that is gone already.
    collect();
    if (!reading->done && socket->state() != QLocalSocket::ConnectedState)
        finish(QByteArray());
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
