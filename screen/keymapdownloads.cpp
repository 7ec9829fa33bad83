#include "keymapdownloads.h"

#include "logtags.h"
#include "processrunner.h"
#include "timeoutscale.h"

#include <QDebug>

#include <csignal>
#include <sys/types.h>

namespace {

// How often a running downloader is looked at.
constexpr int kPollMs = 100;

// The process has not ended yet (the background reaper takes it away once it has).
bool alive(qint64 pid)
{
    return pid > 0 && ::kill(static_cast<pid_t>(pid), 0) == 0;
}

} // namespace

KeyMapDownloads::KeyMapDownloads(QString program, QObject *parent)
    : QObject(parent), m_program(std::move(program))
{
    m_poll.setInterval(kPollMs);
    connect(&m_poll, &QTimer::timeout, this, &KeyMapDownloads::poll);
}

KeyMapDownloads::~KeyMapDownloads() = default;

bool KeyMapDownloads::request(const QString &vm, const QString &package)
{
    if (m_running.contains(package))
        return false;
    for (const Job &job : m_waiting) {
        if (job.package == package)
            return false;
    }
    m_waiting.append({vm, package});
    pump();
    return true;
}

void KeyMapDownloads::pump()
{
    while (m_running.size() < kMaxRunning && !m_waiting.isEmpty())
        start(m_waiting.takeFirst());
    if (m_running.isEmpty())
        m_poll.stop();
    else if (!m_poll.isActive())
        m_poll.start();
}

void KeyMapDownloads::start(const Job &job)
{
    Platform::ProcessRequest request;
    request.program = m_program;
    request.arguments = QStringList{QStringLiteral("-type=pkg"), QStringLiteral("-vm=") + job.vm,
                                    QStringLiteral("-pkg=") + job.package};
    const Platform::ProcessOutcome outcome = Platform::startDetached(request);
    if (outcome.result != Platform::ProcessResult::Started) {
        qInfo().noquote() << ORV_LOG_ANDROID "key-map download for " + job.package + " could not start";
        emit started(job.package, false);
        emit finished(job.package);
        return;
    }
    Run run;
    run.pid = outcome.pid;
    run.clock.start();
    m_running.insert(job.package, run);
    m_peak = qMax(m_peak, m_running.size());
    qInfo().noquote() << ORV_LOG_ANDROID "key-map download for " + job.package + " started";
    emit started(job.package, true);
}

void KeyMapDownloads::poll()
{
    QStringList ended;
    for (auto it = m_running.begin(); it != m_running.end(); ++it) {
        if (!alive(it.value().pid)) {
            ended << it.key();
        } else if (it.value().clock.elapsed() > TimeoutScale::ms(kLimitMs)) {
            // The downloader ends its own run before this; one that does not is ended here.
            qInfo().noquote() << ORV_LOG_ANDROID "key-map download for " + it.key() +
                                     " took too long and was ended";
            ::kill(static_cast<pid_t>(it.value().pid), SIGKILL);
            ended << it.key();
        }
    }
    for (const QString &package : ended) {
        m_running.remove(package);
        qInfo().noquote() << ORV_LOG_ANDROID "key-map download for " + package + " ended";
        emit finished(package);
    }
    pump();
}
