#include "listeners.h"

#include "hardwareprobe.h"

#include <QDir>
#include <QFile>

namespace {

constexpr int kListenState = 0x0A;

bool acceptsLoopback(const QByteArray &address)
{
    // IPv4 addresses are written as one 32-bit word in host order, IPv6 as four such words.
    static const QByteArray v4Loopback = "0100007F";
    static const QByteArray v4Any = "00000000";
    static const QByteArray v6Any(32, '0');
    static const QByteArray v6MappedLoopback = "0000000000000000FFFF00000100007F";
    const QByteArray upper = address.toUpper();
    return upper == v4Loopback || upper == v4Any || upper == v6Any || upper == v6MappedLoopback;
}

} // namespace

namespace Listeners {

bool parseTableLine(const QByteArray &line, quint16 *localPort, QByteArray *localAddress, int *state,
                    qint64 *uid, quint64 *inode)
{
    const QList<QByteArray> f = line.simplified().split(' ');
    if (f.size() < 10 || !f.at(0).endsWith(':'))
        return false;
    const int colon = f.at(1).lastIndexOf(':');
    if (colon <= 0)
        return false;
    bool ok = false;
    const uint port = f.at(1).mid(colon + 1).toUInt(&ok, 16);
    if (!ok || port > 0xFFFF)
        return false;
    // A socket state is one hexadecimal byte ("0A" listening); anything else is no table line.
    const uint st = f.at(3).toUInt(&ok, 16);
    if (!ok || st > 0xFF)
        return false;
    const qint64 owner = f.at(7).toLongLong(&ok);
    if (!ok)
        return false;
    const quint64 node = f.at(9).toULongLong(&ok);
    if (!ok)
        return false;
    *localPort = static_cast<quint16>(port);
    *localAddress = f.at(1).left(colon);
    *state = static_cast<int>(st);
    *uid = owner;
    *inode = node;
    return true;
}

QList<Listener> onLoopbackPort(quint16 port)
{
    QList<Listener> found;
    for (const char *table : {"/net/tcp", "/net/tcp6"}) {
        QFile file(HardwareProbe::procRoot() + QLatin1String(table));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : file.readAll().split('\n')) {
            quint16 local = 0;
            QByteArray address;
            int state = 0;
            Listener listener;
            if (!parseTableLine(line, &local, &address, &state, &listener.uid, &listener.inode))
                continue;
            if (local == port && state == kListenState && acceptsLoopback(address))
                found << listener;
        }
    }
    return found;
}

QList<qint64> holders(quint64 inode)
{
    QList<qint64> pids;
    if (inode == 0)
        return pids;
    const QString proc = HardwareProbe::procRoot();
    const QString target = QStringLiteral("socket:[%1]").arg(inode);
    for (const QString &name : QDir(proc).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool numeric = false;
        const qint64 pid = name.toLongLong(&numeric);
        if (!numeric)
            continue;
        const QString fdDir = proc + QLatin1Char('/') + name + QStringLiteral("/fd");
        for (const QString &fd : QDir(fdDir).entryList(QDir::System | QDir::NoDotAndDotDot)) {
            if (QFile::symLinkTarget(fdDir + QLatin1Char('/') + fd).endsWith(target)) {
                pids << pid;
                break;
            }
        }
    }
    return pids;
}

QStringList commandLine(qint64 pid)
{
    QFile file(HardwareProbe::procRoot() + QStringLiteral("/%1/cmdline").arg(pid));
    if (pid <= 0 || !file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.read(64 * 1024);
    if (bytes.endsWith('\0'))
        bytes.chop(1);
    QStringList arguments;
    for (const QByteArray &argument : bytes.split('\0'))
        arguments << QFile::decodeName(argument);
    return arguments;
}

} // namespace Listeners
