#include "vinputconnection.h"

#include "global.h"
#include "logtags.h"
#include "settingmodel.h"

#include <QDebug>
#include <QTcpSocket>
#include <QTimer>

VInputConnection &VInputConnection::instance()
{
    static VInputConnection *connection = new VInputConnection(); // lives until the process ends
    return *connection;
}

VInputConnection::VInputConnection(QObject *parent) : QObject(parent) {}

QByteArray VInputConnection::configLine(int width, int height)
{
    return QStringLiteral("CONFIG:%1:%2\n").arg(width).arg(height).toLatin1();
}

QByteArray VInputConnection::gpsLine(double longitude, double latitude)
{
    return QStringLiteral("GPS:str-%1|%2\n")
        .arg(QString::number(longitude, 'g', 6), QString::number(latitude, 'g', 6))
        .toLatin1();
}

QByteArray VInputConnection::shellLine(const QString &command)
{
    return QByteArrayLiteral("SHELL_CMD:str-") + command.toUtf8() + '\n';
}

void VInputConnection::init()
{
    qDebug() << ORV_LOG_VINPUT "init";
    if (m_initialised)
        return;
    m_initialised = true;
    connect(this, &VInputConnection::socketError, this, &VInputConnection::onSocketError,
            Qt::QueuedConnection);
    connectSocket();
}

void VInputConnection::connectSocket()
{
    m_connected = false;
    m_socket = new QTcpSocket(this);
    QTcpSocket *socket = m_socket;
    connect(socket, &QTcpSocket::connected, this, [this, socket] {
        if (socket != m_socket)
            return;
        m_connected = true;
        qInfo() << ORV_LOG_VINPUT "vinput connect ok";
        const SettingResolutionData *resolution = SettingModel::instance()->resolution();
        writeLine(configLine(resolution->width(), resolution->height()));
    });
    connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
        if (socket != m_socket)
            return;
        qInfo() << ORV_LOG_VINPUT "vinput disconnected";
        m_connected = false;
        // A closed connection is a failure too: try again after the pause.
        emit socketError();
    });
    connect(socket, &QTcpSocket::errorOccurred, this, [this, socket](QAbstractSocket::SocketError error) {
        if (socket != m_socket)
            return;
        m_connected = false;
        qCritical() << ORV_LOG_VINPUT "vinput connect error " << error;
        emit socketError();
    });
    connect(socket, &QTcpSocket::readyRead, this, &VInputConnection::onReadyRead);
    socket->connectToHost(QLatin1String(kHost), static_cast<quint16>(Global::vinputPort.toInt()));
}

void VInputConnection::onSocketError()
{
    if (appQuittingFlag || m_reconnectPending)
        return;
    qDebug() << " vinput  :  socket error ";
    if (m_socket) {
        QTcpSocket *old = m_socket;
        m_socket = nullptr;
        old->disconnect(this);
        old->abort();
        old->deleteLater();
    }
    // The pause runs on a timer so that the window keeps drawing meanwhile.
    m_reconnectPending = true;
    QTimer::singleShot(kReconnectMs, this, [this] {
        m_reconnectPending = false;
        if (!appQuittingFlag)
            connectSocket();
    });
}

bool VInputConnection::writeLine(const QByteArray &line)
{
    if (!m_connected || !m_socket)
        return false;
    m_socket->write(line);
    m_socket->flush();
    return true;
}

void VInputConnection::sendGps(double longitude, double latitude)
{
    writeLine(gpsLine(longitude, latitude));
}

QString VInputConnection::sendShellCmd(const QString &command)
{
    if (!m_connected || !m_socket)
        return QString();
    QTcpSocket *socket = m_socket;
    // Data left from before belongs to no command.
    socket->readAll();
    if (!writeLine(shellLine(command)))
        return QString();
    QByteArray reply;
    // Blocking the signals keeps onReadyRead from taking this command's reply.
    const bool blocked = socket->blockSignals(true);
    if (socket->waitForReadyRead(kShellReplyMs))
        reply = socket->readAll();
    socket->blockSignals(blocked);
    if (socket->state() != QAbstractSocket::ConnectedState && socket == m_socket) {
        m_connected = false;
        emit socketError();
    }
    const int zero = reply.indexOf('\0');
    if (zero >= 0)
        reply.truncate(zero);
    return QString::fromUtf8(reply);
}

void VInputConnection::onReadyRead()
{
    if (!m_socket)
        return;
    const QString data = QString::fromUtf8(m_socket->readAll());
    if (!data.startsWith(QLatin1String("SCREENCAP:")))
        return;
    const QString name = data.mid(data.lastIndexOf(QLatin1Char('/')) + 1);
    if (!name.isEmpty())
        emit ScreenCapNotify(name);
}
