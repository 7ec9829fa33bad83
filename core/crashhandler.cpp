#include "crashhandler.h"

#include "global.h"
#include "logtags.h"
#include "processrunner.h"
#include "programs.h"
#include "sharedsegment.h"
#include "timeoutscale.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <execinfo.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
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

// The longest the crash notice is waited for (the user may have walked away), and the longest the
// crashed thread waits for the whole follow-up before it starts the cleaner itself.
constexpr int kNoticeWaitMs = 10 * 60 * 1000;
constexpr int kFollowUpMarginMs = 30 * 1000; // not scaled: the steps besides the notice take their time
constexpr int kNoticePollMs = 50;

// What the follow-up needs, prepared while the process is sound: the follow-up itself may neither
// allocate nor take a lock, since the crashed thread may hold the allocator's or the logger's.
struct FollowUpPlan
{
    char logFile[kPathSize] = {};
    char vmName[512] = {};
    char toolPath[kPathSize] = {};
    char pidText[32] = {};
    long utcOffsetSeconds = 0;
    Platform::CrashSafeCommand notice;  // OrvCrashNotice -vm=<VM>
    Platform::CrashSafeCommand manager; // OrvMultiPlayer -vm=<VM> -status=ERROR
    Platform::CrashSafeCommand clear;   // OrvClear -vm <VM> -vp <tool> -pid <pid> -to <seconds>
    int noticeWaitMs = kNoticeWaitMs;
    int followUpBoundMs = kNoticeWaitMs + kFollowUpMarginMs;
};

// Two slots: a new preparation (the tool path becomes known during start-up) fills the slot not in
// use and then switches, so a follow-up that has begun keeps a whole plan. planMutex guards the
// preparation only; the follow-up reads the current slot without a lock.
FollowUpPlan g_plans[2];
std::atomic<int> g_planIndex{0};
QMutex planMutex;

const FollowUpPlan &plan()
{
    return g_plans[g_planIndex.load()];
}

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

long monotonicMs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// One line of the debug log in the logger's form "[hh:mm:ss zzz]: <VM>  <level><text>\n", written with
// one append (and mirrored on standard error) like every other line.
void logLineSafe(const char *level, std::initializer_list<const char *> parts)
{
    // As in the logger: once the program quits, warnings are dropped.
    if (appQuittingFlag.load() && level[0] == 'W')
        return;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const long day = ((static_cast<long>(now.tv_sec) + plan().utcOffsetSeconds) % 86400 + 86400) % 86400;
    const long ms = now.tv_nsec / 1000000;
    char clock[16] = {static_cast<char>('0' + day / 36000),
                      static_cast<char>('0' + day / 3600 % 10),
                      ':',
                      static_cast<char>('0' + day % 3600 / 600),
                      static_cast<char>('0' + day % 600 / 60),
                      ':',
                      static_cast<char>('0' + day % 60 / 10),
                      static_cast<char>('0' + day % 10),
                      ' ',
                      static_cast<char>('0' + ms / 100),
                      static_cast<char>('0' + ms / 10 % 10),
                      static_cast<char>('0' + ms % 10),
                      '\0'};
    char line[8192];
    size_t pos = appendText(line, sizeof(line), 0, "[");
    pos = appendText(line, sizeof(line), pos, clock);
    pos = appendText(line, sizeof(line), pos, "]: ");
    pos = appendText(line, sizeof(line), pos, plan().vmName);
    pos = appendText(line, sizeof(line), pos, "  ");
    pos = appendText(line, sizeof(line), pos, level);
    for (const char *part : parts)
        pos = appendText(line, sizeof(line), pos, part);
    pos = appendText(line, sizeof(line), pos, "\n");
    const int fd = ::open(plan().logFile, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        SafeWriter(fd) << line;
        ::close(fd);
    }
    SafeWriter(STDERR_FILENO) << line;
}

void startClearSafe()
{
    const FollowUpPlan &p = plan();
    if (p.clear.run(false).result != Platform::ProcessResult::Started)
        logLineSafe("C/", {ORV_LOG_CRASHHANDLER "cannot start OrvClear ", p.clear.programPath()});
    logLineSafe("I/", {"Control    : start clear process :  -vm \"", p.vmName, "\" -vp \"", p.toolPath,
                       "\" -pid \"", p.pidText, "\""});
}

// Shows the crash notice and waits until the user has closed it, at most the notice bound.
void showNoticeSafe()
{
    const FollowUpPlan &p = plan();
    // Started in a session of its own, but still this process's child: waited for here, bounded.
    const Platform::ProcessOutcome started = p.notice.run(false);
    if (started.result != Platform::ProcessResult::Started) {
        logLineSafe("C/", {ORV_LOG_CRASHHANDLER "cannot start OrvCrashNotice ", p.notice.programPath()});
        return;
    }
    const pid_t child = static_cast<pid_t>(started.pid);
    const long deadline = monotonicMs() + p.noticeWaitMs;
    for (;;) {
        int status = 0;
        const pid_t done = waitpid(child, &status, WNOHANG);
        if (done == child || (done < 0 && errno != EINTR))
            return;
        if (monotonicMs() >= deadline) {
            logLineSafe("W/", {ORV_LOG_CRASHHANDLER "crash notice still open, the follow-up goes on"});
            return;
        }
        const timespec pause{0, kNoticePollMs * 1000000L};
        nanosleep(&pause, nullptr);
    }
}

// The follow-up of a crash with the prepared plan: no allocation, no lock.
bool runFollowUp(const char *dumpFolder, const char *dumpId, bool succeeded)
{
    const FollowUpPlan &p = plan();
    logLineSafe("I/", {p.vmName, " crash"});
    if (succeeded)
        logLineSafe("I/", {ORV_LOG_CRASHHANDLER "dump \"", dumpFolder, "/", dumpId, ".dmp\""});
    else
        logLineSafe("C/", {ORV_LOG_CRASHHANDLER "dump could not be written into \"", dumpFolder, "\""});

    // The status word ERROR, and the instance manager told of it.
    if (!Global::instanceSegment().writeTextAfterCrash(StatusWord::kError))
        logLineSafe("W/", {ORV_LOG_GLOBAL "no instance segment attached, status not written: \"ERROR\""});
    if (p.manager.run(false).result != Platform::ProcessResult::Started)
        logLineSafe("C/",
                    {ORV_LOG_CRASHHANDLER "cannot start the instance manager ", p.manager.programPath()});

    if (!appQuittingFlag.load())
        showNoticeSafe();
    startClearSafe();
    return succeeded;
}

// Fills the plan from the process-wide values; run while the process is sound.
void prepareFollowUp()
{
    QMutexLocker locker(&planMutex);
    const int next = 1 - g_planIndex.load();
    FollowUpPlan &p = g_plans[next];
    appendText(p.logFile, sizeof(p.logFile), 0, QFile::encodeName(Global::debugLogFile).constData());
    appendText(p.vmName, sizeof(p.vmName), 0, Global::vmName.toUtf8().constData());
    appendText(p.toolPath, sizeof(p.toolPath), 0, Global::vboxToolPath.toUtf8().constData());
    const QString pid = QString::number(QCoreApplication::applicationPid());
    appendText(p.pidText, sizeof(p.pidText), 0, pid.toLatin1().constData());
    const time_t now = time(nullptr);
    tm local{};
    localtime_r(&now, &local);
    p.utcOffsetSeconds = local.tm_gmtoff;
    const QString vmArg = QStringLiteral("-vm=") + Global::vmName;
    p.notice.set(QStringLiteral("OrvCrashNotice"), {vmArg});
    p.manager.set(QLatin1String(GlobalText::kManagerProgram), {vmArg, QStringLiteral("-status=ERROR")});
    p.clear.set(QStringLiteral("OrvClear"),
                {QStringLiteral("-vm"), Global::vmName, QStringLiteral("-vp"), Global::vboxToolPath,
                 QStringLiteral("-pid"), pid, QStringLiteral("-to"), QString::number(kClearTimeoutSeconds)});
    p.noticeWaitMs = TimeoutScale::ms(kNoticeWaitMs);
    p.followUpBoundMs = p.noticeWaitMs + kFollowUpMarginMs;
    g_planIndex.store(next);
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
            // A signal sent to the crashed thread while its crash is handled (kill, raise): it waits
            // for the follow-up like every other. A new fault of its own ends the process.
            if (info && info->si_code <= 0) {
                errno = savedErrno;
                return;
            }
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
    // The follow-up is bounded: a follow-up that hangs (or could not be handed over) still ends with the
    // cleaner started from here.
    bool finished = false;
    if (sent == 1) {
        const long deadline = monotonicMs() + plan().followUpBoundMs;
        for (;;) {
            const long left = deadline - monotonicMs();
            if (left <= 0)
                break;
            pollfd done{g_crash.donePipe[0], POLLIN, 0};
            const int ready = poll(&done, 1, static_cast<int>(left));
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready > 0)
                finished = ::read(g_crash.donePipe[0], &byte, 1) == 1;
            if (ready != 0)
                break;
        }
    }
    if (!finished) {
        logLineSafe("C/", {ORV_LOG_CRASHHANDLER "crash follow-up did not finish, starting the cleaner"});
        startClearSafe();
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
    // Every signal stays blocked here: a further fatal signal sent to the process is taken by a thread
    // that waits for this follow-up instead of ending it. The programs started from here get an empty
    // signal mask of their own.
    runFollowUp(g_crash.dumpFolder, g_crash.dumpId, g_crash.dumpWritten != 0);

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
    prepareFollowUp();

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
    prepareFollowUp();
    return runFollowUp(QFile::encodeName(dumpFolder).constData(), dumpId.toUtf8().constData(), succeeded);
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
    prepareFollowUp();
    showNoticeSafe();
}

void startClearProcess()
{
    prepareFollowUp();
    startClearSafe();
}

void CrashHandler::refresh()
{
    if (m_installed)
        prepareFollowUp();
}
