// The local channel's two kinds of sender in this process: a request that wants an answer (ends with LF)
// gets the answer decided before its message is handed on, a plain sender that just disconnects is
// taken unanswered as before, and a server that is busy leaves the requester without an answer after
// its bound while the message still arrives. The end signals arrive as a Qt signal, once each.

#include "localchannel.h"
#include "quitsignals.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <future>

namespace {

// Serves this thread's event loop (the server's) until the sender in the other thread is done.
template <typename T> bool waitUntilReady(std::future<T> &future, int timeoutMs = 10000)
{
    QElapsedTimer waited;
    waited.start();
    while (future.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
        if (waited.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

} // namespace

class TestLocalChannel : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void requestAndPlainMessage_data();
    void requestAndPlainMessage();
    void busyServerLeavesTheRequestUnanswered();
    void endSignalsArriveOnTheEventLoop();

private:
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_path;
};

void TestLocalChannel::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    m_path = m_dir->path() + QStringLiteral("/channel");
}

void TestLocalChannel::requestAndPlainMessage_data()
{
    QTest::addColumn<bool>("request");
    QTest::addColumn<bool>("answering");
    QTest::addColumn<QByteArray>("answer"); // what the sender gets
    QTest::newRow("request, answering server") << true << true << QByteArray("state 0");
    QTest::newRow("plain message, answering server") << false << true << QByteArray();
    QTest::newRow("plain message, server without answers") << false << false << QByteArray();
}

void TestLocalChannel::requestAndPlainMessage()
{
    QFETCH(bool, request);
    QFETCH(bool, answering);
    QFETCH(QByteArray, answer);
    Platform::ChannelServer server(QStringLiteral("test"), 1024, 2000);
    int state = 0;
    QList<QByteArray> received;
    if (answering)
        server.setAnswerer([&](const QByteArray &) { return "state " + QByteArray::number(state); });
    // Handing the message on changes the state: the answer must tell the state it was taken in.
    connect(&server, &Platform::ChannelServer::messageReceived, this, [&](const QByteArray &message) {
        received << message;
        ++state;
    });
    QVERIFY(server.listen(m_path));

    const QByteArray message = R"({"vmName":"Orvanta_1","isStop":true})";
    for (int round = 0; round < 2; ++round) {
        auto sent = std::async(std::launch::async, [&] {
            QByteArray got;
            const Platform::ChannelSend result =
                request ? Platform::sendChannelRequest(m_path, message, 2000, &got)
                        : Platform::sendChannelMessage(m_path, message, 2000);
            return std::make_pair(result, got);
        });
        QVERIFY(waitUntilReady(sent));
        const auto [result, got] = sent.get();
        QCOMPARE(result, Platform::ChannelSend::Sent);
        QByteArray expected = answer;
        if (!expected.isEmpty())
            expected = "state " + QByteArray::number(round);
        QCOMPARE(got, expected);
        QTRY_COMPARE(received.size(), round + 1);
        QCOMPARE(received.last(), message);
    }
}

void TestLocalChannel::busyServerLeavesTheRequestUnanswered()
{
    Platform::ChannelServer server(QStringLiteral("test"), 1024, 5000);
    server.setAnswerer([](const QByteArray &) { return QByteArray("taken"); });
    QList<QByteArray> received;
    connect(&server, &Platform::ChannelServer::messageReceived, this,
            [&](const QByteArray &message) { received << message; });
    QVERIFY(server.listen(m_path));

    // The event loop does not run while the request waits: no answer within the sender's bound.
    QElapsedTimer waited;
    waited.start();
    auto sent = std::async(std::launch::async, [&] {
        QByteArray got;
        const Platform::ChannelSend result = Platform::sendChannelRequest(m_path, "late", 300, &got);
        return std::make_pair(result, got);
    });
    const auto [result, got] = sent.get();
    QCOMPARE(result, Platform::ChannelSend::Sent);
    QVERIFY(got.isEmpty());
    QVERIFY(waited.elapsed() < 3000);
    // Once the loop runs the message is taken all the same.
    QTRY_COMPARE(received, QList<QByteArray>{"late"});
}

void TestLocalChannel::endSignalsArriveOnTheEventLoop()
{
    QuitSignals signals_;
    QVERIFY(signals_.isActive());
    QList<int> received;
    connect(&signals_, &QuitSignals::quitRequested, this, [&](int signo) { received << signo; });
    for (int signo : {SIGTERM, SIGINT, SIGHUP, SIGTERM})
        QCOMPARE(::raise(signo), 0);
    // The handler only notes them; the process goes on and the loop hands them out in order.
    QTRY_COMPARE(received, (QList<int>{SIGTERM, SIGINT, SIGHUP, SIGTERM}));
}

QTEST_GUILESS_MAIN(TestLocalChannel)
#include "tst_localchannel.moc"
