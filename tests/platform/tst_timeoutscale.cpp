// Time-outs of minutes under ORV_TIMEOUT_SCALE: only a factor in (0, 1] shrinks them, never below 1 ms.

#include "timeoutscale.h"

#include <QtTest>

class TestTimeoutScale : public QObject
{
    Q_OBJECT

private slots:
    void scaled_data()
    {
        QTest::addColumn<QByteArray>("setting");
        QTest::addColumn<int>("productionMs");
        QTest::addColumn<int>("expectedMs");
        QTest::newRow("unset") << QByteArray() << 120000 << 120000;
        QTest::newRow("hundredth") << QByteArrayLiteral("0.01") << 120000 << 1200;
        QTest::newRow("report period") << QByteArrayLiteral("0.002") << 300000 << 600;
        QTest::newRow("rounded") << QByteArrayLiteral("0.0015") << 1000 << 2;
        QTest::newRow("never below 1 ms") << QByteArrayLiteral("0.000001") << 1000 << 1;
        QTest::newRow("one") << QByteArrayLiteral("1") << 5000 << 5000;
        QTest::newRow("zero ignored") << QByteArrayLiteral("0") << 5000 << 5000;
        QTest::newRow("negative ignored") << QByteArrayLiteral("-0.5") << 5000 << 5000;
        QTest::newRow("above one ignored") << QByteArrayLiteral("2") << 5000 << 5000;
        QTest::newRow("not a number ignored") << QByteArrayLiteral("fast") << 5000 << 5000;
    }

    void scaled()
    {
        QFETCH(QByteArray, setting);
        QFETCH(int, productionMs);
        QFETCH(int, expectedMs);
        if (setting.isNull())
            qunsetenv("ORV_TIMEOUT_SCALE");
        else
            qputenv("ORV_TIMEOUT_SCALE", setting);
        QCOMPARE(TimeoutScale::ms(productionMs), expectedMs);
    }

    void cleanupTestCase() { qunsetenv("ORV_TIMEOUT_SCALE"); }
};

QTEST_GUILESS_MAIN(TestTimeoutScale)
#include "tst_timeoutscale.moc"
