#include "sharedsegment.h"

#include <QTemporaryDir>

#include <QtTest>
#include <unistd.h>

class TestSharedSegment : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void wordsReplaceEachOtherWhole();
    void createRefusesATakenName();
    void creatorTakesTheNameWithIt();
    void oldCreatorLeavesASuccessorAlone();
    void namesDependOnKeyAndTemporaryFolder();
    void ownerLockIsExclusive();

private:
    QTemporaryDir m_dir;
};

void TestSharedSegment::init()
{
    QVERIFY(m_dir.isValid());
    qputenv("TMPDIR", m_dir.path().toLocal8Bit());
    // The runtime folder then lies in the temporary folder.
    qunsetenv("XDG_RUNTIME_DIR");
}

void TestSharedSegment::wordsReplaceEachOtherWhole()
{
    SharedSegment writer("Orvanta_21");
    QVERIFY(writer.create());
    QCOMPARE(writer.size(), 255);
    QVERIFY(writer.writeText("STARTWAITING"));
    QVERIFY(writer.writeText("STOP"));

    SharedSegment reader("Orvanta_21");
    QVERIFY(reader.attach());
    QCOMPARE(reader.readText(), QString("STOP"));
    QCOMPARE(reader.readBytes(), QByteArray("STOP") + QByteArray(251, '\0'));
    // A word longer than the segment is cut at its size.
    QVERIFY(writer.writeText(QString(300, QLatin1Char('X'))));
    QCOMPARE(reader.readText(), QString(255, QLatin1Char('X')));
}

void TestSharedSegment::createRefusesATakenName()
{
    SharedSegment first("Orvanta_22");
    QVERIFY(first.create());
    SharedSegment second("Orvanta_22");
    QVERIFY(!second.create());
    QVERIFY(second.attach());
    QCOMPARE(second.size(), 255);
}

void TestSharedSegment::creatorTakesTheNameWithIt()
{
    {
        SharedSegment owner("Orvanta_23");
        QVERIFY(owner.create());
        QVERIFY(owner.writeText("RUNNING"));
        SharedSegment reader("Orvanta_23");
        QVERIFY(reader.attach());
        QVERIFY(owner.detach());
        // A reader that holds it on still sees the last word; a new reader finds nothing.
        QCOMPARE(reader.readText(), QString("RUNNING"));
        QCOMPARE(SharedSegment::peekText("Orvanta_23"), QString());
    }
    // A segment that only was attached stays: a crashed owner's leftover is removed explicitly.
    SharedSegment crashed("Orvanta_23");
    QVERIFY(crashed.create());
    SharedSegment attached("Orvanta_23");
    QVERIFY(attached.attach());
    QVERIFY(attached.writeText("ERROR"));
    QVERIFY(attached.detach());
    QCOMPARE(SharedSegment::peekText("Orvanta_23"), QString("ERROR"));
    attached.remove();
    QCOMPARE(SharedSegment::peekText("Orvanta_23"), QString());
}

void TestSharedSegment::oldCreatorLeavesASuccessorAlone()
{
    // A restarted process clears its predecessor's segment as a leftover and makes its own before
    // the predecessor has detached; the predecessor's detach must not remove the new one.
    SharedSegment predecessor("Orvanta_24");
    QVERIFY(predecessor.create());
    SharedSegment successor("Orvanta_24");
    successor.remove();
    QVERIFY(successor.create());
    QVERIFY(successor.writeText("STARTING"));
    QVERIFY(predecessor.detach());
    QCOMPARE(SharedSegment::peekText("Orvanta_24"), QString("STARTING"));
}

void TestSharedSegment::namesDependOnKeyAndTemporaryFolder()
{
    QSet<QByteArray> names;
    for (const char *key : {"Orvanta_0", "Orvanta_1", "Orvanta_10", "OrvantaBase", "a/b", "a b"})
        names.insert(SharedSegment::objectName(QString::fromLatin1(key)));
    QCOMPARE(names.size(), 6);
    // Each is a file of its own right in the private runtime folder.
    const QByteArray folder = QFile::encodeName(m_dir.path()) + "/orvanta-" + QByteArray::number(geteuid());
    for (const QByteArray &name : qAsConst(names)) {
        QVERIFY2(name.startsWith(folder + '/'), name.constData());
        QVERIFY(!name.mid(folder.size() + 1).contains('/'));
    }

    SharedSegment here("Orvanta_25");
    QVERIFY(here.create());
    QVERIFY(here.writeText("RUNNING"));
    QTemporaryDir other;
    qputenv("TMPDIR", other.path().toLocal8Bit());
    QCOMPARE(SharedSegment::peekText("Orvanta_25"), QString());
    SharedSegment elsewhere("Orvanta_25");
    QVERIFY(elsewhere.create());
    qputenv("TMPDIR", m_dir.path().toLocal8Bit());
}

void TestSharedSegment::ownerLockIsExclusive()
{
    SharedSegment owner("Orvanta_26");
    QVERIFY(owner.takeOwnership());
    SharedSegment other("Orvanta_26");
    QVERIFY(!other.takeOwnership());
    QVERIFY(!other.ownsKey());
    owner.releaseOwnership();
    QVERIFY(other.takeOwnership());
}

QTEST_GUILESS_MAIN(TestSharedSegment)
#include "tst_sharedsegment.moc"
