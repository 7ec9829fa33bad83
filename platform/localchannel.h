#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class QLocalServer;
class QLocalSocket;

// The local channel a program's first process listens on so that later starts can hand it their request:
// a socket in the user's private runtime folder that only this user may reach. One message a connection:
// the sender writes it, possibly in pieces, and disconnects.
namespace Platform {

// The path of channel `key` in the private runtime folder ("channel-" followed by the key, so that no key
// names another kind of runtime file there); empty when that folder is refused or the path
// is too long for a local socket, with `problem` (when given) telling why. `what` names the channel in
// that problem ("instance channel", "manager channel").
QString localChannelPath(const QString &key, const QString &what, QString *problem = nullptr);

// The user id of the process at the other end of a local socket; -1 when it cannot be read.
long peerUserId(QLocalSocket *socket);

// How far a sendChannelMessage came.
enum class ChannelSend
{
    Sent,
    NoAnswer,   // nobody accepted the connection in time
    NotWritten, // connected, but the message could not be written in time
};

// Connects to `path`, writes `message` and disconnects, each step bounded by `timeoutMs`. On failure
// `error` (when given) holds the socket's error text.
ChannelSend sendChannelMessage(const QString &path, const QByteArray &message, int timeoutMs,
                               QString *error = nullptr);

// Connects to `path`, writes `message` followed by one LF (the end of a request that wants an answer)
// and waits up to `timeoutMs` for the answer line; `answer` gets it without its LF, or stays empty when
// none came in time (the server was busy or on its way out). Each step bounded by `timeoutMs`.
ChannelSend sendChannelRequest(const QString &path, const QByteArray &message, int timeoutMs,
                               QByteArray *answer, QString *error = nullptr);

// The listening end. Connections of other users are refused; each connection's message is collected
// without waiting on the calling (GUI) thread, and a sender that sends more than `maxBytes`, or takes
// longer than `timeoutMs` to disconnect, is dropped with a debug line and without a message.
class ChannelServer : public QObject
{
    Q_OBJECT

public:
    // `label` starts the debug lines of dropped connections ("instance", "manager").
    ChannelServer(const QString &label, int maxBytes, int timeoutMs, QObject *parent = nullptr);
    ~ChannelServer() override;

    // Removes what a dead process left at `path` and listens there, for this user only.
    bool listen(const QString &path);
    // With an answerer, a message that ends with LF is complete there: the answerer's text (decided
    // before the message is handed on) goes back on the same connection, followed by LF, and the
    // connection is closed. Messages of senders that just disconnect are taken as before, unanswered.
    void setAnswerer(std::function<QByteArray(const QByteArray &message)> answerer);
    QString errorString() const;
    void close();

signals:
    // The whole message of one connection, as it arrived (never empty).
    void messageReceived(const QByteArray &message);

private:
    void acceptPending();
    void read(QLocalSocket *socket);

    QString m_label;
    int m_maxBytes;
    int m_timeoutMs;
    QLocalServer *m_server;
    std::function<QByteArray(const QByteArray &message)> m_answerer;
};

} // namespace Platform
