#pragma once

#include <QApplication>

namespace Platform {
class ChannelServer;
}

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
    // `problem` (when given) says why, in one line for the user. `answer` (when given) gets what the
    // running process answered: kAnswerTaken, kAnswerQuitting, or empty when it did not answer in time.
    bool sendMessage(const QString &message, QString *problem = nullptr, QString *answer = nullptr);

    // The running process's answers to a message.
    static constexpr const char *kAnswerTaken = "taken";
    static constexpr const char *kAnswerQuitting = "quitting";

    // True when the running process of this VM is on its way out: it answered kAnswerQuitting, or, when
    // it gave no answer, its status word says so or its segment is gone already.
    static bool isPredecessorQuitting(const QString &key, const QString &answer);

    // A start whose request reached a process that is quitting: waits up to `timeoutMs` for that
    // process to end, then takes the machine over as its first process (segment, channel). False when
    // the other process still holds the machine after the wait.
    bool takeOverFromQuittingProcess(int timeoutMs);

    // Where the emulator of machine `key` listens, in the user's private runtime folder; empty (and
    // `problem` set) when that folder is refused or the path is too long for a local socket.
    static QString channelPath(const QString &key, QString *problem = nullptr);

    // Stops listening on the instance channel, detaches the segment and gives up the owner lock, so
    // that a successor started by this process can take all of them over.
    void releaseInstance();

signals:
    void messageAvailable(QString message);

private:
    void settleSingleInstance();
    // The owner lock is ours: clears what a dead process left, creates the segment and listens.
    void becomeFirstInstance();

    bool m_isRunning = false;
    QString m_key;
    QString m_channelPath;
    Platform::ChannelServer *m_server = nullptr;
};
