#pragma once

#include <QApplication>

#include <memory>

class SharedSegment;
namespace Platform {
class ChannelServer;
}

namespace OrvMulti {

// The manager's application object: parses the command line and keeps one manager per user. The first
// process owns the segment and the channel under the fixed key; a later one sends its manager message
// to it and ends.
class OrvApplication : public QApplication
{
    Q_OBJECT

public:
    static const char *const kKey;

    OrvApplication(int &argc, char **argv);
    ~OrvApplication() override;

    // True when another manager process already holds the key.
    bool isRunning() const { return m_isRunning; }
    // True when this start must end at once (told on standard error and in the log): the private runtime
    // folder was refused, the manager's lock or segment belongs to another user, or a live manager holds
    // the lock without answering. Never a second window beside a running manager.
    bool isRefused() const { return m_refused; }

    // Writes `text` (UTF-8) to the running manager; false in the first process or when the channel does
    // not answer within a second.
    bool sendMessage(const QString &text);

signals:
    void messageAvailable(QString message);

private:
    void settleSingleInstance();
    void refuse(const QString &problem);

    bool m_isRunning = false;
    bool m_refused = false;
    QString m_channelPath;
    QString m_key;
    std::unique_ptr<SharedSegment> m_segment;
    Platform::ChannelServer *m_server = nullptr;
};

} // namespace OrvMulti
