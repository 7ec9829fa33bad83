// The boot poll's rule: the guest counts as up after its boot completed and the launcher showed one pid
// in six successive polls; odd answers change nothing.

#include "bootpoll.h"

#include <QtTest>

class TestBootPoll : public QObject
{
    Q_OBJECT

private slots:
    void launcherPid_data();
    void launcherPid();
    void sequences_data();
    void sequences();
};

namespace {
QStringList repeated(int n, const QString &text)
{
    QStringList list;
    for (int i = 0; i < n; ++i)
        list << text;
    return list;
}

QString ps(const QString &pid)
{
    return QStringLiteral("u0_a17    %1  97    523540 40112 ffffffff b7700e2a S com.corvel.pavixtop\n")
        .arg(pid);
}
} // namespace

void TestBootPoll::launcherPid_data()
{
    QTest::addColumn<QString>("reply");
    QTest::addColumn<QString>("pid");
    QTest::newRow("ps line") << ps(QStringLiteral("1234")) << QStringLiteral("1234");
    QTest::newRow("CRLF") << QStringLiteral("u0_a17 77 1 2 3 S com.corvel.pavixtop\r\n")
                          << QStringLiteral("77");
    QTest::newRow("not running") << QStringLiteral("\n") << QString();
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("package name alone") << QStringLiteral("com.corvel.pavixtop") << QString();
    QTest::newRow("other package") << QStringLiteral("u0_a1 55 1 com.example.game\n") << QString();
}

void TestBootPoll::launcherPid()
{
    QFETCH(QString, reply);
    QFETCH(QString, pid);
    QCOMPARE(BootPoll::launcherPid(reply), pid);
}

void TestBootPoll::sequences_data()
{
    QTest::addColumn<QStringList>("getprop");
    QTest::addColumn<QStringList>("pids");
    QTest::addColumn<int>("readyAt"); // index of the poll that says Ready, -1 for none

    const QStringList booted = repeated(8, QStringLiteral("1\n"));
    QTest::newRow("stable from the first poll")
        << QStringList(booted.mid(0, 6)) << repeated(6, QStringLiteral("1234")) << 5;
    QTest::newRow("five polls are not enough")
        << QStringList(booted.mid(0, 5)) << repeated(5, QStringLiteral("1234")) << -1;
    QStringList changed = repeated(8, QStringLiteral("1234"));
    for (int i = 3; i < 8; ++i)
        changed[i] = QStringLiteral("1300");
    // The pid changes at the fourth poll: the count starts again there.
    QTest::newRow("pid changes at the fourth poll")
        << repeated(9, QStringLiteral("1\n")) << (changed << QStringLiteral("1300")) << 8;
    // Answers of 0 between sightings change nothing.
    QTest::newRow("getprop 0 in between")
        << QStringList{QStringLiteral("1\n"), QStringLiteral("0\n"), QStringLiteral("1\n"),
                       QStringLiteral("1\n"), QStringLiteral("1\n"), QStringLiteral("1\n"),
                       QStringLiteral("1\n")}
        << repeated(7, QStringLiteral("1234")) << 6;
    // A launcher not yet running keeps the count.
    QTest::newRow("launcher missing in between")
        << repeated(7, QStringLiteral("1\n"))
        << QStringList{QStringLiteral("1234"), QStringLiteral("1234"), QString(),
                       QStringLiteral("1234"), QStringLiteral("1234"), QStringLiteral("1234"),
                       QStringLiteral("1234")}
        << 6;
    QTest::newRow("never booted") << repeated(8, QStringLiteral("0\n")) << repeated(8, QStringLiteral("1234"))
                                  << -1;
    QTest::newRow("empty answers (channel down)")
        << repeated(8, QString()) << repeated(8, QStringLiteral("1")) << -1;
}

void TestBootPoll::sequences()
{
    QFETCH(QStringList, getprop);
    QFETCH(QStringList, pids);
    QFETCH(int, readyAt);
    BootPoll poll;
    int ready = -1;
    for (int i = 0; i < getprop.size(); ++i) {
        const QString reply = pids.value(i).isEmpty() ? QStringLiteral("\n") : ps(pids.value(i));
        if (poll.step(getprop.at(i), reply) == BootPoll::Ready && ready < 0)
            ready = i;
    }
    QCOMPARE(ready, readyAt);
}

QTEST_GUILESS_MAIN(TestBootPoll)
#include "tst_bootpoll.moc"
