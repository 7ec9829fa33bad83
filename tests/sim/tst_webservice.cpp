// The web stand-in's own judgement: its decoder refuses what a real server could not read, and the
// running server records each request with its faults and answers "0" to them.

#include "bodycodec.h"
#include "installtree.h"
#include "protowire.h"
#include "webstandin.h"

#include <QJsonArray>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray kLogKey = QByteArrayLiteral("Tq3$vN)8mE&xW2j");

// One raw HTTP exchange; returns everything the server sent before it closed.
QByteArray exchange(const QString &baseUrl, const QByteArray &request)
{
    const QUrl url(baseUrl);
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), quint16(url.port()));
    if (!socket.waitForConnected(3000))
        return QByteArray();
    socket.write(request);
    QByteArray answer;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(3000))
        answer += socket.readAll();
    return answer + socket.readAll();
}

QByteArray post(const QString &target, const QByteArray &contentType, const QByteArray &body)
{
    return "POST " + target.toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: " + contentType +
           "\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

} // namespace

class TestWebService : public QObject
{
    Q_OBJECT

private slots:
    // Bodies enciphered outside this code base with the log key.
    void decodesKnownBodies_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("1 byte") << QByteArray("6vK+ZUh9Cqs=") << QByteArray("a");
        QTest::newRow("4 bytes") << QByteArray("rsbYQlze18k=") << QByteArray("abcd");
        QTest::newRow("5 bytes") << QByteArray("Tn7XQ0FEbQHtW2z2") << QByteArray("hello");
        QTest::newRow("empty") << QByteArray() << QByteArray();
    }

    void decodesKnownBodies()
    {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, payload);
        const BodyCodec::Result result = BodyCodec::decodeBody(body, kLogKey);
        QVERIFY2(result.ok, qPrintable(result.error));
        QCOMPARE(result.payload, payload);
    }

    void refusesBrokenBodies_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QString>("error");
        QTest::newRow("length not a multiple of 4")
            << QByteArray("Tn7XQ0FEbQHtW2z") << kLogKey << QStringLiteral("not a multiple of 4");
        QTest::newRow("character outside the alphabet")
            << QByteArray("Tn7XQ0FEbQHt-2z2") << kLogKey << QStringLiteral("not valid");
        QTest::newRow("line break") << QByteArray("Tn7XQ0FE\nbQHtW2z") << kLogKey
                                    << QStringLiteral("not valid");
        QTest::newRow("padding inside")
            << QByteArray("6vK=ZUh9Cqs=") << kLogKey << QStringLiteral("not valid");
        QTest::newRow("one word only") << QByteArray("YWJj") << kLogKey << QStringLiteral("two or more");
        // Enciphered with the report key: the length word comes out as noise.
        QTest::newRow("other key") << QByteArray("QBEKQoINNL8=") << kLogKey << QStringLiteral("does not fit");
        QTest::newRow("not enciphered")
            << QByteArray("YWJjAAMAAAA=") << kLogKey << QStringLiteral("does not fit");
    }

    void refusesBrokenBodies()
    {
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, key);
        QFETCH(QString, error);
        const BodyCodec::Result result = BodyCodec::decodeBody(body, key);
        QVERIFY(!result.ok);
        QVERIFY2(result.error.contains(error), qPrintable(result.error));
    }

    void wireReaderNamesFaults_data()
    {
        QTest::addColumn<QByteArray>("hex");
        QTest::addColumn<QStringList>("problems");
        // requestBase {101, 1, "R"}, userInfo {uuid "u", productID 123, version "1"}
        const QByteArray head = "0a07"
                                "08651001"
                                "1a0152"
                                "1208"
                                "0a0175"
                                "107b"
                                "1a0131";
        QTest::newRow("complete") << head << QStringList();
        QTest::newRow("event without key")
            << head + "1a02"
                      "0805"
            << QStringList{
                   QStringLiteral("RequestDataReport.commonEvents[0].eventKey: required field missing")};
        QTest::newRow("no user record")
            << QByteArray("0a07"
                          "08651001"
                          "1a0152")
            << QStringList{QStringLiteral("RequestDataReport.userInfo: required field missing")};
        QTest::newRow("cut short") << head + "1a05"
                                             "08"
                                   << QStringList{
                                          QStringLiteral("RequestDataReport: broken field 3 (wire type 2)")};
        QTest::newRow("wrong wire type")
            << head + "18"
                      "05"
            << QStringList{QStringLiteral("RequestDataReport.commonEvents: wire type 0 where 2 belongs")};
    }

    void wireReaderNamesFaults()
    {
        QFETCH(QByteArray, hex);
        QFETCH(QStringList, problems);
        const ProtoWire::Decoded decoded =
            ProtoWire::decode(ProtoWire::Message::RequestDataReport, QByteArray::fromHex(hex));
        QCOMPARE(decoded.problems, problems);
    }

    // The running server: a log with the right body arrives as text and is accepted; one posted with
    // a wrong Content-Type or to a query-less address is stored with its faults and refused.
    void recordsAndJudgesRequests()
    {
        QTemporaryDir dir;
        WebStandIn web(dir.path() + QStringLiteral("/web"));
        QVERIFY(web.start());

        QByteArray answer =
            exchange(web.baseUrl(), post(QStringLiteral("/runlogUp.php?platform=windows"),
                                         "application/x-www-form-urlencoded", "Tn7XQ0FEbQHtW2z2"));
        QVERIFY2(answer.startsWith("HTTP/1.1 200 ") && answer.endsWith("\r\n\r\n1"), answer.constData());
        answer =
            exchange(web.baseUrl(), post(QStringLiteral("/logup.php"), "text/plain", "Tn7XQ0FEbQHtW2z2"));
        QVERIFY2(answer.endsWith("\r\n\r\n0"), answer.constData());
        answer = exchange(web.baseUrl(), "GET /nothing HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY2(answer.startsWith("HTTP/1.1 404 "), answer.constData());

        const QList<QJsonObject> requests = web.requests();
        QCOMPARE(requests.size(), 3);
        QCOMPARE(requests.at(0).value(QStringLiteral("endpoint")).toString(), QStringLiteral("runlog"));
        QCOMPARE(requests.at(0).value(QStringLiteral("text")).toString(), QStringLiteral("hello"));
        QCOMPARE(requests.at(0).value(QStringLiteral("problems")).toArray(), QJsonArray());
        QCOMPARE(requests.at(1).value(QStringLiteral("endpoint")).toString(), QStringLiteral("crashlog"));
        QCOMPARE(requests.at(1).value(QStringLiteral("problems")).toArray(),
                 (QJsonArray{QStringLiteral("Content-Type \"text/plain\""),
                             QStringLiteral("query \"\" where platform=windows belongs")}));
        QCOMPARE(requests.at(2).value(QStringLiteral("endpoint")).toString(), QStringLiteral("unknown"));
        QFile raw(web.stateDir() + QStringLiteral("/requests/0001-runlog.body"));
        QVERIFY(raw.open(QIODevice::ReadOnly));
        QCOMPARE(raw.readAll(), QByteArray("Tn7XQ0FEbQHtW2z2"));
        QVERIFY(web.log().contains(QStringLiteral("#2 answered 200 \"0\"")));
    }

    // Told to answer with garbage, the server sends exactly its non-HTTP bytes and closes.
    void garbageAnswerIsExactBytes()
    {
        QTemporaryDir dir;
        WebStandIn web(dir.path() + QStringLiteral("/web"));
        QVERIFY(web.start());
        web.setControl(QStringLiteral("answer=garbage"));

        const QByteArray answer =
            exchange(web.baseUrl(), post(QStringLiteral("/logup.php?platform=windows"),
                                         "application/x-www-form-urlencoded", "Tn7XQ0FEbQHtW2z2"));
        QCOMPARE(answer, QByteArray("\x00\xff garbage, not HTTP\r\n\r\n", 24));
        QVERIFY(web.log().contains(QStringLiteral("#1 answered with bytes that are not HTTP")));
    }

    // The key-map service answers with the address of a stored file and serves it.
    void servesKeyMaps()
    {
        QTemporaryDir dir;
        WebStandIn web(dir.path() + QStringLiteral("/web"));
        QVERIFY(web.start());
        QDir().mkpath(web.stateDir() + QStringLiteral("/keymaps"));
        QFile file(web.stateDir() + QStringLiteral("/keymaps/com.example.game.json"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("{\"keys\":[]}");
        file.close();

        QByteArray answer =
            exchange(web.baseUrl(), "GET /api_service/api/get_keyboard_json.php?package=com.example.game "
                                    "HTTP/1.1\r\nHost: x\r\n\r\n");
        const QByteArray address = web.baseUrl().toUtf8() + "/keymaps/com.example.game.json";
        QVERIFY2(answer.endsWith("\r\n\r\n" + address), answer.constData());
        answer = exchange(web.baseUrl(), "GET /keymaps/com.example.game.json HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY2(answer.endsWith("\r\n\r\n{\"keys\":[]}"), answer.constData());
        answer = exchange(web.baseUrl(), "GET /api_service/api/get_keyboard_json.php?package=unknown "
                                         "HTTP/1.1\r\nHost: x\r\n\r\n");
        QVERIFY2(answer.endsWith("Content-Length: 0\r\nConnection: close\r\n\r\n"), answer.constData());
    }
};

QTEST_GUILESS_MAIN(TestWebService)
#include "tst_webservice.moc"
