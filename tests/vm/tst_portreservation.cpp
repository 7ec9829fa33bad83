// The port choices that starting emulators leave for each other: only live processes of other machines
// count, and a broken file adds nothing.

#include "vboxtool.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestPortReservation : public QObject
{
    Q_OBJECT

private slots:
    void reservations_data();
    void reservations();
    void ruleHostPorts();
};

void TestPortReservation::reservations_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QList<int>>("ports");
    const QString self = QString::number(QCoreApplication::applicationPid());
    QTest::newRow("live other machine")
        << QStringLiteral("Orvanta_2.ports") << self + QStringLiteral(" 20001 25001 30001 35001 40001\n")
        << QList<int>{20001, 25001, 30001, 35001, 40001};
    QTest::newRow("own machine") << QStringLiteral("Orvanta_1.ports")
                                 << self + QStringLiteral(" 20000 25000\n") << QList<int>{};
    // Process ids are below 2^22 on Linux: this one cannot be alive.
    QTest::newRow("gone process") << QStringLiteral("Orvanta_3.ports") << QStringLiteral("99999999 20002\n")
                                  << QList<int>{};
    QTest::newRow("broken") << QStringLiteral("Orvanta_4.ports") << QStringLiteral("abc 20003\n")
                            << QList<int>{};
    QTest::newRow("other file name") << QStringLiteral("Orvanta_5.txt") << self + QStringLiteral(" 20004\n")
                                     << QList<int>{};
    QTest::newRow("odd port words") << QStringLiteral("Orvanta_6.ports")
                                    << self + QStringLiteral(" x 20005 -1\n") << QList<int>{20005};
}

void TestPortReservation::reservations()
{
    QFETCH(QString, file);
    QFETCH(QString, content);
    QFETCH(QList<int>, ports);
    QTemporaryDir dir;
    QFile out(dir.filePath(file));
    QVERIFY(out.open(QIODevice::WriteOnly));
    out.write(content.toLatin1());
    out.close();
    QList<int> found = VBoxTool::reservedPorts(dir.path(), QStringLiteral("Orvanta_1")).values();
    std::sort(found.begin(), found.end());
    QCOMPARE(found, ports);
}

void TestPortReservation::ruleHostPorts()
{
    const QSet<int> ports = VBoxTool::ruleHostPorts(
        {QStringLiteral("vinput,tcp,127.0.0.1,25000,10.0.2.15,22469"), QStringLiteral("ssh,tcp,,2222,,22"),
         QStringLiteral("broken"), QStringLiteral("x,tcp,127.0.0.1,port,10.0.2.15,1")});
    QCOMPARE(ports, (QSet<int>{25000, 2222}));
}

QTEST_GUILESS_MAIN(TestPortReservation)
#include "tst_portreservation.moc"
