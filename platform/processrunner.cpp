#include "processrunner.h"

#include "programs.h"

#include <QElapsedTimer>
#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace Platform {

namespace {

// Signals a program started on the crash path gets back in their default course: the crashed program
// may have blocked or ignored them. Ordinary starts keep what exec() keeps (an ignored SIGPIPE stays
// ignored), as the programs this system starts expect.
constexpr int kCrashPathDefaultSignals[] = {SIGPIPE, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Spawn attributes: an empty signal mask, optionally a new session and default signals for the crash
// path. posix_spawnattr_* keep everything inside the attribute object: no heap allocation.
void initAttributes(posix_spawnattr_t *attributes, bool newSession, bool crashPath = false)
{
    posix_spawnattr_init(attributes);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(attributes, &none);
    short flags = POSIX_SPAWN_SETSIGMASK;
    if (crashPath) {
        sigset_t defaults;
        sigemptyset(&defaults);
        for (int signo : kCrashPathDefaultSignals)
            sigaddset(&defaults, signo);
        posix_spawnattr_setsigdefault(attributes, &defaults);
        flags |= POSIX_SPAWN_SETSIGDEF;
    }
    if (newSession)
        flags |= POSIX_SPAWN_SETSID;
    posix_spawnattr_setflags(attributes, flags);
}

// As Qt's own process and socket code does, a program that starts others ignores SIGPIPE, and its
// started programs inherit that: one that outlives the reader of its output (a restarted emulator
// whose predecessor's reader has gone) then gets an error on write instead of being killed. A handler
// of the caller's own is left alone.
void ignoreBrokenPipes()
{
    static std::once_flag once;
    std::call_once(once, [] {
        struct sigaction current = {};
        if (sigaction(SIGPIPE, nullptr, &current) == 0 && current.sa_handler == SIG_DFL &&
            !(current.sa_flags & SA_SIGINFO))
            signal(SIGPIPE, SIG_IGN);
    });
}

// Waits for `pid` without time limit, retrying on interruption; the raw wait status, or -1.
int waitForEnd(pid_t pid)
{
    int status = 0;
    for (;;) {
        if (waitpid(pid, &status, 0) == pid)
            return status;
        if (errno != EINTR)
            return -1;
    }
}

void reapInBackground(pid_t pid)
{
    std::thread([pid] { waitForEnd(pid); }).detach();
}

void fillEnd(ProcessOutcome *outcome, int status)
{
    if (WIFEXITED(status)) {
        outcome->result = ProcessResult::Finished;
        outcome->exitCode = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        outcome->result = ProcessResult::Crashed;
        outcome->signal = WTERMSIG(status);
    } else {
        outcome->result = ProcessResult::Crashed;
    }
}

// The argument vector of a start, kept alive for the posix_spawn call.
struct ArgumentVector
{
    std::vector<QByteArray> texts;
    std::vector<char *> argv;

    ArgumentVector(const QString &path, const QStringList &arguments)
    {
        texts.push_back(QFile::encodeName(path));
        for (const QString &argument : arguments)
            texts.push_back(argument.toLocal8Bit());
        for (QByteArray &text : texts)
            argv.push_back(text.data());
        argv.push_back(nullptr);
    }
};

QString resolve(const QString &program)
{
    return findProgram(program);
}

// Moves whatever `fd` holds now into `sink`; false once the writing end is closed (or on an error).
bool drain(int fd, QByteArray *sink)
{
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof(buffer));
        if (got > 0) {
            sink->append(buffer, static_cast<int>(got));
            continue;
        }
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        return false;
    }
}

// A descriptor that becomes readable when `pid` ends (Linux 5.3 and later); -1 where there is none.
int openPidDescriptor(pid_t pid)
{
#ifdef SYS_pidfd_open
    return static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
#else
    (void)pid;
    return -1;
#endif
}

// Starts `path` with the request's arguments and working folder, using (and then destroying) the file
// actions the caller prepared; `newSession` detaches the child from our session. Returns posix_spawn's error.
int spawnWith(const QString &path, const ProcessRequest &request, posix_spawn_file_actions_t *actions,
              bool newSession, pid_t *pid)
{
    const QByteArray folder = QFile::encodeName(request.workingFolder);
    if (!request.workingFolder.isEmpty())
        posix_spawn_file_actions_addchdir_np(actions, folder.constData());
    posix_spawnattr_t attributes;
    initAttributes(&attributes, newSession);
    ArgumentVector args(path, request.arguments);
    const int spawnError = posix_spawn(pid, args.argv[0], actions, &attributes, args.argv.data(), environ);
    posix_spawn_file_actions_destroy(actions);
    posix_spawnattr_destroy(&attributes);
    return spawnError;
}

} // namespace

const char *processResultName(ProcessResult result)
{
    switch (result) {
    case ProcessResult::Started:
        return "started";
    case ProcessResult::Finished:
        return "finished";
    case ProcessResult::TimedOut:
        return "timed out";
    case ProcessResult::FailedToStart:
        return "failed to start";
    case ProcessResult::Crashed:
        return "crashed";
    }
    return "?";
}

ProcessOutcome runProcess(const ProcessRequest &request)
{
    ignoreBrokenPipes();
    ProcessOutcome outcome;
    const QString path = resolve(request.program);
    if (path.isEmpty()) {
        outcome.errorText = QStringLiteral("program not found: ") + request.program;
        return outcome;
    }

    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    const auto closeAll = [&] {
        for (int *fd : {&outPipe[0], &outPipe[1], &errPipe[0], &errPipe[1]}) {
            if (*fd >= 0)
                ::close(*fd);
            *fd = -1;
        }
    };
    if (request.captureOutput && (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0)) {
        outcome.errorText = QStringLiteral("cannot create pipes: ") + QString::fromLocal8Bit(strerror(errno));
        closeAll();
        return outcome;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (request.captureOutput) {
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, errPipe[1], STDERR_FILENO);
    }
    pid_t pid = 0;
    const int spawnError = spawnWith(path, request, &actions, false, &pid);
    if (outPipe[1] >= 0)
        ::close(outPipe[1]);
    if (errPipe[1] >= 0)
        ::close(errPipe[1]);
    outPipe[1] = errPipe[1] = -1;
    if (spawnError != 0) {
        closeAll();
        outcome.errorText =
            QStringLiteral("cannot start %1: %2").arg(path, QString::fromLocal8Bit(strerror(spawnError)));
        return outcome;
    }
    outcome.pid = pid;
    if (request.captureOutput) {
        fcntl(outPipe[0], F_SETFL, O_NONBLOCK);
        fcntl(errPipe[0], F_SETFL, O_NONBLOCK);
    }

    // The end of the process is watched, not the end of its output: a program that leaves a child
    // behind holding the pipes open still counts as finished when it ends itself.
    const int pidFd = openPidDescriptor(pid);
    QElapsedTimer clock;
    clock.start();
    bool outOpen = request.captureOutput;
    bool errOpen = request.captureOutput;
    int status = 0;
    bool ended = false;
    for (;;) {
        const pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            ended = true;
            break;
        }
        if (done < 0 && errno != EINTR) {
            status = -1;
            ended = true;
            break;
        }
        int waitMs = -1;
        if (request.timeoutMs >= 0) {
            const qint64 left = request.timeoutMs - clock.elapsed();
            if (left <= 0)
                break;
            waitMs = static_cast<int>(left);
        }
        // Without a process descriptor the end is noticed by polling every few milliseconds.
        if (pidFd < 0 && (waitMs < 0 || waitMs > 10))
            waitMs = 10;
        pollfd fds[3];
        nfds_t count = 0;
        if (outOpen)
            fds[count++] = {outPipe[0], POLLIN, 0};
        if (errOpen)
            fds[count++] = {errPipe[0], POLLIN, 0};
        if (pidFd >= 0)
            fds[count++] = {pidFd, POLLIN, 0};
        if (count == 0) {
            // Both channels closed and no descriptor: only the end is left to wait for.
            ::usleep(static_cast<useconds_t>((waitMs < 0 ? 10 : qMin(waitMs, 10)) * 1000));
            continue;
        }
        if (::poll(fds, count, waitMs) < 0 && errno != EINTR)
            break;
        if (outOpen)
            outOpen = drain(outPipe[0], &outcome.standardOutput);
        if (errOpen)
            errOpen = drain(errPipe[0], &outcome.standardError);
    }

    if (ended) {
        // Whatever the program wrote before it ended is in the pipes already.
        if (outOpen)
            drain(outPipe[0], &outcome.standardOutput);
        if (errOpen)
            drain(errPipe[0], &outcome.standardError);
        if (status == -1) {
            outcome.result = ProcessResult::Crashed;
            outcome.errorText = QStringLiteral("lost track of the process");
        } else {
            fillEnd(&outcome, status);
        }
    } else {
        outcome.result = ProcessResult::TimedOut;
        if (request.killOnTimeout) {
            ::kill(pid, SIGKILL);
            waitForEnd(pid);
        } else {
            reapInBackground(pid);
        }
        if (outOpen)
            drain(outPipe[0], &outcome.standardOutput);
        if (errOpen)
            drain(errPipe[0], &outcome.standardError);
    }
    if (pidFd >= 0)
        ::close(pidFd);
    closeAll();
    return outcome;
}

ProcessOutcome startDetached(const ProcessRequest &request)
{
    ignoreBrokenPipes();
    ProcessOutcome outcome;
    const QString path = resolve(request.program);
    if (path.isEmpty()) {
        outcome.errorText = QStringLiteral("program not found: ") + request.program;
        return outcome;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    pid_t pid = 0;
    const int spawnError = spawnWith(path, request, &actions, true, &pid);
    if (spawnError != 0) {
        outcome.errorText =
            QStringLiteral("cannot start %1: %2").arg(path, QString::fromLocal8Bit(strerror(spawnError)));
        return outcome;
    }
    reapInBackground(pid);
    outcome.result = ProcessResult::Started;
    outcome.pid = pid;
    return outcome;
}

bool CrashSafeCommand::set(const QString &program, const QStringList &arguments)
{
    clear();
    const QString path = resolve(program);
    if (path.isEmpty() || arguments.size() + 1 > kMaxArguments)
        return false;
    std::vector<QByteArray> texts{QFile::encodeName(path)};
    for (const QString &argument : arguments)
        texts.push_back(argument.toLocal8Bit());
    int pos = 0;
    for (const QByteArray &text : texts) {
        if (pos + text.size() + 1 > kTextSize) {
            clear();
            return false;
        }
        m_offsets[m_argc++] = pos;
        memcpy(m_text + pos, text.constData(), static_cast<size_t>(text.size()));
        pos += text.size();
        m_text[pos++] = '\0';
    }
    return true;
}

void CrashSafeCommand::clear()
{
    m_argc = 0;
    m_text[0] = '\0';
}

ProcessOutcome CrashSafeCommand::run(bool wait) const
{
    ProcessOutcome outcome;
    if (!isSet())
        return outcome;
    // On this thread's stack: nothing here may touch the heap.
    char *argv[kMaxArguments + 1];
    for (int i = 0; i < m_argc; ++i)
        argv[i] = const_cast<char *>(m_text + m_offsets[i]);
    argv[m_argc] = nullptr;

    posix_spawnattr_t attributes;
    initAttributes(&attributes, !wait, true);
    pid_t pid = 0;
    const int spawnError = posix_spawn(&pid, argv[0], nullptr, &attributes, argv, environ);
    posix_spawnattr_destroy(&attributes);
    if (spawnError != 0)
        return outcome;
    outcome.pid = pid;
    if (!wait) {
        // The process is about to end; the child is reparented then and needs no reaping here.
        outcome.result = ProcessResult::Started;
        return outcome;
    }
    const int status = waitForEnd(pid);
    if (status == -1)
        outcome.result = ProcessResult::Crashed;
    else
        fillEnd(&outcome, status);
    return outcome;
}

} // namespace Platform
