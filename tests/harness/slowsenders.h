#pragma once

#include <QLocalSocket>
#include <QString>
#include <QTimer>

#include <memory>
#include <vector>

// Clients of a program's local channel that connect, then trickle a byte every 100 ms and never finish
// their message: the program must serve others meanwhile and drop each of them after its bound.
class SlowSenders
{
public:
    // Connects `count` clients to `channel`; false when one of them could not connect.
    bool connect(const QString &channel, int count);
    // True once the program has dropped every one of them.
    bool allDropped() const;

private:
    std::vector<std::unique_ptr<QLocalSocket>> m_sockets;
    QTimer m_trickle;
};
