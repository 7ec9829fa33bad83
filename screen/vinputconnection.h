#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

class QTcpSocket;

// The connection to the guest's input service at the host end of the "vinput" port forward: text
// lines to the guest, shell command replies back. One process-wide object, living in the GUI thread.
// It reconnects 2 s after every failure for as long as the program runs; lines asked for while the
// connection is down are dropped.
class VInputConnection : public QObject
{
    Q_OBJECT

public:
    static VInputConnection &instance();

    // The address of the input service: 127.0.0.1, also in the "-tcp" mode.
    static constexpr const char *kHost = "127.0.0.1";
    static constexpr int kReconnectMs = 2000;
    static constexpr int kShellReplyMs = 30000;

    // Line texts, pure.
    static QByteArray configLine(int width, int height);
    static QByteArray gpsLine(double longitude, double latitude);
    static QByteArray shellLine(const QString &command);

    // Connects (and keeps reconnecting).
    void init();
    bool isConnected() const { return m_connected; }

    void sendGps(double longitude, double latitude);
    // Sends the shell command and waits, in the calling thread, up to 30 s for the reply; the data
    // that arrived by then, or an empty text when not connected or no answer came.
    QString sendShellCmd(const QString &command);

signals:
    void socketError();
    void ScreenCapNotify(QString fileName);

public slots:
    void onSocketError();
    void onReadyRead();

private:
    explicit VInputConnection(QObject *parent = nullptr);
    void connectSocket();
    bool writeLine(const QByteArray &line);

    QPointer<QTcpSocket> m_socket;
    bool m_connected = false;
    bool m_initialised = false;
    bool m_reconnectPending = false;
};
