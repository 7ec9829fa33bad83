#include "breakpadqt.h"

#include <QDateTime>
#include <QFile>

#include <cstring>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

namespace OrvMulti {

namespace {

constexpr int kMaxFrames = 64;
constexpr size_t kPathCapacity = 4096;
const int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Filled before the handler is installed, read only by the handler.
char dumpPrefix[kPathCapacity];
char logPrefix[kPathCapacity]; // "<log folder>/log-"; empty: no log line
long utcOffsetSeconds = 0;

void appendText(char *buffer, size_t capacity, const char *text)
{
    const size_t used = strlen(buffer);
    size_t i = 0;
    while (text[i] && used + i + 1 < capacity) {
        buffer[used + i] = text[i];
        ++i;
    }
    buffer[used + i] = '\0';
}

void appendNumber(char *buffer, size_t capacity, unsigned long value, int base)
{
    char digits[32];
    int n = 0;
    do {
        const unsigned long d = value % static_cast<unsigned long>(base);
        digits[n++] = static_cast<char>(d < 10 ? '0' + d : 'a' + d - 10);
        value /= static_cast<unsigned long>(base);
    } while (value && n < 31);
    char text[32];
    for (int i = 0; i < n; ++i)
        text[i] = digits[n - 1 - i];
    text[n] = '\0';
    appendText(buffer, capacity, text);
}

void writeAll(int fd, const char *text)
{
    size_t left = strlen(text);
    while (left > 0) {
        const ssize_t n = ::write(fd, text, left);
        if (n <= 0)
            return;
        text += n;
        left -= static_cast<size_t>(n);
    }
}

// Appends `value` with at least `width` digits.
void appendPadded(char *buffer, size_t capacity, long value, int width)
{
    char text[24];
    int n = 0;
    do {
        text[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0 && n < 20);
    while (n < width)
        text[n++] = '0';
    char ordered[24];
    for (int i = 0; i < n; ++i)
        ordered[i] = text[n - 1 - i];
    ordered[n] = '\0';
    appendText(buffer, capacity, ordered);
}

// The manager's log line of a crash, in the daily log file of the local date, as the message handler
// would write an info line " crash". Built from the clock and the offset kept at install time: no
// allocation, no lock.
void writeCrashLogLine()
{
    if (!logPrefix[0])
        return;
    const long local = static_cast<long>(::time(nullptr)) + utcOffsetSeconds;
    long days = local / 86400;
    long seconds = local % 86400;
    if (seconds < 0) {
        seconds += 86400;
        --days;
    }
    // Civil date of a day count since 1970-01-01.
    const long z = days + 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    const long day = doy - (153 * mp + 2) / 5 + 1;
    const long month = mp < 10 ? mp + 3 : mp - 9;
    const long year = yoe + era * 400 + (month <= 2 ? 1 : 0);

    char path[kPathCapacity];
    path[0] = '\0';
    appendText(path, sizeof path, logPrefix);
    appendPadded(path, sizeof path, year, 4);
    appendText(path, sizeof path, "-");
    appendPadded(path, sizeof path, month, 2);
    appendText(path, sizeof path, "-");
    appendPadded(path, sizeof path, day, 2);
    appendText(path, sizeof path, ".log");

    char line[128];
    line[0] = '\0';
    appendText(line, sizeof line, "Info[");
    appendPadded(line, sizeof line, seconds / 3600, 2);
    appendText(line, sizeof line, ":");
    appendPadded(line, sizeof line, seconds % 3600 / 60, 2);
    appendText(line, sizeof line, ":");
    appendPadded(line, sizeof line, seconds % 60, 2);
    appendText(line, sizeof line, "]: crash (:0,)\n");
    const int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd >= 0) {
        writeAll(fd, line);
        ::close(fd);
    }
}

void crashSignalHandler(int signo, siginfo_t *info, void *)
{
    char path[kPathCapacity];
    path[0] = '\0';
    appendText(path, sizeof path, dumpPrefix);
    appendNumber(path, sizeof path, static_cast<unsigned long>(::getpid()), 10);
    appendText(path, sizeof path, "-");
    appendNumber(path, sizeof path, static_cast<unsigned long>(::time(nullptr)), 10);
    appendText(path, sizeof path, ".dmp");

    const int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) {
        char head[256];
        head[0] = '\0';
        appendText(head, sizeof head, "signal ");
        appendNumber(head, sizeof head, static_cast<unsigned long>(signo), 10);
        appendText(head, sizeof head, "\naddress 0x");
        appendNumber(head, sizeof head, reinterpret_cast<unsigned long>(info ? info->si_addr : nullptr), 16);
        appendText(head, sizeof head, "\nbacktrace\n");
        writeAll(fd, head);
        void *frames[kMaxFrames];
        const int count = ::backtrace(frames, kMaxFrames);
        ::backtrace_symbols_fd(frames, count, fd);
        ::close(fd);
    }
    writeCrashLogLine();
    // Default action: the process ends with the signal.
    ::signal(signo, SIG_DFL);
    ::raise(signo);
}

} // namespace

BreakpadQt &BreakpadQt::instance()
{
    static BreakpadQt handler;
    return handler;
}

void BreakpadQt::init(const QString &dumpFolder, const QString &logFolder)
{
    if (m_installed)
        return;
    const QByteArray log = logFolder.isEmpty() ? QByteArray() : QFile::encodeName(logFolder) + "/log-";
    if (static_cast<size_t>(log.size()) + 32 < kPathCapacity) {
        memcpy(logPrefix, log.constData(), static_cast<size_t>(log.size()));
        logPrefix[log.size()] = '\0';
    }
    const QDateTime now = QDateTime::currentDateTime();
    utcOffsetSeconds = now.offsetFromUtc();
    const QByteArray prefix = QFile::encodeName(dumpFolder) + "/manager-";
    if (static_cast<size_t>(prefix.size()) + 64 >= kPathCapacity)
        return;
    memcpy(dumpPrefix, prefix.constData(), static_cast<size_t>(prefix.size()));
    dumpPrefix[prefix.size()] = '\0';
    // backtrace() loads its unwinder on first use; do that now, outside any signal handler.
    void *warmUp[1];
    ::backtrace(warmUp, 1);

    struct sigaction action;
    memset(&action, 0, sizeof action);
    action.sa_sigaction = crashSignalHandler;
    action.sa_flags = SA_SIGINFO | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (const int signo : kSignals)
        ::sigaction(signo, &action, nullptr);
    m_installed = true;
}

} // namespace OrvMulti
