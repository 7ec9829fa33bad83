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
    QTest::newRow("dash and dot inside") << "x-.y" << true;
    QTest::newRow("35 characters of a UUID") << "3f0c2a8e-6a51-4c5e-9d0e-1b2c3d4e5f6" << true;
    QTest::newRow("UUID with a non-hex digit") << "3f0c2a8e-6a51-4c5e-9d0e-1b2c3d4e5f6g" << true;
    QTest::newRow("UUID digits without dashes") << "3f0c2a8e6a514c5e9d0e1b2c3d4e5f60" << true;
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
    // The tool would store these in the folder of another name, or read them as an option or a UUID.
    QTest::newRow("leading dash") << "-x" << false;
    QTest::newRow("option") << "--delete" << false;
    QTest::newRow("trailing dot") << "Work." << false;
    QTest::newRow("trailing dots") << "Work.." << false;
    QTest::newRow("UUID") << "3f0c2a8e-6a51-4c5e-9d0e-1b2c3d4e5f60" << false;
    QTest::newRow("UUID upper case") << "3F0C2A8E-6A51-4C5E-9D0E-1B2C3D4E5F60" << false;
    QTest::newRow("zero UUID") << "00000000-0000-0000-0000-000000000000" << false;
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
