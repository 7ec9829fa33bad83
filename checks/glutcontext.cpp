#include "glutcontext.h"

#include "logtags.h"
#include "processrunner.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>

#include <GL/gl.h>
#include <X11/Xlib.h>

#include <future>
#include <mutex>

namespace {

// The checks open their X connections on whichever thread runs them; see the colour-depth probe.
const bool xlibThreadsReady = XInitThreads() != 0;

constexpr int kProbeWaitMs = 20000;

std::mutex &probeMutex()
{
    static std::mutex mutex;
    return mutex;
}

enum class ProbeState
{
    Untried,
    Ready,
    Failed
};
ProbeState probeState = ProbeState::Untried;
QString probeFailure;

thread_local const GlutContext *currentContext = nullptr;

QString probeProgram()
{
    // Before the application object exists (an early prefetch) the folder comes from the program file.
    const QString folder = QCoreApplication::instance() ? QCoreApplication::applicationDirPath()
                                                        : QFileInfo(QStringLiteral("/proc/self/exe"))
                                                              .canonicalFilePath()
                                                              .section(QLatin1Char('/'), 0, -2);
    if (folder.isEmpty())
        return QString();
    const QString path = folder + QStringLiteral("/OrvGlProbe");
    return QFileInfo(path).isExecutable() ? path : QString();
}

struct ProbeAnswer
{
    bool ok = false;
    QStringList lines; // version, vendor, renderer
    QString failure;
};

ProbeAnswer runProbe(const QString &program)
{
    Platform::ProcessRequest request;
    request.program = program;
    request.timeoutMs = kProbeWaitMs;
    const Platform::ProcessOutcome outcome = Platform::runProcess(request);
    ProbeAnswer answer;
    if (outcome.result == Platform::ProcessResult::Finished && outcome.exitCode == 0) {
        answer.ok = true;
        answer.lines = QString::fromLocal8Bit(outcome.standardOutput).split(QLatin1Char('\n'));
    } else {
        answer.failure = QString::fromLocal8Bit(outcome.standardError).trimmed();
        if (answer.failure.isEmpty())
            answer.failure = QStringLiteral("the OpenGL probe %1")
                                 .arg(QLatin1String(Platform::processResultName(outcome.result)));
    }
    return answer;
}

// The answer of a probe started ahead of time; taken by the next object.
std::future<ProbeAnswer> &prefetched()
{
    static std::future<ProbeAnswer> answer;
    return answer;
}

bool initialiseLocked()
{
    if (probeState != ProbeState::Untried)
        return probeState == ProbeState::Ready;
    bool ok = false;
    const QString program = probeProgram();
    if (!program.isEmpty()) {
        const ProbeAnswer answer = runProbe(program);
        ok = answer.ok;
        probeFailure = answer.failure;
    } else {
        const char *reason = nullptr;
        ok = GlxProbeWindow::displayHasOpenGl(&reason);
        if (!ok)
            probeFailure = QString::fromLatin1(reason);
    }
    probeState = ok ? ProbeState::Ready : ProbeState::Failed;
    if (!ok)
        qWarning().noquote() << QStringLiteral(ORV_LOG_LOADING "OpenGL window not made: ") + probeFailure;
    return ok;
}

} // namespace

bool GlutContext::initialise()
{
    std::lock_guard<std::mutex> lock(probeMutex());
    return initialiseLocked();
}

QString GlutContext::failureReason()
{
    std::lock_guard<std::mutex> lock(probeMutex());
    return probeFailure;
}

void GlutContext::prefetch()
{
    const QString program = probeProgram();
    if (program.isEmpty())
        return;
    std::lock_guard<std::mutex> lock(probeMutex());
    if (!prefetched().valid())
        prefetched() = std::async(std::launch::async, [program] { return runProbe(program); });
}

const GlutContext *GlutContext::current()
{
    return currentContext;
}

GlutContext::GlutContext() : m_outer(currentContext)
{
    Q_UNUSED(xlibThreadsReady);
    currentContext = this;
    const QString program = probeProgram();
    if (!program.isEmpty()) {
        // Each object asks afresh (the display or its driver may have changed since), unless a probe
        // started ahead of time has not been taken yet.
        std::future<ProbeAnswer> ahead;
        {
            std::lock_guard<std::mutex> lock(probeMutex());
            ahead = std::move(prefetched());
        }
        const ProbeAnswer answer = ahead.valid() ? ahead.get() : runProbe(program);
        m_valid = answer.ok;
        if (m_valid) {
            m_version = answer.lines.value(0);
            m_vendor = answer.lines.value(1);
            m_renderer = answer.lines.value(2);
        } else {
            qWarning().noquote() << QStringLiteral(ORV_LOG_LOADING "OpenGL window not made: ") +
                                        answer.failure;
        }
        return;
    }
    {
        std::lock_guard<std::mutex> lock(probeMutex());
        if (!initialiseLocked())
            return;
    }
    m_window = std::make_unique<GlxProbeWindow>();
    if (const char *reason = m_window->open()) {
        qWarning().noquote() << QStringLiteral(ORV_LOG_LOADING "OpenGL window not made: ") +
                                    QLatin1String(reason);
        m_window.reset();
        return;
    }
    m_valid = true;
}

GlutContext::~GlutContext()
{
    m_window.reset();
    if (currentContext == this)
        currentContext = m_outer;
}

QString GlutContext::text(unsigned int name) const
{
    if (!m_valid)
        return QString();
    if (m_window) {
        const GLubyte *value = glGetString(name);
        return value ? QString::fromLatin1(reinterpret_cast<const char *>(value)) : QString();
    }
    switch (name) {
    case GL_VERSION:
        return m_version;
    case GL_VENDOR:
        return m_vendor;
    case GL_RENDERER:
        return m_renderer;
    default:
        return QString();
    }
}
