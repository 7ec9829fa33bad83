// The instance message as the running process reads it: every field, odd values and broken input.

#include "instancemessage.h"

#include <QtTest>

class TestInstanceMessage : public QObject
{
    Q_OBJECT

private slots:
    void read_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("vmName");
        QTest::addColumn<QString>("pkgpath");
        QTest::addColumn<QString>("pkgname");
        QTest::addColumn<bool>("isStop");

        QTest::newRow("launch") << QByteArray(
                                       "{\"vmName\":\"Orvanta_1\",\"pkgpath\":\"\",\"pkgname\":\"com.a.b\"}")
                                << true << "Orvanta_1"
                                << ""
                                << "com.a.b" << false;
        QTest::newRow("install")
            << QByteArray("{\"vmName\":\"Orvanta_0\",\"pkgpath\":\"/x/y z.apk\",\"pkgname\":\"\"}") << true
            << "Orvanta_0"
            << "/x/y z.apk"
            << "" << false;
        QTest::newRow("stop")
            << QByteArray("{\"vmName\":\"Orvanta_0\",\"pkgpath\":\"\",\"pkgname\":\"\",\"isStop\":true}")
            << true << "Orvanta_0"
            << ""
            << "" << true;
        // Present at all counts, whatever the value.
        QTest::newRow("stop false") << QByteArray("{\"isStop\":false}") << true << ""
                                    << ""
                                    << "" << true;
        QTest::newRow("fields missing") << QByteArray("{}") << true << ""
                                        << ""
                                        << "" << false;
        QTest::newRow("fields not text")
            << QByteArray("{\"vmName\":5,\"pkgpath\":[1],\"pkgname\":null}") << true << ""
            << ""
            << "" << false;
        QTest::newRow("unicode") << QByteArray("{\"pkgpath\":\"/\\u00e4/\\u4e2d.apk\"}") << true << ""
                                 << QString::fromUtf8("/\xc3\xa4/\xe4\xb8\xad.apk") << "" << false;
        QTest::newRow("array") << QByteArray("[1,2]") << false << ""
                               << ""
                               << "" << false;
        QTest::newRow("cut short") << QByteArray("{\"vmName\":\"Orv") << false << ""
                                   << ""
                                   << "" << false;
        QTest::newRow("empty") << QByteArray() << false << ""
                               << ""
                               << "" << false;
        // Found by fuzzing: a key given twice, first with an object, and a stray brace at the end. Qt's
        // parser loses a little memory on it (a fault of Qt's own); the message reads as broken.
        QTest::newRow("duplicate key and stray brace")
            << QByteArray("{\"vmName\":\"O\",\"pkgpath\":{\"isStop\":1},\"pkgpath\":\"x\"}}") << false << ""
            << ""
            << "" << false;
        QTest::newRow("duplicate key")
            << QByteArray("{\"pkgpath\":{\"isStop\":1},\"pkgpath\":\"x\"}") << true << ""
            << "x"
            << "" << false;
        QTest::newRow("binary") << QByteArray("\x00\xff{", 3) << false << ""
                                << ""
                                << "" << false;
    }

    void read()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, valid);
        bool wasValid = !valid;
        const InstanceMessage message = InstanceMessage::fromJson(json, &wasValid);
        QCOMPARE(wasValid, valid);
        QTEST(message.vmName, "vmName");
        QTEST(message.pkgpath, "pkgpath");
        QTEST(message.pkgname, "pkgname");
        QTEST(message.isStop, "isStop");
    }

    // What a second start sends reads back as it was.
    void roundTrip()
    {
        const InstanceMessage sent{QStringLiteral("Orvanta_7"), QStringLiteral("/a \"b\".apk"),
                                   QStringLiteral("com.x"), true};
        bool valid = false;
        const InstanceMessage read = InstanceMessage::fromJson(sent.toJson(), &valid);
        QVERIFY(valid);
        QCOMPARE(read.vmName, sent.vmName);
        QCOMPARE(read.pkgpath, sent.pkgpath);
        QCOMPARE(read.pkgname, sent.pkgname);
        QCOMPARE(read.isStop, true);
    }
};

QTEST_GUILESS_MAIN(TestInstanceMessage)
#include "tst_instancemessage.moc"
