#include "global.h"
#include "hostprobes.h"

#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString writeScript(const QTemporaryDir &dir, const QString &name, const QString &body)
{
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return QString();
    file.write("#!/bin/sh\n" + body.toUtf8() + "\n");
    file.close();
    file.setPermissions(file.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeUser);
    return path;
}

QString readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

} // namespace

class TestHostProbes : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void runElevatedPassesArgumentsAndFolder();
    void runElevatedExitCodes_data();
    void runElevatedExitCodes();
    void runElevatedDoesNotWaitForZero();
    void runElevatedTimeOutLeavesTheProgramRunning();
    void freeSpace();
    void hotfixAnswerIsInstalled();

private:
    QTemporaryDir m_dir;
};

void TestHostProbes::initTestCase()
{
    QVERIFY(m_dir.isValid());
    Global::systemInfo.driveRoot = m_dir.path();
}

void TestHostProbes::runElevatedPassesArgumentsAndFolder()
{
    const QString program = writeScript(
        m_dir, "updater", "pwd > \"$0.cwd\"; for a in \"$@\"; do echo \"[$a]\"; done > \"$0.args\"");
    const QString folder = m_dir.filePath("work");
    QVERIFY(QDir().mkpath(folder));
    QCOMPARE(runElevated(program, {"fromOrvantaToCheckWhenStarting", "two words"}, folder, 5000), 0);
    QCOMPARE(readFile(program + ".args"), QStringLiteral("[fromOrvantaToCheckWhenStarting]\n[two words]\n"));
    QCOMPARE(readFile(program + ".cwd").trimmed(), QFileInfo(folder).canonicalFilePath());
}

void TestHostProbes::runElevatedExitCodes_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<int>("result");
    QTest::newRow("exit 0") << "exit 0" << 0;
    QTest::newRow("exit 7") << "exit 7" << 7;
    QTest::newRow("killed by a signal is not a time-out") << "kill -9 $$" << 128 + 9;
}

void TestHostProbes::runElevatedExitCodes()
{
    QFETCH(QString, body);
    QFETCH(int, result);
    const QString program = writeScript(m_dir, QStringLiteral("code-%1").arg(QTest::currentDataTag()), body);
    QCOMPARE(runElevated(program, {}, QString(), 5000), result);
    QCOMPARE(runElevated(m_dir.filePath("missing-program"), {}, QString(), 5000), 0);
}

void TestHostProbes::runElevatedDoesNotWaitForZero()
{
    const QString done = m_dir.filePath("nowait.done");
    const QString program = writeScript(m_dir, "nowait", "sleep 0.5; touch '" + done + "'");
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(runElevated(program, {"fromOrvantaToUpdate"}, QString(), 0), 0);
    QVERIFY(clock.elapsed() < 400);
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(done), 5000); // it ran on its own
}

void TestHostProbes::runElevatedTimeOutLeavesTheProgramRunning()
{
    const QString done = m_dir.filePath("slow.done");
    const QString program = writeScript(m_dir, "slow", "sleep 1; touch '" + done + "'");
    QCOMPARE(runElevated(program, {}, QString(), 200), -1);
    QVERIFY(!QFile::exists(done));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(done), 5000);
}

void TestHostProbes::freeSpace()
{
    const quint64 freeBytes = driveFreeBytes();
    // The same figure as df gives for the folder (other programs write meanwhile: a small margin).
    QProcess df;
    df.start(QStringLiteral("df"), {"-B1", "--output=avail", m_dir.path()});
    QVERIFY(df.waitForFinished(10000));
    const QStringList dfLines =
        QString::fromLocal8Bit(df.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(dfLines.size(), 2);
    bool ok = false;
    const quint64 dfFree = dfLines.at(1).trimmed().toULongLong(&ok);
    QVERIFY(ok);
    const quint64 margin = 256ull * 1024 * 1024;
    QVERIFY2(freeBytes + margin > dfFree && freeBytes < dfFree + margin,
             qPrintable(QStringLiteral("%1 against df %2").arg(freeBytes).arg(dfFree)));

    QFile small(m_dir.filePath("small.bin"));
    QVERIFY(small.open(QIODevice::WriteOnly));
    small.write("x");
    small.close();
    QVERIFY(hasSpaceForFile(small.fileName()));

    // A sparse file of half the free space: four times its size does not fit.
    QFile big(m_dir.filePath("big.bin"));
    QVERIFY(big.open(QIODevice::WriteOnly));
    QVERIFY(big.resize(static_cast<qint64>(freeBytes / 2)));
    big.close();
    QVERIFY(!hasSpaceForFile(big.fileName()));

    // An unknown amount of free space counts as room.
    Global::systemInfo.driveRoot = m_dir.filePath("no/such/folder");
    QCOMPARE(driveFreeBytes(), quint64(0));
    QVERIFY(hasSpaceForFile(big.fileName()));
    Global::systemInfo.driveRoot = m_dir.path();
}

void TestHostProbes::hotfixAnswerIsInstalled()
{
    QVERIFY(hasHotfixKB3033929());
}

QTEST_GUILESS_MAIN(TestHostProbes)
#include "tst_hostprobes.moc"
