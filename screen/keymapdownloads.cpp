#include "keymapdownloads.h"

#include "logtags.h"
#include "processrunner.h"
#include "programs.h"
#include "timeoutscale.h"

#include <QCoreApplication>
#include <QDebug>
#include <QPointer>
#include <QThreadPool>

KeyMapDownloads::KeyMapDownloads(QString program, QObject *parent)
    : QObject(parent), m_program(std::move(program))
{
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
}

void KeyMapDownloads::start(const Job &job)
{
    const QString path = Platform::findProgram(m_program);
    if (path.isEmpty()) {
        qInfo().noquote() << ORV_LOG_ANDROID "key-map download for " + job.package + " could not start";
        emit started(job.package, false);
        emit finished(job.package);
        return;
    }
    m_running.insert(job.package);
    m_peak = qMax(m_peak, m_running.size());
    Platform::ProcessRequest request;
    request.program = path;
    request.arguments = QStringList{QStringLiteral("-type=pkg"), QStringLiteral("-vm=") + job.vm,
                                    QStringLiteral("-pkg=") + job.package};
    request.timeoutMs = TimeoutScale::ms(kLimitMs);
    request.captureOutput = false;
    const QPointer<KeyMapDownloads> guard(this);
    const QString package = job.package;
    QThreadPool::globalInstance()->start([guard, request, package] {
        const Platform::ProcessOutcome outcome = Platform::runProcess(request);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [guard, package, outcome] {
                const bool ok = outcome.result != Platform::ProcessResult::FailedToStart;
                qInfo().noquote() << ORV_LOG_ANDROID "key-map download for " + package + " ended (" +
                                         QLatin1String(Platform::processResultName(outcome.result)) + ")";
                if (outcome.result == Platform::ProcessResult::TimedOut)
                    qInfo().noquote()
                        << ORV_LOG_ANDROID "key-map download for " + package + " took too long and was ended";
                if (guard)
                    guard->onEnded(package, ok);
            },
            Qt::QueuedConnection);
    });
    qInfo().noquote() << ORV_LOG_ANDROID "key-map download for " + package + " started";
    emit started(job.package, true);
}

void KeyMapDownloads::onEnded(const QString &package, bool ok)
{
    m_running.remove(package);
    if (!ok)
        qInfo().noquote() << ORV_LOG_ANDROID "key-map download for " + package + " could not start";
    emit finished(package);
    pump();
}
