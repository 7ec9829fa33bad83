#pragma once

#include <QObject>
#include <QSet>
#include <QString>

// The channels to the guest connect to 127.0.0.1 at the host ends of the machine's port forwards. Any
// program may listen there first (another user, another emulator of another installation) and would
// then receive the screen size, every touch and every key. The guard tells whether the listener on a
// port is this machine's own: a socket of this user held by the machine's process, the one the tool
// started with "--comment <vm>" (or "--startvm <vm>"). When another program holds the port, it moves
// the forwarding rule to a free port (on the global thread pool: the tool is a child process) and
// says so.
//
// One process-wide object in the GUI thread. Off until the program's composition turns it on; the
// channels ask it before they send anything on a new connection.
class GuestPortGuard : public QObject
{
    Q_OBJECT

public:
    static GuestPortGuard &instance();

    void setEnabled(bool on) { m_enabled = on; }
    bool isEnabled() const { return m_enabled; }
    // Forwarding rules can be moved once the machine runs (before that a refused port stays refused).
    void setMachineRunning(bool running) { m_machineRunning = running; }
    // The rule `name` is being moved: a refused request may wait for portMoved or moveFailed.
    bool isMoving(const QString &name) const { return m_moving.contains(name); }

    // Why the listener on `port` is not the machine `vm`'s own; empty when it is (pure of state but the
    // kernel's tables and this user's processes). `held` tells whether another program was seen to
    // hold it (another user, or a process that is not the machine's), rather than no holder found.
    static QString foreignListener(quint16 port, const QString &vm, bool *held = nullptr);
    // True when nothing is to be sent on `port`: the guard is on and the listener is not the machine's
    // own (a socket seen to be the machine's is not looked into again). Logs why, and once the machine
    // runs starts moving the rule `name` ("vinput" or "pavix"), once at a time.
    bool refuses(const QString &name, quint16 port);

signals:
    // The rule `name` now forwards host port `port`, which the program's record holds too.
    void portMoved(QString name, int port);
    // The rule `name` could not be moved.
    void moveFailed(QString name);

private:
    GuestPortGuard() = default;
    void move(const QString &name, quint16 from);

    bool m_enabled = false;
    bool m_machineRunning = false;
    QSet<quint64> m_ownSockets;
    QSet<QString> m_moving;
};
