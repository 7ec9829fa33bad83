#include "global.h"
#include "installtree.h"
#include "sharedsegment.h"

#include <QProcess>
#include <QtTest>

#include <cstdio>
#include <memory>
#include <thread>

namespace {

const char *const kReaderEnv = "TST_STATUS_READ_SEGMENT";

// Reader mode: this program started by the test, as another process, prints every byte of the
// segment in hex.
int readSegment(const QString &key)
{
    SharedSegment segment(key);
    if (!segment.attach())
        return 2;
    const QByteArray bytes = segment.readBytes();
    segment.detach();
    fputs(bytes.toHex().constData(), stdout);
    return 0;
}

} // namespace

class TestStatus : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void anotherProcessReadsTheWord_data();
    void anotherProcessReadsTheWord();
    void noSegmentWritesNothing();
    // Last: it leaves this process past its EXITING.
    void noEarlierWordAfterExiting();

private:
    QByteArray segmentSeenByAnotherProcess();
    std::unique_ptr<InstallTree> m_tree;
    QByteArray m_savedPath = qgetenv("PATH");
};

void TestStatus::init()
{
    m_tree = std::make_unique<InstallTree>();
    QVERIFY(m_tree->isValid());
    QVERIFY(m_tree->addRecorder("OrvMultiPlayer"));
    m_tree->useTempDirHere();
    qputenv("ORV_RECORD_DIR", m_tree->recordDir().toLocal8Bit());
    qputenv("PATH", m_tree->binDir().toLocal8Bit() + ':' + m_savedPath);
    Global::vmName = QStringLiteral("Orvanta_41");
    Global::instanceSegment().setKey(Global::vmName);
}

void TestStatus::cleanup()
{
    Global::instanceSegment().detach();
    Global::instanceSegment().setKey(QString());
    qputenv("PATH", m_savedPath);
    m_tree.reset();
}

QByteArray TestStatus::segmentSeenByAnotherProcess()
{
    QProcess reader;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(kReaderEnv, Global::vmName);
    reader.setProcessEnvironment(env);
    reader.start(QCoreApplication::applicationFilePath(), QStringList());
    if (!reader.waitForFinished(10000) || reader.exitCode() != 0)
        return "reader failed";
    return QByteArray::fromHex(reader.readAllStandardOutput());
}

void TestStatus::anotherProcessReadsTheWord_data()
{
    QTest::addColumn<QStringList>("words");
    QTest::newRow("one word") << QStringList{"STARTING"};
    QTest::newRow("shorter after longer leaves no tail") << QStringList{"STARTWAITING", "STOP"};
    QTest::newRow("a whole run") << QStringList{"STARTWAITING", "STARTING", "RUNNING", "EXITING", "STOP"};
    QTest::newRow("error after exiting") << QStringList{"EXITING", "ERROR"};
}

void TestStatus::anotherProcessReadsTheWord()
{
    QFETCH(QStringList, words);
    SharedSegment &segment = Global::instanceSegment();
    QVERIFY(segment.takeOwnership());
    // As the emulator does: with the owner lock held, a segment found under the key is a leftover.
    QVERIFY2(segment.create() || segment.attach(), qPrintable(segment.errorString()));

    QList<QStringList> expectedCalls;
    for (const QString &word : words) {
        Global::setStatus(word);
        expectedCalls << QStringList{"-vm=Orvanta_41", "-status=" + word};
    }

    QByteArray expected = words.last().toLatin1();
    expected.append(QByteArray(segment.size() - expected.size(), '\0'));
    QCOMPARE(segmentSeenByAnotherProcess(), expected);
    QCOMPARE(SharedSegment::peekText(Global::vmName), words.last());

    // One manager start per word; the starts are detached, so they may finish in any order.
    QTRY_COMPARE(m_tree->calls("OrvMultiPlayer").size(), words.size());
    QList<QStringList> calls = m_tree->calls("OrvMultiPlayer");
    std::sort(calls.begin(), calls.end());
    std::sort(expectedCalls.begin(), expectedCalls.end());
    QCOMPARE(calls, expectedCalls);
}

void TestStatus::noSegmentWritesNothing()
{
    // Someone else (the instance manager during a backup) holds the machine's segment; this process
    // never attached to it.
    SharedSegment held(Global::vmName);
    QVERIFY(held.takeOwnership());
    QVERIFY(held.create() || held.attach());
    QVERIFY(held.writeText("RUNNING"));
    QVERIFY(!Global::instanceSegment().isAttached());

    QTest::ignoreMessage(QtWarningMsg,
                         "Global : no instance segment attached, status not written: \"ERROR\"");
    Global::setStatus("ERROR");
    QCOMPARE(SharedSegment::peekText(Global::vmName), QString("RUNNING"));
    QVERIFY(!Global::instanceSegment().isAttached());
    // The manager still learns the word.
    QTRY_COMPARE(m_tree->calls("OrvMultiPlayer"), (QList<QStringList>{{"-vm=Orvanta_41", "-status=ERROR"}}));
}

void TestStatus::noEarlierWordAfterExiting()
{
    SharedSegment &segment = Global::instanceSegment();
    QVERIFY(segment.takeOwnership());
    QVERIFY2(segment.create() || segment.attach(), qPrintable(segment.errorString()));

    // The quit sequence publishes EXITING on this thread while the start-up worker is still busy.
    Global::setStatus("EXITING");
    std::thread worker([] {
        for (const char *word : {"STARTING", "STARTWAITING", "RUNNING"})
            Global::setStatus(QString::fromLatin1(word));
    });
    worker.join();
    QCOMPARE(SharedSegment::peekText(Global::vmName), QString("EXITING"));

    // The quit's own wait for other instances and its end still go out, and so does a crash report.
    Global::setStatus("STARTWAITING");
    QCOMPARE(SharedSegment::peekText(Global::vmName), QString("STARTWAITING"));
    Global::setStatus("STOP");
    std::thread crash([] { Global::setStatus("ERROR"); });
    crash.join();
    QCOMPARE(SharedSegment::peekText(Global::vmName), QString("ERROR"));

    QTRY_COMPARE(m_tree->calls("OrvMultiPlayer").size(), 4);
    QStringList words;
    for (const QStringList &args : m_tree->calls("OrvMultiPlayer"))
        words << args.value(1);
    words.sort();
    QCOMPARE(words,
             (QStringList{"-status=ERROR", "-status=EXITING", "-status=STARTWAITING", "-status=STOP"}));
}

int main(int argc, char *argv[])
{
    const QString key = qEnvironmentVariable(kReaderEnv);
    if (!key.isEmpty())
        return readSegment(key);
    QCoreApplication app(argc, argv);
    TestStatus test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_status.moc"
