#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// Who listens on a local TCP port: the kernel's connection tables (<proc>/net/tcp and tcp6) and the
// open files of this user's processes (<proc>/<pid>/fd), under the moved proc root like every other
// kernel file the platform layer reads. No state; callable from any thread.
namespace Listeners {

struct Listener
{
    qint64 uid = -1;   // the socket's owner
    quint64 inode = 0; // the socket's inode, 0 when the kernel gives none
};

// The sockets listening on `port` that take connections to 127.0.0.1 (bound to it, to any IPv4
// address, or to the IPv6 wildcard or mapped loopback address).
QList<Listener> onLoopbackPort(quint16 port);
// Ids of the processes holding socket `inode` open; only this user's processes can be seen.
QList<qint64> holders(quint64 inode);
// The arguments process `pid` was started with (its first is the program); empty when unknown.
QStringList commandLine(qint64 pid);
// Parses one line of a connection table; false for the header or a malformed line (pure).
bool parseTableLine(const QByteArray &line, quint16 *localPort, QByteArray *localAddress, int *state,
                    qint64 *uid, quint64 *inode);

} // namespace Listeners
