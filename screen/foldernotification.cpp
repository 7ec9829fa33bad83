#include "foldernotification.h"

#include <QFile>

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

FolderNotification::FolderNotification(const QString &folder)
{
    m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0)
        return;
    const QByteArray path = QFile::encodeName(folder);
    if (inotify_add_watch(m_fd, path.constData(),
                          IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                              IN_MOVE_SELF | IN_ONLYDIR) < 0) {
        ::close(m_fd);
        m_fd = -1;
    }
}

FolderNotification::~FolderNotification()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

FolderNotification::Outcome FolderNotification::wait(int ms, int wakeFd)
{
    if (m_fd < 0)
        return Broken;
    pollfd fds[2] = {{m_fd, POLLIN, 0}, {wakeFd, POLLIN, 0}};
    const int n = ::poll(fds, wakeFd >= 0 ? 2 : 1, ms);
    if (n <= 0 || !(fds[0].revents & POLLIN))
        return TimedOut;
    alignas(inotify_event) char buffer[4096];
    bool broken = false;
    bool changed = false;
    for (;;) {
        const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
        if (got <= 0)
            break;
        for (ssize_t at = 0; at < got;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            if (event->mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED))
                broken = true;
            else
                changed = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
        }
    }
    if (broken)
        return Broken;
    return changed ? Changed : TimedOut;
}

void pauseUnlessWoken(int ms, int wakeFd)
{
    pollfd fd{wakeFd, POLLIN, 0};
    ::poll(&fd, wakeFd >= 0 ? 1 : 0, ms);
}
