#include "quitsignals.h"

#include <QDebug>
#include <QSocketNotifier>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kQuitSignals[] = {SIGTERM, SIGINT, SIGHUP};
// [0] is written by the handler, [1] read by the event loop.
int g_pair[2] = {-1, -1};
std::atomic<QuitSignals *> g_owner{nullptr};

extern "C" void quitSignalHandler(int signo)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(signo);
    // Async-signal-safe; a full pair (signals piling up) only loses repeats of a request already made.
    (void)!::write(g_pair[0], &byte, 1);
    errno = savedErrno;
}

void setHandler(void (*handler)(int))
{
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    // Tool runs and socket waits go on after the handler instead of failing with EINTR.
    action.sa_flags = SA_RESTART;
    for (int signo : kQuitSignals)
        ::sigaction(signo, &action, nullptr);
}

} // namespace

QuitSignals::QuitSignals(QObject *parent) : QObject(parent)
{
    if (g_pair[0] < 0) {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_pair) != 0) {
            qWarning() << "QuitSignals : no socket pair, end signals keep their default action:" << errno;
            g_pair[0] = g_pair[1] = -1;
            return;
        }
        for (int fd : g_pair)
            ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    }
    g_owner = this;
    m_notifier = new QSocketNotifier(g_pair[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &QuitSignals::readPending);
    setHandler(quitSignalHandler);
}

QuitSignals::~QuitSignals()
{
    if (g_owner != this)
        return;
    setHandler(SIG_DFL);
    g_owner = nullptr;
}

void QuitSignals::readPending()
{
    unsigned char bytes[64];
    for (;;) {
        const ssize_t count = ::read(g_pair[1], bytes, sizeof bytes);
        if (count <= 0)
            return;
        for (ssize_t i = 0; i < count; ++i)
            emit quitRequested(bytes[i]);
    }
}
