#include "orvapplication.h"

#include "commandline.h"
#include "global.h"
#include "instancelock.h"
#include "localchannel.h"
#include "machinename.h"
#include "paths.h"
#include "sharedsegment.h"

#include <QDebug>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
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
    return Platform::localChannelPath(key, QStringLiteral("instance channel"), problem);
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
    if (!owner) {
        // A lock file that this user can never take would make every start look like a second one that
        // nobody answers.
        problem = InstanceLock::foreignLockProblem(m_key);
        if (!problem.isEmpty())
            refuseToStart(problem);
    }
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

    becomeFirstInstance();
}

void OrvApplication::becomeFirstInstance()
{
    SharedSegment &segment = Global::instanceSegment();
    // A segment file of another user is not a leftover of ours: it is neither used nor removed.
    const QString foreign = SharedSegment::foreignSegmentProblem(m_key);
    if (!foreign.isEmpty())
        refuseToStart(foreign);
    // Nobody alive owns this machine but us: a segment or channel found now was left behind by a
    // process that died without cleaning up.
    if (segment.attach()) {
        qDebug() << "Removing the instance leftovers of a process that has ended:" << m_key;
        segment.remove();
    }

    m_isRunning = false;
    if (!segment.create(SharedSegment::DefaultSize))
        qDebug() << "Unable to create single instance.";
    m_server =
        new Platform::ChannelServer(QStringLiteral("instance"), kMaxMessageBytes, kChannelTimeoutMs, this);
    connect(m_server, &Platform::ChannelServer::messageReceived, this,
            [this](const QByteArray &message) { emit messageAvailable(QString::fromUtf8(message)); });
    // Every request is answered with what became of it: a start that reaches a process on its way out
    // waits for it to end and then starts itself instead of being lost.
    m_server->setAnswerer(
        [](const QByteArray &) { return QByteArray(appQuittingFlag ? kAnswerQuitting : kAnswerTaken); });
    if (!m_server->listen(m_channelPath))
        qDebug() << "Instance channel not listening:" << m_server->errorString();
}

bool OrvApplication::isPredecessorQuitting(const QString &key, const QString &answer)
{
    if (answer == QLatin1String(kAnswerQuitting))
        return true;
    if (!answer.isEmpty())
        return false;
    // No answer in time: a process that is busy but runs on has its request still waiting for it; one
    // that has published its way out (or has already let go of its segment) will never read it.
    SharedSegment segment(key);
    if (!segment.attach())
        return true;
    const QString word = segment.readText();
    return word == QLatin1String(StatusWord::kExiting) || word == QLatin1String(StatusWord::kStop);
}

bool OrvApplication::takeOverFromQuittingProcess(int timeoutMs)
{
    SharedSegment &segment = Global::instanceSegment();
    if (!segment.takeOwnership(timeoutMs))
        return false;
    m_isRunning = false;
    becomeFirstInstance();
    return true;
}

bool OrvApplication::sendMessage(const QString &message, QString *problem, QString *answer)
{
    if (answer)
        answer->clear();
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

    QString error;
    QByteArray answerBytes;
    switch (Platform::sendChannelRequest(m_channelPath, message.toUtf8(), kChannelTimeoutMs, &answerBytes,
                                         &error)) {
    case Platform::ChannelSend::Sent:
        if (answer)
            *answer = QString::fromLatin1(answerBytes);
        return true;
    case Platform::ChannelSend::NoAnswer:
        return fail(
            QStringLiteral("the emulator of %1 does not answer on %2: %3").arg(m_key, m_channelPath, error));
    case Platform::ChannelSend::NotWritten:
        break;
    }
    return fail(
        QStringLiteral("the request could not be written to the emulator of %1: %2").arg(m_key, error));
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
