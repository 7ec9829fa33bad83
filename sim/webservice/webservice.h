#pragma once

#include <QHash>
#include <QObject>
#include <QString>

class QTcpServer;
class QTcpSocket;

// Stand-in for the maker's web endpoints on 127.0.0.1: the usage report, the run log and the crash
// log, the base API (feedback) and the key-map service. Every request is logged and stored in the
// state folder with what the server made of its body; the control file in that folder tells it how
// to answer (see README.md).
class WebService : public QObject
{
    Q_OBJECT

public:
    explicit WebService(const QString &stateDir, QObject *parent = nullptr);

    bool listen(quint16 port);
    quint16 port() const;
    QString errorString() const;

    // Endpoint names as the control file and the stored requests use them.
    static QString endpointFor(const QString &path);

private:
    struct Connection
    {
        QByteArray buffer;
        bool headerDone = false;
        QByteArray method;
        QByteArray target;
        QHash<QByteArray, QByteArray> headers; // names in lower case
        qint64 contentLength = 0;
        bool answered = false;
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    bool parseHeader(Connection &connection, QString *error);
    void handleRequest(QTcpSocket *socket, Connection &connection, const QByteArray &body);
    void answer(QTcpSocket *socket, int seq, const QString &endpoint, const QString &requestPath,
                int defaultStatus, const QByteArray &defaultBody);
    void sendReply(QTcpSocket *socket, int seq, int status, const QByteArray &body);
    // The same with the delivery controls "location", "splitMs" and "truncate" (README).
    void sendReply(QTcpSocket *socket, int seq, int status, const QByteArray &body,
                   const QHash<QString, QString> &control);
    void log(const QString &line);
    QString path(const QString &name) const;

    QString m_stateDir;
    QTcpServer *m_server;
    QHash<QTcpSocket *, Connection> m_connections;
    int m_seq = 0;
};
