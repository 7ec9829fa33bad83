#include "crashhandler.h"

#include "global.h"
#include "logtags.h"
#include "processrunner.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <ucontext.h>
#include <unistd.h>

namespace {

constexpr int kCrashSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};
constexpr int kClearTimeoutSeconds = 5;
constexpr size_t kPathSize = 4096;
constexpr int kMaxFrames = 128;

// Everything the signal handler needs is prepared at install time: it may not allocate.
struct CrashState
{
    char dumpFolder[kPathSize] = {};
    char vmName[512] = {};
    char dumpId[96] = {};
    pid_t pid = 0;
    int requestPipe[2] = {-1, -1}; // crashed thread -> handler thread
    int donePipe[2] = {-1, -1};    // handler thread -> crashed thread
    std::atomic<pid_t> handlerThreadTid{0};
    std::atomic<pid_t> crashingTid{0};
    volatile sig_atomic_t dumpWritten = 0;
};

CrashState g_crash;
alignas(16) char g_altStack[256 * 1024];

pid_t currentTid()
{
    return static_cast<pid_t>(syscall(SYS_gettid));
}

size_t textLength(const char *text)
{
    size_t length = 0;
    while (text[length])
        ++length;
    return length;
}

// Copies `text` into `buffer` from `pos`, keeping the terminating zero; returns the new end.
size_t appendText(char *buffer, size_t size, size_t pos, const char *text)
{
    while (*text && pos + 1 < size)
        buffer[pos++] = *text++;
    buffer[pos] = '\0';
    return pos;
}

// Decimal (base 10) or hexadecimal (base 16) digits of `value`, without allocation.
const char *digits(unsigned long long value, unsigned base, char (&out)[32])
{
    char *end = out + sizeof(out) - 1;
    *end = '\0';
    char *p = end;
    do {
        const unsigned digit = static_cast<unsigned>(value % base);
        *--p = static_cast<char>(digit < 10 ? '0' + digit : 'a' + digit - 10);
        value /= base;
    } while (value && p > out);
    return p;
}

class SafeWriter
{
public:
    explicit SafeWriter(int fd) : m_fd(fd) {}
    SafeWriter &operator<<(const char *text)
    {
        size_t left = textLength(text);
        while (left > 0) {
            const ssize_t written = ::write(m_fd, text, left);
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                return *this;
            text += written;
            left -= static_cast<size_t>(written);
        }
        return *this;
    }
    SafeWriter &operator<<(long long value)
    {
        char out[32];
        if (value < 0)
            *this << "-";
        return *this << digits(value < 0 ? 0ULL - static_cast<unsigned long long>(value)
                                         : static_cast<unsigned long long>(value),
                               10, out);
    }
    SafeWriter &hex(unsigned long long value)
    {
        char out[32];
        return *this << "0x" << digits(value, 16, out);
    }

private:
    int m_fd;
};

const char *signalName(int signo)
{
    switch (signo) {
    case SIGSEGV:
        return "SIGSEGV";
    case SIGBUS:
        return "SIGBUS";
    case SIGFPE:
        return "SIGFPE";
    case SIGILL:
        return "SIGILL";
    case SIGABRT:
        return "SIGABRT";
    default:
        return "?";
    }
}

void copyFileInto(const char *path, int fd)
{
    const int in = ::open(path, O_RDONLY | O_CLOEXEC);
    if (in < 0)
        return;
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(in, buffer, sizeof(buffer));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        ssize_t done = 0;
        while (done < got) {
            const ssize_t written = ::write(fd, buffer + done, static_cast<size_t>(got - done));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                break;
            done += written;
        }
    }
    ::close(in);
}

// Writes <dump folder>/<dump id>.dmp with async-signal-safe calls only.
bool writeDump(int signo, siginfo_t *info, void *context)
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    char number[32];
    size_t pos = appendText(g_crash.dumpId, sizeof(g_crash.dumpId), 0, "crash-");
    pos = appendText(g_crash.dumpId, sizeof(g_crash.dumpId), pos,
                     digits(static_cast<unsigned long long>(now.tv_sec), 10, number));
    pos = appendText(g_crash.dumpId, sizeof(g_crash.dumpId), pos, "-");
    appendText(g_crash.dumpId, sizeof(g_crash.dumpId), pos,
               digits(static_cast<unsigned long long>(g_crash.pid), 10, number));

    char path[kPathSize + 128];
    pos = appendText(path, sizeof(path), 0, g_crash.dumpFolder);
    pos = appendText(path, sizeof(path), pos, "/");
    pos = appendText(path, sizeof(path), pos, g_crash.dumpId);
    appendText(path, sizeof(path), pos, ".dmp");

    // Dumps hold the process's memory layout and more: private to the user, and never written through
    // a link someone put in the crash folder.
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return false;
    ::fchmod(fd, 0600);
    SafeWriter out(fd);
    out << "Orvanta crash dump\nvm: " << g_crash.vmName << "\npid: " << static_cast<long long>(g_crash.pid)
        << "\nthread: " << static_cast<long long>(currentTid())
        << "\ntime: " << static_cast<long long>(now.tv_sec) << "\nsignal: " << static_cast<long long>(signo)
        << " " << signalName(signo);
    if (info) {
        out << "\ncode: " << static_cast<long long>(info->si_code) << "\naddress: ";
        out.hex(reinterpret_cast<unsigned long long>(info->si_addr));
        if (info->si_code <= 0) // sent by a process (kill, tgkill, sigqueue)
            out << "\nsender pid: " << static_cast<long long>(info->si_pid);
    }
#if defined(__x86_64__)
    if (context) {
        const auto *uc = static_cast<const ucontext_t *>(context);
        out << "\npc: ";
        out.hex(static_cast<unsigned long long>(uc->uc_mcontext.gregs[REG_RIP]));
    }
#else
    (void)context;
#endif
    out << "\nbacktrace:\n";
    void *frames[kMaxFrames];
    const int count = backtrace(frames, kMaxFrames);
    backtrace_symbols_fd(frames, count, fd);
    out << "memory map:\n";
    copyFileInto("/proc/self/maps", fd);
    ::fsync(fd);
    ::close(fd);
    return true;
}

void restoreDefaultAndRaise(int signo)
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    sigaction(signo, &action, nullptr);
    // Delivered once the handler returns (the signal is blocked while it runs); a fault recurs anyway.
    raise(signo);
}

void crashSignalHandler(int signo, siginfo_t *info, void *context)
{
    const int savedErrno = errno;
    const pid_t tid = currentTid();
    // The follow-up itself failed: nothing more can be done in this process.
    if (tid == g_crash.handlerThreadTid.load()) {
        restoreDefaultAndRaise(signo);
        return;
    }
    pid_t expected = 0;
    if (!g_crash.crashingTid.compare_exchange_strong(expected, tid)) {
        if (expected == tid) {
            restoreDefaultAndRaise(signo);
            return;
        }
        // Another thread's crash is being handled; the process ends when that is done.
        for (;;)
            pause();
    }

    g_crash.dumpWritten = writeDump(signo, info, context) ? 1 : 0;

    char byte = 1;
    ssize_t sent;
    do {
        sent = ::write(g_crash.requestPipe[1], &byte, 1);
    } while (sent < 0 && errno == EINTR);
    if (sent == 1) {
        ssize_t got;
        do {
            got = ::read(g_crash.donePipe[0], &byte, 1);
        } while (got < 0 && errno == EINTR);
    }
    errno = savedErrno;
    restoreDefaultAndRaise(signo);
}

// The handler thread: started with every signal blocked, it sleeps until a crash hands over.
void *handlerThreadMain(void *)
{
    g_crash.handlerThreadTid = currentTid();
    char byte = 0;
    for (;;) {
        const ssize_t got = ::read(g_crash.requestPipe[0], &byte, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got != 1)
            return nullptr;
        break;
    }
    // The programs started from here must not inherit a blocked signal mask.
    sigset_t none;
    sigemptyset(&none);
    pthread_sigmask(SIG_SETMASK, &none, nullptr);

    onCrash(QFile::decodeName(g_crash.dumpFolder), QString::fromLatin1(g_crash.dumpId),
            g_crash.dumpWritten != 0);

    byte = 1;
    ssize_t sent;
    do {
        sent = ::write(g_crash.donePipe[1], &byte, 1);
    } while (sent < 0 && errno == EINTR);
    return nullptr;
}

} // namespace

CrashHandler &CrashHandler::instance()
{
    static CrashHandler handler;
    return handler;
}

void CrashHandler::init(const QString &dumpFolder)
{
    if (m_installed)
        return;

    const QByteArray folder = QFile::encodeName(dumpFolder);
    const QByteArray vm = Global::vmName.toUtf8();
    appendText(g_crash.dumpFolder, sizeof(g_crash.dumpFolder), 0, folder.constData());
    appendText(g_crash.vmName, sizeof(g_crash.vmName), 0, vm.constData());
    g_crash.pid = getpid();

    if (pipe2(g_crash.requestPipe, O_CLOEXEC) != 0 || pipe2(g_crash.donePipe, O_CLOEXEC) != 0) {
        qWarning() << ORV_LOG_CRASHHANDLER "cannot create its pipes, crash handling is off";
        return;
    }

    // backtrace() loads its unwinder on first use; do that now rather than inside a signal handler.
    void *warmUp[2];
    backtrace(warmUp, 2);

    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    pthread_sigmask(SIG_SETMASK, &all, &previous);
    pthread_t thread;
    const int created = pthread_create(&thread, nullptr, handlerThreadMain, nullptr);
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    if (created != 0) {
        qWarning() << ORV_LOG_CRASHHANDLER "cannot start its thread, crash handling is off";
        return;
    }
    pthread_detach(thread);

    // A stack overflow leaves no stack for the handler: give this thread a spare one.
    stack_t spare = {};
    spare.ss_sp = g_altStack;
    spare.ss_size = sizeof(g_altStack);
    sigaltstack(&spare, nullptr);

    struct sigaction action = {};
    action.sa_sigaction = crashSignalHandler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    sigemptyset(&action.sa_mask);
    for (int signo : kCrashSignals)
        sigaction(signo, &action, nullptr);
    // After a crash fork() may block forever on locks the crashed thread holds: the global record's
    // own program starts go through the fork-free start then.
    programStartHook = [](const QString &name, const QStringList &args) {
        if (!crashInProgress())
            return false;
        startProgramAfterCrash(name, args, false);
        return true;
    };
    m_installed = true;
}

bool onCrash(const QString &dumpFolder, const QString &dumpId, bool succeeded)
{
    qInfo().noquote() << Global::vmName + QStringLiteral(" crash");
    if (succeeded)
        qInfo() << ORV_LOG_CRASHHANDLER "dump"
                << dumpFolder + QLatin1Char('/') + dumpId + QStringLiteral(".dmp");
    else
        qCritical() << ORV_LOG_CRASHHANDLER "dump could not be written into" << dumpFolder;

    Global::setStatus(QLatin1String(StatusWord::kError));
    if (!appQuittingFlag)
        showCrashNotice();
    startClearProcess(kClearTimeoutSeconds);
    return succeeded;
}

bool crashInProgress()
{
    return g_crash.crashingTid.load() != 0;
}

bool startProgramAfterCrash(const QString &name, const QStringList &args, bool wait)
{
    Platform::CrashSafeCommand command;
    if (!command.set(name, args)) {
        qCritical() << ORV_LOG_CRASHHANDLER "program not found:" << name;
        return false;
    }
    const Platform::ProcessOutcome outcome = command.run(wait);
    if (outcome.result == Platform::ProcessResult::FailedToStart) {
        qCritical() << ORV_LOG_CRASHHANDLER "cannot start" << command.programPath();
        return false;
    }
    return true;
}

void showCrashNotice()
{
    startProgramAfterCrash(QStringLiteral("OrvCrashNotice"), {QStringLiteral("-vm=") + Global::vmName}, true);
}

void startClearProcess(int timeoutSeconds)
{
    // The emulator's own process id, also in "-tcp" mode where vmPort is never published.
    const QString pid = QString::number(QCoreApplication::applicationPid());
    startProgramAfterCrash(QStringLiteral("OrvClear"),
                           {QStringLiteral("-vm"), Global::vmName, QStringLiteral("-vp"),
                            Global::vboxToolPath, QStringLiteral("-pid"), pid, QStringLiteral("-to"),
                            QString::number(timeoutSeconds)},
                           false);
    qInfo() << "Control    : start clear process : "
            << "-vm" << Global::vmName << "-vp" << Global::vboxToolPath << "-pid" << pid;
}
