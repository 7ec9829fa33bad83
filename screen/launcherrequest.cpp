#include "launcherrequest.h"

#include "global.h"

#include <QCoreApplication>
#include <QDebug>
#include <QTcpSocket>

namespace LauncherRequest {

namespace {

void appendVarint(QByteArray *out, quint64 value)
{
    do {
        char byte = static_cast<char>(value & 0x7f);
        value >>= 7;
        if (value)
            byte = static_cast<char>(byte | 0x80);
        out->append(byte);
    } while (value);
}

} // namespace

QByteArray encode(int action, const QString &data)
{
    QByteArray out;
    out.append(char(0x08)); // field 1, varint
    appendVarint(&out, static_cast<quint64>(static_cast<qint64>(action)));
    if (!data.isEmpty()) {
        const QByteArray utf8 = data.toUtf8();
        out.append(char(0x12)); // field 2, length-delimited
        appendVarint(&out, static_cast<quint64>(utf8.size()));
        out.append(utf8);
    }
    out.append('\n');
    return out;
}

void send(int action, const QString &data)
{
    qDebug().noquote() << QStringLiteral("sendMsgToPavixSync action : %1  data is%2").arg(action).arg(data);
    const QByteArray line = encode(action, data);
    auto *socket = new QTcpSocket(QCoreApplication::instance());
    QObject::connect(socket, &QTcpSocket::connected, socket, [socket, line] {
        qDebug() << " pavix connect ";
        socket->write(line);
        socket->flush();
        socket->disconnectFromHost();
    });
    QObject::connect(socket, &QTcpSocket::errorOccurred, socket,
                     [socket](QAbstractSocket::SocketError error) {
                         if (error == QAbstractSocket::RemoteHostClosedError)
                             return;
                         qCritical() << "PavixConnection : connect error " << error;
                         socket->abort();
                         socket->deleteLater();
                     });
    QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
    socket->connectToHost(QStringLiteral("127.0.0.1"), static_cast<quint16>(Global::pavixPort.toInt()));
}

} // namespace LauncherRequest
