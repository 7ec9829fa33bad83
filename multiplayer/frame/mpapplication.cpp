#include "mpapplication.h"

#include "instancelock.h"
#include "localchannel.h"
#include "machinename.h"
#include "mpcommandline.h"
#include "mpruntime.h"
#include "paths.h"
#include "sharedsegment.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QThread>

#include <cstdio>

namespace OrvMulti {

const char *const OrvApplication::kKey = "OrvMulPlayerManagerXXYY";

namespace {
constexpr int kChannelTimeoutMs = 1000;
// A manager message is two short names; anything longer is not one.
constexpr int kMaxMessageBytes = 64 * 1024;
constexpr int kSegmentSize = 1;
constexpr int kStartingOwnerWaitMs = 1000;
constexpr int kStartingOwnerPollMs = 20;
} // namespace

OrvApplication::OrvApplication(int &argc, char **argv)
    : QApplication(argc, argv), m_key(programRuntimeKey(QString::fromLatin1(kKey))),
      m_segment(new SharedSegment)
{
    Platform::initSettingsPaths();
    parseCommandLine(arguments());
    settleSingleInstance();
}

OrvApplication::~OrvApplication()
{
    if (m_server) {
        m_server->close();
        delete m_server;
        m_server = nullptr;
    }
    m_segment->detach();
    m_segment->releaseOwnership();
}

void OrvApplication::refuse(const QString &problem)
{
    // Said where the user who started it sees it, and kept in the log.
    qCritical().noquote() << QStringLiteral("manager refused to start: ") + problem;
    std::fprintf(stderr, "OrvMultiPlayer: %s\n", problem.toLocal8Bit().constData());
    std::fflush(stderr);
    m_refused = true;
}

void OrvApplication::settleSingleInstance()
{
    QString problem;
    m_channelPath = channelPath(m_key, &problem);
    if (m_channelPath.isEmpty()) {
        // Whoever controls that folder could take over or block the manager: set nothing up there.
        refuse(problem);
        return;
    }
    m_segment->setKey(m_key);
    // With the owner lock free nobody alive runs a manager: a segment or channel found now is a
    // leftover of a manager that died without cleaning up.
    const bool noLiveOwner = m_segment->takeOwnership();
    if (!noLiveOwner) {
        // A lock this user can never take would make every start either a second window or a message
        // that nobody receives.
        problem = InstanceLock::foreignLockProblem(m_key);
        if (!problem.isEmpty()) {
            refuse(problem);
            return;
        }
    }
    // Another user's segment is neither used nor removed.
    problem = SharedSegment::foreignSegmentProblem(m_key);
    if (!problem.isEmpty()) {
        m_segment->releaseOwnership();
        refuse(problem);
        return;
    }
    bool attached = m_segment->attach();
    if (attached && noLiveOwner) {
        qInfo() << "Removing the leftovers of a manager that has ended";
        m_segment->remove();
        attached = false;
    }
    if (!attached && !noLiveOwner) {
        // A live manager holds the lock but has not made its segment yet: it is starting right now.
        QElapsedTimer clock;
        clock.start();
        while (!attached && clock.elapsed() < kStartingOwnerWaitMs) {
            QThread::msleep(kStartingOwnerPollMs);
            attached = m_segment->attach();
        }
    }
    if (attached) {
        m_isRunning = true;
        return;
    }

    m_isRunning = false;
    if (!noLiveOwner) {
        // The live owner never made its segment: a second window beside it would lose status words.
        refuse(QStringLiteral("another manager holds %1 but does not answer").arg(m_key));
        return;
    }
    if (!m_segment->create(kSegmentSize)) {
        refuse(QStringLiteral("Unable to create single instance: %1").arg(m_segment->errorString()));
        return;
    }
    m_server =
        new Platform::ChannelServer(QStringLiteral("manager"), kMaxMessageBytes, kChannelTimeoutMs, this);
    connect(m_server, &Platform::ChannelServer::messageReceived, this, [this](const QByteArray &data) {
        // A sender may end its message with a NUL: the text stops there.
        const int nul = data.indexOf('\0');
        emit messageAvailable(QString::fromUtf8(nul >= 0 ? data.left(nul) : data));
    });
    if (!m_server->listen(m_channelPath))
        qDebug() << "manager channel:" << m_server->errorString();
}

bool OrvApplication::sendMessage(const QString &text)
{
    if (!m_isRunning)
        return false;
    QString error;
    if (Platform::sendChannelMessage(m_channelPath, text.toUtf8(), kChannelTimeoutMs, &error) !=
        Platform::ChannelSend::Sent) {
        qDebug() << error;
        return false;
    }
    return true;
}

} // namespace OrvMulti
