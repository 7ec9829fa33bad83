#include "guestportguard.h"

#include "global.h"
#include "listeners.h"
#include "vboxtool.h"

#include <QDebug>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>

#include <unistd.h>

namespace {

constexpr const char *kTag = "PortGuard  : ";

int guestPortOf(const QString &name)
{
    if (name == QLatin1String("vinput"))
        return 22469;
    if (name == QLatin1String("pavix"))
        return 27000;
    return 0;
}

bool startedForMachine(const QStringList &arguments, const QString &vm)
{
    for (int i = 1; i + 1 < arguments.size(); ++i) {
        const QString &option = arguments.at(i);
        if ((option == QLatin1String("--comment") || option == QLatin1String("--startvm")) &&
            arguments.at(i + 1) == vm)
            return true;
    }
    return false;
}

} // namespace

GuestPortGuard &GuestPortGuard::instance()
{
    static GuestPortGuard *guard = new GuestPortGuard(); // lives until the process ends
    return *guard;
}

QString GuestPortGuard::foreignListener(quint16 port, const QString &vm, bool *held)
{
    bool seen = true;
    QString why;
    const QList<Listeners::Listener> listeners = Listeners::onLoopbackPort(port);
    if (listeners.isEmpty()) {
        seen = false;
        why = QStringLiteral("nothing listens on it");
    }
    for (const Listeners::Listener &listener : listeners) {
        if (listener.uid != qint64(::geteuid())) {
            why = QStringLiteral("it is held by another user (uid %1)").arg(listener.uid);
            break;
        }
        const QList<qint64> pids = Listeners::holders(listener.inode);
        if (pids.isEmpty()) {
            // Between two looks (a process ending, the socket closing): not known to be another's.
            seen = false;
            why = QStringLiteral("no process of this user holds it");
            break;
        }
        for (qint64 pid : pids) {
            const QStringList arguments = Listeners::commandLine(pid);
            if (arguments.isEmpty()) {
                seen = false;
                why = QStringLiteral("its process (pid %1) ended meanwhile").arg(pid);
                break;
            }
            if (!startedForMachine(arguments, vm)) {
                why = QStringLiteral("it is held by %1 (pid %2), not the machine's process: %3")
                          .arg(QFileInfo(arguments.value(0)).fileName())
                          .arg(pid)
                          .arg(arguments.mid(1).join(QLatin1Char(' ')).left(200));
                break;
            }
        }
        if (!why.isEmpty())
            break;
    }
    if (held)
        *held = seen && !why.isEmpty();
    return why;
}

bool GuestPortGuard::refuses(const QString &name, quint16 port)
{
    if (!m_enabled)
        return false;
    // The listening socket seen before is still the one: no need to look for its process again.
    const QList<Listeners::Listener> listeners = Listeners::onLoopbackPort(port);
    bool known = !listeners.isEmpty();
    for (const Listeners::Listener &listener : listeners)
        known = known && m_ownSockets.contains(listener.inode);
    if (known)
        return false;
    bool held = false;
    const QString why = foreignListener(port, Global::vmName, &held);
    if (why.isEmpty()) {
        for (const Listeners::Listener &listener : listeners)
            m_ownSockets.insert(listener.inode);
        return false;
    }
    qWarning().noquote() << kTag +
                                QStringLiteral("nothing sent to port %1 (%2): %3").arg(port).arg(name, why);
    // Only a port that another program was seen to hold is given up; otherwise the next try looks again
    // (the listener went away after taking the connection, as when the machine stops).
    if (held)
        move(name, port);
    return true;
}

void GuestPortGuard::move(const QString &name, quint16 from)
{
    const int guestPort = guestPortOf(name);
    if (guestPort == 0 || !m_machineRunning || m_moving.contains(name) || appQuittingFlag)
        return;
    m_moving.insert(name);
    QPointer<GuestPortGuard> self(this);
    QThreadPool::globalInstance()->start([self, name, from, guestPort] {
        const int port = VBoxTool::instance().moveRunningForward(name, guestPort, from);
        if (!self)
            return;
        QMetaObject::invokeMethod(
            self, [self, name, from, port] {
                if (!self)
                    return;
                self->m_moving.remove(name);
                if (port <= 0 || appQuittingFlag) {
                    qWarning().noquote()
                        << kTag + QStringLiteral("the forwarding of %1 could not be moved").arg(name);
                    emit self->moveFailed(name);
                    return;
                }
                if (name == QLatin1String("vinput"))
                    Global::vinputPort = QString::number(port);
                else
                    Global::pavixPort = QString::number(port);
                qWarning().noquote() << kTag + QStringLiteral(
                                                   "port %1 is held by another program: the forwarding "
                                                   "of %2 moved to port %3")
                                                   .arg(from)
                                                   .arg(name)
                                                   .arg(port);
                emit self->portMoved(name, port);
            });
    });
}
