#include "machinename.h"

#include <QtTest>

class TestMachineName : public QObject
{
    Q_OBJECT

private slots:
    void plainWordsOnly_data();
    void plainWordsOnly();
};

void TestMachineName::plainWordsOnly_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("valid");
    QTest::newRow("emulator machine") << "Orvanta_0" << true;
    QTest::newRow("inner blanks") << "My Orvanta_2 box" << true;
    QTest::newRow("dots dashes inside") << "work-vm.1" << true;
    QTest::newRow("one letter") << "a" << true;
    QTest::newRow("leading dash") << "-x" << true;
    QTest::newRow("trailing dot") << "x." << true;
    QTest::newRow("64 characters") << QString(64, QLatin1Char('v')) << true;

    QTest::newRow("empty") << "" << false;
    QTest::newRow("dot") << "." << false;
    QTest::newRow("dot dot") << ".." << false;
    QTest::newRow("hidden") << ".orvanta" << false;
    QTest::newRow("climbing") << "../x" << false;
    QTest::newRow("slash") << "a/b" << false;
    QTest::newRow("absolute") << "/etc/passwd" << false;
    QTest::newRow("65 characters") << QString(65, QLatin1Char('v')) << false;
    QTest::newRow("colon") << "a:b" << false;
    QTest::newRow("pipe") << "a|b" << false;
    QTest::newRow("star") << "a*" << false;
    QTest::newRow("quote") << "a\"b" << false;
    QTest::newRow("backslash") << "a\\b" << false;
    QTest::newRow("leading blank") << " a" << false;
    QTest::newRow("trailing blank") << "a " << false;
    QTest::newRow("tab") << "a\tb" << false;
    QTest::newRow("newline") << "a\nb" << false;
    QTest::newRow("non-ASCII") << QString::fromUtf8("Orvanta_\xc3\xa9") << false;
    QTest::newRow("zero") << QString::fromLatin1("a\0b", 3) << false;
}

void TestMachineName::plainWordsOnly()
{
    QFETCH(QString, name);
    QFETCH(bool, valid);
    QCOMPARE(isValidMachineName(name), valid);
    QCOMPARE(machineNameProblem(name).isEmpty(), valid);
}

QTEST_GUILESS_MAIN(TestMachineName)
#include "tst_machinename.moc"
