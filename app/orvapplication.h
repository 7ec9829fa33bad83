#pragma once

#include <QApplication>

class QLocalServer;

// The emulator's application object. It parses the command line and makes sure that one process
// serves each virtual machine: the first process for a VM name owns the instance segment and listens
// on the instance channel under that name; a later start hands its request to it and ends.
class OrvApplication : public QApplication
{
    Q_OBJECT

public:
    OrvApplication(int &argc, char **argv);
    ~OrvApplication() override;

    // True when this process must hand its request to another one instead of starting up.
    bool isRunning() const { return m_isRunning; }

    // Sends one message to the running process of this VM; true when it was written. On failure
    // `problem` (when given) says why, in one line for the user.
    bool sendMessage(const QString &message, QString *problem = nullptr);

    // Where the emulator of machine `key` listens, in the user's private runtime folder; empty (and
    // `problem` set) when that folder is refused or the path is too long for a local socket.
    static QString channelPath(const QString &key, QString *problem = nullptr);

    // Stops listening on the instance channel, detaches the segment and gives up the owner lock, so
    // that a successor started by this process can take all of them over.
    void releaseInstance();

signals:
    void messageAvailable(QString message);

public slots:
    void receiveMessage();

private:
    void settleSingleInstance();
    void readMessage(class QLocalSocket *socket);

    bool m_isRunning = false;
    QString m_key;
    QString m_channelPath;
    QLocalServer *m_server = nullptr;
};
