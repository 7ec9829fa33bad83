// Known-answer tests of the upload body and of the report built from stored rows. The expected texts
// were computed outside this code base (an independent XXTEA and Base64, and protoc --encode of the
// report's text form); the decoding side is the web stand-in's own decoder and protoc --decode.

#include "bodycodec.h"
#include "reportbuilder.h"
#include "uploadbody.h"

#include <QProcess>
#include <QtTest>

namespace {

DataReportRecord record(int id, int types, const google::protobuf::MessageLite &message)
{
    DataReportRecord r;
    r.id = id;
    r.types = types;
    const std::string bytes = message.SerializeAsString();
    r.message = QByteArray(bytes.data(), int(bytes.size()));
    return r;
}

YeltProto::CommonEventObject event(quint64 time, quint32 key)
{
    YeltProto::CommonEventObject e;
    e.set_timestamp(time);
    e.set_eventkey(key);
    return e;
}

YeltProto::CommonEventObjectEx eventEx(quint64 time, quint32 key, const QMap<QString, QString> &maps)
{
    YeltProto::CommonEventObjectEx e;
    e.set_timestamp(time);
    e.set_eventkey(key);
    for (auto it = maps.cbegin(); it != maps.cend(); ++it) {
        YeltProto::BaseEventMap *entry = e.add_eventmaps();
        entry->set_datakey(it.key().toStdString());
        entry->set_datavalue(it.value().toStdString());
    }
    return e;
}

ReportIdentity fixedIdentity()
{
    ReportIdentity identity;
    identity.uuid = QStringLiteral("3f2a9c1e-0b7d-4e55-9a61-2c8d4f0e7b13");
    identity.version = QStringLiteral("1.4.2");
    identity.channelId = QStringLiteral("1208");
    identity.subPlatform = 1013;
    return identity;
}

// Rows in table order: a plain event, an event with data, another plain event.
QList<DataReportRecord> fixedRows()
{
    return {record(1, 1, event(1700000000, 2011)),
            record(2, 2, eventEx(1700000005, 1000, {{QStringLiteral("index"), QStringLiteral("0")}})),
            record(3, 1, event(1700000009, 2014))};
}

// protoc --encode=YeltProto.RequestDataReport of the fixed report's text form.
const char kFixedReportHex[] =
    "0a19086510011a13524551554553545f444154415f5245504f525412370a2433663261396331652d306237642d346535352d"
    "396136312d326338643466306537623133107b1a05312e342e3228b809306738f5071a090880e2cfaa0610db0f1a090889"
    "e2cfaa0610de0f22150885e2cfaa0610e8071a0a0a05696e646578120130";

const char kFixedReportBody[] =
    "dTrzmzdsqNJhDVqdQ8HjQsMLyHh6KJ28VhNcJ2mhQ+q5vrN0tz98za7zUTQdXPvEFq1VzKAFFT3V+Qugk2D0DQOOLLlBLqN4dLw8"
    "LWCI97S5k53B69qas+++SytncdZM8lAxoIcsUfOtUDQjgAtjKzEDpu6C/WiGy5qQ+nVc2+oNoxgSD6Mo8A==";

const char kFixedReportText[] = R"(requestBase {
  requestID: 101
  serverID: 1
  requestFunction: "REQUEST_DATA_REPORT"
}
userInfo {
  uuid: "3f2a9c1e-0b7d-4e55-9a61-2c8d4f0e7b13"
  productID: PI_ORVANTA
  version: "1.4.2"
  channelID: 1208
  platformType: PT_win
  subPlatform: SPT_win_10_64
}
commonEvents {
  timeStamp: 1700000000
  eventKey: 2011
}
commonEvents {
  timeStamp: 1700000009
  eventKey: 2014
}
commonExEvents {
  timeStamp: 1700000005
  eventKey: 1000
  eventMaps {
    dataKey: "index"
    dataValue: "0"
  }
}
)";

} // namespace

class TestUploadBody : public QObject
{
    Q_OBJECT

private slots:
    void knownBodies_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<QByteArray>("body");
        const QByteArray log = UploadBody::kLogKey;
        const QByteArray rep = UploadBody::kReportKey;
        // 1 to 3 bytes: one word of data and zero padding, then the length word: 8 bytes, 12 characters.
        QTest::newRow("1 byte, log key") << QByteArray("a") << log << QByteArray("6vK+ZUh9Cqs=");
        QTest::newRow("3 bytes, log key") << QByteArray("abc") << log << QByteArray("A6xygDYQv4I=");
        QTest::newRow("3 bytes, report key") << QByteArray("abc") << rep << QByteArray("QBEKQoINNL8=");
        // A multiple of 4 gets no padding: 4 + 4 bytes.
        QTest::newRow("4 bytes, log key") << QByteArray("abcd") << log << QByteArray("rsbYQlze18k=");
        QTest::newRow("4 bytes, report key") << QByteArray("abcd") << rep << QByteArray("nA9GzfgLBQs=");
        // 5 bytes: 5 + 3 zero bytes + 4 = 12 bytes, 16 characters.
        QTest::newRow("5 bytes, log key") << QByteArray("hello") << log << QByteArray("Tn7XQ0FEbQHtW2z2");
        QTest::newRow("12 bytes, report key")
            << QByteArray("hello, world") << rep << QByteArray("C5Pm6VM9jSQv3vMUq1JOKQ==");
        QTest::newRow("empty payload") << QByteArray() << rep << QByteArray();
    }

    void knownBodies()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QByteArray, key);
        QFETCH(QByteArray, body);
        QCOMPARE(UploadBody::encode(payload, key), body);

        const BodyCodec::Result back = BodyCodec::decodeBody(body, key);
        QVERIFY2(back.ok, qPrintable(back.error));
        QCOMPARE(back.payload, payload);
    }

    void logPayloadStopsAtZero_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("payload");
        QTest::newRow("plain") << QStringLiteral("[err]\r\nx") << QByteArray("[err]\r\nx");
        QTest::newRow("utf-8") << QStringLiteral("名称 ok") << QByteArray("\xe5\x90\x8d\xe7\xa7\xb0 ok");
        QTest::newRow("cut at zero") << QString::fromUtf8("abc\0def", 7) << QByteArray("abc");
        QTest::newRow("zero first") << QString::fromUtf8("\0abc", 4) << QByteArray();
    }

    void logPayloadStopsAtZero()
    {
        QFETCH(QString, text);
        QFETCH(QByteArray, payload);
        QCOMPARE(UploadBody::logPayload(text), payload);
    }

    void acceptanceRule_data()
    {
        QTest::addColumn<bool>("transferOk");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("1") << true << QByteArray("1") << true;
        QTest::newRow("1 inside text") << true << QByteArray("{\"code\":1}") << true;
        QTest::newRow("0") << true << QByteArray("0") << false;
        QTest::newRow("empty") << true << QByteArray() << false;
        QTest::newRow("text without 1") << true << QByteArray("ok") << false;
        // An error page that happens to contain a "1" is no acceptance.
        QTest::newRow("failed transfer with 1") << false << QByteArray("error 1") << false;
    }

    void acceptanceRule()
    {
        QFETCH(bool, transferOk);
        QFETCH(QByteArray, reply);
        QFETCH(bool, accepted);
        QCOMPARE(UploadBody::isAccepted(transferOk, reply), accepted);
    }

    // The fixed rows give exactly the report whose bytes protoc encodes from its text form, and that
    // report gives exactly the known body.
    void fixedReportKnownAnswer()
    {
        const BuiltReport built = ReportBuilder::build(fixedRows(), fixedIdentity());
        QCOMPARE(built.sentIds, (QList<int>{1, 2, 3}));
        QVERIFY(built.unreadableIds.isEmpty());
        const QByteArray bytes = ReportBuilder::serialise(built.report);
        QCOMPARE(bytes.toHex(), QByteArray(kFixedReportHex));
        QCOMPARE(UploadBody::encode(bytes, UploadBody::kReportKey), QByteArray(kFixedReportBody));

        const BodyCodec::Result back = BodyCodec::decodeBody(kFixedReportBody, UploadBody::kReportKey);
        QVERIFY2(back.ok, qPrintable(back.error));
        QCOMPARE(back.payload, bytes);
        YeltProto::RequestDataReport parsed;
        QVERIFY(parsed.ParseFromArray(back.payload.constData(), back.payload.size()));
        QCOMPARE(parsed.commonevents_size(), 2);
        QCOMPARE(parsed.commonexevents(0).eventmaps(0).datavalue(), std::string("0"));
    }

    // protoc, reading only the schema files, decodes the deciphered body to the expected report.
    void protocDecodesTheBody()
    {
        const BodyCodec::Result back = BodyCodec::decodeBody(kFixedReportBody, UploadBody::kReportKey);
        QVERIFY(back.ok);
        QProcess protoc;
        protoc.start(QStringLiteral(PROTOC_EXECUTABLE),
                     {QStringLiteral("-I") + QStringLiteral(REPORT_PROTO_DIR),
                      QStringLiteral("--decode=YeltProto.RequestDataReport"),
                      QStringLiteral("YeltDataReport.proto")});
        QVERIFY(protoc.waitForStarted());
        protoc.write(back.payload);
        protoc.closeWriteChannel();
        QVERIFY(protoc.waitForFinished());
        QCOMPARE(protoc.exitCode(), 0);
        QCOMPARE(QString::fromUtf8(protoc.readAllStandardOutput()), QString::fromUtf8(kFixedReportText));
    }

    void reportFields_data()
    {
        QTest::addColumn<QString>("channel");
        QTest::addColumn<int>("subPlatform");
        QTest::addColumn<int>("sentChannel");
        QTest::addColumn<int>("sentSubPlatform");
        QTest::newRow("numeric channel") << QStringLiteral("1208") << 1009 << 1208 << 1009;
        QTest::newRow("channel not a number") << QStringLiteral("12ab") << 1009 << 0 << 1009;
        QTest::newRow("empty channel") << QString() << 0 << 0 << 0;
        QTest::newRow("code unknown to the schema") << QStringLiteral("7") << 4242 << 7 << 0;
    }

    void reportFields()
    {
        QFETCH(QString, channel);
        QFETCH(int, subPlatform);
        QFETCH(int, sentChannel);
        QFETCH(int, sentSubPlatform);
        ReportIdentity identity = fixedIdentity();
        identity.channelId = channel;
        identity.subPlatform = subPlatform;
        const BuiltReport built = ReportBuilder::build(fixedRows(), identity);
        const YeltProto::UserInfo &user = built.report.userinfo();
        QCOMPARE(user.channelid(), sentChannel);
        QCOMPARE(int(user.subplatform()), sentSubPlatform);
        QCOMPARE(int(user.productid()), 123);
        QCOMPARE(int(user.platformtype()), 103);
        QVERIFY(!user.has_buildno());
        QVERIFY(!built.report.requestbase().has_requesttype());
        QVERIFY(built.report.IsInitialized());
    }

    // A row that cannot be read is left out and named; the others still make a complete report.
    void unreadableRowsAreLeftOut()
    {
        QList<DataReportRecord> rows = fixedRows();
        DataReportRecord garbage;
        garbage.id = 7;
        garbage.types = 1;
        garbage.message = QByteArray("\xff\xff\xff", 3);
        DataReportRecord empty; // parses, but lacks the required fields
        empty.id = 8;
        empty.types = 2;
        DataReportRecord unknownKind = rows.at(0);
        unknownKind.id = 9;
        unknownKind.types = 3;
        rows.insert(1, garbage);
        rows << empty << unknownKind;

        QTest::ignoreMessage(QtWarningMsg, "DataReport : unreadable row 7 of kind 1 left out of the report");
        QTest::ignoreMessage(QtWarningMsg, "DataReport : unreadable row 8 of kind 2 left out of the report");
        QTest::ignoreMessage(QtWarningMsg, "DataReport : unreadable row 9 of kind 3 left out of the report");
        const BuiltReport built = ReportBuilder::build(rows, fixedIdentity());
        QCOMPARE(built.sentIds, (QList<int>{1, 2, 3}));
        QCOMPARE(built.unreadableIds, (QList<int>{7, 8, 9}));
        QCOMPARE(ReportBuilder::serialise(built.report).toHex(), QByteArray(kFixedReportHex));
    }
};

QTEST_GUILESS_MAIN(TestUploadBody)
#include "tst_uploadbody.moc"
