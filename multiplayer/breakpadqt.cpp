#include "breakpadqt.h"

#include <QFile>

#include <cstring>
#include <execinfo.h>
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

namespace OrvMulti {

namespace {

constexpr int kMaxFrames = 64;
constexpr size_t kPathCapacity = 4096;
const int kSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Filled before the handler is installed, read only by the handler.
char dumpPrefix[kPathCapacity];

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

void BreakpadQt::init(const QString &dumpFolder)
{
    if (m_installed)
        return;
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
