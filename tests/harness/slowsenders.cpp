#include "slowsenders.h"

#include <algorithm>

namespace {
constexpr int kConnectMs = 2000;
constexpr int kTrickleMs = 100;
} // namespace

bool SlowSenders::connect(const QString &channel, int count)
{
    for (int i = 0; i < count; ++i) {
        m_sockets.push_back(std::make_unique<QLocalSocket>());
        m_sockets.back()->connectToServer(channel);
        if (!m_sockets.back()->waitForConnected(kConnectMs))
            return false;
    }
    QObject::connect(&m_trickle, &QTimer::timeout, [this] {
        for (auto &socket : m_sockets) {
            if (socket->state() == QLocalSocket::ConnectedState)
                socket->write("{");
        }
    });
    m_trickle.start(kTrickleMs);
    return true;
}

bool SlowSenders::allDropped() const
{
    return std::all_of(m_sockets.begin(), m_sockets.end(), [](const std::unique_ptr<QLocalSocket> &socket) {
        return socket->state() == QLocalSocket::UnconnectedState;
    });
}
